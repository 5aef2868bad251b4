#include "voltrane/params.h"

namespace {

using C = VoltraneCache;

// clang-format off
constexpr loom::ParamRow kRows[] = {
    LOOM_FLOAT_ROW(kVoltraneEdgeNoise,    C, edgeNoise,     "Edge Noise",        true, 0.0f),
    LOOM_COLOR_ROW(kVoltraneBodyColor,    C, bodyColor,     "Body Color",        true, 0.7f, 0.3f, 0.8f),
    LOOM_COLOR_ROW(kVoltraneEdgeColor,    C, edgeColor,     "Edge Color",        true, 1.0f, 1.0f, 1.0f),
    LOOM_COLOR_ROW(kVoltraneBackColor,    C, backColor,     "Background",        true, 0.0f, 0.0f, 0.0f),
    LOOM_INT_ROW(kVoltraneSweepPhase,     C, sweepPhase,    "Sweep Phase",       true, 0),
    LOOM_FLOAT_ROW(kVoltraneEdgeSize,     C, edgeSize,      "Edge Size",         true, 0.01f),
    LOOM_FLOAT_ROW(kVoltraneEdgeDensity,  C, edgeDensity,   "Edge Density",      true, 60.0f),
    LOOM_FLOAT_ROW(kVoltraneWave1Size,    C, wave1Size,     "Wave 1 Size",       true, 6.0f),
    LOOM_FLOAT_ROW(kVoltraneWave1Sync,    C, wave1Sync,     "Wave 1 Sync",       true, 1.0f),
    LOOM_FLOAT_ROW(kVoltraneWave1Mult,    C, wave1Mult,     "Wave 1 Multiplier", true, 0.1f),
    LOOM_FLOAT_ROW(kVoltraneWave2Size,    C, wave2Size,     "Wave 2 Size",       true, 0.0f),
    LOOM_FLOAT_ROW(kVoltraneWave2Sync,    C, wave2Sync,     "Wave 2 Sync",       true, 1.0f),
    LOOM_FLOAT_ROW(kVoltraneWave2Mult,    C, wave2Mult,     "Wave 2 Multiplier", true, 0.1f),
    LOOM_INT_ROW(kVoltraneApplyWave,      C, applyWave,     "Apply Waveform",    false, 0),
    LOOM_INT_ROW(kVoltraneInvertWave,     C, invertWave,    "Invert Waveform",   false, 0),
    LOOM_INT_ROW(kVoltraneBeginAtEdge,    C, beginAtEdge,   "Begin at Edge",     false, 1),
    LOOM_INT_ROW(kVoltraneAdditive,       C, additive,      "Additive",          false, 1),
    LOOM_INT_ROW(kVoltraneSubtractive,    C, subtractive,   "Subtractive",       false, 0),
    LOOM_FLOAT_ROW(kVoltraneBodyOpacityR, C, bodyOpacity.r, "Body R Opacity",    true, 1.0f),
    LOOM_FLOAT_ROW(kVoltraneBodyOpacityG, C, bodyOpacity.g, "Body G Opacity",    true, 1.0f),
    LOOM_FLOAT_ROW(kVoltraneBodyOpacityB, C, bodyOpacity.b, "Body B Opacity",    true, 1.0f),
    LOOM_FLOAT_ROW(kVoltraneEdgeOpacityR, C, edgeOpacity.r, "Edge R Opacity",    true, 1.0f),
    LOOM_FLOAT_ROW(kVoltraneEdgeOpacityG, C, edgeOpacity.g, "Edge G Opacity",    true, 1.0f),
    LOOM_FLOAT_ROW(kVoltraneEdgeOpacityB, C, edgeOpacity.b, "Edge B Opacity",    true, 1.0f),
    LOOM_FLOAT_ROW(kVoltraneShear,        C, shear,         "Shear",             true, 100.0f),
    LOOM_FLOAT_ROW(kVoltraneRadialU,      C, radialU,       "Radial U Position", true, 0.5f),
    LOOM_FLOAT_ROW(kVoltraneRadialV,      C, radialV,       "Radial V Position", true, 0.5f),
    LOOM_INT_ROW(kVoltraneLinearH,        C, linearH,       "Linear Horizontal", false, 1),
    LOOM_INT_ROW(kVoltraneLinearV,        C, linearV,       "Linear Vertical",   false, 0),
    LOOM_INT_ROW(kVoltraneRadial,         C, radial,        "Radial",            false, 0),
    LOOM_INT_ROW(kVoltraneShockwave,      C, shockwave,     "Shockwave",         false, 0),
    LOOM_INT_ROW(kVoltraneEncase,         C, encase,        "Encase",            false, 0),
    LOOM_INT_ROW(kVoltraneDiagonal,       C, diagonal,      "Diagonal",          false, 0),
    LOOM_INT_ROW(kVoltraneRandomStatic,   C, randomStatic,  "RandomStatic",      false, 0),
    LOOM_INT_ROW(kVoltraneCubic,          C, cubic,         "Cubic",             false, 0),
    LOOM_INT_ROW(kVoltraneGoo,            C, goo,           "Goo",               false, 0),
    LOOM_INT_ROW(kVoltraneWave1Sin,       C, wave1Sin,      "Wave 1 SIN",        false, 1),
    LOOM_INT_ROW(kVoltraneWave1Cos,       C, wave1Cos,      "Wave 1 COS",        false, 0),
    LOOM_INT_ROW(kVoltraneWave2Sin,       C, wave2Sin,      "Wave 2 SIN",        false, 0),
    LOOM_INT_ROW(kVoltraneWave2Cos,       C, wave2Cos,      "Wave 2 COS",        false, 1),
    LOOM_FLOAT_ROW(kVoltraneGooPhase,     C, gooPhase,      "Goo Phase",         true, 0.0f),
    LOOM_FLOAT_ROW(kVoltraneGooUScale,    C, gooUScale,     "Goo U Scale",       true, 2.0f),
    LOOM_FLOAT_ROW(kVoltraneGooVScale,    C, gooVScale,     "Goo V Scale",       true, 2.0f),
    LOOM_FLOAT_ROW(kVoltraneGooUShift,    C, gooUShift,     "Goo U Shift",       true, 0.0f),
    LOOM_FLOAT_ROW(kVoltraneGooVShift,    C, gooVShift,     "Goo V Shift",       true, 0.0f),
};
static_assert(loom::RowsInEnumOrder(kRows, kVoltraneParamCount));

// Colours first, then the rest in the order a new texture has always set them.
constexpr int kResetOrder[] = {
    kVoltraneBodyColor, kVoltraneEdgeColor, kVoltraneBackColor,
    kVoltraneEdgeNoise, kVoltraneSweepPhase, kVoltraneEdgeSize, kVoltraneEdgeDensity,
    kVoltraneWave1Size, kVoltraneWave1Sync, kVoltraneWave1Mult,
    kVoltraneWave2Size, kVoltraneWave2Sync, kVoltraneWave2Mult, kVoltraneApplyWave,
    kVoltraneWave1Sin, kVoltraneWave1Cos, kVoltraneWave2Sin, kVoltraneWave2Cos,
    kVoltraneInvertWave, kVoltraneBeginAtEdge, kVoltraneAdditive, kVoltraneSubtractive,
    kVoltraneEdgeOpacityR, kVoltraneEdgeOpacityG, kVoltraneEdgeOpacityB,
    kVoltraneBodyOpacityR, kVoltraneBodyOpacityG, kVoltraneBodyOpacityB,
    kVoltraneShear, kVoltraneRadialU, kVoltraneRadialV,
    kVoltraneLinearH, kVoltraneLinearV, kVoltraneRadial, kVoltraneShockwave, kVoltraneEncase,
    kVoltraneDiagonal, kVoltraneRandomStatic, kVoltraneCubic, kVoltraneGoo,
    kVoltraneGooUScale, kVoltraneGooVScale, kVoltraneGooUShift, kVoltraneGooVShift,
    kVoltraneGooPhase,
};
// clang-format on
static_assert(std::size(kResetOrder) == kVoltraneParamCount);

constexpr int kColorRows[] = {kVoltraneBodyColor, kVoltraneEdgeColor, kVoltraneBackColor};
constexpr const char* kSlotNames[] = {"Body Color", "Edge Color", "Background"};

/// The older layout kept every row animatable, the flags included.
template <size_t N>
constexpr std::array<ParamBlockDescID, N> AllAnimatable(std::array<ParamBlockDescID, N> rows) {
    for (ParamBlockDescID& r : rows) r.animatable = TRUE;
    return rows;
}

constexpr auto kLayout270 = loom::MakeLayout<kVoltraneParamCount>(kRows);
constexpr auto kLayout200 = AllAnimatable(loom::MakeLayout<kVoltraneVersion200Rows>(kRows));
const ParamVersionDesc kOlderLayouts[] = {
    {kLayout200.data(), kVoltraneVersion200Rows, kVoltraneVersion200},
};

}  // namespace

const loom::TextureInfo kVoltraneInfo = {
    "Loomwork \xB7 Voltrane 2.7",
    "TLC Voltrane",
    Class_ID(0x159366D3, 0x01987927),
    "Voltrane27Temp",
    kRows,
    kResetOrder,
    kColorRows,
    kSlotNames,
    kVoltraneVersion,
    kLayout270,
    kOlderLayouts,
    true,
};

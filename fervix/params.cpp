#include "fervix/params.h"

namespace {

using C = FervixCache;

// clang-format off
constexpr loom::ParamRow kRows[] = {
    LOOM_COLOR_ROW(kFervixPrime,           C, primeColor,       "Prime",                 true, 0.0f, 0.9f, 0.9f),
    LOOM_COLOR_ROW(kFervixBack,            C, backColor,        "Back",                  true, 0.0f, 0.0f, 0.2f),
    LOOM_FLOAT_ROW(kFervixUScale,          C, uScale,           "U Scale",               true, 4.0f),
    LOOM_FLOAT_ROW(kFervixVScale,          C, vScale,           "V Scale",               true, 4.0f),
    LOOM_FLOAT_ROW(kFervixUOffset,         C, uOffset,          "U Offset",              true, 0.5f),
    LOOM_FLOAT_ROW(kFervixVOffset,         C, vOffset,          "V Offset",              true, 0.5f),
    LOOM_FLOAT_ROW(kFervixPhase,           C, phase,            "Phase",                 true, 0.0f),
    LOOM_FLOAT_ROW(kFervixIntensity,       C, intensity,        "Intensity",             true, 0.25f),
    LOOM_FLOAT_ROW(kFervixFallOff,         C, fallOff,          "FallOff",               true, 0.4f),
    LOOM_INT_ROW(kFervixHorizontalRadial,  C, horizontalRadial, "Horizontal/U - Radial", false, 1),
    LOOM_INT_ROW(kFervixHorizontalLinear,  C, horizontalLinear, "Horizontal/U - Linear", false, 0),
    LOOM_INT_ROW(kFervixVerticalRadial,    C, verticalRadial,   "Vertical/V - Radial",   false, 1),
    LOOM_INT_ROW(kFervixVerticalLinear,    C, verticalLinear,   "Vertical/V - Linear",   false, 0),
    LOOM_INT_ROW(kFervixUsePlasma,         C, usePlasma,        "Use Plasma",            true, 1),
    LOOM_FLOAT_ROW(kFervixShiftX,          C, shiftX,           "Shift X",               true, 0.0f),
    LOOM_FLOAT_ROW(kFervixShiftY,          C, shiftY,           "Shift Y",               true, 0.0f),
    LOOM_INT_ROW(kFervixUseFractalDetail,  C, useFractalDetail, "Use Fractal Detail",    true, 0),
    LOOM_FLOAT_ROW(kFervixTurbulenceScale, C, turbulenceScale,  "Turbulence Scale",      true, 2.0f),
    LOOM_INT_ROW(kFervixUseTurbulence,     C, useTurbulence,    "Use Turbulence",        true, 0),
    LOOM_INT_ROW(kFervixPlasmaAdd,         C, plasmaAdd,        "Plasma ADD Toggle",     true, 1),
    LOOM_INT_ROW(kFervixPlasmaSub,         C, plasmaSub,        "Plasma SUB Toggle",     true, 0),
    LOOM_INT_ROW(kFervixFractalAdd,        C, fractalAdd,       "Fractal ADD Toggle",    true, 1),
    LOOM_INT_ROW(kFervixFractalSub,        C, fractalSub,       "Fractal SUB Toggle",    true, 0),
    LOOM_INT_ROW(kFervixTurbulenceAdd,     C, turbulenceAdd,    "Turbulence ADD Toggle", true, 1),
    LOOM_INT_ROW(kFervixTurbulenceSub,     C, turbulenceSub,    "Turbulence SUB Toggle", true, 0),
    LOOM_FLOAT_ROW(kFervixFractalScale,    C, fractalScale,     "Fractal Scale",         true, 2.0f),
    LOOM_INT_ROW(kFervixPositive,          C, positiveBlend,    "Positive Blend",        false, 1),
    LOOM_INT_ROW(kFervixNegative,          C, negativeBlend,    "Negative Blend",        false, 0),
};
static_assert(loom::RowsInEnumOrder(kRows, kFervixParamCount));

constexpr int kResetOrder[] = {
    kFervixPrime, kFervixBack,
    kFervixUScale, kFervixVScale, kFervixUOffset, kFervixVOffset, kFervixPhase,
    kFervixIntensity, kFervixFallOff, kFervixShiftX, kFervixShiftY,
    kFervixPositive, kFervixNegative, kFervixTurbulenceScale,
    kFervixHorizontalRadial, kFervixHorizontalLinear, kFervixVerticalRadial,
    kFervixVerticalLinear, kFervixUsePlasma, kFervixUseFractalDetail, kFervixUseTurbulence,
    kFervixFractalScale,
    kFervixPlasmaAdd, kFervixPlasmaSub, kFervixFractalAdd, kFervixFractalSub,
    kFervixTurbulenceAdd, kFervixTurbulenceSub,
};
// clang-format on
static_assert(std::size(kResetOrder) == kFervixParamCount);

constexpr int kColorRows[] = {kFervixPrime, kFervixBack};
constexpr const char* kSlotNames[] = {"Prime", "Back"};

/// Layouts 1 to 4 had every row animatable.
template <size_t N>
constexpr std::array<ParamBlockDescID, N> AllAnimatable() {
    std::array<ParamBlockDescID, N> layout = loom::MakeLayout<N>(kRows);
    for (ParamBlockDescID& row : layout) row.animatable = TRUE;
    return layout;
}

static_assert(kFervixLayoutRows[4] == kFervixParamCount);
constexpr auto kLayout1 = AllAnimatable<kFervixLayoutRows[0]>();
constexpr auto kLayout2 = AllAnimatable<kFervixLayoutRows[1]>();
constexpr auto kLayout3 = AllAnimatable<kFervixLayoutRows[2]>();
constexpr auto kLayout4 = AllAnimatable<kFervixLayoutRows[3]>();
constexpr auto kLayout5 = loom::MakeLayout<kFervixParamCount>(kRows);
const ParamVersionDesc kOlderLayouts[] = {
    {kLayout1.data(), kFervixLayoutRows[0], 1},
    {kLayout2.data(), kFervixLayoutRows[1], 2},
    {kLayout3.data(), kFervixLayoutRows[2], 3},
    {kLayout4.data(), kFervixLayoutRows[3], 4},
};

}  // namespace

const loom::TextureInfo kFervixInfo = {
    "Loomwork \xB7 Fervix 2.0",
    "TLC Fervix",
    Class_ID(0x05F23E1C, 0x515D5C8A),
    "FervixTemp",
    kRows,
    kResetOrder,
    kColorRows,
    kSlotNames,
    kFervixVersion,
    kLayout5,
    kOlderLayouts,
    true,
};

#include "lumidot/params.h"

#include <algorithm>

namespace {

using C = LumidotCache;

// clang-format off
constexpr loom::ParamRow kRows[] = {
    LOOM_COLOR_ROW(kLumidotHigh,                    C, highColor,               "High",                      true, 0.8f, 0.2f, 0.7f),
    LOOM_COLOR_ROW(kLumidotLow,                     C, lowColor,                "Low",                       true, 1.0f, 0.0f, 0.0f),
    LOOM_FLOAT_ROW(kLumidotHorizontalPhase,         C, horizontalPhase,         "Horizontal Phase",          true, 1.5f),
    LOOM_FLOAT_ROW(kLumidotHorizontalIteration,     C, horizontalIteration,     "Horizontal Iteration",      true, 0.1f),
    LOOM_FLOAT_ROW(kLumidotVerticalPhase,           C, verticalPhase,           "Vertical Phase",            true, 2.0f),
    LOOM_FLOAT_ROW(kLumidotVerticalIteration,       C, verticalIteration,       "Vertical Iteration",        true, 0.1f),
    LOOM_FLOAT_ROW(kLumidotVerticalHighThreshold,   C, verticalHighThreshold,   "Vertical High Threshold",   true, 1.0f),
    LOOM_FLOAT_ROW(kLumidotVerticalLowThreshold,    C, verticalLowThreshold,    "Vertical Low Threshold",    true, -1.0f),
    LOOM_FLOAT_ROW(kLumidotHorizontalHighThreshold, C, horizontalHighThreshold, "Horizontal High Threshold", true, 1.0f),
    LOOM_FLOAT_ROW(kLumidotHorizontalLowThreshold,  C, horizontalLowThreshold,  "Horizontal Low Threshold",  true, -1.0f),
    LOOM_INT_ROW(kLumidotVerticalSine,              C, verticalSine,            "Vertical Sine",             true, 1),
    LOOM_INT_ROW(kLumidotVerticalCosine,            C, verticalCosine,          "Vertical Cosine",           true, 0),
    LOOM_INT_ROW(kLumidotHorizontalSine,            C, horizontalSine,          "Horizontal Sine",           true, 0),
    LOOM_INT_ROW(kLumidotHorizontalCosine,          C, horizontalCosine,        "Horizontal Cosine",         true, 1),
    LOOM_INT_ROW(kLumidotVerticalPinch,             C, verticalPinch,           "Vertical Pinch",            true, 0),
    LOOM_INT_ROW(kLumidotHorizontalPinch,           C, horizontalPinch,         "Horizontal Pinch",          true, 0),
    LOOM_INT_ROW(kLumidotNegative,                  C, negativeBlend,           "Negative Blend",            false, 0),
    LOOM_INT_ROW(kLumidotPositive,                  C, positiveBlend,           "Positive Blend",            false, 1),
    LOOM_INT_ROW(kLumidotUseVerticalColour,         C, useVerticalColour,       "Use Vertical Colour",       true, 1),
    LOOM_INT_ROW(kLumidotUseHorizontalColour,       C, useHorizontalColour,     "Use Horizontal Colour",     true, 1),
};
static_assert(loom::RowsInEnumOrder(kRows, kLumidotParamCount));

constexpr int kResetOrder[] = {
    kLumidotHigh, kLumidotLow,
    kLumidotHorizontalPhase, kLumidotHorizontalIteration,
    kLumidotVerticalPhase, kLumidotVerticalIteration,
    kLumidotHorizontalLowThreshold, kLumidotHorizontalHighThreshold,
    kLumidotVerticalHighThreshold, kLumidotVerticalLowThreshold,
    kLumidotVerticalPinch, kLumidotHorizontalPinch,
    kLumidotVerticalSine, kLumidotVerticalCosine,
    kLumidotHorizontalSine, kLumidotHorizontalCosine,
    kLumidotPositive, kLumidotNegative,
    kLumidotUseVerticalColour, kLumidotUseHorizontalColour,
};
// clang-format on
static_assert(std::size(kResetOrder) == kLumidotParamCount);
// The repair sets the rows the older layout lacks in the order Reset sets them.
static_assert(std::ranges::equal(std::span(kResetOrder).subspan(kLumidotVersion11Rows),
                                 kLumidotRepairOrder));

constexpr int kColorRows[] = {kLumidotHigh, kLumidotLow};
constexpr const char* kSlotNames[] = {"High", "Low"};

constexpr auto kLayout12 = loom::MakeLayout<kLumidotParamCount>(kRows);
// The version 11 rows were all animatable, as rows 0 to 5 still are.
constexpr auto kLayout11 = loom::MakeLayout<kLumidotVersion11Rows>(kRows);
const ParamVersionDesc kOlderLayouts[] = {
    {kLayout11.data(), kLumidotVersion11Rows, kLumidotVersion11},
};

}  // namespace

const loom::TextureInfo kLumidotInfo = {
    "Loomwork \xB7 Lumidot 2.0",
    "TLC Lumidot",
    Class_ID(0x0AD22FBE, 0x44F54C8D),
    "LumidotTemp",
    kRows,
    kResetOrder,
    kColorRows,
    kSlotNames,
    kLumidotVersion,
    kLayout12,
    kOlderLayouts,
    true,
};

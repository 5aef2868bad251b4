#include "lumidot/panel.h"

#include "foundation/texframe/tex_class_desc.h"
#include "lumidot/params.h"
#include "lumidot/resource.h"

namespace {

using loom::ButtonGroup;
using loom::MapButtonBinding;
using loom::Mutation;
using loom::MutationDraw;
using loom::Preset;
using loom::PresetValue;
using loom::SpinnerBinding;
using loom::SwatchBinding;

// In the order the panel creates (and releases) them.
// clang-format off
constexpr SpinnerBinding kSpinners[] = {
    {IDC_HPHASE_SPIN, IDC_HPHASE_EDIT, kLumidotHorizontalPhase,         0.0f,  100.0f, 0.5f,  0.1f, 0.0f,  false},
    {IDC_HITER_SPIN,  IDC_HITER_EDIT,  kLumidotHorizontalIteration,     0.0f,  10.0f,  0.01f, 0.1f, 0.01f, false},
    {IDC_VPHASE_SPIN, IDC_VPHASE_EDIT, kLumidotVerticalPhase,           0.0f,  100.0f, 0.5f,  0.1f, 0.0f,  false},
    {IDC_VITER_SPIN,  IDC_VITER_EDIT,  kLumidotVerticalIteration,       0.0f,  10.0f,  0.01f, 0.1f, 0.01f, false},
    {IDC_HHIGH_SPIN,  IDC_HHIGH_EDIT,  kLumidotHorizontalHighThreshold, 0.0f,  1.0f,   0.5f,  0.1f, 0.0f,  false},
    {IDC_HLOW_SPIN,   IDC_HLOW_EDIT,   kLumidotHorizontalLowThreshold,  -1.0f, 0.0f,   0.5f,  0.1f, 0.0f,  false},
    {IDC_VHIGH_SPIN,  IDC_VHIGH_EDIT,  kLumidotVerticalHighThreshold,   0.0f,  1.0f,   0.5f,  0.1f, 0.0f,  false},
    {IDC_VLOW_SPIN,   IDC_VLOW_EDIT,   kLumidotVerticalLowThreshold,    -1.0f, 0.0f,   0.5f,  0.1f, 0.0f,  false},
};
// clang-format on
constexpr SwatchBinding kSwatches[] = {{IDC_HIGH_SWATCH, kLumidotHighSlot},
                                       {IDC_LOW_SWATCH, kLumidotLowSlot}};
constexpr MapButtonBinding kMapButtons[] = {{IDC_HIGH_MAP, kLumidotHighSlot},
                                            {IDC_LOW_MAP, kLumidotLowSlot}};

// In the order the panel loads them.
constexpr int kBlendIds[] = {IDC_POSITIVE, IDC_NEGATIVE};
constexpr int kBlendRows[] = {kLumidotPositive, kLumidotNegative};
constexpr int kVPinchIds[] = {IDC_VPINCH};
constexpr int kVPinchRows[] = {kLumidotVerticalPinch};
constexpr int kHPinchIds[] = {IDC_HPINCH};
constexpr int kHPinchRows[] = {kLumidotHorizontalPinch};
constexpr int kVWaveIds[] = {IDC_VSINE, IDC_VCOSINE};
constexpr int kVWaveRows[] = {kLumidotVerticalSine, kLumidotVerticalCosine};
constexpr int kHWaveIds[] = {IDC_HSINE, IDC_HCOSINE};
constexpr int kHWaveRows[] = {kLumidotHorizontalSine, kLumidotHorizontalCosine};
constexpr int kUseVerticalIds[] = {IDC_USE_VERTICAL};
constexpr int kUseVerticalRows[] = {kLumidotUseVerticalColour};
constexpr int kUseHorizontalIds[] = {IDC_USE_HORIZONTAL};
constexpr int kUseHorizontalRows[] = {kLumidotUseHorizontalColour};
constexpr ButtonGroup kGroups[] = {
    {kBlendIds, kBlendRows},
    {kVPinchIds, kVPinchRows},
    {kHPinchIds, kHPinchRows},
    {kVWaveIds, kVWaveRows},
    {kHWaveIds, kHWaveRows},
    {kUseVerticalIds, kUseVerticalRows},
    {kUseHorizontalIds, kUseHorizontalRows},
};

constexpr PresetValue Value(int row, float v) { return {row, ParamValue{{v, 0.0f, 0.0f}}}; }
constexpr PresetValue Colour(int row, float r, float g, float b) {
    return {row, ParamValue{{r, g, b}}};
}

// One preset column, set in this order.
#define LUMIDOT_PRESET(hr, hg, hb, lr, lg, lb, hPhase, hIter, vLow, vHigh, vPhase, vIter, hLow,   \
                       hHigh, vPinch, hPinch, vSine, vCosine, hSine, hCosine, positive, negative, \
                       useV, useH)                                                                \
    {                                                                                             \
        Colour(kLumidotHigh, hr, hg, hb), Colour(kLumidotLow, lr, lg, lb),                        \
            Value(kLumidotHorizontalPhase, hPhase), Value(kLumidotHorizontalIteration, hIter),    \
            Value(kLumidotVerticalLowThreshold, vLow),                                            \
            Value(kLumidotVerticalHighThreshold, vHigh), Value(kLumidotVerticalPhase, vPhase),    \
            Value(kLumidotVerticalIteration, vIter), Value(kLumidotHorizontalLowThreshold, hLow), \
            Value(kLumidotHorizontalHighThreshold, hHigh), Value(kLumidotVerticalPinch, vPinch),  \
            Value(kLumidotHorizontalPinch, hPinch), Value(kLumidotVerticalSine, vSine),           \
            Value(kLumidotVerticalCosine, vCosine), Value(kLumidotHorizontalSine, hSine),         \
            Value(kLumidotHorizontalCosine, hCosine), Value(kLumidotPositive, positive),          \
            Value(kLumidotNegative, negative), Value(kLumidotUseVerticalColour, useV),            \
            Value(kLumidotUseHorizontalColour, useH)                                              \
    }
// clang-format off
constexpr PresetValue kTartan[] = LUMIDOT_PRESET(
    0.8f, 0.1f, 0.6f, 0.4f, 0.3f, 0.8f, 1.5f, 0.05f, 0.0f, 0.0f, 1.5f, 0.05f, 0.0f, 0.0f,
    0, 0, 0, 1, 0, 1, 1, 0, 1, 1);
constexpr PresetValue kVideoWall[] = LUMIDOT_PRESET(
    0.0f, 0.0f, 0.0f, 0.5f, 0.3f, 0.6f, 3.2f, 0.04f, -1.0f, 1.0f, 2.0f, 0.04f, -1.0f, 1.0f,
    1, 1, 1, 0, 0, 1, 1, 0, 1, 1);
constexpr PresetValue kNova[] = LUMIDOT_PRESET(
    1.0f, 0.9f, 0.4f, 0.7f, 0.0f, 0.0f, 1.3f, 0.15f, -1.0f, 1.0f, 3.0f, 0.3f, -1.0f, 1.0f,
    0, 1, 1, 0, 0, 1, 1, 0, 1, 1);
// clang-format on
#undef LUMIDOT_PRESET

constexpr Preset kPresets[] = {
    {IDC_TARTAN, kTartan}, {IDC_VIDEO_WALL, kVideoWall}, {IDC_NOVA, kNova}};

// Colours draw blue, green, red; High first.
constexpr MutationDraw kMutateColours[] = {
    {kLumidotHigh, 2, 1.0f}, {kLumidotHigh, 1, 1.0f}, {kLumidotHigh, 0, 1.0f},
    {kLumidotLow, 2, 1.0f},  {kLumidotLow, 1, 1.0f},  {kLumidotLow, 0, 1.0f},
};
// Phases 0..100, iterations 0..2, high thresholds 0..1, low thresholds -1..0.
constexpr MutationDraw kMutateGradients[] = {
    {kLumidotHorizontalPhase, 0, 100.0f},       {kLumidotHorizontalIteration, 0, 2.0f},
    {kLumidotVerticalPhase, 0, 100.0f},         {kLumidotVerticalIteration, 0, 2.0f},
    {kLumidotHorizontalLowThreshold, 0, -1.0f}, {kLumidotHorizontalHighThreshold, 0, 1.0f},
    {kLumidotVerticalHighThreshold, 0, 1.0f},   {kLumidotVerticalLowThreshold, 0, -1.0f},
};
constexpr Mutation kMutations[] = {{IDC_MUTATE_COLOURS, kMutateColours},
                                   {IDC_MUTATE_GRADIENTS, kMutateGradients}};

const loom::PanelInfo kPanel = {
    IDD_LUMIDOT, "Lumidot 2.0 Setup", kSpinners, kSwatches, kMapButtons, IDC_SWAP, kGroups,
    kPresets,    kMutations,
};

}  // namespace

LumidotDlg::LumidotDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp)
    : TexPanelBase(tex, hwMtlEdit, imp, kPanel, loom::TexLibInstance()) {}

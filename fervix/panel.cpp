#include "fervix/panel.h"

#include "fervix/params.h"
#include "fervix/resource.h"
#include "foundation/texframe/tex_class_desc.h"

namespace {

using loom::ButtonGroup;
using loom::MapButtonBinding;
using loom::Mutation;
using loom::MutationDraw;
using loom::Preset;
using loom::PresetValue;
using loom::SpinnerBinding;
using loom::SwatchBinding;

// In the order the panel creates them.
// clang-format off
constexpr SpinnerBinding kSpinners[] = {
    {IDC_USCALE_SPIN,           IDC_USCALE_EDIT,           kFervixUScale,          0.0f,   30.0f, 0.1f,  0.1f, 0.0f,  false},
    {IDC_VSCALE_SPIN,           IDC_VSCALE_EDIT,           kFervixVScale,          0.0f,   30.0f, 0.1f,  0.1f, 0.0f,  false},
    {IDC_UOFFSET_SPIN,          IDC_UOFFSET_EDIT,          kFervixUOffset,         -1.0f,  2.0f,  0.05f, 0.1f, 0.0f,  false},
    {IDC_VOFFSET_SPIN,          IDC_VOFFSET_EDIT,          kFervixVOffset,         -1.0f,  2.0f,  0.05f, 0.1f, 0.0f,  false},
    {IDC_PHASE_SPIN,            IDC_PHASE_EDIT,            kFervixPhase,           0.0f,   150.0f, 0.1f, 0.1f, 0.0f,  false},
    {IDC_INTENSITY_SPIN,        IDC_INTENSITY_EDIT,        kFervixIntensity,       0.0f,   2.0f,  0.01f, 0.1f, 0.01f, false},
    {IDC_FALLOFF_SPIN,          IDC_FALLOFF_EDIT,          kFervixFallOff,         0.0f,   5.0f,  0.1f,  0.1f, 0.0f,  false},
    {IDC_SHIFTX_SPIN,           IDC_SHIFTX_EDIT,           kFervixShiftX,          -90.0f, 90.0f, 0.1f,  0.1f, 0.0f,  false},
    {IDC_SHIFTY_SPIN,           IDC_SHIFTY_EDIT,           kFervixShiftY,          -90.0f, 90.0f, 0.1f,  0.1f, 0.0f,  false},
    {IDC_TURBULENCE_SCALE_SPIN, IDC_TURBULENCE_SCALE_EDIT, kFervixTurbulenceScale, 1.1f,   15.0f, 1.0f,  0.1f, 0.0f,  false},
    {IDC_FRACTAL_SCALE_SPIN,    IDC_FRACTAL_SCALE_EDIT,    kFervixFractalScale,    0.5f,   10.0f, 0.1f,  0.1f, 0.01f, false},
};
// clang-format on
constexpr SwatchBinding kSwatches[] = {{IDC_PRIME_SWATCH, kFervixPrimeSlot},
                                       {IDC_BACK_SWATCH, kFervixBackSlot}};
constexpr MapButtonBinding kMapButtons[] = {{IDC_PRIME_MAP, kFervixPrimeSlot},
                                            {IDC_BACK_MAP, kFervixBackSlot}};

constexpr int kGradientIds[] = {IDC_U_RADIAL, IDC_U_LINEAR, IDC_V_RADIAL, IDC_V_LINEAR};
constexpr int kGradientRows[] = {kFervixHorizontalRadial, kFervixHorizontalLinear,
                                 kFervixVerticalRadial, kFervixVerticalLinear};
constexpr int kPlasmaIds[] = {IDC_USE_PLASMA};
constexpr int kPlasmaRows[] = {kFervixUsePlasma};
constexpr int kFractalIds[] = {IDC_USE_FRACTAL};
constexpr int kFractalRows[] = {kFervixUseFractalDetail};
constexpr int kTurbulenceIds[] = {IDC_USE_TURBULENCE};
constexpr int kTurbulenceRows[] = {kFervixUseTurbulence};
constexpr int kPlasmaModeIds[] = {IDC_PLASMA_ADD, IDC_PLASMA_SUB};
constexpr int kPlasmaModeRows[] = {kFervixPlasmaAdd, kFervixPlasmaSub};
constexpr int kFractalModeIds[] = {IDC_FRACTAL_ADD, IDC_FRACTAL_SUB};
constexpr int kFractalModeRows[] = {kFervixFractalAdd, kFervixFractalSub};
constexpr int kTurbulenceModeIds[] = {IDC_TURBULENCE_ADD, IDC_TURBULENCE_SUB};
constexpr int kTurbulenceModeRows[] = {kFervixTurbulenceAdd, kFervixTurbulenceSub};
constexpr int kBlendIds[] = {IDC_POSITIVE, IDC_NEGATIVE};
constexpr int kBlendRows[] = {kFervixPositive, kFervixNegative};
constexpr ButtonGroup kGroups[] = {
    {kGradientIds, kGradientRows},
    {kPlasmaIds, kPlasmaRows},
    {kFractalIds, kFractalRows},
    {kTurbulenceIds, kTurbulenceRows},
    {kPlasmaModeIds, kPlasmaModeRows},
    {kFractalModeIds, kFractalModeRows},
    {kTurbulenceModeIds, kTurbulenceModeRows},
    {kBlendIds, kBlendRows},
};

constexpr PresetValue Value(int row, float v) { return {row, ParamValue{{v, 0.0f, 0.0f}}}; }
constexpr PresetValue Colour(int row, float r, float g, float b) {
    return {row, ParamValue{{r, g, b}}};
}

// One preset column, set in this order.
#define FERVIX_PRESET(pr, pg, pb, br, bg, bb, plasma, fractal, turb, pAdd, pSub, fAdd, fSub, tAdd, \
                      tSub, turbScale, fracScale, phase, intensity, uScale, shiftX, vScale,        \
                      shiftY, uRadial, uLinear, uOffset, vRadial, vLinear, vOffset, fallOff,       \
                      positive, negative)                                                          \
    {                                                                                              \
        Colour(kFervixPrime, pr, pg, pb), Colour(kFervixBack, br, bg, bb),                         \
            Value(kFervixUsePlasma, plasma), Value(kFervixUseFractalDetail, fractal),              \
            Value(kFervixUseTurbulence, turb), Value(kFervixPlasmaAdd, pAdd),                      \
            Value(kFervixPlasmaSub, pSub), Value(kFervixFractalAdd, fAdd),                         \
            Value(kFervixFractalSub, fSub), Value(kFervixTurbulenceAdd, tAdd),                     \
            Value(kFervixTurbulenceSub, tSub), Value(kFervixTurbulenceScale, turbScale),           \
            Value(kFervixFractalScale, fracScale), Value(kFervixPhase, phase),                     \
            Value(kFervixIntensity, intensity), Value(kFervixUScale, uScale),                      \
            Value(kFervixShiftX, shiftX), Value(kFervixVScale, vScale),                            \
            Value(kFervixShiftY, shiftY), Value(kFervixHorizontalRadial, uRadial),                 \
            Value(kFervixHorizontalLinear, uLinear), Value(kFervixUOffset, uOffset),               \
            Value(kFervixVerticalRadial, vRadial), Value(kFervixVerticalLinear, vLinear),          \
            Value(kFervixVOffset, vOffset), Value(kFervixFallOff, fallOff),                        \
            Value(kFervixPositive, positive), Value(kFervixNegative, negative)                     \
    }
// clang-format off
constexpr PresetValue kCoilFire[] = FERVIX_PRESET(
    1.0f, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0, 1, 1, 1, 0, 1, 0, 1, 0,
    3.5f, 0.8f, 0.0f, 0.7f, 12.0f, 0.0f, 6.0f, 6.5f, 0, 1, 0.5f, 1, 0, 0.0f, 0.3f, 1, 0);
constexpr PresetValue kOcean[] = FERVIX_PRESET(
    0.4f, 0.5f, 0.7f, 0.2f, 0.2f, 1.0f, 1, 0, 1, 1, 0, 1, 0, 0, 1,
    3.0f, 2.0f, 0.0f, 0.9f, 3.0f, 0.0f, 11.0f, 0.0f, 0, 1, 0.5f, 1, 0, 0.7f, 0.5f, 1, 0);
constexpr PresetValue kSpiderWeb[] = FERVIX_PRESET(
    0.0f, 0.0f, 0.0f, 0.7f, 0.8f, 0.9f, 0, 0, 1, 1, 0, 1, 0, 1, 0,
    8.0f, 2.0f, 0.0f, 1.5f, 4.5f, 0.0f, 4.5f, 0.0f, 0, 1, 0.5f, 0, 1, 0.5f, 0.7f, 1, 0);
constexpr PresetValue kGrassy[] = FERVIX_PRESET(
    0.1f, 1.0f, 0.1f, 0.0f, 0.2f, 0.0f, 1, 1, 1, 1, 0, 1, 0, 1, 0,
    2.0f, 1.1f, 0.0f, 0.35f, 12.0f, 0.0f, 4.0f, 0.0f, 1, 0, 0.5f, 0, 1, 0.0f, 0.4f, 1, 0);
constexpr PresetValue kAlienSkin[] = FERVIX_PRESET(
    0.8f, 0.9f, 0.9f, 0.0f, 0.0f, 0.3f, 0, 1, 1, 1, 0, 1, 0, 0, 1,
    2.0f, 2.0f, 0.0f, 0.4f, 4.0f, 0.0f, 6.5f, 0.0f, 1, 0, 0.5f, 1, 0, 0.7f, 0.1f, 1, 0);
constexpr PresetValue kSteam[] = FERVIX_PRESET(
    0.0f, 0.9f, 0.9f, 0.0f, 0.0f, 0.0f, 1, 1, 1, 1, 0, 1, 0, 0, 1,
    5.3f, 1.6f, 0.0f, 0.3f, 3.0f, 0.0f, 3.0f, 0.0f, 1, 0, 0.5f, 1, 0, 1.0f, 0.8f, 0, 1);
// clang-format on
#undef FERVIX_PRESET

constexpr Preset kPresets[] = {
    {IDC_COIL_FIRE, kCoilFire}, {IDC_OCEAN, kOcean},          {IDC_SPIDER_WEB, kSpiderWeb},
    {IDC_GRASSY, kGrassy},      {IDC_ALIEN_SKIN, kAlienSkin}, {IDC_STEAM, kSteam},
};

// Colours draw blue, green, red; Prime first.
constexpr MutationDraw kMutateColours[] = {
    {kFervixPrime, 2, 1.0f}, {kFervixPrime, 1, 1.0f}, {kFervixPrime, 0, 1.0f},
    {kFervixBack, 2, 1.0f},  {kFervixBack, 1, 1.0f},  {kFervixBack, 0, 1.0f},
};
constexpr MutationDraw kMutateNoise[] = {
    {kFervixTurbulenceScale, 0, 15.0f}, {kFervixFractalScale, 0, 10.0f}, {kFervixPhase, 0, 150.0f},
    {kFervixIntensity, 0, 2.0f},        {kFervixUScale, 0, 30.0f},       {kFervixShiftX, 0, 90.0f},
    {kFervixVScale, 0, 30.0f},          {kFervixShiftY, 0, 90.0f},
};
constexpr Mutation kMutations[] = {{IDC_MUTATE_COLOURS, kMutateColours},
                                   {IDC_MUTATE_NOISE, kMutateNoise}};

const loom::PanelInfo kPanel = {
    IDD_FERVIX, "Fervix 2.0 Setup", kSpinners,  kSwatches, kMapButtons, IDC_SWAP,
    kGroups,    kPresets,           kMutations,
};

}  // namespace

FervixDlg::FervixDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp)
    : TexPanelBase(tex, hwMtlEdit, imp, kPanel, loom::TexLibInstance()) {}

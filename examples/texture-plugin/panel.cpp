#include "panel.h"

#include "foundation/texframe/tex_class_desc.h"
#include "params.h"
#include "resource.h"

namespace {

using loom::MapButtonBinding;
using loom::Preset;
using loom::PresetValue;
using loom::SpinnerBinding;
using loom::SwatchBinding;

// clang-format off
constexpr SpinnerBinding kSpinners[] = {
    {IDC_THREADS_SPIN, IDC_THREADS_EDIT, kWeftThreads, 0.0f, 1000.0f, 8.0f,  1.0f,  0.1f, false},
    {IDC_WIDTH_SPIN,   IDC_WIDTH_EDIT,   kWeftWidth,   0.0f, 1.0f,    0.8f,  0.01f, 0.0f, false},
    {IDC_GAP_SPIN,     IDC_GAP_EDIT,     kWeftGap,     0.0f, 1.0f,    0.5f,  0.01f, 0.0f, false},
};
constexpr SwatchBinding kSwatches[] = {{IDC_WARP_SWATCH, kWeftWarpSlot}, {IDC_WEFT_SWATCH, kWeftWeftSlot}};
constexpr MapButtonBinding kMapButtons[] = {{IDC_WARP_MAP, kWeftWarpSlot}, {IDC_WEFT_MAP, kWeftWeftSlot}};

constexpr PresetValue Value(int row, float v) { return {row, ParamValue{{v, 0.0f, 0.0f}}}; }
constexpr PresetValue Colour(int row, float r, float g, float b) { return {row, ParamValue{{r, g, b}}}; }

constexpr PresetValue kLinen[] = {Colour(kWeftWarp, 0.85f, 0.82f, 0.74f), Colour(kWeftWeft, 0.93f, 0.9f, 0.82f),
                                  Value(kWeftThreads, 40.0f), Value(kWeftWidth, 0.9f), Value(kWeftGap, 0.3f)};
constexpr PresetValue kBasket[] = {Colour(kWeftWarp, 0.55f, 0.38f, 0.2f), Colour(kWeftWeft, 0.75f, 0.58f, 0.35f),
                                   Value(kWeftThreads, 6.0f), Value(kWeftWidth, 0.7f), Value(kWeftGap, 0.0f)};
constexpr Preset kPresets[] = {{IDC_LINEN, kLinen}, {IDC_BASKET, kBasket}};
// clang-format on

const loom::PanelInfo kPanel = {
    IDD_WEFT, "Weft Setup", kSpinners, kSwatches, kMapButtons, IDC_SWAP, {}, kPresets, {},
};

}  // namespace

WeftDlg::WeftDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp)
    : TexPanelBase(tex, hwMtlEdit, imp, kPanel, loom::TexLibInstance()) {}

#include "nimbra/panel.h"

#include <cstdio>

#include "foundation/texframe/tex_class_desc.h"
#include "nimbra/params.h"
#include "nimbra/resource.h"

namespace {

using loom::ButtonGroup;
using loom::MapButtonBinding;
using loom::Mutation;
using loom::MutationDraw;
using loom::Preset;
using loom::PresetValue;
using loom::SpinnerBinding;
using loom::SwatchBinding;

// clang-format off
constexpr SpinnerBinding kSpinners[] = {
    {IDC_DENSITY_SPIN,   IDC_DENSITY_EDIT,   kNimbraDensity,   0.0f, 2.0f,  0.1f, 0.1f, 0.0f, false},
    {IDC_DETAIL_SPIN,    IDC_DETAIL_EDIT,    kNimbraDetail,    0.0f, 30.0f, 0.1f, 0.1f, 1.0f, false},
    {IDC_CONTRAST_SPIN,  IDC_CONTRAST_EDIT,  kNimbraContrast,  0.0f, 6.0f,  0.1f, 0.1f, 0.0f, false},
    {IDC_SOFTENING_SPIN, IDC_SOFTENING_EDIT, kNimbraSoftening, 0.0f, 1.0f,  0.1f, 0.1f, 0.0f, false},
};
constexpr SwatchBinding kSwatches[] = {{IDC_CLOUD_SWATCH, kNimbraCloudSlot}, {IDC_SKY_SWATCH, kNimbraSkySlot}};
constexpr MapButtonBinding kMapButtons[] = {{IDC_CLOUD_MAP, kNimbraCloudSlot}, {IDC_SKY_MAP, kNimbraSkySlot}};
constexpr int kBlendIds[] = {IDC_POSITIVE, IDC_NEGATIVE};
constexpr int kBlendRows[] = {kNimbraPositive, kNimbraNegative};
constexpr ButtonGroup kGroups[] = {{kBlendIds, kBlendRows}};

constexpr PresetValue Shape(int row, float v) { return {row, ParamValue{{v, 0.0f, 0.0f}}}; }
constexpr PresetValue Colour(int row, float r, float g, float b) { return {row, ParamValue{{r, g, b}}}; }

#define NIMBRA_SHAPE(c, d, det, s, us, vs, ush, vsh, uw, vw)                              \
    {Shape(kNimbraContrast, c), Shape(kNimbraDensity, d), Shape(kNimbraDetail, det),        \
     Shape(kNimbraSoftening, s), Shape(kNimbraUScale, us), Shape(kNimbraVScale, vs),        \
     Shape(kNimbraUShift, ush), Shape(kNimbraVShift, vsh), Shape(kNimbraUWaveform, uw),     \
     Shape(kNimbraVWaveform, vw)}
constexpr PresetValue kCumulus[] = NIMBRA_SHAPE(1.4f, 0.8f, 8, 0.4f, 25, 25, 0, 0, 25, 25);
constexpr PresetValue kCirrus[] = NIMBRA_SHAPE(1.1f, 0.6f, 9, 0.4f, 10, 50, 25, 0, 22.5f, 25);
constexpr PresetValue kCirrocumulus[] = NIMBRA_SHAPE(0.9f, 0.7f, 7, 0.6f, 65, 95, 50, 0, 22.5f, 25);
constexpr PresetValue kNimbraShape[] = NIMBRA_SHAPE(1.5f, 0.5f, 10, 0.5f, 10, 15, 0, 0, 25, 25);
constexpr PresetValue kCirronimbra[] = NIMBRA_SHAPE(1.9f, 0.4f, 15, 0.6f, 12.5f, 25, 25, 0, 25, 25);
#undef NIMBRA_SHAPE

constexpr PresetValue kSummer[] = {Colour(kNimbraCloud, 1.0f, 1.0f, 1.0f), Colour(kNimbraSky, 0.3f, 0.3f, 1.0f)};
constexpr PresetValue kWinter[] = {Colour(kNimbraCloud, 0.7f, 0.7f, 0.7f), Colour(kNimbraSky, 0.2f, 0.2f, 0.3f)};
constexpr PresetValue kMartian[] = {Colour(kNimbraCloud, 0.8f, 0.0f, 0.9f), Colour(kNimbraSky, 0.6f, 0.0f, 0.0f)};
constexpr PresetValue kCosmic[] = {Colour(kNimbraCloud, 0.6f, 0.4f, 0.7f), Colour(kNimbraSky, 0.0f, 0.0f, 0.0f)};
constexpr PresetValue kInferno[] = {Colour(kNimbraCloud, 1.0f, 1.0f, 0.5f), Colour(kNimbraSky, 0.9f, 0.2f, 0.1f)};

constexpr Preset kPresets[] = {
    {IDC_CUMULUS, kCumulus}, {IDC_CIRRUS, kCirrus}, {IDC_CIRROCUMULUS, kCirrocumulus},
    {IDC_NIMBRA, kNimbraShape}, {IDC_CIRRONIMBRA, kCirronimbra},
    {IDC_SUMMER, kSummer}, {IDC_WINTER, kWinter}, {IDC_MARTIAN, kMartian},
    {IDC_COSMIC, kCosmic}, {IDC_INFERNO, kInferno},
};

// Colours draw blue, green, red; cloud first.
constexpr MutationDraw kMutateColours[] = {
    {kNimbraCloud, 2, 1.0f}, {kNimbraCloud, 1, 1.0f}, {kNimbraCloud, 0, 1.0f},
    {kNimbraSky, 2, 1.0f},   {kNimbraSky, 1, 1.0f},   {kNimbraSky, 0, 1.0f},
};
constexpr MutationDraw kMutateShapes[] = {
    {kNimbraContrast, 0, 6.0f},  {kNimbraDensity, 0, 2.0f},  {kNimbraDetail, 0, 30.0f},
    {kNimbraSoftening, 0, 1.0f}, {kNimbraUScale, 0, 100.0f}, {kNimbraVScale, 0, 100.0f},
    {kNimbraUShift, 0, 100.0f},  {kNimbraVShift, 0, 100.0f},
};
constexpr Mutation kMutations[] = {
    {IDC_MUTATE_COLOURS, kMutateColours}, {IDC_MUTATE_SHAPES, kMutateShapes}};

/// Sliders in the order the panel sets them up and loads them.
struct Slider {
    int id;
    int readout;
    int row;
    float unit;
    int ticFreq;
};
constexpr Slider kSliders[] = {
    {IDC_USCALE_SLIDER, IDC_USCALE_READOUT, kNimbraUScale, 0.04f, 25},
    {IDC_VSCALE_SLIDER, IDC_VSCALE_READOUT, kNimbraVScale, 0.04f, 25},
    {IDC_USHIFT_SLIDER, IDC_USHIFT_READOUT, kNimbraUShift, 0.04f, 25},
    {IDC_VSHIFT_SLIDER, IDC_VSHIFT_READOUT, kNimbraVShift, 0.04f, 25},
    {IDC_UWAVE_SLIDER,  IDC_UWAVE_READOUT,  kNimbraUWaveform, 0.02f, 50},
    {IDC_VWAVE_SLIDER,  IDC_VWAVE_READOUT,  kNimbraVWaveform, 0.02f, 50},
};
// clang-format on

const loom::PanelInfo kPanel = {
    IDD_NIMBRA, "Nimbra Setup", kSpinners, kSwatches,  kMapButtons,
    IDC_SWAP,   kGroups,        kPresets,  kMutations,
};

/// Slider position of a cached value: truncated toward zero, kept to the slider's range.
WPARAM SliderPosition(float v) {
    if (!(v > 0.0f)) return 0;
    return v >= 100.0f ? 100 : static_cast<WPARAM>(static_cast<int>(v));
}

}  // namespace

std::string NimbraReadout(float sliderValue, float unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", Widen(sliderValue * unit));
    return text;
}

NimbraDlg::NimbraDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp)
    : TexPanelBase(tex, hwMtlEdit, imp, kPanel, loom::TexLibInstance()) {}

void NimbraDlg::InitExtra(HWND hWnd) {
    for (const Slider& s : kSliders) {
        SendDlgItemMessageA(hWnd, s.id, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        SendDlgItemMessageA(hWnd, s.id, TBM_SETPAGESIZE, 0, 10);
        SendDlgItemMessageA(hWnd, s.id, TBM_SETTICFREQ, static_cast<WPARAM>(s.ticFreq), 0);
    }
}

void NimbraDlg::ShowReadout(size_t slider) {
    const Slider& s = kSliders[slider];
    float v = Texture()->CachedValue(s.row).v[0];
    SetDlgItemTextA(Window(), s.readout, NimbraReadout(v, s.unit).c_str());
}

void NimbraDlg::LoadExtra() {
    for (size_t i = 0; i < std::size(kSliders); ++i) {
        const Slider& s = kSliders[i];
        SendDlgItemMessageA(
            Window(), s.id, TBM_SETPOS, TRUE,
            static_cast<LPARAM>(SliderPosition(Texture()->CachedValue(s.row).v[0])));
        ShowReadout(i);
    }
}

BOOL NimbraDlg::HandleExtra(HWND, UINT msg, WPARAM, LPARAM lParam, INT_PTR& result) {
    if (msg != WM_HSCROLL || !Texture()) return FALSE;
    // Every notification of a slider sets its value again; no hold, no redraw.
    for (size_t i = 0; i < std::size(kSliders); ++i) {
        if (reinterpret_cast<HWND>(lParam) != GetDlgItem(Window(), kSliders[i].id)) continue;
        auto pos = static_cast<int>(SendMessageA(reinterpret_cast<HWND>(lParam), TBM_GETPOS, 0, 0));
        Texture()->SetFloatParam(kSliders[i].row, static_cast<float>(pos), CurrentTime());
        ShowReadout(i);
        break;
    }
    result = 0;
    return TRUE;
}

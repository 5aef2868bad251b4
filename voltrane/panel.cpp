#include "voltrane/panel.h"

#include "foundation/host/base/undo.h"
#include "foundation/texframe/tex_class_desc.h"
#include "voltrane/params.h"
#include "voltrane/resource.h"

namespace {

using loom::ButtonGroup;
using loom::MapButtonBinding;
using loom::SpinnerBinding;
using loom::SwatchBinding;

// In the order the panel creates them.
// clang-format off
constexpr SpinnerBinding kSpinners[] = {
    {IDC_EDGE_NOISE_SPIN,      IDC_EDGE_NOISE_EDIT,      kVoltraneEdgeNoise,    0.0f,   30.0f,  0.0f, 0.1f, 1.0f,  false},
    {IDC_EDGE_SIZE_SPIN,       IDC_EDGE_SIZE_EDIT,       kVoltraneEdgeSize,     0.0f,   1.0f,   0.0f, 0.1f, 0.01f, false},
    {IDC_SWEEP_PHASE_SPIN,     IDC_SWEEP_PHASE_EDIT,     kVoltraneSweepPhase,   -700.0f, 700.0f, 0.0f, 1.0f, 0.0f,  true},
    {IDC_EDGE_DENSITY_SPIN,    IDC_EDGE_DENSITY_EDIT,    kVoltraneEdgeDensity,  0.0f,   100.0f, 0.0f, 0.1f, 0.0f,  false},
    {IDC_WAVE1_SIZE_SPIN,      IDC_WAVE1_SIZE_EDIT,      kVoltraneWave1Size,    0.0f,   40.0f,  0.0f, 0.1f, 0.0f,  false},
    {IDC_WAVE1_SYNC_SPIN,      IDC_WAVE1_SYNC_EDIT,      kVoltraneWave1Sync,    0.0f,   500.0f, 0.0f, 0.1f, 0.0f,  false},
    {IDC_WAVE1_MULT_SPIN,      IDC_WAVE1_MULT_EDIT,      kVoltraneWave1Mult,    -1.0f,  10.0f,  0.0f, 0.1f, 0.01f, false},
    {IDC_WAVE2_SIZE_SPIN,      IDC_WAVE2_SIZE_EDIT,      kVoltraneWave2Size,    0.0f,   40.0f,  0.0f, 0.1f, 0.0f,  false},
    {IDC_WAVE2_SYNC_SPIN,      IDC_WAVE2_SYNC_EDIT,      kVoltraneWave2Sync,    0.0f,   500.0f, 0.0f, 0.1f, 0.0f,  false},
    {IDC_WAVE2_MULT_SPIN,      IDC_WAVE2_MULT_EDIT,      kVoltraneWave2Mult,    -1.0f,  10.0f,  0.0f, 0.1f, 0.01f, false},
    {IDC_BODY_OPACITY_R_SPIN,  IDC_BODY_OPACITY_R_EDIT,  kVoltraneBodyOpacityR, 0.0f,   2.0f,   0.0f, 0.1f, 0.0f,  false},
    {IDC_BODY_OPACITY_G_SPIN,  IDC_BODY_OPACITY_G_EDIT,  kVoltraneBodyOpacityG, 0.0f,   2.0f,   0.0f, 0.1f, 0.0f,  false},
    {IDC_BODY_OPACITY_B_SPIN,  IDC_BODY_OPACITY_B_EDIT,  kVoltraneBodyOpacityB, 0.0f,   2.0f,   0.0f, 0.1f, 0.0f,  false},
    {IDC_EDGE_OPACITY_R_SPIN,  IDC_EDGE_OPACITY_R_EDIT,  kVoltraneEdgeOpacityR, 0.0f,   2.0f,   0.0f, 0.1f, 0.0f,  false},
    {IDC_EDGE_OPACITY_G_SPIN,  IDC_EDGE_OPACITY_G_EDIT,  kVoltraneEdgeOpacityG, 0.0f,   2.0f,   0.0f, 0.1f, 0.0f,  false},
    {IDC_EDGE_OPACITY_B_SPIN,  IDC_EDGE_OPACITY_B_EDIT,  kVoltraneEdgeOpacityB, 0.0f,   2.0f,   0.0f, 0.1f, 0.0f,  false},
    {IDC_SHEAR_SPIN,           IDC_SHEAR_EDIT,           kVoltraneShear,        1.0f,   100.0f, 0.0f, 0.1f, 0.01f, false},
    {IDC_RADIAL_U_SPIN,        IDC_RADIAL_U_EDIT,        kVoltraneRadialU,      -1.0f,  2.0f,   0.0f, 0.1f, 0.0f,  false},
    {IDC_RADIAL_V_SPIN,        IDC_RADIAL_V_EDIT,        kVoltraneRadialV,      -1.0f,  2.0f,   0.0f, 0.1f, 0.0f,  false},
    {IDC_GOO_USCALE_SPIN,      IDC_GOO_USCALE_EDIT,      kVoltraneGooUScale,    0.1f,   20.0f,  0.0f, 0.1f, 0.0f,  false},
    {IDC_GOO_VSCALE_SPIN,      IDC_GOO_VSCALE_EDIT,      kVoltraneGooVScale,    0.1f,   20.0f,  0.0f, 0.1f, 0.0f,  false},
    {IDC_GOO_USHIFT_SPIN,      IDC_GOO_USHIFT_EDIT,      kVoltraneGooUShift,    -100.0f, 100.0f, 0.0f, 0.1f, 0.0f, false},
    {IDC_GOO_VSHIFT_SPIN,      IDC_GOO_VSHIFT_EDIT,      kVoltraneGooVShift,    -100.0f, 100.0f, 0.0f, 0.1f, 0.0f, false},
    {IDC_GOO_PHASE_SPIN,       IDC_GOO_PHASE_EDIT,       kVoltraneGooPhase,     0.0f,   200.0f, 0.0f, 0.1f, 0.01f, false},
};
// clang-format on
constexpr SwatchBinding kSwatches[] = {{IDC_BODY_SWATCH, kVoltraneBody},
                                       {IDC_EDGE_SWATCH, kVoltraneEdge},
                                       {IDC_BACK_SWATCH, kVoltraneBack}};
constexpr MapButtonBinding kMapButtons[] = {
    {IDC_BODY_MAP, kVoltraneBody}, {IDC_EDGE_MAP, kVoltraneEdge}, {IDC_BACK_MAP, kVoltraneBack}};

// A click on any shape reads all nine, in the order of their rows.
constexpr int kShapeIds[] = {IDC_HORIZONTAL, IDC_VERTICAL,     IDC_RADIAL, IDC_EXPAND, IDC_ENCASE,
                             IDC_DIAGONAL,   IDC_STATIC_SHAPE, IDC_CUBIC,  IDC_GOO};
constexpr int kShapeRows[] = {kVoltraneLinearH,      kVoltraneLinearV, kVoltraneRadial,
                              kVoltraneShockwave,    kVoltraneEncase,  kVoltraneDiagonal,
                              kVoltraneRandomStatic, kVoltraneCubic,   kVoltraneGoo};
constexpr int kInvertIds[] = {IDC_INVERT_WAVE};
constexpr int kInvertRows[] = {kVoltraneInvertWave};
constexpr int kBeginIds[] = {IDC_BEGIN_AT_EDGE};
constexpr int kBeginRows[] = {kVoltraneBeginAtEdge};
constexpr ButtonGroup kGroups[] = {
    {kShapeIds, kShapeRows}, {kInvertIds, kInvertRows}, {kBeginIds, kBeginRows}};

const loom::PanelInfo kPanel = {
    IDD_VOLTRANE, "Voltrane 2 Setup", kSpinners, kSwatches, kMapButtons, 0, kGroups, {}, {},
};

/// The custom buttons in the order of VoltraneDlg::buttons_, with the row each shows.
struct CustomButton {
    int id;
    int row;
};
constexpr CustomButton kButtons[] = {
    {IDC_APPLY_WAVE, kVoltraneApplyWave}, {IDC_WAVE1_SIN, kVoltraneWave1Sin},
    {IDC_WAVE1_COS, kVoltraneWave1Cos},   {IDC_WAVE2_SIN, kVoltraneWave2Sin},
    {IDC_WAVE2_COS, kVoltraneWave2Cos},
};

constexpr int kApplyWidth = 270;
constexpr int kApplyHeight = 30;
constexpr UINT kImageListFlags = 0x18;            // 24-bit colour, no mask
constexpr COLORREF kWavePressedColor = 0xFFC0C0;  // RGB(192, 192, 255)

}  // namespace

VoltraneDlg::VoltraneDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp)
    : TexPanelBase(tex, hwMtlEdit, imp, kPanel, loom::TexLibInstance()) {}

ICustButton* VoltraneDlg::Button(int id) const {
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        if (kButtons[i].id == id) return buttons_[i];
    }
    return nullptr;
}

void VoltraneDlg::InitExtra(HWND hWnd) {
    HINSTANCE inst = loom::TexLibInstance();
    images_ = ImageList_Create(kApplyWidth, kApplyHeight, kImageListFlags, 2, 0);
    for (int id : {IDB_APPLY_OUT, IDB_APPLY_IN}) {
        HBITMAP image = LoadBitmapA(inst, MAKEINTRESOURCEA(id));
        HBITMAP mask = LoadBitmapA(inst, MAKEINTRESOURCEA(id));
        ImageList_Add(images_, image, mask);
        // The list keeps its own copy of the pixels.
        if (image) DeleteObject(image);
        if (mask) DeleteObject(mask);
    }
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        buttons_[i] = GetICustButton(GetDlgItem(hWnd, kButtons[i].id));
        if (!buttons_[i]) continue;
        buttons_[i]->SetType(CBT_CHECK);
        if (kButtons[i].id == IDC_APPLY_WAVE) {
            buttons_[i]->SetImage(images_, 0, 1, 0, 0, kApplyWidth, kApplyHeight);
            buttons_[i]->SetNotifyMessage(kApplyToggled);
        } else {
            buttons_[i]->SetHighlightColor(kWavePressedColor);
        }
    }
}

void VoltraneDlg::LoadExtra() {
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        if (!buttons_[i]) continue;
        buttons_[i]->SetCheck(Texture()->CachedValue(kButtons[i].row).v[0] == 1.0f);
    }
    SetCheckBox(Window(), IDC_ADDITIVE,
                Texture()->CachedValue(kVoltraneAdditive).v[0] == 1.0f ? TRUE : FALSE);
    SetCheckBox(Window(), IDC_ALGORITHMIC,
                Texture()->CachedValue(kVoltraneSubtractive).v[0] == 1.0f ? TRUE : FALSE);
}

void VoltraneDlg::ReleaseExtra() {
    for (ICustButton*& b : buttons_) {
        if (b) ReleaseICustButton(b);
        b = nullptr;
    }
    if (images_) ImageList_Destroy(images_);
    images_ = nullptr;
}

void VoltraneDlg::FlipWave(int clicked, int sinId, int cosId, int sinRow, int cosRow) {
    // The clicked button has already toggled itself; its partner takes the opposite state.
    const TimeValue t = CurrentTime();
    const int sinState = GetCheckBox(Window(), sinId) ? 1 : 0;
    const int cosState = GetCheckBox(Window(), cosId) ? 1 : 0;
    const int sin = clicked == sinId ? sinState : 1 - sinState;
    const int cos = clicked == cosId ? cosState : 1 - cosState;
    Texture()->SetIntParam(sinRow, sin, t);
    Texture()->SetIntParam(cosRow, cos, t);
    if (ICustButton* b = Button(sinId)) b->SetCheck(sin == 1);
    if (ICustButton* b = Button(cosId)) b->SetCheck(cos == 1);
}

void VoltraneDlg::SetAddSub(int clicked) {
    const TimeValue t = CurrentTime();
    const int add = GetCheckBox(Window(), IDC_ADDITIVE) ? 1 : 0;
    const int sub = GetCheckBox(Window(), IDC_ALGORITHMIC) ? 1 : 0;
    // Each button writes its own row first.
    if (clicked == IDC_ADDITIVE) {
        Texture()->SetIntParam(kVoltraneAdditive, add, t);
        Texture()->SetIntParam(kVoltraneSubtractive, sub, t);
    } else {
        Texture()->SetIntParam(kVoltraneSubtractive, sub, t);
        Texture()->SetIntParam(kVoltraneAdditive, add, t);
    }
}

void VoltraneDlg::OnColorChange(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int index = id == IDC_EDGE_SWATCH   ? kVoltraneEdge
                      : id == IDC_BACK_SWATCH ? kVoltraneBack
                                              : kVoltraneBody;
    auto* swatch = reinterpret_cast<IColorSwatch*>(lParam);
    if (!swatch) return;
    const bool final = HIWORD(wParam) != 0;
    if (final) theHold.Begin();
    Texture()->SetColorParam(index, loom::UnpackColor(swatch->GetColor()), CurrentTime());
    if (final) {
        theHold.Accept("Color Change");
        UpdateMtlDisplay();
        NotifyChanged();
    }
}

BOOL VoltraneDlg::HandleExtra(HWND, UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    result = 0;
    const int id = LOWORD(wParam);
    if (msg == kApplyToggled) {
        if (id != IDC_APPLY_WAVE || !Texture()) return TRUE;
        Texture()->SetIntParam(kVoltraneApplyWave, GetCheckBox(Window(), IDC_APPLY_WAVE) ? 1 : 0,
                               CurrentTime());
        NotifyChanged();
        UpdateMtlDisplay();
        return TRUE;
    }
    if (msg == CC_COLOR_CHANGE) {
        if (Texture()) OnColorChange(wParam, lParam);
        return TRUE;
    }
    if (msg != WM_COMMAND || !Texture()) return FALSE;
    switch (id) {
        case IDC_WAVE1_SIN:
        case IDC_WAVE1_COS:
            FlipWave(id, IDC_WAVE1_SIN, IDC_WAVE1_COS, kVoltraneWave1Sin, kVoltraneWave1Cos);
            break;
        case IDC_WAVE2_SIN:
        case IDC_WAVE2_COS:
            FlipWave(id, IDC_WAVE2_SIN, IDC_WAVE2_COS, kVoltraneWave2Sin, kVoltraneWave2Cos);
            break;
        case IDC_ADDITIVE:
        case IDC_ALGORITHMIC:
            SetAddSub(id);
            break;
        default:
            return FALSE;  // map buttons, shapes and check boxes: the frame's
    }
    NotifyChanged();
    UpdateMtlDisplay();
    return TRUE;
}

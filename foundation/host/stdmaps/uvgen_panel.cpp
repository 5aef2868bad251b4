#include "foundation/host/stdmaps/uvgen_panel.h"

#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/std_uvgen.h"
#include "foundation/host/stdmaps/uvgen_resource.h"
#include "foundation/host/win32/resources.h"

namespace loom {
namespace {

struct SpinnerRow {
    int spinId;
    int editId;
    int row;  ///< StdUVParam
    float min;
    float max;
    float scale;
};

// clang-format off
constexpr SpinnerRow kSpinners[] = {
    {IDC_UV_OFFSET_U_SPIN, IDC_UV_OFFSET_U_EDIT, kUVOffsetU, -1000.0f, 1000.0f, 0.01f},
    {IDC_UV_OFFSET_V_SPIN, IDC_UV_OFFSET_V_EDIT, kUVOffsetV, -1000.0f, 1000.0f, 0.01f},
    {IDC_UV_TILING_U_SPIN, IDC_UV_TILING_U_EDIT, kUVTilingU, -1000.0f, 1000.0f, 0.01f},
    {IDC_UV_TILING_V_SPIN, IDC_UV_TILING_V_EDIT, kUVTilingV, -1000.0f, 1000.0f, 0.01f},
    {IDC_UV_ANGLE_SPIN,    IDC_UV_ANGLE_EDIT,    kUVAngle,   -36000.0f, 36000.0f, 0.1f},
};
// clang-format on

struct SymBox {
    int ctrlId;
    int flag;
};
constexpr SymBox kSymBoxes[] = {{IDC_UV_WRAP_U, U_WRAP},
                                {IDC_UV_WRAP_V, V_WRAP},
                                {IDC_UV_MIRROR_U, U_MIRROR},
                                {IDC_UV_MIRROR_V, V_MIRROR}};

constexpr UINT kMouseFirst = 0x200;
constexpr UINT kMouseLast = 0x202;

HINSTANCE HostInstance() { return ModuleHandleForAddress(&kSpinners); }

ParamDlg* MakePanel(StdUVGen* gen, IMtlParams* imp) { return new StdUVGenPanel(gen, imp); }

// The generator's model lives below the window system; it reaches its panel through this.
const bool gFactorySet = (SetStdUVGenPanelFactory(MakePanel), true);

}  // namespace

StdUVGenPanel::StdUVGenPanel(StdUVGen* gen, IMtlParams* imp)
    : gen_(gen), imp_(imp), curTime_(imp->GetTime()) {
    InitCustomControls(HostInstance());  // the host's own page uses the custom controls too
    hPanel_ = imp_->AddRollupPage(HostInstance(), MAKEINTRESOURCEA(IDD_STDUVGEN),
                                  PanelDialogProc<StdUVGenPanel>, "Coordinates",
                                  reinterpret_cast<LPARAM>(this), 0);
    if (gen_) gen_->SetPanel(this);
    LoadDialog();
}

Class_ID StdUVGenPanel::ClassID() { return kStdUVGenClassId; }

void StdUVGenPanel::SetThing(ReferenceTarget* m) {
    auto* other = dynamic_cast<StdUVGen*>(m);
    if (!assert1(other != nullptr || m == nullptr,
                 "the Coordinates panel shows a standard UV generator"))
        return;
    if (gen_) gen_->SetPanel(nullptr);
    gen_ = other;
    if (gen_) gen_->SetPanel(this);
    LoadDialog();
}

ReferenceTarget* StdUVGenPanel::GetThing() { return gen_; }

void StdUVGenPanel::SetTime(TimeValue t) {
    if (t == curTime_) return;
    curTime_ = t;
    LoadDialog();
    if (hPanel_) InvalidateRect(hPanel_, nullptr, FALSE);
}

void StdUVGenPanel::ReloadDialog() { LoadDialog(); }

void StdUVGenPanel::DeleteThis() {
    if (gen_) gen_->SetPanel(nullptr);
    gen_ = nullptr;
    for (ISpinnerControl*& s : spinners_) {
        ReleaseISpinner(s);
        s = nullptr;
    }
    if (hPanel_) SetWindowLongPtrA(hPanel_, GWLP_USERDATA, 0);
    hPanel_ = nullptr;
    delete this;
}

void StdUVGenPanel::OutsideChange() {
    if (active_) return;
    valid_ = false;
    if (hPanel_) InvalidateRect(hPanel_, nullptr, FALSE);
}

void StdUVGenPanel::GeneratorGone(StdUVGen* gen) {
    if (gen == gen_) gen_ = nullptr;
}

void StdUVGenPanel::LoadDialog() {
    if (!gen_ || !hPanel_ || !gen_->ParamBlock()) return;
    IParamBlock* pb = gen_->ParamBlock();
    Interval scratch = FOREVER;
    for (size_t i = 0; i < spinners_.size(); ++i) {
        float v = 0.0f;
        pb->GetValue(kSpinners[i].row, curTime_, v, scratch);
        if (spinners_[i]) spinners_[i]->SetValue(v, FALSE);
    }
    int flags = 0;
    pb->GetValue(kUVSymFlags, curTime_, flags, scratch);
    for (const SymBox& b : kSymBoxes) SetCheckBox(hPanel_, b.ctrlId, (flags & b.flag) != 0);
}

void StdUVGenPanel::Changed() {
    if (gen_) gen_->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    imp_->MtlChanged();
}

void StdUVGenPanel::InitControls(HWND hWnd) {
    for (size_t i = 0; i < spinners_.size(); ++i) {
        const SpinnerRow& r = kSpinners[i];
        spinners_[i] = SetupFloatSpinner(hWnd, r.spinId, r.editId, r.min, r.max, 0.0f, r.scale);
    }
}

INT_PTR StdUVGenPanel::PanelProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    switch (msg) {
        case WM_INITDIALOG:
            InitControls(hWnd);
            return TRUE;
        case WM_PAINT:
            if (!valid_) {
                valid_ = true;
                LoadDialog();
            }
            return 0;
        case CC_SPINNER_CHANGE:
            if (!gen_ || !gen_->ParamBlock()) return 0;
            if (!theHold.Holding()) theHold.Begin();
            for (size_t i = 0; i < spinners_.size(); ++i) {
                if (kSpinners[i].spinId == id && spinners_[i]) {
                    gen_->ParamBlock()->SetValue(kSpinners[i].row, curTime_,
                                                 spinners_[i]->GetFVal());
                }
            }
            return 0;
        case CC_SPINNER_BUTTONDOWN:
            theHold.Begin();
            return 0;
        case CC_SPINNER_BUTTONUP:
        case WM_CUSTEDIT_ENTER:
            if (HIWORD(wParam) || msg == WM_CUSTEDIT_ENTER) {
                theHold.Accept("Parameter Change");
            } else {
                theHold.Cancel();
            }
            Changed();
            return 0;
        case WM_COMMAND:
            for (const SymBox& b : kSymBoxes) {
                if (b.ctrlId != id) continue;
                if (!gen_) return 0;
                int flags = 0;
                for (const SymBox& box : kSymBoxes) {
                    if (GetCheckBox(hWnd, box.ctrlId)) flags |= box.flag;
                }
                gen_->SetSymFlags(flags);
                Changed();
            }
            return 0;
        default:
            if (msg >= kMouseFirst && msg <= kMouseLast) {
                imp_->RollupMouseMessage(hWnd, msg, wParam, lParam);
            }
            return 0;
    }
}

}  // namespace loom

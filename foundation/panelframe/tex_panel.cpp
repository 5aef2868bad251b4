#include "foundation/panelframe/tex_panel.h"

#include <cmath>

#include "foundation/host/base/crt.h"
#include "foundation/host/base/undo.h"

namespace loom {
namespace {

constexpr UINT kMouseFirst = 0x200;
constexpr UINT kMouseLast = 0x202;
constexpr float kDrawScale = 3.0518509e-05f;  // 1 / 32767 in single precision

BYTE PackChannel(float c) {
    double v = Widen(c) * 255.0 + 0.5;
    if (!(v > 0.0)) return 0;  // also NaN
    return v >= 255.0 ? 255 : static_cast<BYTE>(static_cast<int>(v) & 0xFF);
}

}  // namespace

COLORREF PackColor(const Color& c) {
    return static_cast<COLORREF>(PackChannel(c.r)) |
           (static_cast<COLORREF>(PackChannel(c.g)) << 8) |
           (static_cast<COLORREF>(PackChannel(c.b)) << 16);
}

Color UnpackColor(COLORREF c) {
    return Color(static_cast<float>(c & 0xFF) / 255.0f,
                 static_cast<float>((c >> 8) & 0xFF) / 255.0f,
                 static_cast<float>((c >> 16) & 0xFF) / 255.0f);
}

TexPanelBase::TexPanelBase(TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp, const PanelInfo& info,
                           HINSTANCE hInst)
    : hwMtlEdit_(hwMtlEdit), imp_(imp), tex_(tex), info_(info), hInst_(hInst) {
    curTime_ = imp_->GetTime();
    if (UVGen* gen = tex_->UVGenerator()) uvPanel_ = gen->CreateParamDlg(hwMtlEdit_, imp_);
}

TexPanelBase::~TexPanelBase() = default;

void TexPanelBase::Attach() {
    // The page is added once the panel is fully constructed: its WM_INITDIALOG reaches the
    // derived panel's InitExtra, which a call from the base constructor would miss.
    hPanel_ = imp_->AddRollupPage(hInst_, MAKEINTRESOURCEA(info_.templateId),
                                  PanelDialogProc<TexPanelBase>, info_.title,
                                  reinterpret_cast<LPARAM>(this), 0);
    tex_->SetPanel(this);
    LoadDialog(TRUE);
}

Class_ID TexPanelBase::ClassID() { return tex_ ? tex_->ClassID() : Class_ID(); }

void TexPanelBase::SetThing(ReferenceTarget* m) {
    auto* other = dynamic_cast<TexFrame*>(m);
    bool sameClass = other && tex_ && other->ClassID() == tex_->ClassID() &&
                     other->SuperClassID() == TEXMAP_CLASS_ID;
    if (!assert1(sameClass, "a panel can only show a texture of its own class")) return;
    if (tex_) tex_->SetPanel(nullptr);
    tex_ = other;
    if (uvPanel_) uvPanel_->SetThing(tex_->UVGenerator());
    tex_->SetPanel(this);
    LoadDialog(TRUE);
}

void TexPanelBase::SetTime(TimeValue t) {
    if (t == curTime_) return;
    if (uvPanel_) uvPanel_->SetTime(t);
    curTime_ = t;
    if (tex_) {
        Interval scratch;
        tex_->Update(curTime_, scratch);
    }
    LoadDialog(FALSE);
    InvalidateRect(hPanel_, nullptr, FALSE);
}

void TexPanelBase::ReloadDialog() {
    if (tex_) {
        Interval scratch;
        tex_->Update(curTime_, scratch);
    }
    LoadDialog(FALSE);
}

void TexPanelBase::DeleteThis() {
    if (tex_) tex_->SetPanel(nullptr);
    tex_ = nullptr;
    for (ISpinnerControl* s : spinners_) ReleaseISpinner(s);
    for (IColorSwatch* s : swatches_) ReleaseIColorSwatch(s);
    spinners_.clear();
    swatches_.clear();
    ReleaseExtra();
    if (hPanel_) SetWindowLongPtrA(hPanel_, GWLP_USERDATA, 0);
    if (uvPanel_) uvPanel_->DeleteThis();
    uvPanel_ = nullptr;
    hPanel_ = nullptr;
    delete this;
}

void TexPanelBase::ActivateDlg(BOOL onOff) {
    for (IColorSwatch* s : swatches_) s->Activate(onOff);
}

void TexPanelBase::Invalidate() {
    valid_ = 0;
    if (hPanel_) InvalidateRect(hPanel_, nullptr, FALSE);
}

void TexPanelBase::UpdateSubTexNames() {
    if (!hPanel_) return;
    for (const MapButtonBinding& b : info_.mapButtons) {
        Texmap* map = tex_ ? tex_->GetSubTexmap(b.slot) : nullptr;
        std::string name = map ? map->GetFullName() : "[ Undefined ]";
        SetWindowTextA(GetDlgItem(hPanel_, b.ctrlId), name.c_str());
    }
}

void TexPanelBase::LoadDialog(BOOL) {
    if (!tex_ || !hPanel_) return;
    Interval scratch;
    tex_->Update(curTime_, scratch);
    for (size_t i = 0; i < spinners_.size(); ++i) {
        const SpinnerBinding& b = info_.spinners[i];
        ParamValue v = tex_->CachedValue(b.row);
        if (b.isInt) {
            spinners_[i]->SetValue(static_cast<int>(v.AsInt()), FALSE);
        } else {
            spinners_[i]->SetValue(v.v[0], FALSE);
        }
    }
    for (const ButtonGroup& g : info_.groups) {
        for (size_t i = 0; i < g.ids.size(); ++i) {
            SetCheckBox(hPanel_, g.ids[i], static_cast<int>(tex_->CachedValue(g.rows[i]).AsInt()));
        }
    }
    const auto& colorRows = tex_->Info().colorRows;
    for (size_t i = 0; i < swatches_.size(); ++i) {
        int index = info_.swatches[i].colorIndex;
        ParamValue v = tex_->CachedValue(colorRows[static_cast<size_t>(index)]);
        swatches_[i]->SetColor(PackColor(Color(v.v[0], v.v[1], v.v[2])), FALSE);
    }
    LoadExtra();
    UpdateSubTexNames();
}

void TexPanelBase::NotifyChanged() {
    if (tex_) tex_->NotifyDependents(FOREVER, kPanelChangeParts, REFMSG_CHANGE);
}

void TexPanelBase::UpdateMtlDisplay() {
    if (tex_) tex_->DiscardTexHandle();
    imp_->MtlChanged();
}

void TexPanelBase::InitControls(HWND hWnd) {
    for (const SpinnerBinding& b : info_.spinners) {
        ISpinnerControl* s =
            b.isInt ? SetupIntSpinner(hWnd, b.spinId, b.editId, static_cast<int>(b.min),
                                      static_cast<int>(b.max), static_cast<int>(b.start))
                    : SetupFloatSpinner(hWnd, b.spinId, b.editId, b.min, b.max, b.start, b.scale);
        if (b.fineScale > 0.0f && s) s->SetScale(b.fineScale);
        spinners_.push_back(s);
    }
    const auto& colorRows = tex_->Info().colorRows;
    for (const SwatchBinding& b : info_.swatches) {
        ParamValue v = tex_->CachedValue(colorRows[static_cast<size_t>(b.colorIndex)]);
        std::string title = tex_->GetSubTexmapSlotName(b.colorIndex);
        swatches_.push_back(GetIColorSwatch(
            GetDlgItem(hWnd, b.ctrlId), PackColor(Color(v.v[0], v.v[1], v.v[2])), title.c_str()));
    }
    InitExtra(hWnd);
}

int TexPanelBase::SwatchIndexOf(int ctrlId) const {
    for (size_t i = 0; i < info_.swatches.size(); ++i) {
        if (info_.swatches[i].ctrlId == ctrlId) return static_cast<int>(i);
    }
    return -1;
}

void TexPanelBase::SetFromSpinner(const SpinnerBinding& b, ISpinnerControl* spin) {
    if (b.isInt) {
        tex_->SetIntParam(b.row, spin->GetIVal(), curTime_);
    } else {
        tex_->SetFloatParam(b.row, spin->GetFVal(), curTime_);
    }
}

INT_PTR TexPanelBase::PanelProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    INT_PTR extra = 0;
    if (msg != WM_INITDIALOG && HandleExtra(hWnd, msg, wParam, lParam, extra)) return extra;
    const int id = LOWORD(wParam);
    switch (msg) {
        case WM_INITDIALOG:
            InitControls(hWnd);
            return TRUE;
        case WM_PAINT:
            if (!valid_) {
                valid_ = 1;
                ReloadDialog();
            }
            return 0;
        case CC_SPINNER_CHANGE:
            if (!tex_) return 0;
            if (!theHold.Holding()) theHold.Begin();
            for (size_t i = 0; i < info_.spinners.size(); ++i) {
                if (info_.spinners[i].spinId == id) {
                    SetFromSpinner(info_.spinners[i], reinterpret_cast<ISpinnerControl*>(lParam));
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
            NotifyChanged();
            UpdateMtlDisplay();
            return 0;
        case CC_COLOR_CHANGE: {
            int swatch = SwatchIndexOf(id);
            if (!tex_ || swatch < 0) return 0;
            const bool final = HIWORD(wParam) != 0;
            if (final) theHold.Begin();
            tex_->SetColorParam(info_.swatches[static_cast<size_t>(swatch)].colorIndex,
                                UnpackColor(swatches_[static_cast<size_t>(swatch)]->GetColor()),
                                curTime_);
            if (final) {
                theHold.Accept("Parameter Change");
                NotifyChanged();
                UpdateMtlDisplay();
            }
            return 0;
        }
        case CC_COLOR_BUTTONDOWN:
            theHold.Begin();
            return 0;
        case CC_COLOR_BUTTONUP:
            if (HIWORD(wParam)) {
                theHold.Accept("Color Change");
            } else {
                theHold.Cancel();
            }
            return 0;
        case WM_COMMAND:
            if (tex_) OnCommand(id);
            return 0;
        default:
            if (msg >= kMouseFirst && msg <= kMouseLast) {
                imp_->RollupMouseMessage(hWnd, msg, wParam, lParam);
            }
            return 0;
    }
}

void TexPanelBase::OnCommand(int id) {
    for (const MapButtonBinding& b : info_.mapButtons) {
        if (b.ctrlId == id) {
            PostMessageA(hwMtlEdit_, WM_TEXMAP_BUTTON, static_cast<WPARAM>(b.slot),
                         reinterpret_cast<LPARAM>(static_cast<Texmap*>(tex_)));
            return;
        }
    }
    if (info_.swapId != 0 && id == info_.swapId) {
        tex_->Swap();
        const auto& colorRows = tex_->Info().colorRows;
        for (size_t i = 0; i < swatches_.size(); ++i) {
            ParamValue v =
                tex_->CachedValue(colorRows[static_cast<size_t>(info_.swatches[i].colorIndex)]);
            swatches_[i]->SetColor(PackColor(Color(v.v[0], v.v[1], v.v[2])), FALSE);
        }
        UpdateSubTexNames();
        NotifyChanged();
        UpdateMtlDisplay();
        return;
    }
    for (const ButtonGroup& g : info_.groups) {
        for (int member : g.ids) {
            if (member != id) continue;
            for (size_t i = 0; i < g.ids.size(); ++i) {
                tex_->SetIntParam(g.rows[i], GetCheckBox(hPanel_, g.ids[i]), curTime_);
            }
            NotifyChanged();
            UpdateMtlDisplay();
            return;
        }
    }
    for (const Preset& p : info_.presets) {
        if (p.buttonId != id) continue;
        for (const PresetValue& v : p.values) {
            if (tex_->Info().rows[static_cast<size_t>(v.row)].type == TYPE_INT) {
                tex_->SetIntParam(v.row, static_cast<int>(v.value.v[0]), curTime_);
            } else {
                tex_->SetParam(v.row, v.value, curTime_);
            }
        }
        NotifyChanged();
        UpdateMtlDisplay();
        ReloadDialog();
        return;
    }
    for (const Mutation& m : info_.mutations) {
        if (m.buttonId != id) continue;
        crt::srand(static_cast<unsigned>(crt::time(nullptr)));
        // Draws land in a row's value; a row is set once all its draws are in, so a
        // colour's three channels are set together.
        for (size_t i = 0; i < m.draws.size();) {
            int row = m.draws[i].row;
            ParamValue value = tex_->CachedValue(row);
            for (; i < m.draws.size() && m.draws[i].row == row; ++i) {
                const MutationDraw& d = m.draws[i];
                float x = static_cast<float>(crt::rand()) * kDrawScale;
                value.v[d.channel] = x * d.factor;
            }
            tex_->SetParam(row, value, curTime_);
        }
        NotifyChanged();
        UpdateMtlDisplay();
        ReloadDialog();
        return;
    }
}

}  // namespace loom

#include "foundation/host/ui/mtl_editor.h"

#include <algorithm>
#include <cstdio>

bool assert1(bool condition, const char* what) {
    if (!condition) std::fprintf(stderr, "host assertion failed: %s\n", what ? what : "");
    return condition;
}

namespace loom {
namespace {

constexpr const char* kEditorClass = "LoomMaterialEditor";
constexpr UINT kRedrawSample = WM_USER + 1;

void RegisterEditorClass(WNDPROC proc) {
    static const bool registered = [proc] {
        WNDCLASSA wc;
        wc.lpfnWndProc = proc;
        wc.lpszClassName = kEditorClass;
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

MaterialEditor::MaterialEditor() {
    RegisterEditorClass(EditorProc);
    hwnd_ = CreateWindowExA(0, kEditorClass, "Material Editor", 0, 0, 0, 0, 0, nullptr, nullptr,
                            nullptr, this);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MaterialEditor::~MaterialEditor() {
    Close();
    if (hwnd_) DestroyWindow(hwnd_);
}

bool MaterialEditor::Open(Texmap* tex) {
    Close();
    if (!tex) return false;
    current_ = tex;
    panel_ = tex->CreateParamDlg(hwnd_, this);
    if (!panel_) {
        current_ = nullptr;
        return false;
    }
    return true;
}

void MaterialEditor::Close() {
    if (panel_) panel_->DeleteThis();
    panel_ = nullptr;
    current_ = nullptr;
    std::vector<Page> pages = std::move(pages_);
    pages_.clear();
    for (const Page& p : pages) {
        if (IsWindow(p.hwnd)) DestroyWindow(p.hwnd);
    }
}

void MaterialEditor::SetTime(TimeValue t) {
    time_ = t;
    if (panel_) panel_->SetTime(t);
}

void MaterialEditor::MtlChanged() {
    ++changes_;
    // The sample is redrawn from the pump, once, never inside a panel's handler.
    if (!redrawPosted_ && PostMessageA(hwnd_, kRedrawSample, 0, 0)) redrawPosted_ = true;
}

HWND MaterialEditor::AddRollupPage(HINSTANCE hInst, const char* dlgTemplate, DLGPROC dlgProc,
                                   const char* title, LPARAM param, DWORD, int) {
    HWND page = CreateDialogParamA(hInst, dlgTemplate, hwnd_, dlgProc, param);
    if (page) pages_.push_back({page, title ? title : ""});
    return page;
}

void MaterialEditor::DeleteRollupPage(HWND hRollup) {
    auto it = std::find_if(pages_.begin(), pages_.end(),
                           [hRollup](const Page& p) { return p.hwnd == hRollup; });
    if (it == pages_.end()) return;
    pages_.erase(it);
    DestroyWindow(hRollup);
}

void MaterialEditor::RollupMouseMessage(HWND, UINT, WPARAM, LPARAM) { ++mouse_; }

bool MaterialEditor::IsEditedMap(Texmap* tex) const {
    // Only the texture whose panel is open may have its slots filled: the pointer that
    // came with the message is compared, never dereferenced first.
    return tex != nullptr && tex == current_;
}

void MaterialEditor::OnMapButton(WPARAM slot, LPARAM texture) {
    auto* owner = reinterpret_cast<Texmap*>(texture);
    if (!IsEditedMap(owner) || !browser_) return;
    int index = static_cast<int>(slot);
    if (index < 0 || index >= owner->NumSubTexmaps()) return;
    if (Texmap* chosen = browser_(owner, index)) owner->SetSubTexmap(index, chosen);
}

LRESULT CALLBACK MaterialEditor::EditorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* editor = reinterpret_cast<MaterialEditor*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (editor && msg == WM_TEXMAP_BUTTON) {
        editor->OnMapButton(wParam, lParam);
        return 0;
    }
    if (editor && msg == kRedrawSample) {
        editor->redrawPosted_ = false;
        ++editor->redraws_;
        if (editor->redraw_) editor->redraw_();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace loom

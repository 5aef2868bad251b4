#include "foundation/host/win32/interact.h"

#include <algorithm>
#include <cctype>

#include "foundation/host/base/text.h"
#include "foundation/host/win32/win32_internal.h"

namespace loom::interact {
namespace {

using detail::ClassNameOf;
using detail::StyleOf;

// The control `id` of `dlg` when it is of class `cls` (lower case; empty: any) and a
// person can reach it.
HWND Target(HWND dlg, int id, const char* cls = "") {
    HWND h = GetDlgItem(dlg, id);
    if (!h || (*cls && ClassNameOf(h) != cls)) return nullptr;
    return Reachable(h) ? h : nullptr;
}

void MouseClick(HWND h) {
    SendMessageA(h, WM_LBUTTONDOWN, 0, 0);
    PumpMessages();
    if (IsWindow(h)) SendMessageA(h, WM_LBUTTONUP, 0, 0);
    PumpMessages();
}

bool IsPushButton(HWND h) {
    if (ClassNameOf(h) != "button") return false;
    DWORD type = StyleOf(h) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

void Scroll(HWND h, WORD code, int pos) {
    SendMessageA(h, detail::kUserScrollMessage, code, pos);
    PumpMessages();
}

std::string Normalised(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c != '&') out += static_cast<char>(std::tolower(c));
    }
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    while (!out.empty() && blank(out.back())) out.pop_back();
    if (!out.empty() && out.back() == ':') out.pop_back();
    while (!out.empty() && blank(out.back())) out.pop_back();
    std::size_t start = 0;
    while (start < out.size() && blank(out[start])) ++start;
    return out.substr(start);
}

std::string TextOf(HWND h) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(h)) + 1, '\0');
    GetWindowTextA(h, text.data(), static_cast<int>(text.size()));
    text.resize(text.size() - 1);
    return text;
}

}  // namespace

bool Reachable(HWND hwnd) {
    if (!IsWindow(hwnd) || !(StyleOf(hwnd) & WS_VISIBLE)) return false;
    for (HWND h = hwnd; h; h = GetParent(h)) {
        if (!IsWindowEnabled(h)) return false;
        if (!(StyleOf(h) & WS_CHILD)) break;  // the top-level window was the last to check
    }
    return true;
}

bool Click(HWND dlg, int id) {
    HWND h = Target(dlg, id);
    if (!h) return false;
    std::string cls = ClassNameOf(h);
    if (cls == "button") {
        if ((StyleOf(h) & BS_TYPEMASK) == BS_GROUPBOX) return false;
    } else if (cls == "static") {
        if (!(StyleOf(h) & SS_NOTIFY)) return false;
    } else if (cls != "custbutton" && cls != "edit" && cls != "custedit") {
        return false;
    }
    MouseClick(h);
    return true;
}

bool DragSpinner(HWND dlg, int spinId, const std::vector<float>& values, bool accept) {
    HWND h = Target(dlg, spinId, "spinnercontrol");
    if (!h) return false;
    SendMessageA(h, detail::kSpinnerPressMessage, 0, 0);
    PumpMessages();
    for (float v : values) {
        if (!IsWindow(h)) return true;
        SendMessageA(h, detail::kSpinnerDragMessage, 0, reinterpret_cast<LPARAM>(&v));
        PumpMessages();
    }
    if (IsWindow(h)) SendMessageA(h, detail::kSpinnerReleaseMessage, accept ? TRUE : FALSE, 0);
    PumpMessages();
    return true;
}

bool TypeValue(HWND dlg, int editId, const std::string& text) {
    HWND h = Target(dlg, editId);
    if (!h) return false;
    std::string cls = ClassNameOf(h);
    if (cls != "edit" && cls != "custedit") return false;
    MouseClick(h);  // into the field first
    if (!IsWindow(h)) return false;
    SendMessageA(h, detail::kUserTypeMessage, 0, reinterpret_cast<LPARAM>(text.c_str()));
    PumpMessages();
    if (cls == "edit" || !IsWindow(h)) return true;
    bool taken = SendMessageA(h, detail::kUserEnterMessage, 0, 0) != 0;
    PumpMessages();
    return taken;
}

bool PickColor(HWND dlg, int swatchId, const std::vector<COLORREF>& dragValues, bool accept) {
    HWND h = Target(dlg, swatchId, "colorswatch");
    if (!h) return false;
    SendMessageA(h, detail::kSwatchPressMessage, 0, 0);
    PumpMessages();
    for (COLORREF c : dragValues) {
        if (!IsWindow(h)) return true;
        SendMessageA(h, detail::kSwatchDragMessage, 0, static_cast<LPARAM>(c));
        PumpMessages();
    }
    if (IsWindow(h)) SendMessageA(h, detail::kSwatchReleaseMessage, accept ? TRUE : FALSE, 0);
    PumpMessages();
    return true;
}

bool MoveSlider(HWND dlg, int id, int pos) { return DragSlider(dlg, id, {pos}); }

bool DragSlider(HWND dlg, int id, const std::vector<int>& positions) {
    HWND h = Target(dlg, id, "msctls_trackbar32");
    if (!h) return false;
    SetFocus(h);
    for (int pos : positions) {
        if (!IsWindow(h)) return true;
        int min = static_cast<int>(SendMessageA(h, TBM_GETRANGEMIN, 0, 0));
        int max = static_cast<int>(SendMessageA(h, TBM_GETRANGEMAX, 0, 0));
        int clamped = std::max(min, std::min(pos, max));
        if (clamped != static_cast<int>(SendMessageA(h, TBM_GETPOS, 0, 0))) {
            Scroll(h, TB_THUMBTRACK, clamped);
        }
    }
    if (!IsWindow(h)) return true;
    Scroll(h, TB_THUMBPOSITION, static_cast<int>(SendMessageA(h, TBM_GETPOS, 0, 0)));
    if (IsWindow(h)) Scroll(h, TB_ENDTRACK, 0);
    return true;
}

bool PageSlider(HWND dlg, int id, bool towardsMax) {
    HWND h = Target(dlg, id, "msctls_trackbar32");
    if (!h) return false;
    SetFocus(h);
    Scroll(h, towardsMax ? TB_PAGEDOWN : TB_PAGEUP, 0);
    if (IsWindow(h)) Scroll(h, TB_ENDTRACK, 0);
    return true;
}

bool PressKey(HWND dlg, int vk) {
    if (!Reachable(dlg) || ClassNameOf(dlg) != "#32770") return false;
    HWND focus = GetFocus();
    bool focusInside = focus && IsChild(dlg, focus);
    switch (vk) {
        case VK_RETURN: {
            int id = IDOK;
            HWND button = GetDlgItem(dlg, IDOK);
            if (focusInside && IsPushButton(focus)) {
                id = GetDlgCtrlID(focus);
                button = focus;
            } else {
                LRESULT def = SendMessageA(dlg, DM_GETDEFID, 0, 0);
                if (HIWORD(static_cast<std::uintptr_t>(def)) == DC_HASDEFID) {
                    id = LOWORD(static_cast<std::uintptr_t>(def));
                    button = GetDlgItem(dlg, id);
                    if (button && !IsWindowEnabled(button)) return true;  // nothing happens
                }
            }
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
            PumpMessages();
            return true;
        }
        case VK_ESCAPE:
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
            PumpMessages();
            return true;
        case VK_SPACE: {
            if (!focusInside) return false;
            std::string cls = ClassNameOf(focus);
            if (cls != "button" && cls != "custbutton") return false;
            if (!Reachable(focus)) return false;
            MouseClick(focus);
            return true;
        }
        case VK_TAB: {
            std::vector<HWND> children = detail::ChildrenOf(dlg);
            if (children.empty()) return false;
            auto at = std::find(children.begin(), children.end(), focus);
            std::size_t start = at == children.end()
                                    ? children.size() - 1
                                    : static_cast<std::size_t>(at - children.begin());
            for (std::size_t step = 1; step <= children.size(); ++step) {
                HWND c = children[(start + step) % children.size()];
                if ((StyleOf(c) & WS_TABSTOP) && Reachable(c)) {
                    SetFocus(c);
                    PumpMessages();
                    return true;
                }
            }
            return false;
        }
        default:
            return false;
    }
}

bool CloseDialog(HWND dlg) {
    if (!Reachable(dlg)) return false;
    SendMessageA(dlg, WM_CLOSE, 0, 0);
    PumpMessages();
    return true;
}

std::vector<HWND> FindControlsByText(HWND dlg, const std::string& text) {
    const std::vector<HWND> children = detail::ChildrenOf(dlg);
    std::vector<HWND> found;
    for (HWND c : children) {
        if (TextOf(c) == text) found.push_back(c);
    }
    if (!found.empty()) return found;
    const std::string wanted = Normalised(text);
    if (wanted.empty()) return found;
    for (HWND c : children) {
        if (Normalised(TextOf(c)) == wanted) found.push_back(c);
    }
    return found;
}

std::vector<HWND> FindControlsByClass(HWND dlg, const std::string& className) {
    const std::string wanted = Lower(className);
    std::vector<HWND> found;
    for (HWND c : detail::ChildrenOf(dlg)) {
        if (ClassNameOf(c) == wanted) found.push_back(c);
    }
    return found;
}

HWND FindControlByText(HWND dlg, const std::string& text) {
    const std::vector<HWND> found = FindControlsByText(dlg, text);
    return found.empty() ? nullptr : found.front();
}

ModalScript::ModalScript(std::vector<Action> actions) : actions_(std::move(actions)) {
    previous_ = SetModalIdleHook([this](HWND dialog) { return Idle(dialog); });
}

ModalScript::~ModalScript() { SetModalIdleHook(std::move(previous_)); }

bool ModalScript::Idle(HWND dialog) {
    if (next_ < actions_.size()) {
        dialogs_.push_back(dialog);
        Action action = actions_[next_++];
        action(dialog);
        return true;
    }
    overran_ = true;
    EndDialog(dialog, -1);
    return true;
}

}  // namespace loom::interact

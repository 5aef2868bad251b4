// Dialogs: built from module templates, the dialog window procedure with its default
// processing, the modal loop and the dialog item helpers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/host/win32/resources.h"
#include "foundation/host/win32/win32.h"
#include "foundation/host/win32/win32_internal.h"

namespace {

using loom::detail::Window;
using loom::detail::WithWindow;

constexpr const char* kDialogClass = "#32770";

thread_local loom::ModalIdleHook tModalHook;

// a * b / c rounded to the nearest integer, halves away from zero (Win32 MulDiv).
int MulDiv(int a, int b, int c) {
    long long p = static_cast<long long>(a) * b;
    long long half = c / 2;
    return static_cast<int>(p >= 0 ? (p + half) / c : (p - half) / c);
}

// Dialog base units of a template font: 6 by 13 pixels for 8 points (what Windows measured
// for "MS Sans Serif" 8 on a 96 DPI screen), scaled with the point size; 8 by 16 for a
// template without a font (the system font).
void BaseUnits(const loom::DialogTemplate& t, int* x, int* y) {
    if (t.fontSize <= 0) {
        *x = 8;
        *y = 16;
        return;
    }
    *y = (t.fontSize * 4 + 1) / 3 + 2;
    *x = (*y * 6 + 6) / 13;
}

// The template ID named by MAKEINTRESOURCE(id) or "#id"; -1 for anything else.
int TemplateId(const char* name) {
    if (!name) return -1;
    if (IS_INTRESOURCE(name)) return static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
    if (name[0] != '#' || name[1] == '\0') return -1;
    char* end = nullptr;
    long v = std::strtol(name + 1, &end, 10);
    return (*end == '\0' && v >= 0 && v <= 0xFFFF) ? static_cast<int>(v) : -1;
}

// The top-level window above `h` (itself when it is not a child).
HWND RootOf(HWND h) {
    while (h && (loom::detail::StyleOf(h) & WS_CHILD)) {
        HWND p = GetParent(h);
        if (!p) break;
        h = p;
    }
    return h;
}

bool Ended(HWND dlg) {
    bool ended = true;
    WithWindow(dlg, [&](Window& w) { ended = w.dialog ? w.dialog->ended : true; });
    return ended;
}

HWND BuildDialog(HINSTANCE instance, const char* templateName, HWND parent, DLGPROC proc,
                 LPARAM initParam, bool modal) {
    const loom::DialogTemplate* t = loom::FindDialog(instance, TemplateId(templateName));
    if (!t) return nullptr;
    loom::detail::EnsureSystemClasses();

    DWORD style = t->style;
    DWORD exStyle = t->exStyle;
    if (style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
    if (modal) style &= ~WS_CHILD;  // a modal dialog is always a popup
    HWND owner = parent;
    if (style & WS_CHILD) {
        if (!parent || !IsWindow(parent)) return nullptr;
    } else {
        owner = RootOf(parent);
    }

    int bx = 0, by = 0;
    BaseUnits(*t, &bx, &by);
    Window shape;  // non-client metrics of the style, for the window size
    shape.style = style;
    shape.exStyle = exStyle;
    int fx = 0, ft = 0, fb = 0;
    loom::detail::NonClientLocked(shape, &fx, &ft, &fb);
    int cx = MulDiv(t->cx, bx, 4) + 2 * fx;
    int cy = MulDiv(t->cy, by, 8) + ft + fb;
    POINT pos{MulDiv(t->x, bx, 4), MulDiv(t->y, by, 8)};
    if (style & DS_CENTER) {
        pos = POINT{(GetSystemMetrics(SM_CXSCREEN) - cx) / 2,
                    (GetSystemMetrics(SM_CYSCREEN) - cy) / 2};
    } else if (!(style & WS_CHILD) && owner && !(style & DS_ABSALIGN)) {
        ClientToScreen(owner, &pos);  // popup positions count from the owner's client area
    }

    // Windows creates the dialog hidden and shows it after WM_INITDIALOG.
    const char* className = t->className.empty() ? kDialogClass : t->className.c_str();
    HWND dlg =
        CreateWindowExA(exStyle, className, t->caption.c_str(), style & ~WS_VISIBLE, pos.x, pos.y,
                        cx, cy, (style & WS_CHILD) ? parent : owner, nullptr, instance, nullptr);
    if (!dlg) return nullptr;
    WithWindow(dlg, [&](Window& w) {
        w.dialog = std::make_unique<loom::detail::DialogState>();
        w.dialog->proc = proc;
        w.dialog->baseX = bx;
        w.dialog->baseY = by;
        w.dialog->modal = modal;
    });
    loom::detail::SetDialogUnits(dlg, t->x, t->y, t->cx, t->cy);

    HWND focus = nullptr;
    for (const loom::DialogControl& c : t->controls) {
        const char* text = c.textOrdinal >= 0 ? MAKEINTRESOURCEA(c.textOrdinal) : c.text.c_str();
        HWND ctl = CreateWindowExA(
            c.exStyle, c.className.c_str(), text, c.style | WS_CHILD, MulDiv(c.x, bx, 4),
            MulDiv(c.y, by, 8), MulDiv(c.cx, bx, 4), MulDiv(c.cy, by, 8), dlg,
            reinterpret_cast<HMENU>(static_cast<std::intptr_t>(c.id)), instance, nullptr);
        if (!ctl) {
            if (style & DS_NOFAILCREATE) continue;
            DestroyWindow(dlg);
            return nullptr;
        }
        loom::detail::SetDialogUnits(ctl, c.x, c.y, c.cx, c.cy);
        if (!focus && (c.style & WS_TABSTOP) && !(c.style & WS_DISABLED) &&
            (c.style & WS_VISIBLE)) {
            focus = ctl;
        }
    }

    LRESULT r = SendMessageA(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
    if (!IsWindow(dlg)) return nullptr;
    if (r && focus && IsWindow(focus)) SetFocus(focus);
    if ((t->style & WS_VISIBLE) && !Ended(dlg)) ShowWindow(dlg, SW_SHOW);
    return dlg;
}

}  // namespace

namespace loom::detail {

HostClass DialogClass() { return {kDialogClass, DefDlgProcA}; }

int DefaultButtonId(HWND dlg) {
    int id = 0;
    WithWindow(dlg, [&](Window& w) {
        if (w.dialog) id = w.dialog->defId;
    });
    if (id) return id;
    for (HWND c : ChildrenOf(dlg)) {
        if (ClassNameOf(c) == "button" && (StyleOf(c) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            return GetDlgCtrlID(c);
        }
    }
    return 0;
}

}  // namespace loom::detail

HWND CreateDialogParamA(HINSTANCE instance, const char* templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam) {
    return BuildDialog(instance, templateName, parent, proc, initParam, false);
}

INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam) {
    if (parent && !IsWindow(parent)) return 0;
    HWND dlg = BuildDialog(instance, templateName, parent, proc, initParam, true);
    if (!dlg) return -1;
    HWND owner = GetParent(dlg);
    bool reenable = false;
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        reenable = true;
    }
    INT_PTR result = 0;
    MSG m;
    while (IsWindow(dlg) && !Ended(dlg)) {
        if (!IsWindowVisible(dlg)) ShowWindow(dlg, SW_SHOW);
        if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(m.wParam));  // for the outer loop
                break;
            }
            DispatchMessageA(&m);
            continue;
        }
        loom::ModalIdleHook hook = tModalHook;  // a copy: the hook may replace itself
        if (hook && hook(dlg)) continue;
        if (!IsWindow(dlg) || Ended(dlg)) break;
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        DispatchMessageA(&m);
    }
    WithWindow(dlg, [&](Window& w) {
        if (w.dialog && w.dialog->ended) result = w.dialog->result;
    });
    if (reenable && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (IsWindow(dlg)) DestroyWindow(dlg);
    return result;
}

BOOL EndDialog(HWND dlg, INT_PTR result) {
    bool isDialog = false;
    bool modal = false;
    WithWindow(dlg, [&](Window& w) {
        if (!w.dialog) return;
        isDialog = true;
        modal = w.dialog->modal;
        w.dialog->ended = true;
        w.dialog->result = result;
    });
    if (!isDialog) return FALSE;
    if (!modal) ShowWindow(dlg, SW_HIDE);
    return TRUE;
}

LRESULT DefDlgProcA(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == loom::detail::kDescribeMessage) return 0;
    bool isDialog = false;
    DLGPROC proc = nullptr;
    WithWindow(dlg, [&](Window& w) {
        if (!w.dialog) return;
        isDialog = true;
        w.dialog->msgResult = 0;
        proc = w.dialog->proc;
    });
    if (!isDialog) return DefWindowProcA(dlg, msg, wParam, lParam);
    INT_PTR handled = proc ? proc(dlg, msg, wParam, lParam) : 0;
    if (handled) {
        if (msg == WM_INITDIALOG) return handled;
        return GetWindowLongPtrA(dlg, DWLP_MSGRESULT);
    }
    if (!IsWindow(dlg)) return 0;
    switch (msg) {
        case WM_INITDIALOG:
            return 0;
        case WM_CLOSE: {
            HWND cancel = GetDlgItem(dlg, IDCANCEL);
            if (cancel && !IsWindowEnabled(cancel)) return 0;
            PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
            return 0;
        }
        case DM_GETDEFID: {
            int id = loom::detail::DefaultButtonId(dlg);
            return id ? MAKELRESULT(static_cast<WORD>(id), DC_HASDEFID) : 0;
        }
        case DM_SETDEFID: {
            int old = loom::detail::DefaultButtonId(dlg);
            int id = static_cast<int>(wParam);
            if (HWND b = GetDlgItem(dlg, old); b && old != id) {
                SendMessageA(b, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
            }
            WithWindow(dlg, [&](Window& w) { w.dialog->defId = id; });
            if (HWND b = GetDlgItem(dlg, id)) SendMessageA(b, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            return TRUE;
        }
        default:
            return DefWindowProcA(dlg, msg, wParam, lParam);
    }
}

HWND GetDlgItem(HWND dlg, int id) {
    std::lock_guard lock(loom::detail::Lock());
    Window* w = loom::detail::OwnLocked(dlg);
    if (!w) return nullptr;
    for (HWND c : w->children) {
        Window* cw = loom::detail::FindLocked(c);
        if (cw && (cw->style & WS_CHILD) && static_cast<int>(cw->id) == id) return c;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
    int id = 0;
    WithWindow(hwnd, [&](Window& w) {
        if (w.style & WS_CHILD) id = static_cast<int>(w.id);
    });
    return id;
}

LRESULT SendDlgItemMessageA(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dlg, id);
    return item ? SendMessageA(item, msg, wParam, lParam) : 0;
}

BOOL SetDlgItemTextA(HWND dlg, int id, const char* text) {
    HWND item = GetDlgItem(dlg, id);
    return item ? SetWindowTextA(item, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dlg, int id, char* buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    buffer[0] = '\0';
    HWND item = GetDlgItem(dlg, id);
    return item ? static_cast<UINT>(GetWindowTextA(item, buffer, maxCount)) : 0;
}

BOOL SetDlgItemInt(HWND dlg, int id, UINT value, BOOL isSigned) {
    char text[24];
    if (isSigned) {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    } else {
        std::snprintf(text, sizeof text, "%u", value);
    }
    return SetDlgItemTextA(dlg, id, text);
}

UINT GetDlgItemInt(HWND dlg, int id, BOOL* translated, BOOL isSigned) {
    if (translated) *translated = FALSE;
    char text[64];
    HWND item = GetDlgItem(dlg, id);
    if (!item) return 0;
    GetWindowTextA(item, text, sizeof text);
    const char* p = text;
    while (*p == ' ') ++p;
    if (*p == '\0' || (!isSigned && *p == '-')) return 0;
    char* end = nullptr;
    long long v = std::strtoll(p, &end, 10);
    while (*end == ' ') ++end;
    if (*end != '\0' || end == p) return 0;
    if (isSigned ? (v < INT32_MIN || v > INT32_MAX) : (v < 0 || v > UINT32_MAX)) return 0;
    if (translated) *translated = TRUE;
    return static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dlg, int id, UINT check) {
    HWND item = GetDlgItem(dlg, id);
    if (!item) return FALSE;
    SendMessageA(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dlg, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dlg, id, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND dlg, int firstId, int lastId, int checkId) {
    if (!IsWindow(dlg)) return FALSE;
    for (HWND c : loom::detail::ChildrenOf(dlg)) {
        int id = GetDlgCtrlID(c);
        if (id < firstId || id > lastId) continue;
        SendMessageA(c, BM_SETCHECK, id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}

BOOL MapDialogRect(HWND dlg, RECT* rect) {
    if (!rect) return FALSE;
    int bx = 0, by = 0;
    bool ok = false;
    WithWindow(dlg, [&](Window& w) {
        if (!w.dialog) return;
        ok = true;
        bx = w.dialog->baseX;
        by = w.dialog->baseY;
    });
    if (!ok) return FALSE;
    rect->left = MulDiv(rect->left, bx, 4);
    rect->right = MulDiv(rect->right, bx, 4);
    rect->top = MulDiv(rect->top, by, 8);
    rect->bottom = MulDiv(rect->bottom, by, 8);
    return TRUE;
}

HWND GetNextDlgGroupItem(HWND dlg, HWND ctl, BOOL previous) {
    if (!ctl || GetParent(ctl) != dlg) return nullptr;
    std::vector<HWND> run = loom::detail::GroupRun(ctl);
    auto at = std::find(run.begin(), run.end(), ctl);
    if (at == run.end()) return nullptr;
    std::size_t n = run.size();
    std::size_t i = static_cast<std::size_t>(at - run.begin());
    // Windows skips controls that are hidden or disabled.
    for (std::size_t step = 1; step < n; ++step) {
        std::size_t k = previous ? (i + n - step) % n : (i + step) % n;
        DWORD s = loom::detail::StyleOf(run[k]);
        if ((s & WS_VISIBLE) && !(s & WS_DISABLED)) return run[k];
    }
    return ctl;
}

namespace loom {

ModalIdleHook SetModalIdleHook(ModalIdleHook hook) {
    ModalIdleHook old = std::move(tModalHook);
    tModalHook = std::move(hook);
    return old;
}

}  // namespace loom

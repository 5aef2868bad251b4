// The standard controls: "Button" (push buttons, check boxes, radio buttons, group boxes),
// "Static" (text and pictures), "Edit" and the common control "msctls_trackbar32".
//
// Each control keeps its state in its window (created at WM_NCCREATE, freed at
// WM_NCDESTROY). Values set from code (BM_SETCHECK, STM_SETIMAGE, TBM_SETPOS, WM_SETTEXT)
// notify nobody; only what a person does (a click, a drag, typing) sends notifications.
#include <algorithm>
#include <mutex>

#include "foundation/host/win32/win32.h"
#include "foundation/host/win32/win32_internal.h"
#include "foundation/host/win32/window_tree.h"

namespace {

using loom::detail::GetExtra;
using loom::detail::NotifyParent;
using loom::detail::SetExtra;
using loom::detail::StyleOf;

template <typename T>
T* StateOf(HWND h) {
    return static_cast<T*>(GetExtra(h));
}

// Creates the state at WM_NCCREATE and frees it at WM_NCDESTROY; answers the state for
// every other message (null if the window has none).
template <typename T>
T* Lifecycle(HWND h, UINT msg) {
    if (msg == WM_NCCREATE) {
        SetExtra(h, new T);
        return StateOf<T>(h);
    }
    T* s = StateOf<T>(h);
    if (msg == WM_NCDESTROY) {
        SetExtra(h, nullptr);
        delete s;
        return nullptr;
    }
    return s;
}

bool ImageLive(HBITMAP image) {
    BITMAP bm;
    return image && GetObjectA(image, sizeof bm, &bm) != 0;
}

// ---- Button ---------------------------------------------------------------------------------

struct ButtonState {
    WPARAM check = BST_UNCHECKED;
    bool pushed = false;  // the mouse went down on it and is not up yet
    HBITMAP image = nullptr;
};

DWORD ButtonType(HWND h) { return StyleOf(h) & BS_TYPEMASK; }

// The highest check state a button type can hold (0: it has none).
WPARAM MaxCheck(DWORD type) {
    switch (type) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return BST_CHECKED;
        case BS_3STATE:
        case BS_AUTO3STATE:
            return BST_INDETERMINATE;
        default:
            return BST_UNCHECKED;
    }
}

// Unchecks the other automatic radio buttons of `h`'s WS_GROUP run. Plain radio buttons
// and other controls in the run are left alone, as Windows does.
void UncheckAutoRadioSiblings(HWND h) {
    for (HWND other : loom::detail::GroupRun(h)) {
        if (other == h || loom::detail::ClassNameOf(other) != "button") continue;
        if ((StyleOf(other) & BS_TYPEMASK) != BS_AUTORADIOBUTTON) continue;
        SendMessageA(other, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

LRESULT ButtonProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    ButtonState* s = Lifecycle<ButtonState>(h, msg);
    if (!s) return DefWindowProcA(h, msg, wParam, lParam);
    DWORD type = ButtonType(h);
    switch (msg) {
        case BM_GETCHECK:
            return static_cast<LRESULT>(MaxCheck(type) ? s->check : BST_UNCHECKED);
        case BM_SETCHECK: {
            WPARAM check = std::min(wParam, MaxCheck(type));
            if (MaxCheck(type) == BST_UNCHECKED) return 0;
            if (check != s->check) {
                s->check = check;
                InvalidateRect(h, nullptr, FALSE);
            }
            if (type == BS_AUTORADIOBUTTON && check == BST_CHECKED && (StyleOf(h) & WS_CHILD)) {
                UncheckAutoRadioSiblings(h);
            }
            return 0;
        }
        case BM_GETSTATE:
            return static_cast<LRESULT>((MaxCheck(type) ? s->check : 0) |
                                        (s->pushed ? BST_PUSHED : 0) |
                                        (GetFocus() == h ? BST_FOCUS : 0));
        case BM_SETSTATE:
            if (s->pushed != (wParam != 0)) {
                s->pushed = wParam != 0;
                InvalidateRect(h, nullptr, FALSE);
            }
            return 0;
        case BM_SETSTYLE: {
            DWORD style = (StyleOf(h) & 0xFFFF0000u) | (static_cast<DWORD>(wParam) & 0xFFFFu);
            SetWindowLongPtrA(h, GWL_STYLE, static_cast<LONG_PTR>(style));
            if (lParam) InvalidateRect(h, nullptr, TRUE);
            return 0;
        }
        case BM_CLICK:
            SendMessageA(h, WM_LBUTTONDOWN, 0, 0);
            SendMessageA(h, WM_LBUTTONUP, 0, 0);
            return 0;
        case BM_SETIMAGE: {
            if (wParam != IMAGE_BITMAP) return 0;
            HBITMAP old = s->image;
            s->image = reinterpret_cast<HBITMAP>(lParam);
            InvalidateRect(h, nullptr, TRUE);
            return reinterpret_cast<LRESULT>(old);
        }
        case BM_GETIMAGE:
            return wParam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(s->image) : 0;
        case WM_LBUTTONDOWN:
            if (type == BS_GROUPBOX) return 0;  // group boxes take no clicks
            SetFocus(h);
            SendMessageA(h, BM_SETSTATE, TRUE, 0);
            return 0;
        case WM_LBUTTONUP: {
            if (!s->pushed) return 0;
            SendMessageA(h, BM_SETSTATE, FALSE, 0);
            // Automatic buttons change their check before the parent hears of the click.
            switch (type) {
                case BS_AUTOCHECKBOX:
                    SendMessageA(h, BM_SETCHECK,
                                 s->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
                    break;
                case BS_AUTORADIOBUTTON:
                    SendMessageA(h, BM_SETCHECK, BST_CHECKED, 0);
                    break;
                case BS_AUTO3STATE:
                    SendMessageA(h, BM_SETCHECK, (s->check + 1) % 3, 0);
                    break;
                default:
                    break;
            }
            NotifyParent(h, BN_CLICKED);
            return 0;
        }
        case loom::detail::kDescribeMessage: {
            auto* node = reinterpret_cast<loom::WindowNode*>(lParam);
            if (MaxCheck(type)) node->check = static_cast<int>(s->check);
            node->image = s->image;
            node->imageLive = ImageLive(s->image);
            return 0;
        }
        default:
            return DefWindowProcA(h, msg, wParam, lParam);
    }
}

// ---- Static ---------------------------------------------------------------------------------

struct StaticState {
    HBITMAP image = nullptr;
    HBITMAP loaded = nullptr;  // the picture it loaded from its module; deleted with it
};

LRESULT StaticProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCDESTROY) {
        if (StaticState* s = StateOf<StaticState>(h); s && s->loaded) DeleteObject(s->loaded);
    }
    StaticState* s = Lifecycle<StaticState>(h, msg);
    if (!s) return DefWindowProcA(h, msg, wParam, lParam);
    bool picture = (StyleOf(h) & SS_TYPEMASK) == SS_BITMAP;
    switch (msg) {
        case WM_CREATE: {
            const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            if (picture && cs->lpszName &&
                (IS_INTRESOURCE(cs->lpszName) || cs->lpszName[0] == '#')) {
                s->image = s->loaded = LoadBitmapA(cs->hInstance, cs->lpszName);
            }
            return 0;
        }
        case STM_SETIMAGE: {
            if (wParam != IMAGE_BITMAP || !picture) return 0;
            HBITMAP old = s->image;
            s->image = reinterpret_cast<HBITMAP>(lParam);
            InvalidateRect(h, nullptr, TRUE);
            return reinterpret_cast<LRESULT>(old);
        }
        case STM_GETIMAGE:
            return wParam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(s->image) : 0;
        case WM_LBUTTONDOWN:
            if (StyleOf(h) & SS_NOTIFY) NotifyParent(h, STN_CLICKED);
            return 0;
        case loom::detail::kDescribeMessage: {
            auto* node = reinterpret_cast<loom::WindowNode*>(lParam);
            node->image = s->image;
            node->imageLive = ImageLive(s->image);
            return 0;
        }
        default:
            return DefWindowProcA(h, msg, wParam, lParam);
    }
}

// ---- Edit -------------------------------------------------------------------------------------

LRESULT EditProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case loom::detail::kUserTypeMessage:
            DefWindowProcA(h, WM_SETTEXT, 0, lParam);
            NotifyParent(h, EN_UPDATE);
            NotifyParent(h, EN_CHANGE);
            return TRUE;
        case WM_LBUTTONDOWN:
            SetFocus(h);
            return 0;
        case loom::detail::kDescribeMessage:
            return 0;
        default:
            return DefWindowProcA(h, msg, wParam, lParam);
    }
}

// ---- Trackbar ---------------------------------------------------------------------------------

struct TrackbarState {
    loom::TrackbarInfo info;
};

void ClampPos(loom::TrackbarInfo& t) {
    if (t.pos < t.min) t.pos = t.min;
    if (t.pos > t.max) t.pos = t.max;
}

LRESULT TrackbarProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    TrackbarState* s = Lifecycle<TrackbarState>(h, msg);
    if (!s) return DefWindowProcA(h, msg, wParam, lParam);
    loom::TrackbarInfo& t = s->info;
    auto changed = [&](bool redraw) {
        if (redraw) InvalidateRect(h, nullptr, FALSE);
    };
    switch (msg) {
        case TBM_GETPOS:
            return t.pos;
        case TBM_GETRANGEMIN:
            return t.min;
        case TBM_GETRANGEMAX:
            return t.max;
        case TBM_SETPOS:
            t.pos = static_cast<int>(lParam);
            ClampPos(t);
            changed(wParam != 0);
            return 0;
        case TBM_SETRANGE:
            // Both ends are signed 16-bit values.
            t.min = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam)));
            t.max = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lParam)));
            ClampPos(t);
            changed(wParam != 0);
            return 0;
        case TBM_SETRANGEMIN:
            t.min = static_cast<int>(lParam);
            ClampPos(t);
            changed(wParam != 0);
            return 0;
        case TBM_SETRANGEMAX:
            t.max = static_cast<int>(lParam);
            ClampPos(t);
            changed(wParam != 0);
            return 0;
        case TBM_SETTICFREQ:
            t.ticFreq = static_cast<int>(wParam);
            changed(true);
            return 0;
        case TBM_SETPAGESIZE: {
            int old = t.pageSize;
            t.pageSize = static_cast<int>(lParam);
            return old;
        }
        case TBM_GETPAGESIZE:
            return t.pageSize;
        case TBM_SETLINESIZE: {
            int old = t.lineSize;
            t.lineSize = static_cast<int>(lParam);
            return old;
        }
        case TBM_GETLINESIZE:
            return t.lineSize;
        case loom::detail::kUserScrollMessage: {
            WORD code = static_cast<WORD>(wParam);
            switch (code) {
                case TB_THUMBTRACK:
                case TB_THUMBPOSITION:
                    t.pos = static_cast<int>(lParam);
                    break;
                case TB_LINEUP:
                    t.pos -= t.lineSize;
                    break;
                case TB_LINEDOWN:
                    t.pos += t.lineSize;
                    break;
                case TB_PAGEUP:
                    t.pos -= t.pageSize;
                    break;
                case TB_PAGEDOWN:
                    t.pos += t.pageSize;
                    break;
                case TB_TOP:
                    t.pos = t.min;
                    break;
                case TB_BOTTOM:
                    t.pos = t.max;
                    break;
                default:
                    break;
            }
            ClampPos(t);
            changed(true);
            WORD high =
                (code == TB_THUMBTRACK || code == TB_THUMBPOSITION) ? static_cast<WORD>(t.pos) : 0;
            HWND parent = GetParent(h);
            UINT scroll = (StyleOf(h) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
            SendMessageA(parent, scroll, MAKEWPARAM(code, high), reinterpret_cast<LPARAM>(h));
            return TRUE;
        }
        case loom::detail::kDescribeMessage:
            reinterpret_cast<loom::WindowNode*>(lParam)->trackbar = t;
            return 0;
        default:
            return DefWindowProcA(h, msg, wParam, lParam);
    }
}

}  // namespace

namespace loom::detail {

std::span<const HostClass> StandardControlClasses() {
    static constexpr HostClass kClasses[] = {
        {"Button", ButtonProc}, {"Static", StaticProc}, {"Edit", EditProc}};
    return kClasses;
}

HostClass TrackbarClass() { return {TRACKBAR_CLASSA, TrackbarProc}; }

}  // namespace loom::detail

#pragma once
/// The window system: window classes with a window procedure, windows that the host owns
/// and names by handle, synchronous `SendMessage`, a posted-message queue with its pump,
/// per-window data (`SetWindowLongPtr`), text, style, geometry, enabling and showing,
/// focus, painting (`InvalidateRect` and the pump's coalesced `WM_PAINT`), dialogs built
/// from module templates (modeless and modal) and the standard controls' messages.
/// Bitmaps, device contexts, image lists and cursors are in win32_gdi.h (included here).
///
/// Threads: a window belongs to the thread that created it, its window thread. Only that
/// thread may send to it, change it, paint it or destroy it; the same calls from any other
/// thread fail (answer 0 and change nothing). `PostMessage` is the one call that works from
/// any thread: it queues the message for the window's thread, whose pump dispatches it.
///
/// Handles are never reused, so a stale handle is recognised: `IsWindow` answers FALSE and
/// every call on it fails. A window's procedure may destroy the window it is handling.
///
/// Standard control classes ("Button", "Static", "Edit", and "msctls_trackbar32" after
/// `InitCommonControls`) exist from the first use of the window system; the host's custom
/// controls come with `InitCustomControls` (controls.h).

#include <cstdint>
#include <functional>
#include <vector>

#include "foundation/host/base/win32_types.h"
#include "foundation/host/win32/win32_gdi.h"
#include "foundation/host/win32/win32_styles.h"

using LONG_PTR = std::intptr_t;
using ATOM = WORD;
struct HMENU__;
struct HICON__;
struct HBRUSH__;
using HMENU = HMENU__*;
using HICON = HICON__*;
using HBRUSH = HBRUSH__*;

/// A window procedure: called with the window, the message and its two parameters.
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
/// A dialog procedure: answers non-zero for a message it handled (the reply then comes
/// from DWLP_MSGRESULT, except for WM_INITDIALOG whose answer is the reply), 0 for default
/// dialog processing.
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// ---- Messages --------------------------------------------------------------------------
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;     ///< lParam: the CREATESTRUCTA; -1 refuses
inline constexpr UINT WM_DESTROY = 0x0002;    ///< the window is going; children still exist
inline constexpr UINT WM_MOVE = 0x0003;       ///< lParam: new client origin (x low, y high)
inline constexpr UINT WM_SIZE = 0x0005;       ///< lParam: new client size (width low, height high)
inline constexpr UINT WM_SETFOCUS = 0x0007;   ///< wParam: the window that lost the focus
inline constexpr UINT WM_KILLFOCUS = 0x0008;  ///< wParam: the window that gets the focus
inline constexpr UINT WM_ENABLE = 0x000A;     ///< wParam: TRUE when enabled
inline constexpr UINT WM_SETTEXT = 0x000C;    ///< lParam: the text; default processing keeps it
inline constexpr UINT WM_GETTEXT = 0x000D;    ///< wParam: buffer size, lParam: buffer
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;       ///< default: destroy; in a dialog: IDCANCEL posted
inline constexpr UINT WM_QUIT = 0x0012;        ///< ends a GetMessage loop; wParam the exit code
inline constexpr UINT WM_ERASEBKGND = 0x0014;  ///< wParam: the HDC; non-zero: erased
inline constexpr UINT WM_SHOWWINDOW = 0x0018;  ///< wParam: TRUE when shown
inline constexpr UINT WM_NCCREATE = 0x0081;    ///< first message; 0 refuses the window
inline constexpr UINT WM_NCDESTROY = 0x0082;   ///< last message a window receives
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_INITDIALOG = 0x0110;  ///< wParam: control to focus, lParam: init param
inline constexpr UINT WM_COMMAND = 0x0111;     ///< wParam: MAKEWPARAM(id, code), lParam: control
inline constexpr UINT WM_HSCROLL = 0x0114;     ///< from horizontal trackbars, lParam the control
inline constexpr UINT WM_VSCROLL = 0x0115;     ///< from vertical trackbars
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_APP = 0x8000;

// ---- Dialog messages ----------------------------------------------------------------------
inline constexpr UINT DM_GETDEFID = WM_USER + 0;  ///< answers MAKELRESULT(id, DC_HASDEFID) or 0
inline constexpr UINT DM_SETDEFID = WM_USER + 1;  ///< wParam: the new default button ID
inline constexpr WORD DC_HASDEFID = 0x534B;

// ---- Button messages, states and notifications ------------------------------------------
inline constexpr UINT BM_GETCHECK = 0x00F0;
inline constexpr UINT BM_SETCHECK = 0x00F1;  ///< wParam: BST_*; sends no notification
inline constexpr UINT BM_GETSTATE = 0x00F2;
inline constexpr UINT BM_SETSTATE = 0x00F3;  ///< wParam: TRUE shows the button pushed
inline constexpr UINT BM_SETSTYLE = 0x00F4;
inline constexpr UINT BM_CLICK = 0x00F5;  ///< a full mouse click, with its notification
inline constexpr UINT BM_GETIMAGE = 0x00F6;
inline constexpr UINT BM_SETIMAGE = 0x00F7;  ///< wParam IMAGE_BITMAP, lParam HBITMAP; old one back
inline constexpr WPARAM BST_UNCHECKED = 0x0000;
inline constexpr WPARAM BST_CHECKED = 0x0001;
inline constexpr WPARAM BST_INDETERMINATE = 0x0002;
inline constexpr WPARAM BST_PUSHED = 0x0004;
inline constexpr WPARAM BST_FOCUS = 0x0008;
inline constexpr WORD BN_CLICKED = 0;

// ---- Static messages and notifications ---------------------------------------------------
inline constexpr UINT STM_SETIMAGE = 0x0172;  ///< wParam: IMAGE_BITMAP; answers the old image
inline constexpr UINT STM_GETIMAGE = 0x0173;
inline constexpr WPARAM IMAGE_BITMAP = 0;
inline constexpr WPARAM IMAGE_ICON = 1;
inline constexpr WPARAM IMAGE_CURSOR = 2;
inline constexpr WORD STN_CLICKED = 0;  ///< only from statics with SS_NOTIFY

// ---- Edit notifications ------------------------------------------------------------------
inline constexpr WORD EN_CHANGE = 0x0300;
inline constexpr WORD EN_UPDATE = 0x0400;

// ---- Trackbars ---------------------------------------------------------------------------
#define TRACKBAR_CLASSA "msctls_trackbar32"
#define TRACKBAR_CLASS TRACKBAR_CLASSA
inline constexpr UINT TBM_GETPOS = WM_USER;
inline constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
inline constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
inline constexpr UINT TBM_SETPOS = WM_USER + 5;    ///< wParam redraw, lParam the position (clamped)
inline constexpr UINT TBM_SETRANGE = WM_USER + 6;  ///< lParam MAKELPARAM(min, max)
inline constexpr UINT TBM_SETRANGEMIN = WM_USER + 7;   ///< lParam the minimum
inline constexpr UINT TBM_SETRANGEMAX = WM_USER + 8;   ///< lParam the maximum
inline constexpr UINT TBM_SETTICFREQ = WM_USER + 20;   ///< wParam the tick spacing
inline constexpr UINT TBM_SETPAGESIZE = WM_USER + 21;  ///< lParam the size; answers the old
inline constexpr UINT TBM_GETPAGESIZE = WM_USER + 22;
inline constexpr UINT TBM_SETLINESIZE = WM_USER + 23;
inline constexpr UINT TBM_GETLINESIZE = WM_USER + 24;
/// Scroll codes a trackbar puts in the low word of WM_HSCROLL's wParam (the high word holds
/// the position for TB_THUMBTRACK and TB_THUMBPOSITION).
inline constexpr WORD TB_LINEUP = 0;
inline constexpr WORD TB_LINEDOWN = 1;
inline constexpr WORD TB_PAGEUP = 2;
inline constexpr WORD TB_PAGEDOWN = 3;
inline constexpr WORD TB_THUMBPOSITION = 4;
inline constexpr WORD TB_THUMBTRACK = 5;
inline constexpr WORD TB_TOP = 6;
inline constexpr WORD TB_BOTTOM = 7;
inline constexpr WORD TB_ENDTRACK = 8;

// ---- Virtual keys ------------------------------------------------------------------------
inline constexpr int VK_TAB = 0x09;
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_SPACE = 0x20;

// ---- Window data indices (Get/SetWindowLongPtr) ---------------------------------------
inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_HINSTANCE = -6;   ///< read-only here
inline constexpr int GWLP_HWNDPARENT = -8;  ///< read-only here
inline constexpr int GWLP_ID = -12;
inline constexpr int GWL_STYLE = -16;
inline constexpr int GWL_EXSTYLE = -20;
inline constexpr int GWLP_USERDATA = -21;
/// Dialog windows only.
inline constexpr int DWLP_MSGRESULT = 0;  ///< the reply to a message the procedure handled
inline constexpr int DWLP_DLGPROC = 8;
inline constexpr int DWLP_USER = 16;

// ---- ShowWindow commands -----------------------------------------------------------------
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_NORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_SHOWNA = 8;

// ---- SetWindowPos flags ------------------------------------------------------------------
inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_NOACTIVATE = 0x0010;

// ---- System metrics ------------------------------------------------------------------------
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;

// ---- PeekMessage options ----------------------------------------------------------------
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

constexpr LONG MAKELONG(WORD lo, WORD hi) {
    return static_cast<LONG>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}
constexpr LPARAM MAKELPARAM(WORD lo, WORD hi) { return static_cast<LPARAM>(MAKELONG(lo, hi)); }
constexpr LRESULT MAKELRESULT(WORD lo, WORD hi) { return static_cast<LRESULT>(MAKELONG(lo, hi)); }

/// A resource named by number travels as a small pointer value, as in Win32.
inline const char* MAKEINTRESOURCEA(int id) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(static_cast<WORD>(id)));
}
inline const char* MAKEINTRESOURCE(int id) { return MAKEINTRESOURCEA(id); }
/// True when `name` is a resource number made by MAKEINTRESOURCE rather than text.
inline bool IS_INTRESOURCE(const void* name) {
    return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

struct POINT {
    LONG x = 0;
    LONG y = 0;
    constexpr bool operator==(const POINT&) const = default;
};

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
    constexpr bool operator==(const RECT&) const = default;
};

/// What BeginPaint hands the painter.
struct PAINTSTRUCT {
    HDC hdc = nullptr;
    BOOL fErase = FALSE;  ///< TRUE when WM_ERASEBKGND did not erase: the painter must
    RECT rcPaint;         ///< the part to paint, client coordinates
    BOOL fRestore = FALSE;
    BOOL fIncUpdate = FALSE;
    BYTE rgbReserved[32] = {};
};

/// A window class: the procedure every window of the class starts with.
struct WNDCLASSA {
    UINT style = 0;
    WNDPROC lpfnWndProc = nullptr;
    int cbClsExtra = 0;
    int cbWndExtra = 0;
    HINSTANCE hInstance = nullptr;
    HICON hIcon = nullptr;
    HCURSOR hCursor = nullptr;
    HBRUSH hbrBackground = nullptr;
    const char* lpszMenuName = nullptr;
    const char* lpszClassName = nullptr;
};

/// What WM_NCCREATE and WM_CREATE carry in lParam.
struct CREATESTRUCTA {
    LPVOID lpCreateParams;  ///< the last argument of CreateWindowExA
    HINSTANCE hInstance;
    HMENU hMenu;  ///< for a child window, its control ID
    HWND hwndParent;
    int cy, cx, y, x;
    LONG style;
    const char* lpszName;  ///< may be a resource number (IS_INTRESOURCE), e.g. a bitmap's
    const char* lpszClass;
    DWORD dwExStyle;
};

/// A posted message as the pump sees it.
struct MSG {
    HWND hwnd = nullptr;  ///< null for a message posted to the thread itself
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;  ///< milliseconds of a steady clock when it was posted
    POINT pt;
};

// ==== Classes and windows ===================================================================

/// Registers a window class by name (compared without regard to case). Answers a
/// non-zero atom, or 0 when the name is taken, missing, or the class has no procedure.
ATOM RegisterClassA(const WNDCLASSA* wc);
/// Removes a class; FALSE when it does not exist, belongs to another instance, or still
/// has windows.
BOOL UnregisterClassA(const char* className, HINSTANCE instance);

/// Creates a window of a registered class on the calling thread. Sends WM_NCCREATE and
/// then WM_CREATE (both with the CREATESTRUCTA); a window whose procedure refuses either
/// is destroyed again and null is returned. Null also for an unknown class or a parent
/// that is not a window of this thread. A child (WS_CHILD) takes `menu` as its control
/// ID and its position relative to the parent's client area; any other window takes
/// screen coordinates. Any window with a parent (or owner) is destroyed with it. A window
/// created visible (WS_VISIBLE) starts invalid, so the pump soon paints it.
/// `windowName` may be a resource number (MAKEINTRESOURCE); the window text is then empty.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, HMENU menu,
                     HINSTANCE instance, LPVOID param);

/// Destroys a window of the calling thread: WM_DESTROY to it, then its children and owned
/// windows are destroyed, then WM_NCDESTROY; afterwards the handle is stale.
BOOL DestroyWindow(HWND hwnd);
/// TRUE while `hwnd` names a window that exists (from any thread).
BOOL IsWindow(HWND hwnd);
/// The parent or owner, or null.
HWND GetParent(HWND hwnd);
/// TRUE when `child` is a (direct or deeper) WS_CHILD descendant of `parent`.
BOOL IsChild(HWND parent, HWND child);

/// Calls the window's procedure at once and answers its result. 0 without calling
/// anything when the window does not exist or belongs to another thread.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Queues a message for the window's thread (any thread may post); a null window posts
/// to the calling thread. FALSE when the window does not exist.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Asks the calling thread's message loop to end: once no posted message is left,
/// GetMessageA answers WM_QUIT with `exitCode`.
void PostQuitMessage(int exitCode);
/// Takes the calling thread's next message, waiting for one. Posted messages come first,
/// in order; then WM_QUIT if it was asked for; then, when nothing else is waiting, one
/// WM_PAINT for a visible window of this thread that is invalid (oldest window first;
/// several invalidations of a window give one WM_PAINT). `hwnd` null takes any message,
/// otherwise only that window's; `filterMin`/`filterMax` both 0 take any number,
/// otherwise only numbers in that range. Answers 0 for WM_QUIT, else non-zero.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
/// As GetMessageA without waiting: FALSE when nothing matches. PM_REMOVE takes the
/// message off the queue, PM_NOREMOVE leaves it there. A WM_PAINT stays pending until
/// the window is validated.
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
/// Hands a message taken from the queue to its window's procedure; 0 for a message
/// without a window or whose window is gone. After a WM_PAINT whose procedure neither
/// validated the window nor invalidated it again, the window is validated, so that a
/// procedure that ignores WM_PAINT cannot make the pump spin.
LRESULT DispatchMessageA(const MSG* msg);
/// Default processing: WM_NCCREATE answers TRUE; WM_SETTEXT, WM_GETTEXT and
/// WM_GETTEXTLENGTH keep and read the window text; WM_PAINT validates (BeginPaint and
/// EndPaint); WM_ERASEBKGND answers TRUE; WM_CLOSE destroys the window; anything else
/// answers 0.
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Calls `proc` for a message, as a window procedure that subclasses another passes on.
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

/// Reads window data: GWLP_USERDATA, GWLP_WNDPROC, GWLP_ID, GWLP_HINSTANCE,
/// GWLP_HWNDPARENT, GWL_STYLE, GWL_EXSTYLE, and for dialogs DWLP_MSGRESULT, DWLP_DLGPROC
/// and DWLP_USER. 0 for another index or a window that is not the calling thread's.
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
/// Sets GWLP_USERDATA, GWLP_WNDPROC (not null), GWLP_ID, GWL_STYLE, GWL_EXSTYLE or a
/// dialog's DWLP_* value and answers the previous value; 0 and nothing changed otherwise.
/// A style set this way sends nothing; WS_VISIBLE and WS_DISABLED are better changed with
/// ShowWindow and EnableWindow, which notify.
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);

// ---- Text ---------------------------------------------------------------------------------
/// Sends WM_SETTEXT. Text is kept as bytes (Windows-1252), NUL-terminated.
BOOL SetWindowTextA(HWND hwnd, const char* text);
/// Sends WM_GETTEXT: copies at most `maxCount` - 1 bytes and a NUL, answers the count.
int GetWindowTextA(HWND hwnd, char* buffer, int maxCount);
int GetWindowTextLengthA(HWND hwnd);

// ---- State ----------------------------------------------------------------------------------
/// Enables or disables a window; sends WM_ENABLE when the state changes. Answers non-zero
/// when the window was disabled before.
BOOL EnableWindow(HWND hwnd, BOOL enable);
/// The window's own state (WS_DISABLED clear); FALSE for a stale handle.
BOOL IsWindowEnabled(HWND hwnd);
/// SW_HIDE hides, every other command shows; sends WM_SHOWWINDOW when the state changes
/// and invalidates a window it shows. Answers non-zero when the window was visible before.
BOOL ShowWindow(HWND hwnd, int cmdShow);
/// TRUE when the window and every WS_CHILD ancestor carry WS_VISIBLE.
BOOL IsWindowVisible(HWND hwnd);
/// Gives the keyboard focus to a window of this thread (null: to none); sends
/// WM_KILLFOCUS to the old one and WM_SETFOCUS to the new one. Answers the previous focus.
HWND SetFocus(HWND hwnd);
HWND GetFocus();

// ---- Geometry ---------------------------------------------------------------------------
/// The screen this host pretends to have: 1920 by 1080 pixels.
int GetSystemMetrics(int index);
/// The window's rectangle (frame and caption included) in screen coordinates.
BOOL GetWindowRect(HWND hwnd, RECT* rect);
/// The client area: (0, 0, width, height). A caption takes 18 pixels; a thick frame 4 per
/// side, a dialog frame or modal frame 3, a plain border 1, a client edge 2, a static edge 1.
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL ClientToScreen(HWND hwnd, POINT* point);
BOOL ScreenToClient(HWND hwnd, POINT* point);
/// Moves and sizes a window (child: parent client coordinates; other: screen); sends
/// WM_MOVE and WM_SIZE when they change.
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
/// Position and size as MoveWindow, with SWP_NOMOVE and SWP_NOSIZE; Z order is ignored.
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);

// ---- Painting -----------------------------------------------------------------------------
/// Adds `rect` (null: the whole client area) to the window's update region. Nothing is
/// sent now: the pump delivers one WM_PAINT for all invalidations of the window. `erase`
/// asks for WM_ERASEBKGND in the next BeginPaint.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
/// Removes `rect` from the update region (null, or a rectangle that covers it, validates
/// the whole window).
BOOL ValidateRect(HWND hwnd, const RECT* rect);
/// Sends WM_PAINT at once when the window is invalid; nothing otherwise.
BOOL UpdateWindow(HWND hwnd);
/// TRUE when the window has something to paint; `rect` receives the update rectangle.
BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase);
/// Starts painting: sends WM_ERASEBKGND when an erase was asked for, fills `ps` with the
/// update rectangle, validates the window and answers a device context for EndPaint.
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);

// ==== Dialogs ==================================================================================

/// Creates a modeless dialog from template `templateName` (MAKEINTRESOURCE(id) or "#id")
/// of module `instance`: the dialog window (class "#32770") with the template's style,
/// caption and size, then one child per template control in template order (class, text,
/// ID, style, rectangle mapped from dialog units; a picture static named by number loads
/// that bitmap from `instance`), then WM_INITDIALOG to `proc` with `initParam` (wParam:
/// the first enabled, visible tab stop, which gets the focus when the procedure answers
/// non-zero). A WS_CHILD template is placed in `parent`'s client area; any other is
/// owned by `parent`'s top-level window. Null when the template does not exist, a control
/// class is unknown (unless DS_NOFAILCREATE), or the procedure destroyed the dialog.
/// Message replies follow Win32: see DLGPROC.
HWND CreateDialogParamA(HINSTANCE instance, const char* templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam);
/// Runs a modal dialog: creates it as CreateDialogParamA does, disables the owner, shows
/// the dialog and pumps messages until EndDialog; then destroys it, enables the owner again
/// and answers the EndDialog result. -1 when the dialog cannot be made, 0 when `parent` is
/// given but not a window. When the modal loop has nothing to do it calls the thread's
/// modal idle hook (loom::SetModalIdleHook) before it waits for a posted message.
INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam);
/// Ends a dialog: a modal loop returns `result`; a modeless dialog is hidden. FALSE for a
/// window that is not a dialog.
BOOL EndDialog(HWND dlg, INT_PTR result);
/// The window procedure of dialogs: calls the dialog procedure and, when it answers 0,
/// does default dialog processing: WM_CLOSE posts WM_COMMAND IDCANCEL (unless a disabled
/// Cancel button exists), DM_GETDEFID answers the default push button, WM_PAINT
/// validates, the rest goes to DefWindowProcA.
LRESULT DefDlgProcA(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

/// The first child of `dlg` with control ID `id`, or null.
HWND GetDlgItem(HWND dlg, int id);
/// A child's control ID; 0 for a window that is not a child.
int GetDlgCtrlID(HWND hwnd);
LRESULT SendDlgItemMessageA(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextA(HWND dlg, int id, const char* text);
UINT GetDlgItemTextA(HWND dlg, int id, char* buffer, int maxCount);
BOOL SetDlgItemInt(HWND dlg, int id, UINT value, BOOL isSigned);
/// Parses the control's text as a decimal integer; `translated` says whether it was one.
UINT GetDlgItemInt(HWND dlg, int id, BOOL* translated, BOOL isSigned);
/// BM_SETCHECK to the button (no notification).
BOOL CheckDlgButton(HWND dlg, int id, UINT check);
UINT IsDlgButtonChecked(HWND dlg, int id);
/// Checks `checkId` and unchecks every other button whose ID lies in first..last.
BOOL CheckRadioButton(HWND dlg, int firstId, int lastId, int checkId);
/// Converts a rectangle from the dialog's units to pixels: x * baseX / 4, y * baseY / 8,
/// rounded. The base units follow the template's font: 6 by 13 for 8 points.
BOOL MapDialogRect(HWND dlg, RECT* rect);
/// The next (or previous) control of `ctl`'s WS_GROUP run, wrapping within the run.
HWND GetNextDlgGroupItem(HWND dlg, HWND ctl, BOOL previous);

// ==== The names without the character-set suffix, as the plug-in sources spell them ======
inline LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(hwnd, msg, wParam, lParam);
}
inline BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return PostMessageA(hwnd, msg, wParam, lParam);
}
inline BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    return GetMessageA(msg, hwnd, filterMin, filterMax);
}
inline BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    return PeekMessageA(msg, hwnd, filterMin, filterMax, removeMsg);
}
inline LRESULT DispatchMessage(const MSG* msg) { return DispatchMessageA(msg); }
inline LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
inline LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcA(hwnd, msg, wParam, lParam);
}
inline LONG_PTR GetWindowLongPtr(HWND hwnd, int index) { return GetWindowLongPtrA(hwnd, index); }
inline LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    return SetWindowLongPtrA(hwnd, index, value);
}
inline ATOM RegisterClass(const WNDCLASSA* wc) { return RegisterClassA(wc); }
inline HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName,
                           DWORD style, int x, int y, int width, int height, HWND parent,
                           HMENU menu, HINSTANCE instance, LPVOID param) {
    return CreateWindowExA(exStyle, className, windowName, style, x, y, width, height, parent, menu,
                           instance, param);
}
inline BOOL SetWindowText(HWND hwnd, const char* text) { return SetWindowTextA(hwnd, text); }
inline int GetWindowText(HWND hwnd, char* buffer, int maxCount) {
    return GetWindowTextA(hwnd, buffer, maxCount);
}
inline int GetWindowTextLength(HWND hwnd) { return GetWindowTextLengthA(hwnd); }
inline HWND CreateDialogParam(HINSTANCE instance, const char* templateName, HWND parent,
                              DLGPROC proc, LPARAM initParam) {
    return CreateDialogParamA(instance, templateName, parent, proc, initParam);
}
inline INT_PTR DialogBoxParam(HINSTANCE instance, const char* templateName, HWND parent,
                              DLGPROC proc, LPARAM initParam) {
    return DialogBoxParamA(instance, templateName, parent, proc, initParam);
}
inline LRESULT SendDlgItemMessage(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(dlg, id, msg, wParam, lParam);
}
inline BOOL SetDlgItemText(HWND dlg, int id, const char* text) {
    return SetDlgItemTextA(dlg, id, text);
}
inline UINT GetDlgItemText(HWND dlg, int id, char* buffer, int maxCount) {
    return GetDlgItemTextA(dlg, id, buffer, maxCount);
}

namespace loom {

/// Windows that exist, on every thread (for the host's checks and tests).
int WindowCount();

/// Dispatches everything posted to the calling thread and then every pending WM_PAINT,
/// until nothing is left; answers how many messages it dispatched. A WM_QUIT it meets is
/// posted again and ends the pump, so the outer message loop still sees it.
int PumpMessages();

/// The calling thread's windows that are not WS_CHILD (dialogs, popups, owners), oldest
/// first: where an inspector starts.
std::vector<HWND> TopLevelWindows();

/// Called by a modal dialog's loop (on its thread) each time it has nothing to do, with
/// the dialog. It may act on the dialog (through `interact`); it answers false when it
/// has nothing more to do, and the loop then waits for a posted message. This is how
/// tests, the command line and the web editor drive a modal dialog on the window thread.
using ModalIdleHook = std::function<bool(HWND dialog)>;
/// Installs the calling thread's hook (empty: none) and answers the previous one.
ModalIdleHook SetModalIdleHook(ModalIdleHook hook);

/// A dialog's template rectangle in dialog units (control or dialog made from a
/// template); false for other windows.
bool GetDialogUnitRect(HWND hwnd, short* x, short* y, short* cx, short* cy);

/// A counter that grows whenever a window is created, destroyed, invalidated, changes its
/// text, style, state or geometry: an inspector redraws when it moved. Any thread.
std::uint64_t WindowSystemRevision();

}  // namespace loom

#pragma once
/// The window system's basics: window classes with a window procedure, windows that the
/// host owns and names by handle, synchronous `SendMessage`, a posted-message queue with
/// its pump, per-window data (`SetWindowLongPtr`), `DestroyWindow`, and the message
/// numbers in use.
///
/// Threads: a window belongs to the thread that created it, its window thread. Only that
/// thread may send to it, change it or destroy it; the same calls from any other thread
/// fail (answer 0 and change nothing). `PostMessage` is the one call that works from any
/// thread: it queues the message for the window's thread, whose pump dispatches it.
///
/// Handles are never reused, so a stale handle is recognised: `IsWindow` answers FALSE and
/// every call on it fails. A window's procedure may destroy the window it is handling.

#include <cstdint>

#include "foundation/host/win32_types.h"

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

// ---- Messages --------------------------------------------------------------------------
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;   ///< lParam: the CREATESTRUCTA; -1 refuses
inline constexpr UINT WM_DESTROY = 0x0002;  ///< the window is going; children still exist
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;      ///< default processing destroys the window
inline constexpr UINT WM_QUIT = 0x0012;       ///< ends a GetMessage loop; wParam the exit code
inline constexpr UINT WM_NCCREATE = 0x0081;   ///< first message; 0 refuses the window
inline constexpr UINT WM_NCDESTROY = 0x0082;  ///< last message a window receives
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_USER = 0x0400;  ///< first number a window class may define

// ---- Window data indices (Get/SetWindowLongPtr) ---------------------------------------
inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_HINSTANCE = -6;   ///< read-only here
inline constexpr int GWLP_HWNDPARENT = -8;  ///< read-only here
inline constexpr int GWLP_ID = -12;
inline constexpr int GWLP_USERDATA = -21;

// ---- PeekMessage options ----------------------------------------------------------------
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

struct POINT {
    LONG x = 0;
    LONG y = 0;
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
    const char* lpszName;
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
/// ID. Any window with a parent is destroyed with it.
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

/// Calls the window's procedure at once and answers its result. 0 without calling
/// anything when the window does not exist or belongs to another thread.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Queues a message for the window's thread (any thread may post); a null window posts
/// to the calling thread. FALSE when the window does not exist.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Asks the calling thread's message loop to end: once no posted message is left,
/// GetMessageA answers WM_QUIT with `exitCode`.
void PostQuitMessage(int exitCode);
/// Takes the calling thread's next posted message, waiting for one. `hwnd` null takes
/// any message, otherwise only that window's; `filterMin`/`filterMax` both 0 take any
/// number, otherwise only numbers in that range. Answers 0 for WM_QUIT, else non-zero.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
/// As GetMessageA without waiting: FALSE when nothing matches. PM_REMOVE takes the
/// message off the queue, PM_NOREMOVE leaves it there.
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
/// Hands a message taken from the queue to its window's procedure; 0 for a message
/// without a window or whose window is gone.
LRESULT DispatchMessageA(const MSG* msg);
/// Default processing: WM_NCCREATE answers TRUE, WM_CLOSE destroys the window, anything
/// else answers 0.
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Calls `proc` for a message, as a window procedure that subclasses another passes on.
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

/// Reads window data: GWLP_USERDATA, GWLP_WNDPROC, GWLP_ID, GWLP_HINSTANCE or
/// GWLP_HWNDPARENT. 0 for another index or a window that is not the calling thread's.
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
/// Sets GWLP_USERDATA, GWLP_WNDPROC (not null) or GWLP_ID and answers the previous value;
/// 0 and nothing changed otherwise.
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);

// The names without the character-set suffix, as the plug-in sources spell them.
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
inline LONG_PTR GetWindowLongPtr(HWND hwnd, int index) { return GetWindowLongPtrA(hwnd, index); }
inline LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    return SetWindowLongPtrA(hwnd, index, value);
}

namespace loom {

/// Windows that exist, on every thread (for the host's checks and tests).
int WindowCount();

}  // namespace loom

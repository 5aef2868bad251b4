#pragma once
// Inside the window system: the window records and the hooks that the dialog, control,
// painting and inspection parts of the host share. Not for plug-ins.

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "foundation/host/win32/win32.h"

namespace loom {
struct WindowNode;
}

namespace loom::detail {

/// What only dialogs have.
struct DialogState {
    DLGPROC proc = nullptr;
    LONG_PTR msgResult = 0;
    LONG_PTR user = 0;
    int baseX = 6;  ///< dialog base units in pixels
    int baseY = 13;
    int defId = 0;  ///< set by DM_SETDEFID; 0: the first BS_DEFPUSHBUTTON
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
};

/// One window. Read and written only with the system lock held; its procedure is called
/// without the lock.
struct Window {
    HWND handle = nullptr;
    std::thread::id owner;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HWND parent = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::string className;  // lower case
    std::vector<HWND> children;
    bool destroying = false;

    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;  // child: parent client coordinates; else screen

    bool hasDialogUnits = false;
    short dluX = 0, dluY = 0, dluCx = 0, dluCy = 0;

    bool invalid = false;
    bool erase = false;
    RECT update;                 // client coordinates, valid while `invalid`
    std::uint64_t paintGen = 0;  // grows with every invalidation

    std::uint64_t revision = 0;
    bool hostClass = false;  // its class is one of the host's controls
    void* extra = nullptr;   // state of a host control, owned by the control's procedure
    std::unique_ptr<DialogState> dialog;
};

/// The window system's lock.
std::mutex& Lock();
/// Caller holds the lock. The window, or null.
Window* FindLocked(HWND h);
/// Caller holds the lock. The window if it exists and belongs to the calling thread.
Window* OwnLocked(HWND h);
/// Caller holds the lock. Marks a window changed for inspectors.
void TouchLocked(Window& w);

/// Runs `fn(Window&)` with the lock held when `h` is a window of the calling thread;
/// answers whether it ran.
template <typename Fn>
bool WithWindow(HWND h, Fn&& fn) {
    std::lock_guard lock(Lock());
    Window* w = OwnLocked(h);
    if (!w) return false;
    fn(*w);
    return true;
}

/// Registers a window class of the host (the standard and custom controls, dialogs):
/// its windows answer kDescribeMessage. Answers the atom, or 0 when the name is taken.
ATOM RegisterHostClass(const WNDCLASSA& wc);
/// Registers the standard classes (controls and dialogs) once per process, through the
/// registrar set below; nothing when none is set.
void EnsureSystemClasses();
/// Sets the registrar EnsureSystemClasses runs. The window core knows no control: the
/// registration unit (win32_classes.cpp), which sits above the controls and dialogs, sets
/// itself during start-up. The registrar must be safe to run more than once.
void SetSystemClassRegistrar(void (*registrar)());
/// Registers "msctls_trackbar32" once per process (win32_classes.cpp).
void RegisterTrackbarClass();

/// A window class of the host: its name and procedure.
struct HostClass {
    const char* name;
    WNDPROC proc;
};
/// The standard controls' classes, in registration order (win32_controls.cpp).
std::span<const HostClass> StandardControlClasses();
/// The common control "msctls_trackbar32" (win32_controls.cpp).
HostClass TrackbarClass();
/// The dialog class "#32770" (win32_dialog.cpp).
HostClass DialogClass();

/// Caller does not hold the lock. Takes `hwnd`'s update region for painting: answers
/// whether the window is the calling thread's, with the region (empty when valid) and
/// whether its background is to be erased; the window is valid afterwards.
bool TakeUpdateRegion(HWND hwnd, RECT* update, bool* erase);
/// The ID of a dialog's default push button (DM_SETDEFID, else the first
/// BS_DEFPUSHBUTTON), 0 when it has none.
int DefaultButtonId(HWND dlg);
/// The controls of `ctl`'s WS_GROUP run among its siblings, in order (`ctl` included).
std::vector<HWND> GroupRun(HWND ctl);

/// Sent only to windows of host classes by the inspector: lParam is the WindowNode to
/// complete with the control's own state. Answers 0.
inline constexpr UINT kDescribeMessage = 0xBF00;
/// A person moves a trackbar: wParam the TB_ code, lParam the position for TB_THUMBTRACK
/// and TB_THUMBPOSITION (clamped by the trackbar), ignored otherwise. The trackbar moves
/// and notifies its parent as a mouse drag would. Answers TRUE.
inline constexpr UINT kUserScrollMessage = 0xBF01;
/// A person types: lParam the whole new text (const char*). The edit control takes it and
/// notifies as typing would. Answers TRUE.
inline constexpr UINT kUserTypeMessage = 0xBF02;
/// A person presses Enter in a custom edit field: a linked spinner takes the text as its
/// value, then the field sends WM_CUSTEDIT_ENTER. Answers TRUE when the text was a value.
inline constexpr UINT kUserEnterMessage = 0xBF03;
/// A person presses a spinner's arrows (wParam, lParam 0), drags it to the float at
/// *(const float*)lParam, and lets go: wParam TRUE accepts, FALSE cancels.
inline constexpr UINT kSpinnerPressMessage = 0xBF10;
inline constexpr UINT kSpinnerDragMessage = 0xBF11;
inline constexpr UINT kSpinnerReleaseMessage = 0xBF12;
/// A person opens a swatch's picker, drags to the COLORREF in lParam, and closes it:
/// wParam TRUE accepts, FALSE cancels.
inline constexpr UINT kSwatchPressMessage = 0xBF20;
inline constexpr UINT kSwatchDragMessage = 0xBF21;
inline constexpr UINT kSwatchReleaseMessage = 0xBF22;

/// The state pointer a host control keeps in its window.
void* GetExtra(HWND h);
void SetExtra(HWND h, void* extra);

/// Marks a window as made from a template, with its rectangle in dialog units.
void SetDialogUnits(HWND h, short x, short y, short cx, short cy);
/// Caller holds the lock. Frame widths of a window's non-client area.
void NonClientLocked(const Window& w, int* frameX, int* frameTop, int* frameBottom);

/// A window's children (WS_CHILD; not the popups it owns) in creation (tab) order.
std::vector<HWND> ChildrenOf(HWND parent);
std::string ClassNameOf(HWND h);  // lower case
DWORD StyleOf(HWND h);

/// Sends WM_COMMAND(MAKEWPARAM(id, code), control) to the control's parent.
void NotifyParent(HWND control, WORD code);

}  // namespace loom::detail

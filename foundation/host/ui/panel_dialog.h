#pragma once
/// The dialog procedure shared by the host's and the plug-ins' rollup panels. A panel
/// object opens its rollup with `PanelDialogProc<Panel>` and itself as the dialog's
/// parameter; it holds `HWND hPanel_`, an `active_` flag and
/// `INT_PTR PanelProc(HWND, UINT, WPARAM, LPARAM)`, and befriends the procedure with
///
///     template <class P>
///     friend INT_PTR CALLBACK PanelDialogProc(HWND, UINT, WPARAM, LPARAM) noexcept;

#include "foundation/host/win32/win32.h"

namespace loom {

/// WM_INITDIALOG's lParam is the panel: it gets the window, and the window keeps the panel
/// in its user data. Every message from then on goes to the panel's PanelProc with its
/// `active_` flag set for the time of the call; messages before WM_INITDIALOG, or after the
/// panel cleared the user data, answer 0. No exception leaves: a message whose handling
/// throws answers 0 (not handled), as the window system expects of a failed handler.
template <class Panel>
INT_PTR CALLBACK PanelDialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    Panel* panel = nullptr;
    try {
        if (msg == WM_INITDIALOG) {
            panel = reinterpret_cast<Panel*>(lParam);
            panel->hPanel_ = hWnd;
            SetWindowLongPtrA(hWnd, GWLP_USERDATA, lParam);
        } else {
            panel = reinterpret_cast<Panel*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
            if (!panel) return 0;
        }
        panel->active_ = true;
        const INT_PTR result = panel->PanelProc(hWnd, msg, wParam, lParam);
        panel->active_ = false;
        return result;
    } catch (...) {
        if (panel) panel->active_ = false;
        return 0;
    }
}

}  // namespace loom

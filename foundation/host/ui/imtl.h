#pragma once
/// The material editor's services to a material or map panel (IMtlParams): rollup pages,
/// the current time, the changed-material notice and the rollups' mouse handling. The
/// map-button message a panel posts to the editor window is answered by the editor's map
/// browser.

#include "foundation/host/win32/win32.h"

/// Posted by a panel's map button to the editor window: wParam the sub-map index,
/// lParam the texture (a Texmap*) whose slot it is.
inline constexpr UINT WM_TEXMAP_BUTTON = 0x4402;

class IMtlParams {
  public:
    virtual ~IMtlParams() = default;
    /// The material shown in the editor changed: its sample is redrawn soon (not here).
    virtual void MtlChanged() = 0;
    /// Adds a rollup page built from a dialog template of `hInst`; the page's procedure
    /// gets WM_INITDIALOG with `param`. Answers the page window, or null.
    virtual HWND AddRollupPage(HINSTANCE hInst, const char* dlgTemplate, DLGPROC dlgProc,
                               const char* title, LPARAM param = 0, DWORD flags = 0,
                               int category = -1) = 0;
    virtual void DeleteRollupPage(HWND hRollup) = 0;
    /// Mouse messages a page does not use, for the rollup's own scrolling.
    virtual void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual TimeValue GetTime() = 0;
};

/// The host's assertion: false (and a report on stderr) when `condition` fails.
bool assert1(bool condition, const char* what = nullptr);

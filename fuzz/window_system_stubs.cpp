// The window-system functions the plug-ins' classes refer to, for the scene target, which
// links the host's base and SDK layers without the window system. Loading and saving a
// scene never opens a panel, a dialog or a viewport bitmap, so every stub but the start-up
// calls of the plug-ins' entry routines stops the process: reaching one means the loader
// has come to depend on the window system.
#include "foundation/host/ui/controls.h"
#include "foundation/host/win32/resources.h"
#include "foundation/host/win32/win32.h"
#include "foundation/host/win32/win32_gdi.h"
#include "foundation/panelframe/tex_panel.h"

namespace {
[[noreturn]] void Unreachable() { __builtin_trap(); }
}  // namespace

// The texture panels' constructors are bound to this by the linker (--defsym), since a
// constructor cannot be defined without its class's other members.
extern "C" [[noreturn]] void loom_fuzz_no_panel() { Unreachable(); }

// Called by every texture's entry routine: nothing to register without the window system.
void InitCustomControls(HINSTANCE) {}
void InitCommonControls() {}

void ReleaseISpinner(ISpinnerControl*) { Unreachable(); }
ISpinnerControl* SetupFloatSpinner(HWND, int, int, float, float, float, float) { Unreachable(); }
void CenterWindow(HWND, HWND) { Unreachable(); }
int LoadStringA(HINSTANCE, UINT, char*, int) noexcept { Unreachable(); }
HWND GetParent(HWND) { Unreachable(); }
LRESULT SendMessageA(HWND, UINT, WPARAM, LPARAM) { Unreachable(); }
INT_PTR DialogBoxParamA(HINSTANCE, const char*, HWND, DLGPROC, LPARAM) { Unreachable(); }
BOOL EndDialog(HWND, INT_PTR) { Unreachable(); }
HWND GetDlgItem(HWND, int) { Unreachable(); }
LRESULT SendDlgItemMessageA(HWND, int, UINT, WPARAM, LPARAM) { Unreachable(); }
HBITMAP LoadBitmapA(HINSTANCE, const char*) { Unreachable(); }
HBITMAP CreateDIBitmap(HDC, const BITMAPINFOHEADER*, DWORD, const void*, const BITMAPINFO*, UINT) {
    Unreachable();
}
BOOL DeleteObject(HGDIOBJ) { Unreachable(); }
HDC GetDC(HWND) { Unreachable(); }
int ReleaseDC(HWND, HDC) { Unreachable(); }
HCURSOR LoadCursorA(HINSTANCE, const char*) { Unreachable(); }
HCURSOR SetCursor(HCURSOR) { Unreachable(); }
bool loom::ReadBitmap(HBITMAP, BitmapPixels*) { Unreachable(); }
void loom::TexPanelBase::Attach() { Unreachable(); }

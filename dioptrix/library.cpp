#include "dioptrix/library.h"

#include "foundation/host/ui/controls.h"
#include "foundation/host/win32/resources.h"

namespace {
HINSTANCE hInstance = nullptr;
bool controlsInit = false;
char stringBuffer[256];
}  // namespace

BOOL DioptrixLibMain(HINSTANCE hinstDLL, DWORD reason) noexcept {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            if (hInstance) return FALSE;
            hInstance = hinstDLL;
            if (!controlsInit) {
                controlsInit = true;
                InitCustomControls(hInstance);
            }
            return TRUE;
        case DLL_PROCESS_DETACH:
            hInstance = nullptr;
            return TRUE;
        default:
            return TRUE;
    }
}

HINSTANCE DioptrixInstance() noexcept { return hInstance; }

const TCHAR* LoadLibString(int id) noexcept {
    if (!hInstance || id < 0) return nullptr;
    if (LoadStringA(hInstance, static_cast<UINT>(id), stringBuffer, sizeof stringBuffer) == 0) {
        return nullptr;
    }
    return stringBuffer;
}

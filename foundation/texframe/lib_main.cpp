#include "foundation/host/ui/controls.h"
#include "foundation/texframe/tex_class_desc.h"

namespace loom {
namespace {
HINSTANCE hInstance = nullptr;
int controlsInit = FALSE;
}  // namespace

BOOL TexLibMain(HINSTANCE hinstDLL, DWORD) {
    hInstance = hinstDLL;
    if (!controlsInit) {
        controlsInit = TRUE;
        InitCustomControls(hInstance);
        InitCommonControls();
    }
    return TRUE;
}

HINSTANCE TexLibInstance() { return hInstance; }

}  // namespace loom

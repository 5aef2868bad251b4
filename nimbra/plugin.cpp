// Library entry points and class descriptor of the Nimbra texture.
#include "foundation/host/plugin_api.h"
#include "foundation/texframe/tex_class_desc.h"
#include "nimbra/nimbra_tex.h"

namespace {

class NimbraClassDesc final : public loom::TexClassDesc {
  public:
    NimbraClassDesc() : TexClassDesc(kNimbraInfo, []() -> Texmap* { return new NimbraTex(); }) {}
};
NimbraClassDesc nimbraCD;

}  // namespace

LOOM_PLUGIN_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    return loom::TexLibMain(hinstDLL, fdwReason);
}
LOOM_PLUGIN_EXPORT const TCHAR* LibDescription() { return kNimbraLibDescription; }
LOOM_PLUGIN_EXPORT int LibNumberClasses() { return 1; }
LOOM_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? &nimbraCD : nullptr; }
LOOM_PLUGIN_EXPORT ULONG LibVersion() { return kTextureLibVersion; }

// Library entry points and class descriptor of the Lumidot texture.
#include "foundation/host/plugin_api.h"
#include "foundation/texframe/tex_class_desc.h"
#include "lumidot/lumidot_tex.h"

namespace {

class LumidotClassDesc final : public loom::TexClassDesc {
  public:
    LumidotClassDesc() : TexClassDesc(kLumidotInfo, []() -> Texmap* { return new LumidotTex(); }) {}
};
LumidotClassDesc lumidotCD;

}  // namespace

LOOM_PLUGIN_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    return loom::TexLibMain(hinstDLL, fdwReason);
}
LOOM_PLUGIN_EXPORT const TCHAR* LibDescription() { return kLumidotLibDescription; }
LOOM_PLUGIN_EXPORT int LibNumberClasses() { return 1; }
LOOM_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? &lumidotCD : nullptr; }
LOOM_PLUGIN_EXPORT ULONG LibVersion() { return kTextureLibVersion; }

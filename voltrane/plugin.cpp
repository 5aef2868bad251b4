// Library entry points and class descriptor of the Voltrane texture.
#include "foundation/host/plugin_api.h"
#include "foundation/texframe/tex_class_desc.h"
#include "voltrane/voltrane_tex.h"

namespace {

class VoltraneClassDesc final : public loom::TexClassDesc {
  public:
    VoltraneClassDesc()
        : TexClassDesc(kVoltraneInfo, []() -> Texmap* { return new VoltraneTex(); }) {}
};
VoltraneClassDesc voltraneCD;

}  // namespace

LOOM_PLUGIN_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    return loom::TexLibMain(hinstDLL, fdwReason);
}
LOOM_PLUGIN_EXPORT const TCHAR* LibDescription() { return kVoltraneLibDescription; }
LOOM_PLUGIN_EXPORT int LibNumberClasses() { return 1; }
LOOM_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? &voltraneCD : nullptr; }
LOOM_PLUGIN_EXPORT ULONG LibVersion() { return kTextureLibVersion; }

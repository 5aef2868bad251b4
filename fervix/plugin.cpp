// Library entry points and class descriptor of the Fervix texture.
#include "fervix/fervix_tex.h"
#include "foundation/host/plugin_api.h"
#include "foundation/texframe/tex_class_desc.h"

namespace {

class FervixClassDesc final : public loom::TexClassDesc {
  public:
    FervixClassDesc() : TexClassDesc(kFervixInfo, []() -> Texmap* { return new FervixTex(); }) {}
};
FervixClassDesc fervixCD;

}  // namespace

LOOM_PLUGIN_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    return loom::TexLibMain(hinstDLL, fdwReason);
}
LOOM_PLUGIN_EXPORT const TCHAR* LibDescription() { return kFervixLibDescription; }
LOOM_PLUGIN_EXPORT int LibNumberClasses() { return 1; }
LOOM_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? &fervixCD : nullptr; }
LOOM_PLUGIN_EXPORT ULONG LibVersion() { return kTextureLibVersion; }

#pragma once
/// The entry points of a texture plug-in library. A texture's plugin.cpp is one line:
///
///     LOOM_TEXTURE_PLUGIN(VoltraneTex, kVoltraneLibDescription)
///
/// which defines the class descriptor and the exported DllMain, LibDescription,
/// LibNumberClasses, LibClassDesc and LibVersion. Every entry point is noexcept and lets
/// no exception reach the host: a failure answers FALSE, null or 0.

#include "foundation/host/sdk/plugin_api.h"
#include "foundation/texframe/tex_class_desc.h"

namespace loom {

/// A new texture of class `Tex`, as the class descriptor creates it.
template <class Tex>
Texmap* NewTexture() {
    return new Tex();
}

}  // namespace loom

/// `Tex` is a TexClass; `description` the library's description (Windows-1252).
#define LOOM_TEXTURE_PLUGIN(Tex, description)                                                      \
    namespace {                                                                                    \
    ::loom::TexClassDesc loomTexClassDesc(Tex::ClassInfo(), &::loom::NewTexture<Tex>);             \
    }                                                                                              \
    LOOM_PLUGIN_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) noexcept { \
        return ::loom::NoThrowCall<BOOL>(FALSE,                                                    \
                                         [&] { return ::loom::TexLibMain(hinstDLL, fdwReason); }); \
    }                                                                                              \
    LOOM_PLUGIN_EXPORT const TCHAR* LibDescription() noexcept { return description; }              \
    LOOM_PLUGIN_EXPORT int LibNumberClasses() noexcept { return 1; }                               \
    LOOM_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) noexcept {                                   \
        return i == 0 ? &loomTexClassDesc : nullptr;                                               \
    }                                                                                              \
    LOOM_PLUGIN_EXPORT ULONG LibVersion() noexcept { return kTextureLibVersion; }

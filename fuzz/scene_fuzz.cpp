// Scene files: arbitrary bytes through the loader, which must refuse what it cannot read
// without crashing, leaking or keeping anything. The plug-ins of the list are compiled in
// with their own entry points (renamed per plug-in by the build, named in fuzz_plugins.h) and
// registered as the application's loader registers them, so that inputs reach the
// textures' loaders, their layout converters and repairs, and the filter's configuration.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>

#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/filters.h"
#include "foundation/host/sdk/plugin_api.h"
#include "foundation/host/sdk/scene_io.h"

namespace loom {
struct PluginEntry {
    const char* name;
    BOOL (*dllMain)(HINSTANCE, DWORD, LPVOID);
    int (*numberClasses)();
    ClassDesc* (*classDesc)(int);
};
}  // namespace loom

#define LOOM_FUZZ_PLUGIN(name)                                \
    extern "C" BOOL name##_DllMain(HINSTANCE, DWORD, LPVOID); \
    extern "C" int name##_LibNumberClasses();                 \
    extern "C" ClassDesc* name##_LibClassDesc(int);
#include "fuzz_plugins.h"
#undef LOOM_FUZZ_PLUGIN

namespace {

#define LOOM_FUZZ_PLUGIN(name) \
    {#name, &name##_DllMain, &name##_LibNumberClasses, &name##_LibClassDesc},
const loom::PluginEntry kPlugins[] = {
#include "fuzz_plugins.h"
};
#undef LOOM_FUZZ_PLUGIN

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int instances[std::size(kPlugins)];
    for (size_t p = 0; p < std::size(kPlugins); ++p) {
        // Each library gets an instance handle of its own, as each would from dlopen.
        auto* instance = reinterpret_cast<HINSTANCE>(&instances[p]);
        if (!kPlugins[p].dllMain(instance, DLL_PROCESS_ATTACH, nullptr)) __builtin_trap();
        for (int i = 0; i < kPlugins[p].numberClasses(); ++i) {
            if (!loom::RegisterClass(kPlugins[p].classDesc(i))) __builtin_trap();
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    loom::SceneHolder scene;
    loom::SceneLoadReport report;
    std::string error;
    if (!loom::LoadSceneBytes(data, size, scene, report, error)) return 0;
    // Filter entries of a known class go through the filter as a render would take them.
    for (const loom::FilterEntry& f : scene.Filters()) {
        ClassDesc* cd = loom::FindClass(f.superClass, f.classId);
        if (!cd) continue;
        std::unique_ptr<ImageFilter> filter(loom::CreateImageFilter(cd, error));
        if (!filter) continue;
        std::vector<std::uint8_t> stored;
        if (loom::LoadFilterConfiguration(*filter, f.configuration, error)) {
            loom::SaveFilterConfiguration(*filter, stored, error);
        }
    }
    // What loads must save again, and load again.
    std::vector<std::uint8_t> again = loom::SaveSceneBytes(scene);
    loom::SceneHolder second;
    if (!loom::LoadSceneBytes(again.data(), again.size(), second, report, error)) __builtin_trap();
    return 0;
}

// Scene files: arbitrary bytes through the loader, which must refuse what it cannot read
// without crashing, leaking or keeping anything.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/host/scene_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    loom::SceneHolder scene;
    loom::SceneLoadReport report;
    std::string error;
    if (loom::LoadSceneBytes(data, size, scene, report, error)) {
        // What loads must save again.
        std::vector<std::uint8_t> again = loom::SaveSceneBytes(scene);
        loom::SceneHolder second;
        if (!loom::LoadSceneBytes(again.data(), again.size(), second, report, error))
            __builtin_trap();
    }
    return 0;
}

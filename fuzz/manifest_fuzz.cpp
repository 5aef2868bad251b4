// Render manifests as `render --resume` reads them back: any bytes must be refused with one
// message naming the file, or give a manifest whose frames lie within its range.
//
// Input: the manifest's text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/core/jobs/render_sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    loom::RecordedManifest manifest;
    std::string error;
    if (!loom::ParseRenderManifest("m.json", text, manifest, error)) {
        if (error.rfind("m.json: ", 0) != 0) __builtin_trap();
        return 0;
    }
    const loom::RenderManifest& m = manifest.manifest;
    if (m.width <= 0 || m.height <= 0 || m.lastFrame < m.firstFrame || m.runFirst < m.firstFrame ||
        m.runLast > m.lastFrame || m.files.size() != m.outputs.size()) {
        __builtin_trap();
    }
    return 0;
}

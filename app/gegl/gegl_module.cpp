// The GEGL module: the entry points GEGL looks up when it loads a library from its
// plug-in folders (or GEGL_PATH).
#include <cctype>
#include <exception>
#include <mutex>

#include "app/core/loader/process_plugins.h"
#include "app/gegl/gegl_ops.h"

namespace loom::gegl_ops {

std::string PropertyName(const std::string& paramName) {
    std::string out;
    bool dash = false;
    for (unsigned char c : paramName) {
        if (std::isalnum(c)) {
            if (dash && !out.empty()) out += '-';
            dash = false;
            out += static_cast<char>(std::tolower(c));
        } else {
            dash = true;
        }
    }
    if (out.empty() || !std::isalpha(static_cast<unsigned char>(out[0]))) out = "p-" + out;
    return out;
}

bool PluginsReady() {
    static std::once_flag once;
    std::string error;
    const bool ready = PluginsNearCore("loomwork (GEGL)", error) != nullptr;
    std::call_once(once, [&] {
        if (!ready) g_warning("loomwork: %s", error.c_str());
    });
    return ready;
}

}  // namespace loom::gegl_ops

namespace {
const GeglModuleInfo kModuleInfo = {GEGL_MODULE_ABI_VERSION};
}

extern "C" {

G_MODULE_EXPORT const GeglModuleInfo* gegl_module_query(GTypeModule*) noexcept {
    return &kModuleInfo;
}

G_MODULE_EXPORT gboolean gegl_module_register(GTypeModule* module) noexcept {
    try {
        loom::gegl_ops::RegisterTextureOps(module);
        loom::gegl_ops::RegisterAnaglyphOps(module);
        return TRUE;
    } catch (const std::exception& e) {
        g_warning("loomwork: the operations could not be registered: %s", e.what());
    } catch (...) {
        g_warning("loomwork: the operations could not be registered");
    }
    return FALSE;
}

}  // extern "C"

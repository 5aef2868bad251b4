#include "app/cli/context.h"

#include <cstdio>
#include <stdexcept>

namespace loom {

void AppContext::LoadPlugins() {
    if (loaded) return;
    loaded = true;
    std::vector<std::string> folders = PluginFolders(pluginFolders);
    if (folders.empty()) {
        throw std::runtime_error("no plug-in folder found (use --plugins DIR or LOOMHOST_PLUGINS)");
    }
    std::vector<std::string> errors;
    for (const std::string& f : folders) loader.LoadFolder(f, errors);
    for (const std::string& e : errors) std::fprintf(stderr, "loomhost: warning: %s\n", e.c_str());
}

}  // namespace loom

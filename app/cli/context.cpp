#include "app/cli/context.h"

#include <cstdarg>
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

void AppContext::Note(const char* format, ...) const {
    if (quiet) return;
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace loom

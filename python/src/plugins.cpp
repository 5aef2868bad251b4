#include "python/src/plugins.h"

#include <cstdio>
#include <stdexcept>

namespace loomwork {
namespace {

struct State {
    // Never destroyed: unloading at exit would pull code from under textures still held.
    loom::PluginLoader* loader = nullptr;
    std::vector<std::string> defaults;
    std::vector<std::string> loadedFrom;
};

State& Global() {
    static State state;
    return state;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string s;
    for (const std::string& p : parts) s += (s.empty() ? "" : ":") + p;
    return s;
}

}  // namespace

std::recursive_mutex& ModelLock() {
    static std::recursive_mutex lock;
    return lock;
}

void SetDefaultPluginFolders(const std::vector<std::string>& folders) {
    std::lock_guard<std::recursive_mutex> hold(ModelLock());
    Global().defaults = folders;
}

std::vector<std::string> LoadPlugins(const std::vector<std::string>& folders) {
    std::lock_guard<std::recursive_mutex> hold(ModelLock());
    State& s = Global();
    std::vector<std::string> wanted = folders;
    if (wanted.empty()) {
        // The program's search, with the package's own folder in place of the program's.
        loom::PluginSearchEnv env = loom::CurrentPluginSearchEnv();
        env.ownFolders = s.defaults;
        wanted = loom::PluginFolders({}, env);
    }
    if (s.loader) {
        if (!folders.empty() && folders != s.loadedFrom) {
            throw std::runtime_error("the plug-ins are loaded already, from " + Join(s.loadedFrom) +
                                     "; load_plugins() must come first");
        }
        return {};
    }
    if (wanted.empty()) {
        throw std::runtime_error(
            "no plug-in folder found (set LOOMHOST_PLUGINS or call load_plugins([DIR]))");
    }
    auto* loader = new loom::PluginLoader();
    std::vector<std::string> errors;
    for (const std::string& f : wanted) loader->LoadFolder(f, errors);
    s.loader = loader;
    s.loadedFrom = wanted;
    return errors;
}

const loom::PluginLoader& Plugins() {
    std::lock_guard<std::recursive_mutex> hold(ModelLock());
    if (!Global().loader) {
        // Loaded on first use: skipped libraries are told as the command line tells them.
        for (const std::string& e : LoadPlugins({})) {
            std::fprintf(stderr, "loomwork: warning: %s\n", e.c_str());
        }
    }
    return *Global().loader;
}

std::vector<std::string> PluginFoldersLoaded() {
    std::lock_guard<std::recursive_mutex> hold(ModelLock());
    return Global().loadedFrom;
}

}  // namespace loomwork

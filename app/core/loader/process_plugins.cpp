#include "app/core/loader/process_plugins.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace loom {
namespace {

struct State {
    // Never destroyed: unloading at exit would pull code from under textures still held.
    PluginLoader* loader = nullptr;
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

std::vector<std::string> LoadProcessPlugins(const std::vector<std::string>& folders) {
    std::lock_guard<std::recursive_mutex> hold(ModelLock());
    State& s = Global();
    std::vector<std::string> wanted = folders;
    if (wanted.empty()) {
        // The program's search, with the front-end's own folder in place of the program's.
        PluginSearchEnv env = CurrentPluginSearchEnv();
        env.ownFolders = s.defaults;
        wanted = PluginFolders({}, env);
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
    auto* loader = new PluginLoader();
    std::vector<std::string> errors;
    for (const std::string& f : wanted) loader->LoadFolder(f, errors);
    s.loader = loader;
    s.loadedFrom = wanted;
    return errors;
}

const PluginLoader& ProcessPlugins(const char* who) {
    std::lock_guard<std::recursive_mutex> hold(ModelLock());
    if (!Global().loader) {
        // Loaded on first use: skipped libraries are told as the command line tells them.
        for (const std::string& e : LoadProcessPlugins({})) {
            std::fprintf(stderr, "%s: warning: %s\n", who, e.c_str());
        }
    }
    return *Global().loader;
}

std::vector<std::string> ProcessPluginFolders() {
    std::lock_guard<std::recursive_mutex> hold(ModelLock());
    return Global().loadedFrom;
}

std::string PluginFolderNearLibrary(const std::string& libraryPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir = fs::path(libraryPath).parent_path();
    if (dir.empty()) return "";
    if (fs::is_directory(dir / "loomwork" / "plugins", ec)) {
        return (dir / "loomwork" / "plugins").string();
    }
    // A build tree: the libraries in <build>/lib, the plug-ins in <build>/plugins.
    for (fs::path up = dir; !up.empty() && up != up.root_path(); up = up.parent_path()) {
        if (fs::is_directory(up / "plugins", ec)) return (up / "plugins").string();
    }
    return "";
}

const PluginLoader* PluginsNearCore(const char* who, std::string& error) noexcept {
    static std::once_flag once;
    static const PluginLoader* loader = nullptr;
    static std::string reason;
    try {
        std::call_once(once, [who] {
            try {
                const std::string near = PluginFolderNearLibrary(CoreLibraryPath());
                if (!near.empty()) SetDefaultPluginFolders({near});
                loader = &ProcessPlugins(who);
            } catch (const std::exception& e) {
                reason = e.what();
            }
        });
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
    if (!loader) error = reason.empty() ? "the plug-ins could not be loaded" : reason;
    return loader;
}

std::string CoreLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&CoreLibraryPath), &info) == 0 || !info.dli_fname) return "";
    return info.dli_fname;
}

}  // namespace loom

#include "app/core/loader/plugin_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "foundation/host/win32/resources.h"

namespace loom {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

template <class Fn>
Fn Symbol(void* handle, const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

}  // namespace

std::string Utf8FromCp1252(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c >= 0xA0) {  // Latin-1 range maps one to one
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += '?';
        }
    }
    return out;
}

std::string Utf8FromCp1252(const char* s) { return s ? Utf8FromCp1252(std::string(s)) : ""; }

PluginLoader::~PluginLoader() {
    for (auto it = plugins_.rbegin(); it != plugins_.rend(); ++it) Unload(*it);
}

void PluginLoader::Unload(LoadedPlugin& p) {
    for (ClassDesc* cd : p.classes) UnregisterClass(cd);
    if (p.entry) p.entry(p.instance, DLL_PROCESS_DETACH, nullptr);
    if (p.handle) dlclose(p.handle);
    p.handle = nullptr;
}

bool PluginLoader::Load(const std::string& path, std::string& error) {
    LoadedPlugin p;
    p.path = path;
    p.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!p.handle) {
        const char* why = dlerror();
        error = path + ": cannot load: " + (why ? why : "unknown reason");
        return false;
    }
    auto fail = [&](const std::string& why) {
        error = path + ": " + why;
        for (ClassDesc* cd : p.classes) UnregisterClass(cd);
        if (p.entry && p.instance) p.entry(p.instance, DLL_PROCESS_DETACH, nullptr);
        dlclose(p.handle);
        return false;
    };
    auto describe = Symbol<LibDescriptionProc>(p.handle, "LibDescription");
    auto number = Symbol<LibNumberClassesProc>(p.handle, "LibNumberClasses");
    auto classDesc = Symbol<LibClassDescProc>(p.handle, "LibClassDesc");
    auto version = Symbol<LibVersionProc>(p.handle, "LibVersion");
    p.entry = Symbol<DllMainProc>(p.handle, "DllMain");
    if (!describe || !number || !classDesc || !version || !p.entry) {
        p.entry = nullptr;  // never attached, so never detached
        return fail("not a plug-in (missing an entry point)");
    }
    p.instance = ModuleHandleForPath(path.c_str());
    if (!p.entry(p.instance, DLL_PROCESS_ATTACH, nullptr)) {
        p.entry = nullptr;
        return fail("its entry routine refused to load");
    }
    const TCHAR* desc = describe();
    p.description = desc ? desc : "";
    p.version = version();
    int n = number();
    if (n < 0 || n > 1000) return fail("implausible class count " + std::to_string(n));
    for (int i = 0; i < n; ++i) {
        ClassDesc* cd = classDesc(i);
        if (!cd) return fail("class descriptor " + std::to_string(i) + " is null");
        if (FindClass(cd->SuperClassID(), cd->ClassID()) || !RegisterClass(cd)) {
            return fail("class ID of '" + Utf8FromCp1252(cd->ClassName()) +
                        "' is already taken by another class");
        }
        p.classes.push_back(cd);
    }
    plugins_.push_back(std::move(p));
    return true;
}

int PluginLoader::LoadFolder(const std::string& folder, std::vector<std::string>& errors) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().extension() == ".so") files.push_back(entry.path().string());
    }
    if (ec) {
        errors.push_back(folder + ": " + ec.message());
        return 0;
    }
    std::sort(files.begin(), files.end());
    int loaded = 0;
    for (const std::string& f : files) {
        std::string err;
        if (Load(f, err)) {
            ++loaded;
        } else {
            errors.push_back(err);
        }
    }
    return loaded;
}

ClassDesc* PluginLoader::FindClassByName(const std::string& name) const {
    std::string want = Lower(name);
    for (const LoadedPlugin& p : plugins_) {
        for (ClassDesc* cd : p.classes) {
            std::string full = Lower(Utf8FromCp1252(cd->ClassName()));
            std::string file = Lower(std::filesystem::path(p.path).stem().string());
            if (full == want || file == want) return cd;
            // "Loomwork · Nimbra 1.0" also answers to "nimbra".
            if (full.find(" " + want + " ") != std::string::npos) return cd;
        }
    }
    return nullptr;
}

const char* InstalledPluginDir() {
#ifdef LOOM_PLUGIN_DIR_FROM_BIN
    return LOOM_PLUGIN_DIR_FROM_BIN;
#else
    return "../lib/loomwork/plugins";
#endif
}

PluginSearchEnv CurrentPluginSearchEnv() {
    PluginSearchEnv env;
    auto var = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    env.pluginsVar = var("LOOMHOST_PLUGINS");
    env.xdgDataHome = var("XDG_DATA_HOME");
    env.home = var("HOME");
    std::error_code ec;
    env.executable = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) env.executable.clear();
    return env;
}

std::string UserPluginFolder(const PluginSearchEnv& env) {
    namespace fs = std::filesystem;
    // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory rules say.
    if (!env.xdgDataHome.empty() && fs::path(env.xdgDataHome).is_absolute()) {
        return (fs::path(env.xdgDataHome) / "loomwork" / "plugins").string();
    }
    if (env.home.empty()) return "";
    return (fs::path(env.home) / ".local" / "share" / "loomwork" / "plugins").string();
}

std::vector<std::string> PluginFolders(const std::vector<std::string>& explicitFolders,
                                       const PluginSearchEnv& env) {
    namespace fs = std::filesystem;
    if (!explicitFolders.empty()) return explicitFolders;
    std::vector<std::string> found;
    // Folders the user names are kept even when missing, so that loading reports them.
    size_t pos = 0;
    while (pos <= env.pluginsVar.size()) {
        size_t next = env.pluginsVar.find(':', pos);
        if (next == std::string::npos) next = env.pluginsVar.size();
        if (next > pos) found.push_back(env.pluginsVar.substr(pos, next - pos));
        pos = next + 1;
    }
    std::error_code ec;
    if (std::string user = UserPluginFolder(env); !user.empty() && fs::is_directory(user, ec)) {
        found.push_back(user);
    }
    if (!env.ownFolders.empty()) {
        found.insert(found.end(), env.ownFolders.begin(), env.ownFolders.end());
    } else if (!env.executable.empty()) {
        const fs::path bin = env.executable.parent_path();
        if (fs::is_directory(bin / InstalledPluginDir(), ec)) {
            found.push_back((bin / InstalledPluginDir()).lexically_normal().string());
        } else {
            // A build tree: loomhost in <build>/bin, the plug-ins in <build>/plugins.
            for (fs::path dir = bin; !dir.empty() && dir != dir.root_path();
                 dir = dir.parent_path()) {
                if (fs::is_directory(dir / "plugins", ec)) {
                    found.push_back((dir / "plugins").string());
                    break;
                }
            }
        }
    }
    std::vector<std::string> out;
    std::vector<fs::path> seen;
    for (const std::string& f : found) {
        fs::path key = fs::weakly_canonical(f, ec);
        if (ec) key = fs::path(f).lexically_normal();
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        out.push_back(f);
    }
    return out;
}

std::vector<std::string> PluginFolders(const std::vector<std::string>& explicitFolders) {
    if (!explicitFolders.empty()) return explicitFolders;
    return PluginFolders(explicitFolders, CurrentPluginSearchEnv());
}

}  // namespace loom

#pragma once
/// Finds plug-in libraries, loads them through their entry points and registers their
/// classes with the host. A library that is missing an entry point, refuses its entry
/// routine, answers a null descriptor or repeats a class ID is reported, closed and
/// skipped.

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/plugin_api.h"

namespace loom {

struct LoadedPlugin {
    std::string path;
    std::string description;
    ULONG version = 0;
    void* handle = nullptr;
    HINSTANCE instance = nullptr;
    DllMainProc entry = nullptr;
    std::vector<ClassDesc*> classes;
};

class PluginLoader {
  public:
    PluginLoader() = default;
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;
    /// Unregisters the classes, sends process detach and closes every library.
    ~PluginLoader();

    /// Loads one library; false with `error` ("FILE: reason") when it is skipped.
    bool Load(const std::string& path, std::string& error);
    /// Loads every *.so in `folder`; reasons for skipped files are appended to `errors`.
    int LoadFolder(const std::string& folder, std::vector<std::string>& errors);

    const std::vector<LoadedPlugin>& Plugins() const { return plugins_; }
    /// The class whose descriptor name or internal name matches `name` (case-insensitive,
    /// also a bare short name such as "nimbra"), or null.
    ClassDesc* FindClassByName(const std::string& name) const;

  private:
    void Unload(LoadedPlugin& p);
    std::vector<LoadedPlugin> plugins_;
};

/// What the plug-in search reads from the process: the environment and the program's path.
struct PluginSearchEnv {
    std::string pluginsVar;            ///< $LOOMHOST_PLUGINS, ':'-separated
    std::string xdgDataHome;           ///< $XDG_DATA_HOME; ignored unless absolute
    std::string home;                  ///< $HOME
    std::filesystem::path executable;  ///< the running program; empty when unknown
    /// The front-end's own plug-in folders, searched last in place of the program's (a
    /// Python package's, whose process is the interpreter); empty for a program.
    std::vector<std::string> ownFolders;
};

/// The search environment of this process (/proc/self/exe for the program).
PluginSearchEnv CurrentPluginSearchEnv();

/// The user's plug-in folder: $XDG_DATA_HOME/loomwork/plugins, else
/// $HOME/.local/share/loomwork/plugins; empty when neither is known.
std::string UserPluginFolder(const PluginSearchEnv& env);

/// The folders to search, in order: `explicitFolders` alone if any; otherwise every folder
/// of $LOOMHOST_PLUGINS, then the user's plug-in folder when it exists, then the front-end's
/// own (`env.ownFolders` when given, else the program's): the installed folder relative to the
/// program (InstalledPluginDir()) or, in a build tree, the nearest `plugins` folder above it. A
/// folder named twice is searched once; a class ID found again in a later folder is reported and
/// skipped by the loader.
std::vector<std::string> PluginFolders(const std::vector<std::string>& explicitFolders,
                                       const PluginSearchEnv& env);
/// The same with this process's environment.
std::vector<std::string> PluginFolders(const std::vector<std::string>& explicitFolders);

/// The installed plug-in folder relative to the program's folder ("../lib/loomwork/plugins"
/// unless the build chose another library folder).
const char* InstalledPluginDir();

/// Printable UTF-8 form of a Windows-1252 string (class names carry 0xB7).
std::string Utf8FromCp1252(const std::string& s);
/// The same for a text a plug-in answers, copied at once; null gives an empty string.
std::string Utf8FromCp1252(const char* s);

}  // namespace loom

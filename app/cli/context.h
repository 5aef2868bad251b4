#pragma once
/// What every command shares: the plug-in folders and the loaded plug-ins.

#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"

namespace loom {

struct AppContext {
    std::vector<std::string> pluginFolders;  ///< from --plugins
    std::vector<std::string> commandLine;    ///< the arguments, program name first
    PluginLoader loader;
    bool loaded = false;
    /// Loads the plug-ins once; problems with single libraries are warnings on stderr.
    void LoadPlugins();
};

}  // namespace loom

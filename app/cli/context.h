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
    bool quiet = false;  ///< --quiet: no notes
    /// Prints a note ("render 0/4: frames 0-9") on stderr unless --quiet; printf's format.
    [[gnu::format(printf, 2, 3)]] void Note(const char* format, ...) const;
    /// Loads the plug-ins once; problems with single libraries are warnings on stderr.
    void LoadPlugins();
};

}  // namespace loom

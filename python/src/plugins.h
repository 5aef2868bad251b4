#pragma once
/// The plug-ins of the Python process: the core's process-wide set (process_plugins.h),
/// loaded once, on first use, and guarded by its model lock.

#include <string>
#include <vector>

#include "app/core/loader/process_plugins.h"

namespace loomwork {

using loom::ModelLock;
using loom::SetDefaultPluginFolders;

/// Loads the plug-ins (loom::LoadProcessPlugins).
inline std::vector<std::string> LoadPlugins(const std::vector<std::string>& folders) {
    return loom::LoadProcessPlugins(folders);
}

/// The loaded plug-ins, loading them from the default folders first if need be.
inline const loom::PluginLoader& Plugins() { return loom::ProcessPlugins("loomwork"); }

/// The folders the plug-ins were loaded from (empty before loading).
inline std::vector<std::string> PluginFoldersLoaded() { return loom::ProcessPluginFolders(); }

}  // namespace loomwork

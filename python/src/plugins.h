#pragma once
/// The plug-ins of the Python process: loaded once, on first use, and kept loaded until the
/// process ends (textures Python still holds at exit must find their code). One lock
/// guards the host's object model, which belongs to one thread at a time.

#include <mutex>
#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"

namespace loomwork {

/// Folders searched when LOOMHOST_PLUGINS is not set (the package's own plug-in folder).
void SetDefaultPluginFolders(const std::vector<std::string>& folders);

/// Loads the plug-ins from `folders` (empty: LOOMHOST_PLUGINS, else the default folders)
/// unless they are loaded already. Returns the reasons libraries were skipped. Throws
/// std::runtime_error when no folder is known, or when the plug-ins were loaded from other
/// folders before.
std::vector<std::string> LoadPlugins(const std::vector<std::string>& folders);

/// The loaded plug-ins, loading them from the default folders first if need be.
const loom::PluginLoader& Plugins();

/// The folders the plug-ins were loaded from (empty before loading).
std::vector<std::string> PluginFoldersLoaded();

/// Held by anything that creates, changes, renders or deletes host objects. Recursive, so
/// that a model call may make another.
std::recursive_mutex& ModelLock();

}  // namespace loomwork

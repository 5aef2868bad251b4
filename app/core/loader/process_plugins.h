#pragma once
/// The plug-ins of a process that is not loomhost (Python, an image editor, a video
/// editor): loaded once, on first use, and kept loaded until the process ends (textures
/// still held at exit must find their code). One lock guards the host's object model,
/// which belongs to one thread at a time. A process holds one such set: the class registry
/// it fills is the host runtime's, shared by everything in the process.

#include <mutex>
#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"

namespace loom {

/// The front-end's own plug-in folders, searched last in place of the program's
/// (PluginSearchEnv::ownFolders).
void SetDefaultPluginFolders(const std::vector<std::string>& folders);

/// Loads the plug-ins from `folders` (empty: the program's search with the front-end's own
/// folders)
/// unless they are loaded already. Returns the reasons libraries were skipped. Throws
/// std::runtime_error when no folder is known, or when the plug-ins were loaded from other
/// folders before.
std::vector<std::string> LoadProcessPlugins(const std::vector<std::string>& folders);

/// The loaded plug-ins, loading them from the default folders first if need be (skipped
/// libraries are reported on stderr, prefixed with `who`).
const PluginLoader& ProcessPlugins(const char* who = "loomwork");

/// The folders the plug-ins were loaded from (empty before loading).
std::vector<std::string> ProcessPluginFolders();

/// Held by anything that creates, changes, renders or deletes host objects. Recursive, so
/// that a model call may make another.
std::recursive_mutex& ModelLock();

/// The plug-in folder of an installed library of this project that sits in the library
/// folder (LIBDIR/loomwork/plugins beside it), or in a build tree the nearest `plugins`
/// folder above it; empty when neither exists.
std::string PluginFolderNearLibrary(const std::string& libraryPath);

/// For plug-ins of other programs: the process's plug-ins, loaded on the first call from
/// LOOMHOST_PLUGINS, else the folder near the core's library (PluginFolderNearLibrary);
/// null when they cannot be loaded, the reason in `error` (the same on every later call).
/// Never throws. Libraries skipped on loading are reported on stderr after `who`.
const PluginLoader* PluginsNearCore(const char* who, std::string& error) noexcept;

/// The file of the library or program this core is part of (the shared core for the
/// plug-ins of other programs), or empty when it cannot be told.
std::string CoreLibraryPath();

}  // namespace loom

#pragma once
/// Loading a scene file for a command or the editor, with what the user must be told:
/// that older data was converted, and which image maps are missing.

#include <string>
#include <vector>

#include "foundation/host/sdk/scene_io.h"

namespace loom {

/// The lines to tell the user after `file` loaded with `report`: "FILE: note: ..." for
/// converted older data, then "FILE: warning: ..." for each warning. Empty when all is well.
std::vector<std::string> SceneLoadNotes(const std::string& file, const SceneLoadReport& report);

/// Loads `file` into `scene` (empty); throws std::runtime_error naming the file for any
/// failure, running out of memory and the standard library's exceptions included.
/// Prints each note to stderr prefixed "loomhost: ". Answers what the load reported.
SceneLoadReport LoadSceneForCommand(const std::string& file, SceneHolder& scene);

}  // namespace loom

#pragma once
/// The text the command line (and scene files' commands, and Python's string values)
/// writes settings in, read into the model's typed values: `--set NAME=VALUE` (NAME may be
/// "Slot.NAME" to reach into a sub-map; VALUE a number, "R,G,B", "map:CLASS",
/// "image:FILE" or "none") and `--key NAME@FRAME=VALUE` (30 frames a second).

#include <string>

#include "app/core/model/texture_setup.h"

namespace loom {

/// Reads `text` as a value for a row of `type`: "R,G,B" for colour rows, a number
/// otherwise. Throws std::runtime_error naming `what` and the text when it is not one; the
/// model (RowValue) checks the rest.
ModelValue ParseSetting(ParamType type, const std::string& text, const std::string& what);

/// Applies "NAME=VALUE" at time t (SetParam, SetMap). Throws std::runtime_error on any
/// mistake, before changing anything, in the command line's words.
void ApplySet(const PluginLoader& loader, Texmap* tex, const std::string& text, TimeValue t);
/// Applies "NAME@FRAME=VALUE": a key at that frame (SetKey).
void ApplyKey(const PluginLoader& loader, Texmap* tex, const std::string& text);

}  // namespace loom

#pragma once
/// The command-line options that say which texture a command works on.

#include "app/cli/texture_source.h"

namespace CLI {
class App;
}

namespace loom {

/// Adds --scene, --entry, --preset, --set and --key to a command; they fill `opt`, which
/// must outlive the parsing.
void AddTextureSourceOptions(CLI::App& cmd, TextureSourceOptions& opt);

}  // namespace loom

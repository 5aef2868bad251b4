#include "app/cli/texture_options.h"

#include <CLI/CLI.hpp>

namespace loom {

void AddTextureSourceOptions(CLI::App& cmd, TextureSourceOptions& opt) {
    cmd.add_option("--scene", opt.scene, "Take the texture from this scene file");
    cmd.add_option("--entry", opt.entry, "Scene entry to use (default: the first)");
    cmd.add_option("--preset", opt.presets,
                   "Click this preset (or palette, or mutation) button of the texture's panel "
                   "before the --set values")
        ->allow_extra_args(false);
    cmd.add_option("--set", opt.sets,
                   "Set a parameter: NAME=VALUE (colour R,G,B; Slot.NAME for a "
                   "sub-map's parameter; Slot=map:CLASS, Slot=image:FILE or Slot=none)")
        ->allow_extra_args(false);
    cmd.add_option("--key", opt.keys, "Add a key: NAME@FRAME=VALUE (30 frames per second)")
        ->allow_extra_args(false);
    cmd.add_option("--seed", opt.seed,
                   "Another pattern of the same kind: the seed of the texture and its sub-maps "
                   "(0..2147483647; 0, the default seed, gives the built-in noise tables and "
                   "draws; lumidot has nothing random). Default: the scene's, else 0");
}

}  // namespace loom

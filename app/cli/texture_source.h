#pragma once
/// The texture a command works on: a new one of a class, or an entry of a scene file,
/// with preset clicks, values and keys applied (the command line's --preset, --set and
/// --key; see app/cli/texture_options.h). The texture is held as a scene root, so it lives
/// until the source goes.

#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/scene_io.h"

namespace loom {

struct TextureSourceOptions {
    std::string scene;                 ///< scene file, or empty
    std::string entry;                 ///< scene entry name (default: the first)
    std::vector<std::string> presets;  ///< buttons clicked in the texture's panel first
    std::vector<std::string> sets;
    std::vector<std::string> keys;
    double setTime = 0.0;  ///< frame at which --set values are set
    /// --seed: the seed of the texture and its sub-maps (empty: as made or saved).
    std::string seed;
};

class TextureSource {
  public:
    /// `className` is ignored when a scene is named; `loader` holds the plug-ins, already
    /// loaded. Throws std::runtime_error.
    TextureSource(const PluginLoader& loader, const std::string& className,
                  const TextureSourceOptions& opt);
    Texmap* Texture() const { return tex_; }
    const std::string& Label() const { return label_; }
    /// The files the texture was made from: the scene file and every image map's file, at
    /// any depth of sub-maps (outputs must not replace them).
    std::vector<std::string> InputFiles() const;
    SceneHolder& Scene() { return holder_; }

  private:
    SceneHolder holder_;
    Texmap* tex_ = nullptr;
    std::string label_;
    std::string scene_;
};

/// Finds a texture entry of a loaded scene; throws when there is none of that name.
Texmap* SceneTexture(SceneHolder& scene, const std::string& entry, std::string* label = nullptr);

}  // namespace loom

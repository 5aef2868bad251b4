#include "app/cli/texture_source.h"

#include <CLI/CLI.hpp>
#include <new>
#include <stdexcept>

#include "app/cli/panel_session.h"
#include "app/cli/texture_setup.h"
#include "app/scene/scene_load.h"

namespace loom {

void TextureSourceOptions::AddOptions(CLI::App& cmd) {
    cmd.add_option("--scene", scene, "Take the texture from this scene file");
    cmd.add_option("--entry", entry, "Scene entry to use (default: the first)");
    cmd.add_option("--preset", presets,
                   "Click this preset (or palette, or mutation) button of the texture's panel "
                   "before the --set values")
        ->allow_extra_args(false);
    cmd.add_option("--set", sets,
                   "Set a parameter: NAME=VALUE (colour R,G,B; Slot.NAME for a "
                   "sub-map's parameter; Slot=map:CLASS, Slot=image:FILE or Slot=none)")
        ->allow_extra_args(false);
    cmd.add_option("--key", keys, "Add a key: NAME@FRAME=VALUE (30 frames per second)")
        ->allow_extra_args(false);
}

Texmap* SceneTexture(SceneHolder& scene, const std::string& entry, std::string* label) {
    for (int i = 0; i < scene.Count(); ++i) {
        if (!entry.empty() && scene.Name(i) != entry) continue;
        if (auto* tex = dynamic_cast<Texmap*>(scene.Object(i))) {
            if (label) *label = scene.Name(i);
            return tex;
        }
    }
    throw std::runtime_error(entry.empty() ? "the scene holds no texture"
                                           : "the scene has no texture entry '" + entry + "'");
}

TextureSource::TextureSource(AppContext& ctx, const std::string& className,
                             const TextureSourceOptions& opt) {
    ctx.LoadPlugins();
    if (!opt.scene.empty()) {
        LoadSceneForCommand(opt.scene, holder_);
        tex_ = SceneTexture(holder_, opt.entry, &label_);
    } else {
        if (className.empty()) throw std::runtime_error("name a texture class or --scene FILE");
        tex_ = CreateTexture(ctx.loader, className);
        holder_.Add(className, tex_);
        label_ = className;
    }
    if (!opt.presets.empty()) {
        PanelSession panel(tex_);
        for (const std::string& p : opt.presets) panel.Click(p);
    }
    TimeValue t = FramesToTicks(opt.setTime);
    for (const std::string& s : opt.sets) ApplySet(ctx.loader, tex_, s, t);
    for (const std::string& k : opt.keys) ApplyKey(ctx.loader, tex_, k);
}

}  // namespace loom

#include "app/cli/texture_source.h"

#include <new>
#include <stdexcept>

#include "app/cli/setting_text.h"
#include "app/core/model/panel_session.h"
#include "app/core/model/scene_load.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/texmap_variation.h"
#include "foundation/host/stdmaps/bitmap_tex.h"

namespace loom {
namespace {

void AddImageFiles(Texmap* tex, std::vector<std::string>& files, int depth) {
    if (!tex || depth > 64) return;  // sub-maps never loop; the bound only guards
    if (auto* bitmap = dynamic_cast<BitmapTex*>(tex); bitmap && !bitmap->FileName().empty()) {
        files.push_back(bitmap->FileName());
    }
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) {
        AddImageFiles(tex->GetSubTexmap(i), files, depth + 1);
    }
}

}  // namespace

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

TextureSource::TextureSource(const PluginLoader& loader, const std::string& className,
                             const TextureSourceOptions& opt) {
    if (!opt.scene.empty()) {
        LoadSceneForCommand(opt.scene, holder_);
        tex_ = SceneTexture(holder_, opt.entry, &label_);
    } else {
        if (className.empty()) throw std::runtime_error("name a texture class or --scene FILE");
        tex_ = CreateTexture(loader, className);
        holder_.Add(className, tex_);
        label_ = className;
    }
    if (!opt.presets.empty()) {
        PanelSession panel(tex_);
        for (const std::string& p : opt.presets) panel.Click(p);
    }
    TimeValue t = FramesToTicks(opt.setTime);
    for (const std::string& s : opt.sets) ApplySet(loader, tex_, s, t);
    for (const std::string& k : opt.keys) ApplyKey(loader, tex_, k);
    if (!opt.seed.empty() && !SetTreeSeed(tex_, ParseSeed(opt.seed, "--seed"))) {
        throw std::runtime_error("--seed " + opt.seed + ": no memory for its noise tables");
    }
    scene_ = opt.scene;
}

std::vector<std::string> TextureSource::InputFiles() const {
    std::vector<std::string> files;
    if (!scene_.empty()) files.push_back(scene_);
    AddImageFiles(tex_, files, 0);
    return files;
}

}  // namespace loom

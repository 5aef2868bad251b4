// Writes the scene fuzz target's seeds: PATH itself (a parameter block with keys and a UV
// generator) and, beside it as PATH's stem plus "-NAME.loom", a scene of every texture of
// the build's list with its values changed and keys set, each texture nested in the one
// before with an image map at the bottom, stereo filter entries, and copies of the
// older-version scene files kept in tests/data/scenes (one per older parameter layout).
// The plug-ins are loaded from the build's plugins folder (or $LOOMHOST_PLUGINS).
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/filters.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/uvgen.h"
#include "foundation/host/stdmaps/bitmap_tex.h"

namespace {

/// The texture plug-ins of the build's list, in its order.
std::vector<std::string> TextureNames() {
    std::vector<std::string> names;
    std::string list = LOOM_TEXTURE_NAMES;
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

/// Gives every row a value of its own and animatable rows a second key.
void Vary(IParamBlock* pb, int salt) {
    for (int i = 0; i < pb->NumParams(); ++i) {
        ParamValue v;
        switch (pb->GetParameterType(i)) {
            case TYPE_INT:
                v = ParamValue::Int((i + salt) % 3);
                break;
            case TYPE_FLOAT:
                v.v[0] = 0.25f * static_cast<float>(i + salt);
                break;
            case TYPE_RGBA:
                v = ParamValue{{0.1f * static_cast<float>(i % 10), 0.5f, 0.9f}};
                break;
        }
        pb->SetConstant(i, v);
        if (pb->IsAnimatable(i) && i % 2 == 0) {
            pb->SetKey(i, 0, v);
            pb->SetKey(i, 4800, v.i ? ParamValue::Int(v.i + 1) : ParamValue{{v.v[0] + 1.0f}});
        }
    }
}

/// A fresh texture of `name`; throws when its plug-in is missing.
Texmap* Make(const loom::PluginLoader& loader, const std::string& name) {
    Texmap* tex = loom::CreateTexture(loader, name);
    if (!loom::ParamBlockOf(tex)) throw std::runtime_error(name + ": has no parameter block");
    return tex;
}

struct Seeds {
    std::filesystem::path first;
    int written = 0;
    bool Write(const std::string& name, const loom::SceneHolder& scene) {
        std::filesystem::path path =
            written == 0 ? first
                         : first.parent_path() / (first.stem().string() + "-" + name + ".loom");
        std::string err;
        if (!loom::SaveSceneFile(path.string(), scene, err)) {
            std::fprintf(stderr, "make_scene_seed: %s\n", err.c_str());
            return false;
        }
        ++written;
        return true;
    }
};

bool WriteAll(Seeds& seeds, const loom::PluginLoader& loader) {
    {
        const ParamBlockDescID rows[] = {{TYPE_FLOAT, nullptr, TRUE, 0},
                                         {TYPE_RGBA, nullptr, TRUE, 1},
                                         {TYPE_INT, nullptr, FALSE, 2}};
        loom::SceneHolder scene;
        IParamBlock* pb = CreateParameterBlock(rows, 3, 3);
        pb->SetKey(0, 0, ParamValue{{1, 0, 0}});
        pb->SetKey(0, 160, ParamValue{{2, 0, 0}});
        pb->SetValue(2, 0, 16777217);
        scene.Add("block", pb);
        scene.Add("uv", GetNewDefaultUVGen());
        if (!seeds.Write("block", scene)) return false;
    }
    const std::vector<std::string> textures = TextureNames();
    if (textures.empty()) throw std::runtime_error("the build lists no texture plug-in");
    int salt = 0;
    for (const std::string& name : textures) {
        loom::SceneHolder scene;
        Texmap* tex = Make(loader, name);
        scene.Add(name, tex);
        Vary(loom::ParamBlockOf(tex), ++salt);
        if (!seeds.Write(name, scene)) return false;
    }
    {
        // Maps in maps: each texture's first slot holds the next texture, the last an image.
        loom::SceneHolder scene;
        Texmap* top = Make(loader, textures[0]);
        scene.Add("nested", top);
        Texmap* at = top;
        for (size_t i = 1; i < textures.size(); ++i) {
            Texmap* sub = Make(loader, textures[i]);
            at->SetSubTexmap(0, sub);
            if (at->NumSubTexmaps() > 1) at->SetSubTexmap(1, Make(loader, textures[i]));
            at = sub;
        }
        at->SetSubTexmap(0, new loom::BitmapTex());
        scene.Add("shared", at);  // a second root on an object the first reaches
        if (!seeds.Write("nested", scene)) return false;
    }
    {
        // Stereo filter entries: the stored configuration and a changed one.
        ClassDesc* cd = loader.FindClassByName("dioptrix");
        if (!cd) throw std::runtime_error("dioptrix: plug-in not found");
        std::string err;
        std::unique_ptr<ImageFilter> filter(loom::CreateImageFilter(cd, err));
        std::vector<std::uint8_t> bytes;
        if (!filter || !loom::SaveFilterConfiguration(*filter, bytes, err)) {
            throw std::runtime_error("dioptrix: " + err);
        }
        loom::SceneHolder scene;
        scene.Add("texture", Make(loader, "nimbra"));
        scene.SetFilter({"stereo", cd->SuperClassID(), cd->ClassID(), bytes});
        if (!bytes.empty()) bytes[0] ^= 1;
        scene.SetFilter({"stereo 2", cd->SuperClassID(), cd->ClassID(), bytes});
        if (!seeds.Write("filters", scene)) return false;
    }
    // Older versions' files, as they were saved.
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(LOOM_SCENE_FIXTURES)) return true;
    for (const auto& e : fs::directory_iterator(LOOM_SCENE_FIXTURES, ec)) {
        if (e.path().extension() != ".loom") continue;
        fs::path to = seeds.first.parent_path() /
                      (seeds.first.stem().string() + "-" + e.path().filename().string());
        fs::copy_file(e.path(), to, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "make_scene_seed: %s: %s\n", to.c_str(), ec.message().c_str());
            return false;
        }
    }
    if (ec) {
        std::fprintf(stderr, "make_scene_seed: %s: %s\n", LOOM_SCENE_FIXTURES,
                     ec.message().c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_scene_seed PATH\n");
        return 2;
    }
    try {
        loom::PluginLoader loader;
        std::vector<std::string> errors;
        for (const std::string& folder : loom::PluginFolders({})) loader.LoadFolder(folder, errors);
        for (const std::string& e : errors)
            std::fprintf(stderr, "make_scene_seed: %s\n", e.c_str());
        Seeds seeds{argv[1]};
        return WriteAll(seeds, loader) ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_scene_seed: %s\n", e.what());
        return 1;
    }
}

// loomhost scene: create, extend, change and show scene files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/cli/commands.h"
#include "app/cli/setting_text.h"
#include "app/cli/texture_source.h"
#include "app/core/model/scene_load.h"
#include "app/core/model/texture_setup.h"
#include "app/core/scene/scene_print.h"
#include "foundation/host/sdk/filters.h"
#include "foundation/host/sdk/texmap_variation.h"

namespace loom {
namespace {

struct SceneOptions {
    std::string file;
    std::string className;
    std::string entry;
    bool force = false;
    std::vector<std::string> sets;
    std::vector<std::string> keys;
    std::string seed;
};

void Load(const std::string& file, SceneHolder& scene) { LoadSceneForCommand(file, scene); }

void Save(const std::string& file, SceneHolder& scene, bool force) {
    std::string err;
    if (!SaveSceneFile(file, scene, err, SaveOptions{force, nullptr})) {
        throw std::runtime_error(err);
    }
}

void Apply(AppContext& ctx, Texmap* tex, const SceneOptions& opt) {
    for (const std::string& s : opt.sets) ApplySet(ctx.loader, tex, s, 0);
    for (const std::string& k : opt.keys) ApplyKey(ctx.loader, tex, k);
    if (!opt.seed.empty() && !SetTreeSeed(tex, ParseSeed(opt.seed, "--seed"))) {
        throw std::runtime_error("--seed " + opt.seed + ": no memory for its noise tables");
    }
}

void AddTexture(AppContext& ctx, SceneHolder& scene, const SceneOptions& opt) {
    std::string name = opt.entry.empty() ? opt.className : opt.entry;
    if (scene.Find(name) >= 0) {
        throw std::runtime_error("the scene already has an entry '" + name + "' (use --entry)");
    }
    Texmap* tex = CreateTexture(ctx.loader, opt.className);
    scene.Add(name, tex);
    Apply(ctx, tex, opt);
}

void AddEditOptions(CLI::App* cmd, SceneOptions& opt) {
    cmd->add_option("--set", opt.sets, "Set a parameter: NAME=VALUE")->allow_extra_args(false);
    cmd->add_option("--key", opt.keys, "Add a key: NAME@FRAME=VALUE")->allow_extra_args(false);
    cmd->add_option("--seed", opt.seed,
                    "The seed of the texture and its sub-maps, saved with it (0..2147483647; "
                    "0 is the default seed)");
}

}  // namespace

void AddSceneCommand(CLI::App& app, AppContext& ctx) {
    CLI::App* scene = app.add_subcommand("scene", "Create, change and show scene files");
    scene->require_subcommand(1);

    auto nopt = std::make_shared<SceneOptions>();
    CLI::App* make = scene->add_subcommand("new", "Write a new scene holding one texture");
    make->add_option("FILE", nopt->file, "Scene file")->required();
    make->add_option("CLASS", nopt->className, "Texture class")->required();
    make->add_option("--entry", nopt->entry, "Entry name (default: the class name)");
    make->add_flag("--force", nopt->force, "Replace an existing file, even a read-only one");
    AddEditOptions(make, *nopt);
    make->callback([&ctx, nopt] {
        if (!nopt->force && std::filesystem::exists(nopt->file)) {
            throw std::runtime_error(nopt->file + ": exists (use --force to replace it)");
        }
        ctx.LoadPlugins();
        SceneHolder holder;
        AddTexture(ctx, holder, *nopt);
        Save(nopt->file, holder, nopt->force);
    });

    auto aopt = std::make_shared<SceneOptions>();
    CLI::App* add = scene->add_subcommand("add", "Add a texture to a scene file");
    add->add_option("FILE", aopt->file, "Scene file")->required();
    add->add_option("CLASS", aopt->className, "Texture class")->required();
    add->add_option("--entry", aopt->entry, "Entry name (default: the class name)");
    add->add_flag("--force", aopt->force, "Replace the file even if it is read-only");
    AddEditOptions(add, *aopt);
    add->callback([&ctx, aopt] {
        ctx.LoadPlugins();
        SceneHolder holder;
        Load(aopt->file, holder);
        AddTexture(ctx, holder, *aopt);
        Save(aopt->file, holder, aopt->force);
    });

    auto sopt = std::make_shared<SceneOptions>();
    CLI::App* set = scene->add_subcommand("set", "Change a texture of a scene file");
    set->add_option("FILE", sopt->file, "Scene file")->required();
    set->add_option("--entry", sopt->entry, "Entry to change (default: the first texture)");
    set->add_flag("--force", sopt->force, "Replace the file even if it is read-only");
    AddEditOptions(set, *sopt);
    set->callback([&ctx, sopt] {
        ctx.LoadPlugins();
        SceneHolder holder;
        Load(sopt->file, holder);
        Apply(ctx, SceneTexture(holder, sopt->entry), *sopt);
        Save(sopt->file, holder, sopt->force);
    });

    auto shopt = std::make_shared<SceneOptions>();
    CLI::App* show = scene->add_subcommand("show", "Print what a scene file holds");
    show->add_option("FILE", shopt->file, "Scene file")->required();
    show->callback([&ctx, shopt] {
        ctx.LoadPlugins();
        SceneHolder holder;
        const SceneLoadReport report = LoadSceneForCommand(shopt->file, holder);
        std::printf("scene format version %u\n", static_cast<unsigned>(report.formatVersion));
        ClassDesc* stereo = ctx.loader.FindClassByName("dioptrix");
        if (stereo && stereo->SuperClassID() != IMAGE_FILTER_CLASS_ID) stereo = nullptr;
        std::fputs(DescribeScene(holder, stereo).c_str(), stdout);
    });
}

}  // namespace loom

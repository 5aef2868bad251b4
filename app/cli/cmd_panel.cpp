// loomhost panel: a texture's parameter panel, acted on and listed.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "app/cli/commands.h"
#include "app/cli/panel_session.h"
#include "app/cli/texture_source.h"

namespace loom {
namespace {

struct PanelOptions {
    std::string className;
    std::vector<std::string> clicks;
    std::vector<std::string> spins;
    TextureSourceOptions source;
    std::string saveScene;
    bool force = false;
};

}  // namespace

void AddPanelCommand(CLI::App& app, AppContext& ctx) {
    auto opt = std::make_shared<PanelOptions>();
    CLI::App* cmd = app.add_subcommand(
        "panel", "Open a texture's panel, click and spin its controls in order, list them");
    cmd->add_option("CLASS", opt->className, "Texture class (omit with --scene)");
    CLI::Option* click =
        cmd->add_option("--click", opt->clicks, "Click the control with this text or ID")
            ->allow_extra_args(false);
    CLI::Option* spin =
        cmd->add_option("--spin", opt->spins, "Type a value into a spinner: ID=VALUE")
            ->allow_extra_args(false);
    cmd->add_option("--save-scene", opt->saveScene, "Write the texture to a scene file after");
    cmd->add_flag("--force", opt->force, "Replace a --save-scene file that is read-only");
    opt->source.AddOptions(*cmd);
    cmd->callback([&ctx, opt, cmd, click, spin] {
        TextureSource src(ctx, opt->className, opt->source);
        PanelSession session(src.Texture());
        // Actions run in the order they were given on the command line.
        size_t nextClick = 0, nextSpin = 0;
        for (CLI::Option* o : cmd->parse_order()) {
            if (o == click) session.Click(opt->clicks[nextClick++]);
            if (o == spin) session.Spin(opt->spins[nextSpin++]);
        }
        std::fputs(session.Describe().c_str(), stdout);
        if (!opt->saveScene.empty()) {
            std::string err;
            if (!SaveSceneFile(opt->saveScene, src.Scene(), err,
                               SaveOptions{opt->force, nullptr})) {
                throw std::runtime_error(err);
            }
        }
    });
}

}  // namespace loom

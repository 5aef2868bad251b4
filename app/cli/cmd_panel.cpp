// loomhost panel: a texture's parameter panel, acted on and listed.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "app/cli/commands.h"
#include "app/cli/texture_options.h"
#include "app/cli/texture_source.h"
#include "app/core/model/panel_session.h"

namespace loom {
namespace {

struct PanelOptions {
    std::string className;
    std::vector<std::string> clicks;
    std::vector<std::string> spins;
    std::vector<std::string> slides;
    std::vector<std::string> colors;
    TextureSourceOptions source;
    std::string saveScene;
    bool force = false;
};

}  // namespace

void AddPanelCommand(CLI::App& app, AppContext& ctx) {
    auto opt = std::make_shared<PanelOptions>();
    CLI::App* cmd = app.add_subcommand(
        "panel", "Open a texture's panel, act on its controls in the order given, list them");
    cmd->add_option("CLASS", opt->className, "Texture class (omit with --scene)");
    CLI::Option* click =
        cmd->add_option("--click", opt->clicks,
                        "Click the control with this text or ID (a text several controls show "
                        "is refused, with their IDs)")
            ->allow_extra_args(false);
    CLI::Option* spin =
        cmd->add_option("--spin", opt->spins, "Type a value into a spinner: ID=VALUE")
            ->allow_extra_args(false);
    CLI::Option* slide =
        cmd->add_option("--slide", opt->slides, "Drag a slider to a position: ID=POSITION")
            ->allow_extra_args(false);
    CLI::Option* color =
        cmd->add_option("--color", opt->colors,
                        "Pick a colour in a colour swatch's picker: ID=R,G,B (0..255 each)")
            ->allow_extra_args(false);
    cmd->add_option("--save-scene", opt->saveScene, "Write the texture to a scene file after");
    cmd->add_flag("--force", opt->force, "Replace a --save-scene file that is read-only");
    AddTextureSourceOptions(*cmd, opt->source);
    cmd->callback([&ctx, opt, cmd, click, spin, slide, color] {
        ctx.LoadPlugins();
        TextureSource src(ctx.loader, opt->className, opt->source);
        PanelSession session(src.Texture());
        // Actions run in the order they were given on the command line.
        size_t nextClick = 0, nextSpin = 0, nextSlide = 0, nextColor = 0;
        for (CLI::Option* o : cmd->parse_order()) {
            if (o == click) session.Click(opt->clicks[nextClick++]);
            if (o == spin) session.Spin(opt->spins[nextSpin++]);
            if (o == slide) session.Slide(opt->slides[nextSlide++]);
            if (o == color) session.Color(opt->colors[nextColor++]);
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

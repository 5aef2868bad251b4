// loomhost: loads the plug-ins and puts them to work from the command line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "app/cli/commands.h"

int main(int argc, char** argv) {
    loom::AppContext ctx;
    CLI::App app{"loomhost: renders the Loomwork textures and runs the stereo filter"};
    app.require_subcommand(1);
    app.add_option("--plugins", ctx.pluginFolders,
                   "Folder of plug-in libraries (repeatable; default $LOOMHOST_PLUGINS or the "
                   "build's plugins folder)");
    loom::AddListCommand(app, ctx);
    loom::AddParamsCommand(app, ctx);
    loom::AddEvalCommand(app, ctx);
    loom::AddRenderCommand(app, ctx);
    loom::AddViewportCommand(app, ctx);
    loom::AddSceneCommand(app, ctx);
    loom::AddPanelCommand(app, ctx);
    loom::AddAnaglyphCommand(app, ctx);
    loom::AddCalibrateCommand(app, ctx);
    loom::AddEditCommand(app, ctx);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "loomhost: error: %s\n", e.what());
        return 1;
    }
    return 0;
}

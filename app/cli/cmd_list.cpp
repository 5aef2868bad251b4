// loomhost list: the plug-ins found and their classes.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "app/cli/commands.h"

namespace loom {

void AddListCommand(CLI::App& app, AppContext& ctx) {
    CLI::App* cmd = app.add_subcommand("list", "List the plug-ins found and their classes");
    cmd->callback([&ctx] {
        ctx.LoadPlugins();
        for (const LoadedPlugin& p : ctx.loader.Plugins()) {
            std::printf("%s\n  description: %s\n  version: %u\n", p.path.c_str(),
                        Utf8FromCp1252(p.description).c_str(), p.version);
            for (ClassDesc* cd : p.classes) {
                std::printf("  class: %s  id: 0x%08X,0x%08X  super: 0x%04X  category: %s\n",
                            Utf8FromCp1252(cd->ClassName()).c_str(), cd->ClassID().PartA(),
                            cd->ClassID().PartB(), cd->SuperClassID(),
                            Utf8FromCp1252(cd->Category()).c_str());
            }
        }
    });
}

}  // namespace loom

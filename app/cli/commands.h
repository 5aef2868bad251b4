#pragma once
/// Each command adds itself to the command line here.

#include "app/cli/context.h"

namespace CLI {
class App;
}

namespace loom {

void AddListCommand(CLI::App& app, AppContext& ctx);
void AddParamsCommand(CLI::App& app, AppContext& ctx);
void AddEvalCommand(CLI::App& app, AppContext& ctx);
void AddRenderCommand(CLI::App& app, AppContext& ctx);
void AddViewportCommand(CLI::App& app, AppContext& ctx);
void AddSceneCommand(CLI::App& app, AppContext& ctx);
void AddPanelCommand(CLI::App& app, AppContext& ctx);
void AddAnaglyphCommand(CLI::App& app, AppContext& ctx);
void AddCalibrateCommand(CLI::App& app, AppContext& ctx);
void AddEditCommand(CLI::App& app, AppContext& ctx);

}  // namespace loom

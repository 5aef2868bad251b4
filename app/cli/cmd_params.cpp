// loomhost params CLASS: the parameter table of a texture class.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "app/cli/commands.h"
#include "app/core/jobs/texture_render.h"
#include "app/core/model/param_info.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/scene_io.h"

namespace loom {

void AddParamsCommand(CLI::App& app, AppContext& ctx) {
    CLI::App* cmd = app.add_subcommand("params", "Show a texture class's parameters");
    auto className = std::make_shared<std::string>();
    auto ranges = std::make_shared<bool>(false);
    auto presets = std::make_shared<bool>(false);
    cmd->add_option("CLASS", *className, "Texture class (e.g. nimbra)")->required();
    cmd->add_flag("--ranges", *ranges,
                  "List each parameter's kind (number, integer, flag, colour) and the range its "
                  "panel offers, as the GEGL and frei0r plug-ins show them");
    cmd->add_flag("--presets", *presets,
                  "List the panel's buttons that set values, one a line: the names --preset "
                  "takes (presets, palettes, mutations)")
        ->excludes("--ranges");
    cmd->callback([&ctx, className, ranges, presets] {
        ctx.LoadPlugins();
        if (*presets) {
            for (const std::string& name : DescribeTextureClass(ctx.loader, *className).buttons) {
                std::printf("%s\n", name.c_str());
            }
            return;
        }
        if (*ranges) {
            std::printf("%-5s %-26s %-8s %-12s %-12s %s\n", "index", "name", "kind", "min", "max",
                        "default");
            static const char* kKinds[] = {"number", "integer", "flag", "colour"};
            int row = 0;
            for (const ParamInfo& p : DescribeTextureClass(ctx.loader, *className).params) {
                const bool shown =
                    (p.control != ParamControl::kNone) || KindOf(p) == ParamKind::kColour;
                std::printf("%-5d %-26s %-8s %-12.9g %-12.9g %s%s\n", row++, p.name.c_str(),
                            kKinds[static_cast<int>(KindOf(p))], RangeMin(p), RangeMax(p),
                            FormatParamValue(p.type, p.defaultValue).c_str(),
                            shown ? "" : "  (no control of the panel shows it)");
            }
            return;
        }
        SceneHolder holder;  // holds the texture for the command's lifetime
        Texmap* tex = CreateTexture(ctx.loader, *className);
        holder.Add(*className, tex);
        IParamBlock* pb = ParamBlockOf(tex);
        if (!pb) throw std::runtime_error("'" + *className + "' has no parameter block");
        static const char* kTypes[] = {"float", "int", "color"};
        std::printf("%-5s %-22s %-6s %-24s %s\n", "index", "name", "type", "default", "animatable");
        for (int i = 0; i < pb->NumParams(); ++i) {
            Interval scratch = FOREVER;
            ParamType type = pb->GetParameterType(i);
            std::printf("%-5d %-22s %-6s %-24s %s\n", i, ParamName(tex, i).c_str(), kTypes[type],
                        FormatParamValue(type, pb->GetRaw(i, 0, scratch)).c_str(),
                        pb->IsAnimatable(i) ? "yes" : "no");
        }
        for (int i = 0; i < tex->NumSubTexmaps(); ++i) {
            std::printf("sub-map %d: %s\n", i, tex->GetSubTexmapSlotName(i).c_str());
        }
    });
}

}  // namespace loom

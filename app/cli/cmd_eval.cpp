// loomhost eval: a texture evaluated through the full host path at given points.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "app/cli/commands.h"
#include "app/cli/texture_options.h"
#include "app/cli/texture_source.h"
#include "app/core/model/texture_setup.h"

namespace loom {
namespace {

struct EvalOptions {
    std::vector<std::string> args;
    TextureSourceOptions source;
    double time = 0.0;
    bool mono = false;
    bool normal = false;
};

Point2 ParsePoint(const std::string& text) {
    size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) {
        throw std::runtime_error("point '" + text + "': expected U,V");
    }
    Point2 p;
    p.x = static_cast<float>(ParseNumber(text.substr(0, comma), "point '" + text + "'"));
    p.y = static_cast<float>(ParseNumber(text.substr(comma + 1), "point '" + text + "'"));
    return p;
}

void Run(AppContext& ctx, const EvalOptions& opt) {
    std::vector<std::string> args = opt.args;
    std::string className;
    if (opt.source.scene.empty()) {
        if (args.empty()) throw std::runtime_error("name a texture class or --scene FILE");
        className = args.front();
        args.erase(args.begin());
    }
    if (args.empty()) throw std::runtime_error("give at least one point U,V");
    std::vector<Point2> points;
    for (const std::string& a : args) points.push_back(ParsePoint(a));
    ctx.LoadPlugins();
    TextureSource src(ctx.loader, className, opt.source);
    Texmap* tex = src.Texture();
    const TimeValue t = FramesToTicks(opt.time);
    Interval valid = FOREVER;
    tex->Update(t, valid);
    PlaneShadeContext sc;
    sc.curTime = t;
    for (const Point2& p : points) {
        sc.Set(p.x, p.y);
        if (opt.mono) {
            std::printf("%.9g\n", Widen(tex->EvalMono(sc)));
        } else if (opt.normal) {
            Point3 n = tex->EvalNormalPerturb(sc);
            std::printf("%.9g %.9g %.9g\n", Widen(n.x), Widen(n.y), Widen(n.z));
        } else {
            AColor c = tex->EvalColor(sc);
            std::printf("%.9g %.9g %.9g %.9g\n", Widen(c.r), Widen(c.g), Widen(c.b), Widen(c.a));
        }
    }
}

}  // namespace

void AddEvalCommand(CLI::App& app, AppContext& ctx) {
    auto opt = std::make_shared<EvalOptions>();
    CLI::App* cmd = app.add_subcommand(
        "eval", "Evaluate a texture at points U,V through the host (EvalColor or EvalMono)");
    cmd->add_option("ARGS", opt->args, "CLASS then points U,V (just points with --scene)");
    AddTextureSourceOptions(*cmd, opt->source);
    cmd->add_option("--time", opt->time, "Time in frames (30 per second)");
    auto* mono = cmd->add_flag("--mono", opt->mono, "Print the mono value (EvalMono)");
    cmd->add_flag("--normal", opt->normal, "Print the normal perturbation (EvalNormalPerturb)")
        ->excludes(mono);
    // Points such as -0.5,0.25 look like options to the parser: they arrive as extras.
    cmd->allow_extras();
    cmd->callback([&ctx, opt, cmd] {
        EvalOptions o = *opt;
        for (const std::string& extra : cmd->remaining()) o.args.push_back(extra);
        Run(ctx, o);
    });
}

}  // namespace loom

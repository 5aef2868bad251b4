// loomhost viewport: the bitmap a texture shows in the viewports.
#include <CLI/CLI.hpp>
#include <memory>

#include "app/cli/commands.h"
#include "app/cli/texture_options.h"
#include "app/cli/texture_source.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/bitmap.h"

namespace loom {
namespace {

struct ViewportOptions {
    std::string className;
    std::string output;
    int size = 64;
    int bits = 8;
    double time = 0.0;
    bool force = false;
    TextureSourceOptions source;
};

void Run(AppContext& ctx, const ViewportOptions& opt) {
    if (opt.size < 1 || opt.size > 4096) throw std::runtime_error("--size must be 1..4096");
    const SaveOptions save{opt.force, nullptr};
    std::string err;
    if (!CheckImageOutput(opt.output, save, err)) throw std::runtime_error(err);
    ctx.LoadPlugins();
    TextureSource src(ctx.loader, opt.className, opt.source);
    ViewportHandleMaker maker(opt.size);
    DWORD_PTR handle = src.Texture()->GetActiveTexHandle(FramesToTicks(opt.time), maker);
    const Bitmap* bm = ViewportHandleBitmap(handle);
    if (!bm) throw std::runtime_error("the texture made no viewport bitmap");
    FloatImage img;
    img.width = bm->Width();
    img.height = bm->Height();
    for (const BMM_Color_64& p : bm->Pixels()) {
        for (WORD c : {p.r, p.g, p.b, p.a}) img.rgba.push_back(static_cast<float>(c) / 65535.0f);
    }
    if (!WriteImage(opt.output, img, opt.bits, err, save)) throw std::runtime_error(err);
}

}  // namespace

void AddViewportCommand(CLI::App& app, AppContext& ctx) {
    auto opt = std::make_shared<ViewportOptions>();
    CLI::App* cmd = app.add_subcommand("viewport", "Write a texture's viewport display bitmap");
    cmd->add_option("CLASS", opt->className, "Texture class (omit with --scene)");
    cmd->add_option("-o,--out", opt->output, "Image file")->required();
    cmd->add_option("--size", opt->size, "Side length in pixels")->capture_default_str();
    cmd->add_option("--bits", opt->bits, "Bits per channel: 8 or 16")->capture_default_str();
    cmd->add_option("--time", opt->time, "Time in frames");
    cmd->add_flag("--force", opt->force, "Replace an output file that is read-only");
    AddTextureSourceOptions(*cmd, opt->source);
    cmd->callback([&ctx, opt] { Run(ctx, *opt); });
}

}  // namespace loom

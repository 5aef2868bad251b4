// loomhost: loads the plug-ins and puts them to work from the command line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli/commands.h"
#include "app/core/render/progress_output.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/pixel_limit.h"

namespace {

/// "scene filter": the chosen command and subcommand, to give errors without a file of
/// their own a context.
std::string CommandName(const CLI::App& app) {
    std::string name;
    for (const CLI::App* cmd = &app;;) {
        const auto chosen = cmd->get_subcommands();
        if (chosen.empty()) return name;
        cmd = chosen.front();
        name += (name.empty() ? "" : " ") + cmd->get_name();
    }
}

/// Prints the error as the one line a failure gets: line breaks inside messages (the image
/// library's, for one) become "; ".
int Fail(const std::string& message) {
    std::string line;
    bool pendingBreak = false;
    for (char c : message) {
        if (c == '\n' || c == '\r') {
            pendingBreak = !line.empty();
            continue;
        }
        if (pendingBreak) line += "; ";
        pendingBreak = false;
        line += c;
    }
    std::fprintf(stderr, "loomhost: error: %s\n", line.c_str());
    return 1;
}

/// `--version`: the program's version, then each plug-in found with the version it answers.
void PrintVersion(loom::AppContext& ctx) {
    std::printf("loomhost %s\n", LOOM_VERSION);
    ctx.LoadPlugins();
    for (const loom::LoadedPlugin& plugin : ctx.loader.Plugins()) {
        std::printf("  %s %lu: %s\n", std::filesystem::path(plugin.path).filename().c_str(),
                    static_cast<unsigned long>(plugin.version), plugin.description.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    loom::AppContext ctx;
    ctx.commandLine.assign(argv, argv + argc);
    CLI::App app{"loomhost: renders the Loomwork textures and runs the stereo filter"};
    // A command, or --version alone.
    app.require_subcommand(0, 1);
    bool showVersion = false;
    app.add_flag("--version", showVersion,
                 "Print the program's version and the plug-ins' versions, then stop");
    app.add_option("--plugins", ctx.pluginFolders,
                   "Folder of plug-in libraries (repeatable; default: $LOOMHOST_PLUGINS, "
                   "$XDG_DATA_HOME/loomwork/plugins, then the program's own)");
    app.add_option_function<long long>(
           "--max-pixels",
           [](long long pixels) {
               if (!loom::SetMaxImagePixels(pixels)) {
                   throw CLI::ValidationError(
                       "--max-pixels", "takes 1 to " + std::to_string(loom::kMaxImagePixels));
               }
           },
           "Most pixels a picture read from a file may have (images, image maps, stereo "
           "photos and pairs); larger ones are refused before memory is taken for them "
           "(default: " +
               std::to_string(loom::kDefaultMaxImagePixels) + ", at most " +
               std::to_string(loom::kMaxImagePixels) + ")")
        ->type_name("N");
    // Options of the whole program, also taken after the command's own.
    app.fallthrough();
    bool noOverwrite = false;
    app.add_flag("-n,--no-overwrite", noOverwrite,
                 "Leave every existing output file as it is: the command fails naming it");
    app.add_flag("-q,--quiet", ctx.quiet,
                 "Print no progress and no notes; errors and warnings only");
    std::string progress = "auto";
    app.add_option("--progress", progress,
                   "How long work shows its progress on stderr: auto (a bar on a terminal, "
                   "lines in a log), bar, lines, json (one object a line), none")
        ->check(CLI::IsMember({"auto", "bar", "lines", "json", "none"}))
        ->capture_default_str();
    app.parse_complete_callback([&] {
        loom::SetKeepExistingFiles(noOverwrite);
        const loom::ProgressStyle style = ctx.quiet || progress == "none"
                                              ? loom::ProgressStyle::kNone
                                          : progress == "bar"   ? loom::ProgressStyle::kBar
                                          : progress == "lines" ? loom::ProgressStyle::kLines
                                          : progress == "json"  ? loom::ProgressStyle::kJson
                                                                : loom::ProgressStyle::kAuto;
        loom::SetProgressStyle(style);
    });
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
        if (showVersion) {
            PrintVersion(ctx);
        } else if (app.get_subcommands().empty()) {
            return app.exit(CLI::RequiredError("A subcommand"));
        }
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::bad_alloc&) {
        // The commands name the file where they can; this is what is left.
        return Fail(CommandName(app) + ": out of memory");
    } catch (const std::system_error& e) {
        // From the standard library (a stream, a file system call, a thread): say at least
        // which command met it; the file system's errors name their paths themselves.
        return Fail(CommandName(app) + ": " + e.what());
    } catch (const std::runtime_error& e) {
        // The commands' own messages, which name their files.
        return Fail(e.what());
    } catch (const std::exception& e) {
        return Fail(CommandName(app) + ": " + e.what());
    } catch (...) {
        return Fail(CommandName(app) + ": unexpected failure");
    }
    return 0;
}

// loomhost edit: the material editor and video post in a web browser, served on
// 127.0.0.1. The calling thread is the window thread: it owns every window and texture
// and answers the server's requests one at a time from its message loop.
#include <pthread.h>
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/cli/commands.h"
#include "app/web/api.h"
#include "app/web/editor_session.h"
#include "app/web/server.h"
#include "app/web/window_thread.h"

namespace loom {
namespace {

struct EditOptions {
    int port = 8420;
    std::string scene;
    std::string open;
    std::string root = ".";
    bool rootGiven = false;
    std::string token;
};

/// Ctrl-C and SIGTERM end the editor in order: the signals are taken by a thread of
/// their own (never by a handler, which could not lock), which stops the window thread.
class StopOnSignal {
  public:
    explicit StopOnSignal(web::WindowThread& thread) {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGUSR2);  // ours: the editor ended by itself
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
        waiter_ = std::thread([this, &thread] {
            int sig = 0;
            sigwait(&set_, &sig);
            if (sig != SIGUSR2) thread.Stop();
        });
    }
    ~StopOnSignal() {
        pthread_kill(waiter_.native_handle(), SIGUSR2);
        waiter_.join();
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

  private:
    sigset_t set_, old_;
    std::thread waiter_;
};

void Run(AppContext& ctx, EditOptions opt) {
    // Without --root, a scene named on the command line may lie anywhere: its folder
    // becomes the root the page's paths are relative to.
    if (!opt.scene.empty() && !opt.rootGiven) {
        const std::filesystem::path scene(opt.scene);
        opt.root = scene.has_parent_path() ? scene.parent_path().string() : ".";
        opt.scene = scene.filename().string();
    }
    if (opt.port < 0 || opt.port > 65535) throw std::runtime_error("--port must be 0..65535");
    if (opt.token.empty()) {
        if (const char* env = std::getenv("LOOM_EDIT_TOKEN"); env && *env) opt.token = env;
    }
    if (opt.token.empty()) {
        opt.token = web::NewSessionToken();
    } else if (!web::ValidSessionToken(opt.token)) {
        throw std::runtime_error("--token must be 32..256 letters, digits, '-' or '_'");
    }
    ctx.LoadPlugins();
    std::error_code ec;
    if (!std::filesystem::is_directory(opt.root, ec)) {
        throw std::runtime_error("--root '" + opt.root + "' is not a folder");
    }
    web::WindowThread thread;
    // Before the server's threads start, so that they inherit the blocked signals.
    StopOnSignal stopper(thread);
    web::EditorSession session(ctx.loader, opt.root);
    session.SetDeferrer([&thread](std::function<void()> task) { thread.Defer(std::move(task)); });
    try {
        if (!opt.scene.empty()) session.LoadScene(opt.scene);
        if (!opt.open.empty()) session.OpenClass(opt.open);
    } catch (const web::ApiError& e) {
        // The page's messages name paths relative to the root; here the whole path helps.
        std::string what = e.what();
        if (!opt.scene.empty() && what.rfind(opt.scene, 0) == 0) {
            what = (std::filesystem::path(opt.root) / opt.scene).string() +
                   what.substr(opt.scene.size());
        }
        throw std::runtime_error(what);
    }
    web::Api api(session);
    web::Server server(api, thread, opt.token);
    const int port = server.Start(opt.port);
    // The address carries the session token: whoever holds it can drive the editor.
    std::printf("loomhost edit: http://127.0.0.1:%d/?token=%s\n", port, opt.token.c_str());
    std::fflush(stdout);
    thread.Loop();
    server.Stop();
}

}  // namespace

void AddEditCommand(CLI::App& app, AppContext& ctx) {
    auto opt = std::make_shared<EditOptions>();
    CLI::App* cmd = app.add_subcommand(
        "edit", "Serve the material editor and video post to a browser on 127.0.0.1");
    cmd->add_option("--port", opt->port, "Port to listen on (0: any free port)")
        ->capture_default_str();
    cmd->add_option("--scene", opt->scene,
                    "Scene file to load first (relative to --root; without --root its folder "
                    "becomes the root)");
    cmd->add_option("--open", opt->open, "Texture class to create and open (e.g. nimbra)");
    cmd->add_option("--token", opt->token,
                    "Session token the page and scripts must present (32..256 letters, digits, "
                    "'-' or '_'; default: a random one; LOOM_EDIT_TOKEN sets it without "
                    "showing it in the process list)");
    cmd->add_option("--root", opt->root, "Folder the page's scene and image paths are relative to")
        ->capture_default_str();
    cmd->callback([&ctx, opt, cmd] {
        opt->rootGiven = cmd->count("--root") > 0;
        Run(ctx, *opt);
    });
}

}  // namespace loom

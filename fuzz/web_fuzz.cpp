// Web API requests: arbitrary requests through the editor's dispatcher, on a session with
// a texture panel open and the stereo filter loaded. Every request must be answered with
// a status and, unless it is a picture, one line of JSON; nothing may crash or hang.
//
// Input: the first line is "METHOD PATH[?QUERY]", the rest is the body.
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/core/loader/plugin_loader.h"
#include "app/web/api.h"
#include "app/web/editor_session.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/win32/interact.h"

namespace {

struct Fixture {
    loom::PluginLoader loader;
    std::filesystem::path root;
    std::unique_ptr<loom::web::EditorSession> session;
    std::unique_ptr<loom::web::Api> api;
    int requests = 0;

    /// A fresh session with the Nimbra panel open.
    void NewSession();
};

void Fixture::NewSession() {
    Fixture* fx = this;
    fx->api.reset();
    fx->session.reset();
    theHold.Clear();
    fx->session = std::make_unique<loom::web::EditorSession>(fx->loader, fx->root);
    // The filter's modal dialogs open at once and are closed by their close box, so a
    // request that opens one cannot hold up the run.
    fx->session->SetDeferrer([](std::function<void()> task) {
        loom::interact::ModalScript script({[](HWND d) { loom::interact::CloseDialog(d); }});
        task();
    });
    fx->api = std::make_unique<loom::web::Api>(*fx->session);
    // A request for a finished picture must not hold the run up for seconds.
    fx->api->LimitPictureWaits(std::chrono::milliseconds(20));
    try {
        fx->session->OpenClass("nimbra");
    } catch (const loom::web::ApiError&) {
    }
}

// The run's folder, removed when the run ends (the fixture itself lives to the end).
const std::filesystem::path* gRunRoot = nullptr;

Fixture& Get() {
    static Fixture* f = [] {
        auto* fx = new Fixture;
        std::vector<std::string> errors;
        for (const std::string& dir : loom::PluginFolders({})) fx->loader.LoadFolder(dir, errors);
        // Scenes and images stay in a folder of the run's own.
        fx->root =
            std::filesystem::temp_directory_path() / ("loom_web_fuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(fx->root);
        gRunRoot = &fx->root;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*gRunRoot, ec);
        });
        fx->NewSession();
        return fx;
    }();
    // Textures and undo entries pile up over a run: start again now and then.
    if (++f->requests % 2000 == 0) f->NewSession();
    return *f;
}

void ParseQuery(const std::string& q, std::map<std::string, std::string>& out) {
    size_t pos = 0;
    while (pos <= q.size()) {
        size_t amp = q.find('&', pos);
        if (amp == std::string::npos) amp = q.size();
        std::string pair = q.substr(pos, amp - pos);
        size_t eq = pair.find('=');
        out[pair.substr(0, eq)] = eq == std::string::npos ? "" : pair.substr(eq + 1);
        pos = amp + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fixture& f = Get();
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t nl = input.find('\n');
    std::string line = input.substr(0, nl);
    loom::web::ApiRequest req;
    req.body = nl == std::string::npos ? "" : input.substr(nl + 1);
    size_t sp = line.find(' ');
    req.method = line.substr(0, sp);
    std::string target = sp == std::string::npos ? "" : line.substr(sp + 1);
    size_t qm = target.find('?');
    req.path = target.substr(0, qm);
    if (qm != std::string::npos) ParseQuery(target.substr(qm + 1), req.query);

    loom::web::ApiResponse r = f.api->Handle(req);
    if (r.status < 200 || r.status >= 600) __builtin_trap();
    if (r.contentType == "application/json" && r.status >= 400) {
        // Refusals are one line of JSON naming the error.
        if (r.body.empty() || r.body.find('\n') != r.body.size() - 1) __builtin_trap();
    }
    return 0;
}

// The editor's HTTP layer as a browser or any local program reaches it: the input is sent
// whole down a real connection to the server (its connection handling, header and length
// checks, the token, routing and the API behind them, on a session with a texture panel
// open) and the connection is read until the server closes it. Every answer must be a
// whole HTTP status line that forbids framing; nothing may crash, and every connection must
// end within its deadline.
//
// Input: the bytes of the connection (requests, pieces of requests, anything), in which
// "{PORT}" stands for the server's port.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/core/loader/plugin_loader.h"
#include "app/web/api.h"
#include "app/web/editor_session.h"
#include "app/web/server.h"
#include "app/web/window_thread.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/win32/interact.h"

namespace {

/// The token seeds carry in their X-Loom-Token headers.
constexpr const char* kToken = "fuzz-token-0123456789abcdef0123456789";

struct Editor {
    int port = 0;
    std::filesystem::path root;
    loom::web::WindowThread* thread = nullptr;
};

/// The editor, served from a thread of its own that is its window thread.
const Editor& Get() {
    static Editor* editor = [] {
        auto* e = new Editor;
        e->root =
            std::filesystem::temp_directory_path() / ("loom_http_fuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(e->root);
        std::mutex m;
        std::condition_variable started;
        std::thread([e, &m, &started] {
            auto* loader = new loom::PluginLoader;
            std::vector<std::string> errors;
            for (const std::string& dir : loom::PluginFolders({})) loader->LoadFolder(dir, errors);
            auto* thread = new loom::web::WindowThread;
            auto* session = new loom::web::EditorSession(*loader, e->root);
            // The filter's modal dialogs close at once, so that no request holds the run up.
            session->SetDeferrer([](std::function<void()> task) {
                loom::interact::ModalScript script(
                    {[](HWND d) { loom::interact::CloseDialog(d); }});
                task();
            });
            auto* api = new loom::web::Api(*session);
            api->LimitPictureWaits(std::chrono::milliseconds(20));
            try {
                session->OpenClass("nimbra");
            } catch (const loom::web::ApiError&) {
            }
            loom::web::ServerLimits limits;
            limits.requestDeadline = std::chrono::milliseconds(500);
            limits.unprovenDeadline = std::chrono::milliseconds(300);
            limits.windowThreadWait = std::chrono::seconds(5);
            auto* server = new loom::web::Server(*api, *thread, kToken, limits);
            const int port = server->Start(0);
            {
                std::lock_guard<std::mutex> lock(m);
                e->thread = thread;
                e->port = port;
            }
            started.notify_one();
            thread->Loop();  // until the process ends
        }).detach();
        std::unique_lock<std::mutex> lock(m);
        started.wait(lock, [e] { return e->port != 0; });
        static const std::filesystem::path* root = &e->root;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*root, ec);
        });
        return e;
    }();
    return *editor;
}

}  // namespace

namespace {

/// Says which check failed and what the server had answered, then stops the run as a crash.
/// For a connection held open it first prints every thread's stack (where gdb is installed),
/// since the thread that holds it up is not the one that traps.
[[noreturn]] void Fault(const char* what, const std::string& answer, bool stacks = false) {
    std::fprintf(stderr, "http_fuzz: %s; %zu bytes answered: %.200s\n", what, answer.size(),
                 answer.c_str());
    if (stacks) {
        const std::string gdb = "gdb -p " + std::to_string(getpid()) +
                                " -batch -nx -ex 'thread apply all bt' 1>&2 2>/dev/null";
        [[maybe_unused]] const int status = std::system(gdb.c_str());
    }
    __builtin_trap();
}

/// Waits for a connection whose connect() was interrupted, and says whether it was made.
bool ConnectFinished(int fd) {
    pollfd p{fd, POLLOUT, 0};
    int ready;
    while ((ready = ::poll(&p, 1, 30000)) < 0 && errno == EINTR) {
    }
    int error = 0;
    socklen_t len = sizeof error;
    return ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Editor& editor = Get();
    // Seeds name the server's port, which each run chooses anew, as "{PORT}".
    std::string bytes(reinterpret_cast<const char*>(data), size);
    for (std::size_t at; (at = bytes.find("{PORT}")) != std::string::npos;) {
        bytes.replace(at, 6, std::to_string(editor.port));
    }
    data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    size = bytes.size();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(editor.port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Millions of short connections can use up the machine's ephemeral ports for a while
    // (EADDRNOTAVAIL): that is the client's side, so wait for one; any other failure is the
    // server's.
    // libFuzzer's own alarm (every half of -timeout) interrupts the calls below: an
    // interrupted call is the harness's, not the server's, and is made again.
    for (int tries = 0; ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0;) {
        if (errno == EINTR) {
            // The connection goes on being made: wait until it is.
            if (!ConnectFinished(fd)) Fault("cannot connect after an interrupt", "");
            break;
        }
        if (errno != EADDRNOTAVAIL || ++tries > 1000) {
            Fault((std::string("cannot connect: ") + std::strerror(errno)).c_str(), "");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the server refused early and closed
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    std::string answer;
    // The server ends a connection within its request deadline plus its wait for the window
    // thread (half a second and five here); the wait is far longer so that a run on a
    // starved machine (a fuzzer at low priority beside builds) does not take a slow answer
    // for a connection held for ever.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int ready = left.count() <= 0 ? 0 : ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        // A connection the server never ends is a fault: it would hold a slot for ever.
        if (ready <= 0) {
            Fault("the server held the connection open without answering", answer, true);
        }
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    // A request the window thread did not finish in time is answered 503: the thread must
    // then be free again within a minute, or it is stuck.
    if (answer.rfind("HTTP/1.1 503", 0) == 0 &&
        editor.thread->Run([] {}, std::chrono::seconds(60)) !=
            loom::web::WindowThread::RunOutcome::kDone) {
        Fault("the window thread stayed busy for a minute", answer, true);
    }
    // Anything the server answers is a whole status line with the security headers; it may
    // also close without a word (a connection that sent nothing, or stopped mid-request),
    // or after the interim answer to "Expect: 100-continue" when the body then falls short.
    static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    if (answer.rfind(kContinue, 0) == 0) answer.erase(0, kContinue.size());
    if (!answer.empty()) {
        if (answer.rfind("HTTP/1.1 ", 0) != 0 || answer.size() < 12) {
            Fault("the answer does not start with a whole status line", answer);
        }
        if (answer.find("X-Frame-Options: DENY") == std::string::npos) {
            Fault("the answer lacks the security headers", answer);
        }
    }
    return 0;
}

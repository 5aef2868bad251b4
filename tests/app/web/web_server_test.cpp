// The editor as the browser reaches it: a real socket on an ephemeral port of 127.0.0.1,
// the test's main thread serving as the window thread, a client on another thread. The
// modal setup dialog is opened, operated and closed while the window thread keeps serving.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/core/loader/plugin_loader.h"
#include "app/web/api.h"
#include "app/web/editor_session.h"
#include "app/web/server.h"
#include "app/web/window_thread.h"
#include "dioptrix/resource.h"
#include "foundation/host/base/undo.h"
#include "nimbra/resource.h"

namespace {

using nlohmann::json;

constexpr const char* kToken = "test-token-0123456789abcdef0123456789";

/// A connection of the test's own, for what an HTTP client library would not send.
class RawConnection {
  public:
    explicit RawConnection(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawConnection() { ::close(fd_); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool Connected() const { return connected_; }
    bool Send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    /// Everything the server sends until it closes, or what came within `wait`.
    std::string ReadAll(std::chrono::milliseconds wait) {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + wait;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

/// The status of a raw answer ("HTTP/1.1 413 ..." gives 413), or 0.
int StatusOf(const std::string& answer) {
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

class WebServer : public ::testing::Test {
  protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() /
               ("loom_websrv_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(root);
        std::vector<std::string> errors;
        for (const std::string& f : loom::PluginFolders({})) loader.LoadFolder(f, errors);
        ASSERT_FALSE(loader.Plugins().empty());
        theHold.Clear();
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    /// Serves on the calling thread until `client` returns. The client carries the session
    /// token in its header.
    void Serve(const std::function<void(httplib::Client&)>& client,
               loom::web::ServerLimits limits = {}) {
        Serve([&](httplib::Client& http, int) { client(http); }, limits);
    }
    void Serve(const std::function<void(httplib::Client&, int port)>& client,
               loom::web::ServerLimits limits = {}) {
        Serve(
            [&](httplib::Client& http, int port, loom::web::WindowThread&) { client(http, port); },
            limits);
    }
    /// The same, with the window thread the server hands requests to.
    void Serve(
        const std::function<void(httplib::Client&, int port, loom::web::WindowThread&)>& client,
        loom::web::ServerLimits limits = {}) {
        loom::web::WindowThread thread;
        loom::web::EditorSession session(loader, root);
        session.SetDeferrer([&thread](std::function<void()> t) { thread.Defer(std::move(t)); });
        loom::web::Api api(session);
        loom::web::Server server(api, thread, kToken, limits);
        const int port = server.Start(0);
        ASSERT_GT(port, 0);
        std::thread worker([&] {
            httplib::Client http("127.0.0.1", port);
            http.set_read_timeout(20, 0);
            http.set_default_headers({{"X-Loom-Token", kToken}});
            client(http, port, thread);
            thread.Stop();
        });
        thread.Loop();
        worker.join();
        server.Stop();
    }

    static json Post(httplib::Client& http, const std::string& path, const json& body = {}) {
        auto r = http.Post(path.c_str(), body.is_null() ? "{}" : body.dump(), "application/json");
        EXPECT_TRUE(r) << path;
        if (!r) return json();
        EXPECT_EQ(r->status, 200) << path << ": " << r->body;
        return json::parse(r->body, nullptr, false);
    }
    static json State(httplib::Client& http) {
        auto r = http.Get("/api/state");
        EXPECT_TRUE(r && r->status == 200);
        return r ? json::parse(r->body, nullptr, false) : json();
    }
    /// Polls until a dialog (not a rollup) with `title` is open, or gone; its window.
    static json AwaitDialog(httplib::Client& http, const std::string& title, bool open) {
        for (int i = 0; i < 200; ++i) {
            json s = State(http);
            for (const json& w : s["windows"]) {
                if (!w["rollup"] && w["title"] == title) {
                    if (open) return w;
                    goto still_open;
                }
            }
            if (!open && !s["filter"]["dialogOpen"]) return s;
        still_open:
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "dialog '" << title << "' " << (open ? "never opened" : "never closed");
        return json();
    }
    static json Control(const json& window, int id) {
        for (const json& c : window["tree"]["children"]) {
            if (c["id"] == id) return c;
        }
        return json();
    }
    static std::string Picture(httplib::Client& http, const json& control) {
        auto r = http.Get(("/api/bitmap?h=" + control["image"].dump()).c_str());
        EXPECT_TRUE(r && r->status == 200) << control.dump();
        return r ? r->body : "";
    }

    std::filesystem::path root;
    loom::PluginLoader loader;
};

TEST_F(WebServer, ThePageAndTheApiAreServedAndForeignRequestsRefused) {
    Serve([](httplib::Client& http) {
        auto page = http.Get("/");
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
        EXPECT_NE(page->get_header_value("Content-Type").find("text/html"), std::string::npos);
        EXPECT_NE(page->body.find("<script type=\"module\""), std::string::npos);
        auto missing = http.Get("/nothing.js");
        ASSERT_TRUE(missing);
        EXPECT_EQ(missing->status, 404);

        json s = Post(http, "/api/open", {{"class", "nimbra"}});
        EXPECT_EQ(s["entry"], "nimbra");

        auto foreign = http.Get("/api/state", {{"Host", "example.com"}});
        ASSERT_TRUE(foreign);
        EXPECT_EQ(foreign->status, 403);
        auto form = http.Post("/api/undo", "{}", "text/plain");
        ASSERT_TRUE(form);
        EXPECT_EQ(form->status, 415);
        auto big = http.Post("/api/undo", std::string(loom::web::kMaxBodyBytes + 10, ' '),
                             "application/json");
        ASSERT_TRUE(big);
        EXPECT_EQ(big->status, 413);
        auto bad = http.Post("/api/click", "{\"hwnd\":1,\"id\":2}", "application/json");
        ASSERT_TRUE(bad);
        EXPECT_EQ(bad->status, 404);
        EXPECT_EQ(json::parse(bad->body)["error"], "no such window");
    });
}

TEST_F(WebServer, PicturesComeWhileTheWindowThreadIsBusyAndAnswersAreNotCompressed) {
    Serve([](httplib::Client& http, int, loom::web::WindowThread& thread) {
        Post(http, "/api/open", {{"class", "nimbra"}});
        auto first = http.Get("/api/sample.bmp?final=1");
        ASSERT_TRUE(first);
        ASSERT_EQ(first->status, 200);
        EXPECT_EQ(first->get_header_value("X-Loom-Final"), "1");

        // The window thread is held by a task of its own until the pictures have come.
        std::mutex mutex;
        std::condition_variable cv;
        bool release = false, held = false;
        std::thread holder([&] {
            thread.Run(
                [&] {
                    std::unique_lock<std::mutex> lock(mutex);
                    held = true;
                    cv.notify_all();
                    cv.wait(lock, [&] { return release; });
                },
                std::chrono::seconds(20));
        });
        {
            std::unique_lock<std::mutex> lock(mutex);
            cv.wait(lock, [&] { return held; });
        }
        auto sample = http.Get("/api/sample.bmp");
        auto viewport = http.Get("/api/viewport.bmp");
        auto next = http.Get("/api/preview?after=0&wait=10");
        {
            std::lock_guard<std::mutex> lock(mutex);
            release = true;
        }
        cv.notify_all();
        holder.join();
        ASSERT_TRUE(sample && viewport && next);
        EXPECT_EQ(sample->body, first->body);
        EXPECT_EQ(viewport->status, 200);
        EXPECT_EQ(json::parse(next->body)["picture"],
                  std::stoi(first->get_header_value("X-Loom-Picture")));

        // A browser asks for compressed answers; on the loopback they come as they are.
        auto state = http.Get("/api/state", {{"Accept-Encoding", "br, gzip, deflate"}});
        ASSERT_TRUE(state);
        EXPECT_FALSE(state->has_header("Content-Encoding"));
        EXPECT_EQ(json::parse(state->body)["entry"], "nimbra");
        auto page = http.Get("/", {{"Accept-Encoding", "gzip"}});
        ASSERT_TRUE(page);
        EXPECT_FALSE(page->has_header("Content-Encoding"));
    });
}

TEST_F(WebServer, TheApiAnswersOnlyTheHolderOfTheSessionToken) {
    Serve([](httplib::Client& tokened, int port) {
        httplib::Client http("127.0.0.1", port);  // no token
        http.set_read_timeout(20, 0);
        auto none = http.Get("/api/state");
        ASSERT_TRUE(none);
        EXPECT_EQ(none->status, 401);
        EXPECT_NE(json::parse(none->body)["error"].get<std::string>().find("token"),
                  std::string::npos);
        auto action = http.Post("/api/open", R"({"class":"nimbra"})", "application/json");
        ASSERT_TRUE(action);
        EXPECT_EQ(action->status, 401);
        auto files = http.Get("/api/files");
        ASSERT_TRUE(files);
        EXPECT_EQ(files->status, 401);

        const std::string near = std::string(kToken).substr(0, std::strlen(kToken) - 1) + "X";
        for (const httplib::Headers& wrong : {httplib::Headers{{"X-Loom-Token", near}},
                                              httplib::Headers{{"X-Loom-Token", "short"}}}) {
            auto r = http.Get("/api/state", wrong);
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 403) << wrong.begin()->second;
        }
        // A cookie proves nothing: browsers send it to every port of the host.
        auto cookie =
            http.Get("/api/state", {{"Cookie", std::string("a=b; loom_token=") + kToken}});
        ASSERT_TRUE(cookie);
        EXPECT_EQ(cookie->status, 401);
        // Nothing refused above was done.
        EXPECT_TRUE(State(tokened)["windows"].empty());

        // The page needs no token, and opened from the printed address it sets no cookie:
        // its scripts keep the token.
        auto plain = http.Get("/");
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->status, 200);
        EXPECT_FALSE(plain->has_header("Set-Cookie"));
        auto opened = http.Get((std::string("/?token=") + kToken).c_str());
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->status, 200);
        EXPECT_FALSE(opened->has_header("Set-Cookie"));
        auto guessed = http.Get(("/?token=" + near).c_str());
        ASSERT_TRUE(guessed);
        EXPECT_EQ(guessed->status, 403);
        EXPECT_FALSE(guessed->has_header("Set-Cookie"));

        // Every answer forbids framing, sniffing and referrers, refusals included.
        RawConnection big(port);
        ASSERT_TRUE(
            big.Send("POST /api/undo HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                     "Content-Length: 99999999\r\n\r\n"));
        const std::string refused = big.ReadAll(std::chrono::seconds(5));
        auto missing = tokened.Get("/nothing.js");
        for (const httplib::Result* result : {&none, &files, &cookie, &plain, &guessed, &missing}) {
            const httplib::Result& r = *result;
            ASSERT_TRUE(r);
            SCOPED_TRACE(r->status);
            EXPECT_EQ(r->get_header_value("X-Frame-Options"), "DENY");
            const std::string csp = r->get_header_value("Content-Security-Policy");
            EXPECT_NE(csp.find("default-src 'self'"), std::string::npos) << csp;
            EXPECT_NE(csp.find("frame-ancestors 'none'"), std::string::npos) << csp;
            EXPECT_EQ(r->get_header_value("X-Content-Type-Options"), "nosniff");
            EXPECT_EQ(r->get_header_value("Referrer-Policy"), "no-referrer");
        }
        EXPECT_EQ(StatusOf(refused), 413);
        for (const char* h : {"X-Frame-Options: DENY", "frame-ancestors 'none'",
                              "X-Content-Type-Options: nosniff", "Referrer-Policy: no-referrer"}) {
            EXPECT_NE(refused.find(h), std::string::npos) << h;
        }
    });
}

TEST_F(WebServer, IdleAndSlowClientsDoNotDelayOthers) {
    Serve([](httplib::Client& http, int port) {
        // Connections that send nothing, and ones that stop inside their headers.
        std::vector<std::unique_ptr<RawConnection>> idle;
        for (int i = 0; i < 20; ++i) {
            idle.push_back(std::make_unique<RawConnection>(port));
            ASSERT_TRUE(idle.back()->Connected());
            if (i % 2) {
                ASSERT_TRUE(idle.back()->Send("GET /api/state HTTP/1.1\r\nHost: 12"));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = std::chrono::steady_clock::now();
        auto r = http.Get("/api/state");
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200);
        EXPECT_LT(took, std::chrono::milliseconds(500));

        // A body larger than the API reads is refused from the header alone, at once.
        RawConnection huge(port);
        ASSERT_TRUE(huge.Send("POST /api/undo HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nContent-Type: application/json\r\n"
                              "Content-Length: 1000000000000\r\n\r\n"));
        const auto sent = std::chrono::steady_clock::now();
        const std::string answer = huge.ReadAll(std::chrono::seconds(5));
        EXPECT_EQ(StatusOf(answer), 413) << answer;
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
    });
}

TEST_F(WebServer, RequestsThatDoNotArriveInTimeAreClosed) {
    loom::web::ServerLimits limits;
    limits.requestDeadline = std::chrono::milliseconds(300);
    Serve(
        [](httplib::Client& http, int port) {
            RawConnection slow(port);
            ASSERT_TRUE(slow.Send("GET /api/state HTTP/1.1\r\n"));
            const auto start = std::chrono::steady_clock::now();
            const std::string answer = slow.ReadAll(std::chrono::seconds(5));
            EXPECT_EQ(StatusOf(answer), 408) << answer;
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
            auto r = http.Get("/api/state");
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 200);
        },
        limits);
}

TEST_F(WebServer, TokenlessConnectionsMakeRoomForNewOnes) {
    // Connections that never show the token: beyond their cap the oldest is answered 503
    // and closed, and the owner is served.
    loom::web::ServerLimits limits;
    limits.maxUnproven = 3;
    Serve(
        [&](httplib::Client& http, int port) {
            std::vector<std::unique_ptr<RawConnection>> held;
            for (int i = 0; i < 3; ++i) {
                held.push_back(std::make_unique<RawConnection>(port));
                ASSERT_TRUE(held.back()->Send("GET /api/state HTTP/1.1\r\nHost: 1"));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto r = http.Get("/api/state");
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 200);
            const std::string pushedOut = held.front()->ReadAll(std::chrono::seconds(2));
            EXPECT_EQ(StatusOf(pushedOut), 503) << pushedOut;
        },
        limits);
    // A server full of the owner's own unfinished requests refuses new connections.
    limits = {};
    limits.maxConnections = 3;
    Serve(
        [&](httplib::Client& http, int port) {
            std::vector<std::unique_ptr<RawConnection>> held;
            for (int i = 0; i < 3; ++i) {
                held.push_back(std::make_unique<RawConnection>(port));
                ASSERT_TRUE(held.back()->Send(std::string("POST /api/undo HTTP/1.1\r\nHost: 1\r\n"
                                                          "X-Loom-Token: ") +
                                              kToken + "\r\nContent-Length: 10\r\n\r\n{"));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto r = http.Get("/api/state");
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 503);
            EXPECT_NE(r->body.find("too many connections"), std::string::npos) << r->body;
            held.pop_back();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto again = http.Get("/api/state");
            ASSERT_TRUE(again);
            EXPECT_EQ(again->status, 200);
        },
        limits);
}

TEST_F(WebServer, TheOwnerIsServedUnderAThousandSlowTokenlessConnections) {
#if defined(__SANITIZE_THREAD__)
    // Every socket call is several times slower under ThreadSanitizer.
    constexpr auto kOwnerWait = std::chrono::seconds(5);
#else
    constexpr auto kOwnerWait = std::chrono::seconds(1);
#endif
    // Both ends of every connection live in this process.
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
    ::setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < 4500) GTEST_SKIP() << "needs 4500 open files, may have " << files.rlim_cur;
    Serve([&](httplib::Client& http, int port) {
        // Each sends part of its headers and then nothing; more keep coming while the owner
        // asks.
        std::vector<std::unique_ptr<RawConnection>> slow;
        auto open = [&] {
            slow.push_back(std::make_unique<RawConnection>(port));
            slow.back()->Send("GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        };
        for (int i = 0; i < 1000; ++i) open();
        std::atomic<bool> done{false};
        std::vector<std::unique_ptr<RawConnection>> more;
        std::thread flood([&] {
            for (int i = 0; i < 2000 && !done; ++i) {
                more.push_back(std::make_unique<RawConnection>(port));
                more.back()->Send("GET / HTTP/1.1\r\n");
                if (more.size() > 1000) more.erase(more.begin(), more.begin() + 500);
            }
        });
        for (int i = 0; i < 20; ++i) {
            const auto start = std::chrono::steady_clock::now();
            auto r = http.Get("/api/state");
            const auto took = std::chrono::steady_clock::now() - start;
            ASSERT_TRUE(r) << "request " << i;
            EXPECT_EQ(r->status, 200) << "request " << i << ": " << r->body;
            EXPECT_LT(took, kOwnerWait) << "request " << i;
        }
        done = true;
        flood.join();
    });
}

TEST_F(WebServer, APortInUseIsNamedWithTheReason) {
    loom::web::WindowThread thread;
    loom::web::EditorSession session(loader, root);
    loom::web::Api api(session);
    loom::web::Server first(api, thread, kToken);
    const int port = first.Start(0);
    ASSERT_GT(port, 0);
    loom::web::Server second(api, thread, kToken);
    try {
        second.Start(port);
        ADD_FAILURE() << "a second server listened on the same port";
    } catch (const std::runtime_error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << what;
        EXPECT_NE(what.find(std::strerror(EADDRINUSE)), std::string::npos) << what;
    }
    EXPECT_THROW(loom::web::Server(api, thread, "too-short"), std::invalid_argument);
    const std::string token = loom::web::NewSessionToken();
    EXPECT_TRUE(loom::web::ValidSessionToken(token));
    EXPECT_EQ(token.size(), 64u);
    EXPECT_NE(token, loom::web::NewSessionToken());
    first.Stop();
}

TEST_F(WebServer, TheModalSetupDialogIsOperatedAndClosedWhileRequestsAreServed) {
    Serve([](httplib::Client& http) {
        json s = Post(http, "/api/open", {{"class", "nimbra"}});
        json page;
        for (const json& w : s["windows"]) {
            if (w["title"] == "Nimbra Setup") page = w;
        }
        ASSERT_FALSE(page.is_null());
        const std::string settings = s["filter"]["settings"];

        Post(http, "/api/filter/setup");
        json dlg = AwaitDialog(http, "Ducktest", true);
        ASSERT_FALSE(dlg.is_null());
        auto again = http.Post("/api/filter/setup", "{}", "application/json");
        ASSERT_TRUE(again);
        EXPECT_EQ(again->status, 409);  // one setup dialog at a time

        // The preview follows the eye colour clicked in the dialog.
        const std::string before = Picture(http, Control(dlg, IDC_PREVIEW));
        EXPECT_EQ(before.substr(0, 2), "BM");
        s = Post(http, "/api/click", {{"hwnd", dlg["hwnd"]}, {"id", IDC_RIGHT_BLUE}});
        dlg = AwaitDialog(http, "Ducktest", true);
        EXPECT_EQ(Control(dlg, IDC_RIGHT_BLUE)["check"], 1);
        EXPECT_NE(Picture(http, Control(dlg, IDC_PREVIEW)), before);

        // The panel still answers while the modal loop runs.
        s = Post(http, "/api/click", {{"hwnd", page["hwnd"]}, {"id", IDC_CIRRUS}});
        EXPECT_TRUE(s["filter"]["dialogOpen"]);

        Post(http, "/api/click", {{"hwnd", dlg["hwnd"]}, {"id", IDCANCEL}});
        s = AwaitDialog(http, "Ducktest", false);
        EXPECT_EQ(s["filter"]["lastSetup"], 0);
        EXPECT_EQ(s["filter"]["settings"], settings);  // cancelled: nothing kept

        Post(http, "/api/filter/setup");
        dlg = AwaitDialog(http, "Ducktest", true);
        Post(http, "/api/click", {{"hwnd", dlg["hwnd"]}, {"id", IDC_RIGHT_BLUE}});
        Post(http, "/api/key", {{"hwnd", dlg["hwnd"]}, {"key", "Enter"}});  // OK by default
        s = AwaitDialog(http, "Ducktest", false);
        EXPECT_EQ(s["filter"]["lastSetup"], 1);
        EXPECT_EQ(s["filter"]["settings"], "left red -0.1, right blue -0.1");

        Post(http, "/api/filter/about");
        dlg = AwaitDialog(http, "About Stereo 3D Dioptrix", true);
        ASSERT_FALSE(dlg.is_null());
        Post(http, "/api/close", {{"hwnd", dlg["hwnd"]}});
        AwaitDialog(http, "About Stereo 3D Dioptrix", false);
    });
}

TEST_F(WebServer, StoppingEndsTheLoopAndRefusesWhatComesAfter) {
    using Outcome = loom::web::WindowThread::RunOutcome;
    loom::web::WindowThread thread;
    int ran = 0;
    std::thread other([&] {
        EXPECT_EQ(thread.Run([&] { ++ran; }, std::chrono::seconds(10)), Outcome::kDone);
        thread.Stop();
        EXPECT_EQ(thread.Run([&] { ++ran; }, std::chrono::seconds(10)), Outcome::kNotStarted);
    });
    thread.Loop();
    other.join();
    EXPECT_EQ(ran, 1);
}

// A request never waits on the window thread longer than the server's limit, whether its
// work has not begun (another task holds the thread) or has begun and runs long: it is
// answered 503 while the thread is still held, and the connection ends.
TEST_F(WebServer, ARequestWaitsForTheWindowThreadNoLongerThanTheLimit) {
    using Outcome = loom::web::WindowThread::RunOutcome;
    loom::web::ServerLimits limits;
    limits.windowThreadWait = std::chrono::milliseconds(200);
    Serve(
        [](httplib::Client&, int port, loom::web::WindowThread& thread) {
            auto release = std::make_shared<std::atomic<bool>>(false);
            auto finished = std::make_shared<std::atomic<bool>>(false);
            // Begun but long: the caller stops waiting, the task still ends on its own.
            EXPECT_EQ(thread.Run(
                          [release, finished] {
                              while (!*release)
                                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
                              *finished = true;
                          },
                          std::chrono::milliseconds(100)),
                      Outcome::kStillRunning);
            EXPECT_FALSE(*finished);
            // The thread is held: an API request is answered 503 and its connection closed,
            // within the request's deadline plus the wait (not when the thread is let go).
            RawConnection c(port);
            ASSERT_TRUE(c.Connected());
            ASSERT_TRUE(c.Send("GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:" +
                               std::to_string(port) + "\r\nX-Loom-Token: " + kToken + "\r\n\r\n"));
            const std::string answer = c.ReadAll(std::chrono::seconds(10));
            EXPECT_EQ(StatusOf(answer), 503) << answer;
            EXPECT_FALSE(*finished);
            *release = true;
            EXPECT_EQ(thread.Run([] {}, std::chrono::seconds(10)), Outcome::kDone);
            EXPECT_TRUE(*finished);
        },
        limits);
}

}  // namespace

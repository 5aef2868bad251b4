// The editor as the browser reaches it: a real socket on an ephemeral port of 127.0.0.1,
// the test's main thread serving as the window thread, a client on another thread. The
// modal setup dialog is opened, operated and closed while the window thread keeps serving.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/loader/plugin_loader.h"
#include "app/web/api.h"
#include "app/web/editor_session.h"
#include "app/web/server.h"
#include "app/web/window_thread.h"
#include "dioptrix/resource.h"
#include "foundation/host/undo.h"
#include "nimbra/resource.h"

namespace {

using nlohmann::json;

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

    /// Serves on the calling thread until `client` returns.
    void Serve(const std::function<void(httplib::Client&)>& client) {
        loom::web::WindowThread thread;
        loom::web::EditorSession session(loader, root);
        session.SetDeferrer([&thread](std::function<void()> t) { thread.Defer(std::move(t)); });
        loom::web::Api api(session);
        loom::web::Server server(api, thread);
        const int port = server.Start(0);
        ASSERT_GT(port, 0);
        std::thread worker([&] {
            httplib::Client http("127.0.0.1", port);
            http.set_read_timeout(20, 0);
            client(http);
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
    loom::web::WindowThread thread;
    int ran = 0;
    std::thread other([&] {
        EXPECT_TRUE(thread.Run([&] { ++ran; }, std::chrono::seconds(10)));
        thread.Stop();
        EXPECT_FALSE(thread.Run([&] { ++ran; }, std::chrono::seconds(10)));
    });
    thread.Loop();
    other.join();
    EXPECT_EQ(ran, 1);
}

}  // namespace

// The editor's API driven through its dispatcher on the test's thread, which is the window
// thread: each request as the page sends it, each answer read as the page reads it.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "app/web/api.h"
#include "app/web/editor_session.h"
#include "foundation/host/base/animate.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/stdmaps/bitmap_tex.h"
#include "nimbra/resource.h"
#include "tests/support/editor_fixture.h"

namespace {

using loom::web::Api;
using loom::web::ApiRequest;
using loom::web::ApiResponse;
using nlohmann::json;

class WebApi : public loomtest::EditorFixture {
  protected:
    WebApi() : EditorFixture("loom_web_") {}

    ApiResponse Get(const std::string& path, std::map<std::string, std::string> query = {}) {
        return api->Handle({"GET", path, std::move(query), ""});
    }
    ApiResponse PostRaw(const std::string& path, const std::string& body) {
        return api->Handle({"POST", path, {}, body});
    }
    /// Posts an action that must succeed and answers the state that comes back.
    json Post(const std::string& path, const json& body = json::object()) {
        ApiResponse r = PostRaw(path, body.dump());
        EXPECT_EQ(r.status, 200) << path << " " << body.dump() << ": " << r.body;
        return json::parse(r.body);
    }
    json State() { return json::parse(Get("/api/state").body); }

    /// The window whose title is `title` in a state.
    static json Window(const json& state, const std::string& title) {
        for (const json& w : state["windows"]) {
            if (w["title"] == title) return w;
        }
        return nullptr;
    }
    static json Control(const json& window, int id) {
        for (const json& c : window["tree"]["children"]) {
            if (c["id"] == id) return c;
        }
        return nullptr;
    }
    json Nimbra() {
        json state = Post("/api/open", {{"class", "nimbra"}});
        json w = Window(state, "Nimbra Setup");
        EXPECT_FALSE(w.is_null()) << state.dump();
        return w;
    }
    std::string Sample() {
        ApiResponse r = Get("/api/sample.bmp", {{"final", "1"}});
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.contentType, "image/bmp");
        return r.body;
    }
    float Stored(const std::string& name) {
        Texmap* tex = session->Current();
        IParamBlock* pb = loom::ParamBlockOf(tex);
        float v = 0;
        Interval valid = FOREVER;
        pb->GetValue(loom::FindParam(tex, name), session->Editor().GetTime(), v, valid);
        return v;
    }
};

TEST_F(WebApi, StateListsTheClassesTheFilterAndNoWindowsBeforeATextureIsOpen) {
    json s = State();
    std::vector<std::string> names;
    for (const json& c : s["classes"]) names.push_back(c["name"]);
    EXPECT_NE(std::find(names.begin(), names.end(), "nimbra"), names.end());
    EXPECT_TRUE(s["windows"].empty());
    EXPECT_TRUE(s["filter"]["available"]);
    EXPECT_EQ(s["filter"]["settings"], "left red -0.1, right green -0.1");
    EXPECT_EQ(Get("/api/sample.bmp").status, 404);  // nothing to render yet
}

TEST_F(WebApi, EveryStateAnswerIsNewerThanTheOneBefore) {
    const json first = State();
    const json opened = Post("/api/open", {{"class", "nimbra"}});
    const json polled = State();
    EXPECT_LT(first["serial"].get<std::uint64_t>(), opened["serial"].get<std::uint64_t>());
    EXPECT_LT(opened["serial"].get<std::uint64_t>(), polled["serial"].get<std::uint64_t>());
    EXPECT_EQ(first["run"], polled["run"]);
    // Another run of the editor counts afresh under another name.
    Api restarted(*session);
    const json again = json::parse(restarted.Handle({"GET", "/api/state", {}, ""}).body);
    EXPECT_EQ(again["serial"], 1);
    EXPECT_NE(again["run"], first["run"]);
}

TEST_F(WebApi, APresetClickChangesThePanelAndTheSample) {
    json w = Nimbra();
    std::string before = Sample();
    ASSERT_EQ(before.substr(0, 2), "BM");
    const std::uint64_t version = State()["sample"]["version"];
    json s = Post("/api/click", {{"hwnd", w["hwnd"]}, {"id", IDC_CIRRUS}});
    EXPECT_GT(s["sample"]["version"].get<std::uint64_t>(), version);
    // Cirrus sets Detail 9: the spinner in the answered tree shows it.
    EXPECT_EQ(Control(Window(s, "Nimbra Setup"), IDC_DETAIL_SPIN)["spinner"]["value"], 9.0);
    EXPECT_NE(Sample(), before);
    EXPECT_EQ(Get("/api/viewport.bmp", {{"final", "1"}}).body.substr(0, 2), "BM");
}

TEST_F(WebApi, ASpinnerDragIsOneUndoEntryWithItsLabelAndUndoRedoFollowIt) {
    json w = Nimbra();
    json s = Post("/api/spinner", {{"hwnd", w["hwnd"]},
                                   {"id", IDC_CONTRAST_SPIN},
                                   {"values", {1.5, 2.0, 2.5}},
                                   {"accept", true}});
    EXPECT_EQ(s["undo"]["count"], 1);
    EXPECT_EQ(s["undo"]["label"], "Parameter Change");
    EXPECT_FLOAT_EQ(Stored("Contrast"), 2.5f);

    s = Post("/api/undo");
    EXPECT_EQ(s["undo"]["count"], 0);
    EXPECT_EQ(s["redo"]["label"], "Parameter Change");
    EXPECT_FLOAT_EQ(Stored("Contrast"), 1.0f);
    EXPECT_EQ(Control(Window(s, "Nimbra Setup"), IDC_CONTRAST_SPIN)["spinner"]["value"], 1.0);
    EXPECT_EQ(PostRaw("/api/undo", "{}").status, 409);  // nothing left

    s = Post("/api/redo");
    EXPECT_EQ(s["undo"]["label"], "Parameter Change");
    EXPECT_EQ(s["redo"]["count"], 0);
    EXPECT_FLOAT_EQ(Stored("Contrast"), 2.5f);

    // A cancelled drag leaves no entry; a typed value makes one.
    Post("/api/spinner",
         {{"hwnd", w["hwnd"]}, {"id", IDC_DENSITY_SPIN}, {"values", {0.9}}, {"accept", false}});
    EXPECT_EQ(theHold.UndoCount(), 1);
    s = Post("/api/type", {{"hwnd", w["hwnd"]}, {"id", IDC_DETAIL_EDIT}, {"text", "12"}});
    EXPECT_EQ(s["undo"]["count"], 2);
    EXPECT_FLOAT_EQ(Stored("Detail"), 12.0f);
}

TEST_F(WebApi, TheMapBrowserAsksThePageAndTheChosenMapNamesItsButton) {
    json w = Nimbra();
    json s = Post("/api/click", {{"hwnd", w["hwnd"]}, {"id", IDC_SKY_MAP}});
    ASSERT_FALSE(s["mapBrowser"].is_null());
    EXPECT_EQ(s["mapBrowser"]["slot"], 1);
    EXPECT_EQ(session->Current()->GetSubTexmap(1), nullptr);  // nothing until the page answers

    s = Post("/api/map", {{"kind", "class"}, {"value", "nimbra"}});
    EXPECT_TRUE(s["mapBrowser"].is_null());
    ASSERT_NE(session->Current()->GetSubTexmap(1), nullptr);
    const std::string text = Control(Window(s, "Nimbra Setup"), IDC_SKY_MAP)["text"];
    EXPECT_NE(text.find("Nimbra"), std::string::npos) << text;
    EXPECT_EQ(Control(Window(s, "Nimbra Setup"), IDC_CLOUD_MAP)["text"], "[ Undefined ]");

    // An answer with no question is refused; "none" empties the slot again.
    EXPECT_EQ(PostRaw("/api/map", R"({"kind":"none"})").status, 409);
    // The button of an assigned slot opens the map's panel; from there it is replaced.
    Post("/api/click", {{"hwnd", w["hwnd"]}, {"id", IDC_SKY_MAP}});
    s = Post("/api/map/replace");
    w = Window(s, "Nimbra Setup");
    EXPECT_EQ(PostRaw("/api/map", R"({"kind":"class","value":"nosuch"})").status, 404);
    EXPECT_EQ(PostRaw("/api/map", R"({"kind":"image","value":"../x.png"})").status, 400);
    EXPECT_EQ(PostRaw("/api/map", R"({"kind":"image","value":"missing.png"})").status, 404);
    EXPECT_FALSE(State()["mapBrowser"].is_null());  // refused answers leave the question open
    s = Post("/api/map", {{"kind", "none"}});
    EXPECT_EQ(session->Current()->GetSubTexmap(1), nullptr);
    EXPECT_EQ(Control(Window(s, "Nimbra Setup"), IDC_SKY_MAP)["text"], "[ Undefined ]");

    Post("/api/click", {{"hwnd", w["hwnd"]}, {"id", IDC_CLOUD_MAP}});
    s = Post("/api/map/cancel");
    EXPECT_TRUE(s["mapBrowser"].is_null());
    EXPECT_EQ(session->Current()->GetSubTexmap(0), nullptr);
}

TEST_F(WebApi, AutoKeyMakesAKeyAtTheSliderTime) {
    json w = Nimbra();
    json s = Post("/api/autokey", {{"on", true}});
    EXPECT_TRUE(s["autoKey"]);
    s = Post("/api/time", {{"frame", 10}});
    EXPECT_EQ(s["time"]["frame"], 10.0);
    Post("/api/type", {{"hwnd", w["hwnd"]}, {"id", IDC_DETAIL_EDIT}, {"text", "20"}});
    IParamBlock* pb = loom::ParamBlockOf(session->Current());
    const int row = loom::FindParam(session->Current(), "Detail");
    ASSERT_GE(pb->NumKeys(row), 1);
    bool keyAt10 = false;
    for (const auto& k : pb->Keys(row)) keyAt10 |= k.time == loom::FramesToTicks(10);
    EXPECT_TRUE(keyAt10);
    // Back at frame 0 the old value holds: the change was animated, not constant.
    Post("/api/time", {{"frame", 0}});
    EXPECT_FLOAT_EQ(Stored("Detail"), 7.0f);
    s = Post("/api/autokey", {{"on", false}});
    EXPECT_FALSE(s["autoKey"]);
    EXPECT_EQ(PostRaw("/api/time", R"({"frame":101})").status, 400);
}

TEST_F(WebApi, ASavedSceneLoadsBackWithItsValues) {
    json w = Nimbra();
    Post("/api/type", {{"hwnd", w["hwnd"]}, {"id", IDC_CONTRAST_EDIT}, {"text", "2.5"}});
    Post("/api/scene/save", {{"path", "sky.loom"}});
    ASSERT_TRUE(std::filesystem::exists(root / "sky.loom"));
    Post("/api/type", {{"hwnd", w["hwnd"]}, {"id", IDC_CONTRAST_EDIT}, {"text", "3"}});
    Post("/api/open", {{"class", "nimbra"}});
    EXPECT_EQ(State()["entries"].size(), 2u);

    json s = Post("/api/scene/load", {{"path", "sky.loom"}});
    EXPECT_EQ(s["entries"], json::array({"nimbra"}));
    EXPECT_EQ(s["entry"], "nimbra");
    EXPECT_EQ(s["undo"]["count"], 0);
    EXPECT_FLOAT_EQ(Stored("Contrast"), 2.5f);
    json page = Window(s, "Nimbra Setup");
    EXPECT_EQ(Control(page, IDC_CONTRAST_SPIN)["spinner"]["value"], 2.5);

    EXPECT_EQ(PostRaw("/api/scene/save", R"({"path":"/tmp/x.loom"})").status, 400);
    EXPECT_EQ(PostRaw("/api/scene/save", R"({"path":"a/../../x.loom"})").status, 400);
    EXPECT_EQ(PostRaw("/api/scene/load", R"({"path":"missing.loom"})").status, 404);
    EXPECT_FLOAT_EQ(Stored("Contrast"), 2.5f);  // a failed load keeps the scene
}

TEST_F(WebApi, LoadingAFolderOrANonSceneIsRefusedWithAClearMessage) {
    namespace fs = std::filesystem;
    Nimbra();
    fs::create_directories(root / "folder.loom");
    std::ofstream(root / "junk.loom") << "not a scene";
    std::ofstream(root / "empty.loom");
    ASSERT_EQ(::mkfifo((root / "pipe.loom").c_str(), 0600), 0);
    struct Case {
        const char* path;
        const char* says;
    };
    for (const Case& c : {Case{"folder.loom", "is a folder"}, Case{"junk.loom", "not a scene"},
                          Case{"empty.loom", "not a scene"}, Case{"pipe.loom", "not a regular"},
                          Case{".", "is a folder"}}) {
        ApiResponse r = PostRaw("/api/scene/load", json{{"path", c.path}}.dump());
        EXPECT_EQ(r.status, 400) << c.path;
        const std::string error = json::parse(r.body)["error"];
        EXPECT_NE(error.find(c.says), std::string::npos) << c.path << ": " << error;
    }
    EXPECT_EQ(State()["entries"], json::array({"nimbra"}));  // the scene is kept
}

TEST_F(WebApi, SavingAsksBeforeReplacingASceneAndNeverReplacesOtherFiles) {
    namespace fs = std::filesystem;
    Nimbra();
    Post("/api/scene/save", {{"path", "a.loom"}});
    const auto written = fs::last_write_time(root / "a.loom");
    ApiResponse again = PostRaw("/api/scene/save", R"({"path":"a.loom"})");
    EXPECT_EQ(again.status, 409);
    EXPECT_EQ(json::parse(again.body)["exists"], true) << again.body;
    EXPECT_EQ(fs::last_write_time(root / "a.loom"), written);
    EXPECT_EQ(PostRaw("/api/scene/save", R"({"path":"a.loom","overwrite":"yes"})").status, 400);
    Post("/api/scene/save", {{"path", "a.loom"}, {"overwrite", true}});

    // A picture (or anything else not a scene) is never replaced, asked or not.
    std::ofstream(root / "picture.png") << "\x89PNG\r\n\x1a\n not a scene";
    for (bool overwrite : {false, true}) {
        ApiResponse r = PostRaw("/api/scene/save",
                                json{{"path", "picture.png"}, {"overwrite", overwrite}}.dump());
        EXPECT_EQ(r.status, 409);
        EXPECT_FALSE(json::parse(r.body).contains("exists"));
        EXPECT_NE(r.body.find("not a scene"), std::string::npos) << r.body;
    }
    std::ifstream in(root / "picture.png", std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, std::string("\x89PNG\r\n\x1a\n not a scene"));
    fs::create_directories(root / "dir.loom");
    EXPECT_EQ(PostRaw("/api/scene/save", R"({"path":"dir.loom","overwrite":true})").status, 400);
}

TEST_F(WebApi, LinksLeadingOutOfTheRootAreRefusedForEveryPath) {
    namespace fs = std::filesystem;
    const fs::path outside = root.string() + "_outside";
    fs::create_directories(outside);
    loom::FloatImage img;
    img.width = img.height = 2;
    img.rgba.assign(16, 0.5f);
    std::string err;
    ASSERT_TRUE(loom::WriteImage((outside / "secret.png").string(), img, 8, err)) << err;
    ASSERT_TRUE(loom::WriteImage((root / "inside.png").string(), img, 8, err)) << err;
    json w = Nimbra();
    Post("/api/scene/save", {{"path", "kept.loom"}});
    fs::copy_file(root / "kept.loom", outside / "secret.loom");
    fs::create_symlink(outside / "secret.png", root / "file.png");
    fs::create_symlink(outside / "secret.loom", root / "file.loom");
    fs::create_symlink(outside, root / "folder");
    fs::create_symlink(outside / "new.loom", root / "dangling.loom");
    fs::create_symlink(root / "inside.png", root / "alias.png");  // stays inside: allowed

    // The file list leaves out what leads outside.
    json files = json::parse(Get("/api/files").body);
    EXPECT_EQ(files["images"], json::array({"alias.png", "inside.png"}));
    EXPECT_EQ(files["scenes"], json::array({"kept.loom"}));

    for (const char* image : {"file.png", "folder/secret.png"}) {
        Post("/api/click", {{"hwnd", w["hwnd"]}, {"id", IDC_SKY_MAP}});
        ApiResponse r = PostRaw("/api/map", json{{"kind", "image"}, {"value", image}}.dump());
        EXPECT_EQ(r.status, 400) << image << ": " << r.body;
        Post("/api/map/cancel");
    }
    for (const char* scene : {"file.loom", "folder/secret.loom"}) {
        EXPECT_EQ(PostRaw("/api/scene/load", json{{"path", scene}}.dump()).status, 400) << scene;
    }
    for (const char* scene : {"folder/x.loom", "dangling.loom", "file.loom"}) {
        ApiResponse r =
            PostRaw("/api/scene/save", json{{"path", scene}, {"overwrite", true}}.dump());
        EXPECT_EQ(r.status, 400) << scene << ": " << r.body;
    }
    EXPECT_FALSE(fs::exists(outside / "x.loom"));
    EXPECT_FALSE(fs::exists(outside / "new.loom"));

    // A scene whose image lies outside is refused as a whole; one inside loads.
    Post("/api/click", {{"hwnd", w["hwnd"]}, {"id", IDC_SKY_MAP}});
    Post("/api/map", {{"kind", "image"}, {"value", "alias.png"}});
    Post("/api/scene/save", {{"path", "inside.loom"}});
    auto* bitmap = dynamic_cast<loom::BitmapTex*>(session->Current()->GetSubTexmap(1));
    ASSERT_NE(bitmap, nullptr);
    ASSERT_TRUE(bitmap->SetFileName((outside / "secret.png").string(), err)) << err;
    Post("/api/scene/save", {{"path", "leaks.loom"}});
    // Refused before the image outside is even opened (its decoding alone may take
    // gigabytes): the system reports every open of the file.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (outside / "secret.png").c_str(), IN_OPEN), 0);
    ApiResponse r = PostRaw("/api/scene/load", R"({"path":"leaks.loom"})");
    EXPECT_EQ(r.status, 400);
    EXPECT_NE(r.body.find("outside"), std::string::npos) << r.body;
    alignas(inotify_event) char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "the image outside was opened";
    ::close(watch);
    json s = Post("/api/scene/load", {{"path", "inside.loom"}});
    EXPECT_EQ(s["entries"], json::array({"nimbra"}));
    fs::remove_all(outside);
}

// A scene may name an image that has gone: it still loads when the image would lie under the
// root, and is refused when the nearest folder that exists leads out through a link.
TEST_F(WebApi, AMissingImageIsJudgedByTheFolderItWouldLieIn) {
    namespace fs = std::filesystem;
    const fs::path outside = root.string() + "_away";
    fs::create_directories(outside);
    fs::create_symlink(outside, root / "away");
    loom::FloatImage img;
    img.width = img.height = 1;
    img.rgba.assign(4, 0.5f);
    std::string err;
    ASSERT_TRUE(loom::WriteImage((root / "here.png").string(), img, 8, err)) << err;
    json w = Nimbra();
    Post("/api/click", {{"hwnd", w["hwnd"]}, {"id", IDC_SKY_MAP}});
    Post("/api/map", {{"kind", "image"}, {"value", "here.png"}});
    auto* bitmap = dynamic_cast<loom::BitmapTex*>(session->Current()->GetSubTexmap(1));
    ASSERT_NE(bitmap, nullptr);
    struct Case {
        fs::path image;  ///< written, named by the scene, then removed
        fs::path made;   ///< the folder made for it, removed with it
        int status;
    };
    for (const Case& c : {Case{root / "gone" / "deeper" / "x.png", root / "gone", 200},
                          Case{root / "away" / "x.png", fs::path(), 400},
                          Case{root / "away" / "sub" / "x.png", outside / "sub", 400}}) {
        SCOPED_TRACE(c.image.string());
        fs::create_directories(c.image.parent_path());
        ASSERT_TRUE(loom::WriteImage(c.image.string(), img, 8, err)) << err;
        ASSERT_TRUE(bitmap->SetFileName(c.image.string(), err)) << err;
        Post("/api/scene/save", {{"path", "named.loom"}, {"overwrite", true}});
        fs::remove(c.image);
        if (!c.made.empty()) fs::remove_all(c.made);
        const ApiResponse r = PostRaw("/api/scene/load", R"({"path":"named.loom"})");
        EXPECT_EQ(r.status, c.status) << r.body;
        if (r.status != 200) continue;
        // The loaded scene's texture is open now; its map is the one to point elsewhere.
        bitmap = dynamic_cast<loom::BitmapTex*>(session->Current()->GetSubTexmap(1));
        ASSERT_NE(bitmap, nullptr);
    }
    fs::remove_all(outside);
}

TEST_F(WebApi, FilesListsImagesAndScenesUnderTheRootOnly) {
    namespace fs = std::filesystem;
    fs::create_directories(root / "maps" / "wood" / "deeper");
    fs::create_directories(root / ".cache");
    for (const char* name :
         {"b.PNG", "a.loom", "notes.txt", ".hidden.png", "maps/grain.exr", "maps/wood/oak.jpg",
          "maps/wood/deeper/pine.tif", "maps/wood/deeper/deepest/too_far.png", ".cache/c.png"}) {
        std::ofstream(root / name) << "x";
    }
    ApiResponse r = Get("/api/files");
    ASSERT_EQ(r.status, 200);
    json files = json::parse(r.body);
    // Subfolders two levels down; hidden files and folders and other kinds left out.
    EXPECT_EQ(files["images"], json::array({"b.PNG", "maps/grain.exr", "maps/wood/oak.jpg"}));
    EXPECT_EQ(files["scenes"], json::array({"a.loom"}));
}

TEST_F(WebApi, BadRequestsAnswerOneLineOfJsonWithA4xxStatus) {
    json w = Nimbra();
    const std::string hwnd = w["hwnd"].dump();
    struct Case {
        const char* method;
        std::string path;
        std::string body;
        int status;
    };
    const Case cases[] = {
        {"GET", "/api/nothing", "", 404},
        {"GET", "/elsewhere", "", 404},
        {"DELETE", "/api/state", "", 405},
        {"POST", "/api/click", "{", 400},
        {"POST", "/api/click", "[1,2]", 400},
        {"POST", "/api/click", R"({"id":1164})", 400},
        {"POST", "/api/click", R"({"hwnd":"x","id":1164})", 400},
        {"POST", "/api/click", R"({"hwnd":-5,"id":1164})", 400},
        {"POST", "/api/click", R"({"hwnd":12345678,"id":1164})", 404},
        {"POST", "/api/click", R"({"hwnd":)" + hwnd + R"(,"id":4242})", 404},
        {"POST", "/api/click", R"({"hwnd":)" + hwnd + R"(,"id":1e3})", 400},
        {"POST", "/api/click", R"({"hwnd":)" + hwnd + R"(,"id":99999999999})", 400},
        {"POST", "/api/spinner", R"({"hwnd":)" + hwnd + R"(,"id":1164,"values":[1],"accept":true})",
         400},
        {"POST", "/api/spinner", R"({"hwnd":)" + hwnd + R"(,"id":1100,"values":[],"accept":true})",
         400},
        {"POST", "/api/spinner",
         R"({"hwnd":)" + hwnd + R"(,"id":1100,"values":["1"],"accept":true})", 400},
        {"POST", "/api/spinner", R"({"hwnd":)" + hwnd + R"(,"id":1100,"values":[1],"accept":1})",
         400},
        {"POST", "/api/type", R"({"hwnd":)" + hwnd + R"(,"id":1100,"text":"1"})", 400},
        {"POST", "/api/type", R"({"hwnd":)" + hwnd + R"(,"id":1099,"text":"abc"})", 409},
        {"POST", "/api/color",
         R"({"hwnd":)" + hwnd + R"(,"id":1133,"colors":["red"],"accept":true})", 400},
        {"POST", "/api/slider", R"({"hwnd":)" + hwnd + R"(,"id":1151,"positions":[1.5]})", 400},
        {"POST", "/api/key", R"({"hwnd":)" + hwnd + R"(,"key":"F1"})", 400},
        {"POST", "/api/time", R"({"frame":"10"})", 400},
        {"POST", "/api/time", R"({"frame":-1})", 400},
        {"POST", "/api/open", R"({"class":"nosuch"})", 404},
        {"POST", "/api/open", R"({"entry":"nosuch"})", 404},
        {"POST", "/api/open", R"({"class":5})", 400},
        {"POST", "/api/scene/save", R"({"path":""})", 400},
        {"POST", "/api/map", R"({"kind":"none"})", 409},
        {"POST", "/api/redo", "", 409},
        {"POST", "/api/undo", std::string(loom::web::kMaxBodyBytes + 1, ' '), 413},
    };
    for (const Case& c : cases) {
        ApiResponse r = api->Handle({c.method, c.path, {}, c.body});
        EXPECT_EQ(r.status, c.status) << c.method << " " << c.path << " " << c.body.substr(0, 80);
        EXPECT_EQ(r.contentType, "application/json");
        ASSERT_FALSE(r.body.empty());
        EXPECT_EQ(r.body.find('\n'), r.body.size() - 1) << r.body;
        json j = json::parse(r.body, nullptr, false);
        ASSERT_TRUE(j.is_object()) << r.body;
        EXPECT_TRUE(j["error"].is_string()) << r.body;
    }
    EXPECT_EQ(Get("/api/bitmap", {{"h", "12"}}).status, 404);
    EXPECT_EQ(Get("/api/bitmap", {{"h", "x"}}).status, 400);
    EXPECT_EQ(Get("/api/bitmap").status, 400);
    EXPECT_EQ(Get("/api/imagelist", {{"h", "1"}, {"i", "99999"}}).status, 400);
    // Nothing above changed the texture or recorded an undo entry.
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_FLOAT_EQ(Stored("Contrast"), 1.0f);
}

// The page places a control at its dialog units times the window's base units over 4 and 8:
// with the base units the state answers, every control lands where the host put it.
TEST_F(WebApi, AWindowsBaseUnitsMapItsDialogUnitsToTheHostsPixels) {
    for (const char* cls : {"nimbra", "fervix", "lumidot", "voltrane"}) {
        SCOPED_TRACE(cls);
        const json state = Post("/api/open", {{"class", cls}});
        ASSERT_FALSE(state["windows"].empty());
        for (const json& w : state["windows"]) {
            SCOPED_TRACE(w["title"].get<std::string>());
            const double unitX = w["units"][0].get<double>() / 4.0;
            const double unitY = w["units"][1].get<double>() / 8.0;
            int placed = 0;
            for (const json& c : w["tree"]["children"]) {
                if (c["dlu"].is_null()) continue;
                SCOPED_TRACE(c["id"].get<int>());
                const json& dlu = c["dlu"];
                const json& rect = c["rect"];
                // The host rounds each edge to whole pixels.
                EXPECT_NEAR(rect[0].get<double>(), dlu[0].get<double>() * unitX, 0.5);
                EXPECT_NEAR(rect[1].get<double>(), dlu[1].get<double>() * unitY, 0.5);
                EXPECT_NEAR(rect[2].get<double>() - rect[0].get<double>(),
                            dlu[2].get<double>() * unitX, 1.0);
                EXPECT_NEAR(rect[3].get<double>() - rect[1].get<double>(),
                            dlu[3].get<double>() * unitY, 1.0);
                ++placed;
            }
            EXPECT_GT(placed, 0);
        }
    }
}

}  // namespace

TEST_F(WebApi, TheSampleShowsATileTwoByTwoAndASeedIsSavedWithTheScene) {
    Nimbra();
    Post("/api/sample", {{"sphere", false}});
    const std::string plain = Sample();
    json s = Post("/api/sample", {{"tile", true}});
    EXPECT_TRUE(s["sample"]["tile"]);
    const std::string tiled = Sample();
    EXPECT_NE(tiled, plain);
    // Two by two copies: the BMP's rows (bottom up, 54 bytes of header) repeat.
    const int side = s["sample"]["size"];
    const size_t row = (static_cast<size_t>(side) * 3 + 3) / 4 * 4;
    ASSERT_GE(tiled.size(), 54 + row * side);
    EXPECT_EQ(tiled.substr(54, row / 2), tiled.substr(54 + row * (side / 2), row / 2));

    s = Post("/api/sample", {{"seed", 77}});
    EXPECT_EQ(s["sample"]["seed"], 77);
    EXPECT_TRUE(s["sample"]["seedMatters"]);
    EXPECT_NE(Sample(), tiled);
    Post("/api/scene/save", {{"path", "seeded.loom"}});
    Post("/api/sample", {{"seed", 0}});
    s = Post("/api/scene/load", {{"path", "seeded.loom"}});
    EXPECT_EQ(s["sample"]["seed"], 77);
    EXPECT_EQ(PostRaw("/api/sample", R"({"seed":-3})").status, 400);
    EXPECT_EQ(PostRaw("/api/sample", R"({"seed":2147483648})").status, 400);
}

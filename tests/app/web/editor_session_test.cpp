// The editor's session as the page meets it through the API: previews that follow every
// change of the open texture, sub-map panels with the way back, and typed values checked
// against their spinner's limits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "app/core/loader/plugin_loader.h"
#include "app/web/api.h"
#include "app/web/bmp.h"
#include "app/web/editor_session.h"
#include "foundation/host/base/animate.h"
#include "foundation/host/base/undo.h"
#include "nimbra/resource.h"
#include "tests/support/editor_fixture.h"

namespace {

using loom::web::Api;
using loom::web::ApiResponse;
using nlohmann::json;

/// The first map button of Fervix, Lumidot and Nimbra panels (slot 0), and the second.
constexpr int kFirstMapButton = 1135;
constexpr int kSecondMapButton = 1136;

class EditorSession : public loomtest::EditorFixture {
  protected:
    EditorSession() : EditorFixture("loom_session_") {}

    ApiResponse PostRaw(const std::string& path, const json& body = json::object()) {
        return api->Handle({"POST", path, {}, body.dump()});
    }
    json Post(const std::string& path, const json& body = json::object()) {
        ApiResponse r = PostRaw(path, body);
        EXPECT_EQ(r.status, 200) << path << " " << body.dump() << ": " << r.body;
        return json::parse(r.body);
    }
    /// The full picture of the latest change, as a hash: a failure then prints a number,
    /// not the picture.
    std::size_t Image(const char* path) {
        ApiResponse r = api->Handle({"GET", path, {{"final", "1"}}, ""});
        EXPECT_EQ(r.status, 200) << path;
        EXPECT_EQ(r.body.substr(0, 2), "BM") << path;
        return std::hash<std::string>{}(r.body);
    }
    static std::uint64_t Version(const json& state) { return state["sample"]["version"]; }
    /// The texture's rollup page in a state (the last one: the UV generator's comes first).
    static json Page(const json& state) {
        json page = nullptr;
        for (const json& w : state["windows"]) {
            if (w["rollup"]) page = w;
        }
        EXPECT_FALSE(page.is_null()) << "no panel open";
        return page;
    }
    static json Control(const json& window, int id) {
        for (const json& c : window["tree"]["children"]) {
            if (c["id"] == id) return c;
        }
        return nullptr;
    }
    /// Assigns a new texture of `cls` to the slot behind `button` of the open panel.
    json Assign(const json& page, int button, const std::string& cls) {
        json s = Post("/api/click", {{"hwnd", page["hwnd"]}, {"id", button}});
        EXPECT_FALSE(s["mapBrowser"].is_null()) << "the slot was not empty";
        return Post("/api/map", {{"kind", "class"}, {"value", cls}});
    }
};

// ---- Previews ------------------------------------------------------------------------------

TEST_F(EditorSession, SliderMovesRedrawTheSampleAndTheViewport) {
    json s = Post("/api/open", {{"class", "nimbra"}});
    const std::size_t sample = Image("/api/sample.bmp");
    const std::size_t viewport = Image("/api/viewport.bmp");
    // The slider sets its value without asking for a redraw; the previews follow anyway.
    json moved = Post("/api/slider",
                      {{"hwnd", Page(s)["hwnd"]}, {"id", IDC_USCALE_SLIDER}, {"positions", {80}}});
    EXPECT_GT(Version(moved), Version(s));
    EXPECT_NE(Image("/api/sample.bmp"), sample);
    EXPECT_NE(Image("/api/viewport.bmp"), viewport);
}

TEST_F(EditorSession, UndoAndRedoRedrawTheViewport) {
    json s = Post("/api/open", {{"class", "nimbra"}});
    const std::size_t before = Image("/api/viewport.bmp");
    Post("/api/type", {{"hwnd", Page(s)["hwnd"]}, {"id", IDC_CONTRAST_EDIT}, {"text", "4"}});
    const std::size_t typed = Image("/api/viewport.bmp");
    ASSERT_NE(typed, before);
    json undone = Post("/api/undo");
    EXPECT_EQ(Image("/api/viewport.bmp"), before);
    json redone = Post("/api/redo");
    EXPECT_GT(Version(redone), Version(undone));
    EXPECT_EQ(Image("/api/viewport.bmp"), typed);
}

TEST_F(EditorSession, ChangesOfAnOpenSubMapRedrawItsPreviews) {
    json s = Assign(Page(Post("/api/open", {{"class", "nimbra"}})), kSecondMapButton, "nimbra");
    s = Post("/api/click", {{"hwnd", Page(s)["hwnd"]}, {"id", kSecondMapButton}});
    ASSERT_EQ(s["mapPath"].size(), 1u);
    const std::size_t viewport = Image("/api/viewport.bmp");
    json moved = Post("/api/slider",
                      {{"hwnd", Page(s)["hwnd"]}, {"id", IDC_VSHIFT_SLIDER}, {"positions", {60}}});
    EXPECT_GT(Version(moved), Version(s));
    EXPECT_NE(Image("/api/viewport.bmp"), viewport);
}

// ---- Sub-maps ------------------------------------------------------------------------------

TEST_F(EditorSession, AnAssignedMapButtonOpensTheSubMapAndParentGoesBack) {
    json s = Post("/api/open", {{"class", "nimbra"}});
    EXPECT_TRUE(s["mapPath"].empty());
    Texmap* top = session->Current();
    s = Assign(Page(s), kSecondMapButton, "fervix");
    Texmap* sub = top->GetSubTexmap(1);
    ASSERT_NE(sub, nullptr);

    s = Post("/api/click", {{"hwnd", Page(s)["hwnd"]}, {"id", kSecondMapButton}});
    EXPECT_TRUE(s["mapBrowser"].is_null());
    EXPECT_EQ(session->Current(), sub);
    EXPECT_EQ(Page(s)["title"], "Fervix 2.0 Setup");
    EXPECT_EQ(s["entry"], "nimbra");
    ASSERT_EQ(s["mapPath"].size(), 1u);
    EXPECT_EQ(s["mapPath"][0]["slot"], 1);
    EXPECT_EQ(s["mapPath"][0]["slotName"], "Sky");
    EXPECT_EQ(s["mapPath"][0]["map"], sub->GetFullName());

    // A second level: a Lumidot in the Fervix's first slot, opened through the API.
    s = Assign(Page(s), kFirstMapButton, "lumidot");
    s = Post("/api/submap", {{"slot", 0}});
    EXPECT_EQ(Page(s)["title"], "Lumidot 2.0 Setup");
    ASSERT_EQ(s["mapPath"].size(), 2u);
    EXPECT_EQ(session->Current(), sub->GetSubTexmap(0));

    // Back one step, then to the top.
    s = Post("/api/parent");
    EXPECT_EQ(session->Current(), sub);
    EXPECT_EQ(s["mapPath"].size(), 1u);
    s = Post("/api/submap", {{"slot", 0}});
    s = Post("/api/parent", {{"depth", 0}});
    EXPECT_EQ(session->Current(), top);
    EXPECT_TRUE(s["mapPath"].empty());
    EXPECT_EQ(Page(s)["title"], "Nimbra Setup");
    // The panel shows the sub-map's name on its button.
    const std::string text = Control(Page(s), kSecondMapButton)["text"];
    EXPECT_NE(text.find("Fervix"), std::string::npos) << text;
}

TEST_F(EditorSession, SubMapRequestsThatLeadNowhereAreRefused) {
    json s = Post("/api/open", {{"class", "nimbra"}});
    EXPECT_EQ(PostRaw("/api/submap", {{"slot", 0}}).status, 409);  // empty slot
    EXPECT_EQ(PostRaw("/api/submap", {{"slot", 2}}).status, 404);  // no such slot
    EXPECT_EQ(PostRaw("/api/submap", {{"slot", -1}}).status, 404);
    EXPECT_EQ(PostRaw("/api/parent").status, 400);  // already at the top
    EXPECT_EQ(PostRaw("/api/parent", {{"depth", 0}}).status, 400);
    EXPECT_EQ(PostRaw("/api/map/replace").status, 409);
    Texmap* top = session->Current();
    s = Assign(Page(s), kFirstMapButton, "nimbra");
    Post("/api/submap", {{"slot", 0}});
    EXPECT_EQ(PostRaw("/api/parent", {{"depth", 1}}).status, 400);  // where it is already
    EXPECT_EQ(PostRaw("/api/parent", {{"depth", 7}}).status, 400);
    EXPECT_EQ(session->Current(), top->GetSubTexmap(0));  // refusals leave it open
}

TEST_F(EditorSession, ReplaceGoesBackAndAsksForTheSlotOfTheOpenMap) {
    json s = Post("/api/open", {{"class", "nimbra"}});
    Texmap* top = session->Current();
    s = Assign(Page(s), kSecondMapButton, "nimbra");
    Post("/api/submap", {{"slot", 1}});
    s = Post("/api/map/replace");
    EXPECT_EQ(session->Current(), top);
    EXPECT_TRUE(s["mapPath"].empty());
    ASSERT_FALSE(s["mapBrowser"].is_null());
    EXPECT_EQ(s["mapBrowser"]["slot"], 1);
    s = Post("/api/map", {{"kind", "none"}});
    EXPECT_EQ(top->GetSubTexmap(1), nullptr);
    EXPECT_EQ(Control(Page(s), kSecondMapButton)["text"], "[ Undefined ]");
}

TEST_F(EditorSession, AnImageMapHasNoPanelSoItsButtonAsksForAReplacement) {
    loom::FloatImage image;
    image.width = image.height = 2;
    image.rgba.assign(16, 0.5f);
    const std::vector<std::uint8_t> bmp = loom::web::EncodeBmp(image);
    std::ofstream(root / "grey.bmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
    json s = Post("/api/open", {{"class", "nimbra"}});
    Texmap* top = session->Current();
    Post("/api/click", {{"hwnd", Page(s)["hwnd"]}, {"id", kFirstMapButton}});
    s = Post("/api/map", {{"kind", "image"}, {"value", "grey.bmp"}});
    ASSERT_NE(top->GetSubTexmap(0), nullptr);

    s = Post("/api/click", {{"hwnd", Page(s)["hwnd"]}, {"id", kFirstMapButton}});
    EXPECT_EQ(session->Current(), top);
    EXPECT_TRUE(s["mapPath"].empty());
    ASSERT_FALSE(s["mapBrowser"].is_null());
    EXPECT_EQ(s["mapBrowser"]["slot"], 0);
    EXPECT_EQ(PostRaw("/api/submap", {{"slot", 0}}).status, 409);
    EXPECT_EQ(session->Current(), top);  // still open after the refusal
}

TEST_F(EditorSession, OpeningAnEntryOrLoadingASceneStartsAtTheTexture) {
    json s = Post("/api/open", {{"class", "nimbra"}});
    s = Assign(Page(s), kFirstMapButton, "nimbra");
    Post("/api/submap", {{"slot", 0}});
    Post("/api/scene/save", {{"path", "nested.loom"}});
    s = Post("/api/open", {{"entry", "nimbra"}});
    EXPECT_TRUE(s["mapPath"].empty());
    Post("/api/submap", {{"slot", 0}});
    s = Post("/api/scene/load", {{"path", "nested.loom"}});
    EXPECT_TRUE(s["mapPath"].empty());
    EXPECT_EQ(Page(s)["title"], "Nimbra Setup");
    // The loaded texture's sub-map opens from its button as before.
    s = Post("/api/click", {{"hwnd", Page(s)["hwnd"]}, {"id", kFirstMapButton}});
    EXPECT_EQ(s["mapPath"].size(), 1u);
}

// ---- Typed values --------------------------------------------------------------------------

struct TypedCase {
    const char* name;
    const char* text;
    int status;
    const char* says;  ///< part of the answer's error line
};
void PrintTo(const TypedCase& c, std::ostream* os) { *os << c.name; }

class TypedValue : public EditorSession, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedValue, IsCheckedAgainstTheSpinnersLimits) {
    const TypedCase& c = GetParam();
    json s = Post("/api/open", {{"class", "nimbra"}});
    ApiResponse r = PostRaw(
        "/api/type", {{"hwnd", Page(s)["hwnd"]}, {"id", IDC_CONTRAST_EDIT}, {"text", c.text}});
    EXPECT_EQ(r.status, c.status) << r.body;
    const json after = json::parse(api->Handle({"GET", "/api/state", {}, ""}).body);
    const float shown = Control(Page(after), IDC_CONTRAST_SPIN)["spinner"]["value"];
    if (c.status == 200) {
        EXPECT_EQ(theHold.UndoCount(), 1);
        EXPECT_NE(shown, 1.0f);
    } else {
        EXPECT_NE(json::parse(r.body)["error"].get<std::string>().find(c.says), std::string::npos)
            << r.body;
        EXPECT_EQ(theHold.UndoCount(), 0);
        EXPECT_EQ(shown, 1.0f);  // as it was
        EXPECT_EQ(Control(Page(after), IDC_CONTRAST_EDIT)["text"], "1.0");
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, TypedValue,
    ::testing::Values(TypedCase{"InRange", "5.5", 200, ""}, TypedCase{"AtTheTop", "6", 200, ""},
                      TypedCase{"Spaced", " 0.5 ", 200, ""},
                      TypedCase{"Above", "250", 409, "allowed range is 0 to 6"},
                      TypedCase{"Below", "-0.5", 409, "allowed range is 0 to 6"},
                      TypedCase{"NotANumber", "abc", 409, "allowed range is 0 to 6"},
                      TypedCase{"Trailing", "2x", 409, "not a number"},
                      TypedCase{"Infinite", "inf", 409, "not a number"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace

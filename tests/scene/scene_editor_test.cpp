// The editor's scene load answers what the command line prints on loading: the note about
// converted older data and the warning for a missing image map.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "app/web/api.h"
#include "app/web/editor_session.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/stdmaps/bitmap_tex.h"
#include "tests/support/editor_fixture.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class EditorSceneLoad : public loomtest::EditorFixture {
  protected:
    EditorSceneLoad() : EditorFixture("loom_scene_editor_") {}
    json Load(const std::string& path) {
        loom::web::ApiResponse r =
            api->Handle({"POST", "/api/scene/load", {}, json{{"path", path}}.dump()});
        EXPECT_EQ(r.status, 200) << r.body;
        return json::parse(r.body);
    }
};

}  // namespace

TEST_F(EditorSceneLoad, AnswersTheConversionNoteAndMissingImages) {
    fs::copy_file(fs::path(SCENE_DATA_DIR) / "nimbra_v11.loom", root / "old.loom");
    json answer = Load("old.loom");
    ASSERT_TRUE(answer.contains("notes"));
    EXPECT_EQ(answer["notes"],
              json::array({"old.loom: note: held data of an older version; converted"}));
    EXPECT_TRUE(answer.contains("windows")) << "the state comes with the notes";

    loom::SceneHolder scene;
    Texmap* clouds = loom::CreateTexture(loader, "nimbra");
    scene.Add("clouds", clouds);
    auto* map = new loom::BitmapTex();
    clouds->SetSubTexmap(0, map);
    // A scene naming an image that is not there: saved with a path, then the image goes.
    std::string err;
    loom::FloatImage img;
    img.width = img.height = 1;
    img.rgba = {0, 0, 1, 1};
    ASSERT_TRUE(loom::WriteImage((root / "blue.png").string(), img, 8, err)) << err;
    ASSERT_TRUE(map->SetFileName((root / "blue.png").string(), err)) << err;
    ASSERT_TRUE(loom::SaveSceneFile((root / "map.loom").string(), scene, err)) << err;
    fs::remove(root / "blue.png");
    answer = Load("map.loom");
    ASSERT_EQ(answer["notes"].size(), 1u) << answer["notes"].dump();
    EXPECT_EQ(answer["notes"][0].get<std::string>().rfind(
                  "map.loom: warning: image map 'blue.png' not loaded: ", 0),
              0u)
        << answer["notes"][0];

    answer = Load("old.loom");
    fs::remove(root / "old.loom");
    ASSERT_EQ(api->Handle({"POST", "/api/scene/save", {}, R"({"path":"new.loom"})"}).status, 200);
    EXPECT_EQ(Load("new.loom")["notes"], json::array());
}

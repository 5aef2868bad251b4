#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/stdmaps/bitmap_tex.h"

using namespace loom;

namespace {

class BitmapTexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("loom_bmtex_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        FloatImage img;  // 2 x 2: red, green over blue, white (half transparent)
        img.width = img.height = 2;
        img.rgba = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 1, 1, 1, 0.5f};
        std::string err;
        ASSERT_TRUE(WriteImage(Path(), img, 16, err)) << err;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Path() const { return (dir / "quad.png").string(); }
    std::filesystem::path dir;
};

}  // namespace

TEST_F(BitmapTexTest, SamplesPixelCentresWithTopLineAtVOne) {
    SceneHolder scene;
    auto* tex = new BitmapTex();
    scene.Add("bm", tex);
    std::string err;
    ASSERT_TRUE(tex->SetFileName(Path(), err)) << err;
    Interval v = FOREVER;
    tex->Update(0, v);
    PlaneShadeContext sc;
    sc.Set(0.25f, 0.75f);  // top left
    AColor c = tex->EvalColor(sc);
    EXPECT_NEAR(c.r, 1.0f, 1e-4);
    EXPECT_NEAR(c.g, 0.0f, 1e-4);
    sc.Set(0.75f, 0.25f);  // bottom right: white with alpha 0.5, not premultiplied
    c = tex->EvalColor(sc);
    EXPECT_NEAR(c.r, 1.0f, 1e-4);
    EXPECT_NEAR(c.a, 0.5f, 1e-4);
    sc.Set(1.75f, -0.75f);  // wraps to the same pixel
    EXPECT_NEAR(tex->EvalColor(sc).a, 0.5f, 1e-4);
    sc.Set(0.5f, 0.75f);  // halfway between red and green
    EXPECT_NEAR(tex->EvalColor(sc).r, 0.5f, 1e-4);
    sc.Set(1e30f, -1e30f);
    EXPECT_TRUE(std::isfinite(tex->EvalColor(sc).r));
    EXPECT_FALSE(tex->SetFileName((dir / "missing.png").string(), err));
    EXPECT_EQ(tex->FileName(), Path());  // keeps its image
}

TEST_F(BitmapTexTest, SceneKeepsTheFileName) {
    SceneHolder scene;
    auto* tex = new BitmapTex();
    scene.Add("bm", tex);
    std::string err;
    ASSERT_TRUE(tex->SetFileName(Path(), err)) << err;
    std::vector<std::uint8_t> bytes = SaveSceneBytes(scene);
    SceneHolder loaded;
    SceneLoadReport report;
    ASSERT_TRUE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err)) << err;
    auto* back = dynamic_cast<BitmapTex*>(loaded.Object(0));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->FileName(), Path());
    EXPECT_EQ(back->Width(), 2);
    EXPECT_EQ(back->Sample(0.25f, 0.75f), tex->Sample(0.25f, 0.75f));
}

TEST(ImagePaths, ResolvedFromAndStoredUnderTheSceneFolder) {
    namespace fs = std::filesystem;
    const std::string cwd = fs::current_path().string();
    struct Resolve {
        const char* stored;
        const char* folder;
        std::string expect;
    };
    for (const Resolve& c : {Resolve{"img/a.png", "scenes", "scenes/img/a.png"},
                             Resolve{"../a.png", "scenes/x", "scenes/a.png"},
                             Resolve{"/abs/a.png", "scenes", "/abs/a.png"},
                             Resolve{"a.png", "", "a.png"}, Resolve{"", "scenes", ""}}) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(ResolvedPath(c.stored, c.folder), c.expect);
    }
    struct Store {
        std::string path;
        std::string folder;
        std::string expect;
    };
    for (const Store& c :
         {Store{"scenes/img/a.png", "scenes", "img/a.png"},
          Store{cwd + "/scenes/a.png", "scenes", "a.png"},
          Store{"scenes/a.png", cwd + "/scenes", "a.png"},
          Store{"other/a.png", "scenes", cwd + "/other/a.png"},
          Store{"/abs/a.png", "scenes", "/abs/a.png"}, Store{"a.png", "", "a.png"}}) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(StoredPath(c.path, c.folder), c.expect);
        // What is stored comes back as the same file.
        std::string back = ResolvedPath(StoredPath(c.path, c.folder), c.folder);
        if (!c.folder.empty()) {
            EXPECT_EQ(fs::absolute(back).lexically_normal(),
                      fs::absolute(c.path).lexically_normal());
        }
    }
}

TEST_F(BitmapTexTest, ScenesMoveWithTheirImagesAndNameAMissingOne) {
    namespace fs = std::filesystem;
    fs::path folder = dir / "project";
    fs::create_directories(folder / "maps");
    fs::rename(Path(), folder / "maps" / "quad.png");
    std::string err;
    {
        SceneHolder scene;
        auto* tex = new BitmapTex();
        scene.Add("bm", tex);
        ASSERT_TRUE(tex->SetFileName((folder / "maps" / "quad.png").string(), err)) << err;
        ASSERT_TRUE(SaveSceneFile((folder / "scene.loom").string(), scene, err)) << err;
    }
    // The folder moves; the scene, loaded from its new place, still finds its image.
    fs::rename(folder, dir / "moved");
    const fs::path scenePath = dir / "moved" / "scene.loom";
    {
        SceneHolder loaded;
        SceneLoadReport report;
        ASSERT_TRUE(LoadSceneFile(scenePath.string(), loaded, report, err)) << err;
        auto* back = dynamic_cast<BitmapTex*>(loaded.Object(0));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->Width(), 2);
        EXPECT_EQ(back->FileName(), (dir / "moved" / "maps" / "quad.png").string());
        EXPECT_TRUE(report.warnings.empty());
    }
    // Without its image it still loads, and says which file is missing.
    fs::remove(dir / "moved" / "maps" / "quad.png");
    SceneHolder loaded;
    SceneLoadReport report;
    ASSERT_TRUE(LoadSceneFile(scenePath.string(), loaded, report, err)) << err;
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(report.warnings[0].find("image map 'maps/quad.png' not loaded"), std::string::npos)
        << report.warnings[0];
    EXPECT_NE(report.warnings[0].find((dir / "moved" / "maps" / "quad.png").string()),
              std::string::npos)
        << report.warnings[0];
}

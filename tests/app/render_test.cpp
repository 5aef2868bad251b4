#include <gtest/gtest.h>

#include "app/cli/texture_setup.h"
#include "app/loader/plugin_loader.h"
#include "app/render/renderer.h"
#include "foundation/host/scene_io.h"

using namespace loom;

namespace {

class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(loader.Load(NIMBRA_SO, err)) << err;
        tex = CreateTexture(loader, "nimbra");
        scene.Add("t", tex);
    }
    PluginLoader loader;
    SceneHolder scene;
    Texmap* tex = nullptr;
};

}  // namespace

TEST_F(RenderTest, ThreadCountDoesNotChangeThePixels) {
    RenderOptions opt;
    opt.width = 37;
    opt.height = 41;  // several bands, the last one short
    opt.mono = opt.normal = true;
    RenderImages one, two;
    opt.threads = 1;
    ASSERT_TRUE(RenderTexture(tex, opt, one));
    opt.threads = 2;
    ASSERT_TRUE(RenderTexture(tex, opt, two));
    EXPECT_EQ(one.color.rgba, two.color.rgba);
    EXPECT_EQ(one.mono.rgba, two.mono.rgba);
    EXPECT_EQ(one.normal.rgba, two.normal.rgba);
}

TEST_F(RenderTest, PixelsAreTheTextureEvaluatedAtPixelCentres) {
    RenderOptions opt;
    opt.width = 5;
    opt.height = 3;
    RenderImages img;
    ASSERT_TRUE(RenderTexture(tex, opt, img));
    PlaneShadeContext sc;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            sc.Set(static_cast<float>((x + 0.5) / 5), static_cast<float>(1.0 - (y + 0.5) / 3));
            AColor c = tex->EvalColor(sc);
            size_t i = (static_cast<size_t>(y) * 5 + static_cast<size_t>(x)) * 4;
            EXPECT_EQ(img.color.rgba[i], c.r);
            EXPECT_EQ(img.color.rgba[i + 2], c.b);
            EXPECT_EQ(img.color.rgba[i + 3], 1.0f);
        }
    }
}

TEST_F(RenderTest, AbortStopsTheRender) {
    RenderOptions opt;
    opt.width = opt.height = 64;
    std::atomic<bool> abort{true};
    RenderImages img;
    EXPECT_FALSE(RenderTexture(tex, opt, img, {}, &abort));
}

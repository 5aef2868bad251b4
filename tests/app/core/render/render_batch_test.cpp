// The renderer's batch path: rows through the texture's batch interface give the pixels of
// the per-sample path (a map without the interface is rendered that way), for every output
// and thread count, and the stats name what ran.
#include <gtest/gtest.h>

#include <string>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "app/core/render/renderer.h"
#include "foundation/host/sdk/scene_io.h"

using namespace loom;

namespace {

/// Forwards the per-sample calls to another map and answers no extension interface: what
/// a third-party texture looks like to the renderer.
class SampleBySample final : public Texmap {
  public:
    explicit SampleBySample(Texmap* inner) : inner_(inner) {}
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    AColor EvalColor(ShadeContext& sc) override { return inner_->EvalColor(sc); }
    float EvalMono(ShadeContext& sc) override { return inner_->EvalMono(sc); }
    Point3 EvalNormalPerturb(ShadeContext& sc) override { return inner_->EvalNormalPerturb(sc); }
    void Update(TimeValue t, Interval& valid) override { inner_->Update(t, valid); }
    void Reset() override {}
    Interval Validity(TimeValue t) override { return inner_->Validity(t); }
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }

  private:
    Texmap* inner_;
};

struct BatchRenderCase {
    const char* plugin;
    const char* className;
    bool color, mono, normal;
    bool sphere = false;
};

class RenderBatch : public ::testing::TestWithParam<BatchRenderCase> {
  protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(loader.Load(GetParam().plugin, err)) << err;
        tex = CreateTexture(loader, GetParam().className);
        ASSERT_NE(tex, nullptr);
        scene.Add("t", tex);
        opt.width = 45;  // rows longer than one working piece of the texture
        opt.height = 37;
        opt.color = GetParam().color;
        opt.mono = GetParam().mono;
        opt.normal = GetParam().normal;
        opt.sphere = GetParam().sphere;
    }
    static void ExpectSame(const RenderImages& a, const RenderImages& b) {
        EXPECT_EQ(a.color.rgba, b.color.rgba);
        EXPECT_EQ(a.mono.rgba, b.mono.rgba);
        EXPECT_EQ(a.normal.rgba, b.normal.rgba);
    }
    PluginLoader loader;
    SceneHolder scene;
    Texmap* tex = nullptr;
    RenderOptions opt;
};

TEST_P(RenderBatch, WithoutTheInterfaceTheSamePixelsRenderSampleBySample) {
    ASSERT_NE(GetTexmapBatch(tex), nullptr);
    SampleBySample plain(tex);
    ASSERT_EQ(GetTexmapBatch(&plain), nullptr);
    RenderImages batched, single;
    RenderStats batchedStats, singleStats;
    ASSERT_TRUE(RenderTexture(tex, opt, batched, {}, nullptr, &batchedStats));
    ASSERT_TRUE(RenderTexture(&plain, opt, single, {}, nullptr, &singleStats));
    ExpectSame(batched, single);

    const int outputs = int{opt.color} + int{opt.mono} + int{opt.normal};
    EXPECT_EQ(batchedStats.samples, 45LL * 37 * outputs * (opt.sphere ? 4 : 1));
    EXPECT_EQ(singleStats.samples, batchedStats.samples);
    EXPECT_GT(batchedStats.seconds, 0.0);
    EXPECT_STREQ(singleStats.isa, "none");
    const std::string isa = batchedStats.isa;
    EXPECT_TRUE(isa == "avx512" || isa == "avx2" || isa == "sse2" || isa == "scalar") << isa;
}

TEST_P(RenderBatch, ThreadCountDoesNotChangeTheBatchedPixels) {
    RenderImages one, two;
    opt.threads = 1;
    ASSERT_TRUE(RenderTexture(tex, opt, one));
    opt.threads = 2;
    ASSERT_TRUE(RenderTexture(tex, opt, two));
    ExpectSame(one, two);
}

INSTANTIATE_TEST_SUITE_P(
    Textures, RenderBatch,
    ::testing::Values(BatchRenderCase{NIMBRA_SO, "nimbra", true, true, true},
                      BatchRenderCase{NIMBRA_SO, "nimbra", false, true, false},
                      // Voltrane draws random numbers: several outputs go pixel by pixel,
                      // one output row by row.
                      BatchRenderCase{VOLTRANE_SO, "voltrane", true, true, true},
                      BatchRenderCase{VOLTRANE_SO, "voltrane", true, false, false},
                      BatchRenderCase{VOLTRANE_SO, "voltrane", false, false, true},
                      // The sample sphere: rows of the hits, the misses between them.
                      BatchRenderCase{NIMBRA_SO, "nimbra", true, true, true, true},
                      BatchRenderCase{VOLTRANE_SO, "voltrane", true, false, false, true}),
    [](const auto& p) {
        const BatchRenderCase& c = p.param;
        return std::string(c.className) + (c.color ? "_color" : "") + (c.mono ? "_mono" : "") +
               (c.normal ? "_normal" : "") + (c.sphere ? "_sphere" : "");
    });

}  // namespace

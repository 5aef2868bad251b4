#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "app/core/render/renderer.h"
#include "foundation/host/sdk/scene_io.h"
#include "tests/support/app_fixture.h"

using namespace loom;

namespace {

// Sanitizers reserve terabytes of address space, so an address-space limit means nothing.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override { plugin.Make(NIMBRA_SO, "nimbra"); }
    loomtest::PluginTexture plugin;
    PluginLoader& loader = plugin.loader;
    SceneHolder& scene = plugin.scene;
    Texmap*& tex = plugin.tex;
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

TEST_F(RenderTest, ThreadsAreCappedAtTheBandsAndTheMaximum) {
    RenderOptions opt;
    for (const auto& [height, asked, runs] :
         std::vector<std::tuple<int, int, int>>{{41, 100000, 3},
                                                {1, 8, 1},
                                                {16, 2, 1},
                                                {17, 2, 2},
                                                {32768, 100000, kMaxRenderThreads},
                                                {32768, 7, 7},
                                                {64, 0, 1},
                                                {64, -5, 1}}) {
        SCOPED_TRACE(testing::Message() << height << " rows, " << asked << " threads");
        opt.height = height;
        opt.threads = asked;
        EXPECT_EQ(RenderThreadCount(opt), runs);
    }
    // A count far beyond the bands renders what one thread renders.
    opt.width = 9;
    opt.height = 70;
    opt.mono = true;
    RenderImages one, many;
    opt.threads = 1;
    ASSERT_TRUE(RenderTexture(tex, opt, one));
    opt.threads = 100000;
    ASSERT_TRUE(RenderTexture(tex, opt, many));
    EXPECT_EQ(one.color.rgba, many.color.rgba);
    EXPECT_EQ(one.mono.rgba, many.mono.rgba);
}

// With too little address space for the threads' stacks, starting them fails part-way:
// the render reports the system's reason and joins the threads it started, instead of
// ending the process. Runs in a child process, whose address space it limits.
TEST_F(RenderTest, AThreadThatCannotStartIsAnErrorWithTheReason) {
    if (kSanitized) GTEST_SKIP() << "sanitizers need the address space this test takes away";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto renderWithLittleAddressSpace = [this] {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
        rlimit limit{now + (48u << 20), now + (48u << 20)};
        if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
        RenderOptions opt;
        opt.width = 1;
        opt.height = kRenderBandRows * kMaxRenderThreads;
        opt.threads = kMaxRenderThreads;
        RenderImages img;
        try {
            RenderTexture(tex, opt, img);
        } catch (const std::runtime_error& e) {
            std::fprintf(stderr, "%s\n", e.what());
            std::_Exit(0);
        }
        std::_Exit(2);
    };
    EXPECT_EXIT(renderWithLittleAddressSpace(), testing::ExitedWithCode(0),
                "cannot start render thread [0-9]+ of 256: .*Resource temporarily unavailable");
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

// A render returns when its last row is done, not at the next progress tick (50 ms): a
// hundred tiny renders on two threads take a fraction of the five seconds ticks would.
TEST_F(RenderTest, ARenderReturnsAsSoonAsItsRowsAreDone) {
    RenderOptions opt;
    opt.width = opt.height = 4;
    opt.threads = 2;
    int ticks = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) {
        RenderImages img;
        ASSERT_TRUE(RenderTexture(tex, opt, img, [&ticks](int, int) { ++ticks; }));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.5);
    EXPECT_GE(ticks, 100);  // the closing report of each render
}

TEST_F(RenderTest, AbortStopsTheRender) {
    RenderOptions opt;
    opt.width = opt.height = 64;
    std::atomic<bool> abort{true};
    RenderImages img;
    EXPECT_FALSE(RenderTexture(tex, opt, img, {}, &abort));
}

// Several frei0r instances at work at once, as a video editor runs them: each gives the
// frames it gives alone (run under ThreadSanitizer by scripts/tsan.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/core/jobs/texture_render.h"
#include "app/core/loader/process_plugins.h"
#include "app/core/model/param_info.h"
#include "app/core/render/quantize.h"
#include "app/frei0r/anaglyph_effect.h"
#include "app/frei0r/texture_source.h"

namespace loom::frei0r {
namespace {

constexpr unsigned kW = 48, kH = 32;
using Frame = std::vector<std::uint32_t>;

/// Two frames of the nimbra source and their anaglyph through the mixer.
std::vector<Frame> Work(double density) {
    std::vector<Frame> out;
    f0r_instance_t source = TextureConstruct("nimbra", kW, kH);
    f0r_instance_t mixer = AnaglyphConstruct(AnaglyphForm::kMixer, kW, kH);
    EXPECT_TRUE(source && mixer);
    if (!source || !mixer) return out;
    f0r_param_double d = density;
    TextureSetParam(source, &d, 4);
    const char* method = "grey";
    TextureSetParam(source, &d, 99);  // a bad index is logged and ignored
    AnaglyphSetParam(mixer, &method, 0);
    for (double t : {0.0, 0.5}) {
        Frame left(kW * kH), right(kW * kH), both(kW * kH);
        TextureUpdate(source, t, left.data());
        TextureUpdate(source, t + 1.0 / 30, right.data());
        AnaglyphUpdate(mixer, left.data(), right.data(), both.data());
        out.push_back(left);
        out.push_back(both);
    }
    AnaglyphDestruct(mixer);
    TextureDestruct(source);
    return out;
}

TEST(Frei0rThreads, InstancesInParallelGiveTheFramesTheyGiveAlone) {
    ASSERT_EQ(TextureInit("nimbra"), 1);
    f0r_plugin_info_t info{};
    TextureInfo("nimbra", &info);
    ASSERT_EQ(info.num_params, 14 + 3);  // the panel's, then the seed and tile parameters
    const double densities[] = {0.1, 0.3, 0.6};
    std::vector<std::vector<Frame>> alone;
    for (double d : densities) alone.push_back(Work(d));
    std::vector<std::vector<Frame>> together(std::size(densities));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < std::size(densities); ++i) {
        threads.emplace_back([&, i] { together[i] = Work(densities[i]); });
    }
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < std::size(densities); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(together[i].size(), alone[i].size());
        for (size_t f = 0; f < alone[i].size(); ++f) EXPECT_EQ(together[i][f], alone[i][f]);
    }
    // Different settings give different frames: the comparison above can fail.
    EXPECT_NE(alone[0][0], alone[1][0]);
}

TEST(Frei0rThreads, SeedAndTileParametersRenderTheCoresSettings) {
    // One class a process, as one library holds one class: nimbra, as above.
    ASSERT_EQ(TextureInit("nimbra"), 1);
    f0r_plugin_info_t info{};
    TextureInfo("nimbra", &info);
    ASSERT_GT(info.num_params, 3);
    const int seed = info.num_params - 3, tile = seed + 1, tiles = seed + 2;
    f0r_param_info_t last{};
    TextureParamInfo("nimbra", &last, tiles);
    EXPECT_STREQ(last.name, "Tiles");
    f0r_instance_t source = TextureConstruct("nimbra", 32, 24);
    ASSERT_NE(source, nullptr);
    const char* seven = "7";
    const char* twoByThree = "2x3";
    const char* bad[] = {"-1", "2147483648", "seven", "0x3", "65x1"};
    TextureSetParam(source, &seven, seed);
    TextureSetParam(source, &twoByThree, tiles);
    for (const char*& text : bad) {  // logged, the values kept
        TextureSetParam(source, &text, seed);
        TextureSetParam(source, &text, tiles);
    }
    f0r_param_bool on = 1.0, gotTile = 0.0;
    TextureSetParam(source, &on, tile);
    TextureGetParam(source, &gotTile, tile);
    EXPECT_EQ(gotTile, 1.0);
    f0r_param_string got = nullptr;
    TextureGetParam(source, &got, seed);
    EXPECT_STREQ(got, "7");
    TextureGetParam(source, &got, tiles);
    EXPECT_STREQ(got, "2x3");
    Frame frame(32 * 24);
    TextureUpdate(source, 1.0, frame.data());

    std::string error;
    const PluginLoader* plugins = PluginsNearCore("frei0r_threads_test", error);
    ASSERT_NE(plugins, nullptr) << error;
    std::lock_guard<std::recursive_mutex> model(ModelLock());
    const std::vector<ParamInfo> params = DescribeTextureClass(*plugins, "nimbra").params;
    TextureSettings settings = DefaultTextureSettings("nimbra", params);
    settings.width = 32;
    settings.height = 24;
    settings.frame = 30;
    settings.seed = 7;
    settings.tile = true;
    settings.tiles = {2, 3};
    const FloatImage want = RenderTextureSettings(*plugins, params, settings);
    Frame wanted(32 * 24);
    QuantizePixels8(want.rgba.data(), wanted.size(),
                    reinterpret_cast<std::uint8_t*>(wanted.data()));
    EXPECT_EQ(frame, wanted);
    // The three tiles down repeat every eight lines, and the seed changes the pattern.
    EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + 32 * 8, frame.begin() + 32 * 16));
    settings.seed = 0;
    const FloatImage builtIn = RenderTextureSettings(*plugins, params, settings);
    EXPECT_NE(builtIn.rgba, want.rgba);
    TextureDestruct(source);
}

TEST(Frei0rThreads, TimesWithinAMillisecondOfAFrameAreThatFrame) {
    EXPECT_EQ(FramesOfTime(0.033), 1.0);  // FFmpeg's millisecond for frame 1 at 30 a second
    EXPECT_EQ(FramesOfTime(2.967), 89.0);
    EXPECT_EQ(FramesOfTime(0.04), 1.2);  // frame 1 at 25 a second stays where it is
    EXPECT_EQ(FramesOfTime(0.0), 0.0);
}

TEST(Frei0rThreads, ZeroSizesAndMissingFramesNeverEndTheHost) {
    EXPECT_EQ(TextureConstruct("nimbra", 0, 10), nullptr);
    EXPECT_EQ(AnaglyphConstruct(AnaglyphForm::kMixer, 10, 0), nullptr);
    EXPECT_EQ(AnaglyphConstruct(AnaglyphForm::kSideBySide, 1, 10), nullptr);
    f0r_instance_t mixer = AnaglyphConstruct(AnaglyphForm::kMixer, 4, 4);
    ASSERT_NE(mixer, nullptr);
    Frame out(16, 0xFFFFFFFFu), in(16, 0x80808080u);
    AnaglyphUpdate(mixer, in.data(), nullptr, out.data());
    EXPECT_EQ(out, Frame(16, 0u));  // a transparent frame
    AnaglyphUpdate(nullptr, in.data(), in.data(), out.data());
    AnaglyphDestruct(mixer);
    TextureUpdate(nullptr, 0.0, out.data());
}

}  // namespace
}  // namespace loom::frei0r

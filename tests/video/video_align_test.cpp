// loomhost anaglyph --align, --parallax and --crop on stereo video, run as a user runs it:
// a clip of two shots whose right views are moved by different known offsets is corrected
// shot by shot and cut to one size, the same bytes each time and in parts as whole; a flat
// clip is refused or, with --align=try, composed as it is.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/core/video/shot_alignment.h"
#include "tests/stereo/stereo_scene.h"
#include "tests/support/cli_fixture.h"
#include "tests/video/test_clip.h"
#include "tests/video/video_expect.h"

using loom::Image16;

namespace {

constexpr int kW = 480, kH = 360;
// Each shot long enough for every sample frame of its estimate.
constexpr int kShotFrames = 26;
constexpr double kShotDy[2] = {6, -4};

class VideoAlignCli : public loomtest::CliFixture {
  protected:
    /// A side-by-side clip of two shots (different scenes), the right view of shot s moved
    /// kShotDy[s] pixels down; within a shot the scene pans one pixel a frame.
    std::string TwoShotClip() {
        std::vector<Image16> frames;
        for (int s = 0; s < 2; ++s) {
            const Image16 scene = stereotest::PhotoLike(kW + kShotFrames, kH, 40 + s);
            for (int i = 0; i < kShotFrames; ++i) {
                const Image16 left = Window(scene, i);
                frames.push_back(videotest::Pack("sbs-left", left,
                                                 stereotest::Perturbed(left, {kShotDy[s], 0, 1})));
            }
        }
        videotest::WriteClip(Path("two_shots.mkv"), frames);
        return Path("two_shots.mkv");
    }
    static Image16 Window(const Image16& scene, int x0) {
        Image16 out = scene;
        out.width = kW;
        out.pixels.resize(static_cast<std::size_t>(kW) * kH);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                out.pixels[static_cast<std::size_t>(y) * kW + x] =
                    scene.pixels[static_cast<std::size_t>(y) * scene.width + x + x0];
            }
        }
        return out;
    }
    nlohmann::json ReadJson(const std::string& name) {
        std::ifstream in(Path(name));
        return nlohmann::json::parse(in);
    }
};

/// The mean absolute difference (8-bit levels) between the left and right halves of a
/// side-by-side frame, over the green channel.
double HalvesDiffer(const Image16& frame) {
    const int w = frame.width / 2;
    double sum = 0;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t row = static_cast<std::size_t>(y) * frame.width;
            sum += std::abs(frame.pixels[row + x].g - frame.pixels[row + x + w].g) / 257.0;
        }
    }
    return sum / (static_cast<double>(w) * frame.height);
}

TEST_F(VideoAlignCli, ReportsEachShotsCorrection) {
    const std::string clip = TwoShotClip();
    auto r = Run("anaglyph " + clip + " --sbs --align=report --report " + Path("r.json"));
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json j = ReadJson("r.json");
    ASSERT_EQ(j["shots"].size(), 2u) << j.dump(1);
    for (int s = 0; s < 2; ++s) {
        SCOPED_TRACE("shot " + std::to_string(s + 1));
        const nlohmann::json& shot = j["shots"][s];
        EXPECT_EQ(shot["first_frame"].get<int>(), s * kShotFrames);
        EXPECT_EQ(shot["last_frame"].get<int>(), (s + 1) * kShotFrames - 1);
        EXPECT_EQ(shot["samples_matched"].get<int>(), 2);  // frames 0 and 12 agree
        EXPECT_NEAR(shot["dy_px"].get<double>(), kShotDy[s], 0.1);
        EXPECT_NEAR(shot["rotation_deg"].get<double>(), 0, 0.02);
        EXPECT_NEAR(shot["scale"].get<double>(), 1, 5e-4);
        EXPECT_FALSE(shot["aligned"].get<bool>());  // reported, not applied
    }
    // The printed lines name the shots; nothing is composed without -o.
    EXPECT_NE(r.out.find("shot 2 (frames 26-51"), std::string::npos) << r.out;
}

TEST_F(VideoAlignCli, AlignsEachShotAndCutsEveryFrameAlike) {
    const std::string clip = TwoShotClip();
    auto r = Run("anaglyph " + clip + " --sbs --align --output-layout sbs --codec ffv1 --report " +
                 Path("r.json") + " -o " + Path("out.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Image16> out = videotest::DecodeFrames(Path("out.mkv"));
    ASSERT_EQ(out.size(), static_cast<std::size_t>(2 * kShotFrames));
    const nlohmann::json j = ReadJson("r.json");
    const int cropW = j["crop"]["width"].get<int>(), cropH = j["crop"]["height"].get<int>();
    // The rows shot 1's views cover (it loses its bottom 6) less the margin on every side
    // (4 rows here). Shot 2 loses its top 4 and the row its edge blends into: one more than
    // the margin, which is warned of.
    const int m = static_cast<int>(std::ceil(loom::kCropMarginShare * kH));
    EXPECT_EQ(cropH, kH - 6 - 2 * m);
    EXPECT_EQ(cropW, kW - 2 * m);  // nothing moved sideways
    EXPECT_EQ(j["crop"]["y"].get<int>(), m);
    EXPECT_TRUE(j["shots"][0]["warnings"].empty());
    ASSERT_EQ(j["shots"][1]["warnings"].size(), 1u);
    EXPECT_NE(j["shots"][1]["warnings"][0].get<std::string>().find("up to 1 px of the frame's edge "
                                                                   "black"),
              std::string::npos);
    for (const int i : {0, kShotFrames - 1, kShotFrames, 2 * kShotFrames - 1}) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(out[static_cast<std::size_t>(i)].width, 2 * cropW);
        EXPECT_EQ(out[static_cast<std::size_t>(i)].height, cropH);
        // Matched rows agree: the corrected right view is the left one, less the
        // resampling's softening.
        EXPECT_LT(HalvesDiffer(out[static_cast<std::size_t>(i)]), 2.0);
    }
    // The report is written at the end: a read-only one, which is not replaced without
    // --force, is refused before the video is begun.
    std::filesystem::permissions(Path("r.json"), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::group_read |
                                                     std::filesystem::perms::others_read);
    r = Run("anaglyph " + clip + " --sbs --align --codec ffv1 --report " + Path("r.json") + " -o " +
            Path("again.mkv"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("read-only"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(Path("again.mkv")));
    // The same composition unaligned differs by far more.
    r = Run("anaglyph " + clip + " --sbs --output-layout sbs --codec ffv1 -o " + Path("raw.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Image16> raw = videotest::DecodeFrames(Path("raw.mkv"));
    ASSERT_FALSE(raw.empty());
    EXPECT_GT(HalvesDiffer(raw[0]), 6.0);
}

TEST_F(VideoAlignCli, RefusesAFlatClipUnlessAskedToTry) {
    std::vector<Image16> frames;
    for (int i = 0; i < 4; ++i) {
        Image16 view = videotest::View(kW, kH, 0);
        for (BMM_Color_64& p : view.pixels) p = {30000, 30000, 30000, 65535};
        frames.push_back(videotest::Pack("sbs-left", view, view));
    }
    videotest::WriteClip(Path("flat.mkv"), frames);
    auto r =
        Run("anaglyph " + Path("flat.mkv") + " --sbs --align --codec ffv1 -o " + Path("a.mkv"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("shot 1 (frames 0-3"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(Path("a.mkv")));

    r = Run("anaglyph " + Path("flat.mkv") + " --sbs --align=try --codec ffv1 -o " + Path("b.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("composed unaligned"), std::string::npos) << r.err;
    const std::vector<Image16> out = videotest::DecodeFrames(Path("b.mkv"));
    ASSERT_EQ(out.size(), 4u);
    // Nothing moved; the frame is cut by the margin kept for shots that could be aligned.
    const int m = static_cast<int>(std::ceil(loom::kCropMarginShare * kH));
    EXPECT_EQ(out[0].width, kW - 2 * m);
    EXPECT_EQ(out[0].height, kH - 2 * m);
}

TEST_F(VideoAlignCli, AlignedOutputIsTheSameEachRunAndInPartsAsWhole) {
    const std::string clip = TwoShotClip();
    const std::string common = "anaglyph " + clip + " --sbs --align --codec ffv1 -o ";
    for (const char* name : {"a.mkv", "b.mkv"}) {
        auto r = Run(common + Path(name));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const std::vector<Image16> whole = videotest::DecodeFrames(Path("a.mkv"));
    const std::vector<Image16> again = videotest::DecodeFrames(Path("b.mkv"));
    ASSERT_EQ(whole.size(), static_cast<std::size_t>(2 * kShotFrames));
    ASSERT_EQ(again.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_TRUE(whole[i].pixels == again[i].pixels) << "frame " << i;
    }
    // Parts read the whole clip first and come out as the one-pass run does; their edges
    // lie inside the shots.
    std::vector<Image16> joined;
    for (int k = 0; k < 3; ++k) {
        auto r = Run(common + Path("p.mkv") + " --shard " + std::to_string(k) + "/3");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string part = Path("p.part" + std::to_string(k) + "-of-3.mkv");
        for (Image16& f : videotest::DecodeFrames(part)) joined.push_back(std::move(f));
    }
    ASSERT_EQ(joined.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_TRUE(joined[i].pixels == whole[i].pixels) << "frame " << i;
    }
}

}  // namespace

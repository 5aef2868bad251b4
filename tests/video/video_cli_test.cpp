// loomhost anaglyph on stereo video, run as a user runs it, on clips the tests write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
}

#include "app/core/stereo/compose_pair.h"
#include "app/core/video/video_input.h"
#include "tests/support/cli_fixture.h"
#include "tests/video/test_clip.h"
#include "tests/video/video_expect.h"

namespace fs = std::filesystem;
using loom::Image16;
using videotest::ClipOptions;

namespace {

constexpr int kFrames = 5;

class VideoCli : public loomtest::CliFixture {
  protected:
    /// Left and right views of frame i.
    static Image16 LeftView(int i, int w = 12, int h = 8, int depth = 8) {
        return videotest::View(w, h, 2 * i, depth);
    }
    static Image16 RightView(int i, int w = 12, int h = 8, int depth = 8) {
        return videotest::View(w, h, 2 * i + 1, depth);
    }

    /// Writes a clip of kFrames frames packed in `layout`.
    std::string PackedClip(const std::string& name, const std::string& layout,
                           const ClipOptions& options = {}) {
        std::vector<Image16> frames;
        for (int i = 0; i < kFrames; ++i) {
            frames.push_back(videotest::Pack(layout, LeftView(i), RightView(i)));
        }
        videotest::WriteClip(Path(name), frames, options);
        return Path(name);
    }

    /// Every frame of a video, decoded as the program decodes its inputs.
    std::vector<Image16> Frames(const std::string& name) {
        return videotest::DecodeFrames(Path(name));
    }

    /// Expects `name`'s frames to be the still path's anaglyphs of the views, at 8 bits.
    void ExpectStillAnaglyphs(const std::string& name, const std::string& layout,
                              const DioptrixConfig& config = {}) {
        std::vector<Image16> got = Frames(name);
        ASSERT_EQ(got.size(), static_cast<size_t>(kFrames));
        for (int i = 0; i < kFrames; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            Image16 l, r;
            videotest::Unpack(layout, LeftView(i), RightView(i), l, r);
            const Image16 want = videotest::StillAnaglyph(l, r, config);
            ASSERT_EQ(got[i].width, want.width);
            ASSERT_EQ(got[i].height, want.height);
            int wrong = 0;
            for (size_t p = 0; p < want.pixels.size(); ++p) {
                const BMM_Color_64 &g = got[i].pixels[p], &w = want.pixels[p];
                auto q = [](WORD v) { return (v + 128) / 257 * 257; };
                if (g.r != q(w.r) || g.g != q(w.g) || g.b != q(w.b)) ++wrong;
            }
            EXPECT_EQ(wrong, 0);
        }
    }

    bool OnlyFiles(std::initializer_list<std::string> names) {
        bool ok = true;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n == "stderr.txt") continue;
            if (std::find(names.begin(), names.end(), n) == names.end()) {
                ADD_FAILURE() << "unexpected file " << n;
                ok = false;
            }
        }
        return ok;
    }
};

class VideoLayouts : public VideoCli, public ::testing::WithParamInterface<const char*> {};

TEST_P(VideoLayouts, EveryFrameEqualsTheStillPathOnThePair) {
    const std::string layout = GetParam();
    PackedClip("in.mkv", layout);
    auto r = Run("anaglyph " + Path("in.mkv") + " --layout " + layout + " --codec ffv1 -o " +
                 Path("out.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectStillAnaglyphs("out.mkv", layout);
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, VideoLayouts,
                         ::testing::Values("sbs-left", "sbs-right", "sbs-half-left",
                                           "sbs-half-right", "tb-left", "tb-right", "tb-half-left",
                                           "tb-half-right"),
                         [](const auto& p) {
                             std::string n = p.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

TEST_F(VideoCli, TheFiltersEyeColoursAndCompensationsApplyToEveryFrame) {
    PackedClip("in.mkv", "tb-left");
    auto r = Run("anaglyph " + Path("in.mkv") + " --layout tb-left --codec ffv1 --left-eye blue " +
                 "--right-eye red --left-comp 0 --right-comp -0.3 -o " + Path("out.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    DioptrixConfig config;
    config.leftEyeColor = static_cast<std::uint8_t>(EyeColor::Blue);
    config.rightEyeColor = static_cast<std::uint8_t>(EyeColor::Red);
    config.leftCompensation = 0.0f;
    config.rightCompensation = -0.3f;
    ExpectStillAnaglyphs("out.mkv", "tb-left", config);
}

TEST_F(VideoCli, ColourMethodsComposeEveryFrameAsTheyComposeStills) {
    for (int depth : {8, 10}) {
        SCOPED_TRACE(std::to_string(depth) + " bits");
        std::vector<Image16> frames;
        for (int i = 0; i < kFrames; ++i) {
            frames.push_back(
                videotest::Pack("sbs-left", LeftView(i, 12, 8, depth), RightView(i, 12, 8, depth)));
        }
        ClipOptions options;
        options.depth = depth;
        videotest::WriteClip(Path("in.mkv"), frames, options);
        auto r = Run("anaglyph " + Path("in.mkv") + " --layout sbs-left --codec ffv1 " +
                     "--method dubois --glasses red-cyan --force -o " + Path("out.mkv"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(videotest::ReadVideoFacts(Path("out.mkv")).pixelFormat,
                  depth == 8 ? "bgr0" : "gbrp10le");
        const std::vector<Image16> got = Frames("out.mkv");
        ASSERT_EQ(got.size(), static_cast<size_t>(kFrames));
        loom::stereo::AnaglyphSettings settings;
        settings.method = loom::stereo::AnaglyphMethod::kDubois;
        settings.glasses = loom::stereo::Glasses::kRedCyan;
        loom::FilterProgressWindow window("test", nullptr, false);
        for (int i = 0; i < kFrames; ++i) {
            Image16 want;
            std::string error;
            ASSERT_EQ(
                loom::stereo::ComposePair(settings, nullptr, LeftView(i, 12, 8, depth),
                                          RightView(i, 12, 8, depth), window, nullptr, want, error),
                loom::FilterOutcome::kDone)
                << error;
            ASSERT_EQ(got[i].pixels.size(), want.pixels.size());
            // 8-bit output rounds to 8 bits; 10-bit output keeps 10 (widening to 16 bits and
            // narrowing back may each round differently).
            int wrong = 0;
            for (size_t p = 0; p < want.pixels.size(); ++p) {
                const BMM_Color_64 &g = got[i].pixels[p], &w = want.pixels[p];
                auto same = [&](WORD a, WORD b) {
                    auto ten = [](int v) { return (v * 1023 + 32767) / 65535; };
                    return depth == 8 ? a == (b + 128) / 257 * 257 : std::abs(ten(a) - ten(b)) <= 1;
                };
                if (!same(g.r, w.r) || !same(g.g, w.g) || !same(g.b, w.b)) ++wrong;
            }
            EXPECT_EQ(wrong, 0) << "frame " << i;
        }
    }
}

TEST_F(VideoCli, LayoutComesFromStereoDataOrTheNameOrIsRefusedWithTheChoices) {
    ClipOptions packed;
    packed.packing = 2;
    packed.packingRightFirst = true;
    PackedClip("tagged.mkv", "tb-right", packed);
    auto r = Run("anaglyph " + Path("tagged.mkv") + " --codec ffv1 -o " + Path("a.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectStillAnaglyphs("a.mkv", "tb-right");

    PackedClip("trip_Half-SBS.mkv", "sbs-half-left");
    r = Run("anaglyph " + Path("trip_Half-SBS.mkv") + " --codec ffv1 -o " + Path("b.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectStillAnaglyphs("b.mkv", "sbs-half-left");

    PackedClip("plain.mkv", "sbs-left");
    for (const std::string& extra : {std::string(), std::string(" --layout sideways")}) {
        r = Run("anaglyph " + Path("plain.mkv") + extra + " -o " + Path("c.mkv"));
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("sbs-left, sbs-right, sbs-half-left, sbs-half-right, tb-left, "
                             "tb-right, tb-half-left, tb-half-right"),
                  std::string::npos)
            << r.err;
    }
    EXPECT_FALSE(fs::exists(Path("c.mkv")));
}

TEST_F(VideoCli, TwoFilesAreComposedAndTheLeftFilesAudioAndSubtitlesAreCopiedBitForBit) {
    std::vector<Image16> left, right;
    for (int i = 0; i < kFrames; ++i) {
        left.push_back(LeftView(i));
        right.push_back(RightView(i));
    }
    ClipOptions withAudio;
    withAudio.audio = true;
    withAudio.subtitles = true;
    videotest::WriteClip(Path("l.mkv"), left, withAudio);
    videotest::WriteClip(Path("r.mkv"), right);
    auto r = Run("anaglyph " + Path("l.mkv") + " " + Path("r.mkv") + " --codec ffv1 -o " +
                 Path("out.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectStillAnaglyphs("out.mkv", "sbs-left");

    const auto in = videotest::ReadPackets(Path("l.mkv"), AVMEDIA_TYPE_AUDIO);
    const auto out = videotest::ReadPackets(Path("out.mkv"), AVMEDIA_TYPE_AUDIO);
    ASSERT_FALSE(in.bytes.empty());
    EXPECT_EQ(out.codec, "pcm_s16le");
    EXPECT_TRUE(in.bytes == out.bytes)
        << in.bytes.size() << " bytes in, " << out.bytes.size() << " out";
    EXPECT_EQ(in.pts, out.pts);
    const auto subIn = videotest::ReadPackets(Path("l.mkv"), AVMEDIA_TYPE_SUBTITLE);
    const auto subOut = videotest::ReadPackets(Path("out.mkv"), AVMEDIA_TYPE_SUBTITLE);
    ASSERT_EQ(subIn.codec, "subrip");
    EXPECT_EQ(subOut.codec, "subrip");
    EXPECT_EQ(std::string(subIn.bytes.begin(), subIn.bytes.end()),
              std::string(subOut.bytes.begin(), subOut.bytes.end()));
    EXPECT_EQ(subIn.pts, subOut.pts);
    EXPECT_EQ(subIn.pts.size(), static_cast<size_t>(kFrames));
    // Frame times kept.
    EXPECT_EQ(videotest::ReadVideoFacts(Path("out.mkv")).pts,
              videotest::ReadVideoFacts(Path("l.mkv")).pts);
}

TEST_F(VideoCli, TenBitsInGiveTenBitsOut) {
    std::vector<Image16> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(
            videotest::Pack("sbs-left", LeftView(i, 64, 16, 10), RightView(i, 64, 16, 10)));
    }
    ClipOptions deep;
    deep.depth = 10;
    videotest::WriteClip(Path("in_sbs.mkv"), frames, deep);
    auto r = Run("anaglyph " + Path("in_sbs.mkv") + " --codec ffv1 -o " + Path("out.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(videotest::ReadVideoFacts(Path("out.mkv")).pixelFormat, "gbrp10le");
    std::vector<Image16> got = Frames("out.mkv");
    ASSERT_EQ(got.size(), static_cast<size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        const Image16 want =
            videotest::StillAnaglyph(LeftView(i, 64, 16, 10), RightView(i, 64, 16, 10));
        int worst = 0;
        for (size_t p = 0; p < want.pixels.size(); ++p) {
            auto ten = [](WORD v) { return (v * 1023 + 32767) / 65535; };
            worst = std::max({worst, std::abs(ten(got[i].pixels[p].r) - ten(want.pixels[p].r)),
                              std::abs(ten(got[i].pixels[p].g) - ten(want.pixels[p].g))});
        }
        // Widening to 16 bits and narrowing back may each round differently.
        EXPECT_LE(worst, 1) << "frame " << i;
    }
    for (const char* codec : {"h264", "h265", "prores"}) {
        SCOPED_TRACE(codec);
        const std::string out = Path(std::string("out_") + codec + ".mkv");
        r = Run("anaglyph " + Path("in_sbs.mkv") + " --codec " + codec + " -o " + out);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto facts = videotest::ReadVideoFacts(out);
        EXPECT_EQ(facts.frames, kFrames);
        EXPECT_NE(facts.pixelFormat.find("p10le"), std::string::npos) << facts.pixelFormat;
    }
}

TEST_F(VideoCli, EightBitsInGiveEightBitH264WithFramesAndTimesKept) {
    ClipOptions slow;
    slow.rateNum = 24000;
    slow.rateDen = 1001;
    PackedClip("in.mkv", "sbs-left", slow);
    auto r =
        Run("anaglyph " + Path("in.mkv") + " --layout sbs-left --crf 18 -o " + Path("out.mp4"));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto in = videotest::ReadVideoFacts(Path("in.mkv"));
    const auto out = videotest::ReadVideoFacts(Path("out.mp4"));
    EXPECT_EQ(out.pixelFormat, "yuv420p");
    EXPECT_EQ(out.frames, kFrames);
    EXPECT_EQ(out.width, 12);
    ASSERT_EQ(out.pts.size(), in.pts.size());
    for (size_t i = 0; i < in.pts.size(); ++i) EXPECT_NEAR(out.pts[i], in.pts[i], 1000) << i;
}

TEST_F(VideoCli, RotationAndColourDescriptionAreCarriedOver) {
    // Matroska files carry the colour description, QuickTime files the rotation.
    ClipOptions colour;
    colour.bt709 = true;
    PackedClip("colour.mkv", "sbs-left", colour);
    ASSERT_EQ(videotest::ReadVideoFacts(Path("colour.mkv")).primaries, "bt709");
    auto r = Run("anaglyph " + Path("colour.mkv") + " --layout sbs-left -o " + Path("a.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto a = videotest::ReadVideoFacts(Path("a.mkv"));
    EXPECT_EQ(a.primaries, "bt709");
    EXPECT_EQ(a.transfer, "bt709");

    ClipOptions turned;
    turned.rotation = 90;
    PackedClip("turned.mov", "sbs-left", turned);
    const double rotation = videotest::ReadVideoFacts(Path("turned.mov")).rotation;
    ASSERT_EQ(std::abs(rotation), 90);
    r = Run("anaglyph " + Path("turned.mov") + " --layout sbs-left -o " + Path("b.mp4"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(videotest::ReadVideoFacts(Path("b.mp4")).rotation, rotation);
}

TEST_F(VideoCli, MismatchedViewsAreRefusedBeforeAnyOutputNamingBoth) {
    auto clip = [&](const std::string& name, int w, int frames, int rate) {
        std::vector<Image16> v;
        for (int i = 0; i < frames; ++i) v.push_back(videotest::View(w, 8, i));
        ClipOptions o;
        o.rateNum = rate;
        videotest::WriteClip(Path(name), v, o);
    };
    clip("a.mkv", 12, 4, 25);
    clip("narrow.mkv", 10, 4, 25);
    clip("fast.mkv", 12, 4, 30);
    clip("long.mkv", 12, 6, 25);
    struct Case {
        const char* right;
        const char* words;
        const char* leftValue;
        const char* rightValue;
    };
    for (const Case& c : {Case{"narrow.mkv", "size", "12x8", "10x8"},
                          Case{"fast.mkv", "frame rate", "25 fps", "30 fps"},
                          Case{"long.mkv", "length", "4 frames", "6"}}) {
        SCOPED_TRACE(c.right);
        auto r = Run("anaglyph " + Path("a.mkv") + " " + Path(c.right) + " -o " + Path("out.mkv"));
        EXPECT_NE(r.status, 0);
        for (const std::string& part :
             {std::string("differ in ") + c.words, Path("a.mkv") + " ", Path(c.right) + " ",
              std::string(c.leftValue), std::string(c.rightValue)}) {
            EXPECT_NE(r.err.find(part), std::string::npos) << part << " in: " << r.err;
        }
    }
    OnlyFiles({"a.mkv", "narrow.mkv", "fast.mkv", "long.mkv"});
}

TEST_F(VideoCli, ADamagedPacketStopsWithItsTimeOrIsSkipped) {
    ClipOptions damaged;
    damaged.damagedFrame = 2;
    PackedClip("in.mkv", "sbs-left", damaged);
    auto r =
        Run("anaglyph " + Path("in.mkv") + " --layout sbs-left --codec ffv1 -o " + Path("out.mkv"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("at 0.080 s"), std::string::npos) << r.err;
    OnlyFiles({"in.mkv"});

    r = Run("anaglyph " + Path("in.mkv") + " --layout sbs-left --codec ffv1 --on-error skip -o " +
            Path("out.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("skipped"), std::string::npos) << r.err;
    EXPECT_EQ(videotest::ReadVideoFacts(Path("out.mkv")).frames, kFrames - 1);
}

TEST_F(VideoCli, CodecsAndContainersThatCannotBeWrittenAreRefusedWithTheChoices) {
    ClipOptions withAudio;
    withAudio.audio = true;
    PackedClip("in.mkv", "sbs-left", withAudio);
    struct Case {
        std::string args, words;
    };
    for (const Case& c : {Case{"--codec vp9 -o " + Path("o.mkv"), "h264, h265, ffv1, prores, png"},
                          Case{"--codec ffv1 -o " + Path("o.mp4"), "cannot hold ffv1"},
                          Case{"-o " + Path("o.mp4"), "cannot hold the pcm_s16le audio stream"},
                          Case{"-o " + Path("o.xyz"), ".mkv, .mp4, .mov"},
                          Case{"--crf 20 --codec ffv1 -o " + Path("o.mkv"), "--crf applies"},
                          Case{"--on-error maybe -o " + Path("o.mkv"), "stop, continue or skip"}}) {
        SCOPED_TRACE(c.args);
        auto r = Run("anaglyph " + Path("in.mkv") + " --layout sbs-left " + c.args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    }
    std::ofstream(Path("notes.mkv")) << "not a video at all\n";
    auto r = Run("anaglyph " + Path("notes.mkv") + " --layout sbs-left -o " + Path("o.mkv"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(Path("notes.mkv") + ": cannot read as a video"), std::string::npos)
        << r.err;
    OnlyFiles({"in.mkv", "notes.mkv"});
}

}  // namespace

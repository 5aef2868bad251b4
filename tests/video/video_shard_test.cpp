// loomhost anaglyph --shard on video: parts of a clip, each a file of its own, that
// together hold every frame of the whole run once, in order, with the same pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" {
#include <libavutil/avutil.h>
}

#include "tests/support/cli_fixture.h"
#include "tests/video/test_clip.h"
#include "tests/video/video_expect.h"

namespace fs = std::filesystem;
using loom::Image16;
using videotest::ClipOptions;

namespace {

// Seven frames with a key frame every third (0, 3, 6): parts of two and three start on and
// between key frames, and no part count divides the length.
constexpr int kFrames = 7;

struct Decoded {
    std::vector<Image16> frames;
    std::vector<long long> pts;
};

class VideoShard : public loomtest::CliFixture {
  protected:
    static ClipOptions Clip(bool audio) {
        ClipOptions o;
        o.gop = 3;
        o.audio = audio;
        return o;
    }

    std::string SbsClip(const std::string& name, bool audio = true) {
        std::vector<Image16> frames;
        for (int i = 0; i < kFrames; ++i) {
            frames.push_back(videotest::Pack("sbs-left", videotest::View(12, 8, 2 * i),
                                             videotest::View(12, 8, 2 * i + 1)));
        }
        videotest::WriteClip(Path(name), frames, Clip(audio));
        return Path(name);
    }

    Decoded Decode(const std::string& path) {
        Decoded d;
        d.frames = videotest::DecodeFrames(path, &d.pts);
        return d;
    }

    /// Runs every part of `count` and expects the parts, in order, to hold the frames of
    /// `whole` once each, pixel for pixel, each part timed from its own start and without
    /// the input's sound (which cannot be cut where a part ends).
    void ExpectPartsMakeTheWhole(const std::string& inputs, int count, const std::string& whole) {
        const Decoded all = Decode(whole);
        ASSERT_EQ(all.frames.size(), static_cast<size_t>(kFrames));
        Decoded joined;
        for (int k = 0; k < count; ++k) {
            SCOPED_TRACE("part " + std::to_string(k) + "/" + std::to_string(count));
            const auto r = Run("anaglyph " + inputs + " --codec ffv1 -o " + Path("out.mkv") +
                               " --shard " + std::to_string(k) + "/" + std::to_string(count));
            ASSERT_EQ(r.status, 0) << r.err;
            const std::string part =
                Path("out.part" + std::to_string(k) + "-of-" + std::to_string(count) + ".mkv");
            const Decoded d = Decode(part);
            ASSERT_FALSE(d.frames.empty());
            const size_t first = joined.frames.size();
            for (size_t i = 0; i < d.frames.size(); ++i) {
                joined.frames.push_back(d.frames[i]);
                // Times run from the part's start as they do in the whole.
                if (first + i < all.pts.size()) {
                    EXPECT_EQ(d.pts[i], all.pts[first + i] - all.pts[first]) << i;
                }
            }
            EXPECT_TRUE(videotest::ReadPackets(part, AVMEDIA_TYPE_AUDIO).codec.empty());
        }
        ASSERT_EQ(joined.frames.size(), all.frames.size());
        for (size_t i = 0; i < all.frames.size(); ++i) {
            EXPECT_TRUE(joined.frames[i].pixels == all.frames[i].pixels) << "frame " << i;
        }
    }

    std::vector<char> FileBytes(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
};

class VideoShardCounts : public VideoShard, public ::testing::WithParamInterface<int> {};

TEST_P(VideoShardCounts, PartsOfOneSideBySideClipMakeUpTheWholeRun) {
    const std::string in = SbsClip("in.mkv") + " --layout sbs-left";
    const auto r = Run("anaglyph " + in + " --codec ffv1 -o " + Path("all.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectPartsMakeTheWhole(in, GetParam(), Path("all.mkv"));
}

TEST_P(VideoShardCounts, PartsOfTwoClipsMakeUpTheWholeRun) {
    std::vector<Image16> left, right;
    for (int i = 0; i < kFrames; ++i) {
        left.push_back(videotest::View(12, 8, 2 * i));
        right.push_back(videotest::View(12, 8, 2 * i + 1));
    }
    videotest::WriteClip(Path("l.mkv"), left, Clip(true));
    videotest::WriteClip(Path("r.mkv"), right, Clip(false));
    const std::string in = Path("l.mkv") + " " + Path("r.mkv");
    const auto r = Run("anaglyph " + in + " --codec ffv1 -o " + Path("all.mkv"));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectPartsMakeTheWhole(in, GetParam(), Path("all.mkv"));
}

INSTANTIATE_TEST_SUITE_P(OneTwoThree, VideoShardCounts, ::testing::Values(1, 2, 3));

TEST_F(VideoShard, ASlurmArrayTaskWritesItsPartAndSurplusPartsWriteNothing) {
    const std::string in = SbsClip("in.mkv", false) + " --layout sbs-left --codec ffv1 -o ";
    auto r = Run("anaglyph " + in + Path("a.mkv") + " --shard 1/2");
    ASSERT_EQ(r.status, 0) << r.err;
    // Task 5 of an array 4-5 is part 1 of 2: the same frames, the same bytes.
    ::setenv("SLURM_ARRAY_TASK_ID", "5", 1);
    ::setenv("SLURM_ARRAY_TASK_MIN", "4", 1);
    ::setenv("SLURM_ARRAY_TASK_COUNT", "2", 1);
    fs::create_directories(dir / "slurm");
    r = Run("anaglyph " + in + Path("slurm/a.mkv"));
    for (const char* name :
         {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_MIN", "SLURM_ARRAY_TASK_COUNT"}) {
        ::unsetenv(name);
    }
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("shard 1/2 of frames 0-6: frames 3-6"), std::string::npos) << r.err;
    ASSERT_TRUE(fs::exists(Path("slurm/a.part1-of-2.mkv")));
    EXPECT_EQ(FileBytes(Path("slurm/a.part1-of-2.mkv")), FileBytes(Path("a.part1-of-2.mkv")));

    // Ten parts of seven frames: three are empty, report so and write nothing.
    int written = 0;
    for (int k = 0; k < 10; ++k) {
        r = Run("anaglyph " + in + Path("b.mkv") + " --shard " + std::to_string(k) + "/10");
        ASSERT_EQ(r.status, 0) << r.err;
        const bool exists = fs::exists(Path("b.part" + std::to_string(k) + "-of-10.mkv"));
        const bool empty = r.err.find("no frames (more shards than frames)") != std::string::npos;
        EXPECT_NE(exists, empty) << k << ": " << r.err;
        written += exists;
    }
    EXPECT_EQ(written, kFrames);
}

TEST_F(VideoShard, FramesAndBadPartsAreRefusedBeforeAnyOutput) {
    const std::string in = SbsClip("in.mkv", false) + " --layout sbs-left -o " + Path("o.mkv");
    struct Case {
        std::string args, words;
    };
    for (const Case& c : {Case{"--frames 0-3", "--frames takes"}, Case{"--shard 2/2", "below N"},
                          Case{"--shard 1", "expected K/N"}}) {
        SCOPED_TRACE(c.args);
        const auto r = Run("anaglyph " + in + " " + c.args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    }
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        EXPECT_TRUE(n == "in.mkv" || n == "stderr.txt") << n;
    }
}

}  // namespace

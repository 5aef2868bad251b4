// loomhost anaglyph with videos that must not be trusted: an output that is one of the
// inputs, inputs cut short, and the temporary files of the video writer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/video/video_output.h"
#include "tests/support/cli_fixture.h"
#include "tests/video/test_clip.h"
#include "tests/video/video_expect.h"

namespace fs = std::filesystem;
using loom::Image16;

namespace {

constexpr int kFrames = 10;

class VideoSafety : public loomtest::CliFixture {
  protected:
    /// A clip of kFrames side-by-side frames.
    std::string Clip(const std::string& name, const videotest::ClipOptions& options = {}) {
        std::vector<Image16> frames;
        for (int i = 0; i < kFrames; ++i) {
            frames.push_back(videotest::Pack("sbs-left", videotest::View(12, 8, 2 * i, 8),
                                             videotest::View(12, 8, 2 * i + 1, 8)));
        }
        videotest::WriteClip(Path(name), frames, options);
        return Path(name);
    }
    std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    /// Names in the test's folder other than the fixture's own.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.path().filename() != "stderr.txt") names.push_back(e.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(VideoSafety, AnOutputThatIsAnInputIsRefusedThroughAnyName) {
    const std::string sbs = Clip("sbs.mkv");
    const std::string left = Clip("l.mkv"), right = Clip("r.mkv");
    fs::create_hard_link(right, Path("hard.mkv"));
    fs::create_symlink(left, Path("soft.mkv"));
    const std::string before = Bytes(sbs), leftBefore = Bytes(left), rightBefore = Bytes(right);
    for (const std::string& args :
         {"--sbs " + sbs + " -o " + sbs, "--sbs " + sbs + " -o " + Path("./sbs.mkv"),
          left + " " + right + " -o " + right, left + " " + right + " -o " + Path("hard.mkv"),
          left + " " + right + " -o " + Path("soft.mkv")}) {
        SCOPED_TRACE(args);
        const loomtest::CliResult r = Run("anaglyph " + args + " --codec ffv1 --force");
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("is also an input"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Bytes(sbs), before);
    EXPECT_EQ(Bytes(left), leftBefore);
    EXPECT_EQ(Bytes(right), rightBefore);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"hard.mkv", "l.mkv", "r.mkv", "sbs.mkv", "soft.mkv"}));
}

TEST_F(VideoSafety, AVideoCutShortIsAnErrorUnlessToldToContinue) {
    // An index before the data (it declares every frame), and fragments without one.
    for (const char* flags : {"faststart", "frag_keyframe+empty_moov"}) {
        SCOPED_TRACE(flags);
        fs::remove_all(dir);
        fs::create_directories(dir);
        videotest::ClipOptions options;
        options.movFlags = flags;
        const std::string whole = Clip("whole.mov", options);
        const std::string cut = Path("cut.mov");
        const std::string bytes = Bytes(whole);
        std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 6 / 10);

        loomtest::CliResult r =
            Run("anaglyph --sbs " + cut + " --codec ffv1 -o " + Path("out.mkv"));
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("cut.mov"), std::string::npos) << r.err;
        EXPECT_EQ(Names(), (std::vector<std::string>{"cut.mov", "whole.mov"}));

        r = Run("anaglyph --sbs " + cut + " --codec ffv1 --on-error continue -o " +
                Path("out.mkv"));
        ASSERT_EQ(r.status, 0) << r.err;
        const int written = videotest::ReadVideoFacts(Path("out.mkv")).frames;
        EXPECT_GT(written, 0);
        EXPECT_LT(written, kFrames);
        EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
        if (std::string(flags) == "faststart") {
            EXPECT_NE(r.err.find(std::to_string(written) + " of the " + std::to_string(kFrames)),
                      std::string::npos)
                << r.err;
        }
        // The whole file still composes without a word.
        r = Run("anaglyph --sbs " + whole + " --codec ffv1 -o " + Path("all.mkv"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(videotest::ReadVideoFacts(Path("all.mkv")).frames, kFrames);
    }
}

TEST_F(VideoSafety, TheWritersTemporaryIsPrivateAndStaleOnesAreRemoved) {
    const std::string out = Path("out.mkv");
    std::ofstream(out) << "older";
    ASSERT_EQ(::chmod(out.c_str(), 0600), 0);
    // One left by a run that was killed (no process has this number), and one of a run
    // still going (this process).
    const std::string stale = Path(".out.mkv.loomtmp.999999999.1");
    const std::string live = Path(".out.mkv.loomtmp." + std::to_string(::getpid()) + ".2");
    std::ofstream(stale) << "stale";
    std::ofstream(live) << "live";
    loom::VideoStreamInfo info;
    info.width = 12;
    info.height = 8;
    loom::VideoEncoding encoding;
    encoding.codec = "ffv1";
    loom::VideoOutput output;
    std::string err;
    ASSERT_TRUE(output.Open(out, info, 8, encoding, err)) << err;
    // Under a umask that lets others read new files, the temporary that will replace a
    // private file is private all the same.
    const mode_t old = ::umask(022);
    const bool wrote = output.WriteFrame(videotest::View(12, 8, 0, 8), 0, err);
    ::umask(old);
    ASSERT_TRUE(wrote) << err;
    struct stat st {};
    ASSERT_EQ(::stat(output.TemporaryPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << st.st_mode;
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    ASSERT_TRUE(output.Finish(err)) << err;
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << std::oct << st.st_mode;
}

}  // namespace

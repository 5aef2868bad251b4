// Ctrl-C in the middle of a video: nothing under the output name, an older file untouched,
// no temporary left; with --keep-partial a playable file of the frames done.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "foundation/host/sdk/file_io.h"
#include "tests/support/cli_fixture.h"
#include "tests/video/test_clip.h"
#include "tests/video/video_expect.h"

namespace fs = std::filesystem;
using loom::Image16;

namespace {

constexpr int kLongClipFrames = 200;

class VideoInterrupt : public loomtest::CliFixture {
  protected:
    // One clip for the suite: frames large enough that writing them takes a while.
    static void SetUpTestSuite() {
        clip = new std::string((fs::temp_directory_path() /
                                ("loom_video_long_" + std::to_string(::getpid()) + "_sbs.mkv"))
                                   .string());
        const std::vector<Image16> frames(kLongClipFrames,
                                          videotest::Pack("sbs-left", videotest::View(240, 180, 1),
                                                          videotest::View(240, 180, 2)));
        videotest::WriteClip(*clip, frames);
    }
    static void TearDownTestSuite() {
        fs::remove(*clip);
        delete clip;
        clip = nullptr;
    }
    static std::string* clip;

    /// The temporary file's size, or -1 when there is none.
    long long TemporarySize() {
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.path().filename().string().find(loom::kTemporaryMarker) != std::string::npos) {
                std::error_code ec;
                const auto size = fs::file_size(e.path(), ec);
                return ec ? 0 : static_cast<long long>(size);
            }
        }
        return -1;
    }
    bool TemporaryExists() { return TemporarySize() >= 0; }

    /// Runs loomhost anaglyph on the long clip with `extra` arguments, sends SIGINT once the
    /// output's temporary file holds a few frames; answers the exit status.
    int RunAndInterrupt(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {LOOMHOST_BIN, "--plugins", PLUGIN_DIR,
                                         "anaglyph",   *clip,       "--codec",
                                         "png",        "-o",        Path("out.mov")};
        args.insert(args.end(), extra.begin(), extra.end());
        const pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            const std::string err = Path("stderr.txt");
            freopen(err.c_str(), "w", stderr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        // Interrupted once a few frames are in the file (each PNG frame is over 100 kB).
        const auto start = std::chrono::steady_clock::now();
        while (TemporarySize() < 400000 &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_GE(TemporarySize(), 400000) << "the run wrote no frames, or ended first";
        kill(pid, SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Stderr() {
        std::ifstream f(Path("stderr.txt"));
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
};

TEST_F(VideoInterrupt, LeavesNothingUnderTheOutputNameAndAnOlderFileUntouched) {
    EXPECT_NE(RunAndInterrupt({}), 0);
    EXPECT_NE(Stderr().find("interrupted; nothing written"), std::string::npos) << Stderr();
    EXPECT_FALSE(fs::exists(Path("out.mov")));
    EXPECT_FALSE(TemporaryExists());

    {
        std::ofstream old(Path("out.mov"));
        old << "an older file";
    }
    EXPECT_NE(RunAndInterrupt({}), 0);
    std::ifstream f(Path("out.mov"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), "an older file");
    EXPECT_FALSE(TemporaryExists());
}

TEST_F(VideoInterrupt, KeepPartialLeavesAPlayableFileOfTheFramesDone) {
    EXPECT_NE(RunAndInterrupt({"--keep-partial"}), 0);
    EXPECT_NE(Stderr().find("frames done are kept in"), std::string::npos) << Stderr();
    ASSERT_TRUE(fs::exists(Path("out.mov")));
    const videotest::VideoFacts facts = videotest::ReadVideoFacts(Path("out.mov"));
    EXPECT_GT(facts.frames, 0);
    EXPECT_LT(facts.frames, kLongClipFrames);
    EXPECT_EQ(facts.pixelFormat, "rgb24");
    EXPECT_FALSE(TemporaryExists());
}

std::string* VideoInterrupt::clip = nullptr;

}  // namespace

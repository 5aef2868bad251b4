// loomhost anaglyph with stereo photos, colour methods, frame patterns and folders of
// pairs, run as a user runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/core/stereo/colour_methods.h"
#include "tests/stereo/stereo_files.h"
#include "tests/support/cli_fixture.h"

namespace fs = std::filesystem;
using loom::Image16;

namespace {

class StereoCli : public loomtest::CliFixture {
  protected:
    std::string Save(const std::string& name, const stereotest::Bytes& bytes) {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
    std::string Picture(const std::string& name, int w, int h, int seed) {
        std::string err;
        EXPECT_TRUE(loom::WriteImage16(Path(name), stereotest::Picture(w, h, seed), 8, err)) << err;
        return Path(name);
    }
    std::string FileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    Image16 Load(const std::string& path) {
        Image16 img;
        std::string err;
        EXPECT_TRUE(loom::ReadImage16(path, img, err)) << err;
        return img;
    }
    void ExpectOk(const std::string& args) {
        const loomtest::CliResult r = Run("anaglyph " + args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
    }
    void ExpectError(const std::string& args, const std::string& text) {
        const loomtest::CliResult r = Run("anaglyph " + args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_NE(r.err.find(text), std::string::npos) << args << ": " << r.err;
    }
};

TEST_F(StereoCli, StereoPhotosComposeLikeTheirSeparatePictures) {
    const stereotest::Bytes a = stereotest::EncodeJpeg(stereotest::Picture(24, 10, 1));
    const stereotest::Bytes b = stereotest::EncodeJpeg(stereotest::Picture(24, 10, 2));
    const std::string l = Save("l.jpg", a), r = Save("r.jpg", b);
    const std::string mpo = Save("photo.mpo", stereotest::Mpo(a, b));
    ExpectOk(mpo + " -o " + Path("photo.png"));
    ExpectOk(l + " " + r + " -o " + Path("pair.png"));
    EXPECT_EQ(FileBytes(Path("photo.png")), FileBytes(Path("pair.png")));
    // A JPS is the right view, then the left, side by side.
    const std::string both = Picture("both.png", 20, 8, 3);
    Image16 sbs = Load(both);
    const std::string jps = Save("view.jps", stereotest::EncodeJpeg(sbs));
    ExpectOk(jps + " -o " + Path("jps.png") + " --method colour");
    const Image16 out = Load(Path("jps.png")), decoded = Load(jps);
    ASSERT_EQ(out.width, 10);
    // Colour, red-cyan: red from the left view (the right half), green and blue from the
    // right view (the left half).
    EXPECT_EQ(out.pixels[0].r, decoded.pixels[10].r);
    EXPECT_EQ(out.pixels[0].g, decoded.pixels[0].g);
    EXPECT_EQ(out.pixels[0].b, decoded.pixels[0].b);
    ExpectError("--sbs " + jps + " -o " + Path("x.png"), "without --sbs");
    Save("broken.mpo", a);
    ExpectError(Path("broken.mpo") + " -o " + Path("x.png"), "no multi-picture index");
    EXPECT_FALSE(fs::exists(Path("x.png")));
}

TEST_F(StereoCli, MethodsAndGlassesReachTheComposition) {
    const std::string l = Picture("l.png", 12, 6, 4), r = Picture("r.png", 12, 6, 5);
    const Image16 left = Load(l), right = Load(r);
    using loom::stereo::AnaglyphMethod;
    using loom::stereo::Glasses;
    // Each method and each kind of glasses once.
    const std::pair<AnaglyphMethod, Glasses> runs[] = {
        {AnaglyphMethod::kHalfColour, Glasses::kGreenMagenta},
        {AnaglyphMethod::kColour, Glasses::kAmberBlue},
        {AnaglyphMethod::kDubois, Glasses::kRedCyan}};
    for (const auto& [method, glasses] : runs) {
        const std::string name = std::string(loom::stereo::MethodName(method)) + "_" +
                                 loom::stereo::GlassesName(glasses) + ".png";
        SCOPED_TRACE(name);
        ExpectOk(l + " " + r + " -o " + Path(name) + " --method " +
                 loom::stereo::MethodName(method) + " --glasses " +
                 loom::stereo::GlassesName(glasses) + " --bits 16");
        std::vector<BMM_Color_64> expected(left.pixels.size());
        loom::stereo::ComposeColourLine(loom::stereo::MethodMatrix(method, glasses),
                                        left.pixels.data(), right.pixels.data(), expected.data(),
                                        72);
        EXPECT_EQ(Load(Path(name)).pixels, expected);
    }
    // Grey is the default, unchanged byte for byte. Named glasses choose the eye channels
    // and fill both primaries of a two-primary filter with that eye's grey.
    ExpectOk(l + " " + r + " -o " + Path("default.png"));
    ExpectOk(l + " " + r + " -o " + Path("grey.png") + " --method grey");
    EXPECT_EQ(FileBytes(Path("default.png")), FileBytes(Path("grey.png")));
    ExpectOk(l + " " + r + " -o " + Path("rc.png") + " --glasses red-cyan");
    ExpectOk(l + " " + r + " -o " + Path("gm.png") + " --glasses green-magenta");
    ExpectOk(l + " " + r + " -o " + Path("gr.png") + " --left-eye green --right-eye red");
    const Image16 plain = Load(Path("default.png")), cyan = Load(Path("rc.png"));
    const Image16 magenta = Load(Path("gm.png")), greenRed = Load(Path("gr.png"));
    for (std::size_t i = 0; i < plain.pixels.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cyan.pixels[i].r, plain.pixels[i].r);
        EXPECT_EQ(cyan.pixels[i].g, plain.pixels[i].g);
        EXPECT_EQ(cyan.pixels[i].b, plain.pixels[i].g);
        EXPECT_EQ(magenta.pixels[i].g, greenRed.pixels[i].g);
        EXPECT_EQ(magenta.pixels[i].r, greenRed.pixels[i].r);
        EXPECT_EQ(magenta.pixels[i].b, greenRed.pixels[i].r);
    }
    ExpectError(l + " " + r + " -o " + Path("x.png") + " --method dubois --left-comp -0.2",
                "--method dubois takes --glasses");
    ExpectError(l + " " + r + " -o " + Path("x.png") + " --method anaglyph", "grey, half-colour");
    ExpectError(l + " " + r + " -o " + Path("x.png") + " --glasses blue-red", "red-cyan");
    ExpectOk(l + " " + r + " -o " + Path("sheet.png") + " --sheet");
    EXPECT_EQ(Load(Path("sheet.png")).width, 2 * 12 + 8);
}

TEST_F(StereoCli, FramePatternsComposeEachFrameAndNameAMissingOne) {
    fs::create_directories(dir / "seq");
    for (int f = 3; f <= 5; ++f) {
        Picture("seq/l_000" + std::to_string(f) + ".png", 8, 4, f);
        Picture("seq/r_000" + std::to_string(f) + ".png", 8, 4, f + 10);
    }
    const std::string in = Path("seq/l_%04d.png") + " " + Path("seq/r_%04d.png");
    ExpectOk(in + " -o " + Path("seq/out_%03d.png") + " --method half-colour");
    for (int f = 3; f <= 5; ++f) {
        SCOPED_TRACE(f);
        const std::string n = std::to_string(f);
        ExpectOk(Path("seq/l_000" + n + ".png") + " " + Path("seq/r_000" + n + ".png") +
                 " --method half-colour -o " + Path("one.png"));
        EXPECT_EQ(FileBytes(Path("seq/out_00" + n + ".png")), FileBytes(Path("one.png")));
    }
    EXPECT_FALSE(fs::exists(Path("seq/out_002.png")));
    // A frame missing on either side is named before anything is written.
    fs::remove(dir / "seq/r_0004.png");
    ExpectError(in + " -o " + Path("seq/new_%04d.png"), "frame 4: " + Path("seq/r_0004.png"));
    ExpectError(in + " -o " + Path("seq/new_%04d.png") + " --frames 2-3", "frame 2");
    EXPECT_FALSE(fs::exists(Path("seq/new_0003.png")));
    ExpectError(in + " -o " + Path("single.png"), "-o must be a frame pattern");
    ExpectError(
        Path("seq/l_0003.png") + " " + Path("seq/r_0003.png") + " --frames 1-2 -o " + Path("o.png"),
        "--frames takes");
}

TEST_F(StereoCli, ViewsNamedByOptionComposeAsViewsGivenInOrder) {
    const std::string l = Picture("l.png", 8, 4, 1), r = Picture("r.png", 8, 4, 2);
    ExpectOk(l + " " + r + " -o " + Path("order.png"));
    ExpectOk("--right " + r + " --left " + l + " -o " + Path("named.png"));
    EXPECT_EQ(FileBytes(Path("named.png")), FileBytes(Path("order.png")));
    const loomtest::CliResult both =
        Run("anaglyph " + l + " --left " + l + " --right " + r + " -o " + Path("x.png"));
    EXPECT_NE(both.status, 0);
    EXPECT_NE(both.err.find("excludes"), std::string::npos) << both.err;
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST_F(StereoCli, ShardsOfAFrameRangeTogetherComposeEachFrameOnce) {
    fs::create_directories(dir / "seq");
    for (int f = 0; f <= 4; ++f) {
        Picture("seq/l_000" + std::to_string(f) + ".png", 8, 4, f);
        Picture("seq/r_000" + std::to_string(f) + ".png", 8, 4, f + 10);
    }
    const std::string in = Path("seq/l_%04d.png") + " " + Path("seq/r_%04d.png");
    ExpectOk(in + " -o " + Path("all_%04d.png"));
    // Each part in a folder of its own: the folders together hold every frame once, each
    // the same file as the whole run's.
    std::vector<int> seen(5, 0);
    auto collect = [&](const std::string& folder) {
        for (int f = 0; f <= 4; ++f) {
            const std::string name = "000" + std::to_string(f) + ".png";
            if (!fs::exists(dir / folder / name)) continue;
            ++seen[static_cast<size_t>(f)];
            EXPECT_EQ(FileBytes(Path(folder + "/" + name)), FileBytes(Path("all_" + name)))
                << folder << " " << f;
        }
    };
    for (int k = 0; k < 3; ++k) {
        const std::string folder = "part" + std::to_string(k);
        fs::create_directories(dir / folder);
        ExpectOk(in + " -o " + Path(folder + "/%04d.png") + " --shard " + std::to_string(k) + "/3");
        collect(folder);
    }
    EXPECT_EQ(seen, std::vector<int>(5, 1));
    // A Slurm array task picks its part when --shard is not given: task 11 of 10-11 is 1/2.
    ::setenv("SLURM_ARRAY_TASK_ID", "11", 1);
    ::setenv("SLURM_ARRAY_TASK_MIN", "10", 1);
    ::setenv("SLURM_ARRAY_TASK_COUNT", "2", 1);
    fs::create_directories(dir / "slurm");
    const loomtest::CliResult r = Run("anaglyph " + in + " -o " + Path("slurm/%04d.png"));
    for (const char* name :
         {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_MIN", "SLURM_ARRAY_TASK_COUNT"}) {
        ::unsetenv(name);
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("shard 1/2 of frames 0-4: frames 2-4"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "slurm/0001.png"));
    EXPECT_EQ(FileBytes(Path("slurm/0004.png")), FileBytes(Path("all_0004.png")));
    // Parts are of frame sequences only.
    ExpectError(Path("seq/l_0000.png") + " " + Path("seq/r_0000.png") + " -o " + Path("o.png") +
                    " --shard 0/2",
                "--shard takes");
}

TEST_F(StereoCli, AFailingFrameLeavesEarlierFramesAndOlderFilesIntact) {
    fs::create_directories(dir / "seq");
    for (int f = 1; f <= 3; ++f) Picture("seq/s_" + std::to_string(f) + ".png", 8, 4, f);
    std::ofstream(Path("seq/s_2.png")) << "not a picture";
    std::ofstream(Path("seq/o_2.png")) << "older";
    ExpectError(
        "--sbs " + Path("seq/s_%d.png") + " -o " + Path("seq/o_%d.png") + " --method colour",
        "frame 2: " + Path("seq/s_2.png"));
    EXPECT_TRUE(fs::exists(Path("seq/o_1.png")));
    EXPECT_EQ(FileBytes(Path("seq/o_2.png")), "older");
    EXPECT_FALSE(fs::exists(Path("seq/o_3.png")));
    for (const auto& e : fs::directory_iterator(dir / "seq")) {
        EXPECT_EQ(e.path().filename().string().find(".loomtmp."), std::string::npos);
    }
}

TEST_F(StereoCli, CtrlCStopsASequenceBetweenFramesAndKeepsWhatIsComplete) {
    constexpr int kFrames = 40;
    fs::create_directories(dir / "seq");
    for (int f = 1; f <= kFrames; ++f) Picture("seq/s_" + std::to_string(f) + ".png", 400, 200, f);
    const std::string older = Path("seq/o_" + std::to_string(kFrames) + ".png");
    std::ofstream(older) << "older";
    const std::string in = Path("seq/s_%d.png"), out = Path("seq/o_%d.png");
    const std::string errFile = Path("stderr.txt");
    // Interrupts before the command watches for them are ignored; it watches before it
    // writes its first frame, and only then is it interrupted.
    auto previous = signal(SIGINT, SIG_IGN);
    pid_t pid = fork();
    if (pid != 0) signal(SIGINT, previous);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        FILE* e = std::freopen(errFile.c_str(), "w", stderr);
        (void)e;
        execl(LOOMHOST_BIN, LOOMHOST_BIN, "--plugins", PLUGIN_DIR, "anaglyph", "--sbs", in.c_str(),
              "-o", out.c_str(), "--method", "dubois", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        ASSERT_GE(done, 0);
        if (done == pid) break;
        if (fs::exists(Path("seq/o_1.png"))) kill(pid, SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = FileBytes(errFile);
    EXPECT_NE(err.find("interrupted after "), std::string::npos) << err;
    EXPECT_NE(err.find(" of 40 pictures"), std::string::npos) << err;
    EXPECT_EQ(FileBytes(older), "older");
    int written = 0;
    for (int f = 1; f < kFrames; ++f) {
        const std::string frame = Path("seq/o_" + std::to_string(f) + ".png");
        if (!fs::exists(frame)) continue;
        ++written;
        EXPECT_EQ(Load(frame).width, 200) << frame;  // every frame there is whole
    }
    EXPECT_GE(written, 1);
    EXPECT_LT(written, kFrames - 1);
    for (const auto& e : fs::directory_iterator(dir / "seq")) {
        EXPECT_EQ(e.path().filename().string().find(".loomtmp."), std::string::npos);
    }
}

TEST_F(StereoCli, FoldersOfPairsAreMatchedByName) {
    fs::create_directories(dir / "L");
    fs::create_directories(dir / "R");
    fs::create_directories(dir / "P");
    Picture("L/a.png", 6, 4, 1);
    Picture("R/a.png", 6, 4, 2);
    Picture("L/b.png", 6, 4, 3);
    Picture("R/b.png", 6, 4, 4);
    Picture("P/x_left.png", 6, 4, 1);
    Picture("P/x_right.png", 6, 4, 2);
    ExpectOk(Path("L") + " " + Path("R") + " -o " + Path("out") + " --format tif");
    EXPECT_TRUE(fs::exists(Path("out/a.tif")));
    EXPECT_TRUE(fs::exists(Path("out/b.tif")));
    ExpectOk(Path("P") + " -o " + Path("out"));
    ExpectOk(Path("L/a.png") + " " + Path("R/a.png") + " -o " + Path("a.png"));
    EXPECT_EQ(FileBytes(Path("out/x.png")), FileBytes(Path("a.png")));
    Picture("R/c.png", 6, 4, 5);
    ExpectError(Path("L") + " " + Path("R") + " -o " + Path("out2"), "c.png: no left view");
    ExpectError(Path("L") + " " + Path("R/a.png") + " -o " + Path("out2"), "must be a folder");
}

}  // namespace

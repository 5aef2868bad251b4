// The loomhost command line, run as a user runs it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <vector>

#include "app/core/filter/image16.h"
#include "foundation/host/sdk/bitmap.h"
#include "tests/support/cli_fixture.h"

namespace fs = std::filesystem;

namespace {

using Result = loomtest::CliResult;
using Cli = loomtest::CliFixture;

std::vector<double> Numbers(const std::string& line) {
    std::istringstream in(line);
    std::vector<double> v;
    double d;
    while (in >> d) v.push_back(d);
    return v;
}

/// Limits the address space of the processes started while it lives (ulimit -v), and of
/// this one, which allocates little meanwhile.
class AddressLimit {
  public:
    explicit AddressLimit(rlim_t bytes) {
        getrlimit(RLIMIT_AS, &old_);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_AS, &lower), 0);
    }
    ~AddressLimit() { setrlimit(RLIMIT_AS, &old_); }

  private:
    rlimit old_{};
};

}  // namespace

TEST_F(Cli, EvalPrintsTheDefaultsAtTheOrigin) {
    Result r = Run("eval nimbra 0,0");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<double> v = Numbers(r.out);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(v[0], 0.425875, 1e-6);
    EXPECT_NEAR(v[1], 0.425875, 1e-6);
    EXPECT_EQ(v[2], 1.0);
    EXPECT_EQ(v[3], 1.0);
    EXPECT_EQ(Run("eval nimbra --set Detail=0 0,0").out, "1 1 1 1\n");  // the cloud colour
    Result many = Run("eval nimbra 0,0 -0.25,3.5 1e-3,2");
    EXPECT_EQ(std::count(many.out.begin(), many.out.end(), '\n'), 3);
}

TEST_F(Cli, BadInputGetsOneLineAndAFailure) {
    for (const char* args :
         {"eval nosuchclass 0,0", "eval nimbra --set Bogus=1 0,0", "eval nimbra --set Detail=x 0,0",
          "eval nimbra --set Sky=1,2 0,0", "eval nimbra '0;0'", "eval nimbra 0,0,0",
          "render nimbra -o /nonexistent/dir/x.png", "render nimbra -o out.bmp --size 4x4",
          "render nimbra -o x.png --size 0x4", "render nimbra -o x.png --frames 5-2",
          "scene show /nonexistent.loom"}) {
        Result r = Run(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("loomhost: error: ", 0), 0u) << r.err;
    }
}

TEST_F(Cli, RenderMatchesEvalAndThreadCounts) {
    ASSERT_EQ(Run("render nimbra -o " + Path("a.exr") + " --size 4x2 --threads 1").status, 0);
    ASSERT_EQ(Run("render nimbra -o " + Path("b.exr") + " --size 4x2 --threads 2").status, 0);
    loom::FloatImage a, b;
    int bits;
    std::string err;
    ASSERT_TRUE(loom::ReadImage(Path("a.exr"), a, bits, err)) << err;
    ASSERT_TRUE(loom::ReadImage(Path("b.exr"), b, bits, err)) << err;
    EXPECT_EQ(a.rgba, b.rgba);
    // Pixel (1, 0) is u = 0.375, v = 0.75; EXR stores half floats.
    std::vector<double> v = Numbers(Run("eval nimbra 0.375,0.75").out);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(a.rgba[4], v[0], 1e-3);
    EXPECT_NEAR(a.rgba[6], v[2], 1e-3);
    // PNG 8 and 16 bit, several outputs and an animation.
    ASSERT_EQ(Run("render nimbra -o " + Path("c.png") +
                  " --size 8x8 --bits 16 --output color,mono,normal --frames 1-2")
                  .status,
              0);
    for (const char* f : {"c_0001.png", "c_mono_0002.png", "c_normal_0001.png"}) {
        EXPECT_TRUE(fs::exists(dir / f)) << f;
    }
    loom::FloatImage c;
    ASSERT_TRUE(loom::ReadImage(Path("c_0001.png"), c, bits, err)) << err;
    EXPECT_EQ(bits, 16);
}

TEST_F(Cli, RenderStatsCountTheEvaluationsOfEveryFrameAndOutput) {
    const Result r = Run("render lumidot -o " + Path("s.png") +
                         " --size 16x8 --output color,mono --frames 1-3 --stats");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::regex line(
        "stats: render_seconds=([0-9.]+) samples=([0-9]+) samples_per_second=([0-9]+) "
        "isa=(avx512|avx2|sse2|scalar)\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, line)) << r.out;
    EXPECT_EQ(m[2].str(), std::to_string(16 * 8 * 2 * 3));
    EXPECT_GT(std::stod(m[1].str()), 0.0);
    // Without the flag, nothing but the files.
    EXPECT_EQ(Run("render lumidot -o " + Path("t.png") + " --size 4x4").out, "");
}

TEST_F(Cli, ScenesKeepValuesKeysAndSubMaps) {
    std::string scene = Path("s.loom");
    Result r = Run("scene new " + scene +
                   " nimbra --set Contrast=2 --key \"U Shift@0=0\" --key \"U Shift@10=7\" "
                   "--set Sky=map:nimbra --set \"Sky.Detail=3\"");
    ASSERT_EQ(r.status, 0) << r.err;
    Result show = Run("scene show " + scene);
    EXPECT_NE(show.out.find("Contrast = 2"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("U Shift = keys 0@0 10@7"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("[Sky] Loomwork \xC2\xB7 Nimbra 1.0"), std::string::npos) << show.out;
    for (const char* time : {"0", "3", "5.5", "10", "20"}) {
        std::string direct = Run(std::string("eval nimbra --set Contrast=2 --key \"U Shift@0=0\" "
                                             "--key \"U Shift@10=7\" --set Sky=map:nimbra "
                                             "--set Sky.Detail=3 --time ") +
                                 time + " 0.3,0.6 0.8,0.1")
                                 .out;
        std::string loaded =
            Run("eval --scene " + scene + " --time " + time + " 0.3,0.6 0.8,0.1").out;
        EXPECT_EQ(direct, loaded) << time;
        EXPECT_FALSE(direct.empty());
    }
    EXPECT_NE(Run("scene new " + scene + " nimbra").status, 0);  // no silent overwrite
    ASSERT_EQ(Run("scene add " + scene + " nimbra --entry second --set Detail=1").status, 0);
    EXPECT_EQ(Run("eval --scene " + scene + " --entry second 0,0").out,
              Run("eval nimbra --set Detail=1 0,0").out);
}

TEST_F(Cli, DamagedScenesAreRefusedAndLeftAlone) {
    std::string scene = Path("s.loom");
    ASSERT_EQ(Run("scene new " + scene + " nimbra").status, 0);
    auto size = fs::file_size(scene);
    fs::resize_file(scene, size - 9);
    auto damaged = fs::file_size(scene);
    Result r = Run("scene add " + scene + " nimbra --entry x");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(scene), std::string::npos) << r.err;
    EXPECT_EQ(fs::file_size(scene), damaged);
    { std::ofstream(Path("foreign.loom")) << "\x89PNG\r\n"; }
    EXPECT_NE(Run("scene show " + Path("foreign.loom")).err.find("not a scene file"),
              std::string::npos);
}

TEST_F(Cli, ViewportWritesTheDisplayBitmap) {
    ASSERT_EQ(Run("viewport nimbra -o " + Path("v.png") + " --size 16").status, 0);
    loom::FloatImage img;
    int bits;
    std::string err;
    ASSERT_TRUE(loom::ReadImage(Path("v.png"), img, bits, err)) << err;
    EXPECT_EQ(img.width, 16);
    EXPECT_EQ(img.height, 16);
}

// The image library (and OpenImageIO with its two hundred dependencies) is loaded only by a
// command that reads or writes an image file. The dynamic loader's own log tells which
// libraries each process of the command line loaded.
TEST_F(Cli, OnlyCommandsWithImageFilesLoadTheImageLibrary) {
#ifdef LOOM_IMAGE_LIBRARY_PRELOADED
    GTEST_SKIP() << "sanitizer builds load the image library at start-up";
#endif
    auto loadsImageLibrary = [&](const std::string& args) {
        const fs::path logs = dir / "ld";
        fs::create_directories(logs);
        setenv("LD_DEBUG", "libs", 1);
        setenv("LD_DEBUG_OUTPUT", (logs / "log").c_str(), 1);
        const Result r = Run(args);
        unsetenv("LD_DEBUG");
        unsetenv("LD_DEBUG_OUTPUT");
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        bool loaded = false, logged = false;
        for (const auto& f : fs::directory_iterator(logs)) {
            std::ifstream in(f.path());
            const std::string text{std::istreambuf_iterator<char>(in), {}};
            logged = logged || text.find("libloomhost.so") != std::string::npos;
            loaded = loaded || text.find("libloomimage.so") != std::string::npos ||
                     text.find("OpenImageIO") != std::string::npos;
        }
        fs::remove_all(logs);
        EXPECT_TRUE(logged) << "the loader wrote no log for " << args;
        return loaded;
    };
    EXPECT_FALSE(loadsImageLibrary("eval nimbra 0,0"));
    EXPECT_FALSE(loadsImageLibrary("params fervix"));
    EXPECT_TRUE(loadsImageLibrary("render nimbra --size 8x8 -o " + Path("n.png")));
    EXPECT_TRUE(fs::exists(Path("n.png")));
    // PNG and JPEG photos are read without it.
    EXPECT_TRUE(loadsImageLibrary("render nimbra --size 64x48 -o " + Path("n.jpg")));
    EXPECT_FALSE(
        loadsImageLibrary("anaglyph " + Path("n.png") + " " + Path("n.png") + " --align=report"));
    EXPECT_FALSE(
        loadsImageLibrary("anaglyph " + Path("n.jpg") + " " + Path("n.jpg") + " --align=report"));
}

TEST_F(Cli, VersionNamesTheProgramAndEveryPlugin) {
    Result r = Run("--version");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("loomhost 1.", 0), 0u) << r.out;
    // The version each library answers from its entry point, beside its file name.
    for (const char* line : {"  nimbra.so 110: ", "  voltrane.so 110: ", "  dioptrix.so 100: "}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
    // Without --version a command is still required.
    Result none = Run("");
    EXPECT_NE(none.status, 0);
    EXPECT_NE(none.err.find("A subcommand is required"), std::string::npos) << none.err;
}

TEST_F(Cli, SceneShowNamesTheFormatVersionAndRefusesOtherVersions) {
    const std::string scene = Path("v.loom");
    ASSERT_EQ(Run("scene new " + scene + " nimbra").status, 0);
    Result show = Run("scene show " + scene);
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_EQ(show.out.rfind("scene format version 1\n", 0), 0u) << show.out;
    // A file of a later format version: refused, naming both versions.
    {
        std::fstream f(scene, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(8);
        f.put('\x02');
    }
    Result later = Run("scene show " + scene);
    EXPECT_NE(later.status, 0);
    EXPECT_NE(later.err.find(scene), std::string::npos) << later.err;
    EXPECT_NE(later.err.find("unsupported scene format version 2 (this program reads version 1)"),
              std::string::npos)
        << later.err;
}

TEST_F(Cli, EveryCommandHasHelp) {
    for (const char* cmd : {"", "list", "params", "eval", "render", "viewport", "scene",
                            "scene new", "scene show", "edit"}) {
        Result r = Run(std::string(cmd) + " --help");
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << cmd;
    }
}

TEST_F(Cli, PanelCommandActsInOrderAndPresetsReachEveryCommand) {
    Result r = Run("panel nimbra --click Cirrus --spin 1102=4 --click Winter");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("rollup \"Nimbra Setup\""), std::string::npos);
    EXPECT_NE(r.out.find(" 1102 SpinnerControl     \"\" value=4"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("colour=178,178,178"), std::string::npos) << r.out;  // 0.7f packs to 178
    // The preset then the palette, clicked in the panel, equal the same values set directly.
    EXPECT_EQ(Run("eval nimbra --preset Cirrus --preset Winter 0.3,0.6").out,
              Run("eval nimbra --set Contrast=1.1 --set Density=0.6 --set Detail=9 "
                  "--set Softening=0.4 --set \"U Scale=10\" --set \"V Scale=50\" "
                  "--set \"U Shift=25\" --set \"U Waveform=22.5\" --set Cloud=0.7,0.7,0.7 "
                  "--set Sky=0.2,0.2,0.3 0.3,0.6")
                  .out);
    Result bad = Run("panel nimbra --click Nowhere");
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("no control called 'Nowhere'"), std::string::npos);
    EXPECT_NE(Run("render nimbra -o " + Path("x.png") + " --preset Bogus").status, 0);
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST_F(Cli, EditorTakesASceneFromAnyFolderUnlessARootIsGiven) {
    // Without --root the scene's own folder becomes the root, so an absolute path is looked
    // up where it points; with --root, the page's rule holds for the command line too.
    const std::string missing = Path("missing.loom");
    Result r = Run("edit --port 0 --scene " + missing);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(missing + ": cannot open"), std::string::npos) << r.err;
    r = Run("edit --port 0 --root " + dir.string() + " --scene " + missing);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("relative to the editor's folder"), std::string::npos) << r.err;
}

TEST_F(Cli, AnyThreadCountWritesTheSameFile) {
    auto render = [&](const std::string& name, const std::string& threads) {
        return Run("render nimbra --size 8x40 --output color,mono -o " + Path(name) +
                   " --threads " + threads);
    };
    ASSERT_EQ(render("one.png", "1").status, 0);
    Result many = render("many.png", "100000");
    ASSERT_EQ(many.status, 0) << many.err;
    auto bytes = [&](const std::string& name) {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(in), {}};
    };
    EXPECT_FALSE(bytes("one.png").empty());
    EXPECT_EQ(bytes("one.png"), bytes("many.png"));
    EXPECT_EQ(bytes("one_mono.png"), bytes("many_mono.png"));
    Result negative = render("neg.png", "-2");
    EXPECT_NE(negative.status, 0);
    EXPECT_NE(negative.err.find("--threads must be 0"), std::string::npos) << negative.err;
}

// Frame numbers are whole numbers 0..13421772 (the last frame whose time fits 32-bit
// ticks); times in frames lie within -13421772..13421772. Everything else is refused by
// name, with the range, before any conversion to int.
TEST_F(Cli, FramesAndTimesOutOfRangeAreRefusedWithTheRange) {
    const std::string out = " --size 2x2 -o " + Path("a.png");
    struct Case {
        std::string args;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {"render nimbra --frames 0-99999999999" + out, "frame '99999999999' is out of range"},
             {"render nimbra --frames 1e300-1e300" + out, "frame '1e300' is out of range"},
             {"render nimbra --frames -1-2" + out, "frame '-1' is out of range"},
             {"render nimbra --frames 0-2.5" + out, "'2.5' is not a whole frame number"},
             {"render nimbra --frames 0-x" + out, "'x' is not a frame number"},
             {"render nimbra --frames 0-13421773" + out, "frame '13421773' is out of range"},
             {"render nimbra --frames x" + out, "expected FIRST-LAST"},
             {"render nimbra --frames 1-3,0-x" + out, "'1-3,0-x': '0-x': 'x' is not a frame"},
             {"render nimbra --frames 5-2" + out, "the last frame is before the first"},
             {"render nimbra --time 1e300" + out, "time 1e+300 is out of range"},
             {"render nimbra --time -13421773" + out, "time -13421773 is out of range"},
             {"eval nimbra --time 1e300 0,0", "time 1e+300 is out of range"},
             {"viewport nimbra --time -1e20 --size 4 -o " + Path("a.png"),
              "time -1e+20 is out of range"},
             {"eval nimbra --key \"U Shift@1e300=1\" 0,0", "--key 'U Shift@1e300=1': time"},
         }) {
        SCOPED_TRACE(c.args);
        Result r = Run(c.args);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.err.rfind("loomhost: error: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        if (c.message.find("FIRST-LAST") == std::string::npos &&
            c.message.find("before") == std::string::npos) {
            EXPECT_NE(r.err.find("13421772)"), std::string::npos) << "no range: " << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(Path("a.png")));
    EXPECT_TRUE(
        std::none_of(fs::directory_iterator(dir), fs::directory_iterator(),
                     [](const fs::directory_entry& e) { return e.path().extension() == ".png"; }));
    // The ends of the range are accepted.
    Result last = Run("eval nimbra --time -13421772 0,0");
    EXPECT_EQ(last.status, 0) << last.err;
    Result sequence = Run("render nimbra --frames 13421771-13421772" + out);
    ASSERT_EQ(sequence.status, 0) << sequence.err;
    EXPECT_TRUE(fs::exists(Path("a_13421772.png")));
}

// A render whose images cannot fit is refused before anything is allocated, saying what it
// needs (40 bytes a pixel for one output, 16 more for each further one) and the limit.
TEST_F(Cli, RendersTooLargeForMemoryAreRefusedBeforeStarting) {
    const std::string out = " -o " + Path("big.png");
    Result r = Run("render nimbra --size 64x64 --max-memory 100k" + out);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--size 64x64 with --output color needs about 164 kB (40 bytes a pixel), "
                         "more than --max-memory (100 kB)"),
              std::string::npos)
        << r.err;
    r = Run("render nimbra --size 64x64 --output color,mono,normal --max-memory 0.2M" + out);
    EXPECT_NE(r.err.find("needs about 295 kB (72 bytes a pixel)"), std::string::npos) << r.err;
    for (const char* bad : {"lots", "-5G", "0", "2X"}) {
        r = Run("render nimbra --size 4x4 --max-memory " + std::string(bad) + out);
        EXPECT_NE(r.err.find("--max-memory '" + std::string(bad) + "'"), std::string::npos)
            << r.err;
    }
    EXPECT_FALSE(fs::exists(Path("big.png")));
    r = Run("render nimbra --size 64x64 --max-memory 200kB" + out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(Path("big.png")));

    // Without --max-memory the limit is the machine's memory, or ulimit -v when lower.
    // The biggest size needs about 42.9 GB for one output.
    const double physical =
        static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGE_SIZE));
    if (physical < 42.9e9) {
        r = Run("render nimbra --size 32768x32768 -o " + Path("huge.png"));
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("needs about 42.9 GB (40 bytes a pixel), more than"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(Path("huge.png")));
    }
#ifndef LOOM_IMAGE_LIBRARY_PRELOADED  // sanitizers need more address space than this
    {
        AddressLimit limit(4'096'000'000);
        r = Run("render nimbra --size 16384x16384 -o " + Path("huge.png"));
    }
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("needs about 10.7 GB (40 bytes a pixel), more than the address-space "
                         "limit (ulimit -v) (4.1 GB)"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(Path("huge.png")));
#endif
}

// Running out of memory ends in one line naming the file or the render, not in a bare
// std::bad_alloc. The picture claims 12000x12000 pixels (a gigabyte to read) in 219 bytes.
TEST_F(Cli, RunningOutOfMemoryNamesTheFileOrTheRender) {
#ifdef LOOM_IMAGE_LIBRARY_PRELOADED
    GTEST_SKIP() << "sanitizers need more address space than the limit leaves";
#endif
    const std::string big = Path("big.png");
    {
        const char* hex =
            "89504e470d0a1a0a0000000d4948445200002ee000002ee00802000000de271ba6000000a24944"
            "4154789cedc18100000000c3a0f9535fe100550100000000000000000000000000000000000000"
            "000000000000000000000000000000000000000000000000000000000000000000000000000000"
            "000000000000000000000000000000000000000000000000000000000000000000000000000000"
            "000000000000000000000000000000000000000000000000000000000000000000000000000000"
            "0000c06732a200018d442d200000000049454e44ae426082";
        std::string bytes;
        for (const char* h = hex; h[0] && h[1]; h += 2) {
            bytes.push_back(static_cast<char>(std::stoi(std::string(h, 2), nullptr, 16)));
        }
        ASSERT_EQ(bytes.size(), 219u);
        std::ofstream(big, std::ios::binary) << bytes;
    }
    struct Case {
        std::string args, message;
    };
    for (const Case& c : std::vector<Case>{
             {"anaglyph " + big + " " + big + " -o " + Path("o.png"), big + ": "},
             {"render nimbra --size 4x4 -o " + Path("o.png") + " --set Sky=image:" + big,
              "--set 'Sky=image:" + big + "': " + big + ": "},
             {"render nimbra --size 8192x8192 --output color,mono --max-memory 100G -o " +
                  Path("o.png"),
              "render 8192x8192: out of memory (it needs about 3.76 GB)"}}) {
        SCOPED_TRACE(c.args);
        Result r;
        {
            AddressLimit limit(1'200'000'000);
            r = Run(c.args);
        }
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.err.rfind("loomhost: error: " + c.message, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.find("bad_alloc"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(Path("o.png")));
    }
}

// Errors that come from the system or the standard library still say which file or which
// command met them, on one line.
TEST_F(Cli, ErrorsNameTheFileOnOneLine) {
    fs::create_directories(dir / "folder");
    const std::string folder = Path("folder");
    std::ofstream(Path("damaged.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n\0\0\0\rIHDR";
    for (const std::string& args :
         {"scene show " + folder, "render --scene " + folder + " -o " + Path("o.png"),
          "anaglyph --config " + folder + " --save-config " + Path("c.cfg"),
          "scene filter " + folder,
          "anaglyph " + Path("damaged.png") + " " + Path("damaged.png") + " -o " + Path("o.png")}) {
        SCOPED_TRACE(args);
        Result r = Run(args);
        EXPECT_NE(r.status, 0);
        const size_t at = r.err.find("loomhost: error: ");
        ASSERT_NE(at, std::string::npos) << r.err;
        const std::string line = r.err.substr(at);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << r.err;
        const std::string file =
            args.find("damaged") != std::string::npos ? Path("damaged.png") : folder;
        EXPECT_EQ(line.rfind("loomhost: error: " + file + ":", 0), 0u) << r.err;
    }
}

// The panel command acts as a person would: a text that several controls show is refused
// with their IDs; sliders are dragged and colours picked through the same door, and the
// texture takes what they set.
TEST_F(Cli, PanelRefusesAmbiguousTextsAndDrivesSlidersAndSwatches) {
    Result r = Run("panel voltrane --click Cosine");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--click 'Cosine': 2 controls have that text: 1010 (CustButton), "
                         "1029 (CustButton); click one by its ID"),
              std::string::npos)
        << r.err;
    r = Run("panel voltrane --click 1010");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" 1010 CustButton         \"Cosine\" checked"), std::string::npos);

    const std::string scene = Path("n.loom");
    r = Run("panel nimbra --slide 1151=40 --color 1133=255,128,0 --slide 1153=90 --save-scene " +
            scene);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" 1151 msctls_trackbar32  \"\" pos=40 range=0..100"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" 1133 ColorSwatch        \"\" colour=255,128,0"), std::string::npos);
    const std::string shown = Run("scene show " + scene).out;
    for (const char* row : {"U Shift = 40", "U Scale = 90", "Cloud = 1,0.501960814,0"}) {
        EXPECT_NE(shown.find(row), std::string::npos) << row << " in " << shown;
    }
    EXPECT_EQ(Run("eval --scene " + scene + " 0.3,0.6 0.9,0.2").out,
              Run("eval nimbra --set \"U Shift=40\" --set \"U Scale=90\" "
                  "--set Cloud=1,0.501960814,0 0.3,0.6 0.9,0.2")
                  .out);

    struct Case {
        std::string args, message;
    };
    for (const Case& c : std::vector<Case>{
             {"--slide 1151=101", "--slide '1151=101': the position must be a whole number 0..100"},
             {"--slide 1151=2.5", "--slide '1151=2.5': the position must be a whole number 0..100"},
             {"--slide 1151", "--slide '1151': expected ID=POSITION"},
             {"--slide 1133=5", "--slide '1133=5': no slider with that ID"},
             {"--color 1133=1,2", "--color '1133=1,2': expected R,G,B, each a whole number 0..255"},
             {"--color 1133=1,2,256",
              "--color '1133=1,2,256': expected R,G,B, each a whole number 0..255"},
             {"--color 1133=1,2,3,4",
              "--color '1133=1,2,3,4': expected R,G,B, each a whole number 0..255"},
             {"--color 1151=1,2,3", "--color '1151=1,2,3': no colour swatch with that ID"},
             {"--spin 1e300=3", "--spin '1e300=3': ID: '1e300' is not a control ID"},
         }) {
        SCOPED_TRACE(c.args);
        r = Run("panel nimbra " + c.args);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.err, "loomhost: error: " + c.message + "\n");
    }
}

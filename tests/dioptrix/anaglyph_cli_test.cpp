// loomhost anaglyph and scene filter, run as a user runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "app/core/filter/image16.h"
#include "dioptrix/composite.h"
#include "tests/support/cli_fixture.h"

namespace fs = std::filesystem;
using loom::Image16;

namespace {

using Result = loomtest::CliResult;

class Anaglyph : public loomtest::CliFixture {
  protected:
    /// Writes a test picture: a horizontal ramp in red, vertical in green, a constant blue.
    std::string Write(const std::string& name, int w, int h, int bits, int seed,
                      bool alpha = false) {
        Image16 img;
        img.width = w;
        img.height = h;
        img.hasAlpha = alpha;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                auto v = [](long n) { return static_cast<WORD>(n % 65536); };
                BMM_Color_64 p{v(x * 977L + seed * 3001L), v(y * 1553L + seed * 17L),
                               v(seed * 12345L), alpha ? v(x * y * 211L) : WORD{65535}};
                if (bits == 8)
                    p = {WORD(p.r / 257 * 257), WORD(p.g / 257 * 257), WORD(p.b / 257 * 257),
                         WORD(p.a / 257 * 257)};
                img.pixels.push_back(p);
            }
        }
        std::string err;
        EXPECT_TRUE(loom::WriteImage(Path(name), img, bits, err)) << err;
        return Path(name);
    }
    Image16 Load(const std::string& name) {
        Image16 img;
        std::string err;
        EXPECT_TRUE(loom::ReadImage16(Path(name), img, err)) << err;
        return img;
    }
    void ExpectOneLineError(const std::string& args, const std::string& text) {
        Result r = Run(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("loomhost: error: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(text), std::string::npos) << args << ": " << r.err;
    }
    bool NothingBut(std::initializer_list<std::string> names) {
        for (const auto& e : fs::directory_iterator(dir)) {
            std::string n = e.path().filename().string();
            if (n == "stderr.txt") continue;
            if (std::find(names.begin(), names.end(), n) == names.end()) {
                ADD_FAILURE() << "unexpected file " << n;
                return false;
            }
        }
        return true;
    }
};

}  // namespace

TEST_F(Anaglyph, SixteenBitViewsGiveSixteenBitLuminances) {
    std::string l = Write("l.png", 9, 7, 16, 1, true);
    std::string r = Write("r.tif", 9, 7, 16, 2);
    Result run = Run("anaglyph " + l + " " + r + " -o " + Path("out.png") +
                     " --left-comp 0 --right-comp 0 --left-eye blue --right-eye red");
    ASSERT_EQ(run.status, 0) << run.err;
    Image16 left = Load("l.png"), right = Load("r.tif"), out = Load("out.png");
    EXPECT_EQ(out.bits, 16);
    EXPECT_TRUE(out.hasAlpha);
    ASSERT_EQ(out.pixels.size(), left.pixels.size());
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out.pixels[i].b, StereoLuminance(left.pixels[i]));
        EXPECT_EQ(out.pixels[i].r, StereoLuminance(right.pixels[i]));
        EXPECT_EQ(out.pixels[i].g, 0);
        EXPECT_EQ(out.pixels[i].a, 65535);  // the right view is opaque
    }
    // --bits 8 asks for less.
    ASSERT_EQ(Run("anaglyph " + l + " " + r + " -o " + Path("out8.png") + " --bits 8").status, 0);
    EXPECT_EQ(Load("out8.png").bits, 8);
}

TEST_F(Anaglyph, EightBitViewsGiveEightBitOutputWithoutAlpha) {
    std::string l = Write("l.png", 8, 4, 8, 3);
    std::string r = Write("r.jpg", 8, 4, 8, 4);
    ASSERT_EQ(Run("anaglyph " + l + " " + r + " -o " + Path("out.png")).status, 0);
    Image16 left = Load("l.png"), right = Load("r.jpg"), out = Load("out.png");
    EXPECT_EQ(out.bits, 8);
    EXPECT_FALSE(out.hasAlpha);
    // Default glasses: red left, green right, compensations -0.1.
    CrossCorrection k = StereoCoefficients(-0.1f, -0.1f, 65535.0);
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        double il = static_cast<float>(Widen(k.aL) * StereoLuminance(left.pixels[i]) + Widen(k.bL));
        double ir =
            static_cast<float>(Widen(k.aR) * StereoLuminance(right.pixels[i]) + Widen(k.bR));
        EXPECT_NEAR(out.pixels[i].r, std::trunc(il - 0.1 * ir), 257) << i;  // 8-bit steps
        EXPECT_NEAR(out.pixels[i].g, std::trunc(ir - 0.1 * il), 257) << i;
        EXPECT_EQ(out.pixels[i].b, 0);
    }
}

TEST_F(Anaglyph, SideBySideEqualsTheTwoHalves) {
    std::string both = Write("both.png", 12, 5, 16, 5);
    Image16 img = Load("both.png");
    Image16 l = img, r = img;
    l.width = r.width = 6;
    l.pixels.clear();
    r.pixels.clear();
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 12; ++x) (x < 6 ? l : r).pixels.push_back(img.pixels[y * 12 + x]);
    }
    std::string err;
    ASSERT_TRUE(loom::WriteImage(Path("l.png"), l, 16, err));
    ASSERT_TRUE(loom::WriteImage(Path("r.png"), r, 16, err));
    ASSERT_EQ(Run("anaglyph --sbs " + both + " -o " + Path("a.png")).status, 0);
    ASSERT_EQ(
        Run("anaglyph " + Path("l.png") + " " + Path("r.png") + " -o " + Path("b.png")).status, 0);
    EXPECT_EQ(Load("a.png").width, 6);
    EXPECT_EQ(Load("a.png").pixels, Load("b.png").pixels);
}

TEST_F(Anaglyph, ConfigurationsTravelThroughFilesAndScenes) {
    std::string l = Write("l.png", 6, 6, 16, 6);
    std::string r = Write("r.png", 6, 6, 16, 7);
    std::string pair = l + " " + r + " -o ";
    ASSERT_EQ(Run("anaglyph " + pair + Path("direct.png") +
                  " --left-eye blue --right-eye red --left-comp -0.3")
                  .status,
              0);
    ASSERT_EQ(Run("anaglyph --save-config " + Path("c.cfg") +
                  " --left-eye blue --right-eye red --left-comp -0.3")
                  .status,
              0);
    std::ifstream cfg(Path("c.cfg"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(cfg)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, std::string("\x02\x00\x00\x00\x9a\x99\x99\xbe\xcd\xcc\xcc\xbd", 12));
    ASSERT_EQ(Run("anaglyph " + pair + Path("fromfile.png") + " --config " + Path("c.cfg")).status,
              0);
    EXPECT_EQ(Load("fromfile.png").pixels, Load("direct.png").pixels);

    // A scene that also holds a texture keeps it; its filter entry drives the render.
    std::string scene = Path("s.loom");
    ASSERT_EQ(Run("scene new " + scene + " nimbra --entry clouds").status, 0);
    Result stored = Run("scene filter " + scene +
                        " --entry glasses --left-eye blue --right-eye red --left-comp -0.3");
    ASSERT_EQ(stored.status, 0) << stored.err;
    EXPECT_EQ(stored.out, "glasses: left blue, right red, compensations -0.3 and -0.1\n");
    Result again = Run("scene filter " + scene + " --entry glasses");  // shows, keeps
    EXPECT_EQ(again.out, stored.out);
    EXPECT_NE(Run("scene show " + scene).out.find("entry 'clouds'"), std::string::npos);
    ASSERT_EQ(Run("anaglyph " + pair + Path("scene.png") + " --scene " + scene).status, 0);
    EXPECT_EQ(Load("scene.png").pixels, Load("direct.png").pixels);
    // Options change what the entry holds for this run only.
    ASSERT_EQ(Run("anaglyph " + pair + Path("changed.png") + " --scene " + scene +
                  " --entry glasses --left-comp 0")
                  .status,
              0);
    EXPECT_NE(Load("changed.png").pixels, Load("direct.png").pixels);
    EXPECT_EQ(Run("scene filter " + scene + " --entry glasses").out, stored.out);
}

// A record read from a file holds what the setup dialog and the typed options allow, or it
// is refused with the range before anything is composed or stored. Reserved bytes are
// not checked: the filter writes them as 0.
TEST_F(Anaglyph, RecordsOutOfRangeAreRefusedWithTheRange) {
    std::string l = Write("l.png", 4, 4, 8, 1);
    std::string r = Write("r.png", 4, 4, 8, 2);
    auto record = [](std::uint8_t left, std::uint8_t right, float lc, float rc) {
        std::string b = {static_cast<char>(left), static_cast<char>(right), 5, 6};
        for (float c : {lc, rc}) b.append(reinterpret_cast<const char*>(&c), 4);
        return b;
    };
    const float nan = std::nanf("");
    struct Case {
        std::string bytes, message;
    };
    const std::string scene = Path("s.loom");
    for (const Case& c : std::vector<Case>{
             {record(9, 1, -0.1f, -0.1f), "left eye colour 9 is outside 0..2 (red, green, blue)"},
             {record(0, 3, -0.1f, -0.1f), "right eye colour 3 is outside 0..2"},
             {record(2, 2, -0.1f, -0.1f), "both eyes are blue"},
             {record(0, 1, nan, -0.1f), "left compensation nan is outside -0.5..0"},
             {record(0, 1, -0.1f, 0.25f), "right compensation 0.25 is outside -0.5..0"},
             {record(0, 1, -0.1f, -0.5001f), "right compensation -0.5001 is outside -0.5..0"},
         }) {
        SCOPED_TRACE(c.message);
        const std::string cfg = Path("bad.cfg");
        std::ofstream(cfg, std::ios::binary) << c.bytes;
        for (const std::string& args :
             {"scene filter " + scene + " --config " + cfg,
              "anaglyph " + l + " " + r + " -o " + Path("out.png") + " --config " + cfg,
              "anaglyph --save-config " + Path("copy.cfg") + " --config " + cfg}) {
            ExpectOneLineError(args, cfg + ": " + c.message);
        }
        EXPECT_TRUE(NothingBut({"l.png", "r.png", "bad.cfg"}));
    }
    // The ends of the ranges are accepted, and the reserved bytes come back as 0.
    std::ofstream(Path("edge.cfg"), std::ios::binary) << record(2, 0, -0.5f, -0.0f);
    Result stored = Run("scene filter " + scene + " --config " + Path("edge.cfg"));
    ASSERT_EQ(stored.status, 0) << stored.err;
    EXPECT_EQ(stored.out, "stereo: left blue, right red, compensations -0.5 and -0\n");
    ASSERT_EQ(Run("anaglyph --save-config " + Path("copy.cfg") + " --scene " + scene).status, 0);
    std::ifstream copy(Path("copy.cfg"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(copy)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, std::string("\x02\x00\x00\x00", 4) + record(2, 0, -0.5f, -0.0f).substr(4));
}

// One eye's colour given alone follows the setup dialog's rule in every command: when the
// other eye has that colour, it takes the given eye's old one.
TEST_F(Anaglyph, OneEyeGivenAloneSwapsAsTheSetupDialogDoes) {
    const char* const kNames[] = {"red", "green", "blue"};
    struct Case {
        std::string option;
        int left, right;  // expected, from the defaults red and green
    };
    for (const Case& c : std::vector<Case>{{"--left-eye red", 0, 1},
                                           {"--left-eye green", 1, 0},
                                           {"--left-eye blue", 2, 1},
                                           {"--right-eye red", 1, 0},
                                           {"--right-eye green", 0, 1},
                                           {"--right-eye blue", 0, 2}}) {
        SCOPED_TRACE(c.option);
        const std::string left = kNames[c.left], right = kNames[c.right];
        Result saved = Run("anaglyph --save-config " + Path("c.cfg") + " " + c.option);
        ASSERT_EQ(saved.status, 0) << saved.err;
        std::ifstream cfg(Path("c.cfg"), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(cfg)), {});
        ASSERT_EQ(bytes.size(), 12u);
        EXPECT_EQ(bytes[0], c.left);
        EXPECT_EQ(bytes[1], c.right);
        fs::remove(Path("s.loom"));
        EXPECT_EQ(Run("scene filter " + Path("s.loom") + " " + c.option).out,
                  "stereo: left " + left + ", right " + right + ", compensations -0.1 and -0.1\n");
        const Result shown = Run("calibrate -o " + Path("duck.png") + " " + c.option);
        EXPECT_NE(shown.out.find("left eye " + left + " -0.1, right eye " + right + " -0.1"),
                  std::string::npos)
            << shown.out << shown.err;
    }
    // The rule starts from what an entry holds, as the dialog starts from the configuration.
    const std::string scene = Path("s.loom");
    ASSERT_EQ(Run("scene filter " + scene + " --left-eye blue --right-eye red").status, 0);
    EXPECT_EQ(Run("scene filter " + scene + " --left-eye red").out,
              "stereo: left red, right blue, compensations -0.1 and -0.1\n");
    ExpectOneLineError("scene filter " + scene + " --left-eye green --right-eye green",
                       "both eyes would see green");
    ExpectOneLineError("calibrate -o " + Path("duck.png") + " --left-eye blue --right-eye blue",
                       "both eyes would see blue");
}

TEST_F(Anaglyph, CalibrationPictureGrowsByRepeatingTheDialogsPixels) {
    ASSERT_EQ(Run("calibrate -o " + Path("small.png")).status, 0);
    const Result big = Run("calibrate --size 400 -o " + Path("big.png"));
    ASSERT_EQ(big.status, 0) << big.err;
    EXPECT_NE(big.out.find("400x400"), std::string::npos) << big.out;
    const Image16 small = Load("small.png"), large = Load("big.png");
    ASSERT_GT(small.width, 0);
    ASSERT_EQ(large.width, 400);
    ASSERT_EQ(large.height, 400);
    // Every pixel is the dialog's pixel under it: no colour the dialog does not show.
    int differing = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 400; ++x) {
            const BMM_Color_64& from =
                small.pixels[static_cast<size_t>(y * small.height / 400) * small.width +
                             static_cast<size_t>(x * small.width / 400)];
            const BMM_Color_64& to = large.pixels[static_cast<size_t>(y) * 400 + x];
            differing += from.r != to.r || from.g != to.g || from.b != to.b;
        }
    }
    EXPECT_EQ(differing, 0);
    ExpectOneLineError("calibrate --size 8 -o " + Path("tiny.png"), "between 16 and 4096");
    ExpectOneLineError("calibrate --size 5000 -o " + Path("huge.png"), "between 16 and 4096");
    EXPECT_FALSE(fs::exists(Path("tiny.png")));
}

TEST_F(Anaglyph, BadInputGetsOneLineAndLeavesNoOutput) {
    std::string l = Write("l.png", 6, 4, 8, 1);
    std::string r = Write("r.png", 6, 4, 8, 2);
    std::string wide = Write("wide.png", 7, 4, 8, 3);
    std::ofstream(Path("short.cfg")) << "12345";
    std::ofstream(Path("notimage.png")) << "not an image";
    std::string out = " -o " + Path("out.png");
    const std::pair<std::string, std::string> cases[] = {
        {l + " " + wide + out, "the views differ in size"},
        {l + " " + Path("missing.png") + out, "missing.png"},
        {l + " " + Path("notimage.png") + out, "notimage.png"},
        {l + " " + r + out + " --left-eye purple", "--left-eye 'purple'"},
        {l + " " + r + out + " --left-comp 0.2", "outside -0.5..0"},
        {l + " " + r + out + " --right-comp -0.75", "outside -0.5..0"},
        {l + " " + r + out + " --left-eye red --right-eye red", "different colours"},
        {l + " " + r + out + " --bits 12", "--bits"},
        {l + " " + r, "-o"},
        {l + out, "the right view too"},
        {"--sbs " + l + " " + r + out, "--sbs"},
        {l + " " + r + " -o " + Path("out.bmp"), "unsupported image format"},
        {l + " " + r + " -o " + Path("nodir/out.png"), "does not exist"},
        {l + " " + r + out + " --config " + Path("short.cfg"), "holds 5 bytes"},
        {l + " " + r + out + " --scene " + Path("missing.loom"), "missing.loom"},
        {"", "LEFT and RIGHT"},
    };
    for (const auto& [args, text] : cases) ExpectOneLineError("anaglyph " + args, text);
    EXPECT_TRUE(NothingBut({"l.png", "r.png", "wide.png", "short.cfg", "notimage.png"}));
}

TEST_F(Anaglyph, CtrlCAbortsThroughTheFilterAndLeavesNoFile) {
    // Large enough that reading and composing take a good while.
    std::string l = Write("l.png", 1600, 1200, 16, 8);
    std::string r = Write("r.png", 1600, 1200, 16, 9);
    std::string out = Path("out.png");
    std::string errFile = Path("stderr.txt");
    // Interrupts before the command watches for them are ignored (the child inherits the
    // setting from the moment it is forked); afterwards they are the command's to handle.
    auto previous = signal(SIGINT, SIG_IGN);
    pid_t pid = fork();
    if (pid != 0) signal(SIGINT, previous);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        FILE* e = std::freopen(errFile.c_str(), "w", stderr);
        (void)e;
        execl(LOOMHOST_BIN, LOOMHOST_BIN, "--plugins", PLUGIN_DIR, "anaglyph", l.c_str(), r.c_str(),
              "-o", out.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        ASSERT_GE(done, 0);
        if (done == pid) break;
        kill(pid, SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream e(errFile);
    std::stringstream ss;
    ss << e.rdbuf();
    EXPECT_NE(ss.str().find("interrupted; nothing written"), std::string::npos) << ss.str();
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(NothingBut({"l.png", "r.png"}));  // no temporary file either
}

TEST_F(Anaglyph, SphereStereoPairsComeFromTheRenderer) {
    std::string l = Path("l.png"), r = Path("r.png");
    ASSERT_EQ(Run("render nimbra --sphere --eye -0.2 --size 64x48 -o " + l).status, 0);
    ASSERT_EQ(Run("render nimbra --sphere --eye 0.2 --size 64x48 -o " + r).status, 0);
    Image16 left = Load("l.png"), right = Load("r.png");
    ASSERT_EQ(left.width, 64);
    EXPECT_EQ(left.pixels[0], (BMM_Color_64{0, 0, 0, 65535}));     // background
    EXPECT_GT(StereoLuminance(left.pixels[24 * 64 + 32]), 5000u);  // the lit sphere
    EXPECT_NE(left.pixels, right.pixels);
    ASSERT_EQ(Run("anaglyph " + l + " " + r + " -o " + Path("a.png")).status, 0);
    ExpectOneLineError("render nimbra --eye 0.1 -o " + Path("x.png"), "--eye needs --sphere");
    ExpectOneLineError("render nimbra --sphere --eye 3 -o " + Path("x.png"), "-2..2");
}

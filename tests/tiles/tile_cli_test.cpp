// The command line's tiles, seeds, loops, renderer-ready files and contact sheets, run as a
// user runs them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/host/sdk/bitmap.h"
#include "tests/support/cli_fixture.h"

namespace fs = std::filesystem;
using loom::FloatImage;

namespace {

class TileCli : public loomtest::CliFixture {
  protected:
    std::string Bytes(const std::string& name) {
        std::ifstream in(Path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    /// `oiiotool --info -v FILE`.
    std::string Info(const std::string& name) {
        const std::string cmd = "oiiotool --info -v '" + Path(name) + "' 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        std::string out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
        return out;
    }
    FloatImage Read(const std::string& name) {
        FloatImage img;
        int bits = 0;
        std::string err;
        EXPECT_TRUE(loom::ReadImage(Path(name), img, bits, err)) << err;
        return img;
    }
};

}  // namespace

TEST_F(TileCli, BadRequestsAreRefusedClearlyAndLeaveNoFile) {
    const std::pair<std::string, std::string> cases[] = {
        {"nimbra --tiles 3x3 --size 256x256 -o " + Path("a.png"), "not a whole number of pixels"},
        {"nimbra --tiles 0x2 -o " + Path("a.png"), "expected CxR"},
        {"fervix --seed -1 -o " + Path("a.png"), "0..2147483647"},
        {"fervix --seed 2147483648 -o " + Path("a.png"), "out of range"},
        {"fervix --seed 1.5 -o " + Path("a.png"), "out of range"},
        {"nimbra --loop -o " + Path("a.png"), "--loop needs a frame range"},
        {"nimbra --tx -o " + Path("missing/a.tx"), "missing"},
        {"nimbra --tx -o " + Path("a.png"), "name it with .tx"},
        {"nimbra -o " + Path("a.tx"), "need --tx"},
        {"nimbra --bits 32 -o " + Path("a.png"), "use .exr"},
        {"nimbra --sheet seeds:5-1 -o " + Path("a.png"), "A <= B"},
        {"voltrane --sheet presets -o " + Path("a.png"), "has no presets"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args);
        const loomtest::CliResult r = Run("render " + args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    // Nothing written, not even a temporary file.
    std::size_t left = 0;
    for (const auto& e : fs::directory_iterator(dir)) left += e.path().filename() != "stderr.txt";
    EXPECT_EQ(left, 0u);
}

TEST_F(TileCli, ASeedGivesTheSameBitsOnEveryVectorLevelAndThreadCount) {
    // Each vector level the machine has (others fall back), crossed with 1 and 2 threads.
    const std::pair<const char*, int> runs[] = {
        {"scalar", 1}, {"sse2", 2}, {"avx2", 1}, {"avx512", 2}};
    for (const char* cls : {"fervix", "nimbra", "voltrane --set Goo=1 --set RandomStatic=0"}) {
        SCOPED_TRACE(cls);
        std::string first;
        for (const auto& [isa, threads] : runs) {
            const std::string out = std::string(isa) + ".png";
            ASSERT_EQ(setenv("LOOM_ISA", isa, 1), 0);
            const loomtest::CliResult s =
                Run(std::string("render ") + cls + " --seed 4242 --size 48x40 --threads " +
                    std::to_string(threads) + " -o " + Path(out));
            unsetenv("LOOM_ISA");
            ASSERT_EQ(s.status, 0) << s.err;
            const std::string bytes = Bytes(out);
            if (first.empty()) {
                first = bytes;
            } else {
                EXPECT_EQ(bytes, first) << isa;
            }
        }
        // And not the default seed's pattern.
        ASSERT_EQ(Run(std::string("render ") + cls + " --size 48x40 -o " + Path("d.png")).status,
                  0);
        EXPECT_NE(Bytes("d.png"), first);
    }
}

TEST_F(TileCli, FloatAndTextureFilesCarryTheirTagsLevelsAndPixels) {
    ASSERT_EQ(
        Run("render lumidot --tile --size 64x64 --output color,normal -o " + Path("t.png")).status,
        0);
    const loomtest::CliResult exr =
        Run("render lumidot --tile --size 64x64 --bits 32 "
            "--output color,normal -o " +
            Path("t.exr"));
    ASSERT_EQ(exr.status, 0) << exr.err;
    const std::string colour = Info("t.exr");
    EXPECT_NE(colour.find("float openexr"), std::string::npos) << colour;
    EXPECT_NE(colour.find("colorspace: \"linear\""), std::string::npos) << colour;
    const std::string normal = Info("t_normal.exr");
    EXPECT_NE(normal.find("colorspace: \"Raw\""), std::string::npos) << normal;
    // The colour is the 8-bit picture's in linear light; the normal map is not converted.
    const FloatImage srgb = Read("t.png"), lin = Read("t.exr");
    const FloatImage n8 = Read("t_normal.png"), n32 = Read("t_normal.exr");
    for (size_t i = 0; i < srgb.rgba.size(); i += 97) {
        if (i % 4 == 3) continue;
        const double s = srgb.rgba[i];
        const double expect = s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        EXPECT_NEAR(lin.rgba[i], expect, 0.004) << i;
        EXPECT_NEAR(n32.rgba[i], n8.rgba[i], 0.5 / 255 + 1e-6) << i;
    }

    const loomtest::CliResult tx =
        Run("render lumidot --tile --size 128x128 --tx --bits 16 -o " + Path("t.tx"));
    ASSERT_EQ(tx.status, 0) << tx.err;
    const std::string info = Info("t.tx");
    EXPECT_NE(info.find("MIP-map levels: 128x128 64x64 32x32"), std::string::npos) << info;
    EXPECT_NE(info.find("tile size: 64 x 64"), std::string::npos) << info;
    EXPECT_NE(info.find("oiio:ColorSpace: \"sRGB\""), std::string::npos) << info;
    EXPECT_NE(info.find("wrapmodes: \"periodic,periodic\""), std::string::npos) << info;
    ASSERT_EQ(Run("render lumidot --tags --size 32x32 -o " + Path("s.png")).status, 0);
    EXPECT_NE(Info("s.png").find("oiio:ColorSpace: \"sRGB\""), std::string::npos);
}

TEST_F(TileCli, TilesRepeatAndAContactSheetHoldsEachPresetAsItRendersAlone) {
    ASSERT_EQ(Run("render nimbra --tiles 2x2 --size 64x32 -o " + Path("r.png")).status, 0);
    const FloatImage r = Read("r.png");
    ASSERT_EQ(r.width, 64);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            const size_t a = (static_cast<size_t>(y) * 64 + x) * 4;
            EXPECT_EQ(r.rgba[a], r.rgba[a + 32 * 4]);
            EXPECT_EQ(r.rgba[a], r.rgba[a + 16 * 64 * 4]);
        }
    }
    const loomtest::CliResult sheet =
        Run("render lumidot --sheet presets --size 32x32 -o " + Path("sheet.png"));
    ASSERT_EQ(sheet.status, 0) << sheet.err;
    ASSERT_EQ(Run("render lumidot --preset 'Video Wall' --size 32x32 -o " + Path("v.png")).status,
              0);
    const FloatImage s = Read("sheet.png"), v = Read("v.png");
    // Three presets in two columns; cells of 32 with a label strip of 11 and gaps of 4.
    ASSERT_EQ(s.width, 2 * 36 + 4);
    ASSERT_EQ(s.height, 2 * (32 + 11 + 4) + 4);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const size_t cell = (static_cast<size_t>(4 + y) * s.width + 40 + x) * 4;
            const size_t alone = (static_cast<size_t>(y) * 32 + x) * 4;
            ASSERT_EQ(s.rgba[cell], v.rgba[alone]) << x << "," << y;
        }
    }
}

TEST_F(TileCli, ALoopWritesFramesWhoseFirstFollowsTheLastAndAManifestWithTheSeed) {
    const loomtest::CliResult r =
        Run("render fervix --loop --seed 3 --frames 0-5 --size 48x48 --manifest " + Path("m.json") +
            " -o " + Path("f.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream m(Path("m.json"));
    std::stringstream text;
    text << m.rdbuf();
    EXPECT_NE(text.str().find("\"seed\": 3"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\"loop\": true"), std::string::npos) << text.str();
    // Frame 6 would be frame 0: frame 5 shifted on by one step is frame 0.
    const FloatImage last = Read("f_0005.png"), first = Read("f_0000.png");
    EXPECT_NE(last.rgba, first.rgba);
}

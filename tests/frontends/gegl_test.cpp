// The GEGL operations run by the `gegl` program, against loomhost's files of the same
// settings, bit for bit at 16 bits.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/frontends/host_run.h"

namespace loomtest {
namespace {

class GeglTest : public HostFixture {
  protected:
    /// `gegl -o OUT -- CHAIN` with the build's module.
    ShellResult Gegl(const std::string& out, const std::string& chain) {
        return Shell("GEGL_PATH='" GEGL_MODULE_DIR "' gegl -o " + out + " -- " + chain);
    }
    void ExpectGegl(const std::string& out, const std::string& chain) {
        const ShellResult r = Gegl(out, chain);
        ASSERT_EQ(r.status, 0) << chain << "\n" << r.err;
        EXPECT_EQ(r.err.find("loomwork"), std::string::npos) << r.err;
    }
};

TEST_F(GeglTest, TexturesAtTheirDefaultsAreLoomhostsSixteenBitFiles) {
    for (const std::string name : {"nimbra", "fervix", "lumidot", "voltrane"}) {
        SCOPED_TRACE(name);
        ExpectGegl(name + "_gegl.png", "loomwork:" + name + " width=40 height=24");
        Loomhost("render " + name + " -o " + Path(name + ".png") + " --size 40x24 --bits 16");
        ExpectSamePixels(name + "_gegl.png", name + ".png");
    }
}

TEST_F(GeglTest, PropertiesAndTimeAreLoomhostsSetAndTime) {
    ExpectGegl("n_gegl.png",
               "loomwork:nimbra width=36 height=20 time=12.5 density=1.3 detail=4 "
               "u-scale=60 positive=false negative=true sky='rgb(0.5, 0.25, 1)'");
    Loomhost("render nimbra -o " + Path("n.png") +
             " --size 36x20 --bits 16 --time 12.5 --set Density=1.3 --set Detail=4 "
             "--set 'U Scale=60' --set Positive=0 --set Negative=1 --set Sky=0.5,0.25,1");
    ExpectSamePixels("n_gegl.png", "n.png");
    ExpectGegl("v_gegl.png",
               "loomwork:voltrane width=30 height=30 time=3 radial=true linear-horizontal=false "
               "edge-size=0.05");
    Loomhost("render voltrane -o " + Path("v.png") +
             " --size 30x30 --bits 16 --time 3 --set Radial=1 --set 'Linear Horizontal=0' "
             "--set 'Edge Size=0.05'");
    ExpectSamePixels("v_gegl.png", "v.png");
}

TEST_F(GeglTest, SeedsAndTilesAreLoomhostsSeedAndTiles) {
    // Fervix's noise tables and Voltrane's draws come from the seed; a tile changes the scales.
    ExpectGegl("f_gegl.png", "loomwork:fervix width=32 height=16 seed=7 tile=true");
    Loomhost("render fervix -o " + Path("f.png") + " --size 32x16 --bits 16 --seed 7 --tile");
    ExpectSamePixels("f_gegl.png", "f.png");
    ExpectGegl("v_gegl.png",
               "loomwork:voltrane width=32 height=24 seed=3 tiles-across=2 "
               "tiles-down=3 time=2");
    Loomhost("render voltrane -o " + Path("v.png") +
             " --size 32x24 --bits 16 --seed 3 --tiles 2x3 --time 2");
    ExpectSamePixels("v_gegl.png", "v.png");
    // The seed makes a difference here: the comparisons above can fail.
    ExpectGegl("f0_gegl.png", "loomwork:fervix width=32 height=16 tile=true");
    EXPECT_FALSE(SamePixels("f0_gegl.png", "f_gegl.png"));
}

TEST_F(GeglTest, WithoutThePlugInsTheTextureOperationsStayAndSayWhy) {
    // The module over a copy of the core that has no plug-in folder near it, with an empty
    // LOOMHOST_PLUGINS and no user folder: a GIMP whose plug-ins are missing.
    namespace fs = std::filesystem;
    fs::create_directories(dir / "lib");
    fs::create_directories(dir / "empty");
    fs::create_directories(dir / "home");
    for (const char* lib : {CORE_LIBRARY, HOST_LIBRARY}) {
        fs::copy_file(lib, dir / "lib" / fs::path(lib).filename());
    }
    const std::string env =
        "env -u XDG_DATA_HOME HOME=home LD_LIBRARY_PATH=lib "
        "LOOMHOST_PLUGINS=empty GEGL_PATH='" GEGL_MODULE_DIR "' ";
    const ShellResult listed = Shell(env + "gegl --list-all | tee ops.txt");
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::ifstream opsFile(Path("ops.txt"));
    const std::string ops{std::istreambuf_iterator<char>(opsFile), {}};
    for (const std::string name : {"nimbra", "fervix", "lumidot", "voltrane"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(ops.find("loomwork:" + name + "\n"), std::string::npos) << ops;
        const ShellResult r =
            Shell(env + "gegl -o " + name + ".png -- loomwork:" + name + " width=8 height=4");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("loomwork:" + name + " renders nothing: the plug-in " + name +
                             ".so is not among the plug-ins loaded from empty"),
                  std::string::npos)
            << r.err;
        loom::Image16 picture;
        std::string err;
        ASSERT_TRUE(loom::ReadImage16(Path(name + ".png"), picture, err)) << err;
        for (const BMM_Color_64& p : picture.pixels) ASSERT_EQ(p.a, 0);  // transparent
    }
    // The description GIMP shows says why, too.
    const ShellResult info = Shell(env + "gegl --info loomwork:nimbra | tee info.txt");
    EXPECT_EQ(info.status, 0) << info.err;
    std::ifstream infoFile(Path("info.txt"));
    const std::string text{std::istreambuf_iterator<char>(infoFile), {}};
    EXPECT_NE(text.find("Renders nothing: the plug-in nimbra.so"), std::string::npos) << text;
}

class GeglAnaglyphTest : public GeglTest {
  protected:
    void SetUp() override {
        GeglTest::SetUp();
        // Two 16-bit views of one size, and the two side by side.
        Loomhost("render nimbra -o " + Path("left.png") + " --size 32x20 --bits 16");
        Loomhost("render fervix -o " + Path("right.png") + " --size 32x20 --bits 16");
        loom::Image16 l, r, both;
        std::string err;
        ASSERT_TRUE(loom::ReadImage16(Path("left.png"), l, err)) << err;
        ASSERT_TRUE(loom::ReadImage16(Path("right.png"), r, err)) << err;
        both = l;
        both.width = 64;
        both.pixels.clear();
        for (int y = 0; y < 20; ++y) {
            both.pixels.insert(both.pixels.end(), l.pixels.begin() + y * 32,
                               l.pixels.begin() + (y + 1) * 32);
            both.pixels.insert(both.pixels.end(), r.pixels.begin() + y * 32,
                               r.pixels.begin() + (y + 1) * 32);
        }
        ASSERT_TRUE(loom::WriteImage(Path("sbs.png"), both, 16, err)) << err;
    }
    /// The pair through the composer with `properties` (which come before the aux input:
    /// gegl's chain syntax gives what follows it to the aux chain).
    static std::string Pair(const std::string& properties) {
        return "gegl:load path=left.png loomwork:anaglyph " + properties +
               " aux=[ gegl:load path=right.png ]";
    }
};

TEST_F(GeglAnaglyphTest, ComposerIsLoomhostAnaglyph) {
    ExpectGegl("grey_gegl.png", Pair("left-eye=green right-eye=blue left-compensation=-0.25 "
                                     "right-compensation=-0.05"));
    Loomhost("anaglyph " + Path("left.png") + " " + Path("right.png") + " -o " + Path("grey.png") +
             " --left-eye green --right-eye blue --left-comp -0.25 "
             "--right-comp -0.05");
    ExpectSamePixels("grey_gegl.png", "grey.png");
    ExpectGegl("dubois_gegl.png", Pair("method=dubois glasses=amber-blue"));
    Loomhost("anaglyph " + Path("left.png") + " " + Path("right.png") + " -o " +
             Path("dubois.png") + " --method dubois --glasses amber-blue");
    ExpectSamePixels("dubois_gegl.png", "dubois.png");
}

TEST_F(GeglAnaglyphTest, SideBySideFilterIsLoomhostAnaglyphSbs) {
    ExpectGegl("sbs_gegl.png",
               "gegl:load path=sbs.png loomwork:anaglyph-sbs glasses=green-magenta");
    Loomhost("anaglyph " + Path("sbs.png") + " --sbs -o " + Path("sbs_out.png") +
             " --glasses green-magenta");
    ExpectSamePixels("sbs_gegl.png", "sbs_out.png");
}

TEST_F(GeglAnaglyphTest, BadSettingsAndInputsAreReportedWithoutACrash) {
    struct Case {
        const char* chain;
        const char* expect;  // in gegl's messages
    };
    const Case cases[] = {
        {"loomwork:nimbra width=0 height=8", ""},
        {"loomwork:nimbra width=8 height=8 no-such-property=1", "no-such-property"},
        {"loomwork:nimbra width=8 height=8 density=banana", ""},
        {"loomwork:no-such-texture", ""},
        {"loomwork:nimbra width=9 height=8 tiles-across=2", "whole number"},
        {"loomwork:nimbra width=8 height=8 seed=-4", ""},
        {"gegl:load path=left.png loomwork:anaglyph left-eye=red right-eye=red aux=[ gegl:load "
         "path=right.png ]",
         "both eyes"},
        {"gegl:load path=left.png loomwork:anaglyph", "aux"},
        {"gegl:load path=left.png loomwork:anaglyph aux=[ gegl:load path=sbs.png ]", "differ"},
        {"gegl:load path=left.png loomwork:anaglyph method=sepia aux=[ gegl:load "
         "path=right.png ]",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chain);
        const ShellResult r = Gegl("bad.png", c.chain);
        EXPECT_FALSE(r.signalled) << r.err;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace loomtest

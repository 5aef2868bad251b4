// loomhost anaglyph's pair adjustments and layouts, run as a user runs it: --align and its
// report, refusals and warnings, --layout for pictures, --probe, the grey method for named
// glasses, --matrix and --linear, EXIF orientation of plain JPEG pairs, --on-error continue.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/core/filter/image16.h"
#include "tests/stereo/stereo_files.h"
#include "tests/stereo/stereo_scene.h"
#include "tests/support/cli_fixture.h"

namespace fs = std::filesystem;
using loom::Image16;

namespace {

class AlignCli : public loomtest::CliFixture {
  protected:
    std::string Write(const std::string& name, const Image16& img, int bits = 8) {
        std::string err;
        EXPECT_TRUE(loom::WriteImage16(Path(name), img, bits, err)) << err;
        return Path(name);
    }
    std::string Save(const std::string& name, const stereotest::Bytes& bytes) {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
    Image16 Load(const std::string& path) {
        Image16 img;
        std::string err;
        EXPECT_TRUE(loom::ReadImage16(path, img, err)) << err;
        return img;
    }
    std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    loomtest::CliResult Anaglyph(const std::string& args) { return Run("anaglyph " + args); }
};

TEST_F(AlignCli, AlignsReportsAndCropsAPair) {
    const Image16 left = stereotest::PhotoLike(480, 360, 21);
    const std::string l = Write("l.png", left);
    const std::string r = Write("r.png", stereotest::Perturbed(left, {-8, 1.0, 1.01}));
    const std::string out = Path("out.png"), report = Path("report.json");
    const loomtest::CliResult run =
        Anaglyph(l + " " + r + " --align --report " + report + " -o " + out);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("aligned"), std::string::npos) << run.out;
    std::ifstream in(report);
    const nlohmann::json j = nlohmann::json::parse(in);
    for (const char* key :
         {"dy_px", "rotation_deg", "scale", "keystone", "matches", "residual_median_px",
          "residual_p95_px", "parallax_px", "crop", "align_seconds"}) {
        EXPECT_TRUE(j.contains(key)) << key;
    }
    EXPECT_NEAR(j["dy_px"].get<double>(), -8, 0.25);
    EXPECT_NEAR(j["rotation_deg"].get<double>(), 1.0, 0.05);
    EXPECT_NEAR(j["scale"].get<double>(), 1.01, 0.001);
    const Image16 composed = Load(out);
    EXPECT_EQ(composed.width, j["crop"]["width"].get<int>());
    EXPECT_EQ(composed.height, j["crop"]["height"].get<int>());
    EXPECT_LT(composed.width, 480);

    // --align=report measures, composes nothing without -o, and changes nothing with it.
    const loomtest::CliResult measured = Anaglyph(l + " " + r + " --align=report");
    EXPECT_EQ(measured.status, 0) << measured.err;
    EXPECT_NE(measured.out.find("not applied"), std::string::npos) << measured.out;
    ASSERT_EQ(Anaglyph(l + " " + r + " -o " + Path("plain.png")).status, 0);
    ASSERT_EQ(Anaglyph(l + " " + r + " --align=report -o " + Path("reported.png")).status, 0);
    EXPECT_EQ(Bytes(Path("plain.png")), Bytes(Path("reported.png")));
}

TEST_F(AlignCli, RefusesWhatCannotBeMatchedAndWarnsOfSwappedViews) {
    Image16 flat = stereotest::PhotoLike(200, 150, 1);
    for (BMM_Color_64& p : flat.pixels) p = {20000, 30000, 40000, 65535};
    const std::string f = Write("flat.png", flat), out = Path("out.png");
    loomtest::CliResult run = Anaglyph(f + " " + f + " --align -o " + out);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("0 matches"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
    // --align=try composes it as it is, with a warning.
    run = Anaglyph(f + " " + f + " --align=try -o " + out);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning"), std::string::npos) << run.err;
    ASSERT_EQ(Anaglyph(f + " " + f + " -o " + Path("plain.png")).status, 0);
    EXPECT_EQ(Bytes(out), Bytes(Path("plain.png")));
    // Too small to align: a clear error, nothing written.
    const std::string tiny = Write("tiny.png", stereotest::PhotoLike(300, 1, 2));
    run = Anaglyph(tiny + " " + tiny + " --align -o " + Path("tiny_out.png"));
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("too small"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Path("tiny_out.png")));

    Image16 left, right;
    stereotest::DepthPair(stereotest::PhotoLike(400, 300, 3), stereotest::PhotoLike(400, 300, 4),
                          -3, -12, left, right);
    const std::string l = Write("dl.png", left), r = Write("dr.png", right);
    run = Anaglyph(r + " " + l + " --align -o " + out);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("--swap"), std::string::npos) << run.err;
    run = Anaglyph(r + " " + l + " --align --swap -o " + Path("swapped.png"));
    EXPECT_EQ(run.err.find("--swap"), std::string::npos) << run.err;
    // --parallax auto brings the square to the screen: 12 px less width.
    run = Anaglyph(l + " " + r + " --parallax auto -o " + Path("placed.png"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NEAR(Load(Path("placed.png")).width, 400 - 12, 1);
}

TEST_F(AlignCli, LayoutsOfPicturesAndWhatTheProbeSays) {
    const Image16 a = stereotest::Picture(40, 20, 1), b = stereotest::Picture(40, 20, 2);
    Image16 tb = a;
    tb.height = 40;
    tb.pixels.insert(tb.pixels.end(), b.pixels.begin(), b.pixels.end());
    const std::string both = Write("scene_tb.png", tb);
    Write("a.png", a);
    Write("b.png", b);
    const std::string method = " --method colour -o ";
    ASSERT_EQ(Anaglyph(Path("a.png") + " " + Path("b.png") + method + Path("pair.png")).status, 0);
    // Told, and read from the name.
    ASSERT_EQ(Anaglyph("--sbs " + both + " --layout tb-left" + method + Path("told.png")).status,
              0);
    ASSERT_EQ(Anaglyph(both + method + Path("named.png")).status, 0);
    EXPECT_EQ(Bytes(Path("told.png")), Bytes(Path("pair.png")));
    EXPECT_EQ(Bytes(Path("named.png")), Bytes(Path("pair.png")));
    loomtest::CliResult probe = Anaglyph("--probe " + both);
    EXPECT_EQ(probe.status, 0) << probe.err;
    EXPECT_NE(probe.out.find("layout: tb-left"), std::string::npos) << probe.out;
    const std::string plain = Write("plain.png", tb);
    probe = Anaglyph("--probe " + plain);
    EXPECT_NE(probe.out.find("layout: unknown"), std::string::npos) << probe.out;
    EXPECT_NE(Anaglyph(plain + " -o " + Path("x.png")).status, 0);

    // A JPS whose descriptor says over-under, left view on top.
    stereotest::Bytes jps = stereotest::EncodeJpeg(tb);
    const stereotest::Bytes app3 = {0xFF, 0xE3, 0x00, 0x10, '_',  'J', 'P', 'S', 'J',
                                    'P',  'S',  '_',  0x00, 0x04, 0,   4,   3,   1};
    jps.insert(jps.begin() + 2, app3.begin(), app3.end());
    const std::string jpsPath = Save("photo.jps", jps);
    probe = Anaglyph("--probe " + jpsPath);
    EXPECT_NE(probe.out.find("over-under, left first"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("layout: tb-left"), std::string::npos) << probe.out;
    ASSERT_EQ(Anaglyph(jpsPath + " --method colour -o " + Path("jps.png")).status, 0);
    EXPECT_EQ(Load(Path("jps.png")).height, 20);
}

TEST_F(AlignCli, VideoLayoutsFromTheirStereoData) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    const std::string mkv = Path("clip.mkv"), mp4 = Path("packed.mp4");
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc=size=64x32:rate=5 -frames:v 2 "
                           "-c:v ffv1 -metadata:s:v:0 stereo_mode=top_bottom " +
                           mkv)
                              .c_str()),
              0);
    loomtest::CliResult probe = Anaglyph("--probe " + mkv);
    EXPECT_NE(probe.out.find("Matroska StereoMode"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("layout: tb-"), std::string::npos) << probe.out;
    if (std::system(("ffmpeg -v error -f lavfi -i testsrc=size=64x32:rate=5 -frames:v 2 -c:v "
                     "libx264 -x264-params frame-packing=3 " +
                     mp4)
                        .c_str()) == 0) {
        probe = Anaglyph("--probe " + mp4);
        EXPECT_NE(probe.out.find("frame-packing message"), std::string::npos) << probe.out;
        EXPECT_NE(probe.out.find("layout: sbs-"), std::string::npos) << probe.out;
    }
}

TEST_F(AlignCli, VideoSoundSubtitlesAndRepeatableEncodes) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    const auto sh = [](const std::string& cmd) { return std::system(cmd.c_str()); };
    const std::string l = Path("l.mkv"), r = Path("r.mkv"), srt = Path("s.srt");
    const std::string src = "ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=5 ";
    ASSERT_EQ(sh(src + "-frames:v 5 -c:v ffv1 " + l), 0);
    ASSERT_EQ(sh(src +
                 "-f lavfi -i sine=sample_rate=8000 -frames:v 5 -t 1 -c:v ffv1 -c:a "
                 "pcm_s16le " +
                 r),
              0);
    const auto audioStreams = [&](const std::string& file) {
        const std::string list = Path("streams.txt");
        sh("ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 " + file +
           " > " + list);
        std::ifstream in(list);
        return static_cast<int>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
    };
    loomtest::CliResult run = Anaglyph(l + " " + r + " -o " + Path("left.mkv") + " --codec ffv1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("--audio right"), std::string::npos) << run.err;
    EXPECT_EQ(audioStreams(Path("left.mkv")), 0);
    run = Anaglyph(l + " " + r + " -o " + Path("right.mkv") + " --codec ffv1 --audio right");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(audioStreams(Path("right.mkv")), 1);
    run = Anaglyph(r + " " + l + " -o " + Path("none.mkv") + " --codec ffv1 --audio none");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(audioStreams(Path("none.mkv")), 0);

    // A mov_text subtitle cannot go into Matroska: the message says so without claiming it
    // can, and --subtitles drop leaves it out.
    std::ofstream(srt) << "1\n00:00:00,000 --> 00:00:00,500\nhello\n\n";
    const std::string sbs = Path("both_sbs.mp4");
    ASSERT_EQ(sh("ffmpeg -v error -f lavfi -i testsrc=size=128x48:rate=5 -i " + srt +
                 " -frames:v 5 -c:v libx264 -c:s mov_text " + sbs),
              0);
    run = Anaglyph(sbs + " -o " + Path("sub.mkv"));
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("--subtitles drop"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("(a .mkv file"), std::string::npos) << run.err;
    run = Anaglyph(sbs + " -o " + Path("sub.mkv") + " --subtitles drop");
    EXPECT_EQ(run.status, 0) << run.err;
    // The same input and options give the same bytes.
    ASSERT_EQ(Anaglyph(sbs + " -o " + Path("a.mp4")).status, 0);
    ASSERT_EQ(Anaglyph(sbs + " -o " + Path("b.mp4")).status, 0);
    EXPECT_EQ(Bytes(Path("a.mp4")), Bytes(Path("b.mp4")));
}

TEST_F(AlignCli, GreyForNamedGlassesMatrixAndLinearLight) {
    const std::string l = Write("l.png", stereotest::Picture(16, 8, 1));
    const std::string r = Write("r.png", stereotest::Picture(16, 8, 2));
    ASSERT_EQ(Anaglyph(l + " " + r + " -o " + Path("grey.png")).status, 0);
    ASSERT_EQ(Anaglyph(l + " " + r + " --glasses red-cyan -o " + Path("cyan.png")).status, 0);
    const Image16 grey = Load(Path("grey.png")), cyan = Load(Path("cyan.png"));
    bool anyGreen = false;
    for (std::size_t i = 0; i < cyan.pixels.size(); ++i) {
        EXPECT_EQ(cyan.pixels[i].b, cyan.pixels[i].g) << "the right view fills cyan";
        EXPECT_EQ(cyan.pixels[i].r, grey.pixels[i].r);
        EXPECT_EQ(cyan.pixels[i].g, grey.pixels[i].g);
        anyGreen = anyGreen || cyan.pixels[i].g != 0;
    }
    EXPECT_TRUE(anyGreen);

    // The colour method's own matrix, given by hand, gives its bytes.
    const std::string colour = "1,0,0,0,0,0, 0,0,0,0,1,0, 0,0,0,0,0,1";
    ASSERT_EQ(Anaglyph(l + " " + r + " --method colour -o " + Path("colour.png")).status, 0);
    ASSERT_EQ(Anaglyph(l + " " + r + " --matrix '" + colour + "' -o " + Path("m.png")).status, 0);
    EXPECT_EQ(Bytes(Path("colour.png")), Bytes(Path("m.png")));
    std::ofstream(Path("m.txt")) << "# colour, red-cyan\n1 0 0 0 0 0\n0 0 0 0 1 0\n0 0 0 0 0 1\n";
    ASSERT_EQ(Anaglyph(l + " " + r + " --matrix " + Path("m.txt") + " -o " + Path("f.png")).status,
              0);
    EXPECT_EQ(Bytes(Path("colour.png")), Bytes(Path("f.png")));
    for (const char* bad : {"1,2,3", "'1,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,x'", "nofile"}) {
        const loomtest::CliResult run =
            Anaglyph(l + " " + r + " --matrix " + bad + " -o " + Path("bad.png"));
        EXPECT_NE(run.status, 0) << bad;
        EXPECT_NE(run.err.find("--matrix"), std::string::npos) << run.err;
    }
    // Half of each view in linear light is brighter than half in sRGB values.
    const std::string half = "'0.5,0,0,0.5,0,0, 0,0.5,0,0,0.5,0, 0,0,0.5,0,0,0.5'";
    ASSERT_EQ(
        Anaglyph(l + " " + l + " --matrix " + half + " --linear -o " + Path("lin.png")).status, 0);
    const Image16 lin = Load(Path("lin.png")), same = Load(l);
    for (std::size_t i = 0; i < lin.pixels.size(); ++i) {
        EXPECT_NEAR(lin.pixels[i].r, same.pixels[i].r, 257) << "mixing a view with itself";
    }
    EXPECT_NE(Anaglyph(l + " " + r + " --linear -o " + Path("x.png")).status, 0);
}

TEST_F(AlignCli, OutputLayoutsArrangeTheViewsAtTheirDepth) {
    Image16 a = stereotest::Picture(6, 4, 1), b = stereotest::Picture(6, 4, 2);
    a.bits = b.bits = 16;
    a.pixels[0].r = 12345;  // not an 8-bit value
    const std::string l = Write("l.png", a, 16), r = Write("r.png", b, 16);
    const auto arranged = [&](const std::string& layout) {
        const loomtest::CliResult run =
            Anaglyph(l + " " + r + " --output-layout " + layout + " -o " + Path(layout + ".png"));
        EXPECT_EQ(run.status, 0) << layout << ": " << run.err;
        return Load(Path(layout + ".png"));
    };
    const auto px = [](const Image16& img, int x, int y) {
        return img.pixels[static_cast<std::size_t>(y) * img.width + x];
    };
    const Image16 sbs = arranged("sbs");
    ASSERT_EQ(sbs.width, 12);
    EXPECT_EQ(sbs.bits, 16);
    EXPECT_EQ(px(sbs, 0, 0).r, 12345);
    EXPECT_EQ(px(sbs, 7, 2).g, px(b, 1, 2).g);
    const Image16 tb = arranged("tb");
    ASSERT_EQ(tb.height, 8);
    EXPECT_EQ(px(tb, 3, 5).b, px(b, 3, 1).b);
    const Image16 half = arranged("sbs-half");
    ASSERT_EQ(half.width, 6);
    EXPECT_EQ(px(half, 4, 1).r, (px(b, 2, 1).r + px(b, 3, 1).r + 1) / 2);
    const Image16 rows = arranged("rows"), board = arranged("checkerboard");
    EXPECT_EQ(px(rows, 2, 1).g, px(b, 2, 1).g);
    EXPECT_EQ(px(rows, 2, 2).g, px(a, 2, 2).g);
    EXPECT_EQ(px(board, 1, 2).r, px(b, 1, 2).r);
    EXPECT_EQ(px(board, 2, 2).r, px(a, 2, 2).r);
    EXPECT_EQ(px(arranged("right"), 5, 3).r, px(b, 5, 3).r);
    EXPECT_NE(Anaglyph(l + " " + r + " --output-layout diagonal -o " + Path("x.png")).status, 0);

    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) return;
    const std::string clip = Path("clip_sbs.mkv");
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc=size=64x24:rate=5 -frames:v 3 "
                           "-c:v ffv1 " +
                           clip)
                              .c_str()),
              0);
    ASSERT_EQ(Anaglyph(clip + " --output-layout tb --codec ffv1 -o " + Path("tb.mkv")).status, 0);
    const std::string size = Path("size.txt");
    std::system(("ffprobe -v error -show_entries stream=width,height -of csv=p=0 " +
                 Path("tb.mkv") + " > " + size)
                    .c_str());
    std::ifstream in(size);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "32,48");
}

TEST_F(AlignCli, OrientedJpegPairsAndFailingPairsOfAFolder) {
    const stereotest::Bytes a = stereotest::EncodeJpeg(stereotest::Picture(24, 10, 1));
    const stereotest::Bytes b = stereotest::EncodeJpeg(stereotest::Picture(24, 10, 2));
    const std::string l = Save("l.jpg", stereotest::WithOrientation(a, 6));
    const std::string r = Save("r.jpg", stereotest::WithOrientation(b, 6));
    ASSERT_EQ(Anaglyph(l + " " + r + " --method colour -o " + Path("o.png")).status, 0);
    const Image16 upright = Load(Path("o.png"));
    EXPECT_EQ(upright.width, 10);
    EXPECT_EQ(upright.height, 24);

    fs::create_directories(Path("in"));
    for (const char* name : {"a", "b", "c"}) {
        const int w = std::string(name) == "b" ? 12 : 16;
        Write(std::string("in/") + name + "_l.png", stereotest::Picture(w, 8, 1));
        Write(std::string("in/") + name + "_r.png", stereotest::Picture(16, 8, 2));
    }
    loomtest::CliResult run = Anaglyph(Path("in") + " -o " + Path("out"));
    EXPECT_NE(run.status, 0);
    run = Anaglyph(Path("in") + " -o " + Path("out2") + " --on-error continue");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("b"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 of 3 pairs failed"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(Path("out2/a.png")));
    EXPECT_TRUE(fs::exists(Path("out2/c.png")));
    EXPECT_FALSE(fs::exists(Path("out2/b.png")));
}

}  // namespace

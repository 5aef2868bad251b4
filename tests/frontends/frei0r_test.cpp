// The frei0r effects run by FFmpeg and melt, against loomhost's 8-bit files of the same
// settings, every frame bit for bit.
#include <string>
#include <utility>

#include "app/core/stereo/stereo_layout.h"
#include "tests/frontends/host_run.h"

namespace loomtest {
namespace {

// FFmpeg hands frei0r frames whose lines it pads to 64 bytes while frei0r wants them
// unpadded, so the frames here are 16 pixels wide or a multiple of that.
class Frei0rTest : public HostFixture {
  protected:
    ShellResult Ffmpeg(const std::string& args) {
        return Shell("FREI0R_PATH='" FREI0R_DIR "' ffmpeg -nostdin -hide_banner -v error -y " +
                     args);
    }
    void ExpectFfmpeg(const std::string& args) {
        const ShellResult r = Ffmpeg(args);
        ASSERT_EQ(r.status, 0) << args << "\n" << r.err;
        EXPECT_EQ(r.err.find("loomwork"), std::string::npos) << r.err;
    }
    static std::string Frame(const std::string& stem, int k) {
        char name[64];
        std::snprintf(name, sizeof name, "%s_%04d.png", stem.c_str(), k);
        return name;
    }
    /// Two 8-bit views of 48x24 and the two side by side at half width each (each view
    /// squeezed by taking every other column), as half-width side-by-side frames hold them.
    void MakeViews() {
        Loomhost("render nimbra -o " + Path("left.png") + " --size 48x24");
        Loomhost("render lumidot -o " + Path("right.png") + " --size 48x24");
        loom::Image16 l, r;
        std::string err;
        ASSERT_TRUE(loom::ReadImage16(Path("left.png"), l, err)) << err;
        ASSERT_TRUE(loom::ReadImage16(Path("right.png"), r, err)) << err;
        loom::Image16 both = l;
        both.pixels.clear();
        for (int y = 0; y < 24; ++y) {
            for (const loom::Image16* v : {&l, &r}) {
                for (int x = 0; x < 48; x += 2) both.pixels.push_back(v->pixels[y * 48 + x]);
            }
        }
        ASSERT_TRUE(loom::WriteImage(Path("sbs.png"), both, 8, err)) << err;
    }
};

TEST_F(Frei0rTest, SourcesThroughFfmpegAreLoomhostsFrames) {
    // Cloud, Sky, Contrast 0.5 of 0..6, Detail 0.2 of 0..30, Density 0.25 of 0..2.
    ExpectFfmpeg(
        "-f lavfi -i 'frei0r_src=size=48x24:framerate=30:filter_name=loomwork_nimbra:"
        "filter_params=1/1/1|0.3/0.3/1|0.5|0.2|0.25' -frames:v 3 -start_number 0 "
        "-pix_fmt rgba ff_%04d.png");
    Loomhost("render nimbra -o " + Path("lh.png") +
             " --size 48x24 --frames 0-2 --set Cloud=1,1,1 --set Sky=0.3,0.3,1 --set Contrast=3 "
             "--set Detail=6 --set Density=0.5");
    for (int k = 0; k <= 2; ++k) ExpectSamePixels(Frame("ff", k), Frame("lh", k));
    // FFmpeg's source wants at least one parameter: each texture's first, at its default.
    const std::pair<std::string, std::string> others[] = {
        {"fervix", "0/0.9/0.9"}, {"lumidot", "0.8/0.2/0.7"}, {"voltrane", "0"}};
    for (const auto& [name, first] : others) {
        SCOPED_TRACE(name);
        ExpectFfmpeg("-f lavfi -i 'frei0r_src=size=32x16:framerate=30:filter_name=loomwork_" +
                     name + ":filter_params=" + first + "' -frames:v 2 -start_number 0 " +
                     "-pix_fmt rgba " + name + "_%04d.png");
        Loomhost("render " + name + " -o " + Path(name + "_lh.png") + " --size 32x16 --frames 0-1");
        for (int k = 0; k <= 1; ++k) ExpectSamePixels(Frame(name, k), Frame(name + "_lh", k));
    }
}

TEST_F(Frei0rTest, SeedAndTilesThroughFfmpegAndMeltAreLoomhostsSeedAndTiles) {
    // FFmpeg sets parameters in order: nimbra's fourteen (Cloud, Sky, Contrast 0.5 of 0..6,
    // Detail 0.2 of 0..30, Density 0.25 of 0..2, Softening, the scales, shifts and waveforms
    // 0.25 and 0 of 0..100, Positive, Negative), then Seed, Tile and Tiles.
    ExpectFfmpeg(
        "-f lavfi -i 'frei0r_src=size=48x24:framerate=30:filter_name=loomwork_nimbra:"
        "filter_params=1/1/1|0.3/0.3/1|0.5|0.2|0.25|0.5|0.25|0.25|0|0|0.25|0.25|y|n|7|y|2x1' "
        "-frames:v 2 -start_number 0 -pix_fmt rgba ffseed_%04d.png");
    Loomhost("render nimbra -o " + Path("lhseed.png") +
             " --size 48x24 --frames 0-1 --set Cloud=1,1,1 --set Sky=0.3,0.3,1 --set Contrast=3 "
             "--set Detail=6 --set Density=0.5 --seed 7 --tile --tiles 2x1");
    for (int k = 0; k <= 1; ++k) ExpectSamePixels(Frame("ffseed", k), Frame("lhseed", k));
    // melt takes parameters by name; its frames are positions over the profile's rate.
    {
        std::ofstream profile(Path("profile"));
        profile << "width=48\nheight=24\nprogressive=1\nsample_aspect_num=1\n"
                   "sample_aspect_den=1\ndisplay_aspect_num=2\ndisplay_aspect_den=1\n"
                   "frame_rate_num=30\nframe_rate_den=1\ncolorspace=709\n"
                   "description=loomwork test\n";
    }
    const ShellResult r = Shell("FREI0R_PATH='" FREI0R_DIR
                                "' melt -quiet -profile profile frei0r.loomwork_fervix Seed=5 "
                                "Tile=1 Tiles=1x2 out=2 -consumer avformat:meltseed_%04d.png "
                                "vcodec=png pix_fmt=rgba start_number=0");
    ASSERT_EQ(r.status, 0) << r.err;
    Loomhost("render fervix -o " + Path("lhfervix.png") +
             " --size 48x24 --frames 0-2 --seed 5 --tile --tiles 1x2");
    for (int k = 0; k <= 2; ++k) ExpectSamePixels(Frame("meltseed", k), Frame("lhfervix", k));
    // The seed and the tiles make a difference: the comparisons above can fail.
    Loomhost("render fervix -o " + Path("plain.png") + " --size 48x24");
    EXPECT_FALSE(SamePixels("meltseed_0000.png", "plain.png"));
    Loomhost("render fervix -o " + Path("untiled.png") + " --size 48x24 --seed 5");
    EXPECT_FALSE(SamePixels("meltseed_0000.png", "untiled.png"));
}

TEST_F(Frei0rTest, SideBySideFilterThroughFfmpegIsLoomhostsComposition) {
    MakeViews();
    ExpectFfmpeg(
        "-i sbs.png -vf 'frei0r=filter_name=loomwork_anaglyph_sbs:filter_params="
        "grey|none|blue|red|0.5|1' -pix_fmt rgba sbs_ff.png");
    // The views the core takes out of the frame (widened at 16 bits, as loomhost widens
    // half-width video), composed by loomhost into an 8-bit picture.
    loom::Image16 frame, l, r;
    std::string err;
    ASSERT_TRUE(loom::ReadImage16(Path("sbs.png"), frame, err)) << err;
    loom::SplitViews(loom::StereoLayout::kSideBySideHalfLeftFirst, frame, l, r);
    ASSERT_TRUE(loom::WriteImage(Path("l.png"), l, 16, err)) << err;
    ASSERT_TRUE(loom::WriteImage(Path("r.png"), r, 16, err)) << err;
    Loomhost("anaglyph " + Path("l.png") + " " + Path("r.png") + " -o " + Path("sbs_lh.png") +
             " --bits 8 --left-eye blue --right-eye red --left-comp -0.25 --right-comp 0");
    ExpectSamePixels("sbs_ff.png", "sbs_lh.png");
}

TEST_F(Frei0rTest, MixerThroughMeltIsLoomhostAnaglyph) {
    MakeViews();
    {
        std::ofstream profile(Path("profile"));
        profile << "width=48\nheight=24\nprogressive=1\nsample_aspect_num=1\n"
                   "sample_aspect_den=1\ndisplay_aspect_num=2\ndisplay_aspect_den=1\n"
                   "frame_rate_num=30\nframe_rate_den=1\ncolorspace=709\n"
                   "description=loomwork test\n";  // melt ends without one
    }
    const ShellResult r =
        Shell("FREI0R_PATH='" FREI0R_DIR
              "' melt -quiet -profile profile left.png out=2 -track "
              "right.png out=2 -transition frei0r.loomwork_anaglyph a_track=0 b_track=1 in=0 out=2 "
              "0=dubois 1=green-magenta -consumer avformat:melt_%04d.png vcodec=png pix_fmt=rgba "
              "start_number=0");
    ASSERT_EQ(r.status, 0) << r.err;
    Loomhost("anaglyph " + Path("left.png") + " " + Path("right.png") + " -o " +
             Path("mix_lh.png") + " --method dubois --glasses green-magenta");
    for (int k = 0; k <= 2; ++k) ExpectSamePixels(Frame("melt", k), "mix_lh.png");
}

TEST_F(Frei0rTest, BadParametersAndSizesAreReportedWithoutACrash) {
    MakeViews();
    struct Case {
        std::string args;
        const char* expect;
    };
    const Case cases[] = {
        {"-f lavfi -i 'frei0r_src=size=16x8:framerate=30:filter_name=loomwork_nimbra:"
         "filter_params=nan/0/0' -frames:v 1 bad.png",
         "not a colour"},
        {"-i sbs.png -vf 'frei0r=filter_name=loomwork_anaglyph_sbs:filter_params=sepia' bad.png",
         "choose grey"},
        {"-i sbs.png -vf 'frei0r=filter_name=loomwork_anaglyph_sbs:filter_params="
         "grey|none|red|red' bad.png",
         "both eyes"},
        {"-f lavfi -i 'frei0r_src=size=16x8:framerate=30:filter_name=loomwork_nothing' "
         "-frames:v 1 bad.png",
         ""},
        {"-i sbs.png -vf 'frei0r=filter_name=loomwork_anaglyph:filter_params=grey' bad.png",
         "mixer2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const ShellResult r = Ffmpeg(c.args);
        EXPECT_FALSE(r.signalled) << r.err;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace loomtest

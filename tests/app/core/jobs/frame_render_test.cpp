// Renders written to files: the names of each output and frame, and a list of frames where
// one frame's failure leaves the others written, as a single render writes them.
#include "app/core/jobs/frame_render.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/app_fixture.h"

namespace fs = std::filesystem;
using namespace loom;

namespace {

RenderFileOptions AtBits(int bits) {
    RenderFileOptions options;
    options.file.bits = bits;
    return options;
}

TEST(RenderFileNames, OutputsAndFramesAreNamedAsTheCommandLineDocuments) {
    RenderOptions ro;
    EXPECT_EQ(RenderFileNames("d/out.png", ro, 3, false), std::vector<std::string>{"d/out.png"});
    EXPECT_EQ(RenderFileNames("d/out.png", ro, 3, true),
              std::vector<std::string>{"d/out_0003.png"});
    ro.mono = ro.normal = true;
    EXPECT_EQ(
        RenderFileNames("out.exr", ro, 12345, true),
        (std::vector<std::string>{"out_12345.exr", "out_mono_12345.exr", "out_normal_12345.exr"}));
    ro.color = false;
    ro.normal = false;
    // One output keeps the plain name, whichever it is.
    EXPECT_EQ(RenderFileNames("out.tif", ro, 0, false), std::vector<std::string>{"out.tif"});
}

class FrameRender : public loomtest::TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        plugin.Make(NIMBRA_SO, "nimbra");
        tex = plugin.tex;
        SetKey(tex, "U Shift", FramesToTicks(0), ModelValue::Number(0.0));
        SetKey(tex, "U Shift", FramesToTicks(3), ModelValue::Number(2.0));
        ro.width = 12;
        ro.height = 9;
    }
    std::vector<float> Pixels(const std::string& path) {
        FloatImage img;
        int bits = 0;
        std::string err;
        EXPECT_TRUE(ReadImage(path, img, bits, err)) << err;
        return img.rgba;
    }
    loomtest::PluginTexture plugin;
    Texmap* tex = nullptr;
    RenderOptions ro;
};

TEST_F(FrameRender, AFailingFrameIsReportedAndTheOthersAreWrittenAsSingleRenders) {
    fs::create_directory(dir / "f2.png");  // frame 2's file cannot be written
    const FramesOutcome outcome =
        RenderFrames(tex, ro, {{1, {P("f1.png")}}, {2, {P("f2.png")}}, {3, {P("f3.png")}}}, 16, {});
    EXPECT_EQ(outcome.done, (std::vector<int>{1, 3}));
    ASSERT_EQ(outcome.failed.size(), 1u);
    EXPECT_EQ(outcome.failed[0].frame, 2);
    EXPECT_TRUE(outcome.failed[0].writing);
    EXPECT_NE(outcome.failed[0].why.find("f2.png"), std::string::npos) << outcome.failed[0].why;
    // Each frame at its own time: the files of the frame list equal single renders'.
    for (int frame : {1, 3}) {
        SCOPED_TRACE(frame);
        RenderOptions single = ro;
        single.time = FramesToTicks(frame);
        const std::string alone = P("alone.png");
        ASSERT_TRUE(RenderToFiles(tex, single, {alone}, AtBits(16), {}));
        EXPECT_EQ(Pixels(alone), Pixels(P("f" + std::to_string(frame) + ".png")));
    }
    EXPECT_NE(Pixels(P("f1.png")), Pixels(P("f3.png")));
}

TEST_F(FrameRender, EachOutputGoesToItsFile) {
    ro.mono = ro.normal = true;
    const std::vector<std::string> files = RenderFileNames(P("o.png"), ro, 0, false);
    ASSERT_TRUE(RenderToFiles(tex, ro, files, AtBits(8), {}));
    RenderImages images;
    ASSERT_TRUE(RenderTexture(tex, ro, images));
    // The mono picture is grey and the normal map is not: the files are not swapped.
    const std::vector<float> mono = Pixels(files[1]);
    const std::vector<float> normal = Pixels(files[2]);
    EXPECT_EQ(mono[0], mono[1]);
    EXPECT_NE(normal, mono);
    EXPECT_EQ(Pixels(files[0]).size(), images.color.rgba.size());
}

TEST_F(FrameRender, ARepeatedTileFillsThePictureWithCopiesOfOneRender) {
    ASSERT_TRUE(RenderToFiles(tex, ro, {P("one.png")}, AtBits(16), {}));
    RenderFileOptions repeated = AtBits(16);
    repeated.repeat = {3, 2};
    ASSERT_TRUE(RenderToFiles(tex, ro, {P("six.png")}, repeated, {}));
    FloatImage one, six;
    int bits = 0;
    std::string err;
    ASSERT_TRUE(ReadImage(P("one.png"), one, bits, err)) << err;
    ASSERT_TRUE(ReadImage(P("six.png"), six, bits, err)) << err;
    ASSERT_EQ(six.width, 3 * one.width);
    ASSERT_EQ(six.height, 2 * one.height);
    // Every pixel of the picture is the tile's pixel at the same place within its copy.
    int differing = 0;
    for (int y = 0; y < six.height; ++y) {
        for (int x = 0; x < six.width; ++x) {
            for (int c = 0; c < 4; ++c) {
                const size_t at = (static_cast<size_t>(y) * six.width + x) * 4 + c;
                const size_t in =
                    (static_cast<size_t>(y % one.height) * one.width + x % one.width) * 4 + c;
                differing += six.rgba[at] != one.rgba[in];
            }
        }
    }
    EXPECT_EQ(differing, 0);
}

}  // namespace

// The host side of the filter, in process: 16-bit image files with unassociated alpha,
// side-by-side splitting, the progress window and the compositor run.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>

#include "app/core/filter/filter_run.h"
#include "app/core/filter/image16.h"
#include "app/core/filter/stereo_settings.h"
#include "app/core/loader/plugin_loader.h"
#include "dioptrix/composite.h"
#include "dioptrix/dioptrix_filter.h"

namespace fs = std::filesystem;
using loom::Image16;

namespace {

Image16 Pattern(int w, int h, int seed, bool alpha) {
    Image16 img;
    img.width = w;
    img.height = h;
    img.bits = 16;
    img.hasAlpha = alpha;
    for (int i = 0; i < w * h; ++i) {
        auto v = [&](int k) {
            return static_cast<WORD>((i * 7919 + seed * 104729 + k * 31) % 65536);
        };
        img.pixels.push_back({v(0), v(1), v(2), alpha ? v(3) : WORD{65535}});
    }
    return img;
}

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("loom_anaglyph_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) { return (dir / name).string(); }
    fs::path dir;
};

}  // namespace

using Image16Files = TempDir;

TEST_F(Image16Files, ColoursSurviveBesideAnyAlphaInPngAndTiff) {
    Image16 img = Pattern(5, 3, 1, true);
    img.pixels[0] = {60000, 30000, 1000, 0};  // invisible, but its colour is data
    img.pixels[1] = {65535, 1, 2, 32768};
    for (const char* ext : {".png", ".tif"}) {
        SCOPED_TRACE(ext);
        std::string path = Path(std::string("a") + ext);
        std::string err;
        ASSERT_TRUE(loom::WriteImage(path, img, 16, err)) << err;
        Image16 back;
        ASSERT_TRUE(loom::ReadImage16(path, back, err)) << err;
        EXPECT_EQ(back.bits, 16);
        EXPECT_TRUE(back.hasAlpha);
        EXPECT_EQ(back.pixels, img.pixels);
        // The file holds unassociated values: a reader that associates them by default
        // zeroes the invisible pixel's colour.
        auto in = OIIO::ImageInput::open(path);
        ASSERT_TRUE(in);
        std::vector<WORD> raw(5 * 3 * 4);
        ASSERT_TRUE(in->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT16, raw.data()));
        EXPECT_EQ(raw[0], 0);
        EXPECT_EQ(raw[4 + 3], 32768);
    }
}

TEST_F(Image16Files, EightBitValuesAreScaledBy257AndWrittenBack) {
    Image16 img = Pattern(4, 4, 2, false);
    for (BMM_Color_64& p : img.pixels) {
        p.r = static_cast<WORD>(p.r / 257 * 257);
        p.g = static_cast<WORD>(p.g / 257 * 257);
        p.b = static_cast<WORD>(p.b / 257 * 257);
    }
    std::string err;
    for (const char* ext : {".png", ".jpg"}) {
        std::string path = Path(std::string("e") + ext);
        ASSERT_TRUE(loom::WriteImage(path, img, 8, err)) << err;
        Image16 back;
        ASSERT_TRUE(loom::ReadImage16(path, back, err)) << err;
        EXPECT_EQ(back.bits, 8);
        EXPECT_FALSE(back.hasAlpha);
        if (std::string(ext) == ".png") {
            EXPECT_EQ(back.pixels, img.pixels);
        }
        for (const BMM_Color_64& p : back.pixels) EXPECT_EQ(p.r % 257, 0);
    }
    ASSERT_TRUE(loom::WriteImage(Path("f.exr"), img, 16, err)) << err;
    Image16 exr;
    ASSERT_TRUE(loom::ReadImage16(Path("f.exr"), exr, err)) << err;
    EXPECT_EQ(exr.bits, 16);
    EXPECT_EQ(exr.pixels, img.pixels);  // 32-bit floats keep every 16-bit value
    EXPECT_FALSE(loom::WriteImage(Path("g.bmp"), img, 8, err));
    EXPECT_FALSE(loom::ReadImage16(Path("missing.png"), exr, err));
    EXPECT_NE(err.find("missing.png"), std::string::npos);
    EXPECT_FALSE(fs::exists(Path("g.bmp")));
}

TEST(SideBySide, SplitsIntoEqualHalvesDroppingAnOddMiddleColumn) {
    Image16 both = Pattern(7, 2, 3, false);
    Image16 l, r;
    std::string err;
    ASSERT_TRUE(loom::SplitSideBySide(both, l, r, err));
    EXPECT_EQ(l.width, 3);
    EXPECT_EQ(r.width, 3);
    EXPECT_EQ(l.height, 2);
    EXPECT_EQ(l.pixels[3], both.pixels[7]);  // row 1, column 0
    EXPECT_EQ(r.pixels[0], both.pixels[4]);  // column 3 is the dropped middle
    EXPECT_EQ(r.pixels[5], both.pixels[13]);
    Image16 thin = Pattern(1, 4, 0, false);
    EXPECT_FALSE(loom::SplitSideBySide(thin, l, r, err));
}

TEST(FilterRun, ReportsProgressAndComposesThroughTheInterface) {
    DioptrixFilter filter;
    filter.config.leftCompensation = filter.config.rightCompensation = 0.0f;
    Image16 left = Pattern(6, 20, 4, true), right = Pattern(6, 20, 5, false);
    left.bits = 8;
    loom::FilterProgressWindow window("test", nullptr, false);
    ASSERT_NE(window.Handle(), nullptr);
    Image16 out;
    std::string err;
    ASSERT_EQ(loom::RunCompositor(filter, left, right, window, nullptr, out, err),
              loom::FilterOutcome::kDone)
        << err;
    EXPECT_EQ(window.LastLine(), 16);
    EXPECT_EQ(window.Lines(), 20);
    EXPECT_EQ(window.Queries(), 20);
    EXPECT_EQ(out.bits, 16);
    EXPECT_TRUE(out.hasAlpha);
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        EXPECT_EQ(out.pixels[i].r, StereoLuminance(left.pixels[i]));
        EXPECT_EQ(out.pixels[i].g, StereoLuminance(right.pixels[i]));
        EXPECT_EQ(out.pixels[i].b, 0);
        EXPECT_EQ(out.pixels[i].a, 65535);
    }
}

TEST(FilterRun, AnAbortIsReportedAndLeavesNoResult) {
    DioptrixFilter filter;
    std::atomic<bool> abort{true};
    loom::FilterProgressWindow window("test", &abort, false);
    Image16 left = Pattern(3, 9, 1, false), right = Pattern(3, 9, 2, false);
    Image16 out;
    std::string err;
    EXPECT_EQ(loom::RunCompositor(filter, left, right, window, &abort, out, err),
              loom::FilterOutcome::kAborted);
    EXPECT_EQ(window.Queries(), 1);
    EXPECT_TRUE(out.pixels.empty());
}

TEST(StereoSettings, RecordsAndOptions) {
    loom::StereoSettings s{2, 0, -0.3f, -0.0f};
    std::vector<std::uint8_t> bytes = loom::EncodeStereoSettings(s);
    ASSERT_EQ(bytes.size(), 12u);
    loom::StereoSettings back = loom::DecodeStereoSettings(bytes);
    EXPECT_EQ(back.leftEye, 2);
    EXPECT_EQ(back.rightEye, 0);
    EXPECT_EQ(back.leftCompensation, -0.3f);
    EXPECT_TRUE(std::signbit(back.rightCompensation));
    EXPECT_EQ(loom::DescribeStereoSettings(back),
              "left blue, right red, compensations -0.3 and -0");
    EXPECT_THROW(loom::DecodeStereoSettings({1, 2, 3}), std::runtime_error);

    loom::StereoOptions o;
    EXPECT_EQ(o.Apply(bytes), bytes);  // nothing asked, nothing changed (even out of range)
    o.rightEye = "Blue";               // left is blue already: it takes the right eye's old red
    loom::StereoSettings swapped = loom::DecodeStereoSettings(o.Apply(bytes));
    EXPECT_EQ(swapped.leftEye, 0);
    EXPECT_EQ(swapped.rightEye, 2);
    o.leftEye = "blue";
    EXPECT_THROW(o.Apply(bytes), std::runtime_error);  // both given, both blue
    o.leftEye = "green";
    o.rightComp = -0.5;
    loom::StereoSettings changed = loom::DecodeStereoSettings(o.Apply(bytes));
    EXPECT_EQ(changed.leftEye, 1);
    EXPECT_EQ(changed.rightEye, 2);
    EXPECT_EQ(changed.leftCompensation, -0.3f);
    EXPECT_EQ(changed.rightCompensation, -0.5f);
    for (double bad : {0.01, -0.51, std::nan("")}) {
        o.rightComp = bad;
        EXPECT_THROW(o.Apply(bytes), std::runtime_error) << bad;
    }
    EXPECT_THROW(loom::ParseEyeColor("purple", "--left-eye"), std::runtime_error);
    // Texts a plug-in answers may be null; the host copies them at once.
    EXPECT_EQ(loom::Utf8FromCp1252(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(loom::Utf8FromCp1252("a\xB7z"), "a\xC2\xB7z");
}

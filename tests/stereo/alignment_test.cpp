// Alignment of stereo pairs of known geometry: the correction found against the one
// applied, the residuals, the parallax and crop, and pairs that cannot be matched.
#include "app/core/stereo/alignment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "app/core/stereo/pair_adjust.h"
#include "foundation/host/sdk/packed_pixels.h"
#include "tests/stereo/stereo_scene.h"

namespace {

using loom::Image16;
using namespace loom::stereo;
using stereotest::Perturbation;

TEST(Alignment, FindsKnownDisplacementsToAFractionOfAPixel) {
    const Image16 left = stereotest::PhotoLike(640, 480, 7);
    // A dozen displacements up to 20 px, 2 degrees and 2 %, alone and together.
    const Perturbation cases[] = {
        {20, 0, 1},         {-20, 0, 1},        {0, 2, 1},        {0, -2, 1},
        {0, 0, 1.02},       {0, 0, 0.98},       {12, 1.5, 1.015}, {-15, -1.2, 0.985},
        {7.3, -0.7, 1.007}, {-3.6, 0.4, 0.993}, {20, 2, 1.02},    {-20, -2, 0.98},
    };
    for (const Perturbation& p : cases) {
        SCOPED_TRACE("dy " + std::to_string(p.dyPx) + " rotation " + std::to_string(p.rotationDeg) +
                     " scale " + std::to_string(p.scale));
        const Alignment a = EstimateAlignment(left, stereotest::Perturbed(left, p));
        EXPECT_NEAR(a.rotationDeg, p.rotationDeg, 0.05);
        EXPECT_NEAR(a.scale, p.scale, 0.001 * p.scale);
        EXPECT_NEAR(a.dyPx, p.dyPx, 0.25);
        EXPECT_LE(a.residualMedianPx, 0.25);
        EXPECT_LE(a.residualP95Px, 1.0);
        EXPECT_GE(a.matches, 50);
        EXPECT_EQ(a.keystone, 0) << "no keystone in a pure similarity";
        EXPECT_FALSE(LooksSwapped(a));
    }
}

// Video frames come packed (8 or 16 bits a channel) and are estimated as they are: the
// same estimate as from the unpacked views, to the bit.
TEST(Alignment, PackedViewsGiveTheEstimateOfTheirUnpackedForm) {
    const Image16 left = stereotest::PhotoLike(480, 320, 5);
    const Image16 right = stereotest::Perturbed(left, {6.5, 0.8, 1.006});
    const Alignment unpacked = EstimateAlignment(left, right);
    const auto packed16 = [](const Image16& view) {
        Image16 p = view;
        p.bits = 16;
        p.packed.resize(view.pixels.size() * 6);
        loom::PackRgb48(view.pixels.data(), p.packed.data(), view.pixels.size());
        p.pixels.clear();
        return p;
    };
    Image16 deep = left, deepRight = right;  // 16-bit values that 8 bits do not hold
    for (Image16* view : {&deep, &deepRight}) {
        view->bits = 16;
        for (BMM_Color_64& c : view->pixels) c.g = static_cast<WORD>(c.g ^ (c.r & 0x7F));
    }
    const Alignment deepUnpacked = EstimateAlignment(deep, deepRight);
    for (const auto& [name, packed, expected] :
         {std::tuple{"8 bits",
                     EstimateAlignment(stereotest::Packed8(left), stereotest::Packed8(right)),
                     &unpacked},
          std::tuple{"16 bits", EstimateAlignment(packed16(deep), packed16(deepRight)),
                     &deepUnpacked}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(packed.correction, expected->correction);
        EXPECT_EQ(packed.matches, expected->matches);
        EXPECT_EQ(packed.candidates, expected->candidates);
        EXPECT_EQ(packed.residualMedianPx, expected->residualMedianPx);
        EXPECT_EQ(packed.swappedShare, expected->swappedShare);
    }
    Image16 cut = stereotest::Packed8(left);
    cut.packed.resize(cut.packed.size() - 3);
    EXPECT_THROW((void)EstimateAlignment(cut, stereotest::Packed8(right)), std::invalid_argument);
}

TEST(Alignment, AlignedRightViewLiesOnTheLeftViewsRows) {
    const Image16 left = stereotest::PhotoLike(400, 300, 3);
    const Perturbation p{9, 1.2, 1.01};
    Image16 l = left, r = stereotest::Perturbed(left, p);
    AdjustOptions options;
    options.align = AlignMode::kApply;
    const AdjustResult result = AdjustPair(options, l, r);
    ASSERT_TRUE(result.aligned);
    // The crop leaves out every pixel the moved view does not cover, and no more than the
    // displacement takes away.
    EXPECT_EQ(l.width, result.crop.width);
    EXPECT_EQ(r.height, result.crop.height);
    EXPECT_GT(result.crop.width, 400 - 2 * 300 * 0.021 - 8);
    EXPECT_GT(result.crop.height, 300 - 2 * (9 + 200 * 0.021) - 8);
    // The corrected view equals the left one inside the crop, but for resampling twice.
    double sum = 0;
    for (std::size_t i = 0; i < l.pixels.size(); ++i) {
        sum += std::abs(static_cast<int>(l.pixels[i].g) - static_cast<int>(r.pixels[i].g));
    }
    const double meanDiff = sum / static_cast<double>(l.pixels.size()) / 257;
    EXPECT_LT(meanDiff, 6.0) << "mean difference in 8-bit levels";
    // Not aligned, the views differ far more.
    Image16 plainL = left, plainR = stereotest::Perturbed(left, p);
    double plain = 0;
    for (std::size_t i = 0; i < plainL.pixels.size(); ++i) {
        plain +=
            std::abs(static_cast<int>(plainL.pixels[i].g) - static_cast<int>(plainR.pixels[i].g));
    }
    EXPECT_GT(plain / static_cast<double>(plainL.pixels.size()) / 257, 3 * meanDiff);
    // 8-bit views keep 8-bit values.
    for (const BMM_Color_64& px : r.pixels) ASSERT_EQ(px.g % 257, 0);
}

TEST(Alignment, DepthGivesParallaxAndSwappedViewsAreNoticed) {
    const Image16 bg = stereotest::PhotoLike(480, 360, 11),
                  fg = stereotest::PhotoLike(480, 360, 12);
    Image16 left, right;
    // Raw parallel views: the background 4 px, the square 14 px to the left in the right view.
    stereotest::DepthPair(bg, fg, -4, -14, left, right);
    const Alignment a = EstimateAlignment(left, right);
    EXPECT_NEAR(a.dyPx, 0, 0.1);
    EXPECT_NEAR(a.rotationDeg, 0, 0.02);
    EXPECT_FALSE(LooksSwapped(a));
    // The nearest points (the square) come to the screen plane.
    EXPECT_NEAR(AutoParallax(a), 14, 0.5);
    AdjustOptions options;
    options.autoParallax = true;
    Image16 l = left, r = right;
    const AdjustResult placed = AdjustPair(options, l, r);
    EXPECT_FALSE(placed.aligned);
    EXPECT_NEAR(placed.parallaxPx, 14, 0.5);
    EXPECT_EQ(placed.crop.x, static_cast<int>(std::ceil(placed.parallaxPx - 1e-6)));
    EXPECT_EQ(placed.crop.width, 480 - placed.crop.x);
    EXPECT_EQ(placed.crop.height, 360);
    // The square's pixels now lie on the same columns in both views.
    const int y = 180, xl = 200;
    const BMM_Color_64 a1 = l.pixels[static_cast<std::size_t>(y) * l.width + xl - placed.crop.x];
    const BMM_Color_64 b1 = r.pixels[static_cast<std::size_t>(y) * r.width + xl - placed.crop.x];
    EXPECT_NEAR(a1.r, b1.r, 2 * 257);

    // The same pair the other way round.
    const Alignment swapped = EstimateAlignment(right, left);
    EXPECT_TRUE(LooksSwapped(swapped));
    options = {};
    options.align = AlignMode::kApply;
    Image16 sl = right, sr = left;
    EXPECT_FALSE(AdjustPair(options, sl, sr).warnings.empty());
    options.swap = true;
    sl = right;
    sr = left;
    EXPECT_TRUE(AdjustPair(options, sl, sr).warnings.empty());
}

TEST(Alignment, PairsThatCannotBeMatchedAreRefusedWithTheCount) {
    Image16 flat;
    flat.width = 200;
    flat.height = 150;
    flat.pixels.assign(200 * 150, BMM_Color_64{30000, 30000, 30000, 65535});
    try {
        EstimateAlignment(flat, flat);
        ADD_FAILURE() << "a flat pair was aligned";
    } catch (const AlignmentError& e) {
        EXPECT_EQ(e.Matches(), 0);
        EXPECT_NE(std::string(e.what()).find("0 matches"), std::string::npos) << e.what();
    }
    // Two unrelated pictures: some descriptors match by chance, no correction agrees.
    try {
        EstimateAlignment(stereotest::PhotoLike(320, 240, 1), stereotest::PhotoLike(320, 240, 2));
        ADD_FAILURE() << "unrelated views were aligned";
    } catch (const AlignmentError& e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(e.Matches())), std::string::npos)
            << e.what();
    }
    // Texture only along one row: matches on a line fix no rotation.
    Image16 band = flat;
    const Image16 texture = stereotest::PhotoLike(200, 150, 5);
    for (int y = 70; y < 76; ++y) {
        for (int x = 0; x < 200; ++x) band.pixels[y * 200 + x] = texture.pixels[y * 200 + x];
    }
    EXPECT_THROW(EstimateAlignment(band, stereotest::Perturbed(band, {2, 0.5, 1})), AlignmentError);
    // Views too small, or of different sizes.
    Image16 line = stereotest::PhotoLike(300, 1, 1);
    EXPECT_THROW(EstimateAlignment(line, line), std::invalid_argument);
    EXPECT_THROW(EstimateAlignment(flat, stereotest::PhotoLike(200, 160, 5)),
                 std::invalid_argument);

    // --align=try composes them as they are, with a warning; --align refuses.
    AdjustOptions options;
    options.align = AlignMode::kTry;
    Image16 l = flat, r = flat;
    const AdjustResult tried = AdjustPair(options, l, r);
    EXPECT_FALSE(tried.aligned);
    ASSERT_EQ(tried.warnings.size(), 1u);
    EXPECT_EQ(l.width, 200);
    options.align = AlignMode::kApply;
    EXPECT_THROW(AdjustPair(options, l, r), AlignmentError);
}

TEST(Alignment, CropAndParallaxOptions) {
    AdjustOptions o;
    ParseCrop("16:9", o);
    EXPECT_EQ(o.crop, CropMode::kAspect);
    EXPECT_EQ(o.aspectW, 16);
    ParseParallax("-12.5", o);
    EXPECT_EQ(o.parallaxPx, -12.5);
    for (const char* bad : {"", "x", "1e999", "nan", "3px"}) {
        EXPECT_THROW(ParseParallax(bad, o), std::runtime_error) << bad;
    }
    for (const char* bad : {"", "16:", ":9", "0:1", "16x9", "-1:2", "1234567:1"}) {
        EXPECT_THROW(ParseCrop(bad, o), std::runtime_error) << bad;
    }
    EXPECT_THROW(ParseAlignMode("sometimes"), std::runtime_error);
    // A shift alone: the shared area is the width less the shift, of the asked aspect.
    const std::array<double, 9> id{1, 0, 0, 0, 1, 0, 0, 0, 1};
    const CropRect shifted = SharedArea(100, 50, id, -10, 0, 0);
    EXPECT_EQ(shifted.x, 0);
    EXPECT_EQ(shifted.width, 90);
    const CropRect square = SharedArea(100, 50, id, 10, 1, 1);
    EXPECT_EQ(square.width, 50);
    EXPECT_EQ(square.height, 50);
    EXPECT_EQ(square.x, 10 + 20);
    // Shifted past the picture: nothing shared, refused.
    EXPECT_EQ(SharedArea(100, 50, id, 150).width, 0);
    o = {};
    o.parallaxPx = 150;
    Image16 l = stereotest::PhotoLike(100, 50, 1), r = l;
    EXPECT_THROW(AdjustPair(o, l, r), std::runtime_error);
}

}  // namespace

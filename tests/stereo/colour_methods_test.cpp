// The anaglyph methods: the colour methods' matrices against their published numbers and
// definitions, and every method through the one composing function.
#include <gtest/gtest.h>

#include <cmath>

#include "app/core/stereo/colour_methods.h"
#include "app/core/stereo/compose_pair.h"
#include "dioptrix/dioptrix_filter.h"
#include "tests/stereo/stereo_files.h"

using loom::Image16;
using namespace loom::stereo;

namespace {

constexpr WORD kFull = 65535;

BMM_Color_64 ComposeOne(AnaglyphMethod m, Glasses g, BMM_Color_64 l, BMM_Color_64 r) {
    BMM_Color_64 out;
    ComposeColourLine(MethodMatrix(m, g), &l, &r, &out, 1);
    return out;
}

WORD Expected(double coefficient) {
    const double v = std::clamp(coefficient * 65535.0, 0.0, 65535.0);
    return static_cast<WORD>(std::lround(v));
}

// The least-squares matrices as published, in the order left r g b, right r g b per
// output row.
struct Published {
    Glasses glasses;
    double rows[3][6];
};
// clang-format off
const Published kDubois[] = {
    {Glasses::kRedCyan,
     {{0.456100, 0.500484, 0.176381, -0.0434706, -0.0879388, -0.00155529},
      {-0.0400822, -0.0378246, -0.0157589, 0.378476, 0.73364, -0.0184503},
      {-0.0152161, -0.0205971, -0.00546856, -0.0721527, -0.112961, 1.2264}}},
    {Glasses::kGreenMagenta,
     {{-0.062, -0.158, -0.039, 0.529, 0.705, 0.024},
      {0.284, 0.668, 0.143, -0.016, -0.015, -0.065},
      {-0.015, -0.027, 0.021, 0.009, 0.075, 0.937}}},
    {Glasses::kAmberBlue,
     {{1.062, -0.205, 0.299, -0.016, -0.123, -0.017},
      {-0.026, 0.908, 0.068, 0.006, 0.062, -0.017},
      {-0.038, -0.173, 0.022, 0.094, 0.185, 0.911}}},
};
// clang-format on

TEST(DuboisMethod, PrimariesGiveThePublishedColumns) {
    for (const Published& p : kDubois) {
        SCOPED_TRACE(GlassesName(p.glasses));
        for (int input = 0; input < 6; ++input) {
            SCOPED_TRACE("input " + std::to_string(input));
            BMM_Color_64 views[2] = {{0, 0, 0, kFull}, {0, 0, 0, kFull}};
            WORD* channel[3] = {&views[input / 3].r, &views[input / 3].g, &views[input / 3].b};
            *channel[input % 3] = kFull;
            const BMM_Color_64 out =
                ComposeOne(AnaglyphMethod::kDubois, p.glasses, views[0], views[1]);
            // Negative coefficients clamp to black, 1.2264 to full.
            EXPECT_EQ(out.r, Expected(p.rows[0][input]));
            EXPECT_EQ(out.g, Expected(p.rows[1][input]));
            EXPECT_EQ(out.b, Expected(p.rows[2][input]));
        }
    }
}

TEST(DuboisMethod, MixedPixelsSumBothViewsBeforeRounding) {
    // Red-cyan, left (20000, 30000, 10000), right (5000, 41000, 30000), by hand:
    // r = 9122 + 15014.52 + 1763.81 - 217.353 - 3605.4908 - 46.6587 = 22030.83
    // g = -801.644 - 1134.738 - 157.589 + 1892.38 + 30079.24 - 553.509 = 29324.14
    // b = -304.322 - 617.913 - 54.6856 - 360.7635 - 4631.401 + 36792 = 30822.91
    const BMM_Color_64 out = ComposeOne(AnaglyphMethod::kDubois, Glasses::kRedCyan,
                                        {20000, 30000, 10000, 100}, {5000, 41000, 30000, 900});
    EXPECT_EQ(out, (BMM_Color_64{22031, 29324, 30823, 900}));  // alpha: the larger
}

TEST(HalfColourAndColour, MatchTheirDefinitionsOnHandComputedPixels) {
    const BMM_Color_64 l{1000, 2000, 3000, kFull}, r{4000, 5000, 6000, kFull};
    // The one-primary eye sees its view's luminance: .299*1000 + .587*2000 + .114*3000 =
    // 1815 for the left (red, green); .299*4000 + .587*5000 + .114*6000 = 4815 for the right
    // (blue).
    struct Case {
        AnaglyphMethod method;
        Glasses glasses;
        BMM_Color_64 expected;
    };
    const Case cases[] = {
        {AnaglyphMethod::kHalfColour, Glasses::kRedCyan, {1815, 5000, 6000, kFull}},
        {AnaglyphMethod::kHalfColour, Glasses::kGreenMagenta, {4000, 1815, 6000, kFull}},
        {AnaglyphMethod::kHalfColour, Glasses::kAmberBlue, {1000, 2000, 4815, kFull}},
        {AnaglyphMethod::kColour, Glasses::kRedCyan, {1000, 5000, 6000, kFull}},
        {AnaglyphMethod::kColour, Glasses::kGreenMagenta, {4000, 2000, 6000, kFull}},
        {AnaglyphMethod::kColour, Glasses::kAmberBlue, {1000, 2000, 6000, kFull}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(MethodName(c.method)) + " " + GlassesName(c.glasses));
        EXPECT_EQ(ComposeOne(c.method, c.glasses, l, r), c.expected);
    }
    // White stays white in half-colour: the weights sum to one.
    const BMM_Color_64 white{kFull, kFull, kFull, kFull};
    EXPECT_EQ(ComposeOne(AnaglyphMethod::kHalfColour, Glasses::kRedCyan, white, white), white);
}

TEST(MethodNames, ParseOtherSpellingsAndRefuseUnknownNamesWithTheChoices) {
    EXPECT_EQ(ParseAnaglyphMethod("Gray"), AnaglyphMethod::kGrey);
    EXPECT_EQ(ParseAnaglyphMethod("half-color"), AnaglyphMethod::kHalfColour);
    try {
        ParseAnaglyphMethod("optimized");
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("half-colour"), std::string::npos) << e.what();
    }
}

class ComposePairTest : public ::testing::Test {
  protected:
    Image16 left = stereotest::Picture(9, 5, 1), right = stereotest::Picture(9, 5, 2);
    loom::FilterProgressWindow window{"test", nullptr, false};
    std::string err;
};

TEST_F(ComposePairTest, GreyIsTheFiltersOwnComposition) {
    DioptrixFilter filter, reference;
    filter.config.leftEyeColor = reference.config.leftEyeColor = 2;
    filter.config.leftCompensation = reference.config.leftCompensation = -0.3f;
    left.bits = 16;
    Image16 viaPair, viaFilter;
    AnaglyphSettings s;
    s.method = AnaglyphMethod::kGrey;
    s.glasses = Glasses::kAmberBlue;  // not the grey method's business
    ASSERT_EQ(ComposePair(s, &filter, left, right, window, nullptr, viaPair, err),
              loom::FilterOutcome::kDone)
        << err;
    ASSERT_EQ(loom::RunCompositor(reference, left, right, window, nullptr, viaFilter, err),
              loom::FilterOutcome::kDone);
    EXPECT_EQ(viaPair.pixels, viaFilter.pixels);
    EXPECT_EQ(viaPair.bits, 16);
    EXPECT_EQ(ComposePair(s, nullptr, left, right, window, nullptr, viaPair, err),
              loom::FilterOutcome::kFailed);
}

TEST_F(ComposePairTest, ColourMethodsComposeEveryLineAndStopOnAbort) {
    AnaglyphSettings s;
    s.method = AnaglyphMethod::kDubois;
    s.glasses = Glasses::kGreenMagenta;
    right.hasAlpha = true;
    Image16 out;
    ASSERT_EQ(ComposePair(s, nullptr, left, right, window, nullptr, out, err),
              loom::FilterOutcome::kDone);
    EXPECT_EQ(out.width, 9);
    EXPECT_EQ(out.bits, 8);
    EXPECT_TRUE(out.hasAlpha);
    const std::size_t last = out.pixels.size() - 1;
    EXPECT_EQ(out.pixels[last],
              ComposeOne(s.method, s.glasses, left.pixels[last], right.pixels[last]));
    right.bits = 16;  // the deeper view sets the depth, as in the grey method
    ASSERT_EQ(ComposePair(s, nullptr, left, right, window, nullptr, out, err),
              loom::FilterOutcome::kDone);
    EXPECT_EQ(out.bits, 16);
    std::atomic<bool> abort{true};
    Image16 untouched;
    EXPECT_EQ(ComposePair(s, nullptr, left, right, window, &abort, untouched, err),
              loom::FilterOutcome::kAborted);
    EXPECT_TRUE(untouched.pixels.empty());
    Image16 narrow = stereotest::Picture(8, 5, 3);
    EXPECT_EQ(ComposePair(s, nullptr, left, narrow, window, nullptr, out, err),
              loom::FilterOutcome::kFailed);
    EXPECT_NE(err.find("9x5"), std::string::npos) << err;
}

TEST_F(ComposePairTest, SheetHoldsTheFourMethodsTwoByTwo) {
    DioptrixFilter filter;
    AnaglyphSettings s;
    s.glasses = Glasses::kRedCyan;
    Image16 sheet;
    ASSERT_EQ(ComposeMethodSheet(s, &filter, left, right, window, nullptr, 3, sheet, err),
              loom::FilterOutcome::kDone)
        << err;
    ASSERT_EQ(sheet.width, 2 * 9 + 3);
    ASSERT_EQ(sheet.height, 2 * 5 + 3);
    const AnaglyphMethod order[4] = {AnaglyphMethod::kGrey, AnaglyphMethod::kHalfColour,
                                     AnaglyphMethod::kColour, AnaglyphMethod::kDubois};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(MethodName(order[i]));
        s.method = order[i];
        Image16 tile;
        ASSERT_EQ(ComposePair(s, &filter, left, right, window, nullptr, tile, err),
                  loom::FilterOutcome::kDone);
        const int x0 = (i % 2) * 12, y0 = (i / 2) * 8;
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 9; ++x) {
                ASSERT_EQ(sheet.pixels[static_cast<std::size_t>((y0 + y) * sheet.width + x0 + x)],
                          tile.pixels[static_cast<std::size_t>(y * 9 + x)]);
            }
        }
    }
    EXPECT_EQ(sheet.pixels[static_cast<std::size_t>(9)],
              (BMM_Color_64{0, 0, 0, kFull}));  // the gap
}

}  // namespace

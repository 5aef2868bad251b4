// The anaglyph methods: the colour methods' matrices against their published numbers and
// definitions, and every method through the one composing function.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

namespace {

// One pixel at a time, as the colour methods are defined: each channel the matrix sum in
// single precision from left to right, clamped, rounded to nearest.
BMM_Color_64 OnePixel(const ColourMatrix& m, const BMM_Color_64& l, const BMM_Color_64& r) {
    const float a[3] = {static_cast<float>(l.r), static_cast<float>(l.g), static_cast<float>(l.b)};
    const float b[3] = {static_cast<float>(r.r), static_cast<float>(r.g), static_cast<float>(r.b)};
    WORD c[3];
    for (int row = 0; row < 3; ++row) {
        const float* ml = m.left[row];
        const float* mr = m.right[row];
        const float v = std::clamp(
            ml[0] * a[0] + ml[1] * a[1] + ml[2] * a[2] + mr[0] * b[0] + mr[1] * b[1] + mr[2] * b[2],
            0.0f, 65535.0f);
        c[row] = static_cast<WORD>(v + 0.5f);
    }
    return {c[0], c[1], c[2], std::max(l.a, r.a)};
}

// Every method's matrices and a user's with large and negative entries (results below 0
// and above 65535 both occur).
std::vector<ColourMatrix> EveryMatrix() {
    std::vector<ColourMatrix> all;
    for (AnaglyphMethod m :
         {AnaglyphMethod::kHalfColour, AnaglyphMethod::kColour, AnaglyphMethod::kDubois}) {
        for (Glasses g : {Glasses::kRedCyan, Glasses::kGreenMagenta, Glasses::kAmberBlue}) {
            all.push_back(MethodMatrix(m, g));
        }
    }
    all.push_back({{{1.7f, -0.3f, 0.11f}, {-2.0f, 0.5f, 0.25f}, {0.333f, 0.333f, 0.334f}},
                   {{0.9f, 0.0f, -1.1f}, {1.5f, 1.5f, 0.0f}, {-0.01f, 0.02f, 0.97f}}});
    // Entries beyond any user's (the others' sums stay within an int; these need not).
    all.push_back(
        {{{40000.0f, 0, 0}, {0, -3e9f, 0}, {0, 0, 1.0f}}, {{0, 0, 0}, {0, 0, 0}, {0.5f, 0, 0}}});
    return all;
}

std::vector<BMM_Color_64> RandomLine(std::mt19937& rng, int width) {
    std::uniform_int_distribution<int> word(0, 65535);
    std::vector<BMM_Color_64> line(static_cast<size_t>(width));
    for (BMM_Color_64& p : line) {
        p = {static_cast<WORD>(word(rng)), static_cast<WORD>(word(rng)),
             static_cast<WORD>(word(rng)), static_cast<WORD>(word(rng))};
    }
    return line;
}

}  // namespace

TEST(ColourLines, GiveTheBitsOfOnePixelAtATimeAtEveryWidthAlsoInPlace) {
    std::mt19937 rng(11);
    for (const ColourMatrix& m : EveryMatrix()) {
        for (int width : {1, 15, 16, 17, 40, 257}) {
            SCOPED_TRACE(width);
            const std::vector<BMM_Color_64> l = RandomLine(rng, width), r = RandomLine(rng, width);
            std::vector<BMM_Color_64> out(l.size()), inPlace = l;
            ComposeColourLine(m, l.data(), r.data(), out.data(), width);
            ComposeColourLine(m, inPlace.data(), r.data(), inPlace.data(), width);
            for (size_t x = 0; x < l.size(); ++x) {
                const BMM_Color_64 want = OnePixel(m, l[x], r[x]);
                ASSERT_EQ(std::memcmp(&out[x], &want, sizeof want), 0) << x;
                ASSERT_EQ(std::memcmp(&inPlace[x], &want, sizeof want), 0) << x;
            }
        }
    }
}

TEST(ColourFrames, PackedAndWideFramesComposeToComposePairsBits) {
    std::mt19937 rng(5);
    constexpr int kW = 37, kH = 3;
    // A frame of random pixels in the form asked: packed at `bits`, or 16-bit (bits 0).
    auto frame = [&](int bits) {
        Image16 f;
        f.width = kW;
        f.height = kH;
        f.bits = bits == 0 ? 16 : bits;
        f.pixels = RandomLine(rng, kW * kH);
        for (BMM_Color_64& p : f.pixels) p.a = 65535;
        if (bits != 0) {
            f.packed.resize(f.pixels.size() * loom::PackedPixelBytes(bits));
            (bits == 8 ? loom::PackRgb24 : loom::PackRgb48)(f.pixels.data(), f.packed.data(),
                                                            f.pixels.size());
            f.pixels.clear();
        }
        return f;
    };
    const int forms[][2] = {{8, 8}, {16, 16}, {0, 0}, {8, 16}, {8, 0}};
    for (AnaglyphMethod method : {AnaglyphMethod::kDubois, AnaglyphMethod::kHalfColour}) {
        for (const auto& form : forms) {
            SCOPED_TRACE(std::to_string(form[0]) + "/" + std::to_string(form[1]));
            AnaglyphSettings settings;
            settings.method = method;
            settings.glasses = Glasses::kGreenMagenta;
            ASSERT_TRUE(ComposesColourFrames(settings));
            Image16 left = frame(form[0]), right = frame(form[1]);
            Image16 wideLeft = left, wideRight = right;
            loom::Unpack(wideLeft);
            loom::Unpack(wideRight);
            loom::FilterProgressWindow window("test", nullptr, false);
            Image16 want, got;
            std::string error;
            ASSERT_EQ(
                ComposePair(settings, nullptr, wideLeft, wideRight, window, nullptr, want, error),
                loom::FilterOutcome::kDone)
                << error;
            ASSERT_TRUE(ComposeColourFrame(settings, left, right, got, error)) << error;
            EXPECT_EQ(got.width, kW);
            EXPECT_EQ(got.bits, want.bits);
            EXPECT_TRUE(got.packed.empty());
            ASSERT_EQ(got.pixels.size(), want.pixels.size());
            EXPECT_EQ(std::memcmp(got.pixels.data(), want.pixels.data(),
                                  want.pixels.size() * sizeof(BMM_Color_64)),
                      0);
            // A second frame into the first one's result: its buffer is taken again.
            Image16 left2 = frame(form[0]), right2 = frame(form[1]);
            ASSERT_TRUE(ComposeColourFrame(settings, left2, right2, got, error)) << error;
            EXPECT_EQ(got.pixels.size(), want.pixels.size());
        }
    }
    // Linear light and the grey method take the other route.
    AnaglyphSettings linear;
    linear.method = AnaglyphMethod::kColour;
    linear.linear = true;
    EXPECT_FALSE(ComposesColourFrames(linear));
    EXPECT_FALSE(ComposesColourFrames(AnaglyphSettings{}));
    // Views of different sizes are refused.
    Image16 left = frame(8), right = frame(8);
    right.height = kH - 1;
    right.packed.resize(static_cast<size_t>(kW) * (kH - 1) * 3);
    Image16 out;
    std::string error;
    AnaglyphSettings dubois;
    dubois.method = AnaglyphMethod::kDubois;
    EXPECT_FALSE(ComposeColourFrame(dubois, left, right, out, error));
    EXPECT_NE(error.find("differ in size"), std::string::npos) << error;
}

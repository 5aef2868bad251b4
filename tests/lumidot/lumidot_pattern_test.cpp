#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "lumidot/pattern.h"

namespace {

const Color kHigh(0.8f, 0.2f, 0.7f);
const Color kLow(1.0f, 0.0f, 0.0f);

LumidotCache Defaults() {
    LumidotCache c;
    c.highColor = kHigh;
    c.lowColor = kLow;
    c.horizontalPhase = 1.5f;
    c.horizontalIteration = 0.1f;
    c.verticalPhase = 2.0f;
    c.verticalIteration = 0.1f;
    c.verticalHighThreshold = c.horizontalHighThreshold = 1.0f;
    c.verticalLowThreshold = c.horizontalLowThreshold = -1.0f;
    c.verticalSine = 1;
    c.horizontalCosine = 1;
    c.positiveBlend = 1;
    c.useVerticalColour = c.useHorizontalColour = 1;
    return c;
}

AColor ColorAt(const LumidotCache& c, float u, float v) {
    return LumidotMixColor(c, LumidotWeight(c, u, v), c.highColor, c.lowColor);
}

/// A wave with thresholds that let everything through.
LumidotWave OpenWave(int sine, int cosine, int pinch) {
    return {1, 0.25f, 0.5f, sine, cosine, pinch, 1.0f, -1.0f};
}

}  // namespace

TEST(LumidotPattern, DefaultsAtTheOrigin) {
    LumidotCache c = Defaults();
    EXPECT_NEAR(LumidotWaveTerm(LumidotUWave(c), 0.0f), 0.997495, 1e-6);   // sin 1.5
    EXPECT_NEAR(LumidotWaveTerm(LumidotVWave(c), 0.0f), -0.416147, 1e-6);  // cos 2
    EXPECT_NEAR(LumidotWeight(c, 0, 0), 0.581348, 1e-6);
    AColor col = ColorAt(c, 0, 0);
    EXPECT_NEAR(col.r, 0.916270, 1e-6);
    EXPECT_NEAR(col.g, 0.083730, 1e-6);
    EXPECT_NEAR(col.b, 0.293056, 1e-6);
    EXPECT_EQ(col.a, 1.0f);
}

TEST(LumidotPattern, NegativeWeightsExtrapolateAndClamp) {
    LumidotCache c = Defaults();
    EXPECT_NEAR(LumidotWeight(c, 0.25f, 0.75f), -1.753975, 1e-6);
    AColor col = ColorAt(c, 0.25f, 0.75f);
    EXPECT_NEAR(col.r, 0.449205, 1e-6);
    EXPECT_NEAR(col.g, 0.550795, 1e-6);
    EXPECT_EQ(col.b, 1.0f);  // 0.7 * 2.75 clamped
    EXPECT_EQ(col.a, 1.0f);
}

TEST(LumidotPattern, BothWavesOffGiveHighOrBlack) {
    LumidotCache c = Defaults();
    c.useVerticalColour = c.useHorizontalColour = 0;
    EXPECT_EQ(LumidotWeight(c, 0.3f, 0.6f), 0.0f);
    EXPECT_EQ(ColorAt(c, 0.3f, 0.6f), AColor(kHigh, 1.0f));
    c.positiveBlend = 0;
    c.negativeBlend = 1;
    EXPECT_EQ(ColorAt(c, 0.3f, 0.6f), AColor(0, 0, 0, 1));
    // A switch counts only when it holds exactly 1.
    c.useVerticalColour = 2;
    EXPECT_EQ(LumidotWeight(c, 0.3f, 0.6f), 0.0f);
}

struct ShapeCase {
    int sine, cosine, pinch;
    double (*expect)(double a);
};

class LumidotShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(LumidotShape, LaterTestsOverrideEarlierOnes) {
    const ShapeCase& sc = GetParam();
    LumidotWave w = OpenWave(sc.sine, sc.cosine, sc.pinch);
    for (float x = -1.0f; x <= 1.0f; x += 0.0625f) {
        SCOPED_TRACE(x);
        const double a = Widen(x) / Widen(w.iteration) + Widen(w.phase);
        EXPECT_EQ(LumidotWaveTerm(w, x), static_cast<float>(sc.expect(a)));
    }
}

double Sin(double a) { return std::sin(a); }
double Cos(double a) { return std::cos(a); }
double AbsSin(double a) { return std::fabs(std::sin(a)); }
double AbsCos(double a) { return std::fabs(std::cos(a)); }
double Zero(double) { return 0.0; }

INSTANTIATE_TEST_SUITE_P(FlagCombinations, LumidotShape,
                         ::testing::Values(ShapeCase{1, 0, 0, Sin}, ShapeCase{0, 1, 0, Cos},
                                           ShapeCase{1, 1, 0, Cos},  // both: cosine wins
                                           ShapeCase{1, 0, 1, AbsSin}, ShapeCase{0, 1, 1, AbsCos},
                                           ShapeCase{1, 1, 1, AbsCos}, ShapeCase{0, 0, 0, Zero},
                                           ShapeCase{0, 0, 1, Zero},
                                           ShapeCase{1, 0, 2, Zero},  // pinch neither 0 nor 1
                                           ShapeCase{2, 1, 0, Cos}, ShapeCase{1, 2, 1, AbsSin}));

TEST(LumidotPattern, HighThresholdMakesFlatTops) {
    LumidotWave w = OpenWave(1, 0, 0);
    w.highThreshold = 0.5f;
    int flat = 0;
    for (float x = 0.0f; x < 3.2f; x += 0.01f) {
        const double s = std::sin(Widen(x) / 0.5 + 0.25);
        const float t = LumidotWaveTerm(w, x);
        if (static_cast<float>(s) > 0.5f) {
            EXPECT_EQ(t, 1.0f) << x;
            ++flat;
        } else {
            EXPECT_EQ(t, static_cast<float>(s)) << x;
        }
    }
    EXPECT_GT(flat, 50);
}

TEST(LumidotPattern, ThresholdsApplyHighFirstThenLow) {
    struct Case {
        float high, low, t, expect;
    };
    // t is produced as sin(a) with a chosen so that sin(a) == t in float.
    for (const Case& k : {Case{1.0f, -0.5f, -0.75f, -1.0f}, Case{0.2f, 0.8f, 0.5f, 1.0f},
                          Case{0.2f, 0.8f, 0.1f, -1.0f}, Case{0.2f, 1.2f, 0.5f, -1.0f},
                          Case{-0.5f, 0.5f, 0.0f, 1.0f}}) {
        SCOPED_TRACE(::testing::Message() << k.high << " " << k.low << " " << k.t);
        LumidotWave w{1, 0.0f, 1.0f, 1, 0, 0, k.high, k.low};
        const float x = static_cast<float>(std::asin(Widen(k.t)));
        ASSERT_EQ(static_cast<float>(std::sin(Widen(x))), k.t);
        EXPECT_EQ(LumidotWaveTerm(w, x), k.expect);
    }
}

TEST(LumidotPattern, PinchRepeatsTwiceAsOften) {
    LumidotWave plain = OpenWave(1, 0, 0);
    LumidotWave pinch = OpenWave(1, 0, 1);
    const float halfPeriod = static_cast<float>(std::numbers::pi * 0.5);  // pi times the iteration
    for (float x = 0.0f; x < 2.0f; x += 0.05f) {
        SCOPED_TRACE(x);
        EXPECT_GE(LumidotWaveTerm(pinch, x), 0.0f);
        EXPECT_NEAR(LumidotWaveTerm(pinch, x + halfPeriod), LumidotWaveTerm(pinch, x), 1e-5);
        EXPECT_NEAR(LumidotWaveTerm(plain, x + halfPeriod), -LumidotWaveTerm(plain, x), 1e-5);
    }
}

TEST(LumidotPattern, IterationZeroGivesOneWhereAShapeIsSelected) {
    for (int pinch : {0, 1}) {
        for (float x : {0.0f, 0.3f, -2.0f}) {  // 0/0 is NaN, the others infinite
            SCOPED_TRACE(::testing::Message() << pinch << " " << x);
            LumidotWave w = OpenWave(1, 0, pinch);
            w.iteration = 0.0f;
            EXPECT_EQ(LumidotWaveTerm(w, x), 1.0f);
            w = OpenWave(0, 1, pinch);
            w.iteration = 0.0f;
            EXPECT_EQ(LumidotWaveTerm(w, x), 1.0f);
            w = OpenWave(0, 0, pinch);
            w.iteration = 0.0f;
            EXPECT_EQ(LumidotWaveTerm(w, x), 0.0f);
        }
    }
}

TEST(LumidotPattern, TheUWaveTakesTheHorizontalPhaseAndTheVerticalShape) {
    LumidotCache c = Defaults();
    c.useHorizontalColour = 0;  // the v wave off
    c.horizontalPhase = 0.0f;
    c.verticalPhase = 9.0f;
    for (float u : {0.05f, 0.3f, 0.71f}) {
        EXPECT_EQ(LumidotWeight(c, u, 0.9f), static_cast<float>(std::sin(Widen(u) / Widen(0.1f))));
    }
    c.verticalSine = 0;
    c.verticalCosine = 1;
    c.horizontalSine = 1;  // the v wave's shape: no effect on u
    EXPECT_EQ(LumidotWeight(c, 0.3f, 0.9f),
              static_cast<float>(std::cos(Widen(0.3f) / Widen(0.1f))));
}

TEST(LumidotPattern, MonoBlendsTheMeans) {
    LumidotCache c = Defaults();
    c.highColor = Color(1, 1, 1);
    c.lowColor = Color(0, 0, 0);
    EXPECT_EQ(LumidotMixMono(c, 0.5f, LumidotColorMono(c.highColor), LumidotColorMono(c.lowColor)),
              0.5f);
    // Clamped to 0..1; NaN from a sub-map gives 0.
    EXPECT_EQ(LumidotMixMono(c, -1.75f, 0.5f, 1.0f), 0.0f);
    EXPECT_EQ(LumidotMixMono(c, 1.8f, 0.5f, 1.0f), 1.0f);
    EXPECT_EQ(LumidotMixMono(c, 0.5f, 0.5f, std::numeric_limits<float>::quiet_NaN()), 0.0f);
    // Negative step first, then the positive step on its result.
    c.negativeBlend = 1;
    const float neg = static_cast<float>(0.75 * Widen(0.6f) - 0.25 * Widen(0.2f));
    EXPECT_EQ(LumidotMixMono(c, 0.75f, 0.2f, 0.6f),
              static_cast<float>(0.75 * Widen(neg) + 0.25 * Widen(0.2f)));
}

TEST(LumidotPattern, MonoAndColourAgreeOnGreys) {
    LumidotCache c = Defaults();
    c.highColor = Color(0.3f, 0.3f, 0.3f);
    c.lowColor = Color(0.9f, 0.9f, 0.9f);
    for (float u = 0.0f; u < 1.0f; u += 0.07f) {
        const float w = LumidotWeight(c, u, 1.0f - u);
        const float mono =
            LumidotMixMono(c, w, LumidotColorMono(c.highColor), LumidotColorMono(c.lowColor));
        EXPECT_NEAR(mono, LumidotMixColor(c, w, c.highColor, c.lowColor).g, 1e-6) << u;
    }
}

// Samples sharing a coordinate share its wave term in the batch; rows, columns, a repeated
// point, signed zeros and scattered points must each still get their own bits, for each
// shape of wave.
TEST(LumidotPattern, BatchWeightIsTheSingleWeightWhateverCoordinatesRepeat) {
    std::vector<float> u, v;
    auto add = [&](float pu, float pv) {
        u.push_back(pu);
        v.push_back(pv);
    };
    for (int i = 0; i < 70; ++i) add(static_cast<float>(i) / 37.0f, 0.25f);
    for (int i = 0; i < 50; ++i) add(0.6f, static_cast<float>(i) / 23.0f);
    for (int i = 0; i < 20; ++i) add(0.125f, -0.75f);
    for (int i = 0; i < 20; ++i) add(i % 2 ? 0.0f : -0.0f, i % 3 ? -0.0f : 0.0f);
    for (int i = 0; i < 67; ++i) add(std::fmod(i * 0.618f, 1.0f), std::fmod(i * 0.382f, 1.3f));
    const int n = static_cast<int>(u.size());
    LumidotCache c = Defaults();
    c.horizontalPhase = c.verticalPhase = -0.0f;  // keeps a coordinate of -0 apart from 0
    for (int pinch : {0, 1}) {
        c.verticalPinch = c.horizontalPinch = pinch;
        std::vector<float> batch(u.size());
        LumidotWeightBatch(c, u.data(), v.data(), n, batch.data());
        for (int i = 0; i < n; ++i) {
            SCOPED_TRACE(::testing::Message() << "sample " << i << " at (" << u[i] << ", " << v[i]
                                              << "), pinch " << pinch);
            EXPECT_EQ(std::bit_cast<std::uint32_t>(batch[i]),
                      std::bit_cast<std::uint32_t>(LumidotWeight(c, u[i], v[i])));
        }
    }
}

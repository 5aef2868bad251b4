// Values of the noise, turbulence and shaping functions on the module's tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/noise/noise.h"

namespace {

using loom::noise::ActiveNoiseTables;
using loom::noise::NoiseTables;

constexpr float kLattice[] = {-4095.0f, -1000.0f, -17.0f, -1.0f,  0.0f,    1.0f,
                              2.0f,     255.0f,   256.0f, 257.0f, 4000.0f, 1.0e6f};

TEST(NoiseTest, ZeroAtEveryLatticePoint) {
    for (float x : kLattice) {
        SCOPED_TRACE(x);
        EXPECT_EQ(noise1(x), 0.0f);
        for (float y : kLattice) {
            const float v2[2] = {x, y};
            EXPECT_EQ(noise2(v2), 0.0f) << "y " << y;
            for (float z : {-4095.0f, -3.0f, 0.0f, 9.0f, 300.0f}) {
                const float v3[3] = {x, y, z};
                EXPECT_EQ(noise3(v3), 0.0f) << "y " << y << " z " << z;
            }
        }
    }
}

int Wrap(int c) { return (c + loom::noise::NOISE_N) & 255; }

// Near a lattice point gradient noise is the plane of that point's gradient: a small step
// h·(±1, ±1, ±1) changes it by h times the gradient's dot with the step's signs. Each sign
// combination lands in a different cell, in which the point is a different corner, so this
// reads every corner's gradient lookup and offset back.
TEST(NoiseTest, NearLatticePointsNoiseFollowsTheGradient) {
    const NoiseTables& t = ActiveNoiseTables();
    constexpr float h = 1.0f / 4096.0f;  // exact at these coordinates
    constexpr double kTol = 2e-3;        // the other corners weigh in at about 3h each
    const int points[][3] = {{0, 0, 0}, {5, -3, 11}, {-700, 250, -1}, {255, 256, 1000}};
    for (const auto& q : points) {
        const float x = static_cast<float>(q[0]);
        const float y = static_cast<float>(q[1]);
        const float z = static_cast<float>(q[2]);
        const float* g1 = &t.g1[t.p[Wrap(q[0])]];
        const int corner2 = t.p[t.p[Wrap(q[0])] + Wrap(q[1])];
        const float* g2 = t.g2[corner2];
        const float* g3 = t.g3[corner2 + Wrap(q[2])];
        for (int signs = 0; signs < 8; ++signs) {
            const float sx = (signs & 1) ? -1.0f : 1.0f;
            const float sy = (signs & 2) ? -1.0f : 1.0f;
            const float sz = (signs & 4) ? -1.0f : 1.0f;
            SCOPED_TRACE(testing::Message() << "point " << q[0] << "," << q[1] << "," << q[2]
                                            << " signs " << sx << "," << sy << "," << sz);
            EXPECT_NEAR(noise1(x + sx * h) / h, sx * g1[0], kTol);
            const float v2[2] = {x + sx * h, y + sy * h};
            EXPECT_NEAR(noise2(v2) / h, sx * g2[0] + sy * g2[1], kTol);
            const float v3[3] = {x + sx * h, y + sy * h, z + sz * h};
            EXPECT_NEAR(noise3(v3) / h, sx * g3[0] + sy * g3[1] + sz * g3[2], kTol);
        }
    }
}

// A quarter of the way into a cell the cubic s-curve weighs the far end S(1/4) = 5/32.
TEST(NoiseTest, CubicSCurveBetweenLatticePoints) {
    const NoiseTables& t = ActiveNoiseTables();
    for (int k : {-300, 0, 41, 255}) {
        const double g0 = static_cast<double>(t.g1[t.p[Wrap(k)]]);
        const double g1 = static_cast<double>(t.g1[t.p[Wrap(k + 1)]]);
        const double u = 0.25 * g0, v = -0.75 * g1;
        EXPECT_EQ(noise1(static_cast<float>(k) + 0.25f), static_cast<float>(u + 0.15625 * (v - u)))
            << k;
    }
}

TEST(NoiseTest, NoiseNDispatchesOnTheDimensionCount) {
    const float v[3] = {0.3f, -1.7f, 2.45f};
    EXPECT_EQ(noiseN(v, 0), 0.0f);
    EXPECT_EQ(noiseN(v, 1), noise1(v[0]));
    EXPECT_EQ(noiseN(v, 2), noise2(v));
    for (int n : {3, 4, -1}) EXPECT_EQ(noiseN(v, n), noise3(v)) << n;
    // The three must really differ here, or the checks above prove nothing.
    EXPECT_NE(noise1(v[0]), noise2(v));
    EXPECT_NE(noise2(v), noise3(v));
}

// At and below -4096 the set-up truncates toward zero; the noise stays finite there.
TEST(NoiseTest, FarCoordinatesStayDefined) {
    for (float c : {-4096.0f, -4096.5f, -5000.25f, -1.0e6f + 0.5f}) {
        SCOPED_TRACE(c);
        const float v[3] = {c, c * 0.5f, 0.75f};
        EXPECT_TRUE(std::isfinite(noise1(c)));
        EXPECT_TRUE(std::isfinite(noise2(v)));
        EXPECT_TRUE(std::isfinite(noise3(v)));
    }
    // Between -4097 and -4096 the truncation keeps the cell above: t = -0.5 gives r0 = -0.5,
    // whose s-curve weight S(-0.5) = 1 selects the far corner's term r1 · g1 exactly.
    const NoiseTables& t = ActiveNoiseTables();
    EXPECT_EQ(noise1(-4096.5f), -1.5f * t.g1[t.p[1]]);

    // Past the int range the lattice index is that of INT_MIN and r0 is huge, so the value
    // may overflow to an infinity, but it is never NaN.
    for (float c : {3.0e9f, -3.0e9f, 1.0e30f}) {
        SCOPED_TRACE(c);
        const float v[3] = {c, 0.25f, 0.5f};
        EXPECT_FALSE(std::isnan(noise1(c)));
        EXPECT_FALSE(std::isnan(noise2(v)));
        EXPECT_FALSE(std::isnan(noise3(v)));
    }
}

TEST(TurbulenceTest, SumsOctavesFromTheStartFrequencyDown) {
    const float v[3] = {0.37f, -1.21f, 2.9f};
    const auto absNoise = [&](float f) {
        const float w[3] = {f * v[0], f * v[1], f * v[2]};
        return std::fabs(noise3(w));
    };
    EXPECT_EQ(turbulence(v, 0.99f), 0.0f);
    EXPECT_EQ(turbulence(v, 1.0f), absNoise(1.0f));
    EXPECT_FLOAT_EQ(turbulence(v, 1.5f), absNoise(1.5f) / 1.5f);
    EXPECT_FLOAT_EQ(turbulence(v, 4.0f), absNoise(4.0f) / 4 + absNoise(2.0f) / 2 + absNoise(1.0f));
    EXPECT_FLOAT_EQ(turbulence(v, 8.0f),
                    absNoise(8.0f) / 8 + absNoise(4.0f) / 4 + absNoise(2.0f) / 2 + absNoise(1.0f));

    constexpr float kInf = std::numeric_limits<float>::infinity();
    for (float f : {0.0f, -0.0f, -1.0f, -8.0f, kInf, -kInf, std::nanf("")}) {
        EXPECT_EQ(turbulence(v, f), 0.0f) << f;
    }
}

TEST(ShapingTest, GainThresholdsAndCurve) {
    for (float b : {0.0f, 0.1f, 0.5f, 0.9f, 0.99f}) {
        SCOPED_TRACE(b);
        EXPECT_EQ(gain(0.0005f, b), 0.0f);
        EXPECT_EQ(gain(0.9995f, b), 1.0f);
        EXPECT_EQ(gain(-0.0f, b), 0.0f);
        EXPECT_EQ(gain(-0.75f, b), 0.0f);
        EXPECT_EQ(gain(1.5f, b), 1.0f);
        // 2a = 0.5 turns the power into 1 - b, on either side of the middle.
        EXPECT_NEAR(gain(0.25f, b), (1.0f - b) * 0.5f, 1e-6);
        EXPECT_NEAR(gain(0.75f, b), (1.0f + b) * 0.5f, 1e-6);
    }
    EXPECT_EQ(gain(0.5f, 0.5f), 0.5f);
    // The thresholds themselves are not cut off.
    EXPECT_NEAR(gain(0.001f, 0.5f), 0.001f, 1e-7);
    EXPECT_NEAR(gain(0.999f, 0.5f), 0.999f, 1e-6);
}

TEST(ShapingTest, BiasCurve) {
    for (float b : {0.1f, 0.25f, 0.5f, 0.8f, 0.95f}) EXPECT_NEAR(bias(0.5f, b), b, 1e-6) << b;
    // b = 0.5 is the identity wherever the rounding of ln 0.5 to float moves the power by
    // less than half a unit of a: for every float above about 1.53e-5, not below.
    for (float a = 2.0e-5f; a < 1.0f; a *= 1.07f) EXPECT_EQ(bias(a, 0.5f), a) << a;
    EXPECT_EQ(bias(1.0f, 0.5f), 1.0f);
    EXPECT_NE(bias(1.0e-8f, 0.5f), 1.0e-8f) << "ln b is no longer rounded to float";
}

}  // namespace

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "nimbra/pattern.h"
#include "tests/nimbra/nimbra_defaults.h"

namespace {

using nimbratest::Defaults;

}  // namespace

TEST(NimbraPattern, DefaultsAtTheOrigin) {
    NimbraCache c = Defaults();
    // Both sums are 1.984375 + 7 * 0.4; t = 9.56875 / 10.
    EXPECT_NEAR(CloudPattern(c, 0, 0), 0.956875f, 1e-6);
    AColor col = NimbraMixColor(c, CloudPattern(c, 0, 0), c.cloudColor, c.skyColor);
    EXPECT_NEAR(col.r, 0.425875f, 1e-6);
    EXPECT_NEAR(col.g, 0.425875f, 1e-6);
    EXPECT_EQ(col.b, 1.0f);
    EXPECT_EQ(col.a, 1.0f);
}

TEST(NimbraPattern, OctaveCountFollowsDetail) {
    NimbraCache c = Defaults();
    c.density = 1.0f;    // no level term
    c.softening = 0.0f;  // every octave at full amplitude
    // At the origin each octave adds 1 to both sums: t = 2 * octaves / (detail + 3).
    for (auto [detail, octaves] : {std::pair{7.0f, 7}, {7.5f, 8}, {0.2f, 1}, {1.0f, 1}}) {
        c.detail = detail;
        EXPECT_NEAR(CloudPattern(c, 0, 0), 2.0 * octaves / (detail + 3.0), 1e-6) << detail;
    }
}

TEST(NimbraPattern, NoOctavesGiveZeroEvenWhereTheDivisorVanishes) {
    NimbraCache c = Defaults();
    for (float detail : {0.0f, -1.0f, -3.0f, std::nanf("")}) {
        c.detail = detail;
        EXPECT_EQ(CloudPattern(c, 0.3f, 0.7f), 0.0f) << detail;
        EXPECT_EQ(CloudPatternPreview(c, 0.3f, 0.7f), 0.0f) << detail;
    }
    // t = 0: positive only gives the cloud side, negative only black / -m0.
    AColor col = NimbraMixColor(c, 0.0f, Color(0.2f, 0.3f, 0.4f), c.skyColor);
    EXPECT_EQ(col, AColor(0.2f, 0.3f, 0.4f, 1.0f));
    c.positiveBlend = 0;
    c.negativeBlend = 1;
    EXPECT_EQ(NimbraMixColor(c, 0.0f, Color(0.2f, 0.3f, 0.4f), c.skyColor), AColor(0, 0, 0, 1));
    EXPECT_FLOAT_EQ(NimbraMixMono(c, 0.0f, 0.6f, 0.9f), -0.6f);
}

TEST(NimbraPattern, FlagsOtherThanOneCountAsOff) {
    NimbraCache c = Defaults();
    const Color cloud(0.1f, 0.2f, 0.3f), sky(0.5f, 1.5f, 0.25f);
    for (int flag : {0, 2, -1}) {
        c.positiveBlend = flag;
        c.negativeBlend = flag;
        EXPECT_EQ(NimbraMixColor(c, 0.37f, cloud, sky), AColor(0.5f, 1.0f, 0.25f, 1.0f));
        EXPECT_EQ(NimbraMixMono(c, 0.37f, 0.1f, 7.0f), 7.0f);  // m1, unclamped
    }
}

TEST(NimbraPattern, BothFlagsApplyPositiveThenNegative) {
    NimbraCache c = Defaults();
    c.negativeBlend = 1;
    const float t = 0.75f;
    // r = t*c1 + (1-t)*c0, then r = t*r - (1-t)*c0.
    float r = 0.75f * 0.8f + 0.25f * 0.4f;
    r = 0.75f * r - 0.25f * 0.4f;
    AColor col = NimbraMixColor(c, t, Color(0.4f, 0.4f, 0.4f), Color(0.8f, 0.8f, 0.8f));
    EXPECT_NEAR(col.r, r, 1e-6);
}

TEST(NimbraPattern, ColourWeightIsNotClampedButMonoWeightIs) {
    NimbraCache c = Defaults();
    // t = 2 pushes the colour past the sky side before the final clamp.
    AColor col = NimbraMixColor(c, 2.0f, Color(0.2f, 0.2f, 0.2f), Color(0.5f, 0.5f, 0.5f));
    EXPECT_NEAR(col.r, 0.8f, 1e-6);
    // Mono: t clamps to 1, so the result is m1 even when m1 is out of range.
    EXPECT_FLOAT_EQ(NimbraMixMono(c, 2.0f, 0.2f, 1.7f), 1.7f);
    EXPECT_FLOAT_EQ(NimbraMixMono(c, -5.0f, 0.2f, 1.7f), 0.2f);
}

TEST(NimbraPattern, PreviewAgreesWithTheRenderedPatternToTheLastBits) {
    NimbraCache c = Defaults();
    for (float u = -1.0f; u < 2.0f; u += 0.173f) {
        for (float v = -1.0f; v < 2.0f; v += 0.211f) {
            EXPECT_NEAR(CloudPatternPreview(c, u, v), CloudPattern(c, u, v), 1e-5);
        }
    }
}

TEST(NimbraPattern, SofteningAboveOneAlternatesTheAmplitude) {
    NimbraCache c = Defaults();
    c.density = 1.0f;
    c.detail = 2.0f;
    c.softening = 3.0f;  // amplitudes 1, -2
    EXPECT_NEAR(CloudPattern(c, 0, 0), (2.0 * (1.0 - 2.0)) / 5.0, 1e-6);
    c.softening = 1.0f;  // only the first octave has a wave
    EXPECT_NEAR(CloudPattern(c, 0, 0), 2.0 / 5.0, 1e-6);
}

TEST(NimbraPattern, HugeOctaveCountsStopAndStayFinite) {
    NimbraCache c = Defaults();
    c.detail = 1e30f;
    c.uScale = c.vScale = 100.0f;
    float t = CloudPattern(c, 0.4f, 0.6f);
    EXPECT_TRUE(std::isfinite(t));
}

// Samples that share a coordinate share its waves in the batch; every layout of shared and
// distinct coordinates (rows, columns, a single point repeated, signed zeros that compare
// equal but differ in bits, and scattered points) must still give each sample its own bits.
TEST(NimbraPattern, BatchGivesTheBitsOfSingleSamplesWhateverCoordinatesRepeat) {
    NimbraCache c = Defaults();
    c.uShift = c.vShift = -0.0f;  // keeps a coordinate of -0 apart from 0
    std::vector<float> u, v;
    auto add = [&](float pu, float pv) {
        u.push_back(pu);
        v.push_back(pv);
    };
    // First, a chunk each: rows of an image five samples wide (u repeats, v steps), and a
    // repetition that breaks at its last sample.
    for (int i = 0; i < 64; ++i) add(static_cast<float>(i % 5) * 0.2f, static_cast<float>(i / 5));
    for (int i = 0; i < 63; ++i) add(static_cast<float>(i % 9) * 0.11f, 0.5f);
    add(0.99f, 0.5f);
    for (int i = 0; i < 70; ++i) add(static_cast<float>(i) / 37.0f, 0.25f);  // a row
    for (int i = 0; i < 50; ++i) add(0.6f, static_cast<float>(i) / 23.0f);   // a column
    for (int i = 0; i < 20; ++i) add(0.125f, -0.75f);                        // one point
    for (int i = 0; i < 20; ++i) add(i % 2 ? 0.0f : -0.0f, i % 3 ? -0.0f : 0.0f);
    for (int i = 0; i < 9; ++i) add(std::nanf(""), 0.5f);
    for (int i = 0; i < 67; ++i) add(std::fmod(i * 0.618f, 1.0f), std::fmod(i * 0.382f, 1.3f));
    for (int i = 0; i < 40; ++i) add(static_cast<float>(i / 8) * 0.1f, static_cast<float>(i % 8));
    const int n = static_cast<int>(u.size());
    // Octaves go in groups of eight: 19.5 runs three groups, the last one short; a seed
    // shifts each octave's phases.
    for (const auto& [detail, seed] :
         {std::pair{7.0f, 0u}, std::pair{2.5f, 0u}, std::pair{19.5f, 0u}, std::pair{9.0f, 77u}}) {
        c.detail = detail;
        c.variation.seed = seed;
        std::vector<float> batch(u.size()), preview(u.size());
        CloudPatternBatch(c, u.data(), v.data(), n, batch.data());
        CloudPatternPreviewBatch(c, u.data(), v.data(), n, preview.data());
        for (int i = 0; i < n; ++i) {
            SCOPED_TRACE(::testing::Message() << "sample " << i << " at (" << u[i] << ", " << v[i]
                                              << "), detail " << detail << ", seed " << seed);
            EXPECT_EQ(std::bit_cast<std::uint32_t>(batch[i]),
                      std::bit_cast<std::uint32_t>(CloudPattern(c, u[i], v[i])));
            EXPECT_EQ(std::bit_cast<std::uint32_t>(preview[i]),
                      std::bit_cast<std::uint32_t>(CloudPatternPreview(c, u[i], v[i])));
        }
    }
}

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "fervix/pattern.h"
#include "foundation/noise/noise.h"
#include "foundation/texframe/tile_math.h"

namespace {

FervixCache Defaults() {
    FervixCache c;
    c.primeColor = Color(0.0f, 0.9f, 0.9f);
    c.backColor = Color(0.0f, 0.0f, 0.2f);
    c.uScale = c.vScale = 4.0f;
    c.uOffset = c.vOffset = 0.5f;
    c.intensity = 0.25f;
    c.fallOff = 0.4f;
    c.horizontalRadial = c.verticalRadial = 1;
    c.usePlasma = 1;
    c.turbulenceScale = 2.0f;
    c.plasmaAdd = c.fractalAdd = c.turbulenceAdd = 1;
    c.fractalScale = 2.0f;
    c.positiveBlend = 1;
    return c;
}

FervixCache NoOverlays() {
    FervixCache c = Defaults();
    c.usePlasma = 0;
    return c;
}

float Radial(float u, float v, const FervixCache& c) {
    return static_cast<float>(std::hypot(Widen(u - c.uOffset), Widen(v - c.vOffset)) +
                              Widen(c.fallOff));
}

/// The noise point of (u, v): v along the first axis, u along the second, Phase third.
struct NoisePoint {
    float p[3];
    NoisePoint(const FervixCache& c, float u, float v)
        : p{static_cast<float>((Widen(v) + Widen(c.shiftY)) * Widen(c.vScale)),
            static_cast<float>((Widen(u) + Widen(c.shiftX)) * Widen(c.uScale)), c.phase} {}
    NoisePoint Scaled(float s) const {
        NoisePoint q = *this;
        for (float& x : q.p) x *= s;
        return q;
    }
};

/// Points off the lattice, where the noise is not 0.
const float kUs[] = {0.13f, 0.37f, 0.61f, 0.89f};
const float kVs[] = {0.07f, 0.29f, 0.53f, 0.97f};

}  // namespace

TEST(FervixPattern, DefaultsAtTheCentreSitOnALatticePoint) {
    FervixCache c = Defaults();
    EXPECT_EQ(FervixWeight(c, 0.5f, 0.5f), 0.4f);  // noise point (2, 2, 0): T = 0
    AColor col = FervixMixColor(c, FervixWeight(c, 0.5f, 0.5f), c.primeColor, c.backColor);
    EXPECT_EQ(col.r, 0.0f);
    EXPECT_NEAR(col.g, 0.54, 1e-6);
    EXPECT_NEAR(col.b, 0.62, 1e-6);
    EXPECT_EQ(col.a, 1.0f);
}

TEST(FervixPattern, WithoutOverlaysTheWeightIsTheGradient) {
    FervixCache c = NoOverlays();
    c.useFractalDetail = 0;
    for (float u : kUs) {
        for (float v : kVs) {
            EXPECT_EQ(FervixWeight(c, u, v), Radial(u, v, c)) << u << "," << v;
        }
    }
    // Prime near the centre, Back where the distance reaches 0.6.
    AColor edge = FervixMixColor(c, FervixWeight(c, 0.5f, 1.1f), c.primeColor, c.backColor);
    EXPECT_NEAR(edge.g, 0.0, 1e-6);
    EXPECT_NEAR(edge.b, 0.2, 1e-6);
}

struct GradientCase {
    const char* what;
    int hRadial, hLinear, vRadial, vLinear;
    bool uCounts, vCounts;
};

class FervixGradientModes : public ::testing::TestWithParam<GradientCase> {};

TEST_P(FervixGradientModes, ComponentsCountOnlyInTheRadialState) {
    const GradientCase& k = GetParam();
    FervixCache c = NoOverlays();
    c.horizontalRadial = k.hRadial;
    c.horizontalLinear = k.hLinear;
    c.verticalRadial = k.vRadial;
    c.verticalLinear = k.vLinear;
    for (float u : kUs) {
        for (float v : kVs) {
            const double gu = k.uCounts ? Widen(u - 0.5f) : 0.0;
            const double gv = k.vCounts ? Widen(v - 0.5f) : 0.0;
            EXPECT_EQ(FervixWeight(c, u, v), static_cast<float>(std::hypot(gu, gv) + Widen(0.4f)))
                << u << "," << v;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, FervixGradientModes,
                         ::testing::Values(GradientCase{"radialBoth", 1, 0, 1, 0, true, true},
                                           GradientCase{"linearU", 0, 1, 1, 0, false, true},
                                           GradientCase{"linearV", 1, 0, 0, 1, true, false},
                                           GradientCase{"linearBoth", 0, 1, 0, 1, false,
                                                        false},  // flat FallOff
                                           GradientCase{"neitherU", 0, 0, 1, 0, false, true},
                                           GradientCase{"bothU", 1, 1, 1, 0, false, true},
                                           GradientCase{"neitherV", 1, 0, 0, 0, true, false},
                                           GradientCase{"bothV", 1, 0, 1, 1, true, false}),
                         [](const auto& p) { return std::string(p.param.what); });

TEST(FervixPattern, PlasmaSamplesVThenUThenPhase) {
    FervixCache c = Defaults();
    c.uScale = 3.0f;
    c.vScale = 5.0f;
    c.shiftX = 0.25f;
    c.shiftY = -0.5f;
    c.phase = 1.3f;
    for (float u : kUs) {
        for (float v : kVs) {
            NoisePoint np(c, u, v);
            const float expect = static_cast<float>(Widen(Radial(u, v, c)) -
                                                    Widen(c.intensity) * Widen(noise3(np.p)));
            EXPECT_EQ(FervixWeight(c, u, v), expect) << u << "," << v;
        }
    }
    // SUB alone subtracts the sample; ADD and SUB together cancel.
    c.plasmaAdd = 0;
    c.plasmaSub = 1;
    NoisePoint np(c, 0.37f, 0.53f);
    EXPECT_EQ(FervixWeight(c, 0.37f, 0.53f),
              static_cast<float>(Widen(Radial(0.37f, 0.53f, c)) +
                                 Widen(c.intensity) * Widen(noise3(np.p))));
    c.plasmaAdd = 1;
    EXPECT_EQ(FervixWeight(c, 0.37f, 0.53f), Radial(0.37f, 0.53f, c));
}

TEST(FervixPattern, FractalPassesCarryTheScaledPointOver) {
    FervixCache c = NoOverlays();
    c.useFractalDetail = 1;
    c.fractalScale = 2.0f;  // powers of two keep every scaled point exact
    for (float u : kUs) {
        for (float v : kVs) {
            NoisePoint np(c, u, v);
            // Samples at P, 2P, 8P and 64P divided by 1, 2, 4 and 8.
            float f = noise3(np.p);
            f = static_cast<float>(Widen(f) + Widen(noise3(np.Scaled(2).p)) / 2.0);
            f = static_cast<float>(Widen(f) + Widen(noise3(np.Scaled(8).p)) / 4.0);
            f = static_cast<float>(Widen(f) + Widen(noise3(np.Scaled(64).p)) / 8.0);
            EXPECT_EQ(FervixFractal(c, np.p), f);
            EXPECT_EQ(FervixWeight(c, u, v),
                      static_cast<float>(Widen(Radial(u, v, c)) - Widen(c.intensity) * Widen(f)));
        }
    }
}

TEST(FervixPattern, AFractalPassWithFrequencyZeroAddsNothing) {
    FervixCache c = NoOverlays();
    c.useFractalDetail = 1;
    c.fractalScale = 0.0f;  // passes 2 to 4 run at frequency 0
    NoisePoint np(c, 0.37f, 0.53f);
    ASSERT_NE(noise3(np.p), 0.0f);
    EXPECT_EQ(FervixFractal(c, np.p), noise3(np.p));
    const float w = FervixWeight(c, 0.37f, 0.53f);
    EXPECT_TRUE(std::isfinite(w));
    EXPECT_EQ(w, static_cast<float>(Widen(Radial(0.37f, 0.53f, c)) -
                                    Widen(c.intensity) * Widen(noise3(np.p))));
}

TEST(FervixPattern, ASmallFractalScaleGrowsTheDetailButStaysClamped) {
    FervixCache c = NoOverlays();
    c.useFractalDetail = 1;
    c.intensity = 2.0f;
    double grown = 0.0, plain = 0.0;
    for (float u : kUs) {
        for (float v : kVs) {
            NoisePoint np(c, u, v);
            c.fractalScale = 0.5f;
            grown += std::fabs(FervixFractal(c, np.p));
            AColor col = FervixMixColor(c, FervixWeight(c, u, v), c.primeColor, c.backColor);
            for (float ch : {col.r, col.g, col.b}) {
                EXPECT_GE(ch, 0.0f);
                EXPECT_LE(ch, 1.0f);
            }
            c.fractalScale = 2.0f;
            plain += std::fabs(FervixFractal(c, np.p));
        }
    }
    EXPECT_GT(grown, plain);
}

TEST(FervixPattern, FractalAddAndSubCancel) {
    FervixCache c = NoOverlays();
    c.useFractalDetail = 1;
    c.fractalSub = 1;
    EXPECT_EQ(FervixWeight(c, 0.37f, 0.53f), Radial(0.37f, 0.53f, c));
    c.fractalAdd = 0;  // SUB alone raises the weight by Intensity times the detail
    NoisePoint np(c, 0.37f, 0.53f);
    EXPECT_EQ(FervixWeight(c, 0.37f, 0.53f),
              static_cast<float>(Widen(Radial(0.37f, 0.53f, c)) +
                                 Widen(c.intensity) * Widen(FervixFractal(c, np.p))));
}

TEST(FervixPattern, TurbulenceOverlay) {
    FervixCache c = NoOverlays();
    c.useTurbulence = 1;
    c.turbulenceScale = 4.0f;
    NoisePoint np(c, 0.61f, 0.29f);
    const float turb = turbulence(np.p, 4.0f);
    ASSERT_GT(turb, 0.0f);
    EXPECT_EQ(FervixWeight(c, 0.61f, 0.29f), static_cast<float>(Widen(Radial(0.61f, 0.29f, c)) -
                                                                Widen(c.intensity) * Widen(turb)));
    c.turbulenceSub = 1;  // both: nothing
    EXPECT_EQ(FervixWeight(c, 0.61f, 0.29f), Radial(0.61f, 0.29f, c));
    c.turbulenceSub = 0;
    c.turbulenceScale = 0.99f;  // below 1 the turbulence is 0
    EXPECT_EQ(FervixWeight(c, 0.61f, 0.29f), Radial(0.61f, 0.29f, c));
}

TEST(FervixPattern, OverlaysAddUpInTheirOrder) {
    FervixCache c = Defaults();
    c.useFractalDetail = 1;
    c.useTurbulence = 1;
    c.phase = 0.7f;
    NoisePoint np(c, 0.13f, 0.89f);
    float t = noise3(np.p);
    t = static_cast<float>(Widen(t) + Widen(FervixFractal(c, np.p)));
    t = static_cast<float>(Widen(t) + Widen(turbulence(np.p, c.turbulenceScale)));
    EXPECT_EQ(FervixWeight(c, 0.13f, 0.89f),
              static_cast<float>(Widen(Radial(0.13f, 0.89f, c)) - Widen(c.intensity) * Widen(t)));
    // Flags other than exactly 1 switch nothing on.
    c.usePlasma = c.useFractalDetail = c.useTurbulence = 2;
    EXPECT_EQ(FervixWeight(c, 0.13f, 0.89f), Radial(0.13f, 0.89f, c));
}

// The batch takes the noise at the points once for the plasma, the fractal passes at
// frequency 1 and the turbulence octave at 1; each sample still gets the sum of the
// single-sample overlays, plain, seeded and in a tile, for fractal and turbulence scales
// that reach frequency 1 again (1; 2, 8) or not (3; 5).
TEST(FervixPattern, EveryOverlayInABatchIsTheSumOfTheSingleOverlays) {
    const auto tables = loom::noise::SeededNoiseTables(4321);
    for (int variant = 0; variant < 3; ++variant) {
        for (const auto& [fractalScale, turbulenceScale] :
             {std::pair{2.0f, 8.0f}, std::pair{1.0f, 2.0f}, std::pair{3.0f, 5.0f}}) {
            FervixCache c = Defaults();
            c.useFractalDetail = c.useTurbulence = 1;
            c.fractalScale = fractalScale;
            c.turbulenceScale = turbulenceScale;
            c.phase = 0.3f;
            loom::noise::NoiseSource src;
            if (variant >= 1) {
                c.variation.seed = 4321;
                c.variation.seedState = tables.get();
                src.tables = tables.get();
            }
            if (variant == 2) {
                c.variation.tiled = 1;
                src.period = {loom::TilePeriod(Widen(c.vScale)), loom::TilePeriod(Widen(c.uScale)),
                              0};
            }
            std::vector<float> u, v;
            for (float pu : kUs) {
                for (float pv : kVs) {
                    u.push_back(pu);
                    v.push_back(pv);
                }
            }
            const int n = static_cast<int>(u.size());
            std::vector<float> batch(u.size());
            FervixWeightBatch(c, u.data(), v.data(), n, batch.data());
            for (int i = 0; i < n; ++i) {
                SCOPED_TRACE(::testing::Message()
                             << "variant " << variant << ", scales " << fractalScale << " "
                             << turbulenceScale << ", sample " << i);
                const NoisePoint np(c, u[i], v[i]);
                float t = loom::noise::Noise3(src, np.p);
                t = static_cast<float>(Widen(t) + Widen(FervixFractal(c, np.p)));
                t = static_cast<float>(Widen(t) +
                                       Widen(loom::noise::Turbulence(src, np.p, turbulenceScale)));
                const float expected = static_cast<float>(Widen(FervixGradient(c, u[i], v[i])) -
                                                          Widen(c.intensity) * Widen(t));
                EXPECT_EQ(std::bit_cast<std::uint32_t>(batch[i]),
                          std::bit_cast<std::uint32_t>(expected));
            }
        }
    }
}

TEST(FervixPattern, NegativeBlendFollowsItsFormula) {
    FervixCache c = Defaults();
    c.positiveBlend = 0;
    c.negativeBlend = 1;
    const Color a(0.2f, 0.4f, 0.1f), b(0.3f, 0.2f, 0.6f);
    EXPECT_EQ(FervixMixColor(c, 0.0f, b, a), AColor(0, 0, 0, 1));  // -B clamped
    EXPECT_EQ(FervixMixColor(c, 1.0f, b, a), AColor(a, 1.0f));
    // w = 1.5 gives 1.5·A + 0.5·B, not A.
    AColor over = FervixMixColor(c, 1.5f, b, a);
    EXPECT_NEAR(over.r, 0.45, 1e-6);
    EXPECT_NEAR(over.g, 0.70, 1e-6);
    EXPECT_NEAR(over.b, 0.45, 1e-6);
    // Both flags: the positive step works on the negative step's result.
    c.positiveBlend = 1;
    const float neg = static_cast<float>(0.25 * Widen(a.g) - 0.75 * Widen(b.g));
    EXPECT_EQ(FervixMixColor(c, 0.25f, b, a).g,
              static_cast<float>(0.25 * Widen(neg) + 0.75 * Widen(b.g)));
    // Neither flag: A as it is.
    c.positiveBlend = c.negativeBlend = 0;
    EXPECT_EQ(FervixMixColor(c, 0.25f, b, a), AColor(a, 1.0f));
}

TEST(FervixPattern, MonoClampWorksOnTheBitPattern) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(FervixClampMono(1.0f), 1.0f);
    EXPECT_EQ(FervixClampMono(std::nextafter(1.0f, 2.0f)), 1.0f);
    EXPECT_EQ(FervixClampMono(inf), 1.0f);
    EXPECT_EQ(FervixClampMono(nan), 1.0f);
    EXPECT_EQ(FervixClampMono(0.375f), 0.375f);
    EXPECT_EQ(FervixClampMono(-1e-30f), 0.0f);
    EXPECT_EQ(FervixClampMono(-inf), 0.0f);
    EXPECT_EQ(FervixClampMono(-nan), 0.0f);
    const float negZero = FervixClampMono(-0.0f);
    EXPECT_EQ(negZero, 0.0f);
    EXPECT_TRUE(std::signbit(negZero));
}

TEST(FervixPattern, MonoAndColourAgreeOnGreys) {
    FervixCache c = Defaults();
    c.primeColor = Color(0.8f, 0.8f, 0.8f);
    c.backColor = Color(0.1f, 0.1f, 0.1f);
    for (float u : kUs) {
        for (float v : kVs) {
            const float w = FervixWeight(c, u, v);
            const float mono =
                FervixMixMono(c, w, FervixColorMono(c.primeColor), FervixColorMono(c.backColor));
            EXPECT_NEAR(mono, FervixMixColor(c, w, c.primeColor, c.backColor).r, 1e-6);
        }
    }
}

// A sample on its own takes a short path with the one-point noise: for every plasma mode
// and gradient state, with the built-in or a seed's tables, in a tile or not, with the
// overlays off, adding or taking away, it gives the batch's weight bit for bit.
TEST(FervixPattern, ASampleOnItsOwnIsTheBatchsSample) {
    const auto tables = loom::noise::SeededNoiseTables(77);
    std::vector<float> u, v;
    for (int i = 0; i < 60; ++i) {
        u.push_back(-0.4f + 0.031f * static_cast<float>(i));
        v.push_back(1.3f - 0.027f * static_cast<float>(i));
    }
    u.push_back(0.5f);  // the centre: hypot of zeros
    v.push_back(0.5f);
    u.push_back(3e9f);  // far out: the noise lattice's range and a huge hypot
    v.push_back(-0.25f);
    const int n = static_cast<int>(u.size());
    for (int overlays = 0; overlays < 3; ++overlays) {
        for (int variant = 0; variant < 3; ++variant) {
            for (int plasma = 0; plasma < 4; ++plasma) {
                for (int gradient = 0; gradient < 4; ++gradient) {
                    FervixCache c = Defaults();
                    c.useFractalDetail = c.useTurbulence = overlays > 0 ? 1 : 0;
                    c.fractalAdd = c.turbulenceAdd = overlays == 1 ? 1 : 0;
                    c.fractalSub = c.turbulenceSub = overlays == 2 ? 1 : 0;
                    c.fractalScale = overlays == 2 ? 1.5f : 2.0f;
                    c.turbulenceScale = overlays == 2 ? 8.0f : 2.0f;
                    c.plasmaAdd = plasma & 1;
                    c.plasmaSub = plasma >> 1;
                    c.horizontalLinear = gradient & 1;
                    c.verticalRadial = gradient == 2 ? 0 : 1;
                    c.intensity = 0.75f;
                    c.phase = 0.3f;
                    c.shiftX = -0.2f;
                    c.shiftY = 0.45f;
                    if (variant >= 1) {
                        c.variation.seed = 77;
                        c.variation.seedState = tables.get();
                    }
                    c.variation.tiled = variant == 2 ? 1 : 0;
                    std::vector<float> batch(u.size());
                    FervixWeightBatch(c, u.data(), v.data(), n, batch.data());
                    for (int i = 0; i < n; ++i) {
                        const float one = FervixWeight(c, u[i], v[i]);
                        EXPECT_EQ(std::bit_cast<std::uint32_t>(one),
                                  std::bit_cast<std::uint32_t>(batch[i]))
                            << "overlays " << overlays << ", variant " << variant << ", plasma "
                            << plasma << ", gradient " << gradient << ", sample " << i;
                    }
                }
            }
        }
    }
}

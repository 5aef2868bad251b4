// The sweeping-edge pattern: jitter, waves, edge position, shapes and classification.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <numbers>

#include "foundation/host/base/crt.h"
#include "foundation/noise/noise.h"
#include "voltrane/pattern.h"
#include "voltrane/voltrane_tex.h"

namespace {

using Region = VoltraneRegion;

/// The cache of a new texture.
VoltraneCache Defaults() {
    static const VoltraneCache defaults = [] {
        auto* tex = new VoltraneTex();
        VoltraneCache c = tex->Cache();
        tex->DeleteThis();
        return c;
    }();
    return defaults;
}

/// Defaults with no shape selected.
VoltraneCache NoShape() {
    VoltraneCache c = Defaults();
    c.linearH = 0;
    return c;
}

/// The generator state whose next draw is `value` (the generator's step is invertible).
std::uint32_t StateBeforeDraw(int value) {
    constexpr std::uint32_t kMul = 214013u, kAdd = 2531011u;
    std::uint32_t inv = kMul;  // Newton's iteration for the inverse modulo 2^32
    for (int i = 0; i < 5; ++i) inv *= 2u - kMul * inv;
    const std::uint32_t next = static_cast<std::uint32_t>(value) << 16;
    return (next - kAdd) * inv;
}

/// The draws the generator gives from `state` on.
int DrawAt(std::uint32_t state, int index) {
    crt::SetRandState(state);
    int d = 0;
    for (int i = 0; i <= index; ++i) d = crt::rand();
    return d;
}

Region At(const VoltraneCache& c, float u, float v = 0.5f) { return VoltraneRegionAt(c, u, v); }

}  // namespace

TEST(VoltranePattern, GeneratorHelperHitsTheWantedDraw) {
    for (int want : {0, 1, 16384, 32767}) EXPECT_EQ(DrawAt(StateBeforeDraw(want), 0), want);
}

TEST(VoltranePattern, DefaultsShowTheBackgroundOverTheUnitSquare) {
    const VoltraneCache c = Defaults();
    for (float u : {0.0f, 0.25f, 0.5f, 1.0f}) {
        for (float v : {0.0f, 0.5f, 1.0f}) EXPECT_EQ(At(c, u, v), Region::kBackground) << u;
    }
    // e = 0: just left of the origin lies the edge band, further left the body.
    EXPECT_EQ(At(c, -0.005f), Region::kEdge);
    EXPECT_EQ(At(c, -0.03f), Region::kBody);
}

TEST(VoltranePattern, SweepPhase75SplitsNear048And05) {
    VoltraneCache c = Defaults();
    c.sweepPhase = 75;
    EXPECT_EQ(VoltraneEdgePosition(c, 0.0f, 0.0f), 0.5f);
    EXPECT_EQ(At(c, 0.2f), Region::kBody);
    EXPECT_EQ(At(c, 0.48f), Region::kBody);  // 0.4799999893 < 0.5 - 2 x 0.01
    EXPECT_EQ(At(c, std::nextafter(0.48f, 1.0f)), Region::kEdge);
    EXPECT_EQ(At(c, 0.49f), Region::kEdge);
    EXPECT_EQ(At(c, std::nextafter(0.5f, 0.0f)), Region::kEdge);
    EXPECT_EQ(At(c, 0.5f), Region::kBackground);  // s equal to hi
    EXPECT_EQ(At(c, 0.51f), Region::kBackground);
}

TEST(VoltranePattern, ValuesExactlyAtTheBandsEndsAreBackground) {
    VoltraneCache c = Defaults();
    c.sweepPhase = 75;
    c.edgeSize = 0.25f;                           // lo = 0.25, hi = 0.75, all exact
    EXPECT_EQ(At(c, 0.0f), Region::kBackground);  // s = lo
    EXPECT_EQ(At(c, -0.01f), Region::kBody);
    EXPECT_EQ(At(c, 0.01f), Region::kEdge);
    EXPECT_EQ(At(c, 0.5f), Region::kBackground);  // s = hi
}

TEST(VoltranePattern, NoEdgeSizeMeansNoEdgeBand) {
    VoltraneCache c = Defaults();
    c.sweepPhase = 75;
    c.edgeSize = 0.0f;
    EXPECT_EQ(At(c, std::nextafter(0.5f, 0.0f)), Region::kBody);
    EXPECT_EQ(At(c, 0.5f), Region::kBackground);
    for (float u = -1.0f; u < 2.0f; u += 0.01f) EXPECT_NE(At(c, u), Region::kEdge) << u;
}

TEST(VoltranePattern, ZeroDensityGivesNaNOrInfiniteJitter) {
    VoltraneCache c = Defaults();
    c.edgeDensity = 0.0f;
    // No noise either: 0 / 0, every sample is background, far left included.
    EXPECT_TRUE(std::isnan(VoltraneJitter(c)));
    for (float u : {-100.0f, -1.0f, 0.0f, 0.5f}) EXPECT_EQ(At(c, u), Region::kBackground);
    // With noise a non-zero draw makes r infinite: everything is body.
    c.edgeNoise = 5.0f;
    crt::SetRandState(StateBeforeDraw(1));
    EXPECT_EQ(VoltraneJitter(c), std::numeric_limits<float>::infinity());
    crt::SetRandState(StateBeforeDraw(1));
    EXPECT_EQ(At(c, 100.0f), Region::kBody);
    // A draw of 0 is 0 / 0 again.
    crt::SetRandState(StateBeforeDraw(0));
    EXPECT_EQ(At(c, -100.0f), Region::kBackground);
}

TEST(VoltranePattern, JitterScalesTheDrawByNoiseOverDensity) {
    VoltraneCache c = Defaults();
    c.edgeNoise = 30.0f;
    c.edgeDensity = 60.0f;
    crt::SetRandState(StateBeforeDraw(32767));
    EXPECT_FLOAT_EQ(VoltraneJitter(c), 0.5f);
    crt::SetRandState(StateBeforeDraw(16384));
    EXPECT_FLOAT_EQ(VoltraneJitter(c), static_cast<float>(16384 * 3.0518509e-05 * 0.5));
    // The jitter shifts the edge: phase 75 and a full draw put e at 1.
    c.sweepPhase = 75;
    crt::SetRandState(StateBeforeDraw(32767));
    EXPECT_EQ(At(c, 0.9f), Region::kBody);
}

TEST(VoltranePattern, EachSampleDrawsOnceAndStaticTwice) {
    struct Case {
        int randomStatic, cubic, goo, draws;
    };
    // The static shape draws even when a later shape flag replaces its value.
    for (const Case& k : {Case{0, 0, 0, 1}, Case{1, 0, 0, 2}, Case{1, 1, 0, 2}, Case{0, 0, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << k.randomStatic << k.cubic << k.goo);
        VoltraneCache c = Defaults();
        c.randomStatic = k.randomStatic;
        c.cubic = k.cubic;
        c.goo = k.goo;
        At(c, 0.3f);  // a first goo sample may build the noise tables
        DrawAt(1234u, k.draws - 1);
        const std::uint32_t expected = crt::GetRandState();
        crt::SetRandState(1234u);
        At(c, 0.3f);
        EXPECT_EQ(crt::GetRandState(), expected);
    }
}

TEST(VoltranePattern, StaticShapeUsesTheSecondDraw) {
    VoltraneCache c = NoShape();
    c.randomStatic = 1;
    for (std::uint32_t state : {7u, 99u, 123456u}) {
        const int second = DrawAt(state, 1);
        crt::SetRandState(state);
        crt::rand();  // the jitter's draw
        EXPECT_DOUBLE_EQ(VoltraneShape(c, 0.3f, 0.3f), second * double{3.0518509e-05f});
    }
}

TEST(VoltranePattern, WaveOneSwingsBetweenMinusAndPlusATenth) {
    const VoltraneCache c = Defaults();  // wave 1: sine, size 6, sync 1, multiplier 0.1
    float lo = 1.0f, hi = -1.0f;
    for (int i = 0; i <= 1000; ++i) {
        const float t = static_cast<float>(i) / 1000.0f;
        float w1, w2;
        VoltraneWaves(c, 0.0f, t, w1, w2);
        lo = std::min(lo, w1);
        hi = std::max(hi, w1);
    }
    EXPECT_NEAR(lo, -0.1f, 1e-5);
    EXPECT_NEAR(hi, 0.1f, 1e-5);
}

TEST(VoltranePattern, WavesFollowTheirSelectors) {
    const float t = 0.3f;
    const double angle = 6.0 * double{t} + 1.0;
    struct Case {
        int sinOn, cosOn;
        double expected;
    };
    for (const Case& k : {Case{1, 0, std::sin(angle)}, Case{0, 1, std::cos(angle)},
                          Case{1, 1, std::cos(angle)}, Case{0, 0, 0.0}}) {
        SCOPED_TRACE(testing::Message() << "sin " << k.sinOn << " cos " << k.cosOn);
        EXPECT_FLOAT_EQ(VoltraneWave(k.sinOn, k.cosOn, 0, 6.0f, 1.0f, 0.5f, t),
                        static_cast<float>(0.5 * k.expected));
    }
    // Selectors count only at exactly 1.
    EXPECT_EQ(VoltraneWave(2, 0, 0, 6.0f, 1.0f, 0.5f, t), 0.0f);
}

TEST(VoltranePattern, WavesRunAcrossTheLinearSweep) {
    VoltraneCache c = Defaults();
    float w1u, w1v, w2;
    VoltraneWaves(c, 0.2f, 0.7f, w1v, w2);  // horizontal: t = v
    EXPECT_FLOAT_EQ(w1v, static_cast<float>(0.1 * std::sin(6.0 * double{0.7f} + 1.0)));
    EXPECT_FLOAT_EQ(w2, static_cast<float>(0.1 * std::cos(1.0)));  // wave 2 size 0
    c.linearH = 0;
    c.linearV = 1;
    VoltraneWaves(c, 0.2f, 0.7f, w1u, w2);  // vertical: t = u
    EXPECT_FLOAT_EQ(w1u, static_cast<float>(0.1 * std::sin(6.0 * double{0.2f} + 1.0)));
}

TEST(VoltranePattern, InversionComesBeforeTheMultiplier) {
    VoltraneCache c = Defaults();
    c.invertWave = 1;
    c.wave2Size = 9.0f;
    for (int i = 0; i <= 200; ++i) {
        const float t = static_cast<float>(i) / 100.0f;
        float w1, w2;
        VoltraneWaves(c, 0.0f, t, w1, w2);
        EXPECT_GE(w1, 0.0f) << t;
        EXPECT_GE(w2, 0.0f) << t;
        EXPECT_GE(VoltraneCombine(c, w1, w2), 0.0f) << t;
        // A negative multiplier then gives a wave that is never positive.
        EXPECT_LE(VoltraneWave(1, 0, 1, 6.0f, 1.0f, -0.4f, t), 0.0f) << t;
    }
    // Without inversion the same wave takes both signs.
    EXPECT_LT(VoltraneWave(1, 0, 0, 6.0f, 1.0f, 0.1f, 0.6f), 0.0f);
    EXPECT_GT(VoltraneWave(1, 0, 1, 6.0f, 1.0f, 0.1f, 0.6f), 0.0f);
}

TEST(VoltranePattern, CombinationModes) {
    VoltraneCache c = Defaults();
    EXPECT_FLOAT_EQ(VoltraneCombine(c, 0.3f, 0.2f), 0.5f);  // additive
    c.subtractive = 1;                                      // algorithmic overrides
    EXPECT_FLOAT_EQ(VoltraneCombine(c, 0.3f, 0.3f), 0.6f);
    EXPECT_EQ(VoltraneCombine(c, 0.3f, 0.2f), 0.3f);
    EXPECT_EQ(VoltraneCombine(c, 0.2f, 0.3f), 0.3f);
    EXPECT_EQ(VoltraneCombine(c, -0.4f, -0.1f), -0.1f);
    EXPECT_TRUE(std::isnan(VoltraneCombine(c, std::nanf(""), 0.3f)));
    c.additive = 0;
    EXPECT_EQ(VoltraneCombine(c, 0.3f, 0.2f), 0.3f);
    c.subtractive = 0;  // neither mode
    EXPECT_EQ(VoltraneCombine(c, 0.3f, 0.2f), 0.0f);
}

TEST(VoltranePattern, AppliedWavesDisplaceOrScaleTheEdge) {
    VoltraneCache c = Defaults();
    c.sweepPhase = 75;
    EXPECT_EQ(VoltraneEdgePosition(c, 0.0f, 0.25f), 0.5f);  // not applied: computed, unused
    c.applyWave = 1;
    EXPECT_FLOAT_EQ(VoltraneEdgePosition(c, 0.0f, 0.25f), 0.75f);
    EXPECT_FLOAT_EQ(VoltraneEdgePosition(c, 0.125f, 0.25f), 0.875f);
    c.beginAtEdge = 0;
    EXPECT_FLOAT_EQ(VoltraneEdgePosition(c, 0.0f, 0.25f), 0.125f);
    for (int phase : {-700, 75, 700}) {
        c.sweepPhase = phase;
        EXPECT_EQ(VoltraneEdgePosition(c, 0.0f, 0.0f), 0.0f) << phase;
    }
    // Whole pattern: waves of 0 with "Begin from Edge" off leave e at 0.
    c.sweepPhase = 75;
    c.wave1Mult = c.wave2Mult = 0.0f;
    EXPECT_EQ(At(c, 0.3f), Region::kBackground);
    EXPECT_EQ(At(c, -0.3f), Region::kBody);
}

// Without Apply Waveform no wave setting, however extreme, moves the edge (one sample or a
// batch): the waves are then skipped altogether.
TEST(VoltranePattern, UnappliedWavesLeaveEveryRegionAsNoWavesWould) {
    VoltraneCache plain = Defaults();
    plain.sweepPhase = 75;
    plain.edgeSize = 0.05f;
    plain.wave1Sin = plain.wave1Cos = plain.wave2Sin = plain.wave2Cos = 0;
    VoltraneCache wild = plain;
    wild.wave1Sin = wild.wave2Cos = 1;
    wild.wave1Size = 1e30f;
    wild.wave1Mult = std::numeric_limits<float>::quiet_NaN();
    wild.wave2Mult = 1e30f;
    float u[40], v[40];
    for (int i = 0; i < 40; ++i) {
        u[i] = -0.2f + 0.035f * static_cast<float>(i);
        v[i] = 0.3f;
    }
    Region batch[40];
    VoltraneRegionBatch(wild, u, v, 40, batch);
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(u[i]);
        EXPECT_EQ(At(wild, u[i], v[i]), At(plain, u[i], v[i]));
        EXPECT_EQ(batch[i], At(plain, u[i], v[i]));
    }
}

TEST(VoltranePattern, WavesBendTheEdgeAlongV) {
    VoltraneCache c = Defaults();
    c.sweepPhase = 75;
    c.applyWave = 1;
    c.wave2Mult = 0.0f;
    // e = 0.5 + 0.1 sin(6 v + 1): at v = 0.095 the edge sits near 0.6, at v = 0.619 near 0.4.
    EXPECT_EQ(At(c, 0.55f, 0.095f), Region::kBody);
    EXPECT_EQ(At(c, 0.55f, 0.619f), Region::kBackground);
}

namespace {

struct ShapeCase {
    const char* name;
    int VoltraneCache::*flag;
    float u, v;
    double expected;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

constexpr double kPi = std::numbers::pi;

class VoltraneShapes : public ::testing::TestWithParam<ShapeCase> {};

}  // namespace

TEST_P(VoltraneShapes, ShapeValue) {
    const ShapeCase& k = GetParam();
    VoltraneCache c = NoShape();
    c.*k.flag = 1;
    EXPECT_NEAR(VoltraneShape(c, k.u, k.v), k.expected, 1e-7);
}

// Centre (0.5, 0.5), full shear; values at points where float inputs are exact or close.
INSTANTIATE_TEST_SUITE_P(
    Nine, VoltraneShapes,
    ::testing::Values(
        ShapeCase{"LinearHorizontal", &VoltraneCache::linearH, 0.3f, 0.7f, 0.3},
        ShapeCase{"LinearVertical", &VoltraneCache::linearV, 0.3f, 0.7f, 0.7},
        ShapeCase{"RadialRight", &VoltraneCache::radial, 1.0f, 0.5f, kPi / 2},
        ShapeCase{"RadialBelow", &VoltraneCache::radial, 0.5f, 0.0f, kPi},
        ShapeCase{"RadialLeft", &VoltraneCache::radial, 0.0f, 0.5f, -kPi / 2},
        ShapeCase{"Shockwave", &VoltraneCache::shockwave, 0.875f, 1.0f, 0.625},
        ShapeCase{"EncaseAbove", &VoltraneCache::encase, 0.5f, 1.0f, 0.0},
        ShapeCase{"EncaseBelow", &VoltraneCache::encase, 0.5f, 0.0f, kPi * 0.70710678},
        ShapeCase{"EncaseLeft", &VoltraneCache::encase, 0.0f, 0.5f, kPi / 2 * 0.70710678},
        ShapeCase{"Diagonal", &VoltraneCache::diagonal, 0.25f, 0.5f, 0.75},
        ShapeCase{"CubicU", &VoltraneCache::cubic, 0.875f, 0.625f, 0.375},
        ShapeCase{"CubicV", &VoltraneCache::cubic, 0.25f, 0.0f, -0.25},
        ShapeCase{"GooAtALatticePoint", &VoltraneCache::goo, 0.5f, 1.5f, 0.0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(VoltranePattern, LaterShapeFlagsWin) {
    VoltraneCache c = NoShape();
    c.linearH = c.diagonal = 1;
    EXPECT_DOUBLE_EQ(VoltraneShape(c, 0.25f, 0.5f), 0.75);
    c.cubic = 1;
    EXPECT_DOUBLE_EQ(VoltraneShape(c, 0.875f, 0.5f), 0.375);
    // No shape at all: only the shear terms, 0 at full shear.
    EXPECT_EQ(VoltraneShape(NoShape(), 0.3f, 0.7f), 0.0);
    VoltraneCache sheared = NoShape();
    sheared.shear = 50.0f;
    EXPECT_DOUBLE_EQ(VoltraneShape(sheared, 0.25f, 0.5f), 50.0 * 0.5 + 50.0 * 0.25);
}

// Every pair of shape flags: the later one in the order of the tests gives exactly the value
// it gives alone, at points of each quadrant around the centre.
TEST(VoltranePattern, OfAnyTwoShapeFlagsTheLaterGivesTheValue) {
    int VoltraneCache::*const order[] = {
        &VoltraneCache::linearH,      &VoltraneCache::linearV, &VoltraneCache::radial,
        &VoltraneCache::shockwave,    &VoltraneCache::encase,  &VoltraneCache::diagonal,
        &VoltraneCache::randomStatic, &VoltraneCache::cubic,   &VoltraneCache::goo};
    const float points[][2] = {{0.3f, 0.7f}, {0.875f, 0.625f}, {0.1f, 0.2f}, {0.8f, 0.05f}};
    auto shapeAt = [](const VoltraneCache& c, const float* p) {
        crt::srand(9);  // the same draw for "RandomStatic" every time
        return VoltraneShape(c, p[0], p[1]);
    };
    for (size_t later = 1; later < std::size(order); ++later) {
        VoltraneCache alone = NoShape();
        alone.*order[later] = 1;
        for (size_t earlier = 0; earlier < later; ++earlier) {
            VoltraneCache both = alone;
            both.*order[earlier] = 1;
            for (const auto& p : points) {
                SCOPED_TRACE(::testing::Message() << "flags " << earlier << " and " << later
                                                  << " at (" << p[0] << ", " << p[1] << ")");
                EXPECT_EQ(std::bit_cast<std::uint64_t>(shapeAt(both, p)),
                          std::bit_cast<std::uint64_t>(shapeAt(alone, p)));
            }
        }
    }
}

TEST(VoltranePattern, ShearActsTwiceOnHorizontalAndOnceOnVertical) {
    VoltraneCache h = Defaults();
    h.shear = 1.0f;  // exactly 1: no shear terms
    EXPECT_EQ(VoltraneShape(h, 0.3f, 0.7f), double{0.3f});
    h.shear = 1.01f;
    const double slant = 100.0 - double{1.01f};
    EXPECT_NEAR(slant, 98.99, 1e-5);
    EXPECT_DOUBLE_EQ(VoltraneShape(h, 0.3f, 0.7f),
                     slant * double{0.3f} + (slant * double{0.7f} + double{0.3f}));
    EXPECT_NEAR(VoltraneShape(h, 0.3f, 0.7f), 99.99 * 0.3 + 98.99 * 0.7, 1e-4);
    VoltraneCache v = NoShape();
    v.linearV = 1;
    v.shear = 50.0f;
    EXPECT_DOUBLE_EQ(VoltraneShape(v, 0.25f, 0.5f), 0.5 + 50.0 * 0.25);
    v.shear = 1.0f;
    EXPECT_DOUBLE_EQ(VoltraneShape(v, 0.25f, 0.5f), 0.5);
}

TEST(VoltranePattern, GooIsThreeDimensionalNoiseOfVThenU) {
    VoltraneCache c = NoShape();
    c.goo = 1;
    c.gooVScale = 3.0f;
    c.gooVShift = 0.25f;
    c.gooUScale = 1.5f;
    c.gooUShift = -2.0f;
    c.gooPhase = 0.4f;
    const float u = 0.3f, v = 0.7f;
    const float q[3] = {static_cast<float>(3.0 * double{v} + 0.25),
                        static_cast<float>(1.5 * double{u} - 2.0), 0.4f};
    const float swapped[3] = {q[1], q[0], q[2]};
    const double s0 = VoltraneShape(c, u, v);
    EXPECT_EQ(s0, double{noise3(q)});
    EXPECT_NE(s0, double{noise3(swapped)});
    EXPECT_NE(s0, 0.0);
    // The phase moves through the third dimension.
    c.gooPhase = 1.0f;
    EXPECT_NE(VoltraneShape(c, u, v), s0);
}

TEST(VoltranePattern, OpacityMixesPerChannelWithoutClamping) {
    const Color front(0.7f, 0.3f, 0.8f), back(0.2f, 0.4f, 0.1f);
    EXPECT_EQ(VoltraneMixColor(Color(1, 1, 1), front, back), AColor(front, 1.0f));
    EXPECT_EQ(VoltraneMixColor(Color(0, 0, 0), front, back), AColor(back, 1.0f));
    const AColor twice = VoltraneMixColor(Color(2, 2, 2), front, back);
    EXPECT_FLOAT_EQ(twice.r, 1.2f);
    EXPECT_FLOAT_EQ(twice.g, 0.2f);
    EXPECT_FLOAT_EQ(twice.b, 1.5f);
    EXPECT_EQ(twice.a, 1.0f);
    const AColor mixed = VoltraneMixColor(Color(0.0f, 0.5f, 2.0f), front, back);
    EXPECT_FLOAT_EQ(mixed.r, 0.2f);
    EXPECT_FLOAT_EQ(mixed.g, 0.35f);
    EXPECT_FLOAT_EQ(mixed.b, 1.5f);
    EXPECT_FLOAT_EQ(VoltraneMixMono(0.5f, VoltraneColorMono(front), 0.0f), 0.3f);
    EXPECT_FLOAT_EQ(VoltraneMixMono(2.0f, 0.6f, 0.2f), 1.0f);
}

// A sample evaluated on its own takes its own short path: for every shape, in a tile or
// not, with the waves applied in each way (and over huge coordinates, where the shapes'
// maths leave the usual range), it must give the region, the shape value and the draws of
// the batch over the same points from the same generator state.
TEST(VoltranePattern, ASampleOnItsOwnIsTheBatchsSample) {
    constexpr int kCount = 97;
    float u[kCount], v[kCount];
    for (int i = 0; i < kCount; ++i) {
        u[i] = -0.3f + 0.0173f * static_cast<float>(i);
        v[i] = (i % 5 == 4) ? 3e7f * static_cast<float>(i) : 1.2f - 0.0131f * static_cast<float>(i);
    }
    u[0] = v[0] = 0.5f;  // the centre: atan2 and hypot of zeros
    int VoltraneCache::*const shapes[] = {nullptr,
                                          &VoltraneCache::linearV,
                                          &VoltraneCache::radial,
                                          &VoltraneCache::shockwave,
                                          &VoltraneCache::encase,
                                          &VoltraneCache::diagonal,
                                          &VoltraneCache::randomStatic,
                                          &VoltraneCache::cubic,
                                          &VoltraneCache::goo};
    for (int tiled = 0; tiled <= 1; ++tiled) {
        for (int waves = 0; waves < 3; ++waves) {
            for (int k = 0; k < static_cast<int>(std::size(shapes)); ++k) {
                int VoltraneCache::*const shape = shapes[k];
                SCOPED_TRACE(testing::Message()
                             << "tiled " << tiled << ", waves " << waves << ", shape " << k);
                VoltraneCache c = Defaults();
                c.variation.tiled = tiled;
                c.sweepPhase = 70;
                c.edgeNoise = 3.0f;
                c.edgeSize = 0.1f;
                c.shear = 40.0f;
                if (shape) c.*shape = 1;
                c.applyWave = waves > 0 ? 1 : 0;
                c.beginAtEdge = waves == 2 ? 1 : 0;
                c.invertWave = waves == 2 ? 1 : 0;
                c.subtractive = waves == 2 ? 1 : 0;
                c.wave2Sin = 1;  // the cosine wins
                At(c, 0.3f);     // a first goo sample may build the noise tables

                VoltraneRegion batch[kCount];
                crt::SetRandState(4321u);
                VoltraneRegionBatch(c, u, v, kCount, batch);
                const std::uint32_t afterBatch = crt::GetRandState();
                crt::SetRandState(4321u);
                int wrong = 0;
                for (int i = 0; i < kCount; ++i) wrong += At(c, u[i], v[i]) != batch[i];
                EXPECT_EQ(crt::GetRandState(), afterBatch);
                EXPECT_EQ(wrong, 0);

                double shapeBatch[kCount], draws[kCount];
                for (int i = 0; i < kCount; ++i) draws[i] = 0.25 * i;
                VoltraneShapeBatch(c, u, v, draws, kCount, shapeBatch);
                // The static shape's value is its own draw (compared through the regions).
                if (shape == &VoltraneCache::randomStatic) continue;
                for (int i = 0; i < kCount; ++i) {
                    const double one = VoltraneShape(c, u[i], v[i]);
                    if (std::bit_cast<std::uint64_t>(one) !=
                            std::bit_cast<std::uint64_t>(shapeBatch[i]) &&
                        !(std::isnan(one) && std::isnan(shapeBatch[i]))) {
                        ADD_FAILURE() << "shape at (" << u[i] << ", " << v[i] << "): " << one
                                      << " alone, " << shapeBatch[i] << " in the batch";
                    }
                }
            }
        }
    }
}

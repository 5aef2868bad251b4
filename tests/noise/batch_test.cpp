// The batch forms of the noise: each sample gets the bits of a single call, whatever the
// batch length, the sample's place in it and the vector level, on ordinary, lattice, huge
// and non-finite coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "foundation/host/base/crt.h"
#include "foundation/host/base/vector_level.h"
#include "foundation/noise/noise.h"

namespace {

struct Points {
    std::vector<float> x, y, z;
    void Add(float a, float b, float c) {
        x.push_back(a);
        y.push_back(b);
        z.push_back(c);
    }
};

Points Mixed() {
    Points p;
    const float inf = std::numeric_limits<float>::infinity();
    p.Add(0, 0, 0);
    p.Add(3, -7, 12);  // a lattice point
    p.Add(-4096.5f, 0.25f, 1e9f);
    p.Add(2.7e9f, -155.0f, 1150.0f);  // beyond the int range
    p.Add(inf, 0.5f, -inf);
    p.Add(std::numeric_limits<float>::quiet_NaN(), 1.0f, 2.0f);
    std::mt19937 rng(23);
    std::uniform_real_distribution<float> d(-50.0f, 50.0f);
    for (int i = 0; i < 200; ++i) p.Add(d(rng), d(rng), d(rng));
    return p;
}

std::uint32_t Bits(float f) {
    return std::isnan(f) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(f);
}

TEST(NoiseBatch, EverySampleGetsItsSingleCallBits) {
    const Points p = Mixed();
    const int n = static_cast<int>(p.x.size());
    std::vector<float> single(p.x.size()), batch(p.x.size());
    for (int i = 0; i < n; ++i) {
        const float v[3] = {p.x[i], p.y[i], p.z[i]};
        single[i] = noise3(v);
    }
    for (int len : {n, 1, 2, 3, 4, 5, 7, 9}) {
        for (int first = 0; first + len <= n; first += len) {
            noise3Batch(&p.x[first], &p.y[first], &p.z[first], len, &batch[first]);
        }
        const int covered = n - n % len;
        for (int i = 0; i < covered; ++i) {
            ASSERT_EQ(Bits(batch[i]), Bits(single[i]))
                << "length " << len << " at (" << p.x[i] << ", " << p.y[i] << ", " << p.z[i] << ")";
        }
    }
}

// Every vector level the processor runs, with the module's tables and with tables of another
// stream, on the mixed points and on every combination of coordinates whose lattice cell is
// the last (255) in some axis, where the vector forms read past the end of the first 256
// entries.
TEST(NoiseBatch, EveryVectorLevelGivesTheSingleCallBits) {
    Points p = Mixed();
    const float edges[] = {255.25f, -0.75f, 0.5f, 127.5f, -256.75f, 511.0f};
    for (float a : edges) {
        for (float b : edges) {
            for (float c : edges) p.Add(a, b, c);
        }
    }
    const int n = static_cast<int>(p.x.size());
    std::vector<float> single(p.x.size()), batch(p.x.size());
    const loom::noise::NoiseTables& active = loom::noise::ActiveNoiseTables();
    // Another stream's tables, without moving the generator the other tests see.
    const std::uint32_t state = crt::GetRandState();
    crt::srand(777);
    static loom::noise::NoiseTables other;
    loom::noise::BuildNoiseTables(other);
    crt::SetRandState(state);
    const loom::noise::NoiseTables* const sets[] = {&active, &other};
    for (const loom::noise::NoiseTables* t : sets) {
        for (int i = 0; i < n; ++i) {
            const float v[3] = {p.x[i], p.y[i], p.z[i]};
            single[i] = loom::noise::Noise3(*t, v);
        }
        for (loom::VectorLevel level : {loom::VectorLevel::kScalar, loom::VectorLevel::kBase,
                                        loom::VectorLevel::kAvx2, loom::VectorLevel::kAvx512}) {
            if (!loom::ProcessorRunsVectorLevel(level)) continue;
            SCOPED_TRACE(loom::VectorLevelName(level));
            for (int len : {n, 1, 7, 8, 9, 15, 16, 17}) {
                for (int first = 0; first + len <= n; first += len) {
                    loom::noise::Noise3Batch(*t, level, &p.x[first], &p.y[first], &p.z[first], len,
                                             &batch[first]);
                }
                const int covered = n - n % len;
                for (int i = 0; i < covered; ++i) {
                    ASSERT_EQ(Bits(batch[i]), Bits(single[i]))
                        << "length " << len << " at (" << p.x[i] << ", " << p.y[i] << ", " << p.z[i]
                        << ")";
                }
            }
        }
    }
    // The module's own tables give noise3 itself.
    const float v[3] = {p.x[9], p.y[9], p.z[9]};
    EXPECT_EQ(Bits(loom::noise::Noise3(loom::noise::ActiveNoiseTables(), v)), Bits(noise3(v)));
}

TEST(NoiseBatch, TurbulenceOfEachSampleIsItsSingleCall) {
    const Points p = Mixed();
    const int n = static_cast<int>(p.x.size());
    std::vector<float> batch(p.x.size());
    for (float freq : {0.5f, 1.0f, 2.0f, 37.5f, std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(freq);
        turbulenceBatch(p.x.data(), p.y.data(), p.z.data(), n, freq, batch.data());
        for (int i = 0; i < n; ++i) {
            const float v[3] = {p.x[i], p.y[i], p.z[i]};
            ASSERT_EQ(Bits(batch[i]), Bits(turbulence(v, freq))) << "sample " << i;
        }
    }
}

// A memo gives the bits of Noise3Batch: for points asked again, for the same points from
// another source (other tables, other periods: never mixed up), for -0 against 0, and
// once full (the batches after the first eight are evaluated and not kept); turbulence
// through a memo that already holds the points and their doublings gives turbulence's bits
// from every source, for start frequencies that reach those octaves (1, 2, 8) and not (5).
TEST(NoiseBatch, AMemoGivesTheBitsOfEvaluatingAgain) {
    using loom::noise::NoiseSource;
    const Points p = Mixed();
    const int n = 64;
    const auto seeded = loom::noise::SeededNoiseTables(977);
    const NoiseSource sources[] = {
        {}, {seeded.get(), {}}, {nullptr, {5, 7, 0}}, {seeded.get(), {3, 0, 4}}};
    auto scaled = [&](float s) {
        Points q;
        for (int i = 0; i < n; ++i) q.Add(s * p.x[i], s * p.y[i], s * p.z[i]);
        return q;
    };
    std::vector<float> want(n), got(n);
    for (const NoiseSource& src : sources) {
        SCOPED_TRACE(::testing::Message() << "periods " << src.period.x << " " << src.period.y
                                          << " " << src.period.z << ", seeded " << !!src.tables);
        loom::noise::NoiseMemo memo;
        // Every source's own points first, so later sources find other sources' batches.
        for (const NoiseSource& other : sources) {
            memo.Noise3Batch(other, p.x.data(), p.y.data(), p.z.data(), n, got.data());
        }
        for (float s : {1.0f, 2.0f, -0.0f, 0.0f, 1.0f, 4.0f, 8.0f, 2.0f, 16.0f, 32.0f, 64.0f}) {
            const Points q = scaled(s);
            memo.Noise3Batch(src, q.x.data(), q.y.data(), q.z.data(), n, got.data());
            loom::noise::Noise3Batch(src, q.x.data(), q.y.data(), q.z.data(), n, want.data());
            for (int i = 0; i < n; ++i) ASSERT_EQ(Bits(got[i]), Bits(want[i])) << s << " " << i;
        }
        // Shorter batches of the same points are other batches.
        for (int len : {1, 3, 63, 0}) {
            memo.Noise3Batch(src, p.x.data(), p.y.data(), p.z.data(), len, got.data());
            loom::noise::Noise3Batch(src, p.x.data(), p.y.data(), p.z.data(), len, want.data());
            for (int i = 0; i < len; ++i) ASSERT_EQ(Bits(got[i]), Bits(want[i])) << len << " " << i;
        }
        for (float freq : {1.0f, 2.0f, 8.0f, 5.0f}) {
            loom::noise::NoiseMemo warm;
            for (float s : {1.0f, 2.0f, 4.0f}) {
                const Points q = scaled(s);
                warm.Noise3Batch(src, q.x.data(), q.y.data(), q.z.data(), n, got.data());
            }
            loom::noise::TurbulenceBatch(src, p.x.data(), p.y.data(), p.z.data(), n, freq, warm,
                                         got.data());
            loom::noise::TurbulenceBatch(src, p.x.data(), p.y.data(), p.z.data(), n, freq,
                                         want.data());
            for (int i = 0; i < n; ++i) ASSERT_EQ(Bits(got[i]), Bits(want[i])) << freq << " " << i;
        }
    }
}

// Wrapped lattices (tiles): every vector level gives the bits of the plain four-lane form,
// sample by sample, for periods that wrap inside the tables (1, 3, 255), at them (256,
// which is no period at all) and beyond (257, 1000, the largest int), with a z period that
// the vector kernels hand back (5) or take as none (512). The points include every cell at
// the end of a period, where the high corner wraps to 0, and cells below zero.
TEST(NoiseBatch, WrappedLatticesGiveTheSameBitsAtEveryLevel) {
    using loom::noise::NoisePeriod;
    const NoisePeriod periods[] = {{1, 0, 0},      {0, 3, 0},       {5, 7, 0}, {255, 257, 0},
                                   {256, 1000, 0}, {INT_MAX, 2, 0}, {3, 4, 5}, {6, 0, 512}};
    for (const NoisePeriod& period : periods) {
        SCOPED_TRACE(::testing::Message()
                     << "periods " << period.x << ", " << period.y << ", " << period.z);
        Points p = Mixed();
        for (int px : {period.x, period.y}) {
            const float end = static_cast<float>(px > 0 && px < 4096 ? px : 256) - 0.5f;
            for (float a : {end, -0.5f, -end, end + 3.0f * static_cast<float>(px)}) {
                p.Add(a, 0.25f, 1.5f);
                p.Add(0.75f, a, -2.5f);
                p.Add(a, a, a);
            }
        }
        const int n = static_cast<int>(p.x.size());
        const loom::noise::NoiseSource src{nullptr, period};
        std::vector<float> single(p.x.size()), batch(p.x.size());
        for (int i = 0; i < n; ++i) {
            loom::noise::Noise3Batch(src, loom::VectorLevel::kScalar, &p.x[i], &p.y[i], &p.z[i], 1,
                                     &single[i]);
        }
        for (loom::VectorLevel level :
             {loom::VectorLevel::kBase, loom::VectorLevel::kAvx2, loom::VectorLevel::kAvx512}) {
            if (!loom::ProcessorRunsVectorLevel(level)) continue;
            SCOPED_TRACE(loom::VectorLevelName(level));
            for (int len : {n, 1, 7, 8, 9, 17}) {
                std::fill(batch.begin(), batch.end(), -9.0f);
                for (int first = 0; first + len <= n; first += len) {
                    loom::noise::Noise3Batch(src, level, &p.x[first], &p.y[first], &p.z[first], len,
                                             &batch[first]);
                }
                const int covered = n - n % len;
                for (int i = 0; i < covered; ++i) {
                    ASSERT_EQ(Bits(batch[i]), Bits(single[i]))
                        << "length " << len << " at (" << p.x[i] << ", " << p.y[i] << ", " << p.z[i]
                        << ")";
                }
                if (covered < n) {
                    EXPECT_EQ(batch[covered], -9.0f) << "wrote past the end";
                }
            }
        }
        // The process's own level through the plain entry point.
        loom::noise::Noise3Batch(src, p.x.data(), p.y.data(), p.z.data(), n, batch.data());
        for (int i = 0; i < n; ++i) ASSERT_EQ(Bits(batch[i]), Bits(single[i])) << "sample " << i;
    }
}

// A tile's own coordinates (cells 0 .. p of each period) take the vector kernels' short cut
// of the modulo; a batch with one lane beyond it, below 0 or past two periods, takes the
// long way for all its lanes. Either way each lane gets the four-lane form's bits, for
// periods below the lattice offset, above it (no multiple of the period below it but 0),
// at the largest period with the short cut and just past it.
TEST(NoiseBatch, WrappedLatticesOverATilesOwnCellsGiveTheSameBits) {
    using loom::noise::NoisePeriod;
    const NoisePeriod periods[] = {{1, 2, 0}, {3, 7, 0}, {6000, 5, 0}, {1 << 24, (1 << 24) + 1, 0}};
    for (const NoisePeriod& period : periods) {
        SCOPED_TRACE(::testing::Message() << "periods " << period.x << ", " << period.y);
        Points p;
        for (int k = 0; k <= 64; ++k) {
            // Across the whole period, its ends included, both axes at once.
            const float fx = static_cast<float>(period.x) * static_cast<float>(k) / 64.0f;
            const float fy = static_cast<float>(period.y) * static_cast<float>(64 - k) / 64.0f;
            p.Add(fx, fy, 0.3f * static_cast<float>(k));
            p.Add(std::nextafter(fx, 0.0f), fy + 0.5f, -1.25f);
        }
        // Outliers at places where they share a group of eight with in-range lanes.
        for (size_t at : {size_t{3}, size_t{21}, size_t{60}}) {
            p.x[at] = -0.75f;
            p.y[at + 1] = 2.0f * static_cast<float>(period.y) + 1.5f;
        }
        const int n = static_cast<int>(p.x.size());
        const loom::noise::NoiseSource src{nullptr, period};
        std::vector<float> single(p.x.size()), batch(p.x.size());
        for (int i = 0; i < n; ++i) {
            loom::noise::Noise3Batch(src, loom::VectorLevel::kScalar, &p.x[i], &p.y[i], &p.z[i], 1,
                                     &single[i]);
        }
        for (loom::VectorLevel level : {loom::VectorLevel::kAvx2, loom::VectorLevel::kAvx512}) {
            if (!loom::ProcessorRunsVectorLevel(level)) continue;
            SCOPED_TRACE(loom::VectorLevelName(level));
            loom::noise::Noise3Batch(src, level, p.x.data(), p.y.data(), p.z.data(), n,
                                     batch.data());
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(Bits(batch[i]), Bits(single[i]))
                    << "at (" << p.x[i] << ", " << p.y[i] << ", " << p.z[i] << ")";
            }
        }
    }
}

// What the wrapped forms compute: noise that repeats every period along a wrapped axis and,
// where the period is 256, the unwrapped noise itself.
TEST(NoiseBatch, WrappedNoiseRepeatsEveryPeriod) {
    const loom::noise::NoiseSource src{nullptr, {5, 7, 0}};
    const loom::noise::NoiseSource whole{nullptr, {256, 256, 0}};
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> eighths(-400, 400);
    constexpr int kCount = 300;
    std::vector<float> x, y, z, xShift, yShift;
    for (int i = 0; i < kCount; ++i) {
        x.push_back(static_cast<float>(eighths(rng)) / 8.0f);  // exact sums below
        y.push_back(static_cast<float>(eighths(rng)) / 8.0f);
        z.push_back(static_cast<float>(eighths(rng)) / 16.0f);
        xShift.push_back(x.back() + 5.0f * static_cast<float>(i % 5 - 2));
        yShift.push_back(y.back() + 7.0f * static_cast<float>(i % 3 - 1));
    }
    std::vector<float> a(kCount), b(kCount), c(kCount), d(kCount);
    loom::noise::Noise3Batch(src, x.data(), y.data(), z.data(), kCount, a.data());
    loom::noise::Noise3Batch(src, xShift.data(), yShift.data(), z.data(), kCount, b.data());
    loom::noise::Noise3Batch(whole, x.data(), y.data(), z.data(), kCount, c.data());
    noise3Batch(x.data(), y.data(), z.data(), kCount, d.data());
    int varied = 0;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(Bits(a[i]), Bits(b[i])) << "at (" << x[i] << ", " << y[i] << ", " << z[i] << ")";
        ASSERT_EQ(Bits(c[i]), Bits(d[i])) << "at (" << x[i] << ", " << y[i] << ", " << z[i] << ")";
        varied += a[i] != d[i];
    }
    EXPECT_GT(varied, kCount / 2) << "a period of 5 and 7 changes the noise";
}

}  // namespace

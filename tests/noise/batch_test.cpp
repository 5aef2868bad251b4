// The batch forms of the noise: each sample gets the bits of a single call, whatever the
// batch length, the sample's place in it and the vector level, on ordinary, lattice, huge
// and non-finite coordinates.
#include <gtest/gtest.h>

#include <bit>
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

}  // namespace

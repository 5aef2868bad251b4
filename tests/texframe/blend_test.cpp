// The batch blend against the one-sample blend followed by AColor::ClampMinMax: the same
// bits for every pair of flags (including values other than 0 and 1), both orders, and
// weights and colours that reach the clamps and NaN.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "foundation/texframe/blend.h"

namespace {

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

/// Values a pattern may hand the blend: ordinary weights, the clamp edges, and the
/// non-finite ones.
float Draw(std::mt19937& rng) {
    static const float kSpecial[] = {0.0f,
                                     -0.0f,
                                     1.0f,
                                     -1.0f,
                                     2.0f,
                                     1e30f,
                                     -1e30f,
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(),
                                     std::numeric_limits<float>::quiet_NaN(),
                                     -std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::denorm_min()};
    std::uniform_int_distribution<int> pick(0, 15);
    const int k = pick(rng);
    if (k < static_cast<int>(std::size(kSpecial))) return kSpecial[k];
    return std::uniform_real_distribution<float>(-2.5f, 2.5f)(rng);
}

// The batch and the one-sample form against BlendColor followed by the clamp.
TEST(BlendColorClampedBatch, GivesTheBitsOfTheBlendThenTheClampForEveryFlagPair) {
    std::mt19937 rng(7);
    constexpr int kCount = 301;  // not a multiple of any vector width
    std::vector<float> w(kCount);
    std::vector<Color> a(kCount), b(kCount);
    for (int i = 0; i < kCount; ++i) {
        w[i] = Draw(rng);
        a[i] = Color(Draw(rng), Draw(rng), Draw(rng));
        b[i] = Color(Draw(rng), Draw(rng), Draw(rng));
    }
    for (const loom::BlendOrder order :
         {loom::BlendOrder::NegativeFirst, loom::BlendOrder::PositiveFirst}) {
        for (int positive = -1; positive <= 2; ++positive) {
            for (int negative = -1; negative <= 2; ++negative) {
                SCOPED_TRACE(::testing::Message()
                             << "positive " << positive << ", negative " << negative
                             << (order == loom::BlendOrder::NegativeFirst ? ", negative first"
                                                                          : ", positive first"));
                std::vector<AColor> batch(kCount, AColor(9.0f, 9.0f, 9.0f, 9.0f));
                loom::BlendColorClampedBatch(w.data(), a.data(), b.data(), positive, negative,
                                             order, kCount, batch.data());
                int wrong = 0;
                for (int i = 0; i < kCount && wrong < 3; ++i) {
                    AColor single(loom::BlendColor(w[i], a[i], b[i], positive, negative, order),
                                  1.0f);
                    single.ClampMinMax();
                    const AColor one =
                        loom::BlendColorClamped(w[i], a[i], b[i], positive, negative, order);
                    const AColor* forms[] = {&batch[i], &one};
                    for (const AColor* form : forms) {
                        const AColor& got = *form;
                        if (Bits(got.r) != Bits(single.r) || Bits(got.g) != Bits(single.g) ||
                            Bits(got.b) != Bits(single.b) || Bits(got.a) != Bits(single.a)) {
                            ++wrong;
                            ADD_FAILURE() << "sample " << i << " (w " << w[i]
                                          << "): " << (form == &one ? "one sample " : "batch ")
                                          << got.r << " " << got.g << " " << got.b << " " << got.a
                                          << ", blend and clamp " << single.r << " " << single.g
                                          << " " << single.b << " " << single.a;
                        }
                    }
                }
            }
        }
    }
}

TEST(BlendColorClampedBatch, WritesExactlyTheCountGiven) {
    const float w[3] = {0.5f, 0.5f, 0.5f};
    const Color a[3] = {Color(1, 0, 0), Color(1, 0, 0), Color(1, 0, 0)};
    const Color b[3] = {Color(0, 0, 1), Color(0, 0, 1), Color(0, 0, 1)};
    const AColor untouched(7.0f, 7.0f, 7.0f, 7.0f);
    AColor out[3] = {untouched, untouched, untouched};
    loom::BlendColorClampedBatch(w, a, b, 1, 0, loom::BlendOrder::NegativeFirst, 2, out);
    EXPECT_EQ(out[0], AColor(0.5f, 0.0f, 0.5f, 1.0f));
    EXPECT_EQ(out[1], out[0]);
    EXPECT_EQ(out[2], untouched);
}

}  // namespace

// The batch wrap of tile offsets against the one-value wrap, bit for bit: halves (which
// round to even), signed zeros, the edge of the short cut's range and beyond it, and
// values that are not finite.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "foundation/texframe/tile_math.h"

namespace {

TEST(TileMath, WrapToTileBatchGivesEachValueTheBitsOfWrapToTile) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5,
                                  -0.5,
                                  1.5,
                                  -2.5,
                                  0.49999999999999994,
                                  -3.0,
                                  0x1p51 - 0.5,
                                  -(0x1p51 - 0.5),
                                  0x1p51,
                                  0x1p51 + 1.0,
                                  -0x1p52 - 2.0,
                                  1e300,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::denorm_min()};
    for (int k = -6; k <= 6; ++k) values.push_back(k + 0.5);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> near(-3.0, 3.0);
    for (int i = 0; i < 200; ++i) values.push_back(near(rng));
    // Whole runs of close values (no fix-up pass) and the same values one at a time.
    std::vector<double> batch = values;
    loom::WrapToTileBatch(batch.data(), static_cast<int>(batch.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        double one = values[i];
        loom::WrapToTileBatch(&one, 1);
        const auto expected = std::bit_cast<std::uint64_t>(loom::WrapToTile(values[i]));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(batch[i]), expected) << values[i];
        EXPECT_EQ(std::bit_cast<std::uint64_t>(one), expected) << values[i];
    }
    std::vector<double> close(values.end() - 200, values.end());
    loom::WrapToTileBatch(close.data(), static_cast<int>(close.size()));
    for (size_t i = 0; i < close.size(); ++i) {
        EXPECT_EQ(close[i], batch[values.size() - 200 + i]);
        EXPECT_LE(std::fabs(close[i]), 0.5);
    }
}

}  // namespace

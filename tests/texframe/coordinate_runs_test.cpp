// Runs of samples sharing a coordinate: where they start and end, bits rather than values
// compared, and spreading per-run values back to the samples.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "foundation/texframe/coordinate_runs.h"

namespace {

template <class T>
std::vector<int> RunOfEachSample(const std::vector<T>& x) {
    loom::CoordinateRuns<16> runs;
    runs.Find(x.data(), static_cast<int>(x.size()));
    std::vector<int> of(runs.of, runs.of + x.size());
    // Each run starts where the samples' run index steps.
    for (int r = 0; r < runs.count; ++r) {
        EXPECT_EQ(runs.of[runs.first[r]], r);
        if (runs.first[r] > 0) {
            EXPECT_EQ(runs.of[runs.first[r] - 1], r - 1);
        }
    }
    return of;
}

TEST(CoordinateRuns, ConsecutiveEqualBitsFormOneRun) {
    EXPECT_EQ(RunOfEachSample(std::vector<double>{1, 1, 1, 2, 2, 1}),
              (std::vector<int>{0, 0, 0, 1, 1, 2}));
    EXPECT_EQ(RunOfEachSample(std::vector<float>{3, 3, 3, 3}), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(RunOfEachSample(std::vector<float>{}), std::vector<int>{});
}

TEST(CoordinateRuns, SignedZerosAndNaNsCompareByBits) {
    const double nan = std::nan(""), otherNan = std::nan("7");
    EXPECT_EQ(RunOfEachSample(std::vector<double>{0.0, -0.0, -0.0, nan, nan, otherNan}),
              (std::vector<int>{0, 1, 1, 2, 2, 3}));
    EXPECT_EQ(RunOfEachSample(std::vector<float>{0.0f, -0.0f, std::nanf(""), std::nanf("")}),
              (std::vector<int>{0, 1, 2, 2}));
}

// A sequence that repeats (rows of an image narrower than the batch) maps each sample past
// the first period to the run of its copy; one that does not repeat to the end, or whose
// runs already share, keeps the plain runs.
TEST(CoordinateRuns, RepeatingSequencesShareTheRunsOfTheirFirstPeriod) {
    auto of = [](const std::vector<float>& x, int* count = nullptr) {
        loom::CoordinateRuns<16> runs;
        runs.FindRepeating(x.data(), static_cast<int>(x.size()));
        for (int r = 0; r < runs.count; ++r) {
            EXPECT_EQ(runs.of[runs.first[r]], r);
        }
        if (count) *count = runs.count;
        return std::vector<int>(runs.of, runs.of + x.size());
    };
    int count = 0;
    EXPECT_EQ(of({1, 2, 3, 1, 2, 3, 1, 2}, &count), (std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1}));
    EXPECT_EQ(count, 3);
    // Runs within the period; -0 is not 0.
    EXPECT_EQ(of({0.0f, 0.0f, -0.0f, 5, 0.0f, 0.0f, -0.0f, 5}, &count),
              (std::vector<int>{0, 0, 1, 2, 0, 0, 1, 2}));
    EXPECT_EQ(count, 3);
    // Repeats until its last sample only: the plain runs.
    EXPECT_EQ(of({1, 2, 3, 1, 2, 3, 1, 4}, &count), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(count, 8);
    // A period of more than half the samples is no repetition.
    EXPECT_EQ(of({1, 2, 3, 4, 5, 1, 2, 3}, &count), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    // Long runs are kept as they are, even where they also repeat.
    EXPECT_EQ(of({7, 7, 7, 7, 8, 8, 8, 8}, &count), (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(count, 2);
}

TEST(CoordinateRuns, SharedOnlyWhenRunsAverageTwoSamplesAndSpreadFillsEverySample) {
    loom::CoordinateRuns<16> runs;
    const float x[6] = {5, 5, 6, 6, 7, 8};
    runs.Find(x, 6);
    ASSERT_EQ(runs.count, 4);
    EXPECT_FALSE(runs.Shared(6));
    EXPECT_TRUE(runs.Shared(8));
    const float perRun[4] = {50, 60, 70, 80};
    float spread[6] = {};
    runs.Spread(perRun, 6, spread);
    EXPECT_EQ(std::vector<float>(spread, spread + 6), (std::vector<float>{50, 50, 60, 60, 70, 80}));
}

}  // namespace

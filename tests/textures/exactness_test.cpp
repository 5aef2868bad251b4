// The textures' values from the vector library against those from the C library: never
// more than one unit in the last place of the stored float. Reports the largest
// difference and the share of bit-identical values.
#include <gtest/gtest.h>

#include "tests/support/exactness.h"

namespace {

struct ExactnessCase {
    const char* name;
    loomtest::UlpTally (*check)(std::uint64_t seed, long long cases);
};

class Exactness : public ::testing::TestWithParam<ExactnessCase> {};

TEST_P(Exactness, WithinOneUlpOfTheCLibrary) {
    const loomtest::UlpTally t = GetParam().check(20260901, 20000);
    RecordProperty("max_ulp", static_cast<int>(t.maxUlp));
    RecordProperty("identical_per_million", static_cast<int>(t.IdenticalFraction() * 1e6));
    std::printf("%s: %lld cases, largest difference %lld ulp, %.4f%% bit-identical\n",
                GetParam().name, t.cases, static_cast<long long>(t.maxUlp),
                100.0 * t.IdenticalFraction());
    EXPECT_LE(t.maxUlp, 1);
    // A slip that reached every value (a wrong argument, a lost term) would show here first.
    EXPECT_GT(t.IdenticalFraction(), 0.9);
}

INSTANTIATE_TEST_SUITE_P(Textures, Exactness,
                         ::testing::Values(ExactnessCase{"nimbra", loomtest::CheckNimbra},
                                           ExactnessCase{"lumidot", loomtest::CheckLumidot},
                                           ExactnessCase{"voltrane", loomtest::CheckVoltrane},
                                           ExactnessCase{"fervix", loomtest::CheckFervix}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace

// The process's vector level: the reading of LOOM_ISA's names against the processor's best,
// and what the processor is said to run.
#include <gtest/gtest.h>

#include <string>

#include "foundation/host/base/vector_level.h"

namespace {

using loom::VectorLevel;

constexpr VectorLevel kAll[] = {VectorLevel::kScalar, VectorLevel::kBase, VectorLevel::kAvx2,
                                VectorLevel::kAvx512};

TEST(VectorLevel, NamesSelectTheirLevelUpToTheProcessorsBest) {
    for (VectorLevel best : kAll) {
        for (VectorLevel named : kAll) {
            const VectorLevel want = named <= best ? named : best;
            EXPECT_EQ(loom::VectorLevelNamed(loom::VectorLevelName(named), best), want)
                << loom::VectorLevelName(named) << " on " << loom::VectorLevelName(best);
        }
        // Unset, unknown and differently spelt names leave the best level.
        for (const char* other : {static_cast<const char*>(nullptr), "", "AVX2", "avx", "sse4"}) {
            EXPECT_EQ(loom::VectorLevelNamed(other, best), best) << (other ? other : "null");
        }
    }
    // The name the vector library used to take for the base level.
    EXPECT_EQ(loom::VectorLevelNamed("sse2", VectorLevel::kAvx512), VectorLevel::kBase);
    EXPECT_EQ(loom::VectorLevelNamed("sse2", VectorLevel::kScalar), VectorLevel::kScalar);
}

TEST(VectorLevel, NamesAreDistinct) {
    for (VectorLevel a : kAll) {
        for (VectorLevel b : kAll) {
            if (a != b) {
                EXPECT_NE(std::string(loom::VectorLevelName(a)), loom::VectorLevelName(b));
            }
        }
    }
}

TEST(VectorLevel, TheProcessorsLevelsAreCumulativeAndTheActiveOneAmongThem) {
    EXPECT_TRUE(loom::ProcessorRunsVectorLevel(VectorLevel::kScalar));
    EXPECT_TRUE(loom::ProcessorRunsVectorLevel(VectorLevel::kBase));
    if (loom::ProcessorRunsVectorLevel(VectorLevel::kAvx512)) {
        EXPECT_TRUE(loom::ProcessorRunsVectorLevel(VectorLevel::kAvx2));
    }
    EXPECT_TRUE(loom::ProcessorRunsVectorLevel(loom::ActiveVectorLevel()));
    // Extensions are reported only while AVX-512 runs.
    if (loom::ActiveVectorLevel() != VectorLevel::kAvx512) {
        EXPECT_FALSE(loom::ActiveVectorExtension(loom::VectorExtension::kAvx512Vnni));
        EXPECT_FALSE(loom::ActiveVectorExtension(loom::VectorExtension::kAvx512Vbmi));
    }
}

}  // namespace

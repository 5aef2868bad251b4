// Two texture plug-ins that both carry the noise library, loaded into one process as the
// host loads them: each builds and keeps tables of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "foundation/host/base/crt.h"
#include "foundation/noise/noise.h"

namespace {

using Noise1 = float (*)(float);

constexpr std::array<float, 6> kPoints = {0.3f, 1.7f, 2.25f, 5.5f, 17.8f, 101.4f};
constexpr std::uint32_t kStateA = 1;
constexpr std::uint32_t kStateB = 424242;

/// A module freshly loaded (not already in the process) and its noise1 export.
Noise1 LoadFresh(const char* path) {
    void* already = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(already, nullptr) << path << " was loaded before the test";
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(module, nullptr) << dlerror();
    return module ? reinterpret_cast<Noise1>(dlsym(module, "_Z6noise1f")) : nullptr;
}

/// noise1 at kPoints, the first call building the module's tables from generator `state`.
std::array<float, kPoints.size()> Sample(Noise1 noise, std::uint32_t state) {
    crt::SetRandState(state);
    std::array<float, kPoints.size()> out{};
    for (size_t i = 0; i < kPoints.size(); ++i) out[i] = noise(kPoints[i]);
    return out;
}

TEST(NoisePluginTables, EachPluginAnswersFromItsOwnTables) {
    // References: this program's own tables built from state B, the probe module's from A.
    ASSERT_FALSE(loom::noise::NoiseTablesBuilt());
    const auto fromB = Sample(&noise1, kStateB);
    const Noise1 probe = LoadFresh(NOISE_EXPORT_PROBE_PATH);
    ASSERT_NE(probe, nullptr);
    const auto fromA = Sample(probe, kStateA);
    ASSERT_NE(fromA, fromB) << "the two generator states must give different tables";

    const Noise1 voltrane = LoadFresh(VOLTRANE_SO);
    const Noise1 fervix = LoadFresh(FERVIX_SO);
    ASSERT_NE(voltrane, nullptr);
    ASSERT_NE(fervix, nullptr);
    ASSERT_NE(voltrane, fervix);
    EXPECT_EQ(Sample(voltrane, kStateA), fromA);
    EXPECT_EQ(Sample(fervix, kStateB), fromB) << "fervix answered from voltrane's tables";

    // Built once: later calls, in any order and from any generator state, draw nothing and
    // still answer from each module's own tables.
    crt::SetRandState(99u);
    for (size_t i = 0; i < kPoints.size(); ++i) {
        EXPECT_EQ(fervix(kPoints[i]), fromB[i]) << kPoints[i];
        EXPECT_EQ(voltrane(kPoints[i]), fromA[i]) << kPoints[i];
    }
    EXPECT_EQ(crt::GetRandState(), 99u);
}

}  // namespace

// Cost of one noise3 call against stb_perlin_noise3 over the same fixed set of points.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#define STB_PERLIN_IMPLEMENTATION
#include <stb/stb_perlin.h>
#pragma GCC diagnostic pop

#include "foundation/noise/noise.h"

namespace {

constexpr int kPoints = 4096;

struct Points {
    std::array<float, 3 * kPoints> xyz;
    Points() {
        std::uint32_t s = 12345u;
        for (float& c : xyz) {
            s = s * 1664525u + 1013904223u;
            c = static_cast<float>(s >> 8) * (1.0f / 16777216.0f) * 64.0f - 32.0f;
        }
    }
};

const Points& SharedPoints() {
    static const Points points;
    return points;
}

void BM_noise3(benchmark::State& state) {
    const Points& p = SharedPoints();
    benchmark::DoNotOptimize(noise3(p.xyz.data()));  // build the tables outside the loop
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kPoints; ++i) sum += noise3(&p.xyz[static_cast<std::size_t>(3 * i)]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_noise3);

void BM_stb_perlin_noise3(benchmark::State& state) {
    const Points& p = SharedPoints();
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kPoints; ++i) {
            const float* v = &p.xyz[static_cast<std::size_t>(3 * i)];
            sum += stb_perlin_noise3(v[0], v[1], v[2], 0, 0, 0);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_stb_perlin_noise3);

}  // namespace

BENCHMARK_MAIN();

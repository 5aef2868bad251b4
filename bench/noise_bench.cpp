// Cost of one noise3 call against stb_perlin_noise3 over the same fixed set of points, and of
// noise3Batch at every vector level the processor runs, plain and with wrapped lattices (the
// level in the name; the CPU and the process's level in the context).
//
//   noise_bench [benchmark options]
//   noise_bench --compare=N   N random points (default 100 million) through every level's
//                             batch against noise3, bit for bit; exits 1 on a difference
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#define STB_PERLIN_IMPLEMENTATION
#include <stb/stb_perlin.h>
#pragma GCC diagnostic pop

#include "foundation/host/base/vector_level.h"
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

/// The same points as structure of arrays, for the batch forms.
struct Columns {
    std::vector<float> x, y, z;
    Columns() {
        const Points& p = SharedPoints();
        for (int i = 0; i < kPoints; ++i) {
            x.push_back(p.xyz[static_cast<std::size_t>(3 * i)]);
            y.push_back(p.xyz[static_cast<std::size_t>(3 * i + 1)]);
            z.push_back(p.xyz[static_cast<std::size_t>(3 * i + 2)]);
        }
    }
};

constexpr loom::VectorLevel kLevels[] = {loom::VectorLevel::kScalar, loom::VectorLevel::kBase,
                                         loom::VectorLevel::kAvx2, loom::VectorLevel::kAvx512};

/// Arg: the level (0 scalar .. 3 AVX-512); 64 samples a call, as the textures call it.
void BM_noise3Batch(benchmark::State& state) {
    const loom::VectorLevel level = kLevels[state.range(0)];
    if (!loom::ProcessorRunsVectorLevel(level)) {
        state.SkipWithError("not on this processor");
        return;
    }
    state.SetLabel(loom::VectorLevelName(level));
    const Columns c;
    const loom::noise::NoiseTables& t = loom::noise::ActiveNoiseTables();
    std::vector<float> out(kPoints);
    for (auto _ : state) {
        for (int i = 0; i < kPoints; i += 64) {
            loom::noise::Noise3Batch(t, level, &c.x[i], &c.y[i], &c.z[i], 64, &out[i]);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_noise3Batch)->DenseRange(0, 3);

/// Arg: the level; the same points with the x and y lattices wrapped at periods 24 and 40
/// (a seamless tile's noise), 64 samples a call.
void BM_noise3BatchWrapped(benchmark::State& state) {
    const loom::VectorLevel level = kLevels[state.range(0)];
    if (!loom::ProcessorRunsVectorLevel(level)) {
        state.SkipWithError("not on this processor");
        return;
    }
    state.SetLabel(loom::VectorLevelName(level));
    const Columns c;
    const loom::noise::NoiseSource src{nullptr, {24, 40, 0}};
    std::vector<float> out(kPoints);
    for (auto _ : state) {
        for (int i = 0; i < kPoints; i += 64) {
            loom::noise::Noise3Batch(src, level, &c.x[i], &c.y[i], &c.z[i], 64, &out[i]);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_noise3BatchWrapped)->DenseRange(0, 3);

/// turbulenceBatch at the process's level, frequency 16 (five octaves).
void BM_turbulenceBatch(benchmark::State& state) {
    const Columns c;
    std::vector<float> out(kPoints);
    for (auto _ : state) {
        turbulenceBatch(c.x.data(), c.y.data(), c.z.data(), kPoints, 16.0f, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_turbulenceBatch);

std::string CpuName() {
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    }
    return "unknown";
}

/// `count` random points, in pieces of random length, through every level against noise3:
/// mostly ordinary coordinates, some on lattice planes, some huge or not finite.
int Compare(long long count) {
    std::mt19937_64 rng(20261209);
    std::uniform_real_distribution<float> near(-600.0f, 600.0f), far(-3e9f, 3e9f);
    std::uniform_int_distribution<int> kind(0, 99), length(1, 64);
    const float specials[] = {std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(), -4096.0f, 0.0f};
    const auto coordinate = [&]() -> float {
        const int k = kind(rng);
        if (k < 90) return near(rng);
        if (k < 96) return std::floor(near(rng));
        if (k < 99) return far(rng);
        return specials[static_cast<std::size_t>(rng() % 5)];
    };
    const loom::noise::NoiseTables& t = loom::noise::ActiveNoiseTables();
    float x[64], y[64], z[64], single[64], batch[64];
    long long differ[4] = {}, done = 0;
    while (done < count) {
        const int n = static_cast<int>(std::min<long long>(length(rng), count - done));
        for (int i = 0; i < n; ++i) {
            x[i] = coordinate();
            y[i] = coordinate();
            z[i] = coordinate();
            const float v[3] = {x[i], y[i], z[i]};
            single[i] = noise3(v);
        }
        for (int l = 0; l < 4; ++l) {
            if (!loom::ProcessorRunsVectorLevel(kLevels[l])) continue;
            loom::noise::Noise3Batch(t, kLevels[l], x, y, z, n, batch);
            for (int i = 0; i < n; ++i) {
                const bool same = std::memcmp(&batch[i], &single[i], sizeof(float)) == 0 ||
                                  (std::isnan(batch[i]) && std::isnan(single[i]));
                differ[l] += !same;
            }
        }
        done += n;
    }
    std::printf("cpu %s\n", CpuName().c_str());
    bool ok = true;
    for (int l = 0; l < 4; ++l) {
        if (!loom::ProcessorRunsVectorLevel(kLevels[l])) {
            std::printf("%-6s not on this processor\n", loom::VectorLevelName(kLevels[l]));
            continue;
        }
        std::printf("%-6s %lld points, %lld differ from noise3\n",
                    loom::VectorLevelName(kLevels[l]), done, differ[l]);
        ok = ok && differ[l] == 0;
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--compare", 9) == 0) {
            const long long count = argv[i][9] == '=' ? std::atoll(argv[i] + 10) : 100000000LL;
            if (count <= 0) {
                std::fprintf(stderr, "noise_bench: --compare needs a positive count\n");
                return 2;
            }
            return Compare(count);
        }
    }
    benchmark::AddCustomContext("cpu", CpuName());
    benchmark::AddCustomContext("vector level", loom::VectorLevelName(loom::ActiveVectorLevel()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Samples per second of each texture's per-sample path and batch path in one run, and a
// 1024 x 1024 render on one and two threads. "PerSample/libm" is the per-sample path with
// the C library's sine and cosine, as the textures evaluated before the batch path;
// "PerSample/vector" and "Batch" use the vector set the CPU offers (named in the context).
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/core/render/renderer.h"
#include "fervix/fervix_tex.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/texmap_batch.h"
#include "foundation/vecmath/vec_math.h"
#include "lumidot/lumidot_tex.h"
#include "nimbra/nimbra_tex.h"
#include "voltrane/voltrane_tex.h"

namespace {

constexpr int kPoints = 1024;
const loom::vecmath::Isa kVector = loom::vecmath::ActiveIsa();

/// 32 x 32 points in rows, as an image's samples come; or, scattered, points that share no
/// coordinate (as under a rotated mapping), where no work is shared between samples.
struct Grid {
    explicit Grid(bool scattered = false) {
        unsigned state = 12345u;
        auto next = [&state] {
            state = state * 1664525u + 1013904223u;
            return static_cast<float>(state >> 8) / 16777216.0f;
        };
        for (int i = 0; i < kPoints; ++i) {
            u.push_back(scattered ? next() : static_cast<float>(i % 32) / 32.0f);
            v.push_back(scattered ? next() : static_cast<float>(i / 32) / 32.0f);
        }
        du.assign(kPoints, 1.0f / 1024.0f);
        dv.assign(kPoints, 1.0f / 1024.0f);
    }
    TexBatchPoints Points() const {
        TexBatchPoints p;
        p.count = kPoints;
        p.u = u.data();
        p.v = v.data();
        p.du = du.data();
        p.dv = dv.data();
        return p;
    }
    std::vector<float> u, v, du, dv;
};

template <class Tex>
struct Fixture {
    Fixture() {
        tex = new Tex();
        scene.Add("t", tex);
        Interval valid = FOREVER;
        tex->Update(0, valid);
    }
    loom::SceneHolder scene;
    Tex* tex;
};

/// First arg 0: the C library's functions; 1: the vector set. Second: as BM_Batch's.
template <class Tex>
void BM_PerSample(benchmark::State& state) {
    loom::vecmath::ForceIsaForBenchmark(state.range(0) == 0 ? loom::vecmath::Isa::kCLibrary
                                                            : kVector);
    Fixture<Tex> f;
    const Grid g(state.range(1) == 1);
    loom::PlaneShadeContext sc;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) {
            sc.Set(g.u[static_cast<size_t>(i)], g.v[static_cast<size_t>(i)], g.du[0], g.dv[0]);
            benchmark::DoNotOptimize(f.tex->EvalColor(sc));
        }
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    loom::vecmath::ForceIsaForBenchmark(kVector);
}

/// Arg 0: points in rows; 1: scattered points.
template <class Tex>
void BM_Batch(benchmark::State& state) {
    loom::vecmath::ForceIsaForBenchmark(kVector);
    Fixture<Tex> f;
    const Grid g(state.range(0) == 1);
    const TexBatchPoints pts = g.Points();
    std::vector<AColor> out(kPoints);
    for (auto _ : state) {
        loom::EvalColorBatch(f.tex, pts, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

#define LOOM_TEXTURE_BENCH(Tex)             \
    BENCHMARK_TEMPLATE(BM_PerSample, Tex)   \
        ->ArgNames({"vector", "scattered"}) \
        ->ArgsProduct({{0, 1}, {0, 1}});    \
    BENCHMARK_TEMPLATE(BM_Batch, Tex)->ArgName("scattered")->Arg(0)->Arg(1);

LOOM_TEXTURE_BENCH(NimbraTex)
LOOM_TEXTURE_BENCH(LumidotTex)
LOOM_TEXTURE_BENCH(FervixTex)
LOOM_TEXTURE_BENCH(VoltraneTex)

template <class Tex>
void BM_Render1024(benchmark::State& state) {
    loom::vecmath::ForceIsaForBenchmark(kVector);
    Fixture<Tex> f;
    loom::RenderOptions opt;
    opt.width = opt.height = 1024;
    opt.threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        loom::RenderImages img;
        loom::RenderTexture(f.tex, opt, img);
        benchmark::DoNotOptimize(img.color.rgba.data());
    }
    state.SetItemsProcessed(state.iterations() * opt.width * opt.height);
}
// Wall time, and the CPU time of the whole process (all threads): on a busy machine the wall
// time of two threads says little, but equal CPU times show that the second thread adds no
// work of its own.
#define LOOM_RENDER_BENCH(Tex)             \
    BENCHMARK_TEMPLATE(BM_Render1024, Tex) \
        ->ArgName("threads")               \
        ->Arg(1)                           \
        ->Arg(2)                           \
        ->Unit(benchmark::kMillisecond)    \
        ->MeasureProcessCPUTime()          \
        ->UseRealTime();

LOOM_RENDER_BENCH(NimbraTex)
LOOM_RENDER_BENCH(LumidotTex)
LOOM_RENDER_BENCH(FervixTex)
LOOM_RENDER_BENCH(VoltraneTex)

std::string CpuName() {
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    }
    return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::AddCustomContext("cpu", CpuName());
    benchmark::AddCustomContext("isa", loom::vecmath::IsaName(kVector));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

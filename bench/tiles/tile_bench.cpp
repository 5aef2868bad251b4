// A seamless tile against the plain render of the same settings, through the host's batch
// path on one thread: each texture at its default settings and at a preset with the most
// noise octaves. The tile should keep at least 90% of the plain speed (compare the two
// rows of a pair, same run, same CPU). The render runs on a thread of its own, so the
// figures are the process's CPU time (on a shared machine steadier than the wall time).
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "app/core/render/renderer.h"
#include "fervix/fervix_tex.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/vecmath/vec_math.h"
#include "lumidot/lumidot_tex.h"
#include "nimbra/nimbra_tex.h"
#include "voltrane/voltrane_tex.h"

namespace {

constexpr int kSide = 512;

template <class Tex>
void Configure(Tex*) {}

// Voltrane's noise shape, Goo, where a tile changes the most.
template <>
void Configure(VoltraneTex* t) {
    t->SetIntParam(kVoltraneGoo, 1, 0);
    t->SetFloatParam(kVoltraneGooUScale, 5.5f, 0);
    t->SetFloatParam(kVoltraneGooVScale, 4.2f, 0);
}

// Fervix with plasma, fractal detail and turbulence all on (the "Grassy" preset's overlays).
template <>
void Configure(FervixTex* t) {
    t->SetUsePlasma(1, 0);
    t->SetUseFractalDetail(1, 0);
    t->SetUseTurbulence(1, 0);
    t->SetTurbulenceScale(8.0f, 0);
    t->SetFractalScale(1.1f, 0);
    t->SetUScale(12.0f, 0);
    t->SetVScale(4.0f, 0);
}

/// Arg 0: plain; 1: tile.
template <class Tex>
void BM_Tile(benchmark::State& state) {
    loom::SceneHolder scene;
    auto* tex = new Tex();
    scene.Add("t", tex);
    Configure(tex);
    loom::RenderOptions opt;
    opt.width = opt.height = kSide;
    opt.threads = 1;
    opt.tile = state.range(0) == 1;
    for (auto _ : state) {
        loom::RenderImages img;
        loom::RenderTexture(tex, opt, img);
        benchmark::DoNotOptimize(img.color.rgba.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

#define LOOM_TILE_BENCH(Tex)         \
    BENCHMARK_TEMPLATE(BM_Tile, Tex) \
        ->ArgName("tile")            \
        ->Arg(0)                     \
        ->Arg(1)                     \
        ->MeasureProcessCPUTime()    \
        ->Unit(benchmark::kMillisecond);

LOOM_TILE_BENCH(NimbraTex)
LOOM_TILE_BENCH(LumidotTex)
LOOM_TILE_BENCH(FervixTex)
LOOM_TILE_BENCH(VoltraneTex)

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
    benchmark::AddCustomContext("isa", loom::vecmath::IsaName(loom::vecmath::ActiveIsa()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

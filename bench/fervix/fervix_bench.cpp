// Fervix samples per second through the full host path (Update once, then EvalColor
// through the UV generator and the sampler) and through the bare pattern functions, at the
// defaults (plasma only) and with every overlay on (plasma, four fractal passes and four
// turbulence octaves).
#include <benchmark/benchmark.h>

#include <vector>

#include "fervix/fervix_tex.h"
#include "fervix/pattern.h"
#include "foundation/host/sdk/scene_io.h"

namespace {

constexpr int kPoints = 1024;

std::vector<Point2> Points() {
    std::vector<Point2> pts;
    for (int i = 0; i < kPoints; ++i) {
        pts.push_back({static_cast<float>(i % 32) / 32.0f, static_cast<float>(i / 32) / 32.0f});
    }
    return pts;
}

struct Fixture {
    explicit Fixture(bool allOverlays) {
        tex = new FervixTex();
        scene.Add("t", tex);
        if (allOverlays) {
            tex->SetUseFractalDetail(1, 0);
            tex->SetUseTurbulence(1, 0);
            tex->SetTurbulenceScale(8.0f, 0);
        }
        Interval v = FOREVER;
        tex->Update(0, v);
        loom::PlaneShadeContext sc;
        sc.Set(0.3f, 0.3f);
        tex->EvalColor(sc);  // builds the noise tables outside the timed loop
    }
    loom::SceneHolder scene;
    FervixTex* tex;
};

void BM_FervixEvalColor(benchmark::State& state) {
    Fixture f(state.range(0) != 0);
    const auto pts = Points();
    loom::PlaneShadeContext sc;
    size_t i = 0;
    for (auto _ : state) {
        const Point2& p = pts[i++ % kPoints];
        sc.Set(p.x, p.y);
        benchmark::DoNotOptimize(f.tex->EvalColor(sc));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FervixEvalColor)->ArgName("overlays")->Arg(0)->Arg(1);

void BM_FervixBarePattern(benchmark::State& state) {
    Fixture f(state.range(0) != 0);
    const auto pts = Points();
    const FervixCache cache = f.tex->Cache();
    size_t i = 0;
    for (auto _ : state) {
        const Point2& p = pts[i++ % kPoints];
        const float w = FervixWeight(cache, p.x, p.y);
        benchmark::DoNotOptimize(FervixMixColor(cache, w, cache.backColor, cache.primeColor));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FervixBarePattern)->ArgName("overlays")->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();

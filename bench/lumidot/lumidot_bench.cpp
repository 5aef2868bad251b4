// Lumidot samples per second through the full host path (Update once, then EvalColor
// through the UV generator and the sampler) and through the bare pattern functions.
#include <benchmark/benchmark.h>

#include <vector>

#include "foundation/host/sdk/scene_io.h"
#include "lumidot/lumidot_tex.h"
#include "lumidot/pattern.h"

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
    explicit Fixture(bool pinch) {
        tex = new LumidotTex();
        scene.Add("t", tex);
        if (pinch) {
            tex->SetVerticalPinch(1, 0);
            tex->SetHorizontalPinch(1, 0);
            tex->SetVerticalHighThreshold(0.6f, 0);
        }
        Interval v = FOREVER;
        tex->Update(0, v);
    }
    loom::SceneHolder scene;
    LumidotTex* tex;
};

void BM_LumidotEvalColor(benchmark::State& state) {
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
BENCHMARK(BM_LumidotEvalColor)->ArgName("pinch")->Arg(0)->Arg(1);

void BM_LumidotBarePattern(benchmark::State& state) {
    Fixture f(state.range(0) != 0);
    const auto pts = Points();
    const LumidotCache cache = f.tex->Cache();
    size_t i = 0;
    for (auto _ : state) {
        const Point2& p = pts[i++ % kPoints];
        const float w = LumidotWeight(cache, p.x, p.y);
        benchmark::DoNotOptimize(LumidotMixColor(cache, w, cache.lowColor, cache.highColor));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LumidotBarePattern)->ArgName("pinch")->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();

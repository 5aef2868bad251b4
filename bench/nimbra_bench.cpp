// Nimbra samples per second through the full host path and through the bare pattern,
// and render megapixels per second with one and two threads.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/core/render/renderer.h"
#include "foundation/host/sdk/scene_io.h"
#include "nimbra/nimbra_tex.h"
#include "nimbra/pattern.h"

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
    Fixture() {
        tex = new NimbraTex();
        scene.Add("t", tex);
        Interval v = FOREVER;
        tex->Update(0, v);
    }
    loom::SceneHolder scene;
    NimbraTex* tex;
};

void BM_NimbraEvalColor(benchmark::State& state) {
    Fixture f;
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
BENCHMARK(BM_NimbraEvalColor);

void BM_NimbraBarePattern(benchmark::State& state) {
    Fixture f;
    const auto pts = Points();
    const NimbraCache cache = f.tex->Cache();
    size_t i = 0;
    for (auto _ : state) {
        const Point2& p = pts[i++ % kPoints];
        float t = CloudPattern(cache, p.x, p.y);
        benchmark::DoNotOptimize(NimbraMixColor(cache, t, cache.cloudColor, cache.skyColor));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NimbraBarePattern);

void BM_NimbraRender(benchmark::State& state) {
    Fixture f;
    loom::RenderOptions opt;
    opt.width = opt.height = 512;
    opt.threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        loom::RenderImages img;
        loom::RenderTexture(f.tex, opt, img);
        benchmark::DoNotOptimize(img.color.rgba.data());
    }
    state.SetItemsProcessed(state.iterations() * opt.width * opt.height);
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * opt.width * opt.height / 1e6,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NimbraRender)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

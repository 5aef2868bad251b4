// Voltrane samples per second through the full host path (EvalColor: UV generator,
// sampler, pattern, colour mix) and through the bare pattern, for a cheap shape, the
// radial shape and goo; and render megapixels per second with one and two threads.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/core/render/renderer.h"
#include "foundation/host/sdk/scene_io.h"
#include "voltrane/pattern.h"
#include "voltrane/voltrane_tex.h"

namespace {

constexpr int kPoints = 1024;

std::vector<Point2> Points() {
    std::vector<Point2> pts;
    for (int i = 0; i < kPoints; ++i) {
        pts.push_back({static_cast<float>(i % 32) / 32.0f, static_cast<float>(i / 32) / 32.0f});
    }
    return pts;
}

/// A texture showing all three regions, with the shape of the benchmark's argument.
struct Fixture {
    explicit Fixture(int shapeRow) {
        tex = new VoltraneTex();
        scene.Add("t", tex);
        tex->SetLinearH(0, 0);
        tex->SetIntParam(shapeRow, 1, 0);
        tex->SetSweepPhase(40, 0);
        tex->SetEdgeSize(0.05f, 0);
        tex->SetEdgeNoise(2.0f, 0);
        tex->SetApplyWave(1, 0);
        Interval v = FOREVER;
        tex->Update(0, v);
    }
    loom::SceneHolder scene;
    VoltraneTex* tex;
};

void ShapeArgs(benchmark::internal::Benchmark* b) {
    b->Arg(kVoltraneLinearH)->Arg(kVoltraneRadial)->Arg(kVoltraneGoo);
}

void BM_VoltraneEvalColor(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
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
BENCHMARK(BM_VoltraneEvalColor)->Apply(ShapeArgs);

void BM_VoltraneBarePattern(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    const auto pts = Points();
    const VoltraneCache c = f.tex->Cache();
    size_t i = 0;
    for (auto _ : state) {
        const Point2& p = pts[i++ % kPoints];
        const VoltraneRegion region = VoltraneRegionAt(c, p.x, p.y);
        const Color& front = region == VoltraneRegion::kBody ? c.bodyColor : c.edgeColor;
        benchmark::DoNotOptimize(region == VoltraneRegion::kBackground
                                     ? AColor(c.backColor)
                                     : VoltraneMixColor(c.bodyOpacity, front, c.backColor));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VoltraneBarePattern)->Apply(ShapeArgs);

void BM_VoltraneRender(benchmark::State& state) {
    Fixture f(kVoltraneGoo);
    loom::RenderOptions opt;
    opt.width = opt.height = 2048;  // large enough that the progress poll does not dominate
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
BENCHMARK(BM_VoltraneRender)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// The textures' benchmarks, one set of templates over every texture kind below:
//   EvalColor   samples per second through the full host path (UV generator, sampler,
//               pattern, mix), one EvalColor at a time, for each setting the kind names;
//   BarePattern the same points through the pattern functions alone;
//   PerSample   1024 points per iteration with the C library's sine and cosine ("libm", as
//               the textures evaluated before the batch path) or the vector set the CPU
//               offers, in rows or scattered (no work shared between samples), for each
//               setting the kind names;
//   Batch       the same points through the batch path;
//   Render1024  a 1024 x 1024 render on one and two threads.
// The CPU, the vector set and the process's vector level are named in the context; run the
// program under LOOM_ISA=scalar, avx2 and avx512 to compare the levels (the noise follows
// the level the process starts with).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/core/render/renderer.h"
#include "fervix/fervix_tex.h"
#include "foundation/host/base/vector_level.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/texmap_batch.h"
#include "foundation/vecmath/vec_math.h"
#include "lumidot/lumidot_tex.h"
#include "nimbra/nimbra_tex.h"
#include "voltrane/pattern.h"
#include "voltrane/voltrane_tex.h"

namespace {

// What a kind says: its class, the settings EvalColor and BarePattern run with (the
// benchmark's argument picks one) and the bare pattern of one point.

struct VoltraneKind {
    using Tex = VoltraneTex;
    /// A cheap shape, the radial shape and goo, each showing all three regions.
    static constexpr int kSettings[] = {kVoltraneLinearH, kVoltraneRadial, kVoltraneGoo};
    static constexpr const char* kSettingName = "shape_row";
    static void Configure(Tex& tex, int shapeRow) {
        tex.SetLinearH(0, 0);
        tex.SetIntParam(shapeRow, 1, 0);
        tex.SetSweepPhase(40, 0);
        tex.SetEdgeSize(0.05f, 0);
        tex.SetEdgeNoise(2.0f, 0);
        tex.SetApplyWave(1, 0);
    }
    static AColor Bare(const VoltraneCache& c, float u, float v) {
        const VoltraneRegion region = VoltraneRegionAt(c, u, v);
        const Color& front = region == VoltraneRegion::kBody ? c.bodyColor : c.edgeColor;
        return region == VoltraneRegion::kBackground
                   ? AColor(c.backColor)
                   : VoltraneMixColor(c.bodyOpacity, front, c.backColor);
    }
};

/// Two-slot textures: the bare pattern is the weight and the mix.
template <class Pattern, class Cache>
AColor TwoSlotBare(const Cache& c, float u, float v) {
    return Pattern::MixColor(c, Pattern::Weight(c, u, v), c.*Pattern::kColor0, c.*Pattern::kColor1);
}

struct FervixKind {
    using Tex = FervixTex;
    /// The defaults (plasma only), and every overlay on (plasma, four fractal passes and
    /// four turbulence octaves).
    static constexpr int kSettings[] = {0, 1};
    static constexpr const char* kSettingName = "overlays";
    static void Configure(Tex& tex, int overlays) {
        if (!overlays) return;
        tex.SetUseFractalDetail(1, 0);
        tex.SetUseTurbulence(1, 0);
        tex.SetTurbulenceScale(8.0f, 0);
    }
    static constexpr auto Bare = TwoSlotBare<FervixPattern, FervixCache>;
};

struct LumidotKind {
    using Tex = LumidotTex;
    static constexpr int kSettings[] = {0, 1};
    static constexpr const char* kSettingName = "pinch";
    static void Configure(Tex& tex, int pinch) {
        if (!pinch) return;
        tex.SetVerticalPinch(1, 0);
        tex.SetHorizontalPinch(1, 0);
        tex.SetVerticalHighThreshold(0.6f, 0);
    }
    static constexpr auto Bare = TwoSlotBare<LumidotPattern, LumidotCache>;
};

struct NimbraKind {
    using Tex = NimbraTex;
    static constexpr int kSettings[] = {0};
    static constexpr const char* kSettingName = "defaults";
    static void Configure(Tex&, int) {}
    static constexpr auto Bare = TwoSlotBare<NimbraPattern, NimbraCache>;
};

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

/// A texture of the kind with setting `setting` (the defaults for -1), updated and sampled
/// once so that tables built on first use are built outside the timed loop.
template <class Kind>
struct Fixture {
    explicit Fixture(int setting = -1) {
        tex = new typename Kind::Tex();
        scene.Add("t", tex);
        if (setting >= 0) Kind::Configure(*tex, setting);
        Interval valid = FOREVER;
        tex->Update(0, valid);
        loom::PlaneShadeContext sc;
        sc.Set(0.3f, 0.3f);
        tex->EvalColor(sc);
    }
    loom::SceneHolder scene;
    typename Kind::Tex* tex;
};

template <class Kind>
void BM_EvalColor(benchmark::State& state) {
    Fixture<Kind> f(static_cast<int>(state.range(0)));
    const Grid g;
    loom::PlaneShadeContext sc;
    size_t i = 0;
    for (auto _ : state) {
        const size_t k = i++ % kPoints;
        sc.Set(g.u[k], g.v[k]);
        benchmark::DoNotOptimize(f.tex->EvalColor(sc));
    }
    state.SetItemsProcessed(state.iterations());
}

template <class Kind>
void BM_BarePattern(benchmark::State& state) {
    Fixture<Kind> f(static_cast<int>(state.range(0)));
    const Grid g;
    const auto cache = f.tex->Cache();
    size_t i = 0;
    for (auto _ : state) {
        const size_t k = i++ % kPoints;
        benchmark::DoNotOptimize(Kind::Bare(cache, g.u[k], g.v[k]));
    }
    state.SetItemsProcessed(state.iterations());
}

/// First argument 0: the C library's functions; 1: the vector set. Second: 1 for
/// scattered points. Third: the kind's setting.
template <class Kind>
void BM_PerSample(benchmark::State& state) {
    loom::vecmath::ForceIsaForBenchmark(state.range(0) == 0 ? loom::vecmath::Isa::kCLibrary
                                                            : kVector);
    Fixture<Kind> f(static_cast<int>(state.range(2)));
    const Grid g(state.range(1) == 1);
    loom::PlaneShadeContext sc;
    for (auto _ : state) {
        for (size_t i = 0; i < kPoints; ++i) {
            sc.Set(g.u[i], g.v[i], g.du[0], g.dv[0]);
            benchmark::DoNotOptimize(f.tex->EvalColor(sc));
        }
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    loom::vecmath::ForceIsaForBenchmark(kVector);
}

/// First argument 1: scattered points. Second: the kind's setting.
template <class Kind>
void BM_Batch(benchmark::State& state) {
    loom::vecmath::ForceIsaForBenchmark(kVector);
    Fixture<Kind> f(static_cast<int>(state.range(1)));
    const Grid g(state.range(0) == 1);
    const TexBatchPoints pts = g.Points();
    std::vector<AColor> out(kPoints);
    for (auto _ : state) {
        loom::EvalColorBatch(f.tex, pts, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

/// Argument: threads. Wall time, and the CPU time of the whole process (all threads): on a
/// busy machine the wall time of two threads says little, but equal CPU times show that
/// the second thread adds no work of its own.
template <class Kind>
void BM_Render1024(benchmark::State& state) {
    loom::vecmath::ForceIsaForBenchmark(kVector);
    Fixture<Kind> f;
    loom::RenderOptions opt;
    opt.width = opt.height = 1024;
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

template <class Kind>
void RegisterKind(const char* name) {
    const std::string prefix = std::string(name) + "/";
    auto settings = [](benchmark::internal::Benchmark* b) {
        b->ArgName(Kind::kSettingName);
        for (int s : Kind::kSettings) b->Arg(s);
    };
    settings(benchmark::RegisterBenchmark((prefix + "EvalColor").c_str(), BM_EvalColor<Kind>));
    settings(benchmark::RegisterBenchmark((prefix + "BarePattern").c_str(), BM_BarePattern<Kind>));
    const std::vector<int64_t> all(std::begin(Kind::kSettings), std::end(Kind::kSettings));
    benchmark::RegisterBenchmark((prefix + "PerSample").c_str(), BM_PerSample<Kind>)
        ->ArgNames({"vector", "scattered", Kind::kSettingName})
        ->ArgsProduct({{0, 1}, {0, 1}, all});
    benchmark::RegisterBenchmark((prefix + "Batch").c_str(), BM_Batch<Kind>)
        ->ArgNames({"scattered", Kind::kSettingName})
        ->ArgsProduct({{0, 1}, all});
    benchmark::RegisterBenchmark((prefix + "Render1024").c_str(), BM_Render1024<Kind>)
        ->ArgName("threads")
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

std::string CpuName() {
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    }
    return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
    RegisterKind<VoltraneKind>("voltrane");
    RegisterKind<FervixKind>("fervix");
    RegisterKind<LumidotKind>("lumidot");
    RegisterKind<NimbraKind>("nimbra");
    benchmark::AddCustomContext("cpu", CpuName());
    benchmark::AddCustomContext("isa", loom::vecmath::IsaName(kVector));
    benchmark::AddCustomContext("vector_level", loom::VectorLevelName(loom::ActiveVectorLevel()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "app/render/renderer.h"

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "app/render/sphere.h"
#include "foundation/host/crt.h"

namespace loom {
namespace {

struct Job {
    Texmap* tex;
    const RenderOptions* opt;
    RenderImages* out;
    std::atomic<int> nextBand{0};
    std::atomic<int> rowsDone{0};
    const std::atomic<bool>* abort;
};

void Store(FloatImage& img, int x, int y, float r, float g, float b, float a) {
    size_t i =
        (static_cast<size_t>(y) * static_cast<size_t>(img.width) + static_cast<size_t>(x)) * 4;
    img.rgba[i] = r;
    img.rgba[i + 1] = g;
    img.rgba[i + 2] = b;
    img.rgba[i + 3] = a;
}

void RenderPixel(Texmap* tex, const RenderOptions& opt, RenderImages& out, PlaneShadeContext& sc,
                 int x, int y) {
    if (opt.sphere) {
        RenderSpherePixel(tex, opt, out, x, y);
        return;
    }
    const float u = static_cast<float>((x + 0.5) / opt.width);
    const float v = static_cast<float>(1.0 - (y + 0.5) / opt.height);
    sc.Set(u, v, 1.0f / static_cast<float>(opt.width), 1.0f / static_cast<float>(opt.height));
    if (opt.color) {
        AColor c = tex->EvalColor(sc);
        Store(out.color, x, y, c.r, c.g, c.b, c.a);
    }
    if (opt.mono) {
        float m = tex->EvalMono(sc);
        Store(out.mono, x, y, m, m, m, 1.0f);
    }
    if (opt.normal) {
        Point3 p = tex->EvalNormalPerturb(sc);
        double nx = -Widen(p.x) * Widen(opt.bumpScale);
        double ny = -Widen(p.y) * Widen(opt.bumpScale);
        double len = std::sqrt(nx * nx + ny * ny + 1.0);
        if (!std::isfinite(len)) nx = ny = 0.0, len = 1.0;
        Store(out.normal, x, y, static_cast<float>(0.5 + 0.5 * nx / len),
              static_cast<float>(0.5 + 0.5 * ny / len), static_cast<float>(0.5 + 0.5 / len), 1.0f);
    }
}

void Worker(Job& job) {
    const RenderOptions& opt = *job.opt;
    PlaneShadeContext sc;
    sc.curTime = opt.time;
    const int bands = (opt.height + kRenderBandRows - 1) / kRenderBandRows;
    for (;;) {
        if (job.abort && job.abort->load()) return;
        int band = job.nextBand.fetch_add(1);
        if (band >= bands) return;
        crt::srand(static_cast<unsigned>(band) + 1u);
        int y0 = band * kRenderBandRows;
        int y1 = std::min(opt.height, y0 + kRenderBandRows);
        for (int y = y0; y < y1; ++y) {
            for (int x = 0; x < opt.width; ++x) RenderPixel(job.tex, opt, *job.out, sc, x, y);
            job.rowsDone.fetch_add(1);
        }
    }
}

void Allocate(FloatImage& img, bool wanted, const RenderOptions& opt) {
    if (!wanted) return;
    img.width = opt.width;
    img.height = opt.height;
    img.rgba.assign(static_cast<size_t>(opt.width) * static_cast<size_t>(opt.height) * 4, 0.0f);
}

}  // namespace

bool RenderTexture(Texmap* tex, const RenderOptions& opt, RenderImages& out,
                   const RenderProgress& progress, const std::atomic<bool>* abort) {
    Allocate(out.color, opt.color, opt);
    Allocate(out.mono, opt.mono, opt);
    Allocate(out.normal, opt.normal, opt);
    Interval valid = FOREVER;
    tex->Update(opt.time, valid);
    {
        // The first sample runs here, before any worker, so that tables a texture builds
        // on first use come from this thread's generator.
        PlaneShadeContext sc;
        sc.curTime = opt.time;
        RenderPixel(tex, opt, out, sc, 0, 0);
    }
    Job job{tex, &opt, &out, {0}, {0}, abort};
    const int threads = std::max(1, opt.threads);
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i) pool.emplace_back([&job] { Worker(job); });
    while (job.rowsDone.load() < opt.height && !(abort && abort->load())) {
        if (progress) progress(job.rowsDone.load(), opt.height);
        // Workers may all have stopped early (abort); the loop condition sees that.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (auto& t : pool) t.join();
    if (progress) progress(job.rowsDone.load(), opt.height);
    return !(abort && abort->load());
}

}  // namespace loom

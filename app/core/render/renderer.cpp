#include "app/core/render/renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/core/render/sphere.h"
#include "foundation/host/base/crt.h"
#include "foundation/host/sdk/texmap_variation.h"

namespace loom {
namespace {

// The sphere takes 2 x 2 samples a pixel (those that miss it are counted too).
constexpr int kSphereSamplesPerPixel = 4;

struct Job {
    Texmap* tex;
    /// The root's seed, mixed into the bands' generators.
    std::uint32_t seed;
    /// Rows go through the texture's batch path.
    bool rowBatches;
    const RenderOptions* opt;
    RenderImages* out;
    std::atomic<int> nextBand{0};
    std::atomic<int> rowsDone{0};
    const std::atomic<bool>* abort;
    /// Raised by the calling thread when it gives up (a thread failed to start, or the
    /// progress callback threw), so that the workers stop before they are joined.
    std::atomic<bool> stop{false};
    /// Notified when the last row is done, so that the calling thread returns then rather
    /// than at its next progress tick (a tick is a large share of a short render).
    std::mutex doneMutex{};
    std::condition_variable allRowsDone{};

    bool Stopping() const { return stop.load() || (abort && abort->load()); }
    void RowDone() {
        if (rowsDone.fetch_add(1) + 1 < opt->height) return;
        { const std::lock_guard<std::mutex> lock(doneMutex); }
        allRowsDone.notify_all();
    }
};

/// Joins every started worker whichever way the calling thread leaves, after asking them
/// to stop if it leaves early: a std::thread destroyed unjoined ends the process.
class WorkerPool {
  public:
    explicit WorkerPool(Job& job) : job_(job) {}
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool() {
        if (!finished_) job_.stop.store(true);
        for (auto& t : threads_) t.join();
    }

    /// Starts `count` workers; throws std::runtime_error naming the system's reason when
    /// one cannot be started (the ones already started are stopped and joined).
    template <typename Fn>
    void Start(int count, Fn worker) {
        threads_.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            try {
                threads_.emplace_back(worker);
            } catch (const std::system_error& e) {
                throw std::runtime_error("cannot start render thread " + std::to_string(i + 1) +
                                         " of " + std::to_string(count) + ": " + e.what() +
                                         " (try fewer --threads)");
            }
        }
    }
    /// Marks the work as done, so that leaving joins without stopping the workers.
    void Finished() { finished_ = true; }

  private:
    Job& job_;
    std::vector<std::thread> threads_;
    bool finished_ = false;
};

void Store(FloatImage& img, int x, int y, float r, float g, float b, float a) {
    size_t i =
        (static_cast<size_t>(y) * static_cast<size_t>(img.width) + static_cast<size_t>(x)) * 4;
    img.rgba[i] = r;
    img.rgba[i + 1] = g;
    img.rgba[i + 2] = b;
    img.rgba[i + 3] = a;
}

void StoreNormal(RenderImages& out, const RenderOptions& opt, int x, int y, const Point3& p) {
    double nx = -Widen(p.x) * Widen(opt.bumpScale);
    double ny = -Widen(p.y) * Widen(opt.bumpScale);
    double len = std::sqrt(nx * nx + ny * ny + 1.0);
    if (!std::isfinite(len)) nx = ny = 0.0, len = 1.0;
    Store(out.normal, x, y, static_cast<float>(0.5 + 0.5 * nx / len),
          static_cast<float>(0.5 + 0.5 * ny / len), static_cast<float>(0.5 + 0.5 / len), 1.0f);
}

/// The pixel a shifted render samples for pixel `x` of a line of `size` (x when unshifted).
int ShiftedPixel(int x, int shift, int size) {
    if (shift == 0) return x;
    const long long s = (static_cast<long long>(x) + shift) % size;
    return static_cast<int>(s < 0 ? s + size : s);
}

float PixelU(const RenderOptions& opt, int x) {
    return static_cast<float>((ShiftedPixel(x, opt.shiftX, opt.width) + 0.5) / opt.width);
}
float PixelV(const RenderOptions& opt, int y) {
    return static_cast<float>(1.0 - (ShiftedPixel(y, opt.shiftY, opt.height) + 0.5) / opt.height);
}

void RenderPixel(Texmap* tex, const RenderOptions& opt, RenderImages& out, PlaneShadeContext& sc,
                 int x, int y) {
    if (opt.sphere) {
        RenderSpherePixel(tex, opt, out, x, y);
        return;
    }
    const float u = PixelU(opt, x);
    const float v = PixelV(opt, y);
    sc.Set(u, v, 1.0f / static_cast<float>(opt.width), 1.0f / static_cast<float>(opt.height));
    if (opt.color) {
        AColor c = tex->EvalColor(sc);
        Store(out.color, x, y, c.r, c.g, c.b, c.a);
    }
    if (opt.mono) {
        float m = tex->EvalMono(sc);
        Store(out.mono, x, y, m, m, m, 1.0f);
    }
    if (opt.normal) StoreNormal(out, opt, x, y, tex->EvalNormalPerturb(sc));
}

/// One thread's working arrays for a row of the unit square, made once per thread.
class RowBatch {
  public:
    explicit RowBatch(const RenderOptions& opt) : opt_(opt) {
        const auto w = static_cast<size_t>(opt.width);
        u_.resize(w);
        v_.resize(w);
        du_.assign(w, 1.0f / static_cast<float>(opt.width));
        dv_.assign(w, 1.0f / static_cast<float>(opt.height));
        for (int x = 0; x < opt.width; ++x) u_[static_cast<size_t>(x)] = PixelU(opt, x);
        if (opt.color) color_.resize(w);
        if (opt.mono) mono_.resize(w);
        if (opt.normal) normal_.resize(w);
    }

    /// Row y of every wanted output, in the order color, mono, normal.
    void Render(Texmap* tex, RenderImages& out, int y) {
        std::fill(v_.begin(), v_.end(), PixelV(opt_, y));
        TexBatchPoints pts;
        pts.count = opt_.width;
        pts.time = opt_.time;
        pts.u = u_.data();
        pts.v = v_.data();
        pts.du = du_.data();
        pts.dv = dv_.data();
        if (opt_.color) {
            EvalColorBatch(tex, pts, color_.data());
            for (int x = 0; x < opt_.width; ++x) {
                const AColor& c = color_[static_cast<size_t>(x)];
                Store(out.color, x, y, c.r, c.g, c.b, c.a);
            }
        }
        if (opt_.mono) {
            EvalMonoBatch(tex, pts, mono_.data());
            for (int x = 0; x < opt_.width; ++x) {
                const float m = mono_[static_cast<size_t>(x)];
                Store(out.mono, x, y, m, m, m, 1.0f);
            }
        }
        if (opt_.normal) {
            EvalNormalPerturbBatch(tex, pts, normal_.data());
            for (int x = 0; x < opt_.width; ++x)
                StoreNormal(out, opt_, x, y, normal_[static_cast<size_t>(x)]);
        }
    }

  private:
    const RenderOptions& opt_;
    std::vector<float> u_, v_, du_, dv_, mono_;
    std::vector<AColor> color_;
    std::vector<Point3> normal_;
};

void Worker(Job& job) {
    const RenderOptions& opt = *job.opt;
    PlaneShadeContext sc;
    sc.curTime = opt.time;
    std::optional<RowBatch> rows;
    std::optional<SphereRowBuffers> sphereRows;
    if (job.rowBatches) {
        if (opt.sphere) {
            sphereRows.emplace();
        } else {
            rows.emplace(opt);
        }
    }
    const int bands = (opt.height + kRenderBandRows - 1) / kRenderBandRows;
    for (;;) {
        if (job.Stopping()) return;
        int band = job.nextBand.fetch_add(1);
        if (band >= bands) return;
        crt::srand(BandSeed(band, job.seed));
        int y0 = band * kRenderBandRows;
        int y1 = std::min(opt.height, y0 + kRenderBandRows);
        for (int y = y0; y < y1; ++y) {
            if (rows) {
                rows->Render(job.tex, *job.out, y);
            } else if (sphereRows) {
                RenderSphereRow(job.tex, opt, *job.out, y, *sphereRows);
            } else {
                for (int x = 0; x < opt.width; ++x) RenderPixel(job.tex, opt, *job.out, sc, x, y);
            }
            job.RowDone();
        }
    }
}

/// The tile and seed a render asks for, set on every map of the tree while it lives and
/// put back as they were when it goes.
class ScopedVariation {
  public:
    ScopedVariation(Texmap* root, const RenderOptions& opt) {
        if (!opt.tile && !opt.seed) return;
        ForEachMapInTree(root, [this](Texmap* m) {
            if (ITexmapVariation* v = GetTexmapVariation(m))
                saved_.push_back({v, v->Tiled(), v->Seed()});
        });
        for (const Saved& s : saved_) {
            if (opt.tile) s.map->SetTiled(true);
            if (opt.seed && !s.map->SetSeed(*opt.seed)) {
                Restore();
                throw std::runtime_error("seed " + std::to_string(*opt.seed) +
                                         " cannot be used (0.." + std::to_string(kMaxTexSeed) +
                                         ", and memory for its tables)");
            }
        }
    }
    ~ScopedVariation() { Restore(); }
    ScopedVariation(const ScopedVariation&) = delete;
    ScopedVariation& operator=(const ScopedVariation&) = delete;

  private:
    struct Saved {
        ITexmapVariation* map;
        bool tiled;
        std::uint32_t seed;
    };
    void Restore() {
        for (const Saved& s : saved_) {
            s.map->SetTiled(s.tiled);
            s.map->SetSeed(s.seed);
        }
        saved_.clear();
    }
    std::vector<Saved> saved_;
};

void Allocate(FloatImage& img, bool wanted, const RenderOptions& opt) {
    if (!wanted) return;
    img.width = opt.width;
    img.height = opt.height;
    img.rgba.assign(static_cast<size_t>(opt.width) * static_cast<size_t>(opt.height) * 4, 0.0f);
}

}  // namespace

int RenderThreadCount(const RenderOptions& opt) {
    const int bands = (std::max(opt.height, 1) + kRenderBandRows - 1) / kRenderBandRows;
    return std::clamp(opt.threads, 1, std::min(bands, kMaxRenderThreads));
}

bool RenderTexture(Texmap* tex, const RenderOptions& opt, RenderImages& out,
                   const RenderProgress& progress, const std::atomic<bool>* abort,
                   RenderStats* stats) {
    Allocate(out.color, opt.color, opt);
    Allocate(out.mono, opt.mono, opt);
    Allocate(out.normal, opt.normal, opt);
    const ScopedVariation variation(tex, opt);
    const auto start = std::chrono::steady_clock::now();
    Interval valid = FOREVER;
    tex->Update(opt.time, valid);
    {
        // The first sample runs here, before any worker, so that tables a texture builds
        // on first use come from this thread's generator. A sphere's first pixel misses the
        // sphere and samples nothing, so the texture is first sampled as on the plane;
        // otherwise the worker that reached the sphere first would build the tables from its
        // band's generator, and the picture would depend on the threads' timing. (The
        // workers render every pixel again.)
        PlaneShadeContext sc;
        sc.curTime = opt.time;
        if (opt.sphere) {
            RenderOptions plane = opt;
            plane.sphere = false;
            RenderPixel(tex, plane, out, sc, 0, 0);
        }
        RenderPixel(tex, opt, out, sc, 0, 0);
    }
    const int outputs = int{opt.color} + int{opt.mono} + int{opt.normal};
    ITexmapBatch* batch = GetTexmapBatch(tex);
    // Each pixel's outputs draw random numbers in turn; rows of one output after another
    // would change that order.
    const bool rowBatches = batch && (outputs <= 1 || RandomDrawingMaps(tex) == 0);
    Job job{tex, SeedOf(tex), rowBatches, &opt, &out, {0}, {0}, abort};
    const int threads = RenderThreadCount(opt);
    {
        WorkerPool pool(job);
        pool.Start(threads, [&job] { Worker(job); });
        std::unique_lock<std::mutex> lock(job.doneMutex);
        while (job.rowsDone.load() < opt.height && !job.Stopping()) {
            if (progress) {
                lock.unlock();
                progress(job.rowsDone.load(), opt.height);
                lock.lock();
            }
            // Workers may all have stopped early (abort); the loop condition sees that.
            job.allRowsDone.wait_for(lock, std::chrono::milliseconds(50),
                                     [&job, &opt] { return job.rowsDone.load() >= opt.height; });
        }
        lock.unlock();
        pool.Finished();
    }
    if (stats) {
        stats->seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        stats->samples = static_cast<long long>(opt.width) * opt.height * outputs *
                         (opt.sphere ? kSphereSamplesPerPixel : 1);
        stats->isa = batch ? batch->BatchIsaName() : "none";
    }
    if (progress) progress(job.rowsDone.load(), opt.height);
    return !(abort && abort->load());
}

}  // namespace loom

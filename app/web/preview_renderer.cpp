#include "app/web/preview_renderer.h"

#include "app/core/jobs/tile_jobs.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "app/core/render/renderer.h"
#include "app/web/bmp.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/refs.h"

namespace loom::web {
namespace {

/// Whether every map of `original`'s tree has its counterpart in `copy`.
bool SameTree(Texmap* original, Texmap* copy, int depth) {
    // Maps cannot hold themselves, so trees end; this only bounds the walk.
    constexpr int kMaxDepth = 64;
    if (depth > kMaxDepth || original->NumSubTexmaps() != copy->NumSubTexmaps()) return false;
    for (int i = 0; i < original->NumSubTexmaps(); ++i) {
        Texmap* a = original->GetSubTexmap(i);
        Texmap* b = copy->GetSubTexmap(i);
        if (!a != !b) return false;
        if (a && !SameTree(a, b, depth + 1)) return false;
    }
    return true;
}

PictureBytes Share(std::vector<std::uint8_t> bytes) {
    return std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
}

PictureBytes ViewportPicture(Texmap* tex, TimeValue time, int size) {
    ViewportHandleMaker maker(size);
    // A handle made before shows the texture as it was then.
    tex->ActivateTexDisplay(FALSE);
    PictureBytes bytes;
    if (const Bitmap* bm = ViewportHandleBitmap(tex->GetActiveTexHandle(time, maker))) {
        bytes = Share(EncodeBmp(*bm));
    }
    tex->ActivateTexDisplay(FALSE);
    return bytes;
}

}  // namespace

bool DrawPass(Texmap* tex, const PreviewJob& job, PassKind kind, int threads,
              const std::atomic<bool>& cancel, PreviewPicture& out) {
    out.generation = job.generation;
    out.final = kind != PassKind::kCoarse;
    out.size = kind == PassKind::kCoarse ? std::max(8, job.size / 4) : job.size;
    if (!tex) return true;
    RenderOptions opt;
    opt.width = opt.height = out.size;
    opt.time = job.time;
    opt.sphere = job.sphere;
    opt.threads = kind == PassKind::kCoarse ? 1 : threads;
    // A tile on the plane: one tile rendered at half the side, shown two by two.
    const bool tile = job.tile && !job.sphere;
    const TileRepeat repeat{tile ? 2 : 1, tile ? 2 : 1};
    opt.tile = tile;
    opt.width = opt.height = out.size / repeat.columns;
    RenderImages images;
    if (!RenderTexture(tex, opt, images, {}, &cancel)) return false;
    out.sample = Share(EncodeBmp(RepeatTile(images.color, repeat)));
    if (kind != PassKind::kFull) out.viewport = ViewportPicture(tex, job.time, job.viewportSize);
    return !cancel;
}

void DeleteTexmapCopy::operator()(Texmap* copy) const { DeleteUnreferenced(copy); }

TexmapCopy CopyTextureTree(Texmap* tex) {
    if (!tex) return nullptr;
    RemapDir remap;
    TexmapCopy copy(dynamic_cast<Texmap*>(remap.CloneRef(tex)));
    if (!copy || !SameTree(tex, copy.get(), 0)) return nullptr;
    return copy;
}

PreviewRenderer::PreviewRenderer(int threads)
    : threads_(std::max(1, threads)), worker_([this] { Work(); }) {}

PreviewRenderer::~PreviewRenderer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        released_ = true;
        cancel_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void PreviewRenderer::Submit(PreviewJob job) {
    std::optional<PreviewJob> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        submitted_ = job.generation;
        dropped = std::exchange(waiting_, std::move(job));
        cancel_ = true;
    }
    changed_.notify_all();
    // `dropped`'s copy is deleted here, outside the lock.
}

void PreviewRenderer::RenderHere(Texmap* tex, const PreviewJob& settings) {
    std::optional<PreviewJob> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        submitted_ = settings.generation;
        dropped = std::exchange(waiting_, std::nullopt);
        cancel_ = true;
    }
    try {
        PreviewPicture picture;
        const std::atomic<bool> never{false};
        DrawPass(tex, settings, PassKind::kWhole, threads_, never, picture);
        Publish(std::move(picture));
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = e.what();
    }
}

PreviewPicture PreviewRenderer::Latest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

PreviewPicture PreviewRenderer::WaitNewer(std::uint64_t after,
                                          std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return released_ || latest_.number > after; });
    return latest_;
}

std::optional<PreviewPicture> PreviewRenderer::WaitFinal(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    auto done = [&] { return latest_.final && latest_.generation == submitted_; };
    if (!changed_.wait_for(lock, timeout, [&] { return released_ || done(); }) || !done()) {
        return std::nullopt;
    }
    return latest_;
}

void PreviewRenderer::ReleaseWaits() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

std::string PreviewRenderer::LastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void PreviewRenderer::Publish(PreviewPicture picture) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A picture of a change that a newer one replaced never shows.
        if (picture.generation != submitted_ || waiting_) return;
        picture.number = latest_.number + 1;
        latest_ = std::move(picture);
    }
    changed_.notify_all();
}

void PreviewRenderer::Work() {
    // The worker changes nothing but its own copies: nothing it does is for undo.
    Hold::KeepOffRecordOnThisThread();
    for (;;) {
        PreviewJob job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || waiting_; });
            if (stopping_) return;
            job = std::move(*waiting_);
            waiting_.reset();
            cancel_ = false;
        }
        try {
            Texmap* tex = job.texture.get();
            PreviewPicture coarse, full;
            ++started_;
            if (!DrawPass(tex, job, tex ? PassKind::kCoarse : PassKind::kWhole, threads_, cancel_,
                          coarse)) {
                ++cancelled_;
                continue;
            }
            full.viewport = coarse.viewport;
            Publish(std::move(coarse));
            if (!tex) continue;
            ++started_;
            if (!DrawPass(tex, job, PassKind::kFull, threads_, cancel_, full)) {
                ++cancelled_;
                continue;
            }
            Publish(std::move(full));
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = e.what();
        }
        // `job`'s copy is deleted here, on the worker.
    }
}

}  // namespace loom::web

#pragma once
/// Renders the editor's sample and viewport pictures on a thread of its own, so that the
/// window thread never waits for a texture. Each job carries a private copy of the texture
/// tree, made on the window thread; the copy belongs to the worker from then on, which
/// deletes it. A job is drawn in two passes: a coarse sample (a quarter of the side) with
/// the viewport bitmap, then the full sample. A newer job cancels the one in flight and
/// replaces any still waiting (latest wins); a cancelled pass is never published.
///
/// Every member may be called from any thread, except RenderHere (the window thread, for
/// a texture that cannot be copied).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/host/sdk/mtl.h"

namespace loom::web {

/// A top-level copy of a texture tree that nothing else references.
struct DeleteTexmapCopy {
    void operator()(Texmap* copy) const;
};
using TexmapCopy = std::unique_ptr<Texmap, DeleteTexmapCopy>;

/// A copy of `tex` and its whole tree of sub-maps, or null when a map of the tree cannot
/// be copied (a map that answers no copy leaves its slot empty: the picture would lie).
/// Window thread.
TexmapCopy CopyTextureTree(Texmap* tex);

struct PreviewJob {
    TexmapCopy texture;  ///< null: no texture open (an empty picture)
    TimeValue time = 0;
    bool sphere = true;
    /// The plane shows the texture as a seamless tile, two by two, so that a seam shows.
    bool tile = false;
    int size = 128;                ///< the sample's side in pixels
    int viewportSize = 64;         ///< the viewport bitmap's side
    std::uint64_t generation = 0;  ///< the change the job shows; grows with each change
};

/// BMP files, as the page shows them.
using PictureBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

struct PreviewPicture {
    std::uint64_t number = 0;      ///< one above the picture before; 0 before the first
    std::uint64_t generation = 0;  ///< the change it shows
    bool final = false;            ///< the full pass (otherwise the coarse one)
    int size = 0;                  ///< the sample's side in pixels
    PictureBytes sample;           ///< null when no texture is open
    PictureBytes viewport;
};

/// What a pass draws: the coarse sample with the viewport bitmap, the full sample alone,
/// or both at full size.
enum class PassKind { kCoarse, kFull, kWhole };

/// Draws one pass of `job`'s settings with `tex` into `out` (generation, size, final flag,
/// pictures); false when `cancel` was raised meanwhile. A null `tex` draws an empty
/// picture. Throws what the renderer throws (a render thread that cannot start).
bool DrawPass(Texmap* tex, const PreviewJob& job, PassKind kind, int threads,
              const std::atomic<bool>& cancel, PreviewPicture& out);

class PreviewRenderer {
  public:
    /// `threads`: render threads of a full pass.
    explicit PreviewRenderer(int threads = 2);
    /// Cancels the job in flight and waits for the worker.
    ~PreviewRenderer();
    PreviewRenderer(const PreviewRenderer&) = delete;
    PreviewRenderer& operator=(const PreviewRenderer&) = delete;

    /// Hands `job` to the worker: the render in flight stops at its next row, a job still
    /// waiting is dropped.
    void Submit(PreviewJob job);
    /// Window thread: renders `tex` (not a copy) at once on the calling thread, in one pass,
    /// after cancelling whatever the worker does: for a tree that cannot be copied.
    /// `settings.texture` is not used.
    void RenderHere(Texmap* tex, const PreviewJob& settings);

    PreviewPicture Latest() const;
    /// The latest picture once its number is above `after`, or after `timeout` whatever it
    /// is (also when the renderer stops).
    PreviewPicture WaitNewer(std::uint64_t after, std::chrono::milliseconds timeout) const;
    /// The full picture of the latest job submitted, or nothing after `timeout`.
    std::optional<PreviewPicture> WaitFinal(std::chrono::milliseconds timeout) const;

    /// Every wait, now and later, returns at once (the server is stopping).
    void ReleaseWaits();

    /// What the worker did, for tests: passes begun, and passes stopped by a newer job.
    int PassesStarted() const { return started_.load(); }
    int PassesCancelled() const { return cancelled_.load(); }
    /// The last render failure (a render thread that could not start, memory), or "".
    std::string LastError() const;

  private:
    void Work();
    void Publish(PreviewPicture picture);

    const int threads_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;  ///< a job arrived, a picture was published, stop
    std::optional<PreviewJob> waiting_;
    std::uint64_t submitted_ = 0;  ///< generation of the latest job submitted
    PreviewPicture latest_;
    std::string error_;
    bool stopping_ = false;
    bool released_ = false;  ///< waits return at once
    std::atomic<bool> cancel_{false};
    std::atomic<int> started_{0};
    std::atomic<int> cancelled_{0};
    std::thread worker_;
};

}  // namespace loom::web

#include "app/core/video/video_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
}

#include "app/core/video/video_progress.h"

namespace loom {

void PacketFree::operator()(AVPacket* p) const { av_packet_free(&p); }

namespace {

/// A queue of at most `capacity` items; Close ends it for both sides.
class ItemQueue {
  public:
    explicit ItemQueue(size_t capacity) : capacity_(capacity) {}

    /// False when the queue was closed (the item is dropped).
    bool Push(VideoItem&& item) {
        std::unique_lock<std::mutex> lock(mutex_);
        notFull_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }
    /// False when the queue is closed and empty.
    bool Pop(VideoItem& item) {
        std::unique_lock<std::mutex> lock(mutex_);
        notEmpty_.wait(lock, [&] { return closed_ || !items_.empty(); });
        if (items_.empty()) return false;
        item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return true;
    }
    /// No more items will come; those queued can still be taken.
    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        notEmpty_.notify_all();
        notFull_.notify_all();
    }
    /// Drops what is queued and closes.
    void Abandon() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        items_.clear();
        notEmpty_.notify_all();
        notFull_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable notEmpty_, notFull_;
    std::deque<VideoItem> items_;
    size_t capacity_;
    bool closed_ = false;
};

// Pixel memory handed back by the composer and the writer for the reader to fill again:
// buffers of a frame's size keep their pages, which the system would otherwise hand out and
// clear anew three times a frame (16 MB each at 1920 x 1080).
// Both kinds of buffer are kept: frames come packed, or 16-bit (half layouts, colour
// methods, views of different depths), and a run mostly hands out one kind; so are the
// frames converted for the encoder.
class PixelPool {
  public:
    explicit PixelPool(size_t capacity) : capacity_(capacity) {}
    void Give(Image16& image) {
        std::lock_guard<std::mutex> lock(mutex_);
        Keep(image.pixels, wide_);
        Keep(image.packed, packed_);
    }
    void Take(Image16& image) {
        std::lock_guard<std::mutex> lock(mutex_);
        Hand(wide_, image.pixels);
        Hand(packed_, image.packed);
    }
    void Give(FramePtr& frame) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (frame && frames_.size() < capacity_) frames_.push_back(std::move(frame));
        frame.reset();
    }
    void Take(FramePtr& frame) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (frames_.empty()) return;
        frame = std::move(frames_.back());
        frames_.pop_back();
    }

  private:
    // An emptied buffer still holds its memory (a packed view's 16-bit pixels are emptied,
    // and the colour methods compose into them): it is kept too.
    template <class Buffer>
    void Keep(Buffer& buffer, std::vector<Buffer>& kept) {
        if (buffer.capacity() != 0 && kept.size() < capacity_) kept.push_back(std::move(buffer));
        buffer = {};
    }
    // The fullest buffer first: a composition that finds one of the frame's size writes
    // into it rather than clearing new memory.
    template <class Buffer>
    static void Hand(std::vector<Buffer>& kept, Buffer& buffer) {
        if (kept.empty()) return;
        auto fullest =
            std::max_element(kept.begin(), kept.end(),
                             [](const Buffer& a, const Buffer& b) { return a.size() < b.size(); });
        buffer = std::move(*fullest);
        kept.erase(fullest);
    }
    std::mutex mutex_;
    std::vector<std::vector<BMM_Color_64>> wide_;
    std::vector<PackedRgb> packed_;
    std::vector<FramePtr> frames_;  // converted for the encoder
    size_t capacity_;
};

// The first failure of any stage; later ones are consequences.
class FirstError {
  public:
    void Set(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failed_) error_ = text;
        failed_ = true;
    }
    bool Failed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return failed_;
    }
    std::string Text() {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }

  private:
    std::mutex mutex_;
    bool failed_ = false;
    std::string error_;
};

}  // namespace

VideoPipelineOutcome RunVideoPipeline(const VideoPipelineStages& stages, long long totalFrames,
                                      const std::atomic<bool>* interrupt,
                                      const std::string& label) {
    // Few frames in flight: a 1920 x 1080 image at 8 bytes a pixel is 16 MB, and each
    // frame waiting to be composed holds two.
    constexpr size_t kQueued = 3;
    ItemQueue toCompose(kQueued), toWrite(kQueued);
    // Items in flight: one reading, one composing, one writing and those queued. The pool
    // keeps the three images of each, so a frame's memory is never freed and mapped anew:
    // a pool that is full while the queues drain frees buffers the next burst of reading
    // asks the system for again, fresh pages cleared (huge pages, on a virtual machine
    // about a millisecond each, several a frame). It holds no more than was once in flight.
    constexpr size_t kInFlight = 2 * kQueued + 3;
    PixelPool pool(3 * kInFlight);
    FirstError failure;
    std::atomic<long long> written{0};
    const auto interrupted = [&] { return interrupt && interrupt->load(); };

    std::thread reader([&] {
        for (;;) {
            if (interrupted() || failure.Failed()) break;
            VideoItem item;
            pool.Take(item.composed);
            pool.Take(item.left);
            pool.Take(item.right);
            pool.Take(item.encoded);
            std::string error;
            const int got = stages.read(item, error);
            if (got < 0) failure.Set(error);
            if (item.packet) {
                // A copied packet needs no pixels: its buffers go back now rather than
                // travel to the writer, and the reading ahead of a run's first frames makes
                // fewer new ones (each a frame's size, its pages cleared by the system).
                pool.Give(item.composed);
                pool.Give(item.left);
                pool.Give(item.right);
                pool.Give(item.encoded);
            }
            if (got <= 0 || !toCompose.Push(std::move(item))) break;
        }
        toCompose.Close();
    });
    std::thread writer([&] {
        VideoProgress progress(label);
        VideoItem item;
        while (toWrite.Pop(item)) {
            std::string error;
            if (!stages.write(item, error)) {
                failure.Set(error);
                // Nothing more can be written: free the composer and the reader.
                toWrite.Abandon();
                toCompose.Abandon();
                break;
            }
            if (!item.packet) progress.Update(++written, totalFrames);
            // Whatever the stages left in the item goes back too.
            pool.Give(item.left);
            pool.Give(item.right);
            pool.Give(item.composed);
            pool.Give(item.encoded);
        }
        progress.Finish();
    });

    VideoItem item;
    while (toCompose.Pop(item)) {
        if (!item.packet) {
            std::string error;
            if (!stages.compose(item.left, item.right, item.composed, error)) {
                if (!interrupted()) failure.Set(error);
                break;
            }
            // The views are done with; only the result waits for the writer.
            pool.Give(item.left);
            pool.Give(item.right);
            if (stages.prepare) {
                if (!stages.prepare(item, error)) {
                    failure.Set(error);
                    break;
                }
                pool.Give(item.composed);
            }
        }
        if (interrupted() && !item.packet) break;
        if (!toWrite.Push(std::move(item))) break;
    }
    // Whatever still waits to be composed is dropped; what was composed is written.
    toCompose.Abandon();
    toWrite.Close();
    reader.join();
    writer.join();

    VideoPipelineOutcome outcome;
    outcome.frames = written.load();
    if (failure.Failed()) {
        outcome.kind = VideoPipelineOutcome::Kind::kFailed;
        outcome.error = failure.Text();
    } else if (interrupted()) {
        outcome.kind = VideoPipelineOutcome::Kind::kInterrupted;
    }
    return outcome;
}

}  // namespace loom

#pragma once
/// Video frames through three threads: one reads and decodes, the calling thread composes
/// (and converts for the encoder), one encodes and writes; bounded queues between them keep a few
/// frames in flight (three waiting on each side of the composition). Packets copied unchanged
/// travel the same queues, so they reach the writer in the order read.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/core/video/video_output.h"
#include "foundation/host/sdk/bitmap.h"

struct AVPacket;

namespace loom {

/// One anaglyph frame from a pair of views of equal size. The views' pixels may be taken
/// (left in any state), so that a composition can work in their memory. Views of 8-bit video
/// may come packed (Image16::packed; a composition that needs 16-bit pixels unpacks them)
/// and the result may be packed or not. Called on the
/// pipeline's composition thread (always the same thread), frame after frame. False with
/// `error`; after an interruption (Ctrl-C) it may answer false with any error.
using ComposeFrame =
    std::function<bool(Image16& left, Image16& right, Image16& composed, std::string& error)>;

struct PacketFree {
    void operator()(AVPacket* p) const;
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

/// A pair of views to compose, or a packet to copy.
struct VideoItem {
    Image16 left, right;
    Image16 composed;
    FramePtr encoded;  ///< the composed frame converted for the encoder, when prepared
    long long pts = 0;
    PacketPtr packet;  ///< set: the item is a packet to copy
};

struct VideoPipelineStages {
    /// Decoding thread: fills the next item; 1 for an item, 0 at the end, -1 with `error`
    /// to stop. Frames it skips it reports itself.
    std::function<int(VideoItem& item, std::string& error)> read;
    ComposeFrame compose;
    /// Optional, on the composition thread after `compose`: readies the composed frame for
    /// the writer (converts it into `encoded`), work the writing thread, which waits on the
    /// encoder, is then spared. The composed image is not needed after it.
    std::function<bool(VideoItem& item, std::string& error)> prepare;
    /// Writing thread: writes a composed frame or copies a packet.
    std::function<bool(VideoItem& item, std::string& error)> write;
};

struct VideoPipelineOutcome {
    enum class Kind { kDone, kInterrupted, kFailed } kind = Kind::kDone;
    std::string error;
    long long frames = 0;  ///< frames written
};

/// Runs the stages until the reader ends, a stage fails or `interrupt` is raised; shows a
/// progress line labelled `label` on stderr (frames done of `totalFrames`, -1 unknown,
/// frames per second and time left). On an interruption the frames already composed are
/// still written.
VideoPipelineOutcome RunVideoPipeline(const VideoPipelineStages& stages, long long totalFrames,
                                      const std::atomic<bool>* interrupt, const std::string& label);

}  // namespace loom

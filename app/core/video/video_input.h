#pragma once
/// A video file read through FFmpeg's libraries: its video stream decoded frame by frame to
/// 16-bit RGB (Image16), and the packets of its other streams handed out unchanged, in file
/// order, for copying. One thread at a time.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/stereo/stereo_layout.h"
#include "foundation/host/sdk/bitmap.h"

struct AVFormatContext;
struct AVPacket;

namespace loom {

/// The largest frame decoded: 2^26 pixels (8192 x 8192).
inline constexpr long long kMaxVideoFramePixels = 1LL << 26;

/// What the video stream says about itself.
struct VideoStreamInfo {
    int width = 0;
    int height = 0;
    /// Bits per component of the stream's pixel format (8, 10, 12, 16).
    int sourceDepth = 8;
    /// 8 when frames are decoded to 8-bit RGB (widened by 257), else 16.
    int bits = 8;
    int timeBaseNum = 1, timeBaseDen = 25;
    int frameRateNum = 25, frameRateDen = 1;
    /// Frames the container announces, or estimated from the duration; -1 when unknown.
    long long frames = -1;
    /// Whether `frames` is the container's own count (not an estimate): a file that gives
    /// fewer frames was cut short or is damaged.
    bool framesDeclared = false;
    /// Seconds, or -1 when unknown.
    double duration = -1;
    /// The layout the stream's stereo 3D side data gives.
    std::optional<StereoLayout> packedLayout;
    /// FFmpeg's colour description (AVColorRange, AVColorPrimaries, ...); 0 or 2 unknown.
    int colorRange = 0, colorPrimaries = 2, colorTransfer = 2, colorSpace = 2, chromaLocation = 0;
    /// The display matrix side data (rotation), 36 bytes, or empty.
    std::vector<std::uint8_t> displayMatrix;
    /// "h264", "ffv1", ...
    std::string codecName;
};

/// Seconds for a time stamp in the stream's time base, as text ("1.240 s"), or "unknown time".
std::string TimeText(long long pts, int timeBaseNum, int timeBaseDen);

/// Counts the packets of a file's video stream (its frames) by reading the file through
/// without decoding. False with `error` naming the file.
bool CountVideoFrames(const std::string& path, long long& frames, std::string& error);

class VideoInput {
  public:
    VideoInput();
    ~VideoInput();
    VideoInput(const VideoInput&) = delete;
    VideoInput& operator=(const VideoInput&) = delete;

    /// Opens a regular file and its best video stream with its decoder. False with `error`
    /// naming the file and the cause (not found, not a video, no decoder, frame too large).
    bool Open(const std::string& path, std::string& error);

    const std::string& Path() const { return path_; }
    const VideoStreamInfo& Info() const { return info_; }
    /// The demuxer (owned), for copying streams; null before Open.
    const AVFormatContext* Format() const { return format_; }
    int VideoStreamIndex() const { return videoIndex_; }

    enum class Next { kFrame, kPacket, kEnd, kError };
    /// Reads on: kFrame with `frame` and its time stamp `pts` (in the stream's time base) for
    /// the next decoded video frame; kPacket with `packet` (owned here, valid until the next
    /// call) for a packet of another stream; kEnd after the last frame; kError with `error`
    /// naming the file, the time stamp and the cause of a corrupt packet or frame. After a
    /// kError reading may go on (the damaged packet or frame is lost).
    Next Read(Image16& frame, long long& pts, AVPacket*& packet, std::string& error);

    /// Reads the file through (demuxed, not decoded) to learn its video frames: how many
    /// there are and, when every video packet carries a presentation time stamp of its own,
    /// those times and where the key frames are, so that Restrict can seek. Before the first
    /// Read. False with `error` naming the file and the cause.
    bool IndexFrames(std::string& error);
    /// The frames IndexFrames found (video packets); 0 before it.
    long long IndexedFrames() const { return indexedFrames_; }
    /// The time stamp of frame `frame` (from 0, presentation order) as IndexFrames found it;
    /// nothing when the frames are only known by counting or there is no such frame.
    std::optional<long long> FramePts(long long frame) const;

    /// Limits what Read yields to frames `first`..`last` (numbered from 0 in presentation
    /// order, of IndexedFrames), and no packets of other streams (an audio packet cannot be
    /// cut where the stretch ends, so a stretch's sound is the whole's). When the frames are known
    /// by time stamp, reading starts at the latest key frame from which frame `first` decodes and
    /// the frames before it are decoded and dropped (compared by their exact time stamps);
    /// otherwise every frame is decoded from the start and counted. Once IndexFrames has
    /// run, before the first Read. False with `error` naming the file.
    bool Restrict(long long first, long long last, std::string& error);

    /// Frames then come packed (Image16::packed, RGB at the frames' bits) as the decoder's
    /// converter writes them, instead of as 16-bit RGBA; except the views of half layouts,
    /// which are stretched at 16 bits.
    void SetPackedFrames(bool packed) { packedFrames_ = packed; }

    /// Read for a frame holding both views in `layout`: its views into `left` and `right`,
    /// as SplitViews takes them (8-bit frames of full layouts without the whole frame at
    /// 16 bits in between).
    Next ReadViews(StereoLayout layout, Image16& left, Image16& right, long long& pts,
                   AVPacket*& packet, std::string& error);

    /// One video packet as IndexFrames saw it, in file order.
    struct IndexedPacket {
        long long pts = 0, dts = 0, pos = -1;
        bool key = false;
    };

  private:
    bool SeekBefore(long long frame, std::string& error);
    bool Reopen(std::string& error);
    bool NextPacket(AVPacket* packet);
    /// Whether a decoded frame with time stamp `pts` (or, counted, number `decoded`) comes
    /// before the span (`drop`) or after it (`end`).
    void PlaceFrame(long long pts, bool& drop, bool& end);
    Next ReadInto(const StereoLayout* layout, Image16& image, Image16* second, long long& pts,
                  AVPacket*& packet, std::string& error);
    struct State;
    std::unique_ptr<State> state_;
    std::string path_;
    VideoStreamInfo info_;
    AVFormatContext* format_ = nullptr;
    int videoIndex_ = -1;
    long long indexedFrames_ = 0;
    bool packedFrames_ = false;
    std::vector<IndexedPacket> packets_;  ///< file order; empty when frames are counted
    std::vector<long long> framePts_;     ///< presentation order; empty when counted
};

}  // namespace loom

#pragma once
/// A video file written through FFmpeg's libraries: one video stream encoded from 16-bit
/// RGB frames, and the audio and subtitle streams of an input copied unchanged. The file is
/// written under a temporary name in the target's folder and renamed over the target when
/// finished, so that a failed or interrupted run leaves the target as it was.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/core/video/video_input.h"
#include "foundation/host/sdk/bitmap.h"

struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace loom {

struct FrameFree {
    void operator()(AVFrame* f) const;
};
/// A frame in the encoder's pixel format, as VideoOutput::ConvertFrame makes it.
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

/// The video codecs offered: "h264", "h265", "ffv1", "prores", "png".
std::vector<std::string> VideoCodecNames();
/// The names of those whose encoder this FFmpeg has, separated by ", ".
std::string AvailableVideoCodecs();
/// The file name extensions of the containers offered, separated by ", ".
std::string VideoContainerChoices();

struct VideoEncoding {
    std::string codec = "h264";
    /// Constant rate factor of h264/h265 (0..51); -1: the encoder's default.
    int crf = -1;
    /// Bits per second; 0: the encoder's default.
    long long bitrate = 0;
};

/// Throws nothing; checks a codec name, its encoder and the options that go with it.
/// False with `error` listing the choices (or the codecs this FFmpeg can encode).
bool CheckVideoEncoding(const VideoEncoding& encoding, std::string& error);

/// The encoder's pixel format for a source of `sourceDepth` bits per component: 8-bit
/// sources give 8-bit output; deeper sources keep 10 (or 12, 16) bits where the codec
/// allows. An FFmpeg pixel format name ("yuv420p10le"); empty when the codec is unknown.
std::string OutputPixelFormat(const std::string& codec, int sourceDepth);

class VideoOutput {
  public:
    VideoOutput();
    ~VideoOutput();  ///< removes the temporary file unless Finish succeeded
    VideoOutput(const VideoOutput&) = delete;
    VideoOutput& operator=(const VideoOutput&) = delete;

    /// Opens a temporary file beside `path`, with the container `path`'s extension names, a
    /// video stream of `width` x `height` frames with `source`'s frame rate, time base,
    /// colour description and rotation, and (with `copyStreams`) a copy of each audio and
    /// subtitle stream of `source`. `sourceDepth` (bits per component of the views) picks the
    /// output's depth (OutputPixelFormat). False with `error` (unknown container with the list,
    /// codec or stream the container cannot hold, file not writable).
    bool Open(const std::string& path, const VideoInput& source, int width, int height,
              int sourceDepth, const VideoEncoding& encoding, bool copyStreams, std::string& error);

    /// Which streams Open copies: the source's audio unless `audio` is false or
    /// `audioFrom` (another input, open until Finish) gives the sound instead, whose audio
    /// packets come to CopyPacket numbered after the source's streams (the source's stream
    /// count plus their own index); the source's subtitles unless `subtitles` is false.
    struct CopiedStreams {
        bool audio = true;
        bool subtitles = true;
        const VideoInput* audioFrom = nullptr;
    };
    /// Before Open.
    void SetCopiedStreams(const CopiedStreams& copied) { copied_ = copied; }

    /// Opens for frames this program makes: a video stream as `stream` describes it (size,
    /// frame rate, time base, colour description, rotation) and no other stream.
    bool Open(const std::string& path, const VideoStreamInfo& stream, int sourceDepth,
              const VideoEncoding& encoding, std::string& error);
    /// Encodes one frame with time stamp `pts` in the source's video time base (8-bit
    /// output rounds 16-bit values to nearest): ConvertFrame, then WriteConverted.
    bool WriteFrame(const Image16& image, long long pts, std::string& error);
    /// Converts `image` to the encoder's pixel format into `frame`, made when empty (a frame
    /// an earlier call made is used again). This is the larger part of a frame's writing
    /// outside the encoder, so a pipeline does it on another thread than WriteConverted's;
    /// one thread at a time converts.
    bool ConvertFrame(const Image16& image, FramePtr& frame, std::string& error);
    /// Encodes a frame ConvertFrame made, with time stamp `pts`; the frame can be converted
    /// into again as soon as this returns.
    bool WriteConverted(AVFrame& frame, long long pts, std::string& error);
    /// Writes a packet of the source's stream `packet->stream_index`, if that stream is
    /// copied (ignored otherwise). The packet is consumed.
    bool CopyPacket(AVPacket* packet, std::string& error);
    /// Drains the encoder, completes the file and renames it over the target (an existing
    /// target keeps its permission bits). After a failure the temporary is removed.
    bool Finish(std::string& error);
    /// The name of the temporary file while open.
    const std::string& TemporaryPath() const { return tempPath_; }
    /// Frames encoded so far.
    long long Frames() const { return frames_; }

  private:
    /// Both Opens: `in` (may be null) is the demuxer whose audio and subtitle streams are
    /// copied, `sourcePath` its file's name.
    bool OpenStreams(const std::string& path, const VideoStreamInfo& info,
                     const AVFormatContext* in, const std::string& sourcePath, int width,
                     int height, int sourceDepth, const VideoEncoding& encoding,
                     std::string& error);

    struct State;
    std::unique_ptr<State> state_;
    std::string path_;
    std::string target_;  ///< the file replaced (where a symbolic link at path_ points)
    std::string tempPath_;
    long long frames_ = 0;
    bool finished_ = false;
    CopiedStreams copied_;
};

}  // namespace loom

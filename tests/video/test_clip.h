#pragma once
// Test clips written with FFmpeg's libraries: FFV1 video (so every pixel is known), with
// an optional PCM audio stream, an optional subtitle stream, stereo 3D side data, and a
// damaged packet.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/host/sdk/bitmap.h"

namespace videotest {

using loom::Image16;

struct ClipOptions {
    int rateNum = 25, rateDen = 1;
    /// 8: bgr0 frames from values / 257; 10: gbrp10le frames from values >> 6
    /// (exact for values that are steps of 65535 / 1023).
    int depth = 8;
    bool audio = false;
    /// A SubRip subtitle stream with one line a frame ("line N"), in Matroska files.
    bool subtitles = false;
    /// 0 none, 1 side by side, 2 top-bottom (stereo 3D side data on the video stream).
    int packing = 0;
    bool packingRightFirst = false;
    /// Index of the video packet replaced by garbage bytes, or -1.
    int damagedFrame = -1;
    /// Degrees of the display matrix (0: none), and BT.709 primaries and transfer tagged.
    double rotation = 0;
    bool bt709 = false;
    /// A key frame every `gop` frames (the others decode only after the one before); 0:
    /// the encoder's default.
    int gop = 0;
    /// The MP4/MOV muxer's "movflags" ("faststart": the index before the data;
    /// "frag_keyframe+empty_moov": fragments without an index); empty: its default.
    std::string movFlags;
};

/// Writes `frames` (all of one size) as an FFV1 clip; fails the test on error.
void WriteClip(const std::string& path, const std::vector<Image16>& frames,
               const ClipOptions& options = {});

/// The bytes and time stamps of every packet of the first stream of `type` (an
/// AVMediaType) in a file, in order.
struct StreamPackets {
    std::vector<std::uint8_t> bytes;
    std::vector<long long> pts;
    std::string codec;
};
StreamPackets ReadPackets(const std::string& path, int type);

/// Every frame of a video, decoded as the program decodes its inputs, and with `times`
/// their time stamps; fails the test on a file that does not open or a damaged frame.
std::vector<Image16> DecodeFrames(const std::string& path, std::vector<long long>* times = nullptr);

/// The video stream's pixel format name and frame count (from decoding every packet).
struct VideoFacts {
    std::string pixelFormat;
    int frames = 0;
    int width = 0, height = 0;
    std::vector<long long> pts;
    double rotation = 0;  ///< of the display matrix; 0 when there is none
    std::string primaries, transfer;
};
VideoFacts ReadVideoFacts(const std::string& path);

}  // namespace videotest

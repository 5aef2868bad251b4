#pragma once
/// `loomhost render --frames A-B -o clip.mkv`: an animation written straight into a video
/// file, one frame rendered, converted and encoded at a time. Like every video the program
/// writes, the file appears under its name only once it is complete.

#include <string>

#include "app/core/render/progress.h"
#include "app/core/render/renderer.h"
#include "app/core/video/video_output.h"

namespace loom {

struct RenderVideoJob {
    std::string output;
    int first = 0, last = 0;  ///< frames rendered; frame `first` is the video's first
    /// Frames a second, as "30" or "30000/1001".
    std::string rate = "30";
    VideoEncoding encoding;
    bool force = false;  ///< replace a read-only output
    /// 8: frames rounded to 8 bits, as an 8-bit picture file holds them (8-bit video);
    /// 16: kept at 16 bits (10-bit or deeper video where the codec allows).
    int bits = 8;
    /// A looping tile: each frame shifts the tile (LoopShift), so the frame after the last
    /// is the first; `ro.tile` should be set.
    bool loop = false;
};

/// Frames a second from "N" or "N/D", N and D whole numbers 1..1000; throws
/// std::runtime_error naming `option` otherwise.
void ParseFrameRate(const std::string& text, const char* option, int& num, int& den);

/// A rendered colour image as the video encoder takes it: each channel clamped to 0..1
/// (NaN as 0) and rounded to 0..255 (times 257) for `bits` 8, to 0..65535 for 16, as the
/// picture files of a frame sequence hold it; alpha opaque.
Image16 VideoFrameFromRender(const FloatImage& color, int bits);

/// Renders frames job.first..job.last of `tex` with `ro` (its colour output only) into the
/// video file. Throws std::runtime_error naming the file and the cause; an interruption
/// (`abort`) leaves no file under the name and an older one untouched. `stats` adds up the
/// evaluation of every frame.
void RenderToVideo(Texmap* tex, RenderOptions ro, const RenderVideoJob& job,
                   const std::atomic<bool>* abort, ProgressBar& bar, RenderStats& stats);

}  // namespace loom

#pragma once
/// loomhost anaglyph on stereo video: both views from one file (side by side or top-bottom)
/// or from two files, composed frame by frame, written as a video with the other streams
/// of the (left) input copied.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "app/core/stereo/compose_pair.h"
#include "app/core/stereo/output_layout.h"
#include "app/core/stereo/pair_adjust.h"
#include "app/core/video/shot_alignment.h"
#include "app/core/video/video_output.h"
#include "app/core/video/video_pipeline.h"

namespace CLI {
class App;
}
class ImageFilter;

namespace loom {

/// The command-line options that apply to video.
struct VideoOptions {
    std::string layout;       ///< empty: from the stream's side data or the file name
    VideoEncoding encoding;   ///< its bitrate comes from bitrateText
    std::string bitrateText;  ///< bits per second, "8000000", "8000k" or "8M"; empty: default
    /// "stop": a damaged or cut short input is an error and nothing is written; "continue"
    /// (or "skip"): what cannot be decoded is skipped, the rest written, with a warning
    /// that counts what was lost.
    std::string onError = "stop";
    bool keepPartial = false;
    std::string audio = "left";      ///< "left", "right" (of two files) or "none"
    std::string subtitles = "copy";  ///< "copy" or "drop"
    /// How the composed frame is sized: the views' size, or as ArrangedSize says for
    /// arranged views (the composition then arranges them).
    stereo::OutputLayout arrange = stereo::OutputLayout::kAnaglyph;
    /// Adds --layout, --codec, --crf, --bitrate, --on-error, --audio, --subtitles and
    /// --keep-partial.
    void AddOptions(CLI::App& cmd);
    /// Whether --on-error lets a run go on past what fails; throws for a word it does not take.
    bool ContinuesOnError() const;
};

/// The inputs and output of one run.
struct VideoJob {
    std::string left;   ///< the one input holding both views, or the left view
    std::string right;  ///< empty for one input
    std::string output;
    bool sideBySide = false;  ///< --sbs given: a single input is side by side, left first
    bool force = false;       ///< replace a read-only output
    /// Given how many frames the input has (video packets, read through), the stretch to
    /// compose: frames first..last, numbered from 0 in presentation order; nothing when there
    /// is none (then no file is written). Unset: every frame. A stretch is cut frame-exactly
    /// (VideoInput::Restrict); its output's times are the input's less those of the
    /// frames before the stretch, so that it starts where the whole would.
    std::function<std::optional<std::pair<long long, long long>>(long long frames)> part;
    /// Swap, align, shift and crop the views shot by shot (shot_alignment.h), in one pass
    /// over the inputs (aligning_reader.h); a part reads the whole of the inputs first, so
    /// that every part is corrected and cut as the whole is. Unset: the views are composed
    /// as read.
    std::optional<stereo::AdjustOptions> adjust;
    /// Told what was found and done shot by shot: once the output is complete (for a part,
    /// before it is begun).
    std::function<void(const ClipAdjustment& clip)> adjusted;
};

/// Whether the name is a video file's, by its extension (.mp4, .mkv, .mov, .avi, ...).
bool IsVideoFile(const std::string& path);

/// Composition through the stereo filter by the host's bitmap path, as the still path does
/// it (RunCompositor: the left view as the source bitmap, the right as the foreground, the
/// source bitmap as the result), with the window and bitmaps kept from frame to frame and
/// the views' pixels handed to the bitmaps rather than copied. Packed views are composed in
/// packed bitmaps of their depth and give a packed result. `filter` must outlive the function;
/// `abort` (may be null) is the filter's answer to its abort queries.
ComposeFrame ComposeWithFilter(ImageFilter& filter, const std::atomic<bool>* abort);

/// How loomhost composes each frame of a stereo video with `settings`: the grey method
/// through `greyFilter` (ComposeWithFilter, packed frames staying packed), then both
/// primaries of named glasses filled; the colour methods (and a matrix) on 16-bit views, as
/// still pictures are composed. `greyFilter` may be null for the colour methods and must
/// otherwise outlive the function.
ComposeFrame AnaglyphFrameComposition(const stereo::AnaglyphSettings& settings,
                                      ImageFilter* greyFilter, const std::atomic<bool>* abort);

/// The first pass of an adjusted job alone: its inputs read through and every shot
/// estimated, nothing written (for --align=report without an output). Throws
/// std::runtime_error (stereo::AlignmentError naming the shot that cannot be matched).
ClipAdjustment AnalyseVideoAlignment(const VideoJob& job, const VideoOptions& options,
                                     const stereo::AdjustOptions& adjust,
                                     const std::atomic<bool>* interrupt);

/// Runs the job. Everything that can be checked is checked before the output is begun:
/// the output's name, container and codec, the layout (an unknown one refused with the
/// choices), and with two inputs their sizes, frame rates and lengths (both values named).
/// Throws std::runtime_error; on failure or interruption nothing is left under the output
/// name and an existing file there is untouched, except that with keepPartial an
/// interrupted run completes and keeps what was written. With `job.part`, the output holds
/// the stretch's video only (no audio or subtitle stream is copied).
void RunVideoAnaglyph(const VideoJob& job, const VideoOptions& options, const ComposeFrame& compose,
                      const std::atomic<bool>* interrupt);

}  // namespace loom

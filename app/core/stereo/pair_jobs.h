#pragma once
/// Reading stereo pairs from files and composing them into files: one still, or many
/// (frames of a sequence, pictures of folders) with frame progress and Ctrl-C.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/filter/image16.h"
#include "app/core/stereo/compose_pair.h"
#include "app/core/stereo/output_layout.h"
#include "app/core/stereo/stereo_layout.h"
#include "foundation/host/sdk/file_io.h"

namespace loom::stereo {

/// Where one pair comes from.
struct PairSource {
    std::string left;   ///< the left view, a side-by-side picture, or an MPO or JPS photo
    std::string right;  ///< the right view; empty for a side-by-side picture or a photo
    bool sideBySide = false;
};

/// How side-by-side pictures (PairSource::sideBySide) hold their views when not left then
/// right at full size: `layout`, or with `fromName` as each picture's file name says
/// (LayoutFromFileName).
struct PictureLayout {
    std::optional<StereoLayout> layout;
    bool fromName = false;
};

/// Reads a pair: two pictures of the same size, the halves of a side-by-side picture (or
/// its views as `layout` says), or the views of a stereo photo (stereo_photo.h). JPEG
/// pictures are turned upright by their EXIF orientation. Throws std::runtime_error naming
/// the file.
void ReadPair(const PairSource& source, Image16& left, Image16& right,
              const PictureLayout& layout = {});

/// One pair to compose and the file to write; `label` names it in messages ("frame 7").
struct PairJob {
    PairSource source;
    std::string output;
    std::string label;
};

/// How RunPairJobs works.
struct PairJobOptions {
    int bits = 0;        ///< 8 or 16 per channel; 0: the inputs' depth
    bool sheet = false;  ///< write the four methods' sheet (ComposeMethodSheet)
    SaveOptions save;    ///< how outputs are saved; its interrupt stops the work
    std::string label = "anaglyph";
    PictureLayout layout;  ///< of side-by-side pictures
    /// Not kAnaglyph: the views are arranged (ArrangeViews), not composed.
    OutputLayout arrange = OutputLayout::kAnaglyph;
    /// Called with each pair once read, before it is composed; may change the views (swap,
    /// align, crop). What it throws fails the job as a reading failure does.
    std::function<void(const PairJob& job, Image16& left, Image16& right)> adjust;
    /// A job that fails is named on the standard error and the others go on; the run then
    /// throws saying how many failed.
    bool continueOnError = false;
};

/// Composes and writes each job in order. Every output is checked before any work
/// (CheckImageOutput) and every input must exist, so that a missing frame is named before
/// anything is written. Outputs are saved through SaveFile: a failure or Ctrl-C leaves an
/// existing file untouched and no partial file. One job shows the filter's line progress;
/// several show frames done, frames per second and the time left. Throws
/// std::runtime_error naming the job and the cause at the first failure, or saying how
/// many were written when interrupted (those stay).
void RunPairJobs(const std::vector<PairJob>& jobs, const AnaglyphSettings& settings,
                 ImageFilter* greyFilter, const PairJobOptions& options);

}  // namespace loom::stereo

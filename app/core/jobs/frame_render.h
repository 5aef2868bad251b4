#pragma once
/// Renders written to picture files: the names a render's outputs take (one still, or a
/// frame of a sequence), one render written to its files, and a list of frames rendered
/// one after another with each frame's failure kept apart, as the command line's
/// `render --frames` and Python's distributed renders do it.

#include <atomic>
#include <string>
#include <vector>

#include "app/core/jobs/tile_jobs.h"
#include "app/core/render/renderer.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/file_io.h"

namespace loom {

/// The files of frame `frame` of a render to `base` ("out.png"), one for each output `ro`
/// asks for, in the order colour, mono, normal. With more than one output, mono and
/// normal add "_mono" and "_normal" to the name; in a sequence the frame number follows
/// as "_NNNN" ("out_mono_0003.png").
std::vector<std::string> RenderFileNames(const std::string& base, const RenderOptions& ro,
                                         int frame, bool sequence);

/// How RenderToFiles writes a render's pictures.
struct RenderFileOptions {
    /// Bits, colour-space tags and texture files (WriteImageFile); `data` is set for the
    /// mono and normal outputs. Bits alone give WriteImage's bytes.
    ImageFileOptions file;
    /// The copies of the rendered tile across and down each picture.
    TileRepeat repeat;
};

/// Renders `tex` with `ro` and writes each output `ro` asks for to its file of `files` (in
/// RenderFileNames' order) as `options` say. Returns false, writing nothing, when `abort`
/// was raised. Throws RenderWriteError naming the file when a write fails,
/// std::runtime_error when a render thread cannot be started.
bool RenderToFiles(Texmap* tex, const RenderOptions& ro, const std::vector<std::string>& files,
                   const RenderFileOptions& options, const SaveOptions& save,
                   const RenderProgress& progress = {}, const std::atomic<bool>* abort = nullptr,
                   RenderStats* stats = nullptr);

/// A render's file that could not be written (RenderToFiles).
class RenderWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// One frame that did not get its files, and why.
struct FrameFailure {
    int frame = 0;
    std::string why;
    bool writing = false;  ///< the render ran; a file could not be written
};

/// What RenderFrames did: the frames written, in the order rendered, and those that failed.
struct FramesOutcome {
    std::vector<int> done;
    std::vector<FrameFailure> failed;
};

/// A frame to render and the files it is written to (RenderToFiles).
struct FrameFiles {
    int frame = 0;
    std::vector<std::string> files;
};

/// Renders each frame in turn at its time (ro.time is set per frame) and writes it with
/// RenderToFiles at `bits` per channel. A frame that fails is recorded with why and the
/// others go on; a file appears whole or not at all (SaveFile), so a failed frame leaves
/// nothing half-written.
FramesOutcome RenderFrames(Texmap* tex, RenderOptions ro, const std::vector<FrameFiles>& frames,
                           int bits, const SaveOptions& save);

}  // namespace loom

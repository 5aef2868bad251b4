#pragma once
/// The pairs an anaglyph job composes and the files it writes, worked out before anything
/// is read: one still (two pictures, a side-by-side picture or a stereo photo), the frames
/// of frame patterns (all of a range, or one shard's part), or the pairs of folders.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/jobs/frame_range.h"
#include "app/core/stereo/pair_jobs.h"

namespace loom::stereo {

/// What names the pairs: the views as given (pictures, frame patterns such as
/// "left_%04d.png", or folders) and where the anaglyphs go.
struct PairPlanRequest {
    std::string left, right, output;
    bool sideBySide = false;
    /// With frame patterns: the frames to compose as "A-B" or a list "1-3,5,7-20:2"
    /// (ParseFrameList; empty: those of `left` on disk).
    std::string frames;
    /// With frame patterns: the part this run composes as "K/N" (empty: the Slurm array
    /// task's when there is one; RequestedShard). Read only for frame patterns.
    std::string shard;
    /// With folders of pairs: the output pictures' extension without the dot.
    std::string format = "png";
};

/// Told the whole list of frames and the shard's part of it (nothing when the part is
/// empty), before the frames are planned.
using ShardReport = std::function<void(const Shard& shard, const FrameList& whole,
                                       const std::optional<FrameList>& part)>;

/// Throws std::runtime_error naming the views of `request` (pictures or folders; frame
/// patterns are not looked at) that are not there.
void CheckPairInputsExist(const PairPlanRequest& request);

/// The jobs `request` names, in order. Makes the output folder of folders of pairs when it
/// does not exist. Throws std::runtime_error naming the option (`--frames`, `--shard`,
/// `--sbs`, `-o`) or the file at fault: a pattern mixed with a picture, a missing right
/// view, a frame that is an input and the output, more than a million frames.
std::vector<PairJob> PlanPairJobs(const PairPlanRequest& request, const ShardReport& report = {});

}  // namespace loom::stereo

#pragma once
/// Frame numbers given on the command line (`render --frames A-B`, or a list such as
/// `1-3,5,7-20:2`): whole numbers from 0 up to the last frame the host's time can hold; and
/// the part of a range or list one machine of many renders (`--shard K/N`, or a Slurm job
/// array's task).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/model/texture_setup.h"

namespace loom {

struct FrameRange {
    int first = 0;
    int last = 0;
};

/// Frames first, first + step, ... up to `last`, which is one of them.
struct FrameRun {
    int first = 0;
    int last = 0;
    int step = 1;
};

/// Frames in ascending order, each once, held as runs so that a range of millions of frames
/// takes no memory a frame.
class FrameList {
  public:
    FrameList() = default;
    /// Every frame of `range`.
    explicit FrameList(const FrameRange& range);
    /// Runs in ascending order that do not overlap (ParseFrameList makes them so).
    explicit FrameList(std::vector<FrameRun> runs);

    const std::vector<FrameRun>& Runs() const { return runs_; }
    bool Empty() const { return runs_.empty(); }
    long long Count() const;
    int First() const { return runs_.front().first; }
    int Last() const { return runs_.back().last; }
    /// One run of consecutive frames: a plain range A-B.
    bool Contiguous() const { return runs_.size() == 1 && runs_[0].step == 1; }
    /// The frames `begin` up to `end` (not included) by position in the list, from 0.
    FrameList Slice(long long begin, long long end) const;
    /// The list as ParseFrameList reads it: "A-B" when contiguous, else runs joined by
    /// commas ("1-3,5,7-19:2").
    std::string Text() const;
    /// Calls `visit(position, frame)` for each frame in order.
    template <typename Visit>
    void ForEach(Visit&& visit) const {
        long long position = 0;
        for (const FrameRun& run : runs_) {
            for (long long f = run.first; f <= run.last; f += run.step) {
                visit(position++, static_cast<int>(f));
            }
        }
    }

  private:
    std::vector<FrameRun> runs_;
};

/// Parses a frame list as render farms write it: parts joined by commas, each a frame "N",
/// a range "A-B" or a range every S frames "A-B:S" ("1-3,5,7-20:2"). The parts may come in
/// any order but may not overlap. Throws std::runtime_error naming `what`, the text, the
/// part at fault and the cause otherwise.
FrameList ParseFrameList(const std::string& text, const std::string& what);

/// Part `index` (from 0) of `count` parts of a frame range.
struct Shard {
    int index = 0;
    int count = 1;
};

/// Parses "K/N": whole numbers, N >= 1, 0 <= K < N. Throws std::runtime_error naming
/// `what` and the text otherwise.
Shard ParseShard(const std::string& text, const std::string& what);

/// Reads a variable of the environment; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

/// The shard of a Slurm job array's task: K = (SLURM_ARRAY_TASK_ID - SLURM_ARRAY_TASK_MIN)
/// / SLURM_ARRAY_TASK_STEP (step 1 when unset), N = SLURM_ARRAY_TASK_COUNT. Nothing when
/// SLURM_ARRAY_TASK_ID is unset; throws std::runtime_error naming the variables when the
/// count is missing or they do not give a shard.
std::optional<Shard> ShardFromSlurm(const EnvironmentLookup& lookup);

/// The part a command is asked for: `text` ("K/N") parsed when given, else the Slurm array
/// task's (ShardFromSlurm on the process's environment), else nothing.
std::optional<Shard> RequestedShard(const std::string& text, const std::string& what);

/// The frames of `range` that part `shard` renders: N contiguous parts whose sizes differ
/// by at most one frame, the larger ones last. Nothing when the part is empty (more parts
/// than frames).
std::optional<FrameRange> ShardOfRange(const FrameRange& range, const Shard& shard);

/// The frames of `list` that part `shard` renders: as ShardOfRange, by position in the
/// list (a range gives the same parts as ShardOfRange).
std::optional<FrameList> ShardOfList(const FrameList& list, const Shard& shard);

/// The file part `shard` writes when a sharded command's output is one file (a video):
/// `path` with ".partK-of-N" before its extension, K zero-padded to the width of N - 1 so
/// that the parts sort in order ("trip.mkv", 3/12: "trip.part03-of-12.mkv").
std::string ShardFileName(const std::string& path, const Shard& shard);

}  // namespace loom

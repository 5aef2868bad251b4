#pragma once
/// Frame numbers given on the command line (`render --frames A-B`): whole numbers from 0
/// up to the last frame the host's time can hold; and the part of a range one machine of
/// many renders (`--shard K/N`, or a Slurm job array's task).

#include <functional>
#include <optional>
#include <string>

#include "app/core/model/texture_setup.h"

namespace loom {

struct FrameRange {
    int first = 0;
    int last = 0;
};

/// Parses "A-B", first and last frame included: whole numbers within 0..kMaxFrame
/// (texture_setup.h), A <= B.
/// Throws std::runtime_error naming `what`, the text and the allowed range otherwise.
FrameRange ParseFrameRange(const std::string& text, const std::string& what);

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

/// The file part `shard` writes when a sharded command's output is one file (a video):
/// `path` with ".partK-of-N" before its extension, K zero-padded to the width of N - 1 so
/// that the parts sort in order ("trip.mkv", 3/12: "trip.part03-of-12.mkv").
std::string ShardFileName(const std::string& path, const Shard& shard);

}  // namespace loom

#pragma once
/// Progress of work counted in frames, on stderr in the process's progress style: a bar,
/// frames done of all, frames per second and the time left. Shows nothing for work shorter
/// than a second.

#include <string>

#include "app/core/render/progress_output.h"

namespace loom::stereo {

class FrameProgress {
  public:
    FrameProgress(std::string label, long long total, bool enabled = true);
    ~FrameProgress();
    FrameProgress(const FrameProgress&) = delete;
    FrameProgress& operator=(const FrameProgress&) = delete;
    /// Reports `done` frames finished.
    void Update(long long done);
    /// Ends the line if a bar was shown.
    void Finish();
    /// The line as drawn for `done` frames after `seconds` (no carriage return), e.g.
    /// "anaglyph [####....]  12/100 frames, 3.4 fps, 0:26 left".
    std::string Line(long long done, double seconds) const;

  private:
    std::string label_;
    long long total_;
    bool enabled_;
    ProgressOutput out_;
};

}  // namespace loom::stereo

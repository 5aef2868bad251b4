#pragma once
/// A progress line on stderr for long video work, in the process's progress style: frames
/// done (of the total when known), frames per second and the time left. Shows nothing for
/// the first second.

#include <string>

#include "app/core/render/progress_output.h"

namespace loom {

/// The line itself: "12/60 frames  24.0 fps  0:02 left" (no total: "12 frames  24.0 fps").
std::string VideoProgressText(long long done, long long total, double seconds);

class VideoProgress {
  public:
    explicit VideoProgress(std::string label);
    ~VideoProgress();
    void Update(long long done, long long total);
    /// Ends the line if one was shown.
    void Finish();

  private:
    std::string label_;
    ProgressOutput out_;
};

}  // namespace loom

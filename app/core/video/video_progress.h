#pragma once
/// A progress line on stderr for long video work: frames done (of the total when known),
/// frames per second and the time left. Shows nothing for the first second; redraws at most
/// ten times a second.

#include <chrono>
#include <string>

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
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace loom

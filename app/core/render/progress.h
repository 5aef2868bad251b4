#pragma once
/// A progress bar on stderr for work that takes longer than a second. Shows nothing for
/// quick work; redraws at most ten times a second.

#include <chrono>
#include <string>

namespace loom {

class ProgressBar {
  public:
    explicit ProgressBar(std::string label, bool enabled = true);
    ~ProgressBar();
    /// Reports `done` of `total` units.
    void Update(long long done, long long total);
    /// Ends the line if a bar was shown.
    void Finish();

  private:
    std::string label_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace loom

#pragma once
/// A progress bar on stderr for work that takes longer than a second, in the process's
/// progress style (progress_output.h). Shows nothing for quick work.

#include <string>

#include "app/core/render/progress_output.h"

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
    ProgressOutput out_;
};

}  // namespace loom

#pragma once
/// The anaglyph command's options that adjust a pair before it is composed (--swap,
/// --align, --parallax, --crop) and report what was done (--report, --diagnostic).

#include <memory>
#include <string>
#include <vector>

#include "app/core/stereo/pair_adjust.h"
#include "app/core/stereo/pair_jobs.h"
#include "app/core/video/shot_alignment.h"

namespace CLI {
class App;
}

namespace loom {

struct AnaglyphAdjustOptions {
    bool swap = false;
    std::string align;  ///< "" not given; "on", "report", "try"
    std::string parallax, crop, report, diagnostic;

    /// Adds --swap, --align[=report|try], --parallax, --crop, --report and --diagnostic.
    void AddOptions(CLI::App& cmd);
    /// Whether any of them was given.
    bool Given() const;
    /// The core's options; throws std::runtime_error for a bad value.
    stereo::AdjustOptions Parse() const;
};

/// Adjusts pairs for RunPairJobs and gathers the reports: each pair's result printed (one
/// line on the standard output when it was estimated; warnings on the standard error),
/// then written to the --report file as JSON by WriteReport.
class PairAdjuster {
  public:
    /// `many`: several pairs follow (diagnostic sheets are numbered); `force`: replace
    /// read-only report and sheet files.
    PairAdjuster(const AnaglyphAdjustOptions& options, bool many, bool force);
    /// For PairJobOptions::adjust.
    void operator()(const stereo::PairJob& job, Image16& left, Image16& right);
    /// Writes the --report file (an object for one pair, an array for several) when asked.
    void WriteReport(bool force) const;

  private:
    stereo::AdjustOptions options_;
    std::string report_, diagnostic_;
    std::vector<std::string> reports_;
    std::vector<std::string> labels_;
    bool many_ = false, force_ = false;
    int pairs_ = 0;
};

/// Prints what the first pass over a video found (a line per shot on the standard output,
/// warnings on the standard error, then the clip's crop) and writes `report` (when not
/// empty) as ClipAdjustmentJson.
void ReportClip(const ClipAdjustment& clip, const std::string& report, bool force);

}  // namespace loom

#pragma once
/// Where long work tells its progress: stderr, in the style the front-end chose once for
/// the process. A bar redrawn in place suits a terminal; a log file wants plain lines
/// (a carriage return there makes one endless line); a farm manager wants one JSON object
/// a line. Every progress display of the core draws through ProgressOutput.

#include <chrono>
#include <functional>
#include <string>

namespace loom {

enum class ProgressStyle {
    kAuto,   ///< a bar on a terminal, lines otherwise (the default)
    kBar,    ///< redrawn in place, ten times a second at most
    kLines,  ///< a whole line every five seconds, and at the end
    kJson,   ///< {"task":..,"done":..,"total":..,"unit":..,"seconds":..} a second, and at the end
    kNone,   ///< nothing (--quiet)
};

/// Chooses the style of every later display; kAuto asks whether stderr is a terminal.
void SetProgressStyle(ProgressStyle style);
/// The style in force, kAuto resolved.
ProgressStyle CurrentProgressStyle();

/// One display: silent for work shorter than a second, then drawn in the process's style.
class ProgressOutput {
  public:
    /// `task` names the work in JSON lines ("render", "anaglyph"); `unit` counts it ("%",
    /// "frames").
    ProgressOutput(std::string task, std::string unit,
                   std::chrono::milliseconds silentFor = std::chrono::seconds(1));
    ~ProgressOutput();
    ProgressOutput(const ProgressOutput&) = delete;
    ProgressOutput& operator=(const ProgressOutput&) = delete;

    /// Reports `done` of `total` (total <= 0: unknown); `text(seconds)` makes the human
    /// line, called only when one is drawn.
    void Report(long long done, long long total,
                const std::function<std::string(double seconds)>& text);
    /// Ends the display: a bar's line is ended, lines and JSON get their last report.
    void Finish();

  private:
    void Draw(long long done, long long total, double seconds,
              const std::function<std::string(double)>& text);

    std::string task_, unit_;
    ProgressStyle style_;
    bool shown_ = false;
    long long lastDone_ = -1, lastTotal_ = 0, drawnDone_ = -1;
    std::function<std::string(double)> lastText_;
    std::chrono::milliseconds silentFor_;
    std::chrono::steady_clock::time_point start_, lastDraw_;
};

}  // namespace loom

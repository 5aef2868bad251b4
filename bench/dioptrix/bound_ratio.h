#pragma once
// The anaglyph benchmarks' console output with a closing table: for each figure, its best
// rate over the repetitions, the best rate of the memory bound that moves the same bytes,
// and the ratio of the two, so that figure and bound come from the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace loombench {

/// A figure and the memory bound it is held against, as benchmark names with their
/// arguments ("BM_VideoCompose/16/1").
struct BoundPair {
    std::string figure;
    std::string bound;
};

class BoundRatioReporter final : public benchmark::ConsoleReporter {
  public:
    /// Colours as the library's own console output does, on a terminal only.
    explicit BoundRatioReporter(std::vector<BoundPair> pairs)
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None),
          pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("MP/s");
            if (run.run_type != Run::RT_Iteration || run.error_occurred ||
                rate == run.counters.end()) {
                continue;
            }
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            double& best = best_[name];
            best = std::max(best, rate->second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        bool header = false;
        for (const BoundPair& pair : pairs_) {
            const auto figure = best_.find(pair.figure), bound = best_.find(pair.bound);
            if (figure == best_.end() || bound == best_.end() || bound->second <= 0) continue;
            char line[256];
            if (!header) {
                GetOutputStream() << "\nBest of the repetitions, MP/s:\n";
                header = true;
            }
            std::snprintf(line, sizeof line, "%-28s %9.1f  bound %-32s %9.1f  ratio %.2f\n",
                          pair.figure.c_str(), figure->second, pair.bound.c_str(), bound->second,
                          figure->second / bound->second);
            GetOutputStream() << line;
        }
    }

  private:
    std::vector<BoundPair> pairs_;
    std::map<std::string, double> best_;
};

}  // namespace loombench

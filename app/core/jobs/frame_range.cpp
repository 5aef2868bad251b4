#include "app/core/jobs/frame_range.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "app/core/model/texture_setup.h"

namespace loom {
namespace {

const std::string kFramesAllowed =
    " (frames are whole numbers 0.." + std::to_string(kMaxFrame) + ")";

/// One frame number of a part; `where` names the option, the text and the part.
int ParseFrame(const std::string& number, const std::string& where, const std::string& what) {
    double d = 0.0;
    try {
        d = ParseNumber(number, what);
    } catch (const std::runtime_error&) {
        throw std::runtime_error(where + "'" + number + "' is not a frame number" + kFramesAllowed);
    }
    if (d != std::floor(d)) {
        throw std::runtime_error(where + "'" + number + "' is not a whole frame number" +
                                 kFramesAllowed);
    }
    // Compared as a double, before any conversion to int.
    if (!(d >= 0.0 && d <= static_cast<double>(kMaxFrame))) {
        throw std::runtime_error(where + "frame '" + number + "' is out of range" + kFramesAllowed);
    }
    return static_cast<int>(d);
}

/// "N", "A-B" or "A-B:S", with its last frame moved down onto the step.
FrameRun ParseFramePart(const std::string& part, const std::string& where,
                        const std::string& what) {
    if (part.empty()) {
        throw std::runtime_error(where + "an empty part; expected N, A-B or A-B:S, e.g. 0-29");
    }
    std::string range = part;
    int step = 1;
    if (const size_t colon = part.rfind(':'); colon != std::string::npos) {
        range = part.substr(0, colon);
        const std::string stepText = part.substr(colon + 1);
        const bool digits = !stepText.empty() && stepText.size() <= 9 &&
                            stepText.find_first_not_of("0123456789") == std::string::npos;
        step = digits ? std::stoi(stepText) : 0;
        if (step < 1) {
            throw std::runtime_error(where + "step '" + stepText +
                                     "' is not a whole number of frames, 1 or more");
        }
    }
    // The separator is the first '-' after the first character, so that a negative first
    // frame is read as one (and refused as out of range) rather than as a separator.
    const size_t dash = range.find('-', 1);
    if (dash == std::string::npos) {
        if (step != 1 || range != part) {
            throw std::runtime_error(where + "a step needs a range: A-B:S, e.g. 0-29:2");
        }
        const int frame = ParseFrame(range, where, what);
        return {frame, frame, 1};
    }
    FrameRun run;
    run.first = ParseFrame(range.substr(0, dash), where, what);
    run.last = ParseFrame(range.substr(dash + 1), where, what);
    run.step = step;
    if (run.last < run.first) {
        throw std::runtime_error(where + "the last frame is before the first");
    }
    run.last -= (run.last - run.first) % step;
    return run;
}

std::string RunText(const FrameRun& run) {
    if (run.first == run.last) return std::to_string(run.first);
    std::string text = std::to_string(run.first) + "-" + std::to_string(run.last);
    if (run.step != 1) text += ":" + std::to_string(run.step);
    return text;
}

}  // namespace

FrameList::FrameList(const FrameRange& range) : runs_{{range.first, range.last, 1}} {}

FrameList::FrameList(std::vector<FrameRun> runs) : runs_(std::move(runs)) {}

long long FrameList::Count() const {
    long long count = 0;
    for (const FrameRun& run : runs_) count += (run.last - run.first) / run.step + 1;
    return count;
}

FrameList FrameList::Slice(long long begin, long long end) const {
    std::vector<FrameRun> out;
    long long position = 0;
    for (const FrameRun& run : runs_) {
        const long long size = (run.last - run.first) / run.step + 1;
        const long long from = std::max(begin, position) - position;
        const long long to = std::min(end, position + size) - position;
        if (from < to) {
            const int first = static_cast<int>(run.first + from * run.step);
            const int last = static_cast<int>(run.first + (to - 1) * run.step);
            out.push_back({first, last, first == last ? 1 : run.step});
        }
        position += size;
    }
    return FrameList(std::move(out));
}

std::string FrameList::Text() const {
    if (Contiguous()) return std::to_string(First()) + "-" + std::to_string(Last());
    std::string text;
    for (const FrameRun& run : runs_) text += (text.empty() ? "" : ",") + RunText(run);
    return text;
}

FrameList ParseFrameList(const std::string& text, const std::string& what) {
    const std::string where = what + " '" + text + "': ";
    const bool several = text.find(',') != std::string::npos;
    std::vector<std::pair<FrameRun, std::string>> parts;
    // Each part is at least one character and a comma: the text bounds their number.
    const std::string rest = text + ",";
    for (size_t pos = 0, comma; (comma = rest.find(',', pos)) != std::string::npos;
         pos = comma + 1) {
        const std::string part = rest.substr(pos, comma - pos);
        const std::string at = several ? where + "'" + part + "': " : where;
        if (!several && part.find_first_of(":-") == std::string::npos) {
            // A lone number is a frame; anything else without a dash was meant as a range.
            try {
                (void)ParseNumber(part, what);
            } catch (const std::runtime_error&) {
                throw std::runtime_error(where +
                                         "expected FIRST-LAST, e.g. 0-29, or a list "
                                         "such as 1-3,5,7-20:2");
            }
        }
        parts.emplace_back(ParseFramePart(part, at, what), part);
    }
    std::sort(parts.begin(), parts.end(),
              [](const auto& a, const auto& b) { return a.first.first < b.first.first; });
    std::vector<FrameRun> runs;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0 && parts[i].first.first <= parts[i - 1].first.last) {
            throw std::runtime_error(where + "'" + parts[i].second + "' overlaps '" +
                                     parts[i - 1].second + "': list each frame once");
        }
        runs.push_back(parts[i].first);
    }
    return FrameList(std::move(runs));
}

}  // namespace loom

namespace loom {
namespace {

/// A whole number 0..INT_MAX from `text`, or nothing.
std::optional<long long> ParseCount(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v > std::numeric_limits<int>::max()) return std::nullopt;
    return v;
}

}  // namespace

Shard ParseShard(const std::string& text, const std::string& what) {
    const std::string where = what + " '" + text + "': ";
    const size_t slash = text.find('/');
    if (slash == std::string::npos) {
        throw std::runtime_error(where + "expected K/N, part K (from 0) of N, e.g. 0/4");
    }
    const std::optional<long long> k = ParseCount(text.substr(0, slash));
    const std::optional<long long> n = ParseCount(text.substr(slash + 1));
    if (!k || !n) {
        throw std::runtime_error(where + "K and N must be whole numbers, e.g. 0/4");
    }
    if (*n < 1) throw std::runtime_error(where + "N must be 1 or more");
    if (*k >= *n) {
        throw std::runtime_error(where + "K counts from 0 and must be below N (0.." +
                                 std::to_string(*n - 1) + ")");
    }
    return {static_cast<int>(*k), static_cast<int>(*n)};
}

std::optional<Shard> RequestedShard(const std::string& text, const std::string& what) {
    if (!text.empty()) return ParseShard(text, what);
    return ShardFromSlurm([](const char* name) { return std::getenv(name); });
}

std::optional<Shard> ShardFromSlurm(const EnvironmentLookup& lookup) {
    const char* id = lookup("SLURM_ARRAY_TASK_ID");
    const char* count = lookup("SLURM_ARRAY_TASK_COUNT");
    if (!id) return std::nullopt;
    // Without the count the task cannot know its part: rendering the whole range in every
    // task would repeat the job as many times as the array has tasks.
    if (!count) {
        throw std::runtime_error(std::string("SLURM_ARRAY_TASK_ID=") + id +
                                 " is set but SLURM_ARRAY_TASK_COUNT is not: give --shard K/N, "
                                 "or export SLURM_ARRAY_TASK_COUNT (and SLURM_ARRAY_TASK_MIN)");
    }
    const char* min = lookup("SLURM_ARRAY_TASK_MIN");
    const char* step = lookup("SLURM_ARRAY_TASK_STEP");
    auto number = [](const char* name, const char* value) {
        const std::optional<long long> v = ParseCount(value);
        if (!v) {
            throw std::runtime_error(std::string(name) + "='" + value +
                                     "' is not a whole number 0.." +
                                     std::to_string(std::numeric_limits<int>::max()));
        }
        return *v;
    };
    const long long taskId = number("SLURM_ARRAY_TASK_ID", id);
    const long long taskCount = number("SLURM_ARRAY_TASK_COUNT", count);
    const long long taskMin = min ? number("SLURM_ARRAY_TASK_MIN", min) : 0;
    const long long taskStep = step ? number("SLURM_ARRAY_TASK_STEP", step) : 1;
    const std::string which = "Slurm array task " + std::to_string(taskId) + " (min " +
                              std::to_string(taskMin) + ", step " + std::to_string(taskStep) +
                              ", count " + std::to_string(taskCount) + "): ";
    if (taskCount < 1) throw std::runtime_error(which + "SLURM_ARRAY_TASK_COUNT must be 1 or more");
    if (taskStep < 1) throw std::runtime_error(which + "SLURM_ARRAY_TASK_STEP must be 1 or more");
    if (taskId < taskMin || (taskId - taskMin) % taskStep != 0 ||
        (taskId - taskMin) / taskStep >= taskCount) {
        throw std::runtime_error(which +
                                 "the task is not one of an evenly spaced array; give --shard "
                                 "K/N, or submit the array as --array=0-(N-1)");
    }
    return Shard{static_cast<int>((taskId - taskMin) / taskStep), static_cast<int>(taskCount)};
}

std::optional<FrameRange> ShardOfRange(const FrameRange& range, const Shard& shard) {
    const long long total = static_cast<long long>(range.last) - range.first + 1;
    // Part k starts at floor(k * total / N): sizes differ by at most one, all add up.
    const long long begin = static_cast<long long>(shard.index) * total / shard.count;
    const long long end = (static_cast<long long>(shard.index) + 1) * total / shard.count;
    if (end <= begin) return std::nullopt;
    return FrameRange{static_cast<int>(range.first + begin),
                      static_cast<int>(range.first + end - 1)};
}

std::optional<FrameList> ShardOfList(const FrameList& list, const Shard& shard) {
    const long long total = list.Count();
    const long long begin = static_cast<long long>(shard.index) * total / shard.count;
    const long long end = (static_cast<long long>(shard.index) + 1) * total / shard.count;
    if (end <= begin) return std::nullopt;
    return list.Slice(begin, end);
}

std::string ShardFileName(const std::string& path, const Shard& shard) {
    const std::filesystem::path p(path);
    std::string k = std::to_string(shard.index);
    const size_t width = std::to_string(shard.count - 1).size();
    if (k.size() < width) k.insert(0, width - k.size(), '0');
    const std::string name = p.stem().string() + ".part" + k + "-of-" +
                             std::to_string(shard.count) + p.extension().string();
    return (p.parent_path() / name).string();
}

}  // namespace loom

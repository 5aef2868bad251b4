#include "app/core/jobs/frame_range.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>

#include "app/core/model/texture_setup.h"

namespace loom {
namespace {

int ParseFrame(const std::string& part, const std::string& text, const std::string& what) {
    const std::string range = " (frames are whole numbers 0.." + std::to_string(kMaxFrame) + ")";
    const std::string where = what + " '" + text + "': ";
    double d = 0.0;
    try {
        d = ParseNumber(part, what);
    } catch (const std::runtime_error&) {
        throw std::runtime_error(where + "'" + part + "' is not a frame number" + range);
    }
    if (d != std::floor(d)) {
        throw std::runtime_error(where + "'" + part + "' is not a whole frame number" + range);
    }
    // Compared as a double, before any conversion to int.
    if (!(d >= 0.0 && d <= static_cast<double>(kMaxFrame))) {
        throw std::runtime_error(where + "frame '" + part + "' is out of range" + range);
    }
    return static_cast<int>(d);
}

}  // namespace

FrameRange ParseFrameRange(const std::string& text, const std::string& what) {
    // The separator is the first '-' after the first character, so that a negative first
    // frame is read as one (and refused as out of range) rather than as a separator.
    const size_t dash = text.find('-', 1);
    if (dash == std::string::npos) {
        throw std::runtime_error(what + " '" + text + "': expected FIRST-LAST, e.g. 0-29");
    }
    FrameRange r;
    r.first = ParseFrame(text.substr(0, dash), text, what);
    r.last = ParseFrame(text.substr(dash + 1), text, what);
    if (r.last < r.first) {
        throw std::runtime_error(what + " '" + text + "': the last frame is before the first");
    }
    return r;
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

#include "app/core/render/render_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <limits>

namespace loom {
namespace {

/// A control group's limit from its file ("max" or a count of bytes), or 0 for none.
std::uint64_t CgroupLimit(const char* path) {
    std::ifstream in(path);
    std::uint64_t bytes = 0;
    if (!(in >> bytes)) return 0;
    // cgroup v1 writes a number near 2^63 for "no limit".
    return bytes >= (std::uint64_t{1} << 62) ? 0 : bytes;
}

}  // namespace

std::uint64_t RenderBytesPerPixel(const RenderOptions& opt) {
    const std::uint64_t outputs = std::uint64_t{opt.color} + opt.mono + opt.normal;
    return outputs * 16 + kWriteBytesPerPixel;
}

std::uint64_t RenderPeakBytes(const RenderOptions& opt) {
    // Width and height are 1..32768, so the product cannot overflow.
    return static_cast<std::uint64_t>(opt.width) * static_cast<std::uint64_t>(opt.height) *
           RenderBytesPerPixel(opt);
}

MemoryLimit UsableMemory() {
    MemoryLimit limit{std::numeric_limits<std::uint64_t>::max(), "no known limit"};
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0) {
        limit = {static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize),
                 "the machine's physical memory"};
    }
    for (const char* path :
         {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        const std::uint64_t cgroup = CgroupLimit(path);
        if (cgroup != 0 && cgroup < limit.bytes) limit = {cgroup, "the control group's limit"};
    }
    rlimit as{};
    if (getrlimit(RLIMIT_AS, &as) == 0 && as.rlim_cur != RLIM_INFINITY &&
        as.rlim_cur < limit.bytes) {
        limit = {static_cast<std::uint64_t>(as.rlim_cur), "the address-space limit (ulimit -v)"};
    }
    return limit;
}

std::string FormatBytes(std::uint64_t bytes) {
    static const char* const kUnits[] = {"bytes", "kB", "MB", "GB", "TB", "PB", "EB"};
    double v = static_cast<double>(bytes);
    int unit = 0;
    while (v >= 999.5 && unit < 6) {
        v /= 1000.0;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, unit == 0 ? "%.0f %s" : "%.3g %s", v, kUnits[unit]);
    return buf;
}

}  // namespace loom

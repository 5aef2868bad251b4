#pragma once
/// A hint that a large buffer about to be filled should be backed by huge pages: a
/// 12-megapixel picture's 16-bit pixels span 23,000 small pages, each a fault on first
/// touch (the faults cost more than filling them on a virtual machine), or 46 huge ones.
/// Header only, for the image library too (which is built without the host runtime).

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace loom {

/// Advises huge pages for the whole 2 MiB pages inside `data`..`data + bytes`, before the
/// buffer is first written. A hint only: nothing changes without huge pages.
inline void AdviseHugePages(void* data, std::size_t bytes) noexcept {
    constexpr std::uintptr_t kPage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (start + bytes) & ~(kPage - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

}  // namespace loom

#pragma once
/// How much memory a render takes at its peak, and how much the process may use, so that
/// a render too large is refused before it starts instead of failing part-way.

#include <cstdint>
#include <string>

#include "app/core/render/renderer.h"

namespace loom {

/// Bytes per pixel a render holds at its peak: a float RGBA image (16 bytes a pixel) per
/// output asked for, all kept until written, plus kWriteBytesPerPixel while one is written.
std::uint64_t RenderBytesPerPixel(const RenderOptions& opt);
/// Writing an image file takes a float copy of it (16 bytes a pixel) and the image
/// library's buffer in the file's format (up to 8 bytes a pixel).
inline constexpr std::uint64_t kWriteBytesPerPixel = 24;
/// RenderBytesPerPixel times the pixels of one frame.
std::uint64_t RenderPeakBytes(const RenderOptions& opt);

struct MemoryLimit {
    std::uint64_t bytes = 0;
    std::string what;  ///< e.g. "the machine's physical memory"
};

/// The most memory this process can expect to use: the physical memory (sysconf), lowered
/// by the control group's memory limit and the address-space limit (ulimit -v) when set.
MemoryLimit UsableMemory();

/// "43 GB", "164 kB": bytes in decimal units, three significant digits.
std::string FormatBytes(std::uint64_t bytes);

}  // namespace loom

#pragma once
/// A rendered image made whole numbers exactly as `loomhost render` writes its 8- and 16-bit
/// picture files: each channel clamped to 0..1 (NaN as 0), times 255 or 65535 in single
/// precision, rounded to nearest with halves away from zero. Front-ends that hand pixels to
/// another program (GEGL, frei0r) use these, so that their pictures equal the files.

#include <cstddef>
#include <cstdint>

#include "foundation/host/sdk/bitmap.h"

namespace loom {

/// One channel at `maxValue` 255 or 65535.
std::uint16_t QuantizeChannel(float v, float maxValue) noexcept;

/// `count` RGBA pixels (4 floats each) to 16-bit RGBA.
void QuantizePixels16(const float* rgba, std::size_t count, std::uint16_t* out) noexcept;

/// `count` RGBA pixels to 8-bit RGBA.
void QuantizePixels8(const float* rgba, std::size_t count, std::uint8_t* out) noexcept;

/// A 16-bit channel as an 8-bit file or frame holds it: the nearest 8-bit value,
/// (v + 128) / 257 (packed_pixels.h packs the same way).
inline std::uint8_t NarrowChannel(std::uint16_t v) noexcept {
    return static_cast<std::uint8_t>((static_cast<std::uint32_t>(v) + 128u) / 257u);
}

}  // namespace loom

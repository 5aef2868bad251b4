#pragma once
/// PNG files written by libpng directly, without the image library's start-up: the bytes
/// the image library writes for the same pixels (zlib level 6 with its default strategy,
/// libpng's row filters, an oFFs chunk of offset 0, 16-bit values narrowed to 8 bits as it
/// narrows them).

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/host/sdk/bitmap.h"

namespace loom {

/// Encodes `image` (16-bit RGBA pixels; alpha written when the image has alpha) as a PNG
/// of `bits` 8 or 16 into `bytes`. False with `error` naming `name`.
bool EncodePngDirectly(const std::string& name, const Image16& image, int bits,
                       std::vector<std::uint8_t>& bytes, std::string& error);

/// A 16-bit value narrowed to 8 bits as the image library narrows it.
inline std::uint8_t NarrowTo8(std::uint16_t v) {
    return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
}

}  // namespace loom

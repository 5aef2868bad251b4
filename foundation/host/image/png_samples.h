#pragma once
/// PNG files decoded straight into the caller's samples by the PNG library, for reads that
/// keep the file's own sample depth: one decode into the final buffer, where the image
/// library would decode into a buffer of its own and copy. The samples are the image
/// library's for the same file: palettes and grey of fewer than 8 bits expanded, a
/// transparency chunk as an alpha channel, 16-bit samples in the machine's byte order,
/// no gamma applied, alpha not multiplied in.

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/host/sdk/image_codec.h"

namespace loom {

/// Decodes the PNG file `name` holds (`data`, `size`) at its own depth (8 or 16 bits) into
/// `samples`. Refuses pictures of more than `maxPixels` pixels before allocating them, and
/// damaged or truncated data, with `error` naming `name`.
bool DecodePngSamples(const std::string& name, const std::uint8_t* data, std::size_t size,
                      long long maxPixels, ImageSamples& samples, std::string& error);

}  // namespace loom

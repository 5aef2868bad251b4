#pragma once
/// Image files as the filter host reads them: 16-bit RGBA pixels (Image16), values as
/// stored (alpha never multiplied into the colours). WriteImage (bitmap.h) writes them.

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/file_io.h"

namespace loom {

/// Reads PNG, JPEG, TIFF, EXR and whatever else OpenImageIO reads. 8-bit values are
/// scaled by 257, floating-point values clamped to 0..1 and scaled to 65535. One channel
/// is grey, two grey and alpha, three RGB, four RGBA (channels after the fourth are not
/// read). Only a regular file is read; pictures of more than kMaxImagePixels pixels, and
/// damaged or truncated files, are refused. False with `error` naming the file.
bool ReadImage16(const std::string& path, Image16& image, std::string& error);

/// ReadImage16 on a file's bytes in memory; the bytes' signature picks the format. Pictures
/// of more than `maxPixels` pixels are refused.
bool DecodeImage16(const std::string& name, const std::uint8_t* data, std::size_t size,
                   Image16& image, std::string& error, long long maxPixels = kMaxImagePixels);

/// WriteImage (bitmap.h) of 16-bit pixels, the same file; PNG files are encoded without
/// loading the image library (the same bytes it writes).
bool WriteImage16(const std::string& path, const Image16& image, int bits, std::string& error,
                  const SaveOptions& options = {});

}  // namespace loom

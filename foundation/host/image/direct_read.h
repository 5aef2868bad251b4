#pragma once
/// PNG and plain JPEG files read as 16-bit pixels without the image library: its start-up
/// (loading it and its dependent libraries) costs more than decoding a small picture, and a
/// stereo pair of photos needs nothing else from it. The pixels are the image library's for
/// the same files.

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/image_codec.h"

namespace loom {

enum class DirectRead {
    kDone,
    kFailed,     ///< `error` names the file and the cause
    kNotHandled  ///< another format, or a JPEG of CMYK colours: the image library's to read
};

/// Decodes PNG (at its own depth) and JPEG (CMYK excepted) bytes into `image` as the image
/// library's 16-bit read does: 8-bit samples widened by 257, grey copied to the three
/// colours, alpha 65535 where the file has none. The checks of image_checks.h run first;
/// pictures of more than `maxPixels` pixels are refused before they are allocated.
DirectRead DecodeImage16Directly(const std::string& name, const std::uint8_t* data,
                                 std::size_t size, long long maxPixels, Image16& image,
                                 std::string& error);

/// Samples of 8 or 16 bits and one to four channels (grey, grey and alpha, RGB, RGBA) as
/// 16-bit RGBA pixels.
void WidenSamples(const ImageSamples& samples, Image16& image);

}  // namespace loom

#pragma once
/// JPEG files decoded straight into 8-bit samples by libjpeg(-turbo), without the image
/// library and its start-up: the decoder's defaults (accurate integer transform, smooth
/// upsampling of subsampled colour), which give the image library's pixels for the same
/// file. Grey files give one channel, colour files RGB. The EXIF orientation is not applied
/// (as the image library does not); callers turn the picture.

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/host/sdk/image_codec.h"

namespace loom {

enum class JpegRead {
    kDone,
    kFailed,   ///< damaged, truncated or too large: `error` names the file and the cause
    kNotPlain  ///< CMYK or YCCK colours, which the image library converts its own way
};

/// Decodes the JPEG file `name` holds (`data`, `size`) into `samples` (8 bits, one or three
/// channels). Refuses pictures of more than `maxPixels` pixels before allocating them, and
/// damaged data (any data the decoder would make up or skip is an error, not a warning).
JpegRead DecodeJpegSamples(const std::string& name, const std::uint8_t* data, std::size_t size,
                           long long maxPixels, ImageSamples& samples, std::string& error);

}  // namespace loom

#include "app/core/filter/image16.h"

#include <algorithm>
#include <vector>

#include "foundation/host/image/direct_read.h"
#include "foundation/host/sdk/image_codec.h"
#include "foundation/host/sdk/pixel_limit.h"

namespace loom {

bool DecodeImage16(const std::string& name, const std::uint8_t* data, std::size_t size,
                   Image16& image, std::string& error, long long maxPixels) {
    maxPixels = std::min(maxPixels, MaxImagePixels());
    // PNG and JPEG photos are read without loading the image library (its start-up costs
    // more than decoding a photo); their pixels are the library's.
    switch (DecodeImage16Directly(name, data, size, maxPixels, image, error)) {
        case DirectRead::kDone:
            return true;
        case DirectRead::kFailed:
            return false;
        case DirectRead::kNotHandled:
            break;
    }
    std::string why;
    const ImageCodec* codec = LoadImageCodec(why);
    if (!codec) {
        error = name + ": cannot read image: " + why;
        return false;
    }
    return codec->decode16(name, data, size, maxPixels, image, error);
}

bool ReadImage16(const std::string& path, Image16& image, std::string& error) {
    std::vector<std::uint8_t> bytes;
    return ReadRegularFile(path, MaxImageFileBytes(), bytes, error) &&
           DecodeImage16(path, bytes.data(), bytes.size(), image, error);
}

}  // namespace loom

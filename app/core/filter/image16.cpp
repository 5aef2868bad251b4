#include "app/core/filter/image16.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "foundation/host/image/direct_read.h"
#include "foundation/host/image/png_write.h"
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

bool WriteImage16(const std::string& path, const Image16& image, int bits, std::string& error,
                  const SaveOptions& options) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext != ".png") return WriteImage(path, image, bits, error, options);
    std::vector<std::uint8_t> bytes;
    return CheckImageOutput(path, options, error) &&
           EncodePngDirectly(path, image, bits, bytes, error) &&
           SaveFile(path, bytes.data(), bytes.size(), options, error);
}

}  // namespace loom

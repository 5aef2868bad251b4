#include "app/filter/image16.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "foundation/host/image_codec.h"

namespace loom {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

bool ReadImage16(const std::string& path, Image16& image, std::string& error) {
    std::string why;
    const ImageCodec* codec = LoadImageCodec(why);
    if (!codec) {
        error = path + ": cannot read image: " + why;
        return false;
    }
    return codec->read16(path, image, error);
}

bool CanWriteImage16(const std::string& path, std::string& error) {
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    for (const char* known : {".png", ".tif", ".tiff", ".exr", ".jpg", ".jpeg"}) {
        if (ext == known) return true;
    }
    error = path + ": unsupported image format '" + ext + "' (use .png, .tif, .exr or .jpg)";
    return false;
}

bool WriteImage16(const std::string& path, const Image16& image, int bits, std::string& error) {
    if (!CanWriteImage16(path, error)) return false;
    std::string why;
    const ImageCodec* codec = LoadImageCodec(why);
    if (!codec) {
        error = path + ": cannot write: " + why;
        return false;
    }
    return codec->write16(path, image, bits, error);
}

}  // namespace loom

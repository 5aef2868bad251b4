// The image library: image files read and written through OpenImageIO. Loaded by the host
// runtime the first time an image is needed.
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "foundation/host/image_codec.h"

namespace loom {
namespace {

// The largest picture a host bitmap holds (2 GiB of 64-bit pixels).
constexpr long long kMaxPixels = 1LL << 28;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Writes pixels of `dataType` laid out as `layout` says to a temporary file beside `path`,
// then renames it over `path`: a failure leaves no partial file and any earlier file
// untouched. The temporary keeps the extension so that the writer picks the same format.
bool WriteReplacing(const std::string& path, const std::string& ext, OIIO::ImageSpec layout,
                    OIIO::TypeDesc dataType, const void* data, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path tmp = target.parent_path() /
                         (".~" + target.stem().string() + "." + std::to_string(::getpid()) + ext);
    auto out = OIIO::ImageOutput::create(tmp.string());
    if (!out) {
        error = path + ": cannot write " + ext + " files";
        return false;
    }
    layout.attribute("oiio:UnassociatedAlpha", 1);
    std::error_code ec;
    if (!out->open(tmp.string(), layout)) {
        error = path + ": cannot write: " + out->geterror();
        fs::remove(tmp, ec);
        return false;
    }
    const bool written = out->write_image(dataType, data);
    const bool closed = out->close();
    if (!written || !closed) {
        error = path + ": write failed: " + out->geterror();
        fs::remove(tmp, ec);
        return false;
    }
    fs::rename(tmp, target, ec);
    if (ec) {
        error = path + ": cannot write: " + ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

bool WriteFloat(const std::string& path, const FloatImage& image, int bits, std::string& error) {
    namespace fs = std::filesystem;
    std::string ext = Lower(fs::path(path).extension().string());
    bool isFloat = ext == ".exr";
    if (!isFloat && ext != ".png" && ext != ".tif" && ext != ".tiff" && ext != ".jpg" &&
        ext != ".jpeg") {
        error = path + ": unsupported image format '" + ext + "' (use .png, .tif, .exr or .jpg)";
        return false;
    }
    if (!isFloat && bits != 8 && bits != 16) {
        error = path + ": bits must be 8 or 16";
        return false;
    }
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) {
        error = path + ": empty image";
        return false;
    }
    if (ext == ".jpg" || ext == ".jpeg") bits = 8;
    OIIO::TypeDesc fmt = isFloat ? OIIO::TypeDesc::HALF
                                 : (bits == 16 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8);
    if (isFloat && bits == 32) fmt = OIIO::TypeDesc::FLOAT;
    int channels = (ext == ".jpg" || ext == ".jpeg") ? 3 : 4;
    std::vector<float> data;
    data.reserve(static_cast<size_t>(image.width) * image.height * channels);
    for (size_t p = 0; p < image.rgba.size(); p += 4) {
        for (int c = 0; c < channels; ++c) {
            float v = image.rgba[p + static_cast<size_t>(c)];
            if (!isFloat) v = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
            data.push_back(v);
        }
    }
    OIIO::ImageSpec layout(image.width, image.height, channels, fmt);
    if (channels == 4) layout.alpha_channel = 3;
    return WriteReplacing(path, ext, layout, OIIO::TypeDesc::FLOAT, data.data(), error);
}

bool ReadFloat(const std::string& path, FloatImage& image, int& bits, std::string& error) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) {
        error = path + ": cannot read image: " + OIIO::geterror();
        return false;
    }
    const OIIO::ImageSpec& layout = in->spec();
    if (layout.width <= 0 || layout.height <= 0 || layout.nchannels <= 0) {
        error = path + ": empty image";
        return false;
    }
    bits = layout.format.basetype == OIIO::TypeDesc::UINT8    ? 8
           : layout.format.basetype == OIIO::TypeDesc::UINT16 ? 16
                                                              : 32;
    int nc = layout.nchannels;
    std::vector<float> data(static_cast<size_t>(layout.width) * layout.height * nc);
    if (!in->read_image(0, 0, 0, nc, OIIO::TypeDesc::FLOAT, data.data())) {
        error = path + ": cannot read image: " + in->geterror();
        return false;
    }
    image.width = layout.width;
    image.height = layout.height;
    image.rgba.assign(static_cast<size_t>(layout.width) * layout.height * 4, 1.0f);
    for (size_t p = 0, q = 0; p < image.rgba.size(); p += 4, q += static_cast<size_t>(nc)) {
        if (nc >= 3) {
            for (int c = 0; c < 3; ++c) image.rgba[p + c] = data[q + static_cast<size_t>(c)];
        } else {
            image.rgba[p] = image.rgba[p + 1] = image.rgba[p + 2] = data[q];
        }
        if (nc == 4 || nc == 2) image.rgba[p + 3] = data[q + static_cast<size_t>(nc - 1)];
    }
    return true;
}

bool Read16(const std::string& path, Image16& image, std::string& error) {
    OIIO::ImageSpec config;
    // PNG and TIFF readers would otherwise multiply the colours by alpha.
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) {
        std::string why = OIIO::geterror();
        error = path + ": cannot read image" + (why.empty() ? "" : ": " + why);
        return false;
    }
    const OIIO::ImageSpec& layout = in->spec();
    const int nc = layout.nchannels;
    if (layout.width <= 0 || layout.height <= 0 || nc <= 0) {
        error = path + ": empty image";
        return false;
    }
    if (static_cast<long long>(layout.width) * layout.height > kMaxPixels) {
        error = path + ": image too large (" + std::to_string(layout.width) + "x" +
                std::to_string(layout.height) + ")";
        return false;
    }
    std::vector<WORD> data(static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height) *
                           static_cast<size_t>(nc));
    if (!in->read_image(0, 0, 0, nc, OIIO::TypeDesc::UINT16, data.data())) {
        error = path + ": cannot read image: " + in->geterror();
        return false;
    }
    int alpha = layout.alpha_channel;
    if (alpha < 0 && (nc == 2 || nc == 4)) alpha = nc - 1;
    if (alpha >= nc || (nc >= 3 && alpha >= 0 && alpha < 3)) alpha = -1;
    image.width = layout.width;
    image.height = layout.height;
    image.bits = layout.format.basetype == OIIO::TypeDesc::UINT8 ? 8 : 16;
    image.hasAlpha = alpha >= 0;
    image.pixels.resize(static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height));
    const WORD* p = data.data();
    for (BMM_Color_64& px : image.pixels) {
        if (nc >= 3) {
            px.r = p[0];
            px.g = p[1];
            px.b = p[2];
        } else {
            px.r = px.g = px.b = p[0];
        }
        px.a = alpha >= 0 ? p[alpha] : 65535;
        p += nc;
    }
    return true;
}

bool Write16(const std::string& path, const Image16& image, int bits, std::string& error) {
    namespace fs = std::filesystem;
    const std::string ext = Lower(fs::path(path).extension().string());
    const bool exr = ext == ".exr";
    const bool jpeg = ext == ".jpg" || ext == ".jpeg";
    if (bits != 8 && bits != 16) {
        error = path + ": bits must be 8 or 16";
        return false;
    }
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * image.height) {
        error = path + ": empty image";
        return false;
    }
    const int channels = image.hasAlpha && !jpeg ? 4 : 3;
    const OIIO::TypeDesc format = exr          ? OIIO::TypeDesc::FLOAT
                                  : jpeg       ? OIIO::TypeDesc::UINT8
                                  : bits == 16 ? OIIO::TypeDesc::UINT16
                                               : OIIO::TypeDesc::UINT8;
    std::vector<WORD> data;
    data.reserve(image.pixels.size() * static_cast<size_t>(channels));
    for (const BMM_Color_64& px : image.pixels) {
        data.push_back(px.r);
        data.push_back(px.g);
        data.push_back(px.b);
        if (channels == 4) data.push_back(px.a);
    }
    OIIO::ImageSpec layout(image.width, image.height, channels, format);
    layout.alpha_channel = channels == 4 ? 3 : -1;
    return WriteReplacing(path, ext, layout, OIIO::TypeDesc::UINT16, data.data(), error);
}

}  // namespace
}  // namespace loom

const loom::ImageCodec* LoomImageCodec() {
    static const loom::ImageCodec codec{loom::ReadFloat, loom::WriteFloat, loom::Read16,
                                        loom::Write16};
    return &codec;
}

#include "app/filter/image16.h"

#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace loom {
namespace {

// The largest picture a host bitmap holds (2 GiB of 64-bit pixels).
constexpr long long kMaxPixels = 1LL << 28;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

bool ReadImage16(const std::string& path, Image16& image, std::string& error) {
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

bool CanWriteImage16(const std::string& path, std::string& error) {
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    for (const char* known : {".png", ".tif", ".tiff", ".exr", ".jpg", ".jpeg"}) {
        if (ext == known) return true;
    }
    error = path + ": unsupported image format '" + ext + "' (use .png, .tif, .exr or .jpg)";
    return false;
}

bool WriteImage16(const std::string& path, const Image16& image, int bits, std::string& error) {
    namespace fs = std::filesystem;
    if (!CanWriteImage16(path, error)) return false;
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
    const fs::path target(path);
    // The temporary keeps the extension so that the writer picks the same format.
    const fs::path tmp = target.parent_path() /
                         (".~" + target.stem().string() + "." + std::to_string(::getpid()) + ext);
    auto out = OIIO::ImageOutput::create(tmp.string());
    if (!out) {
        error = path + ": cannot write " + ext + " files";
        return false;
    }
    OIIO::ImageSpec layout(image.width, image.height, channels, format);
    layout.alpha_channel = channels == 4 ? 3 : -1;
    layout.attribute("oiio:UnassociatedAlpha", 1);
    std::error_code ec;
    if (!out->open(tmp.string(), layout)) {
        error = path + ": cannot write: " + out->geterror();
        fs::remove(tmp, ec);
        return false;
    }
    const bool written = out->write_image(OIIO::TypeDesc::UINT16, data.data());
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

}  // namespace loom

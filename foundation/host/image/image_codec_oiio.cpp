// The image library: images encoded and decoded in memory through OpenImageIO. Loaded by
// the host runtime the first time an image is needed.
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>

#include "foundation/host/base/text.h"
#include "foundation/host/image/image_checks.h"
#include "foundation/host/image/png_samples.h"
#include "foundation/host/sdk/image_codec.h"

namespace loom {
namespace {

// JPEG holds at most this many pixels a side; its library ends the process on larger ones.
constexpr int kMaxJpegSide = 65500;

/// The library's first line: it reports every damaged strip or line on a line of its own.
std::string FirstLine(const std::string& text) {
    const std::size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

std::string Extension(const std::string& name) {
    return Lower(std::filesystem::path(name).extension().string());
}

/// The extensions of the formats the project reads by their signature; a file of another
/// extension may be of any format the library knows.
bool IsUsualExtension(const std::string& ext) {
    return ext == ".png" || ext == ".tif" || ext == ".tiff" || ext == ".exr" || ext == ".jpg" ||
           ext == ".jpeg" || ext == ".bmp";
}

/// "name: image too large (WxH, at most N pixels)".
std::string TooLarge(const std::string& name, long long w, long long h, long long maxPixels) {
    return name + ": image too large (" + std::to_string(w) + "x" + std::to_string(h) +
           ", at most " + std::to_string(maxPixels) + " pixels)";
}

/// The library's memory reader serves whatever offset a format reader asks for, and a BMP
/// header can place its pixels before the start of the file; this one answers a read
/// outside the bytes with nothing, which the format reader then reports as damaged data.
class BoundedMemReader final : public OIIO::Filesystem::IOMemReader {
  public:
    BoundedMemReader(const std::uint8_t* data, std::size_t size) : IOMemReader(data, size) {}

    std::size_t read(void* buf, std::size_t size) override {
        const std::size_t n = pread(buf, size, tell());
        seek(tell() + static_cast<std::int64_t>(n));
        return n;
    }
    std::size_t pread(void* buf, std::size_t size, std::int64_t offset) override {
        const std::size_t total = buffer().size();
        if (offset < 0 || static_cast<std::uint64_t>(offset) >= total) return 0;
        const std::size_t n = std::min(size, total - static_cast<std::size_t>(offset));
        std::memcpy(buf, buffer().data() + offset, n);
        return n;
    }
};

/// An opened image in memory: the reader, and the proxy it reads through.
class MemoryInput {
  public:
    /// Opens `name`'s bytes and checks the declared size against `maxPixels`. The bytes'
    /// signature picks the reader; only a file of another format than the usual ones (by
    /// its extension) is offered to every reader the library has.
    bool Open(const std::string& name, const std::uint8_t* data, std::size_t size,
              long long maxPixels, std::string& error) {
        const ImageFormat format = SniffImageFormat(data, size);
        if (!CheckImageHeader(name, format, data, size, maxPixels, error)) return false;
        if (format == ImageFormat::kJpeg) {
            if (!StripJpegMetadata(name, data, size, stripped_, error)) return false;
            data = stripped_.data();
            size = stripped_.size();
        }
        const bool usual = IsUsualExtension(Extension(name));
        if (usual && format == ImageFormat::kUnknown) {
            error = name + ": cannot read image: not a PNG, TIFF, OpenEXR, JPEG or BMP file";
            return false;
        }
        proxy_ = std::make_unique<BoundedMemReader>(data, size);
        OIIO::ImageSpec config;
        // PNG and TIFF readers would otherwise multiply the colours by alpha.
        config.attribute("oiio:UnassociatedAlpha", 1);
        OIIO::Filesystem::IOProxy* proxy = proxy_.get();
        config.attribute("oiio:ioproxy", OIIO::TypeDesc::PTR, &proxy);
        if (!usual) {
            // Another format: every reader the library has is tried, as it does for a file.
            in_ = OIIO::ImageInput::open(name, &config);
            if (!in_) {
                const std::string why = FirstLine(OIIO::geterror());
                error = name + ": cannot read image" + (why.empty() ? "" : ": " + why);
                return false;
            }
        } else {
            auto in =
                OIIO::ImageInput::create(LibraryFormatName(format), false, &config, proxy_.get());
            OIIO::ImageSpec opened;
            if (in && in->open(name, opened, config)) in_ = std::move(in);
            const std::string failed = OIIO::geterror();  // never left for a later read
            if (!in_) {
                const std::string why = FirstLine(in ? in->geterror() : failed);
                error = name + ": cannot read image" + (why.empty() ? "" : ": " + why);
                return false;
            }
        }
        const OIIO::ImageSpec& layout = Layout();
        if (layout.width <= 0 || layout.height <= 0 || layout.nchannels <= 0) {
            error = name + ": empty image";
            return false;
        }
        // Checked before any pixel is allocated: a header may claim anything.
        if (static_cast<long long>(layout.width) * layout.height > maxPixels) {
            error = TooLarge(name, layout.width, layout.height, maxPixels);
            return false;
        }
        return true;
    }

    const OIIO::ImageSpec& Layout() const { return in_->spec(); }

    /// Lines read at once by ReadBands: about a mebibyte of samples, whole tiles or
    /// strips where the file has them.
    int BandLines(int channels) const {
        const OIIO::ImageSpec& layout = Layout();
        const long long line = static_cast<long long>(layout.width) * channels;
        long long lines = std::clamp((1LL << 20) / std::max(1LL, line), 1LL,
                                     static_cast<long long>(layout.height));
        if (layout.tile_height > 0) {
            lines = std::max<long long>(layout.tile_height,
                                        lines / layout.tile_height * layout.tile_height);
        }
        return static_cast<int>(std::min<long long>(lines, layout.height));
    }

    /// Reads the first `channels` channels of every pixel, a band of lines at a time, and
    /// hands each band to `take(firstLine, lines, samples)`: the picture's storage grows as
    /// its data arrives instead of being committed when the header is read. Refuses data
    /// the library had to make up (a truncated JPEG is padded by its library and only
    /// reported).
    template <typename Sample, typename Take>
    bool ReadBands(const std::string& name, int channels, OIIO::TypeDesc type, Take take,
                   std::string& error) {
        const OIIO::ImageSpec& layout = Layout();
        const int band = BandLines(channels);
        std::vector<Sample> samples;
        for (int y = 0; y < layout.height; y += band) {
            const int lines = std::min(band, layout.height - y);
            samples.resize(static_cast<size_t>(lines) * static_cast<size_t>(layout.width) *
                           static_cast<size_t>(channels));
            const bool read = in_->read_scanlines(0, 0, layout.y + y, layout.y + y + lines, 0, 0,
                                                  channels, type, samples.data());
            if (!read || in_->has_error()) {
                std::string why = FirstLine(in_->geterror());
                if (why.empty()) why = "damaged or truncated data";
                error = name + ": cannot read image: " + why;
                return false;
            }
            take(lines, samples.data());
        }
        return true;
    }

    /// Reads the first `channels` channels of every pixel as `type` straight into `out`,
    /// which holds the whole picture; `out`'s pages are touched only as the data arrives,
    /// band by band. Refuses made-up data as ReadBands does.
    bool ReadInto(const std::string& name, int channels, OIIO::TypeDesc type, void* out,
                  std::string& error) {
        const OIIO::ImageSpec& layout = Layout();
        const int band = BandLines(channels);
        const size_t line =
            static_cast<size_t>(layout.width) * static_cast<size_t>(channels) * type.size();
        auto* dst = static_cast<std::uint8_t*>(out);
        for (int y = 0; y < layout.height; y += band) {
            const int lines = std::min(band, layout.height - y);
            const bool read =
                in_->read_scanlines(0, 0, layout.y + y, layout.y + y + lines, 0, 0, channels, type,
                                    dst + static_cast<size_t>(y) * line);
            if (!read || in_->has_error()) {
                std::string why = FirstLine(in_->geterror());
                if (why.empty()) why = "damaged or truncated data";
                error = name + ": cannot read image: " + why;
                return false;
            }
        }
        return true;
    }

  private:
    std::vector<std::uint8_t> stripped_;  // JPEG bytes without their metadata
    std::unique_ptr<BoundedMemReader> proxy_;
    std::unique_ptr<OIIO::ImageInput> in_;  // reads through proxy_: destroyed first
};

/// Encodes pixels of `dataType` laid out as `layout` says into `bytes`, in the format of
/// `name`'s extension.
bool Encode(const std::string& name, const std::string& ext, OIIO::ImageSpec layout,
            OIIO::TypeDesc dataType, const void* data, std::vector<std::uint8_t>& bytes,
            std::string& error) {
    if ((ext == ".jpg" || ext == ".jpeg") &&
        (layout.width > kMaxJpegSide || layout.height > kMaxJpegSide)) {
        error = name + ": JPEG holds at most " + std::to_string(kMaxJpegSide) +
                " pixels a side (use .png, .tif or .exr)";
        return false;
    }
    auto out = OIIO::ImageOutput::create(name);
    if (!out) {
        error = name + ": cannot write " + ext + " files";
        return false;
    }
    bytes.clear();
    OIIO::Filesystem::IOVecOutput proxy(bytes);
    OIIO::Filesystem::IOProxy* p = &proxy;
    layout.attribute("oiio:ioproxy", OIIO::TypeDesc::PTR, &p);
    layout.attribute("oiio:UnassociatedAlpha", 1);
    // The same pixels make the same bytes at any time: without this the library stamps the
    // writing time into TIFF and EXR headers.
    layout.attribute("DateTime", "");
    const bool ok = out->open(name, layout) && out->write_image(dataType, data) && out->close();
    if (!ok || bytes.empty()) {
        std::string why = FirstLine(out->geterror());
        error = name + ": cannot encode the image" + (why.empty() ? "" : ": " + why);
        return false;
    }
    return true;
}

bool EncodeFloat(const std::string& name, const FloatImage& image, int bits,
                 std::vector<std::uint8_t>& bytes, std::string& error) {
    const std::string ext = Extension(name);
    bool isFloat = ext == ".exr";
    if (!isFloat && ext != ".png" && ext != ".tif" && ext != ".tiff" && ext != ".jpg" &&
        ext != ".jpeg") {
        error = name + ": unsupported image format '" + ext + "' (use .png, .tif, .exr or .jpg)";
        return false;
    }
    if (!isFloat && bits != 8 && bits != 16) {
        error = name + ": bits must be 8 or 16";
        return false;
    }
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) {
        error = name + ": empty image";
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
    return Encode(name, ext, layout, OIIO::TypeDesc::FLOAT, data.data(), bytes, error);
}

/// Reads a whole file the library wrote into `bytes`.
bool ReadBack(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<std::uint64_t>(size) > kMaxImageFileBytes) return false;
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

/// A temporary file of the system's, made with a name of its own and removed when it goes.
class TemporaryFile {
  public:
    explicit TemporaryFile(const std::string& suffix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "loomwork-XXXXXX").string() + suffix;
        const int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
        if (fd < 0) return;
        close(fd);
        path_ = pattern;
    }
    ~TemporaryFile() {
        if (!path_.empty()) std::remove(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

/// A file for a renderer: integer or float pixels, colour-space tags (the conversion of
/// float colour to linear by the library's colour handling), or a tiled, mip-mapped
/// texture made by the library's texture maker.
bool EncodeFile(const std::string& name, const FloatImage& image, const ImageFileOptions& opt,
                std::vector<std::uint8_t>& bytes, std::string& error) {
    const std::string ext = Extension(name);
    const bool jpeg = ext == ".jpg" || ext == ".jpeg";
    if (opt.bits != 8 && opt.bits != 16 && opt.bits != 32) {
        error = name + ": bits must be 8, 16 or 32";
        return false;
    }
    if (opt.texture && ext != ".tx") {
        error = name + ": a texture file's name ends in .tx";
        return false;
    }
    if (!opt.texture && opt.bits == 32 && ext != ".exr") {
        error = name + ": 32-bit float pictures are written as .exr (or as .tx textures)";
        return false;
    }
    if (!opt.texture && !opt.tags) return EncodeFloat(name, image, opt.bits, bytes, error);
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) {
        error = name + ": empty image";
        return false;
    }
    const bool isFloat = opt.texture ? opt.bits == 32 : ext == ".exr";
    const int bits = jpeg ? 8 : opt.bits;
    const OIIO::TypeDesc format =
        isFloat      ? (opt.bits == 32 ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::HALF)
        : bits == 16 ? OIIO::TypeDesc::UINT16
                     : OIIO::TypeDesc::UINT8;
    const int channels = jpeg ? 3 : 4;
    std::vector<float> data;
    data.reserve(static_cast<size_t>(image.width) * image.height * channels);
    for (size_t p = 0; p < image.rgba.size(); p += 4) {
        for (int c = 0; c < channels; ++c) {
            float v = image.rgba[p + static_cast<size_t>(c)];
            if (!isFloat) v = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
            data.push_back(v);
        }
    }
    OIIO::ImageSpec floatLayout(image.width, image.height, channels, OIIO::TypeDesc::FLOAT);
    if (channels == 4) floatLayout.alpha_channel = 3;
    OIIO::ImageBuf buf(floatLayout, data.data());
    // The texture's colours are display values, as an 8-bit picture holds them: a float
    // file holds them in linear light, converted by the library (alpha is left alone).
    std::string space = "sRGB";
    if (opt.data) {
        space = "Raw";
    } else if (isFloat) {
        OIIO::ImageBuf linear;
        if (!OIIO::ImageBufAlgo::colorconvert(linear, buf, "sRGB", "linear", false)) {
            error = name + ": cannot convert to linear light: " + FirstLine(linear.geterror());
            return false;
        }
        buf = std::move(linear);
        space = "linear";
    }
    if (!opt.texture) {
        OIIO::ImageSpec layout(image.width, image.height, channels, format);
        if (channels == 4) layout.alpha_channel = 3;
        layout.attribute("oiio:ColorSpace", space);
        // OpenEXR keeps no such tag of the library's: a string of its own says it.
        if (ext == ".exr") layout.attribute("colorspace", space);
        std::vector<float> pixels(data.size());
        if (!buf.get_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, pixels.data())) {
            error = name + ": cannot encode the image: " + FirstLine(buf.geterror());
            return false;
        }
        return Encode(name, ext, layout, OIIO::TypeDesc::FLOAT, pixels.data(), bytes, error);
    }
    buf.specmod().attribute("oiio:ColorSpace", space);
    OIIO::ImageSpec config;
    config.tile_width = 64;
    config.tile_height = 64;
    config.tile_depth = 1;
    config.set_format(format);
    config.attribute("compression", "zip");
    config.attribute("oiio:ColorSpace", space);
    config.attribute("wrapmodes", opt.periodic ? "periodic,periodic" : "black,black");
    const TemporaryFile scratch(".tx");
    if (scratch.Path().empty()) {
        error = name + ": cannot make a temporary file for the texture maker";
        return false;
    }
    std::stringstream log;
    if (!OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture, buf, scratch.Path(),
                                          config, &log)) {
        const std::string why = FirstLine(OIIO::geterror());
        error = name + ": the texture maker failed" + (why.empty() ? "" : ": " + why);
        return false;
    }
    if (!ReadBack(scratch.Path(), bytes)) {
        error = name + ": cannot read back the texture maker's file";
        return false;
    }
    return true;
}

bool DecodeFloat(const std::string& name, const std::uint8_t* bytes, std::size_t size,
                 long long maxPixels, FloatImage& image, int& bits, std::string& error) {
    MemoryInput in;
    if (!in.Open(name, bytes, size, maxPixels, error)) return false;
    const OIIO::ImageSpec& layout = in.Layout();
    bits = layout.format.basetype == OIIO::TypeDesc::UINT8    ? 8
           : layout.format.basetype == OIIO::TypeDesc::UINT16 ? 16
                                                              : 32;
    // Colour and alpha are among the first four channels; further ones are not read.
    const int nc = layout.nchannels;
    const int read = std::min(nc, 4);
    const size_t width = static_cast<size_t>(layout.width);
    std::vector<float> rgba;
    const bool ok = in.ReadBands<float>(
        name, read, OIIO::TypeDesc::FLOAT,
        [&](int lines, const float* data) {
            const size_t start = rgba.size();
            rgba.resize(start + static_cast<size_t>(lines) * width * 4, 1.0f);
            for (size_t p = start, q = 0; p < rgba.size(); p += 4, q += static_cast<size_t>(read)) {
                if (nc >= 3) {
                    for (int c = 0; c < 3; ++c) rgba[p + c] = data[q + static_cast<size_t>(c)];
                } else {
                    rgba[p] = rgba[p + 1] = rgba[p + 2] = data[q];
                }
                if (nc == 4 || nc == 2) rgba[p + 3] = data[q + static_cast<size_t>(nc - 1)];
            }
        },
        error);
    if (!ok) return false;
    image.width = layout.width;
    image.height = layout.height;
    image.rgba = std::move(rgba);
    return true;
}

/// PNG samples (DecodePngSamples) as 16-bit RGBA pixels, as Decode16 gives them.
void WidenPngSamples(const ImageSamples& samples, Image16& image) {
    const int nc = samples.channels;
    const std::size_t count = static_cast<std::size_t>(samples.width) * samples.height;
    std::vector<BMM_Color_64> pixels(count);
    const std::uint8_t* p = samples.data.get();
    for (std::size_t i = 0; i < count; ++i) {
        WORD v[4] = {0, 0, 0, 65535};
        for (int c = 0; c < nc; ++c) {
            if (samples.bits == 8) {
                v[c] = static_cast<WORD>(*p++ * 257);
            } else {
                std::memcpy(&v[c], p, 2);
                p += 2;
            }
        }
        BMM_Color_64& px = pixels[i];
        if (nc >= 3) {
            px = {v[0], v[1], v[2], samples.hasAlpha ? v[3] : WORD{65535}};
        } else {
            px = {v[0], v[0], v[0], samples.hasAlpha ? v[1] : WORD{65535}};
        }
    }
    image.width = samples.width;
    image.height = samples.height;
    image.bits = samples.bits == 8 ? 8 : 16;
    image.hasAlpha = samples.hasAlpha;
    image.pixels = std::move(pixels);
}

bool Decode16(const std::string& name, const std::uint8_t* bytes, std::size_t size,
              long long maxPixels, Image16& image, std::string& error) {
    if (SniffImageFormat(bytes, size) == ImageFormat::kPng) {
        // The PNG library decodes straight into samples at the file's depth, which are
        // widened once: the image library would decode into a buffer of its own and hand
        // 16-bit bands over to be copied again (a 12-megapixel picture: 0.3 s, not 1.7).
        ImageSamples samples;
        if (!CheckImageHeader(name, ImageFormat::kPng, bytes, size, maxPixels, error) ||
            !DecodePngSamples(name, bytes, size, maxPixels, samples, error)) {
            return false;
        }
        WidenPngSamples(samples, image);
        return true;
    }
    MemoryInput in;
    if (!in.Open(name, bytes, size, maxPixels, error)) return false;
    const OIIO::ImageSpec& layout = in.Layout();
    const int nc = layout.nchannels;
    const int read = std::min(nc, 4);
    // An alpha channel beyond the fourth is not read.
    int alpha = layout.alpha_channel;
    if (alpha < 0 && (nc == 2 || nc == 4)) alpha = nc - 1;
    if (alpha >= read || (nc >= 3 && alpha >= 0 && alpha < 3)) alpha = -1;
    const size_t width = static_cast<size_t>(layout.width);
    std::vector<BMM_Color_64> pixels;
    const bool ok = in.ReadBands<WORD>(
        name, read, OIIO::TypeDesc::UINT16,
        [&](int lines, const WORD* p) {
            const size_t start = pixels.size();
            pixels.resize(start + static_cast<size_t>(lines) * width);
            for (size_t i = start; i < pixels.size(); ++i, p += read) {
                BMM_Color_64& px = pixels[i];
                if (nc >= 3) {
                    px.r = p[0];
                    px.g = p[1];
                    px.b = p[2];
                } else {
                    px.r = px.g = px.b = p[0];
                }
                px.a = alpha >= 0 ? p[alpha] : 65535;
            }
        },
        error);
    if (!ok) return false;
    image.width = layout.width;
    image.height = layout.height;
    image.bits = layout.format.basetype == OIIO::TypeDesc::UINT8 ? 8 : 16;
    image.hasAlpha = alpha >= 0;
    image.pixels = std::move(pixels);
    return true;
}

bool Encode16(const std::string& name, const Image16& image, int bits,
              std::vector<std::uint8_t>& bytes, std::string& error) {
    const std::string ext = Extension(name);
    const bool exr = ext == ".exr";
    const bool jpeg = ext == ".jpg" || ext == ".jpeg";
    if (bits != 8 && bits != 16) {
        error = name + ": bits must be 8 or 16";
        return false;
    }
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * image.height) {
        error = name + ": empty image";
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
    return Encode(name, ext, layout, OIIO::TypeDesc::UINT16, data.data(), bytes, error);
}

bool DecodeSamples(const std::string& name, const std::uint8_t* bytes, std::size_t size,
                   long long maxPixels, int bits, ImageSamples& samples, std::string& error) {
    const ImageFormat format = SniffImageFormat(bytes, size);
    // The header's bit depth (byte 24); samples of fewer than 8 bits are read as 8.
    const int pngBits = size > 24 && bytes[24] == 16 ? 16 : 8;
    if (format == ImageFormat::kPng && (bits == 0 || bits == pngBits)) {
        // At the file's own depth the PNG library decodes straight into the samples; another
        // depth is converted by the image library, as every other read.
        return CheckImageHeader(name, format, bytes, size, maxPixels, error) &&
               DecodePngSamples(name, bytes, size, maxPixels, samples, error);
    }
    MemoryInput in;
    if (!in.Open(name, bytes, size, maxPixels, error)) return false;
    const OIIO::ImageSpec& layout = in.Layout();
    const int fileBits = layout.format.basetype == OIIO::TypeDesc::UINT8    ? 8
                         : layout.format.basetype == OIIO::TypeDesc::UINT16 ? 16
                                                                            : 32;
    if (bits == 0) bits = fileBits;
    const OIIO::TypeDesc type = bits == 8    ? OIIO::TypeDesc::UINT8
                                : bits == 16 ? OIIO::TypeDesc::UINT16
                                             : OIIO::TypeDesc::FLOAT;
    const int channels = std::min(layout.nchannels, 4);
    // The size was checked against maxPixels when the file was opened; the buffer is not
    // initialised, so that only the pages the data fills are ever committed.
    const size_t total = static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height) *
                         static_cast<size_t>(channels) * type.size();
    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[total]);
    if (!data) {
        error = name + ": out of memory for " + std::to_string(layout.width) + "x" +
                std::to_string(layout.height) + " pixels";
        return false;
    }
    if (!in.ReadInto(name, channels, type, data.get(), error)) return false;
    samples.width = layout.width;
    samples.height = layout.height;
    samples.channels = channels;
    samples.fileBits = fileBits;
    samples.bits = bits;
    samples.hasAlpha = channels == 2 || channels == 4;
    samples.data = std::move(data);
    samples.bytes = total;
    return true;
}

}  // namespace
}  // namespace loom

const loom::ImageCodec* LoomImageCodec() {
    static const loom::ImageCodec codec{loom::DecodeFloat, loom::EncodeFloat, loom::Decode16,
                                        loom::Encode16,    loom::EncodeFile,  loom::DecodeSamples};
    return &codec;
}

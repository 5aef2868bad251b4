#include "foundation/host/image/png_write.h"

#include <png.h>
#include <zlib.h>

#include <cstring>

namespace loom {
namespace {

/// What the PNG library's callbacks reach. Plain data and a pointer only: the library
/// leaves a write by longjmp on an error, which runs no destructors.
struct PngSink {
    std::vector<std::uint8_t>* bytes;
    std::uint8_t* row;  // owned by the caller of WriteWithLibrary
    char message[256];
    bool full;
};

void WriteBytes(png_structp png, png_bytep data, png_size_t count) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    try {
        sink->bytes->insert(sink->bytes->end(), data, data + count);
    } catch (...) {
        sink->full = true;
        png_error(png, "out of memory");
    }
}

void Flush(png_structp) {}

void OnError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
    std::strncpy(sink->message, message, sizeof sink->message - 1);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

/// The library's part of a write. Holds no object with a destructor, as the library may
/// leave it by longjmp.
bool WriteWithLibrary(PngSink& sink, const Image16& image, int bits) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
    if (!png) {
        std::strcpy(sink.message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    if (!info) png_error(png, "out of memory");
    png_set_write_fn(png, &sink, WriteBytes, Flush);
    // The image library's compression: level 6 with zlib's default strategy (libpng's own
    // default for filtered rows is Z_FILTERED).
    png_set_compression_level(png, 6);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    const int channels = image.hasAlpha ? 4 : 3;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), bits,
                 image.hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_oFFs(png, info, 0, 0, PNG_OFFSET_PIXEL);
    png_write_info(png, info);
    const std::size_t width = static_cast<std::size_t>(image.width);
    for (int y = 0; y < image.height; ++y) {
        const BMM_Color_64* in = &image.pixels[static_cast<std::size_t>(y) * width];
        std::uint8_t* out = sink.row;
        for (std::size_t x = 0; x < width; ++x) {
            const WORD v[4] = {in[x].r, in[x].g, in[x].b, in[x].a};
            for (int c = 0; c < channels; ++c) {
                if (bits == 8) {
                    *out++ = NarrowTo8(v[c]);
                } else {
                    *out++ = static_cast<std::uint8_t>(v[c] >> 8);  // PNG is big-endian
                    *out++ = static_cast<std::uint8_t>(v[c] & 0xff);
                }
            }
        }
        png_write_row(png, sink.row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool EncodePngDirectly(const std::string& name, const Image16& image, int bits,
                       std::vector<std::uint8_t>& bytes, std::string& error) {
    if (bits != 8 && bits != 16) {
        error = name + ": bits must be 8 or 16";
        return false;
    }
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
        error = name + ": empty image";
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * (image.hasAlpha ? 4 : 3) *
                                 static_cast<std::size_t>(bits / 8);
    std::vector<std::uint8_t> row(rowBytes);
    bytes.clear();
    PngSink sink{&bytes, row.data(), {}, false};
    if (!WriteWithLibrary(sink, image, bits)) {
        error = name + ": cannot encode the image: " + sink.message;
        return false;
    }
    return true;
}

}  // namespace loom

#include "foundation/host/image/png_samples.h"

#include "foundation/host/sdk/page_advice.h"

#include <png.h>

#include <cstring>
#include <new>
#include <vector>

namespace loom {
namespace {

/// The state the PNG library's callbacks reach, and what a read makes. Plain data only: the
/// library leaves a read by longjmp on an error, which runs no destructors, and the buffers
/// live here rather than in locals, whose values after a longjmp are indeterminate once
/// they change after setjmp.
struct PngSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    char message[256];
    bool readingPixels;
    bool damaged;
    std::uint8_t* pixels;  // owned by the caller of ReadWithLibrary, even after an error
    png_bytep* rows;       // likewise
    png_uint_32 width, height;
    int channels, bits;
    std::size_t rowBytes;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->size - source->at < count) png_error(png, "truncated data");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

void OnError(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::strncpy(source->message, message, sizeof source->message - 1);
    png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp message) {
    // A warning while the pixels are read is data the library made up or skipped.
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    if (source->readingPixels && !source->damaged) {
        source->damaged = true;
        std::strncpy(source->message, message, sizeof source->message - 1);
    }
}

/// The library's part of a read: false after an error, with source.message saying why.
/// Holds no object with a destructor, as the library may leave it by longjmp.
bool ReadWithLibrary(PngSource& source, long long maxPixels) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning);
    if (!png) {
        std::strcpy(source.message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    // png and info are set before setjmp and not changed after it, as longjmp requires.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    if (!info) png_error(png, "out of memory");
    png_set_read_fn(png, &source, ReadBytes);
    // The image library checks no chunk's check value; neither do these reads.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_info(png, info);
    source.width = png_get_image_width(png, info);
    source.height = png_get_image_height(png, info);
    if (source.width == 0 || source.height == 0) png_error(png, "empty image");
    if (static_cast<long long>(source.width) * static_cast<long long>(source.height) > maxPixels) {
        png_error(png, "too many pixels");
    }
    png_set_expand(png);
    if (png_get_bit_depth(png, info) == 16) png_set_swap(png);  // the machine's byte order
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    source.channels = png_get_channels(png, info);
    source.bits = png_get_bit_depth(png, info);
    source.rowBytes = png_get_rowbytes(png, info);
    if (source.channels < 1 || source.channels > 4 || (source.bits != 8 && source.bits != 16) ||
        source.rowBytes != static_cast<std::size_t>(source.width) *
                               static_cast<std::size_t>(source.channels) *
                               static_cast<std::size_t>(source.bits / 8)) {
        png_error(png, "unexpected sample layout");
    }
    source.pixels = new (std::nothrow) std::uint8_t[source.rowBytes * source.height];
    source.rows = new (std::nothrow) png_bytep[source.height];
    if (!source.pixels || !source.rows) png_error(png, "out of memory");
    AdviseHugePages(source.pixels, source.rowBytes * source.height);
    for (png_uint_32 y = 0; y < source.height; ++y) {
        source.rows[y] = source.pixels + source.rowBytes * y;
    }
    source.readingPixels = true;
    png_read_image(png, source.rows);
    if (source.damaged) png_error(png, source.message);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

bool DecodePngSamples(const std::string& name, const std::uint8_t* data, std::size_t size,
                      long long maxPixels, ImageSamples& samples, std::string& error) {
    PngSource source{data, size, 0, {}, false, false, nullptr, nullptr, 0, 0, 0, 0, 0};
    const bool read = ReadWithLibrary(source, maxPixels);
    delete[] source.rows;
    if (!read) {
        delete[] source.pixels;
        error = name + ": cannot read image: " + source.message;
        return false;
    }
    samples.width = static_cast<int>(source.width);
    samples.height = static_cast<int>(source.height);
    samples.channels = source.channels;
    samples.fileBits = source.bits;
    samples.bits = source.bits;
    samples.hasAlpha = source.channels == 2 || source.channels == 4;
    samples.data.reset(source.pixels);
    samples.bytes = source.rowBytes * source.height;
    return true;
}

}  // namespace loom

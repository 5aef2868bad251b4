#include "foundation/host/image/png_samples.h"

#include <png.h>

#include <cstring>
#include <new>
#include <vector>

namespace loom {
namespace {

/// The state the PNG library's callbacks reach. Plain data only: the library leaves
/// DecodePngSamples by longjmp on an error, which runs no destructors.
struct PngSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    char message[256];
    bool readingPixels;
    bool damaged;
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

}  // namespace

bool DecodePngSamples(const std::string& name, const std::uint8_t* data, std::size_t size,
                      long long maxPixels, ImageSamples& samples, std::string& error) {
    PngSource source{data, size, 0, {}, false, false};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning);
    if (!png) {
        error = name + ": cannot read image: out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    std::uint8_t* pixels = nullptr;  // owned here until it is handed over
    png_bytep* rows = nullptr;
    // Set before setjmp and not changed after it, as longjmp requires.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        delete[] rows;
        delete[] pixels;
        error = name + ": cannot read image: " + source.message;
        return false;
    }
    if (!info) png_error(png, "out of memory");
    png_set_read_fn(png, &source, ReadBytes);
    // The image library checks no chunk's check value; neither do these reads.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width == 0 || height == 0) png_error(png, "empty image");
    if (static_cast<long long>(width) * static_cast<long long>(height) > maxPixels) {
        png_error(png, "too many pixels");
    }
    png_set_expand(png);
    if (png_get_bit_depth(png, info) == 16) png_set_swap(png);  // the machine's byte order
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    const int bits = png_get_bit_depth(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (channels < 1 || channels > 4 || (bits != 8 && bits != 16) ||
        rowBytes != static_cast<std::size_t>(width) * static_cast<std::size_t>(channels) *
                        static_cast<std::size_t>(bits / 8)) {
        png_error(png, "unexpected sample layout");
    }
    pixels = new (std::nothrow) std::uint8_t[rowBytes * height];
    rows = new (std::nothrow) png_bytep[height];
    if (!pixels || !rows) png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + rowBytes * y;
    source.readingPixels = true;
    png_read_image(png, rows);
    if (source.damaged) png_error(png, source.message);
    png_destroy_read_struct(&png, &info, nullptr);
    delete[] rows;
    samples.width = static_cast<int>(width);
    samples.height = static_cast<int>(height);
    samples.channels = channels;
    samples.fileBits = bits;
    samples.bits = bits;
    samples.hasAlpha = channels == 2 || channels == 4;
    samples.data.reset(pixels);
    samples.bytes = rowBytes * height;
    return true;
}

}  // namespace loom

#include "foundation/host/image/direct_read.h"

#include <cstring>
#include <utility>
#include <vector>

#include "foundation/host/image/image_checks.h"
#include "foundation/host/image/jpeg_samples.h"
#include "foundation/host/image/png_samples.h"
#include "foundation/host/sdk/packed_pixels.h"
#include "foundation/host/sdk/page_advice.h"

namespace loom {

namespace {

/// Any of the forms, one pixel at a time.
void WidenEach(const ImageSamples& samples, BMM_Color_64* pixels, std::size_t count) {
    const int nc = samples.channels;
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
        if (nc >= 3) {
            pixels[i] = {v[0], v[1], v[2], samples.hasAlpha ? v[3] : WORD{65535}};
        } else {
            pixels[i] = {v[0], v[0], v[0], samples.hasAlpha ? v[1] : WORD{65535}};
        }
    }
}

}  // namespace

void WidenSamples(const ImageSamples& samples, Image16& image) {
    const std::size_t count = static_cast<std::size_t>(samples.width) * samples.height;
    std::vector<BMM_Color_64> pixels;
    pixels.reserve(count);
    AdviseHugePages(pixels.data(), count * sizeof(BMM_Color_64));
    pixels.resize(count);
    if (samples.bits == 8 && samples.channels == 3) {
        // Photos' usual form, in the vector code of packed pixels (the same values).
        WidenRgb24(samples.data.get(), pixels.data(), count);
    } else {
        WidenEach(samples, pixels.data(), count);
    }
    image.width = samples.width;
    image.height = samples.height;
    image.bits = samples.bits == 8 ? 8 : 16;
    image.hasAlpha = samples.hasAlpha;
    image.pixels = std::move(pixels);
}

DirectRead DecodeImage16Directly(const std::string& name, const std::uint8_t* data,
                                 std::size_t size, long long maxPixels, Image16& image,
                                 std::string& error) {
    const ImageFormat format = SniffImageFormat(data, size);
    if (format != ImageFormat::kPng && format != ImageFormat::kJpeg) {
        return DirectRead::kNotHandled;
    }
    if (!CheckImageHeader(name, format, data, size, maxPixels, error)) return DirectRead::kFailed;
    ImageSamples samples;
    if (format == ImageFormat::kPng) {
        if (!DecodePngSamples(name, data, size, maxPixels, samples, error)) {
            return DirectRead::kFailed;
        }
    } else {
        // The decoder sees the bytes the image library's would: without the metadata
        // segments (which it skips anyway), checked segment by segment.
        std::vector<std::uint8_t> stripped;
        if (!StripJpegMetadata(name, data, size, stripped, error)) return DirectRead::kFailed;
        switch (
            DecodeJpegSamples(name, stripped.data(), stripped.size(), maxPixels, samples, error)) {
            case JpegRead::kDone:
                break;
            case JpegRead::kFailed:
                return DirectRead::kFailed;
            case JpegRead::kNotPlain:
                error.clear();
                return DirectRead::kNotHandled;
        }
    }
    WidenSamples(samples, image);
    return DirectRead::kDone;
}

}  // namespace loom

// Image files: arbitrary bytes decoded in memory as an image of the type the first byte
// picks, through both read paths: the stereo filter's inputs (16-bit RGBA) and image maps
// (floats). The reader must refuse what it cannot read with an error naming the file, and
// what it reads must come out whole.
//
// Input: byte 0 picks the file's name (its value mod 5: .png, .tif, .exr, .jpg, .bmp; the
// bytes' signature picks the reader, the name only words the errors) and the path (below
// 128: filter input, else image map); the file's bytes follow.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/core/filter/image16.h"
#include "foundation/host/sdk/bitmap.h"

namespace {

constexpr const char* kNames[] = {"fuzz.png", "fuzz.tif", "fuzz.exr", "fuzz.jpg", "fuzz.bmp"};
// Small pictures keep each run short (large buffers are costly under the address
// sanitizer); the limit itself is what a real read checks.
constexpr long long kMaxFuzzPixels = 1LL << 12;

bool Names(const std::string& error, const char* name) { return error.rfind(name, 0) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const char* name = kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
    std::string error;
    if (data[0] < 128) {
        loom::Image16 image;
        if (!loom::DecodeImage16(name, data + 1, size - 1, image, error, kMaxFuzzPixels)) {
            if (!Names(error, name)) __builtin_trap();  // a refusal always says what and why
            return 0;
        }
        const bool whole = image.width > 0 && image.height > 0 &&
                           static_cast<long long>(image.width) * image.height <= kMaxFuzzPixels &&
                           image.pixels.size() == static_cast<std::size_t>(image.width) *
                                                      static_cast<std::size_t>(image.height) &&
                           (image.bits == 8 || image.bits == 16);
        if (!whole) __builtin_trap();
    } else {
        loom::FloatImage image;
        int bits = 0;
        if (!loom::DecodeImage(name, data + 1, size - 1, image, bits, error, kMaxFuzzPixels)) {
            if (!Names(error, name)) __builtin_trap();
            return 0;
        }
        const bool whole = image.width > 0 && image.height > 0 &&
                           static_cast<long long>(image.width) * image.height <= kMaxFuzzPixels &&
                           image.rgba.size() == static_cast<std::size_t>(image.width) *
                                                    static_cast<std::size_t>(image.height) * 4 &&
                           (bits == 8 || bits == 16 || bits == 32);
        if (!whole) __builtin_trap();
    }
    return 0;
}

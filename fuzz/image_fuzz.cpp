// Image files: arbitrary bytes read as an image of the type the first byte picks. The
// reader must refuse what it cannot read with an error, and what it reads must come out
// as whole 16-bit RGBA lines.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/filter/image16.h"

namespace {

constexpr const char* kExtensions[] = {".png", ".tif", ".exr", ".jpg", ".bmp"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const char* ext = kExtensions[data[0] % (sizeof kExtensions / sizeof kExtensions[0])];
    const std::string path = "/tmp/loom_image_fuzz_" + std::to_string(getpid()) + ext;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    } else {
        return 0;
    }
    loom::Image16 image;
    std::string error;
    const bool ok = loom::ReadImage16(path, image, error);
    std::remove(path.c_str());
    if (!ok && error.empty()) __builtin_trap();  // a refusal always says why
    if (ok) {
        const bool whole = image.width > 0 && image.height > 0 &&
                           image.pixels.size() == static_cast<std::size_t>(image.width) *
                                                      static_cast<std::size_t>(image.height) &&
                           (image.bits == 8 || image.bits == 16);
        if (!whole) __builtin_trap();
    }
    return 0;
}

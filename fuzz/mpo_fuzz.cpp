// Stereo photo files: arbitrary bytes read as an MPO (the JPEG segments walked to the
// multi-picture index, the index's pictures checked against the file) and for their EXIF
// orientation; a file whose index is accepted is decoded as a pair, as `loomhost anaglyph
// photo.mpo` reads it. Nothing may crash or read outside the bytes, and every accepted
// picture lies within the file, after the first.
//
// Input: the file's bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/core/stereo/stereo_photo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    loom::stereo::ByteRange left, right;
    std::string why;
    const int orientation = loom::stereo::JpegOrientation(data, size);
    if (orientation < 1 || orientation > 8) __builtin_trap();
    if (!loom::stereo::FindMpoPictures(data, size, left, right, why)) {
        if (why.empty()) __builtin_trap();  // every refusal says why
        return 0;
    }
    if (left.offset != 0 || left.size > size || right.offset < left.size || right.offset > size ||
        right.size > size - right.offset) {
        __builtin_trap();
    }
    loom::Image16 l, r;
    std::string error;
    (void)loom::stereo::DecodeStereoPhoto("fuzz.mpo", data, size, l, r, error);
    return 0;
}

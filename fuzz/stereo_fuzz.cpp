// The stereo filter's configuration and its inputs: arbitrary configuration bytes handed to
// the filter as a scene or a --config file hands them, and an arbitrary side-by-side image
// composed into an anaglyph with that configuration. Nothing may crash; the filter keeps
// the bytes as loaded, and the composed picture is the size of one view.
//
// Input: byte 0 picks the image's name (mod 5: .png, .tif, .exr, .jpg, .bmp; the bytes'
// signature picks the reader); bytes 1..12 are the configuration record (shorter inputs are
// records of the wrong size); the image's bytes follow.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/filter/filter_run.h"
#include "app/core/filter/image16.h"
#include "app/core/filter/stereo_settings.h"
#include "dioptrix/dioptrix_filter.h"

namespace {

constexpr const char* kNames[] = {"fuzz.png", "fuzz.tif", "fuzz.exr", "fuzz.jpg", "fuzz.bmp"};
constexpr long long kMaxFuzzPixels = 1LL << 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const char* name = kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
    const std::size_t recordSize = std::min<std::size_t>(size - 1, loom::kStereoRecordBytes);
    const std::vector<std::uint8_t> record(data + 1, data + 1 + recordSize);
    try {
        (void)loom::DescribeStereoSettings(loom::DecodeStereoSettings(record));
    } catch (const std::runtime_error&) {
        if (record.size() == loom::kStereoRecordBytes) __builtin_trap();  // any 12 bytes decode
    }

    DioptrixFilter filter;
    std::string error;
    if (!loom::LoadFilterConfiguration(filter, record, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    std::vector<std::uint8_t> stored;
    if (!loom::SaveFilterConfiguration(filter, stored, error)) __builtin_trap();
    // Stored as loaded: eyes and compensations byte for byte, reserved bytes written as 0.
    for (std::size_t i : {0, 1, 4, 5, 6, 7, 8, 9, 10, 11}) {
        if (stored[i] != record[i]) __builtin_trap();
    }

    const std::size_t start = 1 + recordSize;
    loom::Image16 both, left, right;
    if (!loom::DecodeImage16(name, data + start, size - start, both, error, kMaxFuzzPixels) ||
        !loom::SplitSideBySide(both, left, right, error)) {
        return 0;
    }
    loom::FilterProgressWindow window("fuzz", nullptr, false);
    loom::Image16 result;
    if (loom::RunCompositor(filter, left, right, window, nullptr, result, error) ==
        loom::FilterOutcome::kDone) {
        if (result.width != left.width || result.height != left.height ||
            result.pixels.size() != left.pixels.size()) {
            __builtin_trap();
        }
    }
    return 0;
}

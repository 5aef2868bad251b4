#pragma once
/// Decodes Windows BMP files: uncompressed BI_RGB at 1, 4, 8, 16, 24 and 32 bits per
/// pixel (with palettes), BI_BITFIELDS at 16 and 32 bits, bottom-up and top-down rows,
/// core (OS/2) and info headers up to version 5. Run-length compressed files are refused.

#include <stdexcept>
#include <string_view>

#include "foundation/host/win32/resources.h"

namespace loom::rc {

/// A file that is not a BMP this reader handles; `what()` says why.
class BmpError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The largest width or height accepted.
inline constexpr int kMaxBitmapSide = 16384;

/// Decodes `bytes` into top-down 8-bit RGBA (alpha 255; the fourth byte of 32-bit BI_RGB
/// pixels is unused, as Windows treats it). The result's `id` is 0. Throws BmpError.
BitmapResource DecodeBmp(std::string_view bytes);

}  // namespace loom::rc

#pragma once
/// Images for the browser as BMP files (24 bits, bottom-up rows): every browser shows
/// them, and writing one needs no image library and no temporary file.

#include <cstdint>
#include <vector>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/win32/win32_gdi.h"

namespace loom::web {

/// A float RGBA image (top line first), each channel clamped to 0..1 (NaN as 0).
std::vector<std::uint8_t> EncodeBmp(const FloatImage& image);
/// 8-bit RGBA pixels (top line first), transparent parts laid over `background`.
std::vector<std::uint8_t> EncodeBmp(const BitmapPixels& pixels, COLORREF background);
/// A host bitmap's 16-bit pixels.
std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap);

}  // namespace loom::web

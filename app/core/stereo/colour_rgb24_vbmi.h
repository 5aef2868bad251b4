#pragma once
/// The colour methods' composition of packed RGB24 lines in AVX-512 with VBMI: sixteen
/// pixels a step, their bytes sorted into channels by one byte permute, the matrix sums in
/// the same single-precision operations in the same order as the portable lines (no fused
/// multiply-adds), so the same bits.

#include <cstdint>

#include "app/core/stereo/colour_methods.h"

namespace loom::stereo {

/// `width` pixels of `left` and `right` (RGB24, read as v x 257) through `m` into `out`
/// (alpha full). Only for matrices whose entries are at most 16 in size, and only where
/// ActiveVectorExtension(kAvx512Vbmi); reads no byte past either line. Defined on x86-64.
void ComposeRgb24LinesVbmi(const ColourMatrix& m, const std::uint8_t* left,
                           const std::uint8_t* right, BMM_Color_64* out, int width) noexcept;

}  // namespace loom::stereo

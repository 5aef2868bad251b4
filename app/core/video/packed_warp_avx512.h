#pragma once
/// The 8-bit video resampler's general two passes sixteen pixels a step, in AVX-512 with
/// byte permutes and VNNI multiply-adds: the same integers as the plain and SSE2 code, so
/// the same bytes.

#include <array>
#include <cstdint>

namespace loom::packed_warp {

/// Whether the active vector level runs Warp8Avx512 (AVX-512 with VBMI and VNNI).
bool Warp8Avx512Runs();

/// Output rows yBegin..yEnd - 1 of `src` resampled through `m` (output to source), packed
/// RGB of 8 bits, as the general path of WarpPackedRgb computes them.
void Warp8Avx512(const std::uint8_t* src, int srcWidth, int srcHeight,
                 const std::array<double, 9>& m, std::uint8_t* dst, int dstWidth, int yBegin,
                 int yEnd);

}  // namespace loom::packed_warp

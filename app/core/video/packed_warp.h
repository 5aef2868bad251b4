#pragma once
/// The right view of a video frame resampled through a small projective correction, in its
/// packed RGB form (8 or 16 bits a channel), fast enough to run on every frame.
///
/// The filter is the cubic convolution kernel with a = -0.75 (the bicubic of common image
/// libraries), applied in two one-dimensional passes per output row: first down the source
/// columns, at the heights where the output row's mapped line crosses each column, then
/// along that interpolated line at each output pixel's position. For the corrections of a
/// stereo rig (rotations of a few degrees, scales near 1) this follows the mapped row
/// exactly and differs from a two-dimensional bicubic by well under a level; it takes 8
/// taps a channel instead of 16. Source pixels outside the view count as black, so the
/// edges of the covered area blend towards black as they do in a two-dimensional bicubic.
/// 8-bit views (video's usual depth) run in fixed point: positions exact (double precision)
/// every 16 pixels of a row and stepped linearly between, to 1/1024 pixel; weights in
/// 1/16384ths that sum exactly to one; 6 bits kept below the level between the passes; the
/// AVX-512 code (sixteen pixels a step, packed_warp_avx512.cpp), the SSE2 code and plain
/// code give the same bytes. 16-bit views take exact positions and single precision
/// weights. Each value is rounded to the nearest once. One 1080p view takes about 3.2 ms of
/// one core here at AVX-512 and 17 ms in SSE2, against 36 ms for OpenCV's two-dimensional
/// bicubic (bench/stereo/packed_warp_bench).
///
/// An 8-bit correction that keeps every pixel within 0.1 pixel of one translation (a rig
/// off by rows only, a parallax shift; at 1080p a rotation under about 0.005 degrees and a
/// scale within 0.01 %) is resampled as that translation: the same two
/// passes and fixed point, but every column and every output pixel weighted alike, so that
/// both passes run along whole rows, several values an instruction (the bytes of Warp8 for
/// an exact translation; 2.4 ms a 1080p view at AVX-512, where the general passes take
/// 2.5 ms for it, their weight rows all coming from one window).

#include <array>
#include <cstdint>

namespace loom {

/// Resamples a packed RGB picture (`bits` 8: 3 bytes a pixel; 16: three 16-bit values in
/// the machine's byte order) of `srcWidth` x `srcHeight` into `dst` (`dstWidth` x
/// `dstHeight`, same form), where `forward` (row-major 3 x 3) maps a source pixel's
/// coordinates to the output's (pixel centres at whole numbers). Output pixels the source
/// does not reach are black. Allocates a few rows of scratch; no allocation per pixel.
/// Throws std::invalid_argument when `forward` cannot be inverted or maps part of the output
/// from behind the source's plane (the view would fold), or for sizes under 1. `path`
/// kGeneral takes the general two passes even for a translation (to compare the two).
/// `threads` above 1 splits the rows into that many bands (of 16 rows at least), all but
/// the first on threads of their own: the same bytes, sooner where cores are idle.
enum class PackedWarpPath { kAny, kGeneral };
void WarpPackedRgb(const std::uint8_t* src, int srcWidth, int srcHeight, int bits,
                   const std::array<double, 9>& forward, std::uint8_t* dst, int dstWidth,
                   int dstHeight, PackedWarpPath path = PackedWarpPath::kAny, int threads = 1);

}  // namespace loom

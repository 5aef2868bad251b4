#include "app/core/stereo/colour_rgb24_vbmi.h"

#if defined(__x86_64__)
// GCC 12's AVX-512 headers build vectors from a deliberately undefined one, which
// -Wmaybe-uninitialized reports inside the headers when this file inlines them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#endif

#include <algorithm>

namespace loom::stereo {

#if defined(__x86_64__)
namespace {

// Byte k * 16 + i of a step's sorted bytes is channel k of pixel i.
alignas(64) constexpr std::uint8_t kChannels[64] = {
    0, 3, 6, 9,  12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45,  //
    1, 4, 7, 10, 13, 16, 19, 22, 25, 28, 31, 34, 37, 40, 43, 46,  //
    2, 5, 8, 11, 14, 17, 20, 23, 26, 29, 32, 35, 38, 41, 44, 47,  //
    0, 0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
// Pixels 0-7 and 8-15 from the red-green and blue-alpha halves of each pixel.
alignas(64) constexpr std::int32_t kFirstPixels[16] = {0, 16, 1, 17, 2, 18, 3, 19,
                                                       4, 20, 5, 21, 6, 22, 7, 23};
alignas(64) constexpr std::int32_t kLastPixels[16] = {8,  24, 9,  25, 10, 26, 11, 27,
                                                      12, 28, 13, 29, 14, 30, 15, 31};

#define LOOM_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// A step's pixels of one line as floats, channel by channel (v x 257).
LOOM_VBMI inline void Load(const std::uint8_t* line, __mmask64 bytes, __m512i channels,
                           __m512 (&c)[3]) noexcept {
    const __m512i sorted = _mm512_permutexvar_epi8(channels, _mm512_maskz_loadu_epi8(bytes, line));
    const __m128i parts[3] = {_mm512_castsi512_si128(sorted), _mm512_extracti32x4_epi32(sorted, 1),
                              _mm512_extracti32x4_epi32(sorted, 2)};
    for (int k = 0; k < 3; ++k) {
        const __m512i v = _mm512_cvtepu8_epi32(parts[k]);
        c[k] = _mm512_cvtepi32_ps(_mm512_add_epi32(_mm512_slli_epi32(v, 8), v));
    }
}

}  // namespace

LOOM_VBMI void ComposeRgb24LinesVbmi(const ColourMatrix& m, const std::uint8_t* left,
                                     const std::uint8_t* right, BMM_Color_64* out,
                                     int width) noexcept {
    const __m512i channels = _mm512_load_si512(kChannels);
    const __m512i first = _mm512_load_si512(kFirstPixels);
    const __m512i last = _mm512_load_si512(kLastPixels);
    __m512 a[3][3], b[3][3];
    for (int row = 0; row < 3; ++row) {
        for (int k = 0; k < 3; ++k) {
            a[row][k] = _mm512_set1_ps(m.left[row][k]);
            b[row][k] = _mm512_set1_ps(m.right[row][k]);
        }
    }
    const __m512 half = _mm512_set1_ps(0.5f);
    const __m512i top = _mm512_set1_epi32(65535);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i opaque = _mm512_set1_epi32(static_cast<int>(0xFFFF0000u));
    for (int at = 0; at < width; at += 16) {
        const int n = std::min(16, width - at);
        const __mmask64 bytes = (__mmask64{1} << (3 * n)) - 1;
        const std::size_t offset = static_cast<std::size_t>(at) * 3;
        __m512 l[3], r[3];
        Load(left + offset, bytes, channels, l);
        Load(right + offset, bytes, channels, r);
        __m512i c[3];
        for (int row = 0; row < 3; ++row) {
            // Left to right, each product rounded before it is added, as the portable sum.
            __m512 v = _mm512_mul_ps(a[row][0], l[0]);
            v = _mm512_add_ps(v, _mm512_mul_ps(a[row][1], l[1]));
            v = _mm512_add_ps(v, _mm512_mul_ps(a[row][2], l[2]));
            v = _mm512_add_ps(v, _mm512_mul_ps(b[row][0], r[0]));
            v = _mm512_add_ps(v, _mm512_mul_ps(b[row][1], r[1]));
            v = _mm512_add_ps(v, _mm512_mul_ps(b[row][2], r[2]));
            const __m512i whole = _mm512_cvttps_epi32(_mm512_add_ps(v, half));
            c[row] = _mm512_min_epi32(_mm512_max_epi32(whole, zero), top);
        }
        const __m512i redGreen = _mm512_or_si512(c[0], _mm512_slli_epi32(c[1], 16));
        const __m512i blueAlpha = _mm512_or_si512(c[2], opaque);
        const __m512i low = _mm512_permutex2var_epi32(redGreen, first, blueAlpha);
        const __m512i high = _mm512_permutex2var_epi32(redGreen, last, blueAlpha);
        auto* to = reinterpret_cast<std::int32_t*>(out + at);
        const int lowPixels = std::min(n, 8), highPixels = n - lowPixels;
        _mm512_mask_storeu_epi32(to, static_cast<__mmask16>((1u << (2 * lowPixels)) - 1), low);
        _mm512_mask_storeu_epi32(to + 16, static_cast<__mmask16>((1u << (2 * highPixels)) - 1),
                                 high);
    }
}

#endif

}  // namespace loom::stereo

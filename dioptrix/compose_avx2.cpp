#include "dioptrix/compose_avx2.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

// Four pixels per step. Every floating-point step is the scalar composition's own (one
// double multiply, one double add, the float rounding, the clamp and the truncation), so
// the result is bit for bit the scalar one; FMA is not enabled for this function.
__attribute__((target("avx2"))) int ComposeLineAvx2(const LineComposer& s, BMM_Color_64* a,
                                                    const BMM_Color_64* b, int width) noexcept {
    if (s.leftIndex == s.rightIndex) return 0;  // the scalar order of stores decides that case
    static_assert(sizeof(BMM_Color_64) == 8);

    // Luminance through signed 16-bit multiply-adds: each channel v enters as v - 32768,
    // and the 256 weights times 32768 come back as one constant.
    const __m256i flip = _mm256_set1_epi16(static_cast<short>(0x8000));
    const __m256i weights =
        _mm256_setr_epi16(76, 150, 30, 0, 76, 150, 30, 0, 76, 150, 30, 0, 76, 150, 30, 0);
    const __m256i unflip = _mm256_set1_epi32(32768 * 256);
    const __m256d aL = _mm256_set1_pd(Widen(s.k.aL)), bL = _mm256_set1_pd(Widen(s.k.bL));
    const __m256d aR = _mm256_set1_pd(Widen(s.k.aR)), bR = _mm256_set1_pd(Widen(s.k.bR));
    const __m256d cL = _mm256_set1_pd(Widen(s.cL)), cR = _mm256_set1_pd(Widen(s.cR));
    const __m256d full = _mm256_set1_pd(65535.0);
    const __m256i place = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.channelShuffle));
    const __m256i alphaMask = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull));

    int x = 0;
    for (; x + 4 <= width; x += 4) {
        __m256i* out = reinterpret_cast<__m256i*>(a + x);
        const __m256i pa = _mm256_loadu_si256(out);
        const __m256i pb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + x));

        const __m256i sumA = _mm256_madd_epi16(_mm256_xor_si256(pa, flip), weights);
        const __m256i sumB = _mm256_madd_epi16(_mm256_xor_si256(pb, flip), weights);
        // hadd pairs within each 128-bit half: A0 A1 B0 B1 | A2 A3 B2 B3; the permute puts
        // the four left luminances first.
        __m256i lum =
            _mm256_permute4x64_epi64(_mm256_hadd_epi32(sumA, sumB), _MM_SHUFFLE(3, 1, 2, 0));
        lum = _mm256_srli_epi32(_mm256_add_epi32(lum, unflip), 8);
        const __m256d ls = _mm256_cvtepi32_pd(_mm256_castsi256_si128(lum));
        const __m256d lf = _mm256_cvtepi32_pd(_mm256_extracti128_si256(lum, 1));

        const __m256d il =
            _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(aL, ls), bL)));
        const __m256d ir =
            _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(aR, lf), bR)));
        // The 16-bit store: min(65535, v) keeps NaN (the second operand wins), truncation
        // turns NaN into INT_MIN, and the unsigned saturating pack sends everything below 0
        // to 0: l0 l1 l2 l3 r0 r1 r2 r3.
        const __m128i left =
            _mm256_cvttpd_epi32(_mm256_min_pd(full, _mm256_add_pd(il, _mm256_mul_pd(cL, ir))));
        const __m128i right =
            _mm256_cvttpd_epi32(_mm256_min_pd(full, _mm256_add_pd(ir, _mm256_mul_pd(cR, il))));
        const __m256i both = _mm256_broadcastsi128_si256(_mm_packus_epi32(left, right));

        // Each value to its channel, zero in the third; then the larger alpha.
        const __m256i alpha = _mm256_and_si256(_mm256_max_epu16(pa, pb), alphaMask);
        _mm256_storeu_si256(out, _mm256_or_si256(_mm256_shuffle_epi8(both, place), alpha));
    }
    return x;
}

#else

int ComposeLineAvx2(const LineComposer&, BMM_Color_64*, const BMM_Color_64*, int) noexcept {
    return 0;
}

#endif

#include "dioptrix/compose_avx512.h"

#include <algorithm>
#include <climits>
#include <cmath>

bool IntensityExactInFloat(float a, float b) noexcept {
    if (!std::isfinite(a) || !std::isfinite(b)) return false;
    // The place of a float's last mantissa bit: every float is a multiple of it.
    auto lastPlace = [](float x) {
        if (x == 0.0f) return INT_MAX;
        int e = 0;
        std::frexp(x, &e);              // |x| in [2^(e-1), 2^e), 24 bits down to 2^(e-24)
        return std::max(e - 24, -149);  // subnormals are multiples of 2^-149
    };
    const int place = std::min(lastPlace(a), lastPlace(b));
    if (place == INT_MAX) return true;  // both zero: every sum is zero
    // a*L (at most 40 bits) and b are multiples of 2^place, so the sum is too; below
    // 2^(place + 52) (one bit of margin for the rounding of the bound) it has at most 53.
    const double bound =
        std::fabs(static_cast<double>(a)) * 65535.0 + std::fabs(static_cast<double>(b));
    return bound < std::ldexp(1.0, place + 52);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

// GCC 12's AVX-512 headers build vectors from a deliberately undefined one, which
// -Wmaybe-uninitialized reports inside the headers when this file inlines them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

bool ProcessorHasAvx512() noexcept {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512vnni") && __builtin_cpu_supports("fma");
}

namespace {

#define LOOM_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,fma")))
#define LOOM_AVX512_INLINE \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,fma"), always_inline))

/// StereoLuminance of eight pixels, one per 64-bit lane. The signed 16-bit multiply-adds
/// take each channel v as v - 32768; the bias puts the 256 weights times 32768 back.
LOOM_AVX512_INLINE inline __m512i Luminance(__m512i pixels) {
    const __m512i flip = _mm512_set1_epi16(static_cast<short>(0x8000));
    const __m512i redGreen = _mm512_set1_epi64(76 | (150 << 16));
    const __m512i blue = _mm512_set1_epi64(30);
    const __m512i bias = _mm512_set1_epi64(32768 * 256);
    const __m512i v = _mm512_xor_si512(pixels, flip);
    // Low 32 bits of each lane: 76 r + 150 g, then + 30 b (b moved down to the low half);
    // the high 32 bits meet zero weights and stay 0.
    __m512i sum = _mm512_dpwssd_epi32(bias, v, redGreen);
    sum = _mm512_dpwssd_epi32(sum, _mm512_srli_epi64(v, 32), blue);
    return _mm512_srli_epi64(sum, 8);
}

/// Intensity float(k*L + c) of eight luminances, widened back to double.
/// The product k*L is exact in double (24 + 16 bits), so the FMA rounds exactly once where
/// the separate multiply and add would, and gives the same double.
template <bool kFloat>
LOOM_AVX512_INLINE inline __m512d Intensity(__m512i lum, __m512d k, __m512d c, __m256 kf,
                                            __m256 cf) {
    if constexpr (kFloat) {
        return _mm512_cvtps_pd(_mm256_fmadd_ps(kf, _mm512_cvtepu64_ps(lum), cf));
    } else {
        return _mm512_cvtps_pd(_mm512_cvtpd_ps(_mm512_fmadd_pd(k, _mm512_cvtepu64_pd(lum), c)));
    }
}

/// Store16 of eight values as 64-bit integers: NaN and values up to 0 give 0, values from
/// 65535 give 65535, the rest truncate. max returns its second operand for NaN. Values
/// known to lie in (-1, 65536) need the truncation only.
template <bool kClamp>
LOOM_AVX512_INLINE inline __m512i Store16(__m512d v) {
    if constexpr (!kClamp) return _mm512_cvttpd_epi64(v);
    const __m512d clamped =
        _mm512_min_pd(_mm512_max_pd(v, _mm512_setzero_pd()), _mm512_set1_pd(65535.0));
    return _mm512_cvttpd_epi64(clamped);
}

template <bool kFloat, bool kClamp>
LOOM_AVX512 int Compose(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b, int width,
                        const BMM_Color_64* aheadA, const BMM_Color_64* aheadB) noexcept {
    static_assert(sizeof(BMM_Color_64) == 8);
    const __m512d aL = _mm512_set1_pd(s.k.aL), bL = _mm512_set1_pd(s.k.bL);
    const __m512d aR = _mm512_set1_pd(s.k.aR), bR = _mm512_set1_pd(s.k.bR);
    const __m256 aLf = _mm256_set1_ps(s.k.aL), bLf = _mm256_set1_ps(s.k.bL);
    const __m256 aRf = _mm256_set1_ps(s.k.aR), bRf = _mm256_set1_ps(s.k.bR);
    const __m512d cL = _mm512_set1_pd(s.cL), cR = _mm512_set1_pd(s.cR);
    const __m512i place = _mm512_loadu_si512(s.channelWords);
    constexpr __mmask32 kAlphaWords = 0x88888888u;

    int x = 0;
    for (; x + 8 <= width; x += 8) {
        _mm_prefetch(reinterpret_cast<const char*>(aheadA + x), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(aheadB + x), _MM_HINT_T0);
        const __m512i pa = _mm512_loadu_si512(a + x);
        const __m512i pb = _mm512_loadu_si512(b + x);
        const __m512d il = Intensity<kFloat>(Luminance(pa), aL, bL, aLf, bLf);
        const __m512d ir = Intensity<kFloat>(Luminance(pb), aR, bR, aRf, bRf);
        // c*I is exact in double (24 + 24 bits): the FMA equals the multiply and add.
        const __m512i left = Store16<kClamp>(_mm512_fmadd_pd(cL, ir, il));
        const __m512i right = Store16<kClamp>(_mm512_fmadd_pd(cR, il, ir));
        // The eye channels and zero in the third, then the larger alpha.
        const __m512i pixels = _mm512_permutex2var_epi16(left, place, right);
        _mm512_storeu_si512(a + x, _mm512_mask_max_epu16(pixels, kAlphaWords, pa, pb));
    }
    return x;
}

}  // namespace

int ComposeLineAvx512(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b, int width,
                      const BMM_Color_64* aheadA, const BMM_Color_64* aheadB) noexcept {
    if (s.leftIndex == s.rightIndex) return 0;  // the scalar order of stores decides that case
    if (!aheadB) aheadB = aheadA;
    if (s.floatIntensity) {
        return s.withinChannel ? Compose<true, false>(s, a, b, width, aheadA, aheadB)
                               : Compose<true, true>(s, a, b, width, aheadA, aheadB);
    }
    return s.withinChannel ? Compose<false, false>(s, a, b, width, aheadA, aheadB)
                           : Compose<false, true>(s, a, b, width, aheadA, aheadB);
}

#else

bool ProcessorHasAvx512() noexcept { return false; }

int ComposeLineAvx512(const LineComposer&, BMM_Color_64*, const BMM_Color_64*, int,
                      const BMM_Color_64*, const BMM_Color_64*) noexcept {
    return 0;
}

#endif

// noise3 of many samples with AVX-512 and AVX2: the lattice set-up and the arithmetic for
// all lanes at once, in noise3's order, operation for operation and without fused
// multiply-adds, so that each lane gets the bits of a single call.
//
// Between them the table reads. The permutation steps run one lane at a time in ordinary
// registers (gathers cost more than the loads they replace on the processors measured).
// A corner's gradients in both z planes are one 32-byte row of g3Pairs (the tables repeat
// their first entries after entry 255, so row (b + bz0) & 255 holds g3[b + bz0] and
// g3[b + bz1]); the rows of all lanes are loaded whole and transposed into one vector per
// component.
#include "foundation/noise/noise_kernels.h"

#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

// GCC 12's AVX-512 headers build vectors from a deliberately undefined one, which
// -Wmaybe-uninitialized reports inside the headers when this file inlines them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace loom::noise::detail {
namespace {

constexpr int kMask = NOISE_B - 1;

// The four corners of a lattice cell in the order the arithmetic takes them.
enum Corner { k00, k10, k01, k11 };

/// Byte offsets in g3Pairs of the rows of the four corners of `lanes` samples, from
/// their lattice cells' low indices: the permutation steps of noise3, one lane at a time.
template <int kLanes>
[[gnu::always_inline]] inline void CornerRows(const NoiseTables& t, const std::uint32_t* bx,
                                              const std::uint32_t* by, const std::uint32_t* bz,
                                              std::uint32_t (&rows)[4][kLanes]) {
#pragma GCC unroll 8
    for (int l = 0; l < kLanes; ++l) {
        // Kept out of vector registers: the compiler's vector form of this loop is slower.
        std::uint32_t x = bx[l];
        asm("" : "+r"(x));
        const std::uint32_t i = static_cast<std::uint32_t>(t.p[x]);
        const std::uint32_t j = static_cast<std::uint32_t>(t.p[x + 1]);  // p[bx1]
        const std::uint32_t iy = i + by[l], jy = j + by[l];
        const auto row = [&](std::int32_t b) {
            return ((static_cast<std::uint32_t>(b) + bz[l]) & kMask) * sizeof t.g3Pairs[0];
        };
        rows[k00][l] = row(t.p[iy]);
        rows[k10][l] = row(t.p[jy]);
        rows[k01][l] = row(t.p[iy + 1]);  // p[i + by1]
        rows[k11][l] = row(t.p[jy + 1]);
    }
}

/// A 32-byte row of g3Pairs at a byte offset.
[[gnu::always_inline]] inline const float* Row(const NoiseTables& t, std::uint32_t offset) {
    return reinterpret_cast<const float*>(reinterpret_cast<const char*>(t.g3Pairs) + offset);
}

// ---- AVX-512: eight samples, one per 64-bit lane ------------------------------------

#define LOOM_NOISE_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl")))
#define LOOM_NOISE_AVX512_INLINE \
    __attribute__((target("avx512f,avx512dq,avx512vl"), always_inline)) inline

struct Axis512 {
    __m512d r0, r1;  // t - k and t - k - 1
    __m256i b0;      // k & 255
};

LOOM_NOISE_AVX512_INLINE Axis512 Setup512(__m256 c) {
    const __m512d t = _mm512_add_pd(_mm512_cvtps_pd(c), _mm512_set1_pd(NOISE_N));
    // Out of the int range and NaN give INT_MIN, as the scalar conversion does.
    const __m256i k = _mm512_cvttpd_epi32(t);
    Axis512 a;
    a.r0 = _mm512_sub_pd(t, _mm512_cvtepi32_pd(k));
    a.r1 = _mm512_sub_pd(a.r0, _mm512_set1_pd(1.0));
    a.b0 = _mm256_and_si256(k, _mm256_set1_epi32(kMask));
    return a;
}

// The low and the high eight floats of a vector, widened to double.
LOOM_NOISE_AVX512_INLINE __m512d LowHalf(__m512 v) {
    return _mm512_cvtps_pd(_mm512_castps512_ps256(v));
}
LOOM_NOISE_AVX512_INLINE __m512d HighHalf(__m512 v) {
    return _mm512_cvtps_pd(_mm512_extractf32x8_ps(v, 1));
}

// One corner's gradients in both planes, widened to double: g[plane][component].
struct Gradients512 {
    __m512d g[2][3];
};

LOOM_NOISE_AVX512_INLINE Gradients512 LoadCorner512(const NoiseTables& t,
                                                    const std::uint32_t (&rows)[8]) {
    __m512 r[4];  // lanes 2k and 2k + 1
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        r[k] = _mm512_insertf32x8(_mm512_castps256_ps512(_mm256_load_ps(Row(t, rows[2 * k]))),
                                  _mm256_load_ps(Row(t, rows[2 * k + 1])), 1);
    }
    // Components 0..3 of four lanes, four floats per component; then components 4 and 5.
    const __m512i low = _mm512_setr_epi32(0, 8, 16, 24, 1, 9, 17, 25, 2, 10, 18, 26, 3, 11, 19, 27);
    const __m512i high =
        _mm512_setr_epi32(4, 12, 20, 28, 5, 13, 21, 29, 6, 14, 22, 30, 7, 15, 23, 31);
    const __m512 a = _mm512_permutex2var_ps(r[0], low, r[1]);
    const __m512 b = _mm512_permutex2var_ps(r[0], high, r[1]);
    const __m512 c = _mm512_permutex2var_ps(r[2], low, r[3]);
    const __m512 d = _mm512_permutex2var_ps(r[2], high, r[3]);
    // Eight lanes of two components in each.
    const __m512i first = _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 4, 5, 6, 7, 20, 21, 22, 23);
    const __m512i second =
        _mm512_setr_epi32(8, 9, 10, 11, 24, 25, 26, 27, 12, 13, 14, 15, 28, 29, 30, 31);
    const __m512 c01 = _mm512_permutex2var_ps(a, first, c);
    const __m512 c23 = _mm512_permutex2var_ps(a, second, c);
    const __m512 c45 = _mm512_permutex2var_ps(b, first, d);
    Gradients512 g;
    g.g[0][0] = LowHalf(c01);
    g.g[0][1] = HighHalf(c01);
    g.g[0][2] = LowHalf(c23);
    g.g[1][0] = HighHalf(c23);
    g.g[1][1] = LowHalf(c45);
    g.g[1][2] = HighHalf(c45);
    return g;
}

LOOM_NOISE_AVX512_INLINE __m512d Dot512(const __m512d (&q)[3], __m512d rx, __m512d ry, __m512d rz) {
    return _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(rx, q[0]), _mm512_mul_pd(ry, q[1])),
                         _mm512_mul_pd(rz, q[2]));
}

LOOM_NOISE_AVX512_INLINE __m512d Lerp512(__m512d s, __m512d a, __m512d b) {
    return _mm512_add_pd(a, _mm512_mul_pd(s, _mm512_sub_pd(b, a)));
}

LOOM_NOISE_AVX512_INLINE __m512d SCurve512(__m512d r) {
    return _mm512_mul_pd(_mm512_mul_pd(r, r),
                         _mm512_sub_pd(_mm512_set1_pd(3.0), _mm512_mul_pd(_mm512_set1_pd(2.0), r)));
}

// One corner's two dot products (one per z plane), from its gradient rows.
struct Dots512 {
    __m512d plane[2];
};

LOOM_NOISE_AVX512_INLINE Dots512 CornerDots512(const NoiseTables& t, const std::uint32_t (&rows)[8],
                                               __m512d rx, __m512d ry, const Axis512& az) {
    const Gradients512 q = LoadCorner512(t, rows);
    return {{Dot512(q.g[0], rx, ry, az.r0), Dot512(q.g[1], rx, ry, az.r1)}};
}

#define LOOM_NOISE_VBMI_INLINE \
    __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx512vbmi"), always_inline)) inline

/// p8[index] for each of 64 byte lanes: two 128-entry permutes and a choice on bit 7.
LOOM_NOISE_VBMI_INLINE __m512i Permute(const __m512i (&p8)[4], __m512i index) {
    const __m512i low = _mm512_permutex2var_epi8(p8[0], index, p8[1]);
    const __m512i high = _mm512_permutex2var_epi8(p8[2], index, p8[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

/// CornerRows of eight samples with byte permutes: the same indices (byte sums wrap at
/// 256 as the tables do).
LOOM_NOISE_VBMI_INLINE void CornerRowsVbmi(const NoiseTables& t, __m256i bx, __m256i by, __m256i bz,
                                           std::uint32_t (&rows)[4][8]) {
    __m512i p8[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) p8[k] = _mm512_load_si512(t.p8 + 64 * k);
    const __m128i one = _mm_set1_epi8(1);
    const __m128i x = _mm256_cvtepi32_epi8(bx);  // eight bytes
    const __m128i y = _mm_unpacklo_epi64(_mm256_cvtepi32_epi8(by), _mm256_cvtepi32_epi8(by));
    const __m128i z = _mm_unpacklo_epi64(_mm256_cvtepi32_epi8(bz), _mm256_cvtepi32_epi8(bz));
    // i, j = p[bx0], p[bx1]
    const __m128i ij = _mm512_castsi512_si128(
        Permute(p8, _mm512_zextsi128_si512(_mm_unpacklo_epi64(x, _mm_add_epi8(x, one)))));
    // i + by0, j + by0; then the corners b00, b10 and b01, b11.
    const __m128i row0 = _mm_add_epi8(ij, y);
    const __m256i index = _mm256_set_m128i(_mm_add_epi8(row0, one), row0);
    const __m256i corners = _mm512_castsi512_si256(Permute(p8, _mm512_zextsi256_si512(index)));
    const __m256i m = _mm256_add_epi8(corners, _mm256_set_m128i(z, z));
    const __m512i low = _mm512_slli_epi32(_mm512_cvtepu8_epi32(_mm256_castsi256_si128(m)), 5);
    const __m512i high = _mm512_slli_epi32(_mm512_cvtepu8_epi32(_mm256_extracti128_si256(m, 1)), 5);
    static_assert(sizeof(NoiseTables::g3Pairs[0]) == 32);
    _mm512_storeu_si512(&rows[k00][0], low);   // k00, k10
    _mm512_storeu_si512(&rows[k01][0], high);  // k01, k11
}

struct Cell512 {
    Axis512 x, y, z;
};

LOOM_NOISE_AVX512_INLINE Cell512 Setup512(__m256 x, __m256 y, __m256 z) {
    return {Setup512(x), Setup512(y), Setup512(z)};
}

// The arithmetic once the corners' rows are known.
LOOM_NOISE_AVX512_INLINE __m256 Finish512(const NoiseTables& t, const Cell512& c,
                                          const std::uint32_t (&rows)[4][8]) {
    const Dots512 d00 = CornerDots512(t, rows[k00], c.x.r0, c.y.r0, c.z);
    const Dots512 d10 = CornerDots512(t, rows[k10], c.x.r1, c.y.r0, c.z);
    const Dots512 d01 = CornerDots512(t, rows[k01], c.x.r0, c.y.r1, c.z);
    const Dots512 d11 = CornerDots512(t, rows[k11], c.x.r1, c.y.r1, c.z);
    const __m512d sx = SCurve512(c.x.r0), sy = SCurve512(c.y.r0), sz = SCurve512(c.z.r0);
    __m512d plane[2];
    for (int k = 0; k < 2; ++k) {
        const __m512d a = Lerp512(sx, d00.plane[k], d10.plane[k]);
        const __m512d b = Lerp512(sx, d01.plane[k], d11.plane[k]);
        plane[k] = Lerp512(sy, a, b);
    }
    return _mm512_cvtpd_ps(Lerp512(sz, plane[0], plane[1]));
}

LOOM_NOISE_AVX512_INLINE __m256 Noise8(const NoiseTables& t, __m256 x, __m256 y, __m256 z) {
    const Cell512 c = Setup512(x, y, z);
    alignas(32) std::uint32_t bx[8], by[8], bz[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(bx), c.x.b0);
    _mm256_store_si256(reinterpret_cast<__m256i*>(by), c.y.b0);
    _mm256_store_si256(reinterpret_cast<__m256i*>(bz), c.z.b0);
    alignas(64) std::uint32_t rows[4][8];
    CornerRows<8>(t, bx, by, bz, rows);
    return Finish512(t, c, rows);
}

LOOM_NOISE_VBMI_INLINE __m256 Noise8Vbmi(const NoiseTables& t, __m256 x, __m256 y, __m256 z) {
    const Cell512 c = Setup512(x, y, z);
    alignas(64) std::uint32_t rows[4][8];
    CornerRowsVbmi(t, c.x.b0, c.y.b0, c.z.b0, rows);
    return Finish512(t, c, rows);
}

// ---- Wrapped lattices: the x and y indices taken modulo their periods ---------------

/// CornerRows with the cells' high indices given (a wrapped cell's high index is 0 at the
/// end of the period, not the low index + 1).
template <int kLanes>
[[gnu::always_inline]] inline void CornerRowsWrapped(const NoiseTables& t, const std::uint32_t* bx0,
                                                     const std::uint32_t* bx1,
                                                     const std::uint32_t* by0,
                                                     const std::uint32_t* by1,
                                                     const std::uint32_t* bz,
                                                     std::uint32_t (&rows)[4][kLanes]) {
#pragma GCC unroll 8
    for (int l = 0; l < kLanes; ++l) {
        const std::uint32_t i = static_cast<std::uint32_t>(t.p[bx0[l]]);
        const std::uint32_t j = static_cast<std::uint32_t>(t.p[bx1[l]]);
        const auto row = [&](std::int32_t b) {
            return ((static_cast<std::uint32_t>(b) + bz[l]) & kMask) * sizeof t.g3Pairs[0];
        };
        rows[k00][l] = row(t.p[i + by0[l]]);
        rows[k10][l] = row(t.p[j + by0[l]]);
        rows[k01][l] = row(t.p[i + by1[l]]);
        rows[k11][l] = row(t.p[j + by1[l]]);
    }
}

struct WrappedAxis512 {
    Axis512 axis;  // b0 wrapped
    __m256i b1;
};

/// The lattice index k brought into 0 .. p - 1 by a floor modulo (negative cells wrap as
/// positive ones do), from k in double. k and the quotient are whole numbers below 2^32 in
/// size, so the arithmetic in double is exact. k / p from the reciprocal is off by less
/// than 2^-21 / p, less than the distance 1 / p from k / p to any whole number it is not,
/// so the truncated quotient is one off at most where k / p is whole or negative, and the
/// remainder lies in -p .. 2p - 1: one subtraction and one addition of p bring it home.
LOOM_NOISE_AVX512_INLINE __m256i FloorModulo512(__m512d kd, const AxisPeriod& w) {
    const __m512d p = _mm512_set1_pd(static_cast<double>(w.period));
    const __m512d q = _mm512_roundscale_pd(_mm512_mul_pd(kd, _mm512_set1_pd(w.inverse)),
                                           _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    __m512d m = _mm512_sub_pd(kd, _mm512_mul_pd(q, p));
    m = _mm512_mask_sub_pd(m, _mm512_cmp_pd_mask(m, p, _CMP_GE_OQ), m, p);
    m = _mm512_mask_add_pd(m, _mm512_cmp_pd_mask(m, _mm512_setzero_pd(), _CMP_LT_OQ), m, p);
    return _mm512_cvttpd_epi32(m);
}

/// Setup512 with the lattice index wrapped at the period. Where every lane's k lies within
/// two periods above `base` (a multiple of p: as the cells of a tile's own coordinates do)
/// the modulo is at most one subtraction of p, in integers: the unsigned minimum of
/// k - base and k - base - p, which wraps round to a large number below p. Elsewhere the
/// floor modulo in double. The same remainder either way.
LOOM_NOISE_AVX512_INLINE WrappedAxis512 SetupWrapped512(__m256 c, const AxisPeriod& w) {
    const __m512d t = _mm512_add_pd(_mm512_cvtps_pd(c), _mm512_set1_pd(NOISE_N));
    const __m256i k = _mm512_cvttpd_epi32(t);
    const __m512d kd = _mm512_cvtepi32_pd(k);
    const __m256i period = _mm256_set1_epi32(w.period);
    const __m256i fromBase = _mm256_sub_epi32(k, _mm256_set1_epi32(w.base));
    const bool near =
        w.near && _mm256_cmplt_epu32_mask(fromBase, _mm256_add_epi32(period, period)) == 0xFF;
    const __m256i b = near ? _mm256_min_epu32(fromBase, _mm256_sub_epi32(fromBase, period))
                           : FloorModulo512(kd, w);
    const __m256i next = _mm256_add_epi32(b, _mm256_set1_epi32(1));
    const __m256i mask = _mm256_set1_epi32(kMask);
    WrappedAxis512 a;
    a.axis.r0 = _mm512_sub_pd(t, kd);
    a.axis.r1 = _mm512_sub_pd(a.axis.r0, _mm512_set1_pd(1.0));
    a.axis.b0 = _mm256_and_si256(b, mask);
    a.b1 = _mm256_and_si256(_mm256_andnot_si256(_mm256_cmpeq_epi32(next, period), next), mask);
    return a;
}

LOOM_NOISE_AVX512_INLINE __m256 Noise8Wrapped(const NoiseTables& t, const XyPeriods& periods,
                                              __m256 x, __m256 y, __m256 z) {
    const WrappedAxis512 wx = SetupWrapped512(x, periods.x);
    const WrappedAxis512 wy = SetupWrapped512(y, periods.y);
    const Cell512 c{wx.axis, wy.axis, Setup512(z)};
    alignas(32) std::uint32_t bx0[8], bx1[8], by0[8], by1[8], bz[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(bx0), wx.axis.b0);
    _mm256_store_si256(reinterpret_cast<__m256i*>(bx1), wx.b1);
    _mm256_store_si256(reinterpret_cast<__m256i*>(by0), wy.axis.b0);
    _mm256_store_si256(reinterpret_cast<__m256i*>(by1), wy.b1);
    _mm256_store_si256(reinterpret_cast<__m256i*>(bz), c.z.b0);
    alignas(64) std::uint32_t rows[4][8];
    CornerRowsWrapped<8>(t, bx0, bx1, by0, by1, bz, rows);
    return Finish512(t, c, rows);
}

/// CornerRowsVbmi with the cells' high indices given.
LOOM_NOISE_VBMI_INLINE void CornerRowsWrappedVbmi(const NoiseTables& t, __m256i bx0, __m256i bx1,
                                                  __m256i by0, __m256i by1, __m256i bz,
                                                  std::uint32_t (&rows)[4][8]) {
    __m512i p8[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) p8[k] = _mm512_load_si512(t.p8 + 64 * k);
    const __m128i x0 = _mm256_cvtepi32_epi8(bx0), x1 = _mm256_cvtepi32_epi8(bx1);
    const __m128i y0 = _mm256_cvtepi32_epi8(by0), y1 = _mm256_cvtepi32_epi8(by1);
    const __m128i z = _mm256_cvtepi32_epi8(bz);
    // i, j = p[bx0], p[bx1]
    const __m128i ij =
        _mm512_castsi512_si128(Permute(p8, _mm512_zextsi128_si512(_mm_unpacklo_epi64(x0, x1))));
    // i + by0, j + by0 and i + by1, j + by1; then the corners b00, b10 and b01, b11.
    const __m128i row0 = _mm_add_epi8(ij, _mm_unpacklo_epi64(y0, y0));
    const __m128i row1 = _mm_add_epi8(ij, _mm_unpacklo_epi64(y1, y1));
    const __m256i index = _mm256_set_m128i(row1, row0);
    const __m256i corners = _mm512_castsi512_si256(Permute(p8, _mm512_zextsi256_si512(index)));
    const __m128i zz = _mm_unpacklo_epi64(z, z);
    const __m256i m = _mm256_add_epi8(corners, _mm256_set_m128i(zz, zz));
    const __m512i low = _mm512_slli_epi32(_mm512_cvtepu8_epi32(_mm256_castsi256_si128(m)), 5);
    const __m512i high = _mm512_slli_epi32(_mm512_cvtepu8_epi32(_mm256_extracti128_si256(m, 1)), 5);
    _mm512_storeu_si512(&rows[k00][0], low);   // k00, k10
    _mm512_storeu_si512(&rows[k01][0], high);  // k01, k11
}

LOOM_NOISE_VBMI_INLINE __m256 Noise8WrappedVbmi(const NoiseTables& t, const XyPeriods& periods,
                                                __m256 x, __m256 y, __m256 z) {
    const WrappedAxis512 wx = SetupWrapped512(x, periods.x);
    const WrappedAxis512 wy = SetupWrapped512(y, periods.y);
    const Cell512 c{wx.axis, wy.axis, Setup512(z)};
    alignas(64) std::uint32_t rows[4][8];
    CornerRowsWrappedVbmi(t, wx.axis.b0, wx.b1, wy.axis.b0, wy.b1, c.z.b0, rows);
    return Finish512(t, c, rows);
}

// The whole batch eight at a time; the last few lanes padded with zeros (a lattice point:
// every read stays in range). The same loop for both forms.
#define LOOM_NOISE_EIGHT_AT_A_TIME(noise8, ...)                                                   \
    int i = 0;                                                                                    \
    for (; i + 8 <= n; i += 8) {                                                                  \
        _mm256_storeu_ps(out + i, noise8(__VA_ARGS__, _mm256_loadu_ps(x + i),                     \
                                         _mm256_loadu_ps(y + i), _mm256_loadu_ps(z + i)));        \
    }                                                                                             \
    if (i < n) {                                                                                  \
        const __mmask8 m = static_cast<__mmask8>((1u << (n - i)) - 1u);                           \
        _mm256_mask_storeu_ps(                                                                    \
            out + i, m,                                                                           \
            noise8(__VA_ARGS__, _mm256_maskz_loadu_ps(m, x + i), _mm256_maskz_loadu_ps(m, y + i), \
                   _mm256_maskz_loadu_ps(m, z + i)));                                             \
    }

LOOM_NOISE_AVX512 void Noise3Avx512Plain(const NoiseTables& t, const float* x, const float* y,
                                         const float* z, int n, float* out) noexcept {
    LOOM_NOISE_EIGHT_AT_A_TIME(Noise8, t)
}

__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx512vbmi"))) void Noise3Avx512Vbmi(
    const NoiseTables& t, const float* x, const float* y, const float* z, int n,
    float* out) noexcept {LOOM_NOISE_EIGHT_AT_A_TIME(Noise8Vbmi, t)}

LOOM_NOISE_AVX512
    void Noise3WrappedAvx512(const NoiseTables& t, const XyPeriods& periods, const float* x,
                             const float* y, const float* z, int n, float* out) noexcept {
    LOOM_NOISE_EIGHT_AT_A_TIME(Noise8Wrapped, t, periods)
}

__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx512vbmi"))) void
Noise3WrappedAvx512Vbmi(const NoiseTables& t, const XyPeriods& periods, const float* x,
                        const float* y, const float* z, int n, float* out) noexcept {
    LOOM_NOISE_EIGHT_AT_A_TIME(Noise8WrappedVbmi, t, periods)
}

// ---- AVX2: four samples, one per 64-bit lane, two groups a step ---------------------

#define LOOM_NOISE_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

struct Axis256 {
    __m256d r0, r1;
    __m128i b0;
};

LOOM_NOISE_AVX2_INLINE Axis256 Setup256(__m128 c) {
    const __m256d t = _mm256_add_pd(_mm256_cvtps_pd(c), _mm256_set1_pd(NOISE_N));
    const __m128i k = _mm256_cvttpd_epi32(t);
    Axis256 a;
    a.r0 = _mm256_sub_pd(t, _mm256_cvtepi32_pd(k));
    a.r1 = _mm256_sub_pd(a.r0, _mm256_set1_pd(1.0));
    a.b0 = _mm_and_si128(k, _mm_set1_epi32(kMask));
    return a;
}

struct Gradients256 {
    __m256d g[2][3];
};

LOOM_NOISE_AVX2_INLINE __m256d Widen256(__m128 floats) { return _mm256_cvtps_pd(floats); }

LOOM_NOISE_AVX2_INLINE Gradients256 LoadCorner256(const NoiseTables& t,
                                                  const std::uint32_t (&rows)[4]) {
    const __m256 r0 = _mm256_load_ps(Row(t, rows[0])), r1 = _mm256_load_ps(Row(t, rows[1]));
    const __m256 r2 = _mm256_load_ps(Row(t, rows[2])), r3 = _mm256_load_ps(Row(t, rows[3]));
    // A 4 x 4 transpose in each 128-bit half: components 0..3 and 4..7 of the four lanes.
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1), t1 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t2 = _mm256_unpacklo_ps(r2, r3), t3 = _mm256_unpackhi_ps(r2, r3);
    const __m256 c04 = _mm256_shuffle_ps(t0, t2, 0x44), c15 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 c2 = _mm256_shuffle_ps(t1, t3, 0x44), c3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    Gradients256 g;
    g.g[0][0] = Widen256(_mm256_castps256_ps128(c04));
    g.g[0][1] = Widen256(_mm256_castps256_ps128(c15));
    g.g[0][2] = Widen256(_mm256_castps256_ps128(c2));
    g.g[1][0] = Widen256(_mm256_castps256_ps128(c3));
    g.g[1][1] = Widen256(_mm256_extractf128_ps(c04, 1));
    g.g[1][2] = Widen256(_mm256_extractf128_ps(c15, 1));
    return g;
}

LOOM_NOISE_AVX2_INLINE __m256d Dot256(const __m256d (&q)[3], __m256d rx, __m256d ry, __m256d rz) {
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(rx, q[0]), _mm256_mul_pd(ry, q[1])),
                         _mm256_mul_pd(rz, q[2]));
}

LOOM_NOISE_AVX2_INLINE __m256d Lerp256(__m256d s, __m256d a, __m256d b) {
    return _mm256_add_pd(a, _mm256_mul_pd(s, _mm256_sub_pd(b, a)));
}

LOOM_NOISE_AVX2_INLINE __m256d SCurve256(__m256d r) {
    return _mm256_mul_pd(_mm256_mul_pd(r, r),
                         _mm256_sub_pd(_mm256_set1_pd(3.0), _mm256_mul_pd(_mm256_set1_pd(2.0), r)));
}

/// The arithmetic of four samples once their corners' rows are known.
LOOM_NOISE_AVX2_INLINE __m128 Finish256(const NoiseTables& t, const Axis256& ax, const Axis256& ay,
                                        const Axis256& az, const std::uint32_t (&rows)[4][4]) {
    const Gradients256 q00 = LoadCorner256(t, rows[k00]);
    const Gradients256 q10 = LoadCorner256(t, rows[k10]);
    const Gradients256 q01 = LoadCorner256(t, rows[k01]);
    const Gradients256 q11 = LoadCorner256(t, rows[k11]);
    const __m256d sx = SCurve256(ax.r0), sy = SCurve256(ay.r0), sz = SCurve256(az.r0);
    __m256d plane[2];
    for (int k = 0; k < 2; ++k) {
        const __m256d rz = k == 0 ? az.r0 : az.r1;
        const __m256d a =
            Lerp256(sx, Dot256(q00.g[k], ax.r0, ay.r0, rz), Dot256(q10.g[k], ax.r1, ay.r0, rz));
        const __m256d b =
            Lerp256(sx, Dot256(q01.g[k], ax.r0, ay.r1, rz), Dot256(q11.g[k], ax.r1, ay.r1, rz));
        plane[k] = Lerp256(sy, a, b);
    }
    return _mm256_cvtpd_ps(Lerp256(sz, plane[0], plane[1]));
}

LOOM_NOISE_AVX2_INLINE __m128 Noise4(const NoiseTables& t, __m128 x, __m128 y, __m128 z) {
    const Axis256 ax = Setup256(x), ay = Setup256(y), az = Setup256(z);
    alignas(16) std::uint32_t bx[4], by[4], bz[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(bx), ax.b0);
    _mm_store_si128(reinterpret_cast<__m128i*>(by), ay.b0);
    _mm_store_si128(reinterpret_cast<__m128i*>(bz), az.b0);
    std::uint32_t rows[4][4];
    CornerRows<4>(t, bx, by, bz, rows);
    return Finish256(t, ax, ay, az, rows);
}

struct WrappedAxis256 {
    Axis256 axis;  // b0 wrapped
    __m128i b1;
};

/// FloorModulo512 on four lanes.
LOOM_NOISE_AVX2_INLINE __m128i FloorModulo256(__m256d kd, const AxisPeriod& w) {
    const __m256d p = _mm256_set1_pd(static_cast<double>(w.period));
    const __m256d q = _mm256_round_pd(_mm256_mul_pd(kd, _mm256_set1_pd(w.inverse)),
                                      _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    __m256d m = _mm256_sub_pd(kd, _mm256_mul_pd(q, p));
    m = _mm256_sub_pd(m, _mm256_and_pd(_mm256_cmp_pd(m, p, _CMP_GE_OQ), p));
    m = _mm256_add_pd(m, _mm256_and_pd(_mm256_cmp_pd(m, _mm256_setzero_pd(), _CMP_LT_OQ), p));
    return _mm256_cvttpd_epi32(m);
}

/// SetupWrapped512 on four lanes.
LOOM_NOISE_AVX2_INLINE WrappedAxis256 SetupWrapped256(__m128 c, const AxisPeriod& w) {
    const __m256d t = _mm256_add_pd(_mm256_cvtps_pd(c), _mm256_set1_pd(NOISE_N));
    const __m128i k = _mm256_cvttpd_epi32(t);
    const __m256d kd = _mm256_cvtepi32_pd(k);
    const __m128i period = _mm_set1_epi32(w.period);
    const __m128i fromBase = _mm_sub_epi32(k, _mm_set1_epi32(w.base));
    // Below 2p unsigned: the minimum with 2p - 1 leaves the lane as it is.
    const __m128i last = _mm_sub_epi32(_mm_add_epi32(period, period), _mm_set1_epi32(1));
    const bool near = w.near && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_min_epu32(fromBase, last),
                                                                  fromBase)) == 0xFFFF;
    const __m128i b =
        near ? _mm_min_epu32(fromBase, _mm_sub_epi32(fromBase, period)) : FloorModulo256(kd, w);
    const __m128i next = _mm_add_epi32(b, _mm_set1_epi32(1));
    const __m128i mask = _mm_set1_epi32(kMask);
    WrappedAxis256 a;
    a.axis.r0 = _mm256_sub_pd(t, kd);
    a.axis.r1 = _mm256_sub_pd(a.axis.r0, _mm256_set1_pd(1.0));
    a.axis.b0 = _mm_and_si128(b, mask);
    a.b1 = _mm_and_si128(_mm_andnot_si128(_mm_cmpeq_epi32(next, period), next), mask);
    return a;
}

LOOM_NOISE_AVX2_INLINE __m128 Noise4Wrapped(const NoiseTables& t, const XyPeriods& periods,
                                            __m128 x, __m128 y, __m128 z) {
    const WrappedAxis256 wx = SetupWrapped256(x, periods.x);
    const WrappedAxis256 wy = SetupWrapped256(y, periods.y);
    const Axis256 az = Setup256(z);
    alignas(16) std::uint32_t bx0[4], bx1[4], by0[4], by1[4], bz[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(bx0), wx.axis.b0);
    _mm_store_si128(reinterpret_cast<__m128i*>(bx1), wx.b1);
    _mm_store_si128(reinterpret_cast<__m128i*>(by0), wy.axis.b0);
    _mm_store_si128(reinterpret_cast<__m128i*>(by1), wy.b1);
    _mm_store_si128(reinterpret_cast<__m128i*>(bz), az.b0);
    std::uint32_t rows[4][4];
    CornerRowsWrapped<4>(t, bx0, bx1, by0, by1, bz, rows);
    return Finish256(t, wx.axis, wy.axis, az, rows);
}

__attribute__((target("avx2"))) void Noise3WrappedAvx2(const NoiseTables& t,
                                                       const XyPeriods& periods, const float* x,
                                                       const float* y, const float* z, int n,
                                                       float* out) noexcept {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_ps(out + i, Noise4Wrapped(t, periods, _mm_loadu_ps(x + i), _mm_loadu_ps(y + i),
                                             _mm_loadu_ps(z + i)));
    }
    if (i < n) {
        // The last few lanes padded with zeros, as in Noise3Avx2.
        float px[4] = {}, py[4] = {}, pz[4] = {}, po[4];
        const int m = n - i;
        for (int k = 0; k < m; ++k) {
            px[k] = x[i + k];
            py[k] = y[i + k];
            pz[k] = z[i + k];
        }
        _mm_storeu_ps(
            po, Noise4Wrapped(t, periods, _mm_loadu_ps(px), _mm_loadu_ps(py), _mm_loadu_ps(pz)));
        for (int k = 0; k < m; ++k) out[i + k] = po[k];
    }
}

__attribute__((target("avx2"))) void Noise3Avx2(const NoiseTables& t, const float* x,
                                                const float* y, const float* z, int n,
                                                float* out) noexcept {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_ps(out + i,
                      Noise4(t, _mm_loadu_ps(x + i), _mm_loadu_ps(y + i), _mm_loadu_ps(z + i)));
    }
    if (i < n) {
        // The last few lanes padded with zeros (a lattice point: every read stays in range).
        float px[4] = {}, py[4] = {}, pz[4] = {}, po[4];
        const int m = n - i;
        for (int k = 0; k < m; ++k) {
            px[k] = x[i + k];
            py[k] = y[i + k];
            pz[k] = z[i + k];
        }
        _mm_storeu_ps(po, Noise4(t, _mm_loadu_ps(px), _mm_loadu_ps(py), _mm_loadu_ps(pz)));
        for (int k = 0; k < m; ++k) out[i + k] = po[k];
    }
}

}  // namespace

const Noise3Kernel kNoise3Avx512 = Noise3Avx512Plain;
const Noise3Kernel kNoise3Avx512Vbmi = Noise3Avx512Vbmi;
const Noise3Kernel kNoise3Avx2 = Noise3Avx2;
const Noise3WrappedKernel kNoise3WrappedAvx512 = Noise3WrappedAvx512;
const Noise3WrappedKernel kNoise3WrappedAvx512Vbmi = Noise3WrappedAvx512Vbmi;
const Noise3WrappedKernel kNoise3WrappedAvx2 = Noise3WrappedAvx2;

}  // namespace loom::noise::detail

#else

namespace loom::noise::detail {
const Noise3Kernel kNoise3Avx512 = nullptr;
const Noise3Kernel kNoise3Avx512Vbmi = nullptr;
const Noise3Kernel kNoise3Avx2 = nullptr;
const Noise3WrappedKernel kNoise3WrappedAvx512 = nullptr;
const Noise3WrappedKernel kNoise3WrappedAvx512Vbmi = nullptr;
const Noise3WrappedKernel kNoise3WrappedAvx2 = nullptr;
}  // namespace loom::noise::detail

#endif

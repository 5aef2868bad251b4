#include "app/core/video/packed_warp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/core/video/packed_warp_avx512.h"
#include "app/core/video/packed_warp_taps.h"
#include "foundation/host/base/vector_level.h"

namespace loom {
namespace {

using namespace packed_warp;

template <class T>
inline float Sample(const std::uint8_t* row, long index) {
    T v;
    std::memcpy(&v, row + index * static_cast<long>(sizeof(T)), sizeof(T));
    return static_cast<float>(v);
}

template <class T>
inline void Store(std::uint8_t* row, long index, float v, float top) {
    const T out = static_cast<T>(std::clamp(v, 0.0f, top) + 0.5f);
    std::memcpy(row + index * static_cast<long>(sizeof(T)), &out, sizeof(T));
}

/// A row's taps: for each position, the first of its four source indices and its weights.
/// Filled in a loop of its own, without branches, so that the compiler can vectorise it.
struct Taps {
    std::vector<int> first;
    std::vector<float> w0, w1, w2, w3;
    explicit Taps(std::size_t n) : first(n), w0(n), w1(n), w2(n), w3(n) {}
    /// Position `i` at coordinate `v`, held within -4..`limit` + 4 first (far outside, every
    /// tap misses anyway); truncation of a positive value is its floor.
    void Set(std::size_t i, double v, double limit) {
        const double c = std::min(std::max(v, -4.0), limit + 4) + 8;
        const int whole = static_cast<int>(c);
        const float f = static_cast<float>(c - whole);
        float w[4];
        CubicWeights(f, w);
        first[i] = whole - 8 - 1;
        w0[i] = w[0];
        w1[i] = w[1];
        w2[i] = w[2];
        w3[i] = w[3];
    }
};

template <class T>
void Warp(const std::uint8_t* src, int srcWidth, int srcHeight, const std::array<double, 9>& m,
          std::uint8_t* dst, int dstWidth, int yBegin, int yEnd) {
    constexpr float kTop = static_cast<float>(sizeof(T) == 1 ? 255 : 65535);
    const long srcStride = static_cast<long>(srcWidth) * 3;
    const long dstStride = static_cast<long>(dstWidth) * 3;
    const bool affine = m[6] == 0 && m[7] == 0;
    std::vector<float> line(static_cast<std::size_t>(srcWidth) * 3);
    Taps down(static_cast<std::size_t>(srcWidth)), along(static_cast<std::size_t>(dstWidth));
    const double lastX = dstWidth - 1;
    for (int y = yBegin; y < yEnd; ++y) {
        // Along output row y: source x = (a x + b) / (c x + d), source y = (e x + f) / (c x + d).
        const double a = m[0], b = m[1] * y + m[2], c = m[6], d = m[7] * y + m[8];
        const double e = m[3], f = m[4] * y + m[5];
        std::uint8_t* out = dst + y * dstStride * static_cast<long>(sizeof(T));
        // The source columns the row's taps reach (the mapping is monotonic along the row).
        const double x0 = b / d, x1 = (a * lastX + b) / (c * lastX + d);
        const double lo = std::max(std::floor(std::min(x0, x1)) - 1, 0.0);
        const double hi = std::min(std::floor(std::max(x0, x1)) + 2, srcWidth - 1.0);
        if (!(lo <= hi)) {
            std::memset(out, 0, static_cast<std::size_t>(dstStride) * sizeof(T));
            continue;
        }
        const int uMin = static_cast<int>(lo), uMax = static_cast<int>(hi);
        // First pass: down each source column, at the height where the mapped row crosses it
        // (at output x = (b - u d) / (u c - a)).
        if (affine) {
            const double ia = 1 / a;
            for (int u = uMin; u <= uMax; ++u) {
                down.Set(static_cast<std::size_t>(u), e * ((u - b) * ia) + f, srcHeight);
            }
        } else {
            for (int u = uMin; u <= uMax; ++u) {
                const double x = (b - u * d) / (u * c - a);
                down.Set(static_cast<std::size_t>(u), (e * x + f) / (c * x + d), srcHeight);
            }
        }
        for (int u = uMin; u <= uMax; ++u) {
            const std::size_t i = static_cast<std::size_t>(u);
            const float w[4] = {down.w0[i], down.w1[i], down.w2[i], down.w3[i]};
            const int top = down.first[i];
            float r = 0, g = 0, bl = 0;
            const long at = static_cast<long>(u) * 3;
            if (top >= 0 && top + 3 < srcHeight) {
                const std::uint8_t* p = src + top * srcStride * static_cast<long>(sizeof(T));
                for (int k = 0; k < 4; ++k) {
                    const long i3 = at + k * srcStride;
                    r += w[k] * Sample<T>(p, i3);
                    g += w[k] * Sample<T>(p, i3 + 1);
                    bl += w[k] * Sample<T>(p, i3 + 2);
                }
            } else {
                // Rows outside the source are black.
                for (int k = 0; k < 4; ++k) {
                    const int row = top + k;
                    if (row < 0 || row >= srcHeight) continue;
                    const std::uint8_t* p = src + row * srcStride * static_cast<long>(sizeof(T));
                    r += w[k] * Sample<T>(p, at);
                    g += w[k] * Sample<T>(p, at + 1);
                    bl += w[k] * Sample<T>(p, at + 2);
                }
            }
            float* to = &line[i * 3];
            to[0] = r;
            to[1] = g;
            to[2] = bl;
        }
        // Second pass: along the interpolated row, at each output pixel's position.
        if (affine) {
            for (int x = 0; x < dstWidth; ++x) {
                along.Set(static_cast<std::size_t>(x), a * x + b, srcWidth);
            }
        } else {
            for (int x = 0; x < dstWidth; ++x) {
                along.Set(static_cast<std::size_t>(x), (a * x + b) / (c * x + d), srcWidth);
            }
        }
        for (int x = 0; x < dstWidth; ++x) {
            const std::size_t i = static_cast<std::size_t>(x);
            const float w[4] = {along.w0[i], along.w1[i], along.w2[i], along.w3[i]};
            const int left = along.first[i];
            float r = 0, g = 0, bl = 0;
            if (left >= uMin && left + 3 <= uMax) {
                const float* p = &line[static_cast<std::size_t>(left) * 3];
                for (int k = 0; k < 4; ++k) {
                    r += w[k] * p[3 * k];
                    g += w[k] * p[3 * k + 1];
                    bl += w[k] * p[3 * k + 2];
                }
            } else {
                // Taps outside the source (outside uMin..uMax) are black.
                for (int k = 0; k < 4; ++k) {
                    const int u = left + k;
                    if (u < uMin || u > uMax) continue;
                    const float* p = &line[static_cast<std::size_t>(u) * 3];
                    r += w[k] * p[0];
                    g += w[k] * p[1];
                    bl += w[k] * p[2];
                }
            }
            Store<T>(out, static_cast<long>(x) * 3, r, kTop);
            Store<T>(out, static_cast<long>(x) * 3 + 1, g, kTop);
            Store<T>(out, static_cast<long>(x) * 3 + 2, bl, kTop);
        }
    }
}

/// First pass, plain code: four rows (`rows[k]`, black rows are zero rows) at column `u`.
inline void DownPlain(const std::uint8_t* const rows[4], long at, const std::int16_t* w,
                      std::int16_t* to) {
    for (int ch = 0; ch < 3; ++ch) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += w[k] * rows[k][at + ch];
        to[ch] = static_cast<std::int16_t>(std::clamp(RoundShift(sum, kPass1Shift), -32768, 32767));
    }
    to[3] = 0;
}

/// Second pass, plain code: taps at line pixels `p[0..3]` (four 16-bit values each).
inline void AlongPlain(const std::int16_t* p, const std::int16_t* w, std::uint8_t* out) {
    for (int ch = 0; ch < 3; ++ch) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += w[k] * p[4 * k + ch];
        out[ch] = static_cast<std::uint8_t>(std::clamp(RoundShift(sum, kPass2Shift), 0, 255));
    }
}

#if defined(__SSE2__)
/// Two rows' pixels at byte `at` as 16-bit (a0, b0, a1, b1, a2, b2, a3, b3), the fourth
/// byte being the next pixel's (its lane is never used). `safe`: the last pixel of the
/// source, whose fourth byte lies past its end.
inline __m128i PairRows(const std::uint8_t* a, const std::uint8_t* b, long at, bool safe) {
    std::uint32_t va = 0, vb = 0;
    if (safe) {
        std::memcpy(&va, a + at, 3);
        std::memcpy(&vb, b + at, 3);
    } else {
        std::memcpy(&va, a + at, 4);
        std::memcpy(&vb, b + at, 4);
    }
    const __m128i ab = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(va)),
                                         _mm_cvtsi32_si128(static_cast<int>(vb)));
    return _mm_unpacklo_epi8(ab, _mm_setzero_si128());
}

inline __m128i WeightPair(const std::int16_t* w) {
    std::uint32_t pair;
    std::memcpy(&pair, w, sizeof pair);
    return _mm_set1_epi32(static_cast<int>(pair));
}

/// Eight sums of four taps, rounded and shifted by kShift and saturated to 16-bit words:
/// value i is w0 a0[i] + w1 a1[i] + w2 a2[i] + w3 a3[i] (`w01`, `w23`: WeightPair).
template <int kShift>
inline __m128i FourTaps(__m128i a0, __m128i a1, __m128i a2, __m128i a3, __m128i w01, __m128i w23) {
    const __m128i round = _mm_set1_epi32(1 << (kShift - 1));
    const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a0, a1), w01),
                                     _mm_madd_epi16(_mm_unpacklo_epi16(a2, a3), w23));
    const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a0, a1), w01),
                                     _mm_madd_epi16(_mm_unpackhi_epi16(a2, a3), w23));
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, round), kShift),
                           _mm_srai_epi32(_mm_add_epi32(hi, round), kShift));
}

inline void DownSse2(const std::uint8_t* const rows[4], long at, bool safe, const std::int16_t* w,
                     std::int16_t* to) {
    __m128i sum =
        _mm_add_epi32(_mm_madd_epi16(PairRows(rows[0], rows[1], at, safe), WeightPair(w)),
                      _mm_madd_epi16(PairRows(rows[2], rows[3], at, safe), WeightPair(w + 2)));
    sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (kPass1Shift - 1))), kPass1Shift);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packs_epi32(sum, sum));
}

inline void AlongSse2(const std::int16_t* p, const std::int16_t* w, std::uint8_t* out) {
    const __m128i t01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i t23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
    __m128i sum = _mm_add_epi32(
        _mm_madd_epi16(_mm_unpacklo_epi16(t01, _mm_srli_si128(t01, 8)), WeightPair(w)),
        _mm_madd_epi16(_mm_unpacklo_epi16(t23, _mm_srli_si128(t23, 8)), WeightPair(w + 2)));
    sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (kPass2Shift - 1))), kPass2Shift);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sum, sum), _mm_setzero_si128());
    const std::uint32_t v = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
    std::memcpy(out, &v, 3);
}
#endif

void Warp8(const std::uint8_t* src, int srcWidth, int srcHeight, const std::array<double, 9>& m,
           std::uint8_t* dst, int dstWidth, int yBegin, int yEnd, bool vector) {
    const WeightTable& table = Weights();
    const long stride = static_cast<long>(srcWidth) * 3;
    const std::vector<std::uint8_t> blackRow(static_cast<std::size_t>(stride) + 4, 0);
    // The row's line, four 16-bit values a source pixel, with black margins.
    std::vector<std::int16_t> line(static_cast<std::size_t>(srcWidth + 2 * kLineMargin) * 4, 0);
    RowTaps taps(m, srcWidth, srcHeight, dstWidth);
    for (int y = yBegin; y < yEnd; ++y) {
        std::uint8_t* out = dst + static_cast<long>(y) * dstWidth * 3;
        if (!taps.Set(y)) {
            std::memset(out, 0, static_cast<std::size_t>(dstWidth) * 3);
            continue;
        }
        taps.Expand();
        const int uMin = taps.uMin, uMax = taps.uMax;
        for (int u = uMin; u <= uMax; ++u) {
            const FixedTap tap = taps.down[static_cast<std::size_t>(u - uMin)];
            const std::uint8_t* rows[4];
            if (tap.first >= 0 && tap.first + 3 < srcHeight) {
                for (int k = 0; k < 4; ++k) rows[k] = src + (tap.first + k) * stride;
            } else {
                for (int k = 0; k < 4; ++k) {
                    const int row = tap.first + k;
                    rows[k] = row >= 0 && row < srcHeight ? src + row * stride : blackRow.data();
                }
            }
            const std::int16_t* w = table[static_cast<std::size_t>(tap.weights)].data();
            std::int16_t* to = &line[static_cast<std::size_t>(u + kLineMargin) * 4];
            const long at = static_cast<long>(u) * 3;
#if defined(__SSE2__)
            if (vector) {
                DownSse2(rows, at, u == srcWidth - 1, w, to);
                continue;
            }
#endif
            DownPlain(rows, at, w, to);
        }
        // Only uMin..uMax were written: clear what an earlier row left beside them.
        for (int u : {uMin - 1, uMax + 1}) {
            if (u >= 0 && u < srcWidth) {
                std::fill_n(&line[static_cast<std::size_t>(u + kLineMargin) * 4], 4, 0);
            }
        }
        for (int x = 0; x < dstWidth; ++x) {
            const FixedTap tap = taps.along[static_cast<std::size_t>(x)];
            const std::int16_t* p = &line[static_cast<std::size_t>(tap.first + kLineMargin) * 4];
            const std::int16_t* w = table[static_cast<std::size_t>(tap.weights)].data();
#if defined(__SSE2__)
            if (vector) {
                AlongSse2(p, w, out + x * 3);
                continue;
            }
#endif
            AlongPlain(p, w, out + x * 3);
        }
    }
}

/// How far a correction may move the source position of any output pixel from one
/// translation for the view to be resampled as that translation: about what the
/// estimate cannot tell apart (on 1080p H.264 frames its rotation varies by some 0.004
/// degrees from frame to frame, 0.07 px at the corners), and far under the residuals
/// allowed (a median of 0.25 px).
constexpr double kTranslationTolerance = 0.1;

/// The translation (source = output + (tx, ty)) that `m` (output -> source) keeps within
/// kTranslationTolerance of over a `w` x `h` output, if there is one. The deviation from a
/// translation grows towards the edges: the corners, the edges' middles and the centre
/// are checked.
bool NearTranslation(const std::array<double, 9>& m, int w, int h, double& tx, double& ty) {
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
    const auto source = [&m](double x, double y, double& sx, double& sy) {
        const double d = m[6] * x + m[7] * y + m[8];
        sx = (m[0] * x + m[1] * y + m[2]) / d;
        sy = (m[3] * x + m[4] * y + m[5]) / d;
    };
    source(cx, cy, tx, ty);
    tx -= cx;
    ty -= cy;
    for (const double x : {0.0, cx, w - 1.0}) {
        for (const double y : {0.0, cy, h - 1.0}) {
            double sx = 0, sy = 0;
            source(x, y, sx, sy);
            if (!(std::abs(sx - x - tx) <= kTranslationTolerance &&
                  std::abs(sy - y - ty) <= kTranslationTolerance)) {
                return false;
            }
        }
    }
    return std::abs(tx) < 1e6 && std::abs(ty) < 1e6;
}

/// A position's first tap and weights, rounded to 1/1024 pixel from 32.32 fixed point as
/// FillTaps rounds them (|v| under 1e6).
FixedTap TapAt(double v) {
    const std::int64_t fixed =
        static_cast<std::int64_t>(v * 4294967296.0) + (std::int64_t{8} << kFractionBits);
    const auto q = static_cast<int>((fixed + (std::int64_t{1} << 21)) >> 22);
    return {(q >> 10) - 8 - 1, q & (kSteps - 1)};
}

/// Vertical pass of a translation: `n` values of four rows weighted alike, to the line's
/// 16-bit values (as DownPlain).
void DownRun(const std::uint8_t* const rows[4], const std::int16_t* w, long n, std::int16_t* to,
             bool vector) {
    long j = 0;
#if defined(__SSE2__)
    if (vector) {
        const __m128i zero = _mm_setzero_si128(), w01 = WeightPair(w), w23 = WeightPair(w + 2);
        const auto load = [&](int k) {
            return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[k] + j)),
                                     zero);
        };
        for (; j + 8 <= n; j += 8) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + j),
                             FourTaps<kPass1Shift>(load(0), load(1), load(2), load(3), w01, w23));
        }
    }
#endif
    for (; j < n; ++j) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += w[k] * rows[k][j];
        to[j] = static_cast<std::int16_t>(std::clamp(RoundShift(sum, kPass1Shift), -32768, 32767));
    }
}

/// Horizontal pass of a translation: `n` output values, value j from line values j, j + 3,
/// j + 6 and j + 9 weighted alike (as AlongPlain).
void AlongRun(const std::int16_t* line, const std::int16_t* w, long n, std::uint8_t* out,
              bool vector) {
    long j = 0;
#if defined(__SSE2__)
    if (vector) {
        const __m128i w01 = WeightPair(w), w23 = WeightPair(w + 2);
        const auto load = [&](int k) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + j + 3 * k));
        };
        for (; j + 8 <= n; j += 8) {
            const __m128i words =
                FourTaps<kPass2Shift>(load(0), load(1), load(2), load(3), w01, w23);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(words, words));
        }
    }
#endif
    for (; j < n; ++j) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += w[k] * line[j + 3 * k];
        out[j] = static_cast<std::uint8_t>(std::clamp(RoundShift(sum, kPass2Shift), 0, 255));
    }
}

/// An 8-bit view moved by (tx, ty) (source = output + t): the two passes of Warp8 with
/// every column's and every output pixel's weights the same, run along whole rows.
void Translate8(const std::uint8_t* src, int srcWidth, int srcHeight, double tx, double ty,
                std::uint8_t* dst, int dstWidth, int yBegin, int yEnd, bool vector) {
    const WeightTable& table = Weights();
    const long stride = static_cast<long>(srcWidth) * 3;
    const FixedTap across = TapAt(tx);
    // The line holds source columns lo .. lo + dstWidth + 2 (what the taps reach), black
    // outside the view, with room for the vector code's reads past its end.
    const long lo = across.first, count = static_cast<long>(dstWidth) + 3;
    const long from = std::max(lo, 0L), to = std::min(lo + count, static_cast<long>(srcWidth));
    if (from >= to) {
        std::memset(dst + static_cast<long>(yBegin) * dstWidth * 3, 0,
                    static_cast<std::size_t>(dstWidth) * (yEnd - yBegin) * 3);
        return;
    }
    std::vector<std::int16_t> line(static_cast<std::size_t>(count) * 3 + 16, 0);
    const std::vector<std::uint8_t> blackRow(static_cast<std::size_t>(stride), 0);
    const std::int16_t* alongWeights = table[static_cast<std::size_t>(across.weights)].data();
    for (int y = yBegin; y < yEnd; ++y) {
        // A row far outside the view is held near it, where every tap misses anyway.
        const FixedTap down = TapAt(std::clamp(y + ty, -4.0, srcHeight + 4.0));
        const std::uint8_t* rows[4];
        for (int k = 0; k < 4; ++k) {
            const int row = down.first + k;
            rows[k] =
                (row >= 0 && row < srcHeight ? src + row * stride : blackRow.data()) + from * 3;
        }
        DownRun(rows, table[static_cast<std::size_t>(down.weights)].data(), (to - from) * 3,
                &line[static_cast<std::size_t>(from - lo) * 3], vector);
        AlongRun(line.data(), alongWeights, static_cast<long>(dstWidth) * 3,
                 dst + static_cast<long>(y) * dstWidth * 3, vector);
    }
}

}  // namespace

void WarpPackedRgb(const std::uint8_t* src, int srcWidth, int srcHeight, int bits,
                   const std::array<double, 9>& forward, std::uint8_t* dst, int dstWidth,
                   int dstHeight, PackedWarpPath path, int threads) {
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1) {
        throw std::invalid_argument("nothing to resample");
    }
    if (bits != 8 && bits != 16) throw std::invalid_argument("packed pixels of 8 or 16 bits");
    const std::array<double, 9> m = InverseCorrection(forward);
    // The denominator is linear over the output: positive at its corners, positive inside.
    for (const double x : {0.0, dstWidth - 1.0}) {
        for (const double y : {0.0, dstHeight - 1.0}) {
            if (!(m[6] * x + m[7] * y + m[8] > 1e-9)) {
                throw std::invalid_argument("the correction folds the view");
            }
        }
    }
    // A column the mapped rows run along (u c - a = 0) would take no single crossing point.
    if (!(m[0] * (m[0] - (srcWidth - 1.0) * m[6]) > 1e-9)) {
        throw std::invalid_argument("the correction turns the view too far");
    }
    const bool vector = ActiveVectorLevel() != VectorLevel::kScalar;
    const bool wide = bits == 8 && Warp8Avx512Runs();
    double tx = 0, ty = 0;
    const bool translation = bits == 8 && path == PackedWarpPath::kAny &&
                             NearTranslation(m, dstWidth, dstHeight, tx, ty);
    // Output rows yBegin..yEnd - 1; each row is computed alone, so bands give the same bytes
    // on any number of threads.
    const auto band = [&](int yBegin, int yEnd) {
        if (translation) {
            Translate8(src, srcWidth, srcHeight, tx, ty, dst, dstWidth, yBegin, yEnd, vector);
        } else if (wide) {
            Warp8Avx512(src, srcWidth, srcHeight, m, dst, dstWidth, yBegin, yEnd);
        } else if (bits == 8) {
            Warp8(src, srcWidth, srcHeight, m, dst, dstWidth, yBegin, yEnd, vector);
        } else {
            Warp<std::uint16_t>(src, srcWidth, srcHeight, m, dst, dstWidth, yBegin, yEnd);
        }
    };
    const int bands = std::clamp(threads, 1, std::max(1, dstHeight / 16));
    std::vector<std::future<void>> others;
    for (int i = 1; i < bands; ++i) {
        others.push_back(std::async(std::launch::async, band, dstHeight * i / bands,
                                    dstHeight * (i + 1) / bands));
    }
    band(0, dstHeight / bands);
    for (std::future<void>& f : others) f.get();
}

}  // namespace loom

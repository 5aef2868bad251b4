#include "app/core/video/packed_warp_avx512.h"

#include <cstring>
#include <vector>

#include "app/core/video/packed_warp_taps.h"
#include "foundation/host/base/vector_level.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// GCC 12's AVX-512 headers build vectors from a deliberately undefined one, which
// -Wmaybe-uninitialized and -Wuninitialized report inside the headers when this file
// inlines them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#define LOOM_WARP_AVX512 1
#endif

namespace loom::packed_warp {

#if defined(LOOM_WARP_AVX512)
namespace {

#define LOOM_WARP_TARGET __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi")))
#define LOOM_WARP_INLINE \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi"), always_inline)) inline

/// The line between the passes: one plane of 16-bit values a channel, source column u at
/// u + kLineMargin, with room for a 32-value window read from any tap.
constexpr int kPlanePadding = 32;

/// The taps of a group of sixteen: first taps and weight rows in separate vectors.
struct GroupTaps {
    __m512i first, weights;
    int firstMin, firstMax;  ///< of the sixteen (positions along a run are monotonic)
};

// A group of sixteen is one run of positions.
static_assert(kSegment == 16);

/// Eight positions held within lo..hi, in 1/1024ths.
LOOM_WARP_INLINE __m256i HeldSteps(__m512i pos, __m512i lo, __m512i hi) {
    const __m512i round = _mm512_set1_epi64(std::int64_t{1} << (TapHold::kToSteps - 1));
    const __m512i held = _mm512_min_epi64(_mm512_max_epi64(pos, lo), hi);
    return _mm512_cvtepi64_epi32(
        _mm512_srai_epi64(_mm512_add_epi64(held, round), TapHold::kToSteps));
}

/// The taps of the sixteen positions of a run: start + j step, held, to 1/1024 pixel.
LOOM_WARP_INLINE GroupTaps TapsOfRun(const TapRun& run, const TapHold& hold) {
    const __m512i step = _mm512_set1_epi64(run.step);
    const __m512i low =
        _mm512_add_epi64(_mm512_set1_epi64(run.start),
                         _mm512_mullo_epi64(step, _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7)));
    const __m512i high = _mm512_add_epi64(low, _mm512_slli_epi64(step, 3));
    const __m512i lo = _mm512_set1_epi64(hold.lo), hi = _mm512_set1_epi64(hold.hi);
    const __m512i q = _mm512_inserti64x4(_mm512_castsi256_si512(HeldSteps(low, lo, hi)),
                                         HeldSteps(high, lo, hi), 1);
    const int ends[2] = {hold.At(run.start).first, hold.At(run.start + 15 * run.step).first};
    return {_mm512_sub_epi32(_mm512_srai_epi32(q, 10), _mm512_set1_epi32(8 + 1)),
            _mm512_and_si512(q, _mm512_set1_epi32(kSteps - 1)), std::min(ends[0], ends[1]),
            std::max(ends[0], ends[1])};
}

/// Each lane's weights of taps 0 and 1 (low vector) and 2 and 3 (high) as 16-bit pairs.
LOOM_WARP_INLINE void WeightPairs(__m512i rows, const WeightTable& table, __m512i& w01,
                                  __m512i& w23) {
    // A table row (four weights) is 8 bytes: two gathers of eight rows, then the halves.
    static_assert(sizeof(table[0]) == 8);
    const auto* row = reinterpret_cast<const long long*>(table.data());
    const __m512i a = _mm512_i32gather_epi64(_mm512_castsi512_si256(rows), row, 8);
    const __m512i b = _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(rows, 1), row, 8);
    const __m512i even =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    w01 = _mm512_permutex2var_epi32(a, even, b);
    w23 = _mm512_permutex2var_epi32(a, _mm512_add_epi32(even, _mm512_set1_epi32(1)), b);
}

/// Byte indices that pair channel `ch` of sixteen packed pixels of two rows as 16-bit
/// values: lane i takes byte 3i + ch of the first row and of the second (offset 64).
struct PairIndices {
    alignas(64) std::uint8_t bytes[3][64];
    PairIndices() {
        for (int ch = 0; ch < 3; ++ch) {
            for (int i = 0; i < 16; ++i) {
                bytes[ch][4 * i] = static_cast<std::uint8_t>(3 * i + ch);
                bytes[ch][4 * i + 1] = 0;
                bytes[ch][4 * i + 2] = static_cast<std::uint8_t>(64 + 3 * i + ch);
                bytes[ch][4 * i + 3] = 0;
            }
        }
    }
};

/// Byte indices that interleave three planes of sixteen bytes (at 0, 16 and 32) into
/// sixteen packed pixels.
struct InterleaveIndices {
    alignas(64) std::uint8_t bytes[64]{};
    InterleaveIndices() {
        for (int i = 0; i < 16; ++i) {
            for (int ch = 0; ch < 3; ++ch)
                bytes[3 * i + ch] = static_cast<std::uint8_t>(16 * ch + i);
        }
    }
};

const PairIndices kPairs;
const InterleaveIndices kInterleave;
constexpr __mmask64 kEvenBytesOfPairs = 0x5555555555555555ULL;
constexpr __mmask64 kSixteenPixels = (__mmask64{1} << 48) - 1;

/// Channel `ch` of rows a and b, paired for the multiply-adds, zero-extended.
LOOM_WARP_INLINE __m512i Paired(__m512i a, __m512i b, int ch) {
    return _mm512_maskz_permutex2var_epi8(kEvenBytesOfPairs, a, _mm512_load_si512(kPairs.bytes[ch]),
                                          b);
}

/// The source rows a group's taps read, black outside the view.
struct SourceRows {
    const std::uint8_t* src;
    long stride;
    int height;
    const std::uint8_t* black;
    const std::uint8_t* Row(int row) const {
        return row >= 0 && row < height ? src + row * stride : black;
    }
};

/// First pass of one column (plain code): the same sums as the vector code.
void DownOne(const SourceRows& rows, FixedTap tap, const WeightTable& table, int u,
             std::int16_t* const planes[3]) {
    const std::int16_t* w = table[static_cast<std::size_t>(tap.weights)].data();
    for (int ch = 0; ch < 3; ++ch) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += w[k] * rows.Row(tap.first + k)[u * 3L + ch];
        planes[ch][u + kLineMargin] =
            static_cast<std::int16_t>(std::clamp(RoundShift(sum, kPass1Shift), -32768, 32767));
    }
}

/// First pass of sixteen columns u..u+15, whose first taps differ by at most one row
/// (false, nothing written, otherwise): a lane whose taps start a row lower takes its sums
/// from the rows one lower, with the same weights.
LOOM_WARP_INLINE bool DownGroup(const SourceRows& rows, const GroupTaps& g,
                                const WeightTable& table, int u, std::int16_t* const planes[3]) {
    const int top = g.firstMin;
    const bool lowered = g.firstMax > top;
    if (g.firstMax - top > 1) return false;
    __m512i w01, w23;
    WeightPairs(g.weights, table, w01, w23);
    // Whole vectors load much sooner than masked ones; the bytes past the sixteen pixels
    // are not used. The last group of a row loads what is left of it.
    const bool whole = u * 3L + 64 <= rows.stride;
    const auto load = [&](int k) LOOM_WARP_TARGET {
        const std::uint8_t* p = rows.Row(top + k) + u * 3L;
        return whole ? _mm512_loadu_si512(p) : _mm512_maskz_loadu_epi8(kSixteenPixels, p);
    };
    const __m512i r0 = load(0), r1 = load(1), r2 = load(2), r3 = load(3);
    const __m512i r4 = lowered ? load(4) : _mm512_setzero_si512();
    const __mmask16 low = _mm512_cmpgt_epi32_mask(g.first, _mm512_set1_epi32(top));
    const __m512i round = _mm512_set1_epi32(1 << (kPass1Shift - 1));
    for (int ch = 0; ch < 3; ++ch) {
        __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(Paired(r0, r1, ch), w01),
                                       _mm512_madd_epi16(Paired(r2, r3, ch), w23));
        if (lowered) {
            const __m512i below = _mm512_add_epi32(_mm512_madd_epi16(Paired(r1, r2, ch), w01),
                                                   _mm512_madd_epi16(Paired(r3, r4, ch), w23));
            sum = _mm512_mask_blend_epi32(low, sum, below);
        }
        const __m512i v = _mm512_srai_epi32(_mm512_add_epi32(sum, round), kPass1Shift);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(planes[ch] + u + kLineMargin),
                            _mm512_cvtsepi32_epi16(v));
    }
    return true;
}

/// Second pass of one output pixel (plain code).
void AlongOne(const std::int16_t* const planes[3], FixedTap tap, const WeightTable& table,
              std::uint8_t* out) {
    const std::int16_t* w = table[static_cast<std::size_t>(tap.weights)].data();
    for (int ch = 0; ch < 3; ++ch) {
        const std::int16_t* p = planes[ch] + tap.first + kLineMargin;
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += w[k] * p[k];
        out[ch] = static_cast<std::uint8_t>(std::clamp(RoundShift(sum, kPass2Shift), 0, 255));
    }
}

/// Second pass of sixteen output pixels whose taps lie within 32 line values (false,
/// nothing written, otherwise): each lane's four taps are picked from one window.
LOOM_WARP_INLINE bool AlongGroup(const std::int16_t* const planes[3], const GroupTaps& g,
                                 const WeightTable& table, std::uint8_t* out) {
    const int base = g.firstMin;
    if (g.firstMax - base > 32 - 4) return false;
    __m512i w01, w23;
    WeightPairs(g.weights, table, w01, w23);
    // Lane i's 16-bit halves pick window values first - base and the one after.
    const __m512i rel = _mm512_sub_epi32(g.first, _mm512_set1_epi32(base));
    const __m512i pick01 = _mm512_add_epi32(_mm512_mullo_epi32(rel, _mm512_set1_epi32(0x10001)),
                                            _mm512_set1_epi32(0x10000));
    const __m512i pick23 = _mm512_add_epi32(pick01, _mm512_set1_epi32(0x20002));
    const __m512i round = _mm512_set1_epi32(1 << (kPass2Shift - 1));
    __m512i bytes = _mm512_setzero_si512();
    for (int ch = 0; ch < 3; ++ch) {
        const __m512i window = _mm512_loadu_si512(planes[ch] + base + kLineMargin);
        const __m512i sum =
            _mm512_add_epi32(_mm512_madd_epi16(_mm512_permutexvar_epi16(pick01, window), w01),
                             _mm512_madd_epi16(_mm512_permutexvar_epi16(pick23, window), w23));
        const __m512i v = _mm512_max_epi32(
            _mm512_srai_epi32(_mm512_add_epi32(sum, round), kPass2Shift), _mm512_setzero_si512());
        const __m128i level = _mm512_cvtusepi32_epi8(v);
        bytes = ch == 0   ? _mm512_castsi128_si512(level)
                : ch == 1 ? _mm512_inserti32x4(bytes, level, 1)
                          : _mm512_inserti32x4(bytes, level, 2);
    }
    const __m512i pixels = _mm512_permutexvar_epi8(_mm512_load_si512(kInterleave.bytes), bytes);
    // 32 and 16 bytes: plain stores are much quicker than a masked one.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_castsi512_si256(pixels));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm512_extracti32x4_epi32(pixels, 2));
    return true;
}

/// First pass of a row: every column uMin..uMax into the planes.
LOOM_WARP_TARGET void DownRow(const SourceRows& rows, const RowTaps& taps, const WeightTable& table,
                              std::int16_t* const planes[3]) {
    const int columns = taps.uMax - taps.uMin + 1;
    int i = 0;
    for (; i + 16 <= columns; i += 16) {
        const GroupTaps g =
            TapsOfRun(taps.downRuns[static_cast<std::size_t>(i / 16)], taps.downHold);
        if (DownGroup(rows, g, table, taps.uMin + i, planes)) continue;
        for (int j = i; j < i + 16; ++j)
            DownOne(rows, taps.DownTap(j), table, taps.uMin + j, planes);
    }
    for (; i < columns; ++i) DownOne(rows, taps.DownTap(i), table, taps.uMin + i, planes);
}

/// Second pass of a row: `width` output pixels from the planes.
LOOM_WARP_TARGET void AlongRow(const std::int16_t* const planes[3], const RowTaps& taps,
                               const WeightTable& table, std::uint8_t* out, int width) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const GroupTaps g =
            TapsOfRun(taps.alongRuns[static_cast<std::size_t>(x / 16)], taps.alongHold);
        if (AlongGroup(planes, g, table, out + x * 3)) continue;
        for (int j = x; j < x + 16; ++j) AlongOne(planes, taps.AlongTap(j), table, out + j * 3);
    }
    for (; x < width; ++x) AlongOne(planes, taps.AlongTap(x), table, out + x * 3);
}

}  // namespace

bool Warp8Avx512Runs() {
    return ActiveVectorLevel() == VectorLevel::kAvx512 &&
           ActiveVectorExtension(VectorExtension::kAvx512Vbmi);
}

void Warp8Avx512(const std::uint8_t* src, int srcWidth, int srcHeight,
                 const std::array<double, 9>& m, std::uint8_t* dst, int dstWidth, int yBegin,
                 int yEnd) {
    const WeightTable& table = Weights();
    const long stride = static_cast<long>(srcWidth) * 3;
    const std::vector<std::uint8_t> black(static_cast<std::size_t>(stride), 0);
    const SourceRows rows{src, stride, srcHeight, black.data()};
    const std::size_t planeSize =
        static_cast<std::size_t>(srcWidth) + 2 * kLineMargin + kPlanePadding;
    std::vector<std::int16_t> line(planeSize * 3, 0);
    std::int16_t* const planes[3] = {line.data(), line.data() + planeSize,
                                     line.data() + 2 * planeSize};
    RowTaps taps(m, srcWidth, srcHeight, dstWidth);
    for (int y = yBegin; y < yEnd; ++y) {
        std::uint8_t* out = dst + static_cast<long>(y) * dstWidth * 3;
        if (!taps.Set(y)) {
            std::memset(out, 0, static_cast<std::size_t>(dstWidth) * 3);
            continue;
        }
        DownRow(rows, taps, table, planes);
        // Only uMin..uMax were written: clear what an earlier row left beside them.
        for (int u : {taps.uMin - 1, taps.uMax + 1}) {
            if (u >= 0 && u < srcWidth) {
                for (std::int16_t* plane : planes) plane[u + kLineMargin] = 0;
            }
        }
        AlongRow(planes, taps, table, out, dstWidth);
    }
}

#else

bool Warp8Avx512Runs() { return false; }

void Warp8Avx512(const std::uint8_t*, int, int, const std::array<double, 9>&, std::uint8_t*, int,
                 int, int) {}

#endif

}  // namespace loom::packed_warp

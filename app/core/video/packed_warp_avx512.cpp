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

#define LOOM_WARP_TARGET \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi,avx512vnni")))
#define LOOM_WARP_INLINE                                                               \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi,avx512vnni"), \
                   always_inline)) inline

/// The line between the passes: one plane of 16-bit values a channel, source column u at
/// u + kLineMargin, with room for a 32-value window read from any tap.
constexpr int kPlanePadding = 32;

/// The taps of a group of sixteen: first taps and positions in separate vectors.
struct GroupTaps {
    __m512i first;
    __m512i steps;           ///< held positions in 1/1024ths: the weight row is steps % 1024
    int firstMin, firstMax;  ///< of the sixteen (positions along a run are monotonic)
    /// Where the weight rows start: a run's rows (steps % 1024) move the same way from
    /// lane to lane, round the table and by a little each for a stereo correction, so
    /// from the first lane's or the last lane's.
    int rowsFrom;
};

// A group of sixteen is one run of positions.
static_assert(kSegment == 16);

/// Eight positions held within lo..hi, in 1/1024ths (in the low halves of the lanes).
LOOM_WARP_INLINE __m512i HeldSteps(__m512i pos, __m512i lo, __m512i hi) {
    const __m512i round = _mm512_set1_epi64(std::int64_t{1} << (TapHold::kToSteps - 1));
    const __m512i held = _mm512_min_epi64(_mm512_max_epi64(pos, lo), hi);
    return _mm512_srai_epi64(_mm512_add_epi64(held, round), TapHold::kToSteps);
}

/// The held positions (1/1024ths) of the sixteen positions of each run, start + j step,
/// into `steps` (room for sixteen a run): made a row at a time, in a loop of their own, so
/// that each group's gathers need wait for nothing but a load.
LOOM_WARP_INLINE void StepsOfRuns(const std::vector<TapRun>& runs, const TapHold& hold,
                                  std::int32_t* steps) {
    const __m512i lo = _mm512_set1_epi64(hold.lo), hi = _mm512_set1_epi64(hold.hi);
    const __m512i lanes = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7);
    const __m512i lowHalves =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    for (const TapRun& run : runs) {
        const __m512i step = _mm512_set1_epi64(run.step);
        const __m512i low =
            _mm512_add_epi64(_mm512_set1_epi64(run.start), _mm512_mullo_epi64(step, lanes));
        const __m512i high = _mm512_add_epi64(low, _mm512_slli_epi64(step, 3));
        _mm512_storeu_si512(steps, _mm512_permutex2var_epi32(HeldSteps(low, lo, hi), lowHalves,
                                                             HeldSteps(high, lo, hi)));
        steps += 16;
    }
}

/// The taps of positions i..i + lanes - 1 (at most sixteen, one run) from their held
/// positions.
LOOM_WARP_INLINE GroupTaps TapsAt(const std::int32_t* steps, int i, int lanes) {
    const __m512i q = _mm512_loadu_si512(steps + i);
    const int ends[2] = {steps[i], steps[i + lanes - 1]};
    const int firsts[2] = {ends[0] >> 10, ends[1] >> 10};
    const bool forwards = ((ends[1] - ends[0]) & (kSteps - 1)) < kSteps / 2;
    return {_mm512_sub_epi32(_mm512_srai_epi32(q, 10), _mm512_set1_epi32(8 + 1)), q,
            std::min(firsts[0], firsts[1]) - 8 - 1, std::max(firsts[0], firsts[1]) - 8 - 1,
            forwards ? ends[0] : ends[1]};
}

/// The weight table as two tables of 16-bit pairs (taps 0 and 1, taps 2 and 3), row i at
/// every i + 1024 k too, so that a window of kWindows * 32 rows from any row is one run of
/// memory.
constexpr int kWindows = 2;
struct PairTables {
    static constexpr int kRows = kSteps + kWindows * 32;
    alignas(64) std::int32_t w01[kRows];
    alignas(64) std::int32_t w23[kRows];
    explicit PairTables(const WeightTable& table) {
        for (int i = 0; i < kRows; ++i) {
            const std::array<std::int16_t, 4>& w = table[static_cast<std::size_t>(i % kSteps)];
            w01[i] = static_cast<std::int32_t>(static_cast<std::uint16_t>(w[0]) |
                                               static_cast<std::uint32_t>(w[1]) << 16);
            w23[i] = static_cast<std::int32_t>(static_cast<std::uint16_t>(w[2]) |
                                               static_cast<std::uint32_t>(w[3]) << 16);
        }
    }
};

/// The weight rows a group reads, from the table or, as pairs, from PairTables.
struct WeightRows {
    const WeightTable& table;
    const PairTables& pairs;
};

/// Each lane's weights of taps 0 and 1 (`w01`) and 2 and 3 (`w23`) as 16-bit pairs, by
/// gathers from the table.
LOOM_WARP_INLINE void GatheredPairs(const GroupTaps& g, const WeightRows& weights, __m512i& w01,
                                    __m512i& w23) {
    // A table row (four weights) is 8 bytes: two gathers of eight rows, then the halves.
    static_assert(sizeof(weights.table[0]) == 8);
    const auto* row = reinterpret_cast<const long long*>(weights.table.data());
    const __m512i rows = _mm512_and_si512(g.steps, _mm512_set1_epi32(kSteps - 1));
    const __m512i a = _mm512_i32gather_epi64(_mm512_castsi512_si256(rows), row, 8);
    const __m512i b = _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(rows, 1), row, 8);
    const __m512i even =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    w01 = _mm512_permutex2var_epi32(a, even, b);
    w23 = _mm512_permutex2var_epi32(a, _mm512_add_epi32(even, _mm512_set1_epi32(1)), b);
}

/// The same pairs, from `windows` windows of 32 pairs of PairTables where the rows lie
/// within them, else by gathers.
LOOM_WARP_INLINE void WeightPairs(const GroupTaps& g, const WeightRows& weights, int windows,
                                  __m512i& w01, __m512i& w23) {
    // Each lane's row counted round the table from the first row of the run.
    const int base = g.rowsFrom & (kSteps - 1);
    const __m512i rel = _mm512_and_si512(_mm512_sub_epi32(g.steps, _mm512_set1_epi32(base)),
                                         _mm512_set1_epi32(kSteps - 1));
    if (_mm512_cmpge_epi32_mask(rel, _mm512_set1_epi32(32 * windows))) {
        GatheredPairs(g, weights, w01, w23);
        return;
    }
    // One two-vector permute a window and table (it reads only the low five bits of each
    // index), each lane taking the window its row falls in.
    const auto window = [&](const std::int32_t* pairs, int k) LOOM_WARP_TARGET {
        const std::int32_t* from = pairs + base + 32 * k;
        return _mm512_permutex2var_epi32(_mm512_loadu_si512(from), rel,
                                         _mm512_loadu_si512(from + 16));
    };
    w01 = window(weights.pairs.w01, 0);
    w23 = window(weights.pairs.w23, 0);
    for (int k = 1; k < windows; ++k) {
        const __mmask16 beyond = _mm512_cmpge_epi32_mask(rel, _mm512_set1_epi32(32 * k));
        w01 = _mm512_mask_mov_epi32(w01, beyond, window(weights.pairs.w01, k));
        w23 = _mm512_mask_mov_epi32(w23, beyond, window(weights.pairs.w23, k));
    }
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

/// Byte indices that interleave sixteen pixels' levels into packed pixels: pixel i's
/// channel ch is byte 4 ch + i % 4 of 128-bit lane i / 4.
struct InterleaveIndices {
    alignas(64) std::uint8_t bytes[64]{};
    InterleaveIndices() {
        for (int i = 0; i < 16; ++i) {
            for (int ch = 0; ch < 3; ++ch)
                bytes[3 * i + ch] = static_cast<std::uint8_t>(16 * (i / 4) + 4 * ch + i % 4);
        }
    }
};

const PairIndices kPairs;
const InterleaveIndices kInterleave;
constexpr __mmask64 kEvenBytesOfPairs = 0x5555555555555555ULL;

/// Channel `ch` of rows a and b, paired for the multiply-adds, zero-extended.
LOOM_WARP_INLINE __m512i Paired(__m512i a, __m512i b, int ch) {
    return _mm512_maskz_permutex2var_epi8(kEvenBytesOfPairs, a, _mm512_load_si512(kPairs.bytes[ch]),
                                          b);
}

/// The source rows a group's taps read, black outside the view.
struct SourceRows {
    /// Taps reach 5 rows above the view and 7 below (positions are held within 4 of it).
    static constexpr int kMargin = 8;
    long stride;
    /// Row r at kMargin + r, from -kMargin to height + kMargin - 1: the black row outside.
    std::vector<const std::uint8_t*> at;
    SourceRows(const std::uint8_t* src, long rowStride, int height, const std::uint8_t* black)
        : stride(rowStride), at(static_cast<std::size_t>(height) + 2 * kMargin, black) {
        for (int r = 0; r < height; ++r)
            at[static_cast<std::size_t>(r + kMargin)] = src + r * stride;
    }
    const std::uint8_t* Row(int row) const { return at[static_cast<std::size_t>(row + kMargin)]; }
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
/// (false, nothing written, otherwise): a lane whose taps start a row lower weighs the
/// five rows (0, w0, w1, w2, w3), the others (w0, w1, w2, w3, 0). `windows`: of weight
/// pairs, 0 for gathers (kWindowed false).
template <bool kWindowed>
LOOM_WARP_INLINE bool DownGroup(const SourceRows& rows, const GroupTaps& g,
                                const WeightRows& weights, int windows, int u, int lanes,
                                std::int16_t* const planes[3]) {
    const int top = g.firstMin;
    const bool lowered = g.firstMax > top;
    if (g.firstMax - top > 1) return false;
    __m512i w01, w23;
    if constexpr (kWindowed) {
        WeightPairs(g, weights, windows, w01, w23);
    } else {
        GatheredPairs(g, weights, w01, w23);
    }
    // Whole vectors load much sooner than masked ones; the bytes past the pixels are not
    // used. The last group of a row loads what is left of it.
    const bool whole = u * 3L + 64 <= rows.stride;
    const __mmask64 pixels = (__mmask64{1} << (3 * lanes)) - 1;
    const auto load = [&](int k) LOOM_WARP_TARGET {
        const std::uint8_t* p = rows.Row(top + k) + u * 3L;
        return whole ? _mm512_loadu_si512(p) : _mm512_maskz_loadu_epi8(pixels, p);
    };
    const __m512i r0 = load(0), r1 = load(1), r2 = load(2), r3 = load(3);
    // The rounding term starts each sum.
    const __m512i round = _mm512_set1_epi32(1 << (kPass1Shift - 1));
    const auto store = [&](int ch, __m512i sum) LOOM_WARP_TARGET {
        std::int16_t* to = planes[ch] + u + kLineMargin;
        const __m256i v = _mm512_cvtsepi32_epi16(_mm512_srai_epi32(sum, kPass1Shift));
        if (lanes == 16) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), v);
        } else {
            _mm256_mask_storeu_epi16(to, static_cast<__mmask16>((1u << lanes) - 1), v);
        }
    };
    if (!lowered) {
        for (int ch = 0; ch < 3; ++ch) {
            store(ch, _mm512_dpwssd_epi32(_mm512_dpwssd_epi32(round, Paired(r0, r1, ch), w01),
                                          Paired(r2, r3, ch), w23));
        }
        return true;
    }
    const __m512i r4 = load(4);
    const __mmask16 low = _mm512_cmpgt_epi32_mask(g.first, _mm512_set1_epi32(top));
    const __m512i s01 = _mm512_mask_slli_epi32(w01, low, w01, 16);  // (0, w0)
    const __m512i s23 = _mm512_mask_mov_epi32(                      // (w1, w2)
        w23, low, _mm512_or_si512(_mm512_srli_epi32(w01, 16), _mm512_slli_epi32(w23, 16)));
    const __m512i s4 = _mm512_maskz_srli_epi32(low, w23, 16);  // (w3, 0)
    for (int ch = 0; ch < 3; ++ch) {
        const __m512i sum = _mm512_dpwssd_epi32(round, Paired(r0, r1, ch), s01);
        store(ch, _mm512_dpwssd_epi32(_mm512_dpwssd_epi32(sum, Paired(r2, r3, ch), s23),
                                      Paired(r4, r4, ch), s4));
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
template <bool kWindowed>
LOOM_WARP_INLINE bool AlongGroup(const std::int16_t* const planes[3], const GroupTaps& g,
                                 const WeightRows& weights, int windows, int lanes,
                                 std::uint8_t* out) {
    const int base = g.firstMin;
    if (g.firstMax - base > 32 - 4) return false;
    __m512i w01, w23;
    if constexpr (kWindowed) {
        WeightPairs(g, weights, windows, w01, w23);
    } else {
        GatheredPairs(g, weights, w01, w23);
    }
    // Lane i's 16-bit halves pick window values first - base and the one after.
    const __m512i rel = _mm512_sub_epi32(g.first, _mm512_set1_epi32(base));
    const __m512i pick01 = _mm512_add_epi32(_mm512_or_si512(rel, _mm512_slli_epi32(rel, 16)),
                                            _mm512_set1_epi32(0x10000));
    const __m512i pick23 = _mm512_add_epi32(pick01, _mm512_set1_epi32(0x20002));
    // The rounding term starts each sum.
    const __m512i round = _mm512_set1_epi32(1 << (kPass2Shift - 1));
    __m512i level[3];
    for (int ch = 0; ch < 3; ++ch) {
        const __m512i window = _mm512_loadu_si512(planes[ch] + base + kLineMargin);
        const __m512i sum = _mm512_dpwssd_epi32(
            _mm512_dpwssd_epi32(round, _mm512_permutexvar_epi16(pick01, window), w01),
            _mm512_permutexvar_epi16(pick23, window), w23);
        level[ch] = _mm512_srai_epi32(sum, kPass2Shift);
    }
    // Saturated to 16 bits, then to 0..255: each 128-bit lane holds four pixels' red,
    // green, blue and blue again.
    const __m512i bytes = _mm512_packus_epi16(_mm512_packs_epi32(level[0], level[1]),
                                              _mm512_packs_epi32(level[2], level[2]));
    const __m512i pixels = _mm512_permutexvar_epi8(_mm512_load_si512(kInterleave.bytes), bytes);
    if (lanes < 16) {
        _mm512_mask_storeu_epi8(out, (__mmask64{1} << (3 * lanes)) - 1, pixels);
        return true;
    }
    // 32 and 16 bytes: plain stores are much quicker than a masked one.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_castsi512_si256(pixels));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm512_extracti32x4_epi32(pixels, 2));
    return true;
}

/// How many windows of weight pairs a row's groups take: as many as the rows of its first
/// run span (the others' are alike for a stereo correction, give or take a row; a group
/// whose rows lie further apart takes gathers), 0 (gathers) where they span more than
/// kWindows: further windows cost more than the gathers.
int WindowsFor(const std::vector<TapRun>& runs, const TapHold& hold) {
    const TapRun& run = runs.front();
    const int moved =
        (hold.Steps(run.start + 15 * run.step) - hold.Steps(run.start)) & (kSteps - 1);
    const int windows = std::min(moved, kSteps - moved) / 32 + 1;
    return windows <= kWindows ? windows : 0;
}

/// Eight coordinates in 32.32 fixed point, as FixedPosition makes them (the clamp keeps a
/// NaN as std::clamp does).
LOOM_WARP_INLINE __m512i FixedPositions(__m512d v) {
    const __m512d held = _mm512_min_pd(_mm512_set1_pd(1e6), _mm512_max_pd(_mm512_set1_pd(-1e6), v));
    return _mm512_add_epi64(_mm512_cvttpd_epi64(_mm512_mul_pd(held, _mm512_set1_pd(4294967296.0))),
                            _mm512_set1_epi64(std::int64_t{8} << 32));
}

/// RowLine::ColumnHeight at eight columns `u` and RowLine::AlongX at eight pixels `x`: the
/// same operations in the same order, so the same doubles.
LOOM_WARP_INLINE __m512d Splat(double v) { return _mm512_set1_pd(v); }
LOOM_WARP_INLINE __m512d ColumnHeights(const RowLine& l, __m512d u) {
    if (l.affine) {
        return _mm512_add_pd(
            _mm512_mul_pd(Splat(l.e), _mm512_mul_pd(_mm512_sub_pd(u, Splat(l.b)), Splat(l.ia))),
            Splat(l.f));
    }
    const __m512d x = _mm512_div_pd(_mm512_sub_pd(Splat(l.b), _mm512_mul_pd(u, Splat(l.d))),
                                    _mm512_sub_pd(_mm512_mul_pd(u, Splat(l.c)), Splat(l.a)));
    return _mm512_div_pd(_mm512_add_pd(_mm512_mul_pd(Splat(l.e), x), Splat(l.f)),
                         _mm512_add_pd(_mm512_mul_pd(Splat(l.c), x), Splat(l.d)));
}
LOOM_WARP_INLINE __m512d AlongXs(const RowLine& l, __m512d x) {
    const __m512d ax = _mm512_add_pd(_mm512_mul_pd(Splat(l.a), x), Splat(l.b));
    if (l.affine) return ax;
    return _mm512_div_pd(ax, _mm512_add_pd(_mm512_mul_pd(Splat(l.c), x), Splat(l.d)));
}

/// The runs FillRuns makes of `n` positions whose coordinate at position i is
/// `coordinates(from + i)` (eight at a time), eight runs a step: each run's start exact,
/// its step the truncated sixteenth of the way to the next start; the last run's step
/// towards the last position, as FillRuns takes it.
template <class Coordinates, class Coordinate>
LOOM_WARP_INLINE void FillRunsWide(Coordinates coordinates, Coordinate coordinate, int from, int n,
                                   std::vector<TapRun>& runs) {
    static_assert(sizeof(TapRun) == 16 && kSegment == 16);
    const int count = (n + kSegment - 1) / kSegment;
    runs.resize(static_cast<std::size_t>(count));
    const __m512d apart = _mm512_setr_pd(0, 16, 32, 48, 64, 80, 96, 112);
    const auto starts = [&](int k) LOOM_WARP_TARGET {
        return FixedPositions(coordinates(_mm512_add_pd(_mm512_set1_pd(from + 16.0 * k), apart)));
    };
    const __m512i pairsLow = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
    const __m512i pairsHigh = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
    auto* out = reinterpret_cast<std::int64_t*>(runs.data());
    __m512i start = starts(0);
    for (int k = 0; k < count; k += 8) {
        const __m512i next = starts(k + 8);
        const __m512i way = _mm512_sub_epi64(_mm512_alignr_epi64(next, start, 1), start);
        // Truncated towards zero, as integer division.
        const __m512i step = _mm512_srai_epi64(
            _mm512_add_epi64(
                way, _mm512_and_si512(_mm512_srai_epi64(way, 63), _mm512_set1_epi64(kSegment - 1))),
            4);
        const int left = std::min(count - k, 8);
        const auto first = static_cast<__mmask8>((1u << std::min(2 * left, 8)) - 1);
        const auto second = static_cast<__mmask8>(left > 4 ? (1u << (2 * left - 8)) - 1 : 0);
        _mm512_mask_storeu_epi64(out + 2 * k, first,
                                 _mm512_permutex2var_epi64(start, pairsLow, step));
        _mm512_mask_storeu_epi64(out + 2 * k + 8, second,
                                 _mm512_permutex2var_epi64(start, pairsHigh, step));
        start = next;
    }
    // The last run ends at the last position.
    TapRun& last = runs.back();
    const int i0 = (count - 1) * kSegment;
    last.step =
        n - 1 > i0 ? (FixedPosition(coordinate(from + n - 1)) - last.start) / (n - 1 - i0) : 0;
}

/// Row y's runs, as RowTaps::Set makes them; false when the row takes no source column.
LOOM_WARP_TARGET bool SetRow(RowTaps& taps, int y, int dstWidth) {
    if (!taps.Place(y)) return false;
    const RowLine& line = taps.Line();
    FillRunsWide([&](__m512d u) LOOM_WARP_TARGET { return ColumnHeights(line, u); },
                 [&](int u) { return line.ColumnHeight(u); }, taps.uMin, taps.uMax - taps.uMin + 1,
                 taps.downRuns);
    FillRunsWide([&](__m512d x) LOOM_WARP_TARGET { return AlongXs(line, x); },
                 [&](int x) { return line.AlongX(x); }, 0, dstWidth, taps.alongRuns);
    return true;
}

/// First pass of a row: every column uMin..uMax into the planes.
template <bool kWindowed>
LOOM_WARP_TARGET void DownRow(const SourceRows& rows, const RowTaps& taps,
                              const WeightRows& weights, int windows, std::int32_t* steps,
                              std::int16_t* const planes[3]) {
    const WeightTable& table = weights.table;
    const int columns = taps.uMax - taps.uMin + 1;
    StepsOfRuns(taps.downRuns, taps.downHold, steps);
    for (int i = 0; i < columns; i += 16) {
        const int lanes = std::min(columns - i, 16);
        const GroupTaps g = TapsAt(steps, i, lanes);
        if (DownGroup<kWindowed>(rows, g, weights, windows, taps.uMin + i, lanes, planes)) {
            continue;
        }
        for (int j = i; j < i + lanes; ++j)
            DownOne(rows, taps.DownTap(j), table, taps.uMin + j, planes);
    }
}

/// Second pass of a row: `width` output pixels from the planes.
template <bool kWindowed>
LOOM_WARP_TARGET void AlongRow(const std::int16_t* const planes[3], const RowTaps& taps,
                               const WeightRows& weights, int windows, std::int32_t* steps,
                               std::uint8_t* out, int width) {
    const WeightTable& table = weights.table;
    StepsOfRuns(taps.alongRuns, taps.alongHold, steps);
    for (int x = 0; x < width; x += 16) {
        const int lanes = std::min(width - x, 16);
        const GroupTaps g = TapsAt(steps, x, lanes);
        if (AlongGroup<kWindowed>(planes, g, weights, windows, lanes, out + x * 3)) continue;
        for (int j = x; j < x + lanes; ++j) AlongOne(planes, taps.AlongTap(j), table, out + j * 3);
    }
}

}  // namespace

bool Warp8Avx512Runs() {
    return ActiveVectorLevel() == VectorLevel::kAvx512 &&
           ActiveVectorExtension(VectorExtension::kAvx512Vbmi) &&
           ActiveVectorExtension(VectorExtension::kAvx512Vnni);
}

void Warp8Avx512(const std::uint8_t* src, int srcWidth, int srcHeight,
                 const std::array<double, 9>& m, std::uint8_t* dst, int dstWidth, int yBegin,
                 int yEnd) {
    static const PairTables pairs(Weights());
    const WeightRows weights{Weights(), pairs};
    const long stride = static_cast<long>(srcWidth) * 3;
    const std::vector<std::uint8_t> black(static_cast<std::size_t>(stride), 0);
    const SourceRows rows(src, stride, srcHeight, black.data());
    const std::size_t planeSize =
        static_cast<std::size_t>(srcWidth) + 2 * kLineMargin + kPlanePadding;
    std::vector<std::int16_t> line(planeSize * 3, 0);
    std::int16_t* const planes[3] = {line.data(), line.data() + planeSize,
                                     line.data() + 2 * planeSize};
    RowTaps taps(m, srcWidth, srcHeight, dstWidth);
    // Each row's held positions, sixteen a run (a row's columns are at most the source's).
    std::vector<std::int32_t> downSteps(static_cast<std::size_t>(srcWidth) + 16);
    std::vector<std::int32_t> alongSteps(static_cast<std::size_t>(dstWidth) + 16);
    for (int y = yBegin; y < yEnd; ++y) {
        std::uint8_t* out = dst + static_cast<long>(y) * dstWidth * 3;
        if (!SetRow(taps, y, dstWidth)) {
            std::memset(out, 0, static_cast<std::size_t>(dstWidth) * 3);
            continue;
        }
        if (const int windows = WindowsFor(taps.downRuns, taps.downHold)) {
            DownRow<true>(rows, taps, weights, windows, downSteps.data(), planes);
        } else {
            DownRow<false>(rows, taps, weights, 0, downSteps.data(), planes);
        }
        // Only uMin..uMax were written: clear what an earlier row left beside them.
        for (int u : {taps.uMin - 1, taps.uMax + 1}) {
            if (u >= 0 && u < srcWidth) {
                for (std::int16_t* plane : planes) plane[u + kLineMargin] = 0;
            }
        }
        if (const int windows = WindowsFor(taps.alongRuns, taps.alongHold)) {
            AlongRow<true>(planes, taps, weights, windows, alongSteps.data(), out, dstWidth);
        } else {
            AlongRow<false>(planes, taps, weights, 0, alongSteps.data(), out, dstWidth);
        }
    }
}

#else

bool Warp8Avx512Runs() { return false; }

void Warp8Avx512(const std::uint8_t*, int, int, const std::array<double, 9>&, std::uint8_t*, int,
                 int, int) {}

#endif

}  // namespace loom::packed_warp

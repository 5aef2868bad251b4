#include "dioptrix/compose_avx512.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

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

namespace {

#define LOOM_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,fma")))
#define LOOM_AVX512_INLINE \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,fma"), always_inline))

/// StereoLuminance of eight pixels of each view: the left view's in the low eight 32-bit
/// lanes, the right view's in the high eight. The signed 16-bit multiply-adds take each
/// channel v as v - 32768 and give 76 r + 150 g and 30 b in the two halves of each pixel's
/// 64 bits; the bias puts the 256 weights times 32768 back, and one permutation of each
/// half gathers the two halves to add.
LOOM_AVX512_INLINE inline __m512i Luminances(__m512i left, __m512i right) {
    const __m512i flip = _mm512_set1_epi16(static_cast<short>(0x8000));
    const __m512i weights = _mm512_set1_epi64(76 | (150 << 16) | (30LL << 32));
    const __m512i bias = _mm512_set1_epi64(32768 * 256);
    const __m512i lowHalves =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i highHalves =
        _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    const __m512i l = _mm512_dpwssd_epi32(bias, _mm512_xor_si512(left, flip), weights);
    const __m512i r = _mm512_dpwssd_epi32(bias, _mm512_xor_si512(right, flip), weights);
    const __m512i sum = _mm512_add_epi32(_mm512_permutex2var_epi32(l, lowHalves, r),
                                         _mm512_permutex2var_epi32(l, highHalves, r));
    return _mm512_srli_epi32(sum, 8);
}

/// The intensity coefficients: in single precision for both views' luminances (the left
/// eye's in the low half), and in double for each view's eight.
struct Coefficients {
    __m512 k, c;
    __m512d kL, cL, kR, cR;
};

/// float(k*L + c) of eight luminances, in double and widened back.
LOOM_AVX512_INLINE inline __m512d IntensityInDouble(__m256i lum, __m512d k, __m512d c) {
    return _mm512_cvtps_pd(_mm512_cvtpd_ps(_mm512_fmadd_pd(k, _mm512_cvtepi32_pd(lum), c)));
}

/// The intensities float(k*L + c) of both views' luminances, widened to double: the left
/// view's in `il`, the right's in `ir`. The product k*L is exact in double (24 + 16 bits),
/// so the FMA rounds exactly once where the separate multiply and add would, and gives the
/// same double.
template <bool kFloat>
LOOM_AVX512_INLINE inline void Intensities(__m512i lum, const Coefficients& q, __m512d& il,
                                           __m512d& ir) {
    if constexpr (kFloat) {
        const __m512 i = _mm512_fmadd_ps(q.k, _mm512_cvtepi32_ps(lum), q.c);
        il = _mm512_cvtps_pd(_mm512_castps512_ps256(i));
        ir = _mm512_cvtps_pd(_mm512_extractf32x8_ps(i, 1));
    } else {
        il = IntensityInDouble(_mm512_castsi512_si256(lum), q.kL, q.cL);
        ir = IntensityInDouble(_mm512_extracti64x4_epi64(lum, 1), q.kR, q.cR);
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
                        AheadRun aheadA, AheadRun aheadB) noexcept {
    static_assert(sizeof(BMM_Color_64) == 8);
    const Coefficients q{_mm512_insertf32x8(_mm512_set1_ps(s.k.aL), _mm256_set1_ps(s.k.aR), 1),
                         _mm512_insertf32x8(_mm512_set1_ps(s.k.bL), _mm256_set1_ps(s.k.bR), 1),
                         _mm512_set1_pd(Widen(s.k.aL)),
                         _mm512_set1_pd(Widen(s.k.bL)),
                         _mm512_set1_pd(Widen(s.k.aR)),
                         _mm512_set1_pd(Widen(s.k.bR))};
    const __m512d cL = _mm512_set1_pd(Widen(s.cL)), cR = _mm512_set1_pd(Widen(s.cR));
    const __m512i place = _mm512_loadu_si512(s.channelWords);
    constexpr __mmask32 kAlphaWords = 0x88888888u;

    // A step's eight pixels take at most 64 bytes in any storage, so one hint per line a
    // step covers every cache line (some twice in packed storage). The hints fill the
    // second-level cache only: in the first, the lines read ahead pushed out the two lines
    // being composed and the host's conversions into and out of them (16-bit packed frames
    // composed about a tenth slower).
    const std::uint8_t* nextA = aheadA.bytes;
    const std::uint8_t* nextB = aheadB.bytes;
    const std::ptrdiff_t stepA = 8 * aheadA.pixelBytes, stepB = 8 * aheadB.pixelBytes;
    int x = 0;
    for (; x + 8 <= width; x += 8, nextA += stepA, nextB += stepB) {
        _mm_prefetch(reinterpret_cast<const char*>(nextA), _MM_HINT_T1);
        _mm_prefetch(reinterpret_cast<const char*>(nextB), _MM_HINT_T1);
        const __m512i pa = _mm512_loadu_si512(a + x);
        const __m512i pb = _mm512_loadu_si512(b + x);
        __m512d il, ir;
        Intensities<kFloat>(Luminances(pa, pb), q, il, ir);
        // c*I is exact in double (24 + 24 bits): the FMA equals the multiply and add.
        const __m512i left = Store16<kClamp>(_mm512_fmadd_pd(cL, ir, il));
        const __m512i right = Store16<kClamp>(_mm512_fmadd_pd(cR, il, ir));
        // The eye channels and zero in the third, then the larger alpha.
        const __m512i pixels = _mm512_permutex2var_epi16(left, place, right);
        _mm512_storeu_si512(a + x, _mm512_mask_max_epu16(pixels, kAlphaWords, pa, pb));
    }
    return x;
}

constexpr int kPackedPixelBytes = 6;
/// Pixels of a packed step: three whole 64-byte vectors of each view.
constexpr int kPackedStep = 32;
constexpr int kPackedStepBytes = kPackedStep * kPackedPixelBytes;

/// The word permutations that gather a step's pixels by halves of sixteen, one pixel per
/// 32-bit lane: red and green (`redGreen`), and blue twice (`blue`). Half h takes its 48
/// words from vectors h and h + 1 of the step.
struct GatherIndex {
    alignas(64) std::uint16_t redGreen[2][32];
    alignas(64) std::uint16_t blue[2][32];
};
constexpr GatherIndex MakeGatherIndex() {
    GatherIndex index{};
    for (int half = 0; half < 2; ++half) {
        const int first = 16 * half;  // word 48 * half of the step, in its vector pair
        for (int word = 0; word < 32; ++word) {
            const int pixel = word / 2;
            index.redGreen[half][word] = static_cast<std::uint16_t>(first + 3 * pixel + word % 2);
            index.blue[half][word] = static_cast<std::uint16_t>(first + 3 * pixel + 2);
        }
    }
    return index;
}
constexpr GatherIndex kGather = MakeGatherIndex();

/// The composition's coefficients for the packed steps, prepared once per line.
struct EyeTerms {
    __m512 aL, bL, aR, bR;       // single-precision intensities
    __m512d aLd, bLd, aRd, bRd;  // double-precision intensities
    __m512d cL, cR;
};

LOOM_AVX512_INLINE inline EyeTerms MakeEyeTerms(const LineComposer& s) {
    EyeTerms e;
    e.aL = _mm512_set1_ps(s.k.aL);
    e.bL = _mm512_set1_ps(s.k.bL);
    e.aR = _mm512_set1_ps(s.k.aR);
    e.bR = _mm512_set1_ps(s.k.bR);
    e.aLd = _mm512_set1_pd(Widen(s.k.aL));
    e.bLd = _mm512_set1_pd(Widen(s.k.bL));
    e.aRd = _mm512_set1_pd(Widen(s.k.aR));
    e.bRd = _mm512_set1_pd(Widen(s.k.bR));
    e.cL = _mm512_set1_pd(Widen(s.cL));
    e.cR = _mm512_set1_pd(Widen(s.cR));
    return e;
}

/// What a packed 16-bit step reads besides the pixels, prepared once per line.
struct PackedConstants {
    __m512i redGreen[2], blue[2], pack[3];
    EyeTerms eyes;
};

LOOM_AVX512_INLINE inline PackedConstants MakePackedConstants(const LineComposer& s) {
    PackedConstants k;
    for (int half = 0; half < 2; ++half) {
        k.redGreen[half] = _mm512_load_si512(kGather.redGreen[half]);
        k.blue[half] = _mm512_load_si512(kGather.blue[half]);
    }
    for (int vector = 0; vector < 3; ++vector) {
        k.pack[vector] = _mm512_loadu_si512(s.packedChannelWords[vector]);
    }
    k.eyes = MakeEyeTerms(s);
    return k;
}

/// StereoLuminance of the 32 pixels of one view's step, by halves of sixteen: each channel
/// enters the signed multiply-adds as v - 32768, and the bias puts the 256 weights times
/// 32768 back.
LOOM_AVX512_INLINE inline void PackedLuminances(const PackedConstants& k, const std::uint8_t* at,
                                                __m512i (&lum)[2]) {
    const __m512i flip = _mm512_set1_epi16(static_cast<short>(0x8000));
    const __m512i redGreenWeights = _mm512_set1_epi32(76 | (150 << 16));
    const __m512i blueWeight = _mm512_set1_epi32(30);
    const __m512i bias = _mm512_set1_epi32(32768 * 256);
    const __m512i v0 = _mm512_xor_si512(_mm512_loadu_si512(at), flip);
    const __m512i v1 = _mm512_xor_si512(_mm512_loadu_si512(at + 64), flip);
    const __m512i v2 = _mm512_xor_si512(_mm512_loadu_si512(at + 128), flip);
    for (int half = 0; half < 2; ++half) {
        const __m512i low = half == 0 ? v0 : v1, high = half == 0 ? v1 : v2;
        const __m512i redGreen = _mm512_permutex2var_epi16(low, k.redGreen[half], high);
        const __m512i blue = _mm512_permutex2var_epi16(low, k.blue[half], high);
        const __m512i sum = _mm512_dpwssd_epi32(
            _mm512_dpwssd_epi32(bias, redGreen, redGreenWeights), blue, blueWeight);
        lum[half] = _mm512_srli_epi32(sum, 8);
    }
}

/// float(a*L + c) of sixteen luminances, widened to double: lanes 0-7 in `low`, 8-15 in
/// `high` (as Intensities).
template <bool kFloat>
LOOM_AVX512_INLINE inline void PackedIntensities(__m512i lum, __m512 a, __m512 c, __m512d ad,
                                                 __m512d cd, __m512d& low, __m512d& high) {
    if constexpr (kFloat) {
        const __m512 i = _mm512_fmadd_ps(a, _mm512_cvtepi32_ps(lum), c);
        low = _mm512_cvtps_pd(_mm512_castps512_ps256(i));
        high = _mm512_cvtps_pd(_mm512_extractf32x8_ps(i, 1));
    } else {
        low = IntensityInDouble(_mm512_castsi512_si256(lum), ad, cd);
        high = IntensityInDouble(_mm512_extracti64x4_epi64(lum, 1), ad, cd);
    }
}

/// The eye values of sixteen pixels from both views' luminances, as the 16-bit kernel makes
/// them, in two vectors of eight pixels' words: per 128-bit lane two pixels' left values,
/// then their right values, each followed by a zero word.
template <bool kFloat, bool kClamp>
LOOM_AVX512_INLINE inline void PackedEyes(const EyeTerms& e, __m512i lumA, __m512i lumB,
                                          __m512i (&eights)[2]) {
    __m512d il[2], ir[2];
    PackedIntensities<kFloat>(lumA, e.aL, e.bL, e.aLd, e.bLd, il[0], il[1]);
    PackedIntensities<kFloat>(lumB, e.aR, e.bR, e.aRd, e.bRd, ir[0], ir[1]);
    for (int part = 0; part < 2; ++part) {
        // c*I is exact in double (24 + 24 bits): the FMA equals the multiply and add.
        const __m512i left = Store16<kClamp>(_mm512_fmadd_pd(e.cL, ir[part], il[part]));
        const __m512i right = Store16<kClamp>(_mm512_fmadd_pd(e.cR, il[part], ir[part]));
        eights[part] = _mm512_packus_epi32(left, right);
    }
}

/// The bytes from..end of both packed lines, fewer than a step, copied into a step of zeros
/// on the stack: a kernel's step reads and writes whole vectors, which must not reach past
/// the line. WriteBack puts the composed bytes back into the first line.
template <int kStepBytes>
struct LastPixels {
    LastPixels(std::uint8_t* left, const std::uint8_t* right, std::ptrdiff_t from,
               std::ptrdiff_t end) noexcept
        : line(left + from), bytes(static_cast<std::size_t>(end - from)) {
        std::memcpy(a, line, bytes);
        std::memcpy(b, right + from, bytes);
    }
    void WriteBack() const noexcept { std::memcpy(line, a, bytes); }
    alignas(64) std::uint8_t a[kStepBytes] = {};
    alignas(64) std::uint8_t b[kStepBytes] = {};
    std::uint8_t* line;
    std::size_t bytes;
};

/// One step of 32 packed pixels: `a` holds the left view's 192 bytes and receives the
/// result, `b` the right view's. Each group of eight pixels packs its left and right eye
/// values (64-bit integers) into one vector of words, per 128-bit lane two pixels' left
/// values, then their right values, each followed by a zero word; vector s of the result
/// gathers its words from groups s and s + 1.
template <bool kFloat, bool kClamp>
LOOM_AVX512_INLINE inline void ComposePackedStep(const PackedConstants& k, std::uint8_t* a,
                                                 const std::uint8_t* b) {
    __m512i lumA[2], lumB[2];
    PackedLuminances(k, a, lumA);
    PackedLuminances(k, b, lumB);
    __m512i eyes[2][2];  // eights of pixels, by halves
    for (int half = 0; half < 2; ++half) {
        PackedEyes<kFloat, kClamp>(k.eyes, lumA[half], lumB[half], eyes[half]);
    }
    const __m512i eights[4] = {eyes[0][0], eyes[0][1], eyes[1][0], eyes[1][1]};
    for (int vector = 0; vector < 3; ++vector) {
        _mm512_storeu_si512(
            a + 64 * vector,
            _mm512_permutex2var_epi16(eights[vector], k.pack[vector], eights[vector + 1]));
    }
}

/// Whole steps of 32 pixels where they lie; the last few pixels of a line through a step
/// of copies on the stack. (Masked loads and stores of eight pixels a step ran about four
/// times slower than the host's conversions: each load waited on the masked store before
/// it, whose 64-byte span it overlapped.)
template <bool kFloat, bool kClamp>
LOOM_AVX512 void ComposePacked(const LineComposer& s, std::uint8_t* a, const std::uint8_t* b,
                               int width) noexcept {
    const PackedConstants k = MakePackedConstants(s);
    const int whole = width / kPackedStep * kPackedStep;
    for (int x = 0; x < whole; x += kPackedStep) {
        const std::ptrdiff_t at = std::ptrdiff_t{x} * kPackedPixelBytes;
        ComposePackedStep<kFloat, kClamp>(k, a + at, b + at);
    }
    if (whole == width) return;
    LastPixels<kPackedStepBytes> rest(a, b, std::ptrdiff_t{whole} * kPackedPixelBytes,
                                      std::ptrdiff_t{width} * kPackedPixelBytes);
    ComposePackedStep<kFloat, kClamp>(k, rest.a, rest.b);
    rest.WriteBack();
}

#define LOOM_AVX512_VBMI \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,avx512vbmi,fma")))
#define LOOM_AVX512_VBMI_INLINE                                                            \
    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,avx512vbmi,fma"), \
                   always_inline))

constexpr int kRgb24PixelBytes = 3;
/// Pixels of a packed 8-bit step: three whole 64-byte vectors of each view, four groups of
/// sixteen pixels.
constexpr int kRgb24Step = 64;
constexpr int kRgb24StepBytes = kRgb24Step * kRgb24PixelBytes;
constexpr std::ptrdiff_t kRgb24ReadAhead = 4096;

/// The byte permutations that spread a group's sixteen pixels one per 32-bit lane: red and
/// green in the low bytes of its two words (`redGreen`), blue in the low byte of the first
/// (`blue`); the other bytes are masked to zero. Group g lies at byte 48 g of the step and
/// takes its bytes from vectors g / 2 and g / 2 + 1.
struct Rgb24GatherIndex {
    alignas(64) std::uint8_t redGreen[4][64];
    alignas(64) std::uint8_t blue[4][64];
};
constexpr Rgb24GatherIndex MakeRgb24GatherIndex() {
    Rgb24GatherIndex index{};
    for (int group = 0; group < 4; ++group) {
        const int first = 48 * group - 64 * (group / 2);
        for (int pixel = 0; pixel < 16; ++pixel) {
            const int at = first + 3 * pixel;
            index.redGreen[group][4 * pixel] = static_cast<std::uint8_t>(at);
            index.redGreen[group][4 * pixel + 2] = static_cast<std::uint8_t>(at + 1);
            index.blue[group][4 * pixel] = static_cast<std::uint8_t>(at + 2);
        }
    }
    return index;
}
constexpr Rgb24GatherIndex kRgb24Gather = MakeRgb24GatherIndex();
constexpr __mmask64 kRedGreenBytes = 0x5555555555555555ull;
constexpr __mmask64 kBlueBytes = 0x1111111111111111ull;

/// What a packed 8-bit step reads besides the pixels, prepared once per line.
struct Rgb24Constants {
    __m512i redGreen[4], blue[4], pack[3];
    EyeTerms eyes;
};

LOOM_AVX512_VBMI_INLINE inline Rgb24Constants MakeRgb24Constants(const LineComposer& s) {
    Rgb24Constants k;
    for (int group = 0; group < 4; ++group) {
        k.redGreen[group] = _mm512_load_si512(kRgb24Gather.redGreen[group]);
        k.blue[group] = _mm512_load_si512(kRgb24Gather.blue[group]);
    }
    for (int vector = 0; vector < 3; ++vector) {
        k.pack[vector] = _mm512_loadu_si512(s.packedChannelBytes[vector]);
    }
    k.eyes = MakeEyeTerms(s);
    return k;
}

/// StereoLuminance of the four groups of one view's step as the host widens them (v * 257):
/// the weighted sum S of the 8-bit channels, then (257 S) >> 8, which is the luminance of
/// the widened channels exactly.
LOOM_AVX512_VBMI_INLINE inline void Rgb24Luminances(const Rgb24Constants& k, const std::uint8_t* at,
                                                    __m512i (&lum)[4]) {
    const __m512i redGreenWeights = _mm512_set1_epi32(76 | (150 << 16));
    const __m512i blueWeight = _mm512_set1_epi32(30);
    const __m512i v[3] = {_mm512_loadu_si512(at), _mm512_loadu_si512(at + 64),
                          _mm512_loadu_si512(at + 128)};
    for (int group = 0; group < 4; ++group) {
        const __m512i low = v[group / 2], high = v[group / 2 + 1];
        const __m512i redGreen =
            _mm512_maskz_permutex2var_epi8(kRedGreenBytes, low, k.redGreen[group], high);
        const __m512i blue = _mm512_maskz_permutex2var_epi8(kBlueBytes, low, k.blue[group], high);
        const __m512i sum = _mm512_dpwssd_epi32(
            _mm512_dpwssd_epi32(_mm512_setzero_si512(), redGreen, redGreenWeights), blue,
            blueWeight);
        lum[group] = _mm512_srli_epi32(_mm512_add_epi32(sum, _mm512_slli_epi32(sum, 8)), 8);
    }
}

/// The nearest 8-bit value, (v + 128) / 257, of every 16-bit word, in its high byte (as
/// the host packs: min(v + 128, 65535) * 65281 >> 16 has it there). Zero words stay zero.
LOOM_AVX512_VBMI_INLINE inline __m512i NearestByteHigh(__m512i words) {
    return _mm512_mulhi_epu16(_mm512_adds_epu16(words, _mm512_set1_epi16(128)),
                              _mm512_set1_epi16(static_cast<short>(65281)));
}

/// One step of 64 packed 8-bit pixels: `a` holds the left view's 192 bytes and receives
/// the result, `b` the right view's. The same arithmetic as the 16-bit step on the widened
/// values; each group's two eights of eye values are rounded to 8 bits and merged into one
/// vector (the first eight's in the low bytes), and the final permutations place them.
template <bool kFloat, bool kClamp>
LOOM_AVX512_VBMI_INLINE inline void ComposeRgb24Step(const Rgb24Constants& k, std::uint8_t* a,
                                                     const std::uint8_t* b) {
    __m512i lumA[4], lumB[4];
    Rgb24Luminances(k, a, lumA);
    Rgb24Luminances(k, b, lumB);
    __m512i groups[4];
    for (int group = 0; group < 4; ++group) {
        __m512i eights[2];
        PackedEyes<kFloat, kClamp>(k.eyes, lumA[group], lumB[group], eights);
        for (__m512i& eight : eights) eight = NearestByteHigh(eight);
        // (first >> 8) | (second & 0xFF00): the first eight's bytes low, the second's high.
        groups[group] =
            _mm512_ternarylogic_epi32(_mm512_srli_epi16(eights[0], 8), eights[1],
                                      _mm512_set1_epi16(static_cast<short>(0xFF00)), 0xF8);
    }
    for (int vector = 0; vector < 3; ++vector) {
        _mm512_storeu_si512(
            a + 64 * vector,
            _mm512_permutex2var_epi8(groups[vector], k.pack[vector], groups[vector + 1]));
    }
}

/// Whole steps of 64 pixels where they lie; the last few pixels through a step of copies
/// on the stack (as ComposePacked).
template <bool kFloat, bool kClamp>
LOOM_AVX512_VBMI void ComposeRgb24(const LineComposer& s, std::uint8_t* a, const std::uint8_t* b,
                                   int width) noexcept {
    const Rgb24Constants k = MakeRgb24Constants(s);
    const int whole = width / kRgb24Step * kRgb24Step;
    for (int x = 0; x < whole; x += kRgb24Step) {
        const std::ptrdiff_t at = std::ptrdiff_t{x} * kRgb24PixelBytes;
        // Frames come from memory: the bytes 4 KiB ahead of each view are asked for into
        // the second-level cache (as the host's widening does). A hint never faults.
        for (int line = 0; line < kRgb24StepBytes; line += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(a + at + kRgb24ReadAhead + line),
                         _MM_HINT_T1);
            _mm_prefetch(reinterpret_cast<const char*>(b + at + kRgb24ReadAhead + line),
                         _MM_HINT_T1);
        }
        ComposeRgb24Step<kFloat, kClamp>(k, a + at, b + at);
    }
    if (whole == width) return;
    LastPixels<kRgb24StepBytes> rest(a, b, std::ptrdiff_t{whole} * kRgb24PixelBytes,
                                     std::ptrdiff_t{width} * kRgb24PixelBytes);
    ComposeRgb24Step<kFloat, kClamp>(k, rest.a, rest.b);
    rest.WriteBack();
}

}  // namespace

int ComposeLineAvx512(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b, int width,
                      AheadRun aheadA, AheadRun aheadB) noexcept {
    if (s.leftIndex == s.rightIndex) return 0;  // the scalar order of stores decides that case
    if (!aheadB.bytes) aheadB = aheadA;
    if (s.floatIntensity) {
        return s.withinChannel ? Compose<true, false>(s, a, b, width, aheadA, aheadB)
                               : Compose<true, true>(s, a, b, width, aheadA, aheadB);
    }
    return s.withinChannel ? Compose<false, false>(s, a, b, width, aheadA, aheadB)
                           : Compose<false, true>(s, a, b, width, aheadA, aheadB);
}

bool ComposePackedLineAvx512(const LineComposer& s, std::uint8_t* a, const std::uint8_t* b,
                             int width) noexcept {
    if (s.leftIndex == s.rightIndex) return false;
    if (s.floatIntensity) {
        s.withinChannel ? ComposePacked<true, false>(s, a, b, width)
                        : ComposePacked<true, true>(s, a, b, width);
    } else {
        s.withinChannel ? ComposePacked<false, false>(s, a, b, width)
                        : ComposePacked<false, true>(s, a, b, width);
    }
    return true;
}

bool ComposePackedRgb24LineAvx512(const LineComposer& s, std::uint8_t* a, const std::uint8_t* b,
                                  int width) noexcept {
    if (s.leftIndex == s.rightIndex) return false;
    if (s.floatIntensity) {
        s.withinChannel ? ComposeRgb24<true, false>(s, a, b, width)
                        : ComposeRgb24<true, true>(s, a, b, width);
    } else {
        s.withinChannel ? ComposeRgb24<false, false>(s, a, b, width)
                        : ComposeRgb24<false, true>(s, a, b, width);
    }
    return true;
}

#else

int ComposeLineAvx512(const LineComposer&, BMM_Color_64*, const BMM_Color_64*, int, AheadRun,
                      AheadRun) noexcept {
    return 0;
}

bool ComposePackedLineAvx512(const LineComposer&, std::uint8_t*, const std::uint8_t*,
                             int) noexcept {
    return false;
}

bool ComposePackedRgb24LineAvx512(const LineComposer&, std::uint8_t*, const std::uint8_t*,
                                  int) noexcept {
    return false;
}

#endif

#pragma once
/// Anaglyph compositing: the 2x2 cross-correction shared by the render and the
/// calibration preview, the luminance of a host pixel, and the per-line composition.
/// Pure functions over plain data: no allocation, no state, safe on any thread.

#include <cstdint>

#include "dioptrix/config.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/filters.h"

/// Coefficients of the cross-correction for compensations cL, cR and a full scale S:
/// with D = 1 - cL*cR, aL = (1 + cL)/D, aR = (1 + cR)/D,
/// bL = S*cL*(cR*(1 + cL) - (1 + cR))/D^2, bR = S*cR*(cL*(1 + cR) - (1 + cL))/D^2.
/// Computed in double, kept as floats.
struct CrossCorrection {
    float aL = 1.0f;
    float aR = 1.0f;
    float bL = 0.0f;
    float bR = 0.0f;
};

/// The coefficients for compensations `cL`, `cR` (-0.5..0) and full scale `fullScale`
/// (65535 for the render, 255 for the preview).
CrossCorrection StereoCoefficients(float cL, float cR, double fullScale) noexcept;

/// (76 r + 150 g + 30 b) >> 8 in unsigned 32-bit arithmetic: 0..65535; alpha ignored.
constexpr std::uint32_t StereoLuminance(const BMM_Color_64& c) noexcept {
    return (76u * c.r + 150u * c.g + 30u * c.b) >> 8;
}

/// The channel neither eye uses: it starts as 2, becomes 1 when either eye is 2, and 0
/// when that is taken too.
int ThirdChannel(int left, int right) noexcept;

/// The line kernels. Each gives the scalar loop's results bit for bit.
enum class ComposeKernel : std::uint8_t {
    kScalar,  ///< one pixel at a time, every processor
    kAvx2,    ///< four pixels at a time
    kAvx512,  ///< eight pixels at a time
};

/// The fastest kernel the process's vector level (foundation/host/base/vector_level.h)
/// allows.
ComposeKernel FastestComposeKernel() noexcept;

/// Everything the line loop reads, prepared once per render.
struct LineComposer {
    WORD BMM_Color_64::*left;   ///< channel of the left view
    WORD BMM_Color_64::*right;  ///< channel of the right view
    WORD BMM_Color_64::*third;  ///< channel cleared
    int leftIndex;              ///< the same channels as indices 0..2, for the vector kernel
    int rightIndex;
    float cL;
    float cR;
    CrossCorrection k;     ///< full scale 65535
    ComposeKernel kernel;  ///< FastestComposeKernel(); tests and benchmarks pick others
    /// For the AVX-512 kernel: both eyes' intensities are exact in single precision
    /// (IntensityExactInFloat).
    bool floatIntensity;
    /// For the AVX-512 kernel: every sum lies strictly between -1 and 65536 (checked at
    /// the four extreme luminance pairs), so truncation alone gives the 16-bit store.
    bool withinChannel;
    /// For the AVX2 kernel: the byte shuffle that takes the packed 16-bit values
    /// l0 l1 l2 l3 r0 r1 r2 r3 to their channels of four pixels (two per 16-byte half).
    std::uint8_t channelShuffle[32];
    /// For the AVX-512 kernel: the word permutation that takes eight left values and eight
    /// right values, one per 64-bit lane, to their channels of eight pixels, and a zero
    /// word (the second word of a left lane) to the other two.
    std::uint16_t channelWords[32];
    /// For the AVX-512 kernel on packed 16-bit pixels: the word permutations that take the
    /// eye values of 32 pixels, in four vectors of eight pixels' words (per 128-bit lane two
    /// pixels' left values, then their right values, each followed by a zero word), to
    /// three vectors of packed RGB; vector v gathers from vectors v and v + 1.
    std::uint16_t packedChannelWords[3][32];
    /// For the AVX-512 kernel on packed 8-bit pixels: the byte permutations that take the
    /// 8-bit eye values of 64 pixels, in four vectors of sixteen pixels (per 128-bit lane,
    /// pixels 2k and 2k + 1 of each eight: left values in words 0 and 2, right values in
    /// words 4 and 6, the first eight's in the low bytes, the second's in the high bytes,
    /// zero in word 1), to three vectors of packed RGB; vector v gathers from vectors v and
    /// v + 1.
    std::uint8_t packedChannelBytes[3][64];
};

/// The composer for a configuration whose eye colours are in range (see ConfigInRange).
/// The compensations are taken as they are; sums outside the channel clamp (see
/// ComposeLine).
LineComposer MakeLineComposer(const DioptrixConfig& inRange) noexcept;

/// Pixels a later composition will read, as they lie in the bitmaps' storage (16-bit or
/// packed), brought toward the cache while this line is composed, so that memory and
/// arithmetic overlap. A hint only: nothing is read from them, and null lines are skipped.
struct ReadAhead {
    loom::StoredLine source;
    loom::StoredLine foreground;
};

/// Composes one line in place: `a` holds the left view's pixels and receives the result,
/// `b` the right view's. Per pixel, with Ls and Lf the luminances of a[x] and b[x]:
/// IL = aL*Ls + bL and IR = aR*Lf + bR (rounded to float); the left channel becomes
/// IL + cL*IR and the right channel IR + cR*IL, each truncated toward zero and clamped to
/// 0..65535 (NaN as 0); the third channel 0; alpha the larger of the two alphas.
void ComposeLine(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b, int width,
                 const ReadAhead& next = {}) noexcept;

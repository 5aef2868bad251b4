#include "dioptrix/composite.h"

#include <algorithm>
#include <iterator>

#include "dioptrix/compose_avx2.h"
#include "dioptrix/compose_avx512.h"
#include "foundation/host/base/core.h"
#include "foundation/host/base/vector_level.h"

namespace {

constexpr WORD BMM_Color_64::*kChannels[3] = {&BMM_Color_64::r, &BMM_Color_64::g, &BMM_Color_64::b};

/// Truncates toward zero into 0..65535; NaN gives 0. Inside -0.5..0 the compensations
/// keep every value in range; the clamp guards against anything else.
WORD Store16(double v) noexcept {
    if (!(v > 0.0)) return 0;
    if (v >= 65535.0) return 65535;
    return static_cast<WORD>(v);
}

/// The intensity of one eye, as the line composition rounds it.
float Intensity(float k, float c, double luminance) noexcept {
    return static_cast<float>(Widen(k) * luminance + Widen(c));
}

/// Whether every sum I + c*J of the composition lies strictly between -1 and 65536.
/// Each intensity is a monotone function of its luminance (a product, a sum and roundings,
/// all monotone), and each sum is monotone in both intensities, so its extremes lie at the
/// four pairs of extreme luminances. Finite extremes also rule out NaN between them.
bool SumsWithinChannel(const LineComposer& s) noexcept {
    for (double ls : {0.0, 65535.0}) {
        for (double lf : {0.0, 65535.0}) {
            const double il = Widen(Intensity(s.k.aL, s.k.bL, ls));
            const double ir = Widen(Intensity(s.k.aR, s.k.bR, lf));
            for (double v : {il + Widen(s.cL) * ir, ir + Widen(s.cR) * il}) {
                if (!(v > -1.0 && v < 65536.0)) return false;
            }
        }
    }
    return true;
}

}  // namespace

CrossCorrection StereoCoefficients(float cL, float cR, double fullScale) noexcept {
    const double l = Widen(cL);
    const double r = Widen(cR);
    const double d = 1.0 - l * r;
    CrossCorrection k;
    k.aL = static_cast<float>((1.0 + l) / d);
    k.aR = static_cast<float>((1.0 + r) / d);
    k.bL = static_cast<float>(fullScale * l * (r * (1.0 + l) - (1.0 + r)) / (d * d));
    k.bR = static_cast<float>(fullScale * r * (l * (1.0 + r) - (1.0 + l)) / (d * d));
    return k;
}

ComposeKernel FastestComposeKernel() noexcept {
    // The AVX-512 kernel's luminance step is a VNNI multiply-add.
    switch (loom::ActiveVectorLevel()) {
        case loom::VectorLevel::kAvx512:
            if (loom::ActiveVectorExtension(loom::VectorExtension::kAvx512Vnni)) {
                return ComposeKernel::kAvx512;
            }
            return ComposeKernel::kAvx2;
        case loom::VectorLevel::kAvx2:
            return ComposeKernel::kAvx2;
        case loom::VectorLevel::kBase:
        case loom::VectorLevel::kScalar:
            break;
    }
    return ComposeKernel::kScalar;
}

int ThirdChannel(int left, int right) noexcept {
    int t = 2;
    if (left == 2 || right == 2) t = 1;
    if (t == left || t == right) t = 0;
    return t;
}

LineComposer MakeLineComposer(const DioptrixConfig& inRange) noexcept {
    const int l = inRange.leftEyeColor % 3;  // in range already; the modulo keeps indexing safe
    const int r = inRange.rightEyeColor % 3;
    LineComposer s;
    s.left = kChannels[l];
    s.right = kChannels[r];
    s.third = kChannels[ThirdChannel(l, r)];
    s.leftIndex = l;
    s.rightIndex = r;
    s.cL = inRange.leftCompensation;
    s.cR = inRange.rightCompensation;
    s.k = StereoCoefficients(s.cL, s.cR, 65535.0);
    s.kernel = FastestComposeKernel();
    s.floatIntensity =
        IntensityExactInFloat(s.k.aL, s.k.bL) && IntensityExactInFloat(s.k.aR, s.k.bR);
    s.withinChannel = SumsWithinChannel(s);
    // Byte 0x80 gives zero. Pixel p (0..3) sits in half p / 2 at byte 8 * (p % 2); its left
    // value is packed at bytes 2p, 2p + 1 and its right value at 8 + 2p, 9 + 2p.
    std::fill(std::begin(s.channelShuffle), std::end(s.channelShuffle), std::uint8_t{0x80});
    for (int p = 0; p < 4; ++p) {
        std::uint8_t* pixel = s.channelShuffle + 16 * (p / 2) + 8 * (p % 2);
        for (int byte = 0; byte < 2; ++byte) {
            pixel[2 * l + byte] = static_cast<std::uint8_t>(2 * p + byte);
            pixel[2 * r + byte] = static_cast<std::uint8_t>(8 + 2 * p + byte);
        }
    }
    for (int word = 0; word < 32; ++word) {
        const int lane = word & ~3, channel = word & 3;
        s.channelWords[word] = static_cast<std::uint16_t>(channel == l   ? lane
                                                          : channel == r ? 32 + lane
                                                                         : lane + 1);
    }
    // Output word o of the 96 lies in vector o / 32 and belongs to pixel o / 3: pixel p of
    // group g = p / 8 sits in lane (p % 8) / 2 at place p % 2.
    for (int out = 0; out < 96; ++out) {
        const int pixel = out / 3, channel = out % 3, vector = out / 32;
        const int lane = pixel % 8 / 2, place = pixel % 2;
        const int word = channel == l   ? 8 * lane + 2 * place
                         : channel == r ? 8 * lane + 4 + 2 * place
                                        : 8 * lane + 1;
        s.packedChannelWords[vector][out % 32] =
            static_cast<std::uint16_t>(32 * (pixel / 8 - vector) + word);
    }
    // Output byte o of the 192 lies in vector o / 64 and belongs to pixel o / 3: pixel p of
    // group g = p / 16 sits in eight q = p % 16 / 8, lane (p % 8) / 2, at place p % 2.
    for (int out = 0; out < 192; ++out) {
        const int pixel = out / 3, channel = out % 3, vector = out / 64;
        const int group = pixel / 16, eight = pixel % 16 / 8;
        const int lane = pixel % 8 / 2, place = pixel % 2;
        const int word = channel == l ? 2 * place : channel == r ? 4 + 2 * place : 1;
        s.packedChannelBytes[vector][out % 64] =
            static_cast<std::uint8_t>(64 * (group - vector) + 16 * lane + 2 * word + eight);
    }
    return s;
}

namespace {

/// Pixels composed between two read-ahead steps: long enough for the vector kernel, short
/// enough that the prefetches spread over the whole line.
constexpr int kReadAheadRun = 96;

/// Brings pixels from..from+count-1 of a stored line toward the cache.
void Prefetch(const loom::StoredLine& line, int from, int count) noexcept {
    if (!line.bytes) return;
    const std::ptrdiff_t end = std::ptrdiff_t{std::min(line.width, from + count)} * line.pixelBytes;
    for (std::ptrdiff_t at = std::ptrdiff_t{from} * line.pixelBytes; at < end; at += 64) {
#if defined(__x86_64__)
        // GCC's dead-code elimination drops __builtin_prefetch from this nested loop.
        asm volatile("prefetcht0 %0" : : "m"(line.bytes[at]));
#else
        __builtin_prefetch(line.bytes + at, 0, 3);
#endif
    }
}

/// Composes pixels from..width-1 one at a time.
void ComposeScalar(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b, int from,
                   int width) noexcept {
    const double aL = Widen(s.k.aL), bL = Widen(s.k.bL);
    const double aR = Widen(s.k.aR), bR = Widen(s.k.bR);
    const double cL = Widen(s.cL), cR = Widen(s.cR);
    for (int x = from; x < width; ++x) {
        BMM_Color_64& p = a[x];
        const BMM_Color_64& q = b[x];
        const double ls = StereoLuminance(p);
        const double lf = StereoLuminance(q);
        const float il = static_cast<float>(aL * ls + bL);
        const float ir = static_cast<float>(aR * lf + bR);
        p.*s.left = Store16(Widen(il) + cL * Widen(ir));
        p.*s.right = Store16(Widen(ir) + cR * Widen(il));
        p.*s.third = 0;
        if (q.a > p.a) p.a = q.a;
    }
}

/// The AVX-512 kernel reads ahead one cache line of each line to read per step, at the
/// pixels it composes: from those lines where they reach, from the lines at hand
/// (cached already, so the hint costs next to nothing) where they do not.
void ComposeAvx512ReadingAhead(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b,
                               int width, const ReadAhead& next) noexcept {
    const auto at = [](const BMM_Color_64* pixels) {
        return AheadRun{reinterpret_cast<const std::uint8_t*>(pixels), sizeof(BMM_Color_64)};
    };
    const AheadRun aheadA = next.source.bytes && next.source.width >= width
                                ? AheadRun{next.source.bytes, next.source.pixelBytes}
                                : at(a);
    const int reach = next.foreground.bytes ? std::clamp(next.foreground.width, 0, width) : 0;
    int done = ComposeLineAvx512(s, a, b, reach, aheadA,
                                 {next.foreground.bytes, next.foreground.pixelBytes});
    done += ComposeLineAvx512(s, a + done, b + done, width - done, aheadA.From(done), at(b + done));
    ComposeScalar(s, a, b, done, width);
}

void ComposeRun(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b, int width) noexcept {
    const int done = s.kernel == ComposeKernel::kAvx2 ? ComposeLineAvx2(s, a, b, width) : 0;
    ComposeScalar(s, a, b, done, width);
}

}  // namespace

void ComposeLine(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b, int width,
                 const ReadAhead& next) noexcept {
    if (s.kernel == ComposeKernel::kAvx512 && s.leftIndex != s.rightIndex) {
        ComposeAvx512ReadingAhead(s, a, b, width, next);
        return;
    }
    for (int x = 0; x < width; x += kReadAheadRun) {
        const int run = std::min(kReadAheadRun, width - x);
        Prefetch(next.source, x, run);
        Prefetch(next.foreground, x, run);
        ComposeRun(s, a + x, b + x, run);
    }
}

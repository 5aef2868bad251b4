// Every line kernel against the composition's arithmetic written out here independently:
// every luminance of each view, every 8-bit colour, random 16-bit colours, every pair of
// eye channels, and compensations at and beyond the ends of the range; and the kernels for
// packed 16- and 8-bit lines against the host's conversions around the scalar composition.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <utility>
#include <vector>

#include "dioptrix/compose_avx512.h"
#include "dioptrix/composite.h"
#include "foundation/host/base/vector_level.h"
#include "foundation/host/sdk/packed_pixels.h"

namespace {

struct Compensation {
    float left, right;
};

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// In range (both ends, zeros of both signs, ordinary values, magnitudes so small that the
// intensities need double precision), and beyond it (sums past both ends of the channel,
// a zero determinant, NaN, infinity).
const Compensation kCompensations[] = {
    {0.0f, 0.0f},     {-0.0f, 0.0f}, {-0.1f, -0.1f},   {-0.5f, -0.5f},
    {-0.37f, -0.01f}, {-0.5f, 0.0f}, {-1e-10f, -0.2f}, {-0.3f, -1e-30f},
    {0.5f, 0.5f},     {1.0f, 1.0f},  {-0.9f, 0.3f},    {-1.0f, -1.0f},
    {-2.0f, -0.5f},   {kNan, -0.2f}, {-0.1f, -kInf},   {1e30f, -1e30f},
};

const int kEyePairs[][2] = {{0, 1}, {1, 0}, {0, 2}, {2, 0}, {1, 2}, {2, 1}};

DioptrixConfig Config(int left, int right, Compensation c) {
    DioptrixConfig config;
    config.leftEyeColor = static_cast<std::uint8_t>(left);
    config.rightEyeColor = static_cast<std::uint8_t>(right);
    config.leftCompensation = c.left;
    config.rightCompensation = c.right;
    return config;
}

WORD& Channel(BMM_Color_64& p, int i) { return i == 0 ? p.r : (i == 1 ? p.g : p.b); }

/// One pixel of the composition: luminances, intensities rounded to float, the two sums
/// in double, truncated and clamped, the third channel cleared and the larger alpha.
BMM_Color_64 Reference(int l, int r, Compensation c, const CrossCorrection& k, BMM_Color_64 a,
                       BMM_Color_64 b) {
    auto luminance = [](BMM_Color_64 p) {
        return static_cast<double>((76u * p.r + 150u * p.g + 30u * p.b) >> 8);
    };
    const double il =
        static_cast<float>(static_cast<double>(k.aL) * luminance(a) + static_cast<double>(k.bL));
    const double ir =
        static_cast<float>(static_cast<double>(k.aR) * luminance(b) + static_cast<double>(k.bR));
    auto store = [](double v) -> WORD {
        if (std::isnan(v) || v <= 0) return 0;
        return v >= 65535 ? 65535 : static_cast<WORD>(std::trunc(v));
    };
    BMM_Color_64 out = a;
    Channel(out, l) = store(il + static_cast<double>(c.left) * ir);
    Channel(out, r) = store(ir + static_cast<double>(c.right) * il);
    Channel(out, 3 - l - r) = 0;
    out.a = std::max(a.a, b.a);
    return out;
}

std::vector<ComposeKernel> Kernels() {
    std::vector<ComposeKernel> kernels;
    for (ComposeKernel k : {ComposeKernel::kScalar, ComposeKernel::kAvx2, ComposeKernel::kAvx512}) {
        if (k <= FastestComposeKernel()) kernels.push_back(k);
    }
    return kernels;
}

/// Composes the line with every kernel and compares each pixel with Reference; the first
/// difference fails the test.
void ExpectEveryKernelExact(int l, int r, Compensation c, const std::vector<BMM_Color_64>& left,
                            const std::vector<BMM_Color_64>& right) {
    const CrossCorrection k = StereoCoefficients(c.left, c.right, 65535.0);
    std::vector<BMM_Color_64> want(left.size());
    for (size_t x = 0; x < left.size(); ++x) want[x] = Reference(l, r, c, k, left[x], right[x]);
    for (ComposeKernel kernel : Kernels()) {
        LineComposer s = MakeLineComposer(Config(l, r, c));
        s.kernel = kernel;
        std::vector<BMM_Color_64> out = left;
        ComposeLine(s, out.data(), right.data(), static_cast<int>(out.size()));
        for (size_t x = 0; x < out.size(); ++x) {
            ASSERT_EQ(out[x], want[x])
                << "kernel " << static_cast<int>(kernel) << ", eyes " << l << r
                << ", compensations " << c.left << " " << c.right << ", pixel " << x
                << " of luminances " << left[x].r << " " << right[x].r;
        }
    }
}

BMM_Color_64 Grey(std::uint32_t v, std::uint32_t alpha) {
    const WORD w = static_cast<WORD>(v);
    return {w, w, w, static_cast<WORD>(alpha)};
}

/// Xorshift64: plenty of varied pixels, the same ones on every run.
class XorShift {
  public:
    explicit XorShift(std::uint64_t seed) : state_(seed) {}
    std::uint64_t operator()() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }

  private:
    std::uint64_t state_;
};

}  // namespace

TEST(ComposeKernels, EveryLuminancePairedWithAnotherMatchesTheArithmetic) {
    // A grey pixel's luminance is its value: the left view runs through every luminance,
    // the right view through all of them in another order, and the four extreme pairs
    // close the line (the line is no multiple of eight, so a tail is left to the scalar loop).
    std::vector<BMM_Color_64> left, right;
    for (std::uint32_t x = 0; x < 65536; ++x) {
        left.push_back(Grey(x, x * 7919u));
        right.push_back(Grey((x * 40503u + 12345u) & 0xFFFF, x * 104729u));
    }
    for (std::uint32_t corner = 0; corner < 4; ++corner) {
        left.push_back(Grey(corner & 1 ? 65535 : 0, corner));
        right.push_back(Grey(corner & 2 ? 65535 : 0, 3 - corner));
    }
    left.push_back(Grey(1, 0));
    right.push_back(Grey(65534, 9));
    for (const auto& eyes : kEyePairs) {
        for (const Compensation& c : kCompensations) {
            ExpectEveryKernelExact(eyes[0], eyes[1], c, left, right);
        }
    }
}

TEST(ComposeKernels, EveryEightBitColourMatchesTheArithmetic) {
    // All 2^24 colours of 8-bit pictures (widened by 257) in the left view, the same
    // colours in another order in the right view, in lines of 65536 pixels.
    const Compensation cases[] = {{-0.1f, -0.1f}, {-0.5f, 0.0f}, {-0.25f, -0.4f}};
    std::vector<BMM_Color_64> left(65536), right(65536);
    for (std::uint32_t line = 0; line < 256; ++line) {
        for (std::uint32_t x = 0; x < 65536; ++x) {
            const std::uint32_t i = line << 16 | x;
            const std::uint32_t j = (i * 2654435761u) & 0xFFFFFF;
            auto colour = [](std::uint32_t c, std::uint32_t alpha) {
                return BMM_Color_64{static_cast<WORD>((c >> 16) * 257),
                                    static_cast<WORD>((c >> 8 & 255) * 257),
                                    static_cast<WORD>((c & 255) * 257), static_cast<WORD>(alpha)};
            };
            left[x] = colour(i, 65535);
            right[x] = colour(j, (j & 1) ? 65535 : 0);
        }
        const Compensation& c = cases[line % 3];
        const auto& eyes = kEyePairs[line % 6];
        ExpectEveryKernelExact(eyes[0], eyes[1], c, left, right);
        if (HasFatalFailure()) return;
    }
}

TEST(ComposeKernels, RandomSixteenBitColoursMatchTheArithmetic) {
    XorShift next(0x9E3779B97F4A7C15ull);
    std::vector<BMM_Color_64> left(20000), right(20000);
    for (const auto& eyes : kEyePairs) {
        for (const Compensation& c : kCompensations) {
            for (size_t x = 0; x < left.size(); ++x) {
                const std::uint64_t u = next(), v = next();
                left[x] = {static_cast<WORD>(u), static_cast<WORD>(u >> 16),
                           static_cast<WORD>(u >> 32), static_cast<WORD>(u >> 48)};
                right[x] = {static_cast<WORD>(v), static_cast<WORD>(v >> 16),
                            static_cast<WORD>(v >> 32), static_cast<WORD>(v >> 48)};
            }
            ExpectEveryKernelExact(eyes[0], eyes[1], c, left, right);
        }
    }
}

TEST(ComposeKernels, SinglePrecisionIntensitiesOnlyWhereExact) {
    // Wherever the check allows single precision, the float FMA must give the double
    // computation's float for every luminance. The dialog's usual values must allow it.
    std::vector<std::pair<float, float>> coefficients;
    for (const Compensation& c : kCompensations) {
        const CrossCorrection k = StereoCoefficients(c.left, c.right, 65535.0);
        coefficients.emplace_back(k.aL, k.bL);
        coefficients.emplace_back(k.aR, k.bR);
    }
    // Sums that need more than 53 bits: a coarse product and a fine offset.
    coefficients.emplace_back(0.75f, 3e-12f);
    coefficients.emplace_back(1.0f + 0x1p-23f, 0x1p-40f);
    coefficients.emplace_back(0x1p-30f, 1e-30f);
    coefficients.emplace_back(0.0f, 1e-40f);
    int exact = 0;
    for (const auto& [a, b] : coefficients) {
        if (!IntensityExactInFloat(a, b)) continue;
        ++exact;
        for (int lum = 0; lum < 65536; ++lum) {
            const double l = lum;
            const float viaDouble =
                static_cast<float>(static_cast<double>(a) * l + static_cast<double>(b));
            const float viaFma = std::fma(a, static_cast<float>(lum), b);
            ASSERT_EQ(std::bit_cast<std::uint32_t>(viaDouble), std::bit_cast<std::uint32_t>(viaFma))
                << a << " " << b << " at " << lum;
        }
    }
    EXPECT_GT(exact, 10);
    for (float c : {0.0f, -0.1f, -0.25f, -0.5f}) {
        const CrossCorrection k = StereoCoefficients(c, -0.1f, 65535.0);
        EXPECT_TRUE(IntensityExactInFloat(k.aL, k.bL)) << c;
    }
    // A product on a float midpoint plus a tiny offset: the double sum drops the offset and
    // rounds to even where the FMA rounds up, so the check must refuse the pair.
    const float midA = 1.0f + 0x1p-8f, midB = 0x1p-60f;
    EXPECT_FALSE(IntensityExactInFloat(midA, midB));
    int differ = 0;
    for (int lum = 65281; lum < 65536; lum += 2) {
        const float viaDouble =
            static_cast<float>(static_cast<double>(midA) * lum + static_cast<double>(midB));
        differ += viaDouble != std::fma(midA, static_cast<float>(lum), midB);
    }
    EXPECT_GT(differ, 0);
    // Sums spanning more than a double's 53 bits: the check must say no.
    EXPECT_FALSE(IntensityExactInFloat(1.0f + 0x1p-23f, 0x1p-40f));
    EXPECT_FALSE(IntensityExactInFloat(kNan, 0.0f));
}

TEST(ComposeKernels, ClampsAreLeftOutOnlyWhenEverySumStaysInTheChannel) {
    // The composer decides from the four extreme luminance pairs; a grid of every 257th
    // luminance of both views (extremes included) must agree.
    for (const Compensation& c : kCompensations) {
        const CrossCorrection k = StereoCoefficients(c.left, c.right, 65535.0);
        bool inside = true;
        for (int ls = 0; ls <= 65535; ls += 257) {
            for (int lf = 0; lf <= 65535; lf += 257) {
                const double il =
                    static_cast<float>(static_cast<double>(k.aL) * ls + static_cast<double>(k.bL));
                const double ir =
                    static_cast<float>(static_cast<double>(k.aR) * lf + static_cast<double>(k.bR));
                for (double v : {il + static_cast<double>(c.left) * ir,
                                 ir + static_cast<double>(c.right) * il}) {
                    inside = inside && v > -1.0 && v < 65536.0;
                }
            }
        }
        SCOPED_TRACE(testing::Message() << c.left << " " << c.right);
        EXPECT_EQ(MakeLineComposer(Config(0, 1, c)).withinChannel, inside);
        const bool inDialogRange =
            c.left >= -0.5f && c.left <= 0.0f && c.right >= -0.5f && c.right <= 0.0f;
        EXPECT_TRUE(!inDialogRange || inside);
    }
    EXPECT_FALSE(MakeLineComposer(Config(0, 1, {0.5f, 0.5f})).withinChannel);
}

namespace {

/// Whether this processor runs the AVX-512 kernels, whatever level the process runs.
bool ProcessorRunsAvx512Kernel() {
    return loom::ProcessorRunsVectorLevel(loom::VectorLevel::kAvx512) &&
           loom::ProcessorHasVectorExtension(loom::VectorExtension::kAvx512Vnni);
}

/// Whether this processor runs the AVX-512 kernel for packed 8-bit lines.
bool ProcessorRunsRgb24Kernel() {
    return ProcessorRunsAvx512Kernel() &&
           loom::ProcessorHasVectorExtension(loom::VectorExtension::kAvx512Vbmi);
}

/// The host's conversions at one depth, and the packed kernel for it.
struct PackedDepth {
    size_t pixelBytes;
    void (*pack)(const BMM_Color_64*, std::uint8_t*, std::size_t) noexcept;
    void (*widen)(const std::uint8_t*, BMM_Color_64*, std::size_t) noexcept;
    bool (*kernel)(const LineComposer&, std::uint8_t*, const std::uint8_t*, int) noexcept;
};
const PackedDepth kSixteenBits{6, loom::PackRgb48Portable, loom::WidenRgb48Portable,
                               ComposePackedLineAvx512};
const PackedDepth kEightBits{3, loom::PackRgb24Portable, loom::WidenRgb24Portable,
                             ComposePackedRgb24LineAvx512};

/// Composes `left` with `right` as packed lines with the packed kernel, and expects the
/// bytes of the host's path: both widened, composed one pixel at a time, packed.
void ExpectPackedKernelAsWidenedLine(const PackedDepth& depth, const LineComposer& s,
                                     const std::vector<BMM_Color_64>& left,
                                     const std::vector<BMM_Color_64>& right) {
    const size_t width = left.size(), bytes = depth.pixelBytes;
    std::vector<std::uint8_t> a(bytes * width), b(bytes * width);
    depth.pack(left.data(), a.data(), width);
    depth.pack(right.data(), b.data(), width);
    std::vector<BMM_Color_64> wideA(width), wideB(width);
    depth.widen(a.data(), wideA.data(), width);
    depth.widen(b.data(), wideB.data(), width);
    LineComposer scalar = s;
    scalar.kernel = ComposeKernel::kScalar;
    ComposeLine(scalar, wideA.data(), wideB.data(), static_cast<int>(width));
    std::vector<std::uint8_t> want(a.size());
    depth.pack(wideA.data(), want.data(), width);

    // Guard bytes on both sides of the line must stay as they are.
    constexpr std::uint8_t kGuard = 0xA5;
    std::vector<std::uint8_t> line(a.size() + 128, kGuard);
    std::copy(a.begin(), a.end(), line.begin() + 64);
    const std::vector<std::uint8_t> bBefore = b;
    ASSERT_TRUE(depth.kernel(s, line.data() + 64, b.data(), static_cast<int>(width)));
    EXPECT_EQ(b, bBefore);
    for (size_t i = 0; i < 64; ++i) {
        ASSERT_EQ(line[i], kGuard) << "byte " << i << " before the line";
        ASSERT_EQ(line[64 + a.size() + i], kGuard) << "byte " << i << " past the line";
    }
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(line[64 + i], want[i])
            << "pixel " << i / bytes << " of " << width << ", channel " << i % bytes * 3 / bytes
            << ", left " << left[i / bytes].r << " " << left[i / bytes].g << " "
            << left[i / bytes].b << ", right " << right[i / bytes].r << " " << right[i / bytes].g
            << " " << right[i / bytes].b;
    }
}

/// Random opaque 16-bit pixels.
std::vector<BMM_Color_64> RandomPixels(XorShift& next, size_t count) {
    std::vector<BMM_Color_64> pixels(count);
    for (BMM_Color_64& p : pixels) {
        const std::uint64_t u = next();
        p = {static_cast<WORD>(u), static_cast<WORD>(u >> 16), static_cast<WORD>(u >> 32), 65535};
    }
    return pixels;
}

/// Every branch of the kernel over `left` and `right`: each eye pair with each compensation,
/// intensities in single and double precision, sums with and without the clamps.
void ExpectEveryBranchAsWidenedLine(const PackedDepth& depth, const std::vector<BMM_Color_64>& left,
                                    const std::vector<BMM_Color_64>& right) {
    bool branches[2][2] = {};
    for (const auto& eyes : kEyePairs) {
        for (const Compensation& c : kCompensations) {
            const LineComposer s = MakeLineComposer(Config(eyes[0], eyes[1], c));
            branches[s.floatIntensity][s.withinChannel] = true;
            SCOPED_TRACE(testing::Message() << "eyes " << eyes[0] << eyes[1] << ", compensations "
                                            << c.left << " " << c.right);
            ExpectPackedKernelAsWidenedLine(depth, s, left, right);
            if (testing::Test::HasFatalFailure()) return;
        }
    }
    EXPECT_TRUE(branches[0][0] && branches[0][1] && branches[1][0] && branches[1][1]);
}

/// Lines of widths around the kernel's steps and groups, of random pixels, through a few
/// compensations; and equal eye channels, which the kernel leaves alone.
void ExpectEveryWidthAsWidenedLine(const PackedDepth& depth, std::initializer_list<int> widths) {
    XorShift next(0x2545F4914F6CDD1Dull);
    for (const int width : widths) {
        const std::vector<BMM_Color_64> left = RandomPixels(next, static_cast<size_t>(width));
        const std::vector<BMM_Color_64> right = RandomPixels(next, left.size());
        for (const auto& eyes : kEyePairs) {
            for (const Compensation& c :
                 {kCompensations[2], kCompensations[6], kCompensations[9], kCompensations[13]}) {
                SCOPED_TRACE(testing::Message()
                             << "width " << width << ", eyes " << eyes[0] << eyes[1]
                             << ", compensations " << c.left << " " << c.right);
                ExpectPackedKernelAsWidenedLine(
                    depth, MakeLineComposer(Config(eyes[0], eyes[1], c)), left, right);
                if (testing::Test::HasFatalFailure()) return;
            }
        }
    }
    const size_t bytes = 40 * depth.pixelBytes;
    for (int eye = 0; eye < 3; ++eye) {
        std::vector<std::uint8_t> a(bytes, 17), b(bytes, 200);
        EXPECT_FALSE(depth.kernel(MakeLineComposer(Config(eye, eye, kCompensations[2])), a.data(),
                                  b.data(), 40));
        EXPECT_EQ(a, std::vector<std::uint8_t>(bytes, 17));
    }
}

}  // namespace

TEST(ComposeKernels, PackedSixteenBitLinesAreTheWidenedLinesComposedAndPacked) {
    if (!ProcessorRunsAvx512Kernel()) GTEST_SKIP() << "the processor lacks AVX-512 with VNNI";
    // Every luminance of each view, the extreme pairs and a pixel over, as above: the line is
    // no multiple of the kernel's 32-pixel step.
    std::vector<BMM_Color_64> left, right;
    for (std::uint32_t x = 0; x < 65536; ++x) {
        left.push_back(Grey(x, 0));
        right.push_back(Grey((x * 40503u + 12345u) & 0xFFFF, 0));
    }
    for (std::uint32_t corner = 0; corner < 4; ++corner) {
        left.push_back(Grey(corner & 1 ? 65535 : 0, 0));
        right.push_back(Grey(corner & 2 ? 65535 : 0, 0));
    }
    left.push_back(Grey(1, 0));
    right.push_back(Grey(65534, 0));
    ExpectEveryBranchAsWidenedLine(kSixteenBits, left, right);
}

TEST(ComposeKernels, PackedEightBitLinesAreTheWidenedLinesComposedAndPacked) {
    if (!ProcessorRunsRgb24Kernel()) GTEST_SKIP() << "the processor lacks AVX-512 with VBMI";
    // Every red and green pair with a blue that runs through its values, against every grey
    // and pseudo-random colours; the extreme pairs; and a pixel over, so that the line is no
    // multiple of the kernel's 64-pixel step. 16-bit values pack to the 8-bit v / 257.
    const auto colour = [](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        return BMM_Color_64{static_cast<WORD>(257 * (r & 255)), static_cast<WORD>(257 * (g & 255)),
                            static_cast<WORD>(257 * (b & 255)), 65535};
    };
    std::vector<BMM_Color_64> left, right;
    for (std::uint32_t x = 0; x < 65536; ++x) {
        left.push_back(colour(x, x >> 8, x * 37u + 11u));
        const std::uint32_t y = x * 40503u + 12345u;
        right.push_back(x < 256 ? colour(x, x, x) : colour(y >> 3, y >> 11, y >> 19));
    }
    for (std::uint32_t corner = 0; corner < 4; ++corner) {
        left.push_back(Grey(corner & 1 ? 65535 : 0, 65535));
        right.push_back(Grey(corner & 2 ? 65535 : 0, 65535));
    }
    left.push_back(colour(1, 0, 0));
    right.push_back(colour(255, 255, 254));
    ExpectEveryBranchAsWidenedLine(kEightBits, left, right);
}

TEST(ComposeKernels, PackedLinesOfEveryWidthMatchTheWidenedLines) {
    if (!ProcessorRunsAvx512Kernel()) GTEST_SKIP() << "the processor lacks AVX-512 with VNNI";
    // Below, at and around the 32-pixel step and its 8-pixel groups, and a 1080p line and
    // one past it.
    ExpectEveryWidthAsWidenedLine(
        kSixteenBits, {1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 95, 1920, 1923});
    if (!ProcessorRunsRgb24Kernel()) GTEST_SKIP() << "the processor lacks AVX-512 with VBMI";
    // The same around the 8-bit kernel's 64-pixel step and its 16-pixel groups.
    ExpectEveryWidthAsWidenedLine(kEightBits, {1,  3,  15, 16, 17, 21, 22,  31,  32,  33,   43,
                                               47, 48, 49, 63, 64, 65, 127, 128, 129, 1920, 1923});
}

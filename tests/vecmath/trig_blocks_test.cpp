// The inline block sine and cosine against the library's kernels of the same width, bit for
// bit: blocks whose lanes mix every kind of argument (so every reduction path and the
// hand-over to the library run, alone and side by side), tens of millions of them.
// LOOM_TRIG_BLOCKS=<blocks> runs more (hundreds of millions of arguments for a release).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "foundation/vecmath/trig_blocks.h"
#include "foundation/vecmath/vec_math.h"

using loom::vecmath::Isa;

// Blocks pass only between always-inlined functions (see trig_blocks.h).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

std::uint64_t Bits(double d) {
    return std::isnan(d) ? 0x7FF8000000000000u : std::bit_cast<std::uint64_t>(d);
}

// Arguments of every kind the reductions tell apart, drawn at random.
class ArgumentSource {
  public:
    explicit ArgumentSource(std::uint64_t seed) : rng_(seed) {}

    double Next() {
        const std::uint64_t r = rng_();
        const double unit = static_cast<double>(r >> 11) * 0x1.0p-53;
        const double sign = (r & 1) ? -1.0 : 1.0;
        switch ((r >> 1) % 16) {
            case 0:
            case 1:
            case 2:
                return sign * unit * 15.0;  // the two-constant reduction
            case 3:
            case 4:
            case 5:
                return sign * (15.0 + unit * 200.0);  // the range of texture phases
            case 6:
                return sign * unit * 16777216.0;  // up to the medium bound
            case 7: {
                // Next to a multiple of pi/2: the remainder is small and cancels most bits.
                const double k = std::floor(unit * ((r >> 5) & 1 ? 20.0 : 1.0e7));
                return Near(sign * k * 1.5707963267948966, static_cast<int>((r >> 6) % 9) - 4);
            }
            case 8:
                return Near(sign * 15.0, static_cast<int>((r >> 6) % 9) - 4);
            case 9:
                return Near(sign * 16777216.0, static_cast<int>((r >> 6) % 9) - 4);
            case 10:
                return Near(sign * 1e14, static_cast<int>((r >> 6) % 9) - 4);
            case 11:
                return sign * std::ldexp(unit, -static_cast<int>((r >> 6) % 1070));  // tiny
            case 12:
                return sign * std::ldexp(1.0 + unit, static_cast<int>((r >> 6) % 1000));  // huge
            case 13: {
                constexpr double kSpecial[] = {0.0,
                                               std::numeric_limits<double>::infinity(),
                                               std::numeric_limits<double>::quiet_NaN(),
                                               std::numeric_limits<double>::denorm_min(),
                                               std::numeric_limits<double>::max(),
                                               0.5,
                                               1.5707963267948966,
                                               3.141592653589793};
                return sign * kSpecial[(r >> 6) % 8];
            }
            default:
                return std::bit_cast<double>(r);  // any bit pattern
        }
    }

  private:
    static double Near(double x, int steps) {
        for (; steps > 0; --steps) x = std::nextafter(x, HUGE_VAL);
        for (; steps < 0; ++steps) x = std::nextafter(x, -HUGE_VAL);
        return x;
    }
    std::mt19937_64 rng_;
};

// Most blocks keep one kind of reduction for all lanes, as a texture's phases do; the rest
// mix kinds lane by lane.
template <int kLanes>
void FillBlock(ArgumentSource& src, std::mt19937& pick, double* x) {
    for (int i = 0; i < kLanes; ++i) x[i] = src.Next();
    if (pick() % 2 == 0) {
        const double scale = pick() % 2 ? 15.0 : 16777216.0;
        for (int i = 0; i < kLanes; ++i) {
            if (!(std::fabs(x[i]) < scale)) x[i] = std::fmod(x[i], scale);
            if (std::isnan(x[i])) x[i] = 1.0;
        }
    }
}

std::int64_t BlockCount() {
    const char* env = std::getenv("LOOM_TRIG_BLOCKS");
    return env ? std::atoll(env) : 2'000'000;
}

struct Mismatch {
    std::int64_t count = 0;
    const char* what = "";
    double argument = 0.0, result = 0.0, expected = 0.0;

    void Check(const char* form, const double* x, const double* got, const double* want, int n) {
        for (int i = 0; i < n; ++i) {
            if (Bits(got[i]) != Bits(want[i]) && count++ == 0) {
                what = form;
                argument = x[i];
                result = got[i];
                expected = want[i];
            }
        }
    }
};

// Every form against the library: SinBlock and CosBlock alone, the two side by side
// (SinAndCosBlocks) and the array form over a length that leaves a padded rest.
template <int kLanes>
Mismatch Compare(Isa isa, std::int64_t blocks, std::uint64_t seed) {
    using Block = loom::vecmath::DoubleBlock<kLanes>;
    ArgumentSource src(seed);
    std::mt19937 pick(static_cast<unsigned>(seed));
    Mismatch m;
    double x[kLanes], y[kLanes], wantSin[kLanes], wantCos[kLanes], got[kLanes];
    for (std::int64_t b = 0; b < blocks; ++b) {
        FillBlock<kLanes>(src, pick, x);
        FillBlock<kLanes>(src, pick, y);
        loom::vecmath::SinOn(isa, x, wantSin, kLanes);
        loom::vecmath::CosOn(isa, y, wantCos, kLanes);
        Block in, in2, out, out2;
        std::memcpy(&in, x, sizeof in);
        std::memcpy(&in2, y, sizeof in2);

        out = loom::vecmath::SinBlock<kLanes>(in);
        std::memcpy(got, &out, sizeof got);
        m.Check("sin", x, got, wantSin, kLanes);
        out = loom::vecmath::CosBlock<kLanes>(in2);
        std::memcpy(got, &out, sizeof got);
        m.Check("cos", y, got, wantCos, kLanes);

        loom::vecmath::SinAndCosBlocks<kLanes>(in, in2, out, out2);
        std::memcpy(got, &out, sizeof got);
        m.Check("sin beside cos", x, got, wantSin, kLanes);
        std::memcpy(got, &out2, sizeof got);
        m.Check("cos beside sin", y, got, wantCos, kLanes);

        if (b % 64 == 0) {  // the array form: its rest is padded with zeros, as the library's
            const int n = 1 + static_cast<int>(pick() % (kLanes - 1));
            double want[kLanes];
            loom::vecmath::SinOn(isa, x, want, n);
            loom::vecmath::TrigArray<kLanes, false>(x, got, n);
            m.Check("sin array", x, got, want, n);
            loom::vecmath::CosOn(isa, x, want, n);
            loom::vecmath::TrigArray<kLanes, true>(x, got, n);
            m.Check("cos array", x, got, want, n);
        }
    }
    return m;
}

// Each width compiled for the instruction set whose kernel it matches, as its callers are.
[[gnu::target("avx512f")]] Mismatch Compare8(std::int64_t blocks, std::uint64_t seed) {
    return Compare<8>(Isa::kAvx512, blocks, seed);
}
[[gnu::target("avx2")]] Mismatch Compare4(std::int64_t blocks, std::uint64_t seed) {
    return Compare<4>(Isa::kAvx2, blocks, seed);
}

void Expect(const Mismatch& m) {
    EXPECT_EQ(m.count, 0) << m.what << ": first at " << std::hexfloat << m.argument << " gives "
                          << m.result << ", the library " << m.expected;
}

TEST(TrigBlocks, EightLanesGiveTheAvx512KernelsBits) {
    if (!loom::vecmath::IsaAvailable(Isa::kAvx512)) GTEST_SKIP() << "no AVX-512 on this CPU";
    Expect(Compare8(BlockCount(), 1));
}

TEST(TrigBlocks, FourLanesGiveTheAvxKernelsBits) {
    if (!loom::vecmath::IsaAvailable(Isa::kAvx2)) GTEST_SKIP() << "no AVX2 on this CPU";
    Expect(Compare4(BlockCount(), 3));
}

// The paths one by one, at the edges where a slip would show first. (A template, as the
// comparisons above: clang checks the vector arguments of calls in a plain function against
// the file's instruction set rather than the function's.)
template <int kLanes>
void CheckEdgesOf() {
    const double edges[] = {0.0,
                            -0.0,
                            1e-320,
                            15.0,
                            std::nextafter(15.0, 0.0),
                            16777216.0,
                            std::nextafter(16777216.0, 0.0),
                            1e14,
                            3.141592653589793,
                            1.5707963267948966,
                            -4.71238898038469,
                            1e300,
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (double e : edges) {
        for (double filler : {1.0, 20.0, 1e9}) {
            double x[kLanes];
            for (double& v : x) v = filler;
            x[3] = e;
            x[kLanes - 1] = -e;
            double want[kLanes];
            loom::vecmath::DoubleBlock<kLanes> in;
            std::memcpy(&in, x, sizeof in);
            for (bool cos : {false, true}) {
                const auto out =
                    cos ? loom::vecmath::CosBlock<kLanes>(in) : loom::vecmath::SinBlock<kLanes>(in);
                if (cos) {
                    loom::vecmath::CosOn(Isa::kAvx512, x, want, kLanes);
                } else {
                    loom::vecmath::SinOn(Isa::kAvx512, x, want, kLanes);
                }
                for (int i = 0; i < kLanes; ++i) {
                    EXPECT_EQ(Bits(out[i]), Bits(want[i]))
                        << (cos ? "cos(" : "sin(") << x[i] << ") beside " << filler;
                }
            }
        }
    }
}
[[gnu::target("avx512f")]] void CheckEdges() { CheckEdgesOf<8>(); }

TEST(TrigBlocks, EdgesOfEachReduction) {
    if (!loom::vecmath::IsaAvailable(Isa::kAvx512)) GTEST_SKIP() << "no AVX-512 on this CPU";
    CheckEdges();
}

}  // namespace

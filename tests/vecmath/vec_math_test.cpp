// The vector elementary functions: every instruction set the CPU has gives the scalar
// form's bits, for every array length and position (so one value evaluated alone equals
// the same value in a full batch), on ordinary, huge, tiny and special arguments.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include <sleef.h>

#include "foundation/host/base/vector_level.h"
#include "foundation/vecmath/kernels.h"
#include "foundation/vecmath/vec_math.h"

using loom::vecmath::Isa;

namespace {

std::vector<double> Arguments() {
    std::vector<double> x = {0.0,
                             -0.0,
                             1e-310,
                             -1e-300,
                             0.5,
                             -3.14159265358979323846,
                             1e6,
                             -1e15,
                             1e22,
                             1e300,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> small(-10.0, 10.0), large(-1e5, 1e5);
    for (int i = 0; i < 300; ++i) x.push_back(i % 3 ? small(rng) : large(rng));
    return x;
}

std::uint64_t Bits(double d) {
    // All NaNs count as one value.
    return std::isnan(d) ? 0x7FF8000000000000u : std::bit_cast<std::uint64_t>(d);
}

class VecMath : public ::testing::TestWithParam<Isa> {
  protected:
    void SetUp() override {
        if (!loom::vecmath::IsaAvailable(GetParam())) GTEST_SKIP() << "not on this CPU";
    }
};

TEST_P(VecMath, EveryLengthAndPositionGivesTheScalarBits) {
    const Isa isa = GetParam();
    const std::vector<double> x = Arguments();
    std::vector<double> y(x.rbegin(), x.rend());
    const int n = static_cast<int>(x.size());
    std::vector<double> want(x.size()), got(x.size());
    struct Fn {
        const char* name;
        void (*unary)(Isa, const double*, double*, int) noexcept;
        void (*binary)(Isa, const double*, const double*, double*, int) noexcept;
    };
    const Fn fns[] = {{"sin", loom::vecmath::SinOn, nullptr},
                      {"cos", loom::vecmath::CosOn, nullptr},
                      {"atan2", nullptr, loom::vecmath::Atan2On},
                      {"hypot", nullptr, loom::vecmath::HypotOn}};
    for (const Fn& f : fns) {
        SCOPED_TRACE(f.name);
        auto run = [&](Isa on, int first, int count, double* out) {
            if (f.unary) {
                f.unary(on, x.data() + first, out + first, count);
            } else {
                f.binary(on, y.data() + first, x.data() + first, out + first, count);
            }
        };
        for (int i = 0; i < n; ++i) run(Isa::kScalar, i, 1, want.data());
        // Whole array, then pieces of every length up to two widest vectors at odd offsets.
        run(isa, 0, n, got.data());
        for (int i = 0; i < n; ++i) ASSERT_EQ(Bits(got[i]), Bits(want[i])) << "x = " << x[i];
        for (int len = 0; len <= 2 * loom::vecmath::kMaxLanes; ++len) {
            std::fill(got.begin(), got.end(), -7.0);
            run(isa, 3, len, got.data());
            for (int i = 3; i < 3 + len; ++i) {
                ASSERT_EQ(Bits(got[i]), Bits(want[i])) << "length " << len << ", x = " << x[i];
            }
            EXPECT_EQ(got[3 + len], -7.0) << "wrote past the end at length " << len;
            EXPECT_EQ(got[2], -7.0);
        }
    }
}

TEST_P(VecMath, ResultsAreTheFunctions) {
    // Within a unit or two of the C library's (each is within one of the exact value).
    const Isa isa = GetParam();
    const double x[] = {0.5, -2.0, 10.0, 1e5};
    const double y[] = {1.5, 3.0, -0.25, 7.0};
    double s[4], c[4], a[4], h[4];
    loom::vecmath::SinOn(isa, x, s, 4);
    loom::vecmath::CosOn(isa, x, c, 4);
    loom::vecmath::Atan2On(isa, y, x, a, 4);
    loom::vecmath::HypotOn(isa, x, y, h, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(s[i], std::sin(x[i]), 4e-16);
        EXPECT_NEAR(c[i], std::cos(x[i]), 4e-16);
        EXPECT_NEAR(a[i], std::atan2(y[i], x[i]), 1e-15);
        EXPECT_NEAR(h[i], std::hypot(x[i], y[i]), 1e-15 * std::hypot(x[i], y[i]));
    }
}

INSTANTIATE_TEST_SUITE_P(Sets, VecMath,
                         ::testing::Values(Isa::kScalar, Isa::kSse2, Isa::kAvx2, Isa::kAvx512),
                         [](const auto& p) {
                             return std::string(loom::vecmath::IsaName(p.param));
                         });

// The one-pair hypot takes a shortcut where the exact value is clearly nearest one double;
// it must still give SLEEF's bits everywhere: across the exponent range (where squares
// would overflow or leave the normal range), on exact cases such as 3, 4, 5, at powers of
// two, and on special values.
TEST(VecMathScalar, OnePairHypotGivesSleefsBits) {
    std::mt19937_64 rng(29);
    std::uniform_real_distribution<double> unit(-2.0, 2.0);
    std::uniform_int_distribution<int> exponent(-1080, 1030), near(-60, 60), whole(0, 4000);
    std::vector<std::pair<double, double>> cases;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double a : {0.0, -0.0, 5e-324, 0x1p-450, 0x1p500, 1.0, 3.0, -4.0, 1e308, inf, -inf, nan}) {
        for (double b : {0.0, -0.0, 2.5e-320, 1.0, -4.0, 0x1p-449, 1e300, inf, nan}) {
            cases.push_back({a, b});
        }
    }
    for (int i = 0; i < 400000; ++i) {
        double a = unit(rng), b = unit(rng);
        switch (i % 4) {
            case 0:
                break;
            case 1:  // far apart in size, and across the whole range
                a = std::ldexp(a, exponent(rng));
                b = std::ldexp(b, near(rng));
                break;
            case 2:  // whole numbers, among them Pythagorean pairs with exact results
                a = whole(rng);
                b = whole(rng);
                break;
            default:  // results at or next to powers of two
                a = std::ldexp(1.0, near(rng));
                b = std::ldexp(unit(rng), near(rng) - 30);
                break;
        }
        cases.push_back({a, b});
    }
    // The shortcut with fused multiply-adds for its exact products, where the CPU has them.
#if defined(__x86_64__)
    const bool fused = __builtin_cpu_supports("fma");
#else
    const bool fused = false;
#endif
    int wrong = 0;
    for (const auto& [a, b] : cases) {
        const double want = Sleef_hypot_u05(a, b);
        const double got = loom::vecmath::detail::SleefHypot(a, b);
        if (Bits(got) != Bits(want) && ++wrong <= 5) {
            ADD_FAILURE() << std::hexfloat << "hypot(" << a << ", " << b << ") = " << got
                          << ", SLEEF " << want;
        }
        if (!fused) continue;
        const double gotFused = loom::vecmath::detail::SleefHypotFused(a, b);
        if (Bits(gotFused) != Bits(want) && ++wrong <= 5) {
            ADD_FAILURE() << std::hexfloat << "fused hypot(" << a << ", " << b << ") = " << gotFused
                          << ", SLEEF " << want;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// A value evaluated on its own goes to one SLEEF call, and each thread keeps its last two
// sines' and cosines' arguments and results: repeated, alternated and bitwise-different
// equal arguments (0 and -0, NaNs), on two threads at once, still give the scalar bits.
TEST(VecMathDispatch, OneValueAtATimeGivesTheScalarBitsWhateverCameBefore) {
    std::vector<double> x;
    for (double a : Arguments()) {
        x.insert(x.end(), {a, a, -a, a});
    }
    x.insert(x.end(), {0.0, -0.0, 0.0, std::nan("1"), std::nan("2"), std::nan("2"), 1.0});
    // Two values alternating (both kept), then a third that replaces the older.
    x.insert(x.end(), {1.5, 2.5, 1.5, 2.5, 3.5, 1.5, 3.5, 2.5, 2.5, 1.5});
    auto check = [&x](int stride) {
        int wrong = 0;
        for (size_t k = 0; k < x.size(); ++k) {
            const size_t i = (k * static_cast<size_t>(stride)) % x.size();
            const size_t j = (i + 1) % x.size();
            double s, c, a, h, ws, wc, wa, wh;
            loom::vecmath::Sin(&x[i], &s, 1);
            loom::vecmath::Cos(&x[i], &c, 1);
            loom::vecmath::Atan2(&x[j], &x[i], &a, 1);
            loom::vecmath::Hypot(&x[j], &x[i], &h, 1);
            loom::vecmath::SinOn(Isa::kScalar, &x[i], &ws, 1);
            loom::vecmath::CosOn(Isa::kScalar, &x[i], &wc, 1);
            loom::vecmath::Atan2On(Isa::kScalar, &x[j], &x[i], &wa, 1);
            loom::vecmath::HypotOn(Isa::kScalar, &x[j], &x[i], &wh, 1);
            wrong += Bits(s) != Bits(ws) || Bits(c) != Bits(wc) || Bits(a) != Bits(wa) ||
                     Bits(h) != Bits(wh);
            // The one-value forms, alternating with the arrays of one above.
            wrong +=
                Bits(loom::vecmath::SinOne(x[j])) != Bits(Sleef_sin_u10(x[j])) ||
                Bits(loom::vecmath::CosOne(x[j])) != Bits(Sleef_cos_u10(x[j])) ||
                Bits(loom::vecmath::Atan2One(x[i], x[j])) != Bits(Sleef_atan2_u10(x[i], x[j])) ||
                Bits(loom::vecmath::HypotOne(x[i], x[j])) != Bits(Sleef_hypot_u05(x[i], x[j]));
        }
        return wrong;
    };
    EXPECT_EQ(check(1), 0);
    int other = -1;
    std::thread t([&] { other = check(7); });  // the other thread's last values differ
    const int here = check(1);
    t.join();
    EXPECT_EQ(here, 0);
    EXPECT_EQ(other, 0);
}

// The two-lane one-value forms, SSE2's and (where the processor has it) SSE4.1's, give the
// scalar bits on every argument, the reductions for huge ones and special values included.
TEST(VecMathDispatch, EveryTwoLaneOneValueFormGivesTheScalarBits) {
#if defined(__x86_64__)
    const std::vector<double> x = Arguments();
    const bool sse4 = __builtin_cpu_supports("sse4.1");
    int wrong = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double a = x[i], b = x[(i * 7 + 3) % x.size()];
        const double sin = Sleef_sin_u10(a), cos = Sleef_cos_u10(a), atan2 = Sleef_atan2_u10(a, b);
        wrong += Bits(loom::vecmath::detail::Sse2SinOne(a)) != Bits(sin) ||
                 Bits(loom::vecmath::detail::Sse2CosOne(a)) != Bits(cos) ||
                 Bits(loom::vecmath::detail::Sse2Atan2One(a, b)) != Bits(atan2);
        if (!sse4) continue;
        wrong += Bits(loom::vecmath::detail::Sse4SinOne(a)) != Bits(sin) ||
                 Bits(loom::vecmath::detail::Sse4CosOne(a)) != Bits(cos) ||
                 Bits(loom::vecmath::detail::Sse4Atan2One(a, b)) != Bits(atan2);
    }
    EXPECT_EQ(wrong, 0);
#else
    GTEST_SKIP() << "x86-64 only";
#endif
}

// A benchmark forces the C library's set to measure against it: its single values must be
// the C library's own (never a SLEEF value kept from before), and the values it computes
// must not be kept for the vector set that comes back.
TEST(VecMathDispatch, TheCLibrarysSetAnswersOnItsOwnAndKeepsNothing) {
    const std::vector<double> x = Arguments();
    const Isa active = loom::vecmath::ActiveIsa();
    int differ = 0, wrong = 0;
    for (double a : x) {
        loom::vecmath::SinOne(a);  // kept
        loom::vecmath::CosOne(a);
        loom::vecmath::ForceIsaForBenchmark(Isa::kCLibrary);
        double s, c;
        loom::vecmath::Sin(&a, &s, 1);
        loom::vecmath::Cos(&a, &c, 1);
        wrong +=
            Bits(loom::vecmath::SinOne(a)) != Bits(std::sin(a)) || Bits(s) != Bits(std::sin(a));
        wrong +=
            Bits(loom::vecmath::CosOne(a)) != Bits(std::cos(a)) || Bits(c) != Bits(std::cos(a));
        wrong += Bits(loom::vecmath::Atan2One(a, 0.75)) != Bits(std::atan2(a, 0.75));
        wrong += Bits(loom::vecmath::HypotOne(a, 0.75)) != Bits(std::hypot(a, 0.75));
        const double b = a * 1.25;  // computed here alone
        loom::vecmath::SinOne(b);
        loom::vecmath::ForceIsaForBenchmark(active);
        wrong += Bits(loom::vecmath::SinOne(b)) != Bits(Sleef_sin_u10(b));
        differ += Bits(std::sin(a)) != Bits(Sleef_sin_u10(a)) ||
                  Bits(std::sin(b)) != Bits(Sleef_sin_u10(b));
    }
    EXPECT_EQ(wrong, 0);
    // Otherwise the test could not tell the two sets apart.
    EXPECT_GT(differ, 0);
}

TEST(VecMathDispatch, RunsTheProcesssVectorLevel) {
    Isa want = Isa::kScalar;
    switch (loom::ActiveVectorLevel()) {
        case loom::VectorLevel::kAvx512:
            want = Isa::kAvx512;
            break;
        case loom::VectorLevel::kAvx2:
            want = Isa::kAvx2;
            break;
        case loom::VectorLevel::kBase:
            want = loom::vecmath::IsaAvailable(Isa::kSse2) ? Isa::kSse2 : Isa::kScalar;
            break;
        case loom::VectorLevel::kScalar:
            break;
    }
    EXPECT_EQ(loom::vecmath::ActiveIsa(), want);
}

}  // namespace

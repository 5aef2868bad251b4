// SLEEF's hypot_u05 of one pair, at about the cost of the C library's hypot.
//
// SLEEF's result lies within 0.5001 ulp of the exact value, so where the exact value lies
// within 0.49 ulp of some double, every other double is more than 0.51 ulp away and SLEEF's
// result is that double. The square root of x² + y² gives a candidate h; the exact
// x² + y² - h² (products split in halves, so no fused multiply-add is needed; where the
// processor has one, it gives the same exact terms sooner) gives the exact value's
// distance from it, and so the nearest double. Where the exact value is
// not clearly nearer one double than the next, and for operands whose squares could
// overflow or lose bits, SLEEF computes the result itself.
#include <sleef.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "foundation/vecmath/kernels.h"

namespace loom::vecmath::detail {
namespace {

struct Exact {
    double value, error;  // a product or sum is value + error exactly
};

// a * a exactly (Dekker): a split into two 26-bit halves whose products are exact.
struct DekkerSquare {
    [[gnu::always_inline]] static Exact Of(double a) noexcept {
        const double c = 134217729.0 * a;  // 2^27 + 1
        const double high = c - (c - a);
        const double low = a - high;
        const double p = a * a;
        return {p, ((high * high - p) + 2.0 * high * low) + low * low};
    }
};

// a * a exactly with a fused multiply-add: a * a - p is a double, so both forms give the
// same error term, in one step instead of seven (compiled only into a function built for
// processors that have the instruction).
struct FusedSquare {
    [[gnu::always_inline]] static Exact Of(double a) noexcept {
        const double p = a * a;
        return {p, __builtin_fma(a, a, -p)};
    }
};

// a + b exactly (Knuth).
[[gnu::always_inline]] inline Exact Sum(double a, double b) noexcept {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

template <class Square>
[[gnu::always_inline]] inline double Shortcut(double x, double y) noexcept {
    const double ax = std::fabs(x), ay = std::fabs(y);
    const double big = ax > ay ? ax : ay;
    const double small = ax > ay ? ay : ax;
    // Squares neither overflow nor fall below the normal range (also catches NaN and
    // infinity, which fail every comparison or the first).
    if (!(big < 0x1p500 && big >= 0x1p-450 && (small == 0.0 || small >= 0x1p-450))) {
        return Sleef_hypot_u05(x, y);
    }
    const Exact xx = Square::Of(big), yy = Square::Of(small);
    const Exact s = Sum(xx.value, yy.value);
    const double h = std::sqrt(s.value);  // within an ulp or so of the exact value
    const Exact hh = Square::Of(h);
    // s.value and hh.value lie within a factor of two of each other, so their difference
    // is exact; the rest are small corrections. d is x² + y² - h² to about 2^-100 of h².
    const double d = (s.value - hh.value) + s.error + xx.error + yy.error - hh.error;
    // The exact value is h + d / (2h) to about 2^-52 of that small step, which in units in
    // the last place of h is d / step (step exactly 2h ulp(h)).
    const double unit =
        std::bit_cast<double>(std::bit_cast<std::uint64_t>(h) & 0x7FF0000000000000ull) * 0x1p-52;
    const double step = 2.0 * h * unit;
    const double k = d > 0.5 * step ? 1.0 : d < -0.5 * step ? -1.0 : 0.0;
    // The nearest double, clearly nearer than its neighbours. Below a power of two the
    // doubles are closer together, so a step down from one is left to SLEEF.
    const bool powerOfTwo = (std::bit_cast<std::uint64_t>(h) & 0x000FFFFFFFFFFFFFull) == 0;
    if (std::fabs(d - k * step) < 0.49 * step && !(k < 0.0 && powerOfTwo)) return h + k * unit;
    return Sleef_hypot_u05(x, y);
}

}  // namespace

double SleefHypot(double x, double y) noexcept { return Shortcut<DekkerSquare>(x, y); }

#if defined(__x86_64__)
[[gnu::target("fma")]] double SleefHypotFused(double x, double y) noexcept {
    return Shortcut<FusedSquare>(x, y);
}
#endif

}  // namespace loom::vecmath::detail

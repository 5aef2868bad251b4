#pragma once
/// Sine and cosine of a block of 4 or 8 doubles, inline, with exactly the bits of this
/// library's vector kernels of the same width (SLEEF's u10 sine and cosine without fused
/// multiply-adds: the AVX-512 form for 8 lanes, the AVX form for 4).
///
/// SLEEF picks one argument reduction for a whole vector: two constants where every lane
/// is below 15, four (with the argument split into a high and a low multiple of pi) where
/// every lane is below 1e14, Payne-Hanek otherwise. Here the first runs as it is; the
/// second runs without its high multiple, which is 0 below 2^24 and whose steps then add
/// zeros that change no value; any other block (a lane at or above 2^24, an infinity or a
/// NaN) goes to the library itself. The rest (the polynomial in double-double) is SLEEF's,
/// operation for operation, in the same order and without contraction (the project builds
/// with -ffp-contract=off). tests/vecmath/trig_blocks_test.cpp compares every path with
/// the library over tens of millions of arguments (hundreds with LOOM_TRIG_BLOCKS).
///
/// Why inline: a caller can keep its arguments in registers and run several blocks side
/// by side, which the library's one-vector calls, each a long dependent chain, cannot.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "foundation/vecmath/vec_math.h"

// The blocks are vectors of the compiler's, always inlined, so no call passes one; -Wpsabi
// would warn of their calling convention at every use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace loom::vecmath {

// (Spelled out per width: a vector size that depends on a template parameter is lost.)
template <int kLanes>
struct BlockTypes;
template <>
struct BlockTypes<8> {
    using Double = double __attribute__((vector_size(64)));
    using Bits = std::int64_t __attribute__((vector_size(64)));
};
template <>
struct BlockTypes<4> {
    using Double = double __attribute__((vector_size(32)));
    using Bits = std::int64_t __attribute__((vector_size(32)));
};
template <int kLanes>
using DoubleBlock = typename BlockTypes<kLanes>::Double;
template <int kLanes>
using BitsBlock = typename BlockTypes<kLanes>::Bits;

/// A reduced argument: the double-double remainder and the sign to give the result
/// (-0.0 bits where the quadrant flips it, else 0).
template <int kLanes>
struct TrigReduced {
    DoubleBlock<kLanes> hi, lo;
    BitsBlock<kLanes> sign;
};

namespace trig_detail {

constexpr double kOneOverPi = 0.318309886183790671537767526745028724;  // M_1_PI
constexpr double kPiA2 = 3.141592653589793116;
constexpr double kPiB2 = 1.2246467991473532072e-16;
constexpr double kPiA = 3.1415926218032836914;
constexpr double kPiB = 3.1786509424591713469e-08;
constexpr double kPiC = 1.2246467864107188502e-16;
constexpr double kPiD = 1.2736634327021899816e-24;
constexpr double kSmallRange = 15.0;
/// Below this the high multiple of pi of the medium reduction is 0 for sine and cosine.
constexpr double kMediumRange = 16777216.0;
/// Adding and subtracting 1.5 * 2^52 rounds to the nearest integer, ties to even (|x| < 2^51).
constexpr double kRoundMagic = 6755399441055744.0;

template <int kLanes>
[[gnu::always_inline]] inline DoubleBlock<kLanes> Splat(double x) noexcept {
    return DoubleBlock<kLanes>{} + x;
}

template <int kLanes>
[[gnu::always_inline]] inline DoubleBlock<kLanes> RoundToInt(DoubleBlock<kLanes> x) noexcept {
    const DoubleBlock<kLanes> magic = Splat<kLanes>(kRoundMagic);
    return (x + magic) - magic;
}

/// The low bit of an integer-valued x (|x| < 2^51) as a 0/1 mask in each lane.
template <int kLanes>
[[gnu::always_inline]] inline BitsBlock<kLanes> LowBit(DoubleBlock<kLanes> x) noexcept {
    const DoubleBlock<kLanes> shifted = x + Splat<kLanes>(kRoundMagic);
    return __builtin_bit_cast(BitsBlock<kLanes>, shifted) & 1;
}

/// The upper 26 significant bits of x (SLEEF's split for exact products without FMA).
template <int kLanes>
[[gnu::always_inline]] inline DoubleBlock<kLanes> Upper(DoubleBlock<kLanes> x) noexcept {
    BitsBlock<kLanes> bits = __builtin_bit_cast(BitsBlock<kLanes>, x);
    bits &= static_cast<std::int64_t>(0xfffffffff8000000ull);
    return __builtin_bit_cast(DoubleBlock<kLanes>, bits);
}

/// Whether every lane's magnitude is below `bound` (false for a NaN), as SLEEF tests it.
/// The lanes' verdicts are combined by halving the vector (no intrinsic: they would tie
/// these functions to one instruction set).
template <int kLanes>
[[gnu::always_inline]] inline bool AllBelow(DoubleBlock<kLanes> x, double bound) noexcept {
    const BitsBlock<kLanes> bits = __builtin_bit_cast(BitsBlock<kLanes>, x) & INT64_MAX;
    const DoubleBlock<kLanes> magnitude = __builtin_bit_cast(DoubleBlock<kLanes>, bits);
    BitsBlock<kLanes> below = magnitude < Splat<kLanes>(bound);
    if constexpr (kLanes == 8) {
        below &= __builtin_shufflevector(below, below, 4, 5, 6, 7, 0, 1, 2, 3);
        below &= __builtin_shufflevector(below, below, 2, 3, 0, 1, 6, 7, 4, 5);
    } else {
        below &= __builtin_shufflevector(below, below, 2, 3, 0, 1);
    }
    return (below[0] & below[1]) != 0;
}

// The double-double steps of SLEEF's reduction, as its dd.h writes them.
template <int kLanes>
struct Dd {
    DoubleBlock<kLanes> x, y;
};

template <int kLanes>
[[gnu::always_inline]] inline Dd<kLanes> AddFast(DoubleBlock<kLanes> x,
                                                 DoubleBlock<kLanes> y) noexcept {
    const DoubleBlock<kLanes> s = x + y;
    return {s, (x - s) + y};
}

template <int kLanes>
[[gnu::always_inline]] inline Dd<kLanes> AddExact(DoubleBlock<kLanes> x,
                                                  DoubleBlock<kLanes> y) noexcept {
    const DoubleBlock<kLanes> s = x + y;
    const DoubleBlock<kLanes> v = s - x;
    return {s, (x - (s - v)) + (y - v)};
}

template <int kLanes>
[[gnu::always_inline]] inline Dd<kLanes> AddExact(Dd<kLanes> x, DoubleBlock<kLanes> y) noexcept {
    const DoubleBlock<kLanes> s = x.x + y;
    const DoubleBlock<kLanes> v = s - x.x;
    const DoubleBlock<kLanes> w = (x.x - (s - v)) + (y - v);
    return {s, w + x.y};
}

template <int kLanes>
[[gnu::always_inline]] inline Dd<kLanes> AddFast(Dd<kLanes> x, DoubleBlock<kLanes> y) noexcept {
    const DoubleBlock<kLanes> s = x.x + y;
    return {s, ((x.x - s) + y) + x.y};
}

}  // namespace trig_detail

/// Reduces a block for sine; false when the block must go to the library (SinLibraryBlock).
template <int kLanes>
[[gnu::always_inline]] inline bool ReduceSin(DoubleBlock<kLanes> d,
                                             TrigReduced<kLanes>& r) noexcept {
    using namespace trig_detail;
    using V = DoubleBlock<kLanes>;
    Dd<kLanes> s;
    V dql;
    if (AllBelow<kLanes>(d, kSmallRange)) {
        dql = RoundToInt<kLanes>(d * kOneOverPi);
        const V u = dql * -kPiA2 + d;
        s = AddFast<kLanes>(u, dql * -kPiB2);
    } else if (AllBelow<kLanes>(d, kMediumRange)) {
        dql = RoundToInt<kLanes>(d * kOneOverPi);
        s = AddFast<kLanes>(d, dql * -kPiA);
        s = AddExact<kLanes>(s, dql * -kPiB);
        s = AddExact<kLanes>(s, dql * -kPiC);
        s = AddFast<kLanes>(s, dql * -kPiD);
    } else {
        return false;
    }
    r.hi = s.x;
    r.lo = s.y;
    r.sign = LowBit<kLanes>(dql) << 63;
    return true;
}

/// Reduces a block for cosine; false when the block must go to the library.
template <int kLanes>
[[gnu::always_inline]] inline bool ReduceCos(DoubleBlock<kLanes> d,
                                             TrigReduced<kLanes>& r) noexcept {
    using namespace trig_detail;
    using V = DoubleBlock<kLanes>;
    Dd<kLanes> s;
    // Both reductions take the odd multiple 2k + 1 of pi/2 nearest d, the same way.
    const V k = RoundToInt<kLanes>(d * kOneOverPi + -0.5);
    const V dql = 2.0 * k + 1.0;
    if (AllBelow<kLanes>(d, kSmallRange)) {
        s = AddExact<kLanes>(d, dql * (-kPiA2 * 0.5));
        s = AddFast<kLanes>(s, dql * (-kPiB2 * 0.5));
    } else if (AllBelow<kLanes>(d, kMediumRange)) {
        s = AddExact<kLanes>(d, dql * (-kPiA * 0.5));
        s = AddExact<kLanes>(s, dql * (-kPiB * 0.5));
        s = AddExact<kLanes>(s, dql * (-kPiC * 0.5));
        s = AddFast<kLanes>(s, dql * (-kPiD * 0.5));
    } else {
        return false;
    }
    r.hi = s.x;
    r.lo = s.y;
    r.sign = (LowBit<kLanes>(k) ^ 1) << 63;
    return true;
}

namespace trig_detail {

/// Two blocks whose every operation is issued for both side by side: two independent
/// chains in step, which a core overlaps better than two chains one after the other.
template <class T>
struct Twin {
    T a, b;
};
template <class T>
[[gnu::always_inline]] inline Twin<T> operator+(Twin<T> x, Twin<T> y) noexcept {
    return {x.a + y.a, x.b + y.b};
}
template <class T>
[[gnu::always_inline]] inline Twin<T> operator-(Twin<T> x, Twin<T> y) noexcept {
    return {x.a - y.a, x.b - y.b};
}
template <class T>
[[gnu::always_inline]] inline Twin<T> operator*(Twin<T> x, Twin<T> y) noexcept {
    return {x.a * y.a, x.b * y.b};
}
template <class T>
[[gnu::always_inline]] inline Twin<T> operator-(Twin<T> x) noexcept {
    return {-x.a, -x.b};
}
template <class T>
[[gnu::always_inline]] inline Twin<T> operator+(Twin<T> x, double y) noexcept {
    return {x.a + y, x.b + y};
}
template <class T>
[[gnu::always_inline]] inline Twin<T> operator*(Twin<T> x, double y) noexcept {
    return {x.a * y, x.b * y};
}

template <int kLanes, class T>
[[gnu::always_inline]] inline Twin<T> Upper(Twin<T> x) noexcept {
    return {Upper<kLanes>(x.a), Upper<kLanes>(x.b)};
}

/// sin of the reduced argument t = tx + ty, unsigned: SLEEF's polynomial and double-double
/// products. V is a block or a Twin of blocks.
template <int kLanes, class V>
[[gnu::always_inline]] inline V SinOfReduced(V tx, V ty, V one, V minusSixth) noexcept {
    // s = t * t in double-double.
    const V th = Upper<kLanes>(tx), tl = tx - th;
    const V sx = tx * tx;
    const V sy = ((((th * th) + (-sx)) + ((th + th) * tl)) + (tl * tl)) + (tx * (ty + ty));
    const V s2 = sx * sx, s4 = s2 * s2;
    V u = s4 * (sx * 2.72052416138529567917983e-15 + -7.6429259411395447190023e-13) +
          (s2 * (sx * 1.60589370117277896211623e-10 + -2.5052106814843123359368e-08) +
           (sx * 2.75573192104428224777379e-06 + -0.000198412698412046454654947));
    u = u * sx + 0.00833333333333318056201922;
    // x = 1 + (-1/6 + u s) s in double-double.
    const V w = u * sx;
    const V ax = minusSixth + w;
    const V ay = (minusSixth - ax) + w;
    const V ah = Upper<kLanes>(ax), al = ax - ah;
    const V sh = Upper<kLanes>(sx), sl = sx - sh;
    const V mx = ax * sx;
    const V my =
        (((((ah * sh) + (-mx)) + (al * sh)) + (ah * sl)) + (al * sl) + (ax * sy)) + (ay * sx);
    const V xx = one + mx;
    const V xy = ((one - xx) + mx) + my;
    // t * x, rounded to one double.
    const V xh = Upper<kLanes>(xx), xl = xx - xh;
    return (((((ty * xh) + (th * xy)) + (tl * xl)) + (th * xl)) + (tl * xh)) + (th * xh);
}

template <int kLanes>
[[gnu::always_inline]] inline DoubleBlock<kLanes> WithSign(DoubleBlock<kLanes> x,
                                                           BitsBlock<kLanes> sign) noexcept {
    return __builtin_bit_cast(DoubleBlock<kLanes>, __builtin_bit_cast(BitsBlock<kLanes>, x) ^ sign);
}

}  // namespace trig_detail

/// sin of the reduced argument, signed.
template <int kLanes>
[[gnu::always_inline]] inline DoubleBlock<kLanes> TrigFinish(
    const TrigReduced<kLanes>& r) noexcept {
    using namespace trig_detail;
    const DoubleBlock<kLanes> u = SinOfReduced<kLanes>(r.hi, r.lo, Splat<kLanes>(1.0),
                                                       Splat<kLanes>(-0.166666666666666657414808));
    return WithSign<kLanes>(u, r.sign);
}

/// The same for two reduced arguments side by side.
template <int kLanes>
[[gnu::always_inline]] inline void TrigFinishTwo(const TrigReduced<kLanes>& r0,
                                                 const TrigReduced<kLanes>& r1,
                                                 DoubleBlock<kLanes>& out0,
                                                 DoubleBlock<kLanes>& out1) noexcept {
    using namespace trig_detail;
    using T = Twin<DoubleBlock<kLanes>>;
    const DoubleBlock<kLanes> one = Splat<kLanes>(1.0);
    const DoubleBlock<kLanes> sixth = Splat<kLanes>(-0.166666666666666657414808);
    const T u =
        SinOfReduced<kLanes>(T{r0.hi, r1.hi}, T{r0.lo, r1.lo}, T{one, one}, T{sixth, sixth});
    out0 = WithSign<kLanes>(u.a, r0.sign);
    out1 = WithSign<kLanes>(u.b, r1.sign);
}

/// The library's kernel of kLanes lanes (8: AVX-512, 4: AVX) on one block, for blocks the
/// inline reductions leave to it.
void SinLibraryBlock(int lanes, const double* x, double* out) noexcept;
void CosLibraryBlock(int lanes, const double* x, double* out) noexcept;

/// sin and cos of a block, bit for bit the library kernel's of kLanes lanes.
template <int kLanes>
[[gnu::always_inline]] inline DoubleBlock<kLanes> SinBlock(DoubleBlock<kLanes> d) noexcept {
    TrigReduced<kLanes> r;
    if (!ReduceSin<kLanes>(d, r)) {
        double in[kLanes], out[kLanes];
        std::memcpy(in, &d, sizeof in);
        SinLibraryBlock(kLanes, in, out);
        DoubleBlock<kLanes> result;
        std::memcpy(&result, out, sizeof result);
        return result;
    }
    const DoubleBlock<kLanes> u = TrigFinish<kLanes>(r);
    return d == 0.0 ? d : u;  // keeps the sign of a zero
}

template <int kLanes>
[[gnu::always_inline]] inline DoubleBlock<kLanes> CosBlock(DoubleBlock<kLanes> d) noexcept {
    TrigReduced<kLanes> r;
    if (!ReduceCos<kLanes>(d, r)) {
        double in[kLanes], out[kLanes];
        std::memcpy(in, &d, sizeof in);
        CosLibraryBlock(kLanes, in, out);
        DoubleBlock<kLanes> result;
        std::memcpy(&result, out, sizeof result);
        return result;
    }
    return TrigFinish<kLanes>(r);
}

/// sin of one block and cos of another, evaluated side by side; each has the bits of
/// SinBlock and CosBlock.
template <int kLanes>
[[gnu::always_inline]] inline void SinAndCosBlocks(DoubleBlock<kLanes> sinArg,
                                                   DoubleBlock<kLanes> cosArg,
                                                   DoubleBlock<kLanes>& sinOut,
                                                   DoubleBlock<kLanes>& cosOut) noexcept {
    TrigReduced<kLanes> rs, rc;
    const bool sinInline = ReduceSin<kLanes>(sinArg, rs);
    const bool cosInline = ReduceCos<kLanes>(cosArg, rc);
    if (!sinInline || !cosInline) {
        sinOut = SinBlock<kLanes>(sinArg);
        cosOut = CosBlock<kLanes>(cosArg);
        return;
    }
    TrigFinishTwo<kLanes>(rs, rc, sinOut, cosOut);
    sinOut = sinArg == 0.0 ? sinArg : sinOut;  // keeps the sign of a zero
}

/// out[i] = sin(x[i]) or cos(x[i]) for i < n, as the library's kernel of kLanes lanes
/// evaluates an array (whole blocks, then the rest in a block padded with zeros), so with
/// its bits. (The library hands arrays of up to four values to narrower kernels; a lane
/// of zero never changes a block's reduction, so those agree too.) `out` may be `x`.
template <int kLanes, bool kCos>
[[gnu::always_inline]] inline void TrigArray(const double* x, double* out, int n) noexcept {
    using V = DoubleBlock<kLanes>;
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        V b;
        std::memcpy(&b, x + i, sizeof b);
        b = kCos ? CosBlock<kLanes>(b) : SinBlock<kLanes>(b);
        std::memcpy(out + i, &b, sizeof b);
    }
    if (i < n) {
        double rest[kLanes] = {};
        std::memcpy(rest, x + i, static_cast<std::size_t>(n - i) * sizeof(double));
        V b;
        std::memcpy(&b, rest, sizeof b);
        b = kCos ? CosBlock<kLanes>(b) : SinBlock<kLanes>(b);
        std::memcpy(rest, &b, sizeof b);
        std::memcpy(out + i, rest, static_cast<std::size_t>(n - i) * sizeof(double));
    }
}

}  // namespace loom::vecmath

#pragma GCC diagnostic pop

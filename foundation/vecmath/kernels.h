#pragma once
// The per-instruction-set kernel tables; each is defined in a file compiled for its set.

namespace loom::vecmath::detail {

using Unary = void (*)(const double*, double*, int) noexcept;
using Binary = void (*)(const double*, const double*, double*, int) noexcept;

struct Kernels {
    Unary sin;
    Unary cos;
    Binary atan2;
    Binary hypot;
};

/// SLEEF's hypot_u05(x, y), bit for bit, at about the C library's cost where it can.
double SleefHypot(double x, double y) noexcept;
/// The same bits with fused multiply-adds for the exact products (x86-64 only; the
/// processor must have FMA).
double SleefHypotFused(double x, double y) noexcept;

/// One value through the two-lane SSE2 forms (x86-64 only): SLEEF's bits without an
/// array's set-up.
double Sse2SinOne(double x) noexcept;
double Sse2CosOne(double x) noexcept;
double Sse2Atan2One(double y, double x) noexcept;
/// The same through SLEEF's SSE4.1 forms (the processor must have SSE4.1).
double Sse4SinOne(double x) noexcept;
double Sse4CosOne(double x) noexcept;
double Sse4Atan2One(double y, double x) noexcept;

extern const Kernels kScalarKernels;
extern const Kernels kSse2Kernels;
extern const Kernels kAvxKernels;
extern const Kernels kAvx512Kernels;

}  // namespace loom::vecmath::detail

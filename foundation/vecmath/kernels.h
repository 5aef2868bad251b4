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

extern const Kernels kScalarKernels;
extern const Kernels kSse2Kernels;
extern const Kernels kAvxKernels;
extern const Kernels kAvx512Kernels;

}  // namespace loom::vecmath::detail

#pragma once
// The vector forms of noise3 over arrays, one per vector level, each given the tables it
// reads. Every form gives each element exactly the bits noise3 gives it with those tables.
// Internal to the noise library.

#include "foundation/noise/noise.h"

namespace loom::noise::detail {

using Noise3Kernel = void (*)(const NoiseTables& t, const float* x, const float* y, const float* z,
                              int n, float* out) noexcept;

/// Eight samples a step in 512-bit vectors (null where the build has no AVX-512 form).
extern const Noise3Kernel kNoise3Avx512;
/// The same with the permutation steps in byte permutes (AVX-512 VBMI).
extern const Noise3Kernel kNoise3Avx512Vbmi;
/// Eight samples a step in two 256-bit halves (null where the build has no AVX2 form).
extern const Noise3Kernel kNoise3Avx2;

/// One wrapped axis: its period (at least 1) and reciprocal, and for the short cut of
/// lattice indices near the start the multiple of the period `base` (at most NOISE_N) and
/// `near`, whether the short cut applies at all (periods up to kMaxNearPeriod).
struct AxisPeriod {
    int period;
    double inverse;
    int base;
    bool near;
};

/// Largest period that takes the short cut: twice it stays far inside 32 bits.
inline constexpr int kMaxNearPeriod = 1 << 24;

/// The AxisPeriod of `period` (at least 1).
inline AxisPeriod MakeAxisPeriod(int period) noexcept {
    const bool near = period <= kMaxNearPeriod;
    return {period, 1.0 / static_cast<double>(period), near ? NOISE_N / period * period : 0, near};
}

/// Lattice periods of the x and y axes. A period of 256 (or any multiple of it) wraps as
/// the tables do anyway, so it stands for none.
struct XyPeriods {
    AxisPeriod x, y;
};

/// Noise with the x and y lattice indices wrapped at their periods (the z axis unwrapped):
/// each element gets the bits of the wrapped four-lane form.
using Noise3WrappedKernel = void (*)(const NoiseTables& t, const XyPeriods& periods, const float* x,
                                     const float* y, const float* z, int n, float* out) noexcept;
extern const Noise3WrappedKernel kNoise3WrappedAvx512;
extern const Noise3WrappedKernel kNoise3WrappedAvx512Vbmi;
extern const Noise3WrappedKernel kNoise3WrappedAvx2;

}  // namespace loom::noise::detail

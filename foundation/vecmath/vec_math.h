#pragma once
/// Elementary functions in double over arrays, several values per instruction, from SLEEF.
///
/// Every function gives each element the same bits whatever the array's length, the
/// element's position and the instruction set that runs (the SLEEF variants chosen here
/// use no fused multiply-add, so the SSE2, AVX, AVX-512 and scalar forms agree bit for bit).
/// A caller that evaluates one value through an array of one therefore gets exactly what
/// a caller of a thousand gets; and two machines with different vector units write the
/// same files. Results lie within 1 ulp of the exact value (hypot within 0.5001 ulp).
///
/// The instruction set follows the process's vector level (foundation/host/base/
/// vector_level.h: the host runtime, which every user of this library links, decides it).
/// No function allocates, locks or throws; all are safe on any number of threads.
/// `out` may be the same array as an input.

namespace loom::vecmath {

enum class Isa {
    kScalar,
    kSse2,
    kAvx2,
    kAvx512,
    /// The C library's scalar functions: never picked, only forced by a benchmark that
    /// measures against the per-sample path as it was. Its results differ from the
    /// others' in the last bit now and then.
    kCLibrary,
};

/// Elements one call of the widest kernel takes; arrays need no padding.
inline constexpr int kMaxLanes = 8;

/// The instruction set the functions below run on in this process.
Isa ActiveIsa() noexcept;
/// "scalar", "sse2", "avx2", "avx512" or "libm".
const char* IsaName(Isa isa) noexcept;
/// Whether this CPU can run `isa` (scalar and, on x86-64, sse2 always).
bool IsaAvailable(Isa isa) noexcept;

void Sin(const double* x, double* out, int n) noexcept;
void Cos(const double* x, double* out, int n) noexcept;
/// out[i] = atan2(y[i], x[i]).
void Atan2(const double* y, const double* x, double* out, int n) noexcept;
/// out[i] = hypot(x[i], y[i]).
void Hypot(const double* x, const double* y, double* out, int n) noexcept;

/// One value on its own (a sample evaluated at a time): the bits the functions above give
/// an array of one, without the array. Sine and cosine keep each thread's last two
/// arguments and results (a sample's neighbour often repeats them), except with the C
/// library's set.
double SinOne(double x) noexcept;
double CosOne(double x) noexcept;
double Atan2One(double y, double x) noexcept;
double HypotOne(double x, double y) noexcept;

/// Makes `isa` the active set of this module from now on (benchmarks only: a render must
/// never see two sets). Ignored when the CPU lacks it.
void ForceIsaForBenchmark(Isa isa) noexcept;

/// The same functions on a chosen instruction set, for tests and benchmarks; `isa` must be
/// available (IsaAvailable), otherwise the active one runs.
void SinOn(Isa isa, const double* x, double* out, int n) noexcept;
void CosOn(Isa isa, const double* x, double* out, int n) noexcept;
void Atan2On(Isa isa, const double* y, const double* x, double* out, int n) noexcept;
void HypotOn(Isa isa, const double* x, const double* y, double* out, int n) noexcept;

}  // namespace loom::vecmath

#include "foundation/vecmath/vec_math.h"

#include <sleef.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "foundation/host/base/vector_level.h"
#include "foundation/vecmath/kernels.h"
#include "foundation/vecmath/trig_blocks.h"

namespace loom::vecmath {
namespace detail {
namespace {

// SLEEF's scalar forms are its portable C code without fused multiply-adds, so they agree
// with the vector forms bit for bit.
void ScalarSin(const double* x, double* out, int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = Sleef_sin_u10(x[i]);
}
void ScalarCos(const double* x, double* out, int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = Sleef_cos_u10(x[i]);
}
void ScalarAtan2(const double* y, const double* x, double* out, int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = Sleef_atan2_u10(y[i], x[i]);
}
void ScalarHypot(const double* x, const double* y, double* out, int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = SleefHypot(x[i], y[i]);
}

}  // namespace

const Kernels kScalarKernels = {ScalarSin, ScalarCos, ScalarAtan2, ScalarHypot};

void LibmSin(const double* x, double* out, int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = std::sin(x[i]);
}
void LibmCos(const double* x, double* out, int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = std::cos(x[i]);
}
void LibmAtan2(const double* y, const double* x, double* out, int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = std::atan2(y[i], x[i]);
}
void LibmHypot(const double* x, const double* y, double* out, int n) noexcept {
    for (int i = 0; i < n; ++i) out[i] = std::hypot(x[i], y[i]);
}

const Kernels kLibmKernels = {LibmSin, LibmCos, LibmAtan2, LibmHypot};

}  // namespace detail

namespace {

const detail::Kernels& KernelsOf(Isa isa) noexcept {
    switch (isa) {
        case Isa::kAvx512:
            return detail::kAvx512Kernels;
        case Isa::kAvx2:
            return detail::kAvxKernels;
        case Isa::kSse2:
            return detail::kSse2Kernels;
        case Isa::kCLibrary:
            return detail::kLibmKernels;
        case Isa::kScalar:
            break;
    }
    return detail::kScalarKernels;
}

// The process's vector level, in this library's names.
Isa PickIsa() noexcept {
    switch (ActiveVectorLevel()) {
        case VectorLevel::kAvx512:
            return Isa::kAvx512;
        case VectorLevel::kAvx2:
            return Isa::kAvx2;
        case VectorLevel::kBase:
            return IsaAvailable(Isa::kSse2) ? Isa::kSse2 : Isa::kScalar;
        case VectorLevel::kScalar:
            break;
    }
    return Isa::kScalar;
}

double ScalarSinOne(double x) noexcept { return Sleef_sin_u10(x); }
double ScalarCosOne(double x) noexcept { return Sleef_cos_u10(x); }
double ScalarAtan2One(double y, double x) noexcept { return Sleef_atan2_u10(y, x); }
double LibmSinOne(double x) noexcept { return std::sin(x); }
double LibmCosOne(double x) noexcept { return std::cos(x); }
double LibmAtan2One(double y, double x) noexcept { return std::atan2(y, x); }
double LibmHypotOne(double x, double y) noexcept { return std::hypot(x, y); }

// The single-value forms of a set: SLEEF's scalar ones at the scalar level, otherwise the
// two-lane ones (which cost less; SSE4.1's where the processor has it); the one-pair
// hypot's shortcut (about a quarter of a vector call) at every SLEEF level, with fused
// multiply-adds where the processor has them. Only SLEEF's values are worth remembering: the C
// library's cost about half as much.
struct OneValueForms {
    double (*sin)(double) noexcept;
    double (*cos)(double) noexcept;
    double (*atan2)(double, double) noexcept;
    double (*hypot)(double, double) noexcept;
    bool remember;
};

#if defined(__x86_64__)
constexpr OneValueForms kVectorOne = {detail::Sse2SinOne, detail::Sse2CosOne, detail::Sse2Atan2One,
                                      detail::SleefHypot, true};
constexpr OneValueForms kVectorOneSse4 = {detail::Sse4SinOne, detail::Sse4CosOne,
                                          detail::Sse4Atan2One, detail::SleefHypot, true};
constexpr OneValueForms kVectorOneSse4Fused = {detail::Sse4SinOne, detail::Sse4CosOne,
                                               detail::Sse4Atan2One, detail::SleefHypotFused, true};
#else
constexpr OneValueForms kVectorOne = {ScalarSinOne, ScalarCosOne, ScalarAtan2One,
                                      detail::SleefHypot, true};
#endif
constexpr OneValueForms kScalarOne = {ScalarSinOne, ScalarCosOne, ScalarAtan2One,
                                      detail::SleefHypot, true};
constexpr OneValueForms kLibmOne = {LibmSinOne, LibmCosOne, LibmAtan2One, LibmHypotOne, false};

const OneValueForms& OneValueFormsOf(Isa isa) noexcept {
    switch (isa) {
        case Isa::kCLibrary:
            return kLibmOne;
        case Isa::kScalar:
            return kScalarOne;
        default:
#if defined(__x86_64__)
            if (__builtin_cpu_supports("sse4.1")) {
                return __builtin_cpu_supports("fma") ? kVectorOneSse4Fused : kVectorOneSse4;
            }
#endif
            return kVectorOne;
    }
}

// The active set, chosen at the first call. Read on every call, so kept as atomic
// pointers that a benchmark may replace: the kernels of arrays and the single-value forms.
std::atomic<Isa> gIsa{Isa::kScalar};
std::atomic<const detail::Kernels*> gKernels{nullptr};
std::atomic<const OneValueForms*> gOne{nullptr};

void Activate(Isa isa) noexcept {
    gIsa.store(isa, std::memory_order_relaxed);
    gOne.store(&OneValueFormsOf(isa), std::memory_order_release);
    gKernels.store(&KernelsOf(isa), std::memory_order_release);
}

[[gnu::cold]] const detail::Kernels& Choose() noexcept {
    static const bool chosen = [] {
        Activate(PickIsa());
        return true;
    }();
    (void)chosen;
    return *gKernels.load(std::memory_order_acquire);
}

inline const detail::Kernels& Active() noexcept {
    const detail::Kernels* k = gKernels.load(std::memory_order_acquire);
    return k ? *k : Choose();
}

// A short array runs on the narrowest vectors that hold it: the same bits (every set
// agrees), without padding a single value out to eight lanes. One or two values take the
// two-lane forms, which cost less than SLEEF's scalar forms (Hypot has its own rule).
inline const detail::Kernels& Sized(int n) noexcept {
    const detail::Kernels& k = Active();
    const Isa isa = gIsa.load(std::memory_order_relaxed);
    if (n <= 2 && (isa == Isa::kAvx2 || isa == Isa::kAvx512)) return detail::kSse2Kernels;
    if (n <= 4 && isa == Isa::kAvx512) return detail::kAvxKernels;
    return k;
}

const detail::Kernels& On(Isa isa) noexcept {
    return IsaAvailable(isa) ? KernelsOf(isa) : Active();
}

}  // namespace

bool IsaAvailable(Isa isa) noexcept {
    switch (isa) {
        case Isa::kScalar:
        case Isa::kCLibrary:
            return true;
        case Isa::kSse2:
#if defined(__x86_64__)
            return true;
#else
            return false;
#endif
        case Isa::kAvx2:
            return ProcessorRunsVectorLevel(VectorLevel::kAvx2);
        case Isa::kAvx512:
            return ProcessorRunsVectorLevel(VectorLevel::kAvx512);
    }
    return false;
}

Isa ActiveIsa() noexcept {
    Active();
    return gIsa.load(std::memory_order_relaxed);
}

void ForceIsaForBenchmark(Isa isa) noexcept {
    if (!IsaAvailable(isa)) return;
    Active();
    Activate(isa);
}

const char* IsaName(Isa isa) noexcept {
    switch (isa) {
        case Isa::kSse2:
            return "sse2";
        case Isa::kAvx2:
            return "avx2";
        case Isa::kAvx512:
            return "avx512";
        case Isa::kCLibrary:
            return "libm";
        case Isa::kScalar:
            break;
    }
    return "scalar";
}

namespace {

// Each thread keeps the last two arguments and results of sine and of cosine: a sample's
// neighbour often repeats them (an image row shares v; a texture may take a wave of v and
// one of u with the same function), and one SLEEF value costs about twice the C library's.
struct LastValues {
    std::uint64_t x[2] = {};
    double result[2] = {};
    bool set[2] = {};
    int older = 0;  // the entry a new value replaces
};
// One thread-local object for both: one look-up of the thread's block a call.
struct LastSinCos {
    LastValues sin, cos;
};
thread_local LastSinCos tLast;

inline const OneValueForms& One() noexcept {
    const OneValueForms* one = gOne.load(std::memory_order_acquire);
    if (one) return *one;
    Choose();
    return *gOne.load(std::memory_order_acquire);
}

inline double Remembered(LastValues& last, double x, double (*eval)(double) noexcept) noexcept {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    for (int k = 0; k < 2; ++k) {
        if (last.x[k] == bits && last.set[k]) {
            last.older = 1 - k;
            return last.result[k];
        }
    }
    const double result = eval(x);
    const int k = last.older;
    last.x[k] = bits;
    last.result[k] = result;
    last.set[k] = true;
    last.older = 1 - k;
    return result;
}

}  // namespace

double SinOne(double x) noexcept {
    const OneValueForms& one = One();
    return one.remember ? Remembered(tLast.sin, x, one.sin) : one.sin(x);
}
double CosOne(double x) noexcept {
    const OneValueForms& one = One();
    return one.remember ? Remembered(tLast.cos, x, one.cos) : one.cos(x);
}
double Atan2One(double y, double x) noexcept { return One().atan2(y, x); }
double HypotOne(double x, double y) noexcept { return One().hypot(x, y); }

void Sin(const double* x, double* out, int n) noexcept {
    if (n == 1) {
        out[0] = SinOne(x[0]);
        return;
    }
    Sized(n).sin(x, out, n);
}
void Cos(const double* x, double* out, int n) noexcept {
    if (n == 1) {
        out[0] = CosOne(x[0]);
        return;
    }
    Sized(n).cos(x, out, n);
}
void Atan2(const double* y, const double* x, double* out, int n) noexcept {
    if (n == 1) {
        out[0] = Atan2One(y[0], x[0]);
        return;
    }
    Sized(n).atan2(y, x, out, n);
}
void Hypot(const double* x, const double* y, double* out, int n) noexcept {
    if (n == 1) {
        out[0] = HypotOne(x[0], y[0]);
        return;
    }
    // Two pairs: the scalar form's shortcut costs about a quarter of a vector call.
    const detail::Kernels& k = Sized(n);  // picks the set first
    if (n <= 2 && gIsa.load(std::memory_order_relaxed) != Isa::kCLibrary) {
        detail::kScalarKernels.hypot(x, y, out, n);
    } else {
        k.hypot(x, y, out, n);
    }
}

void SinOn(Isa isa, const double* x, double* out, int n) noexcept { On(isa).sin(x, out, n); }
void CosOn(Isa isa, const double* x, double* out, int n) noexcept { On(isa).cos(x, out, n); }
void SinLibraryBlock(int lanes, const double* x, double* out) noexcept {
    On(lanes == 8 ? Isa::kAvx512 : Isa::kAvx2).sin(x, out, lanes);
}
void CosLibraryBlock(int lanes, const double* x, double* out) noexcept {
    On(lanes == 8 ? Isa::kAvx512 : Isa::kAvx2).cos(x, out, lanes);
}
void Atan2On(Isa isa, const double* y, const double* x, double* out, int n) noexcept {
    On(isa).atan2(y, x, out, n);
}
void HypotOn(Isa isa, const double* x, const double* y, double* out, int n) noexcept {
    On(isa).hypot(x, y, out, n);
}

}  // namespace loom::vecmath

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

// The active set, chosen at the first call. Read on every call, so kept as one atomic
// pointer pair that a benchmark may replace.
std::atomic<Isa> gIsa{Isa::kScalar};
std::atomic<const detail::Kernels*> gKernels{nullptr};

[[gnu::cold]] const detail::Kernels& Choose() noexcept {
    static const bool chosen = [] {
        const Isa isa = PickIsa();
        gIsa.store(isa, std::memory_order_relaxed);
        gKernels.store(&KernelsOf(isa), std::memory_order_release);
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
    gIsa.store(isa, std::memory_order_relaxed);
    gKernels.store(&KernelsOf(isa), std::memory_order_release);
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

// A value evaluated on its own (a sample at a time) goes straight to one SLEEF call, and
// each thread keeps the last two arguments and results of sine and of cosine: a sample's
// neighbour often repeats them (an image row shares v; a texture may take a wave of v and
// one of u with the same function), and one SLEEF value costs about twice the C library's.
// Never with the C library's set, which gives other bits.
struct LastValues {
    std::uint64_t x[2] = {};
    double result[2] = {};
    bool set[2] = {};
    int older = 0;  // the entry a new value replaces
};
thread_local LastValues tLastSin, tLastCos;

double ScalarSinOne(double x) noexcept { return Sleef_sin_u10(x); }
double ScalarCosOne(double x) noexcept { return Sleef_cos_u10(x); }
double ScalarAtan2One(double y, double x) noexcept { return Sleef_atan2_u10(y, x); }

// The single-value forms of the active set: SLEEF's scalar ones at the scalar level,
// otherwise the two-lane ones; null with the C library's set.
struct OneValueForms {
    double (*sin)(double) noexcept;
    double (*cos)(double) noexcept;
    double (*atan2)(double, double) noexcept;
};

inline const OneValueForms* OneValue() noexcept {
#if defined(__x86_64__)
    static constexpr OneValueForms kVector = {detail::Sse2SinOne, detail::Sse2CosOne,
                                              detail::Sse2Atan2One};
#else
    static constexpr OneValueForms kVector = {ScalarSinOne, ScalarCosOne, ScalarAtan2One};
#endif
    static constexpr OneValueForms kScalar = {ScalarSinOne, ScalarCosOne, ScalarAtan2One};
    Active();
    switch (gIsa.load(std::memory_order_relaxed)) {
        case Isa::kCLibrary:
            return nullptr;
        case Isa::kScalar:
            return &kScalar;
        default:
            return &kVector;
    }
}

inline double Remembered(LastValues& last, double x, double (*eval)(double) noexcept) noexcept {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    for (int k = 0; k < 2; ++k) {
        if (last.set[k] && last.x[k] == bits) {
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

void Sin(const double* x, double* out, int n) noexcept {
    if (n == 1) {
        if (const OneValueForms* one = OneValue()) {
            out[0] = Remembered(tLastSin, x[0], one->sin);
            return;
        }
    }
    Sized(n).sin(x, out, n);
}
void Cos(const double* x, double* out, int n) noexcept {
    if (n == 1) {
        if (const OneValueForms* one = OneValue()) {
            out[0] = Remembered(tLastCos, x[0], one->cos);
            return;
        }
    }
    Sized(n).cos(x, out, n);
}
void Atan2(const double* y, const double* x, double* out, int n) noexcept {
    if (n == 1) {
        if (const OneValueForms* one = OneValue()) {
            out[0] = one->atan2(y[0], x[0]);
            return;
        }
    }
    Sized(n).atan2(y, x, out, n);
}
void Hypot(const double* x, const double* y, double* out, int n) noexcept {
    // One or two pairs: the scalar form's shortcut costs about a quarter of a vector call.
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

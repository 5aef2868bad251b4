// SSE2, two lanes (every x86-64 CPU).
#include <emmintrin.h>
#include <sleef.h>

#define LOOM_VEC __m128d
#define LOOM_LOAD _mm_loadu_pd
#define LOOM_STORE _mm_storeu_pd
#define LOOM_LANES 2
#include "foundation/vecmath/kernels_impl.h"

namespace loom::vecmath::detail {
namespace {

LOOM_UNARY_KERNEL(SinKernel, Sleef_sind2_u10sse2)
LOOM_UNARY_KERNEL(CosKernel, Sleef_cosd2_u10sse2)
LOOM_BINARY_KERNEL(Atan2Kernel, Sleef_atan2d2_u10sse2)
LOOM_BINARY_KERNEL(HypotKernel, Sleef_hypotd2_u05sse2)

}  // namespace

const Kernels kSse2Kernels = {SinKernel, CosKernel, Atan2Kernel, HypotKernel};

double Sse2SinOne(double x) noexcept { return _mm_cvtsd_f64(Sleef_sind2_u10sse2(_mm_set_sd(x))); }
double Sse2CosOne(double x) noexcept { return _mm_cvtsd_f64(Sleef_cosd2_u10sse2(_mm_set_sd(x))); }
double Sse2Atan2One(double y, double x) noexcept {
    return _mm_cvtsd_f64(Sleef_atan2d2_u10sse2(_mm_set_sd(y), _mm_set_sd(x)));
}

// SSE4.1's forms of the same functions: the same steps with blends and rounding
// instructions in place of their SSE2 sequences (exact either way, so the same bits),
// about a tenth faster. Called only where the processor has SSE4.1.
double Sse4SinOne(double x) noexcept { return _mm_cvtsd_f64(Sleef_sind2_u10sse4(_mm_set_sd(x))); }
double Sse4CosOne(double x) noexcept { return _mm_cvtsd_f64(Sleef_cosd2_u10sse4(_mm_set_sd(x))); }
double Sse4Atan2One(double y, double x) noexcept {
    return _mm_cvtsd_f64(Sleef_atan2d2_u10sse4(_mm_set_sd(y), _mm_set_sd(x)));
}

}  // namespace loom::vecmath::detail

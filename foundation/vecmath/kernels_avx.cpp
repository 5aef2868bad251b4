// AVX, four lanes. SLEEF's AVX forms, not its AVX2 ones: those fuse multiply-adds and so
// round differently from the other sets in the last bit.
#include <immintrin.h>
#include <sleef.h>

#define LOOM_VEC __m256d
#define LOOM_LOAD _mm256_loadu_pd
#define LOOM_STORE _mm256_storeu_pd
#define LOOM_LANES 4
#include "foundation/vecmath/kernels_impl.h"

namespace loom::vecmath::detail {
namespace {

LOOM_UNARY_KERNEL(SinKernel, Sleef_sind4_u10avx)
LOOM_UNARY_KERNEL(CosKernel, Sleef_cosd4_u10avx)
LOOM_BINARY_KERNEL(Atan2Kernel, Sleef_atan2d4_u10avx)
LOOM_BINARY_KERNEL(HypotKernel, Sleef_hypotd4_u05avx)

}  // namespace

const Kernels kAvxKernels = {SinKernel, CosKernel, Atan2Kernel, HypotKernel};

}  // namespace loom::vecmath::detail

// AVX-512, eight lanes, in SLEEF's form without fused multiply-adds (see kernels_avx.cpp).
#include <immintrin.h>
#include <sleef.h>

#define LOOM_VEC __m512d
#define LOOM_LOAD _mm512_loadu_pd
#define LOOM_STORE _mm512_storeu_pd
#define LOOM_LANES 8
#include "foundation/vecmath/kernels_impl.h"

namespace loom::vecmath::detail {
namespace {

LOOM_UNARY_KERNEL(SinKernel, Sleef_sind8_u10avx512fnofma)
LOOM_UNARY_KERNEL(CosKernel, Sleef_cosd8_u10avx512fnofma)
LOOM_BINARY_KERNEL(Atan2Kernel, Sleef_atan2d8_u10avx512fnofma)
LOOM_BINARY_KERNEL(HypotKernel, Sleef_hypotd8_u05avx512fnofma)

}  // namespace

const Kernels kAvx512Kernels = {SinKernel, CosKernel, Atan2Kernel, HypotKernel};

}  // namespace loom::vecmath::detail

#pragma once
// Kernels from SLEEF's vector functions of one width: whole vectors straight from the
// arrays, the tail through a zero-padded vector. Included by one file per instruction set
// with LOOM_VEC, LOOM_LOAD, LOOM_STORE and LOOM_LANES defined. (Macros rather than
// templates: vector types lose their attributes as template arguments.)

#include <cstddef>
#include <cstring>

#include "foundation/vecmath/kernels.h"

#define LOOM_UNARY_KERNEL(name, fn)                                                             \
    void name(const double* x, double* out, int n) noexcept {                                   \
        int i = 0;                                                                              \
        for (; i + LOOM_LANES <= n; i += LOOM_LANES) LOOM_STORE(out + i, fn(LOOM_LOAD(x + i))); \
        if (i < n) {                                                                            \
            double in[LOOM_LANES] = {};                                                         \
            double res[LOOM_LANES];                                                             \
            const auto rest = static_cast<std::size_t>(n - i);                                  \
            std::memcpy(in, x + i, rest * sizeof(double));                                      \
            LOOM_STORE(res, fn(LOOM_LOAD(in)));                                                 \
            std::memcpy(out + i, res, rest * sizeof(double));                                   \
        }                                                                                       \
    }

#define LOOM_BINARY_KERNEL(name, fn)                                           \
    void name(const double* a, const double* b, double* out, int n) noexcept { \
        int i = 0;                                                             \
        for (; i + LOOM_LANES <= n; i += LOOM_LANES) {                         \
            LOOM_STORE(out + i, fn(LOOM_LOAD(a + i), LOOM_LOAD(b + i)));       \
        }                                                                      \
        if (i < n) {                                                           \
            double inA[LOOM_LANES] = {};                                       \
            double inB[LOOM_LANES] = {};                                       \
            double res[LOOM_LANES];                                            \
            const auto rest = static_cast<std::size_t>(n - i);                 \
            std::memcpy(inA, a + i, rest * sizeof(double));                    \
            std::memcpy(inB, b + i, rest * sizeof(double));                    \
            LOOM_STORE(res, fn(LOOM_LOAD(inA), LOOM_LOAD(inB)));               \
            std::memcpy(out + i, res, rest * sizeof(double));                  \
        }                                                                      \
    }

// Kept apart from noise.cpp so that only the plug-ins that call it link it.
#include <bit>
#include <cmath>
#include <cstdint>

#include "foundation/noise/noise.h"

float turbulence(const float v[3], float freq) noexcept {
    // An infinite start frequency would never halve below 1, and NaN has no octaves.
    if (!std::isfinite(freq)) return 0.0f;
    // Signed bit-pattern test: every negative frequency, -0 included, is below 1.
    if (std::bit_cast<std::int32_t>(freq) < std::bit_cast<std::int32_t>(1.0f)) return 0.0f;
    float f = freq;
    float t = 0.0f;
    do {
        const float w[3] = {f * v[0], f * v[1], f * v[2]};
        t = static_cast<float>(static_cast<double>(t) +
                               std::fabs(static_cast<double>(noise3(w))) / static_cast<double>(f));
        f = f * 0.5f;
    } while (f >= 1.0f);
    return t;
}

void turbulenceBatch(const float* x, const float* y, const float* z, int n, float freq,
                     float* out) noexcept {
    for (int i = 0; i < n; ++i) out[i] = 0.0f;
    if (!std::isfinite(freq)) return;
    if (std::bit_cast<std::int32_t>(freq) < std::bit_cast<std::int32_t>(1.0f)) return;
    // The octaves are the same for every sample, so each runs over the whole batch; the
    // sum per sample is built in the single call's order.
    constexpr int kChunk = 64;
    for (int first = 0; first < n; first += kChunk) {
        const int m = n - first < kChunk ? n - first : kChunk;
        float wx[kChunk], wy[kChunk], wz[kChunk], noise[kChunk];
        float f = freq;
        do {
            for (int i = 0; i < m; ++i) {
                wx[i] = f * x[first + i];
                wy[i] = f * y[first + i];
                wz[i] = f * z[first + i];
            }
            noise3Batch(wx, wy, wz, m, noise);
            for (int i = 0; i < m; ++i) {
                out[first + i] = static_cast<float>(static_cast<double>(out[first + i]) +
                                                    std::fabs(static_cast<double>(noise[i])) /
                                                        static_cast<double>(f));
            }
            f = f * 0.5f;
        } while (f >= 1.0f);
    }
}

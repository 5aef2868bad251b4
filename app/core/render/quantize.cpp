#include "app/core/render/quantize.h"

#include <algorithm>
#include <cmath>

namespace loom {

std::uint16_t QuantizeChannel(float v, float maxValue) noexcept {
    // The image library clamps first, then rounds the product in single precision.
    if (!(v > 0.0f)) return 0;  // NaN too
    v = std::min(v, 1.0f);
    return static_cast<std::uint16_t>(std::round(v * maxValue));
}

void QuantizePixels16(const float* rgba, std::size_t count, std::uint16_t* out) noexcept {
    for (std::size_t i = 0; i < count * 4; ++i) out[i] = QuantizeChannel(rgba[i], 65535.0f);
}

void QuantizePixels8(const float* rgba, std::size_t count, std::uint8_t* out) noexcept {
    for (std::size_t i = 0; i < count * 4; ++i) {
        out[i] = static_cast<std::uint8_t>(QuantizeChannel(rgba[i], 255.0f));
    }
}

}  // namespace loom

#include "fervix/pattern.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "foundation/noise/noise.h"
#include "foundation/texframe/blend.h"

namespace {

constexpr int kFractalPasses = 4;

inline float Sum(float a, float b) noexcept { return static_cast<float>(Widen(a) + Widen(b)); }
inline float Difference(float a, float b) noexcept {
    return static_cast<float>(Widen(a) - Widen(b));
}

}  // namespace

float FervixFractal(const FervixCache& c, const float p[3]) noexcept {
    float q[3] = {p[0], p[1], p[2]};
    float sum = 0.0f;
    float f = 1.0f;
    float n = 0.0f;
    do {
        for (float& component : q) component = static_cast<float>(Widen(component) * Widen(f));
        // A frequency of 0 (Fractal Scale 0, or a product that underflowed) would divide
        // the sample by 0; such a pass adds nothing.
        if (f != 0.0f) sum = static_cast<float>(Widen(sum) + Widen(noiseN(q, 3)) / Widen(f));
        f = static_cast<float>(Widen(f) * Widen(c.fractalScale));
        n = Sum(n, 1.0f);
    } while (n < static_cast<float>(kFractalPasses));
    return sum;
}

float FervixGradient(const FervixCache& c, float u, float v) noexcept {
    // Linear, and a pair in neither or both states, leave the component at 0.
    float gu = 0.0f;
    if (c.horizontalRadial == 1 && c.horizontalLinear == 0) gu = Difference(u, c.uOffset);
    float gv = 0.0f;
    if (c.verticalRadial == 1 && c.verticalLinear == 0) gv = Difference(v, c.vOffset);
    return static_cast<float>(std::hypot(Widen(gu), Widen(gv)) + Widen(c.fallOff));
}

float FervixWeight(const FervixCache& c, float u, float v) noexcept {
    // The first noise coordinate follows v, the second u; Phase moves through the third.
    const float p[3] = {static_cast<float>((Widen(v) + Widen(c.shiftY)) * Widen(c.vScale)),
                        static_cast<float>((Widen(u) + Widen(c.shiftX)) * Widen(c.uScale)),
                        c.phase};
    const float fractal = c.useFractalDetail == 1 ? FervixFractal(c, p) : 0.0f;
    const float d = FervixGradient(c, u, v);

    // Each SUB step samples again, so a pair with both flags set contributes nothing.
    float t = 0.0f;
    if (c.usePlasma == 1) {
        if (c.plasmaAdd == 1) t = noiseN(p, 3);
        if (c.plasmaSub == 1) t = Difference(t, noiseN(p, 3));
    }
    if (c.useFractalDetail == 1) {
        if (c.fractalAdd == 1) t = Sum(t, fractal);
        if (c.fractalSub == 1) t = Difference(t, fractal);
    }
    if (c.useTurbulence == 1) {
        if (c.turbulenceAdd == 1) t = Sum(t, turbulence(p, c.turbulenceScale));
        if (c.turbulenceSub == 1) t = Difference(t, turbulence(p, c.turbulenceScale));
    }
    return static_cast<float>(Widen(d) - Widen(c.intensity) * Widen(t));
}

AColor FervixMixColor(const FervixCache& c, float w, const Color& a, const Color& b) noexcept {
    AColor out(loom::BlendColor(w, a, b, c.positiveBlend, c.negativeBlend,
                                loom::BlendOrder::NegativeFirst),
               1.0f);
    out.ClampMinMax();
    return out;
}

float FervixClampMono(float x) noexcept {
    if (std::bit_cast<std::int32_t>(x) > std::bit_cast<std::int32_t>(1.0f)) return 1.0f;
    if (x < 0.0f) return 0.0f;
    if (std::isnan(x)) return 0.0f;  // only a negative NaN gets here
    return x;
}

float FervixMixMono(const FervixCache& c, float w, float a, float b) noexcept {
    return FervixClampMono(loom::BlendValue(w, a, b, c.positiveBlend, c.negativeBlend,
                                            loom::BlendOrder::NegativeFirst));
}

float FervixColorMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.g) + Widen(c.b) + Widen(c.r)) * Widen(0.33333334f));
}

#include "lumidot/pattern.h"

#include <cmath>

#include "foundation/texframe/blend.h"

LumidotWave LumidotUWave(const LumidotCache& c) noexcept {
    return {c.useVerticalColour,     c.horizontalPhase,     c.horizontalIteration,
            c.verticalSine,          c.verticalCosine,      c.verticalPinch,
            c.verticalHighThreshold, c.verticalLowThreshold};
}

LumidotWave LumidotVWave(const LumidotCache& c) noexcept {
    return {c.useHorizontalColour,     c.verticalPhase,         c.verticalIteration,
            c.horizontalSine,          c.horizontalCosine,      c.horizontalPinch,
            c.horizontalHighThreshold, c.horizontalLowThreshold};
}

float LumidotWaveTerm(const LumidotWave& wave, float x) noexcept {
    if (wave.use != 1) return 0.0f;
    // An iteration of 0 makes a infinite or NaN, and so the wave NaN: the threshold test
    // below turns that into 1.
    const double a = Widen(x) / Widen(wave.iteration) + Widen(wave.phase);
    float t = 0.0f;
    // Four tests in a fixed order, a later one overriding an earlier one.
    if (wave.sine == 1 && wave.pinch == 0) t = static_cast<float>(std::sin(a));
    if (wave.cosine == 1 && wave.pinch == 0) t = static_cast<float>(std::cos(a));
    if (wave.sine == 1 && wave.pinch == 1) t = static_cast<float>(std::fabs(std::sin(a)));
    if (wave.cosine == 1 && wave.pinch == 1) t = static_cast<float>(std::fabs(std::cos(a)));
    if (t > wave.highThreshold || std::isnan(t)) t = 1.0f;
    if (t < wave.lowThreshold) t = -1.0f;
    return t;
}

float LumidotWeight(const LumidotCache& c, float u, float v) noexcept {
    const float acrossV = LumidotWaveTerm(LumidotVWave(c), v);
    const float acrossU = LumidotWaveTerm(LumidotUWave(c), u);
    return static_cast<float>(Widen(acrossV) + Widen(acrossU));
}

AColor LumidotMixColor(const LumidotCache& c, float w, const Color& a, const Color& b) noexcept {
    AColor out(loom::BlendColor(w, a, b, c.positiveBlend, c.negativeBlend,
                                loom::BlendOrder::NegativeFirst),
               1.0f);
    out.ClampMinMax();
    return out;
}

float LumidotMixMono(const LumidotCache& c, float w, float a, float b) noexcept {
    return ClampUnit(loom::BlendValue(w, a, b, c.positiveBlend, c.negativeBlend,
                                      loom::BlendOrder::NegativeFirst));
}

float LumidotColorMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.g) + Widen(c.b) + Widen(c.r)) * Widen(0.33333334f));
}

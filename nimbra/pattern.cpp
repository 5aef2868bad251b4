#include "nimbra/pattern.h"

#include <cmath>

#include "foundation/texframe/blend.h"

namespace {

constexpr float kUnit = 0.04f;
constexpr float kWaveUnit = 0.02f;
constexpr float kFullTurn = 6.2831855f;
constexpr float kQuarterTurn = 1.5707964f;

enum class WarpForm { PerOctave, Preview };

template <WarpForm kForm>
float Clouds(const NimbraCache& c, float u, float v) noexcept {
    // A divisor of 0 (detail -3) or no octave at all both leave t at 0.
    if (!(c.detail > 0.0f)) return 0.0f;
    const double U = Widen(kFullTurn) * (Widen(u) + Widen(kUnit) * Widen(c.uShift));
    const double V = Widen(kFullTurn) * (Widen(v) + Widen(kUnit) * Widen(c.vShift));
    double fu = Widen(kUnit) * Widen(c.uScale);
    double fv = Widen(kUnit) * Widen(c.vScale);
    const double g = 1.0 - Widen(c.density);
    const double d = 1.0 - Widen(c.softening);
    double a = Widen(c.contrast);
    double sumA = 0.0, sumB = 0.0;
    const double uWarpV = Widen(kWaveUnit) * Widen(c.uWaveform) * V;  // preview form only
    const double detail = Widen(c.detail);
    double k = 0.0;
    do {
        double uWarp = kForm == WarpForm::Preview ? uWarpV * fv
                                                  : Widen(kWaveUnit) * Widen(c.uWaveform) * fv * V;
        const double phaseA = Widen(kQuarterTurn) * std::cos(uWarp) + fu * U;
        const double phaseB =
            Widen(kQuarterTurn) * std::sin(Widen(kWaveUnit) * Widen(c.vWaveform) * fu * U) + fv * V;
        // Past about a thousand octaves the frequencies overflow; such an octave keeps its
        // level but adds no wave, so no NaN reaches the image.
        sumA += (std::isfinite(phaseA) ? a * std::sin(phaseA) : 0.0) + g;
        sumB += (std::isfinite(phaseB) ? a * std::cos(phaseB) : 0.0) + g;
        fu *= 2.0;
        fv *= 2.0;
        a *= d;
        k += 1.0;
    } while (k < detail && k < kNimbraMaxOctaves);
    return static_cast<float>((sumA + sumB) / (detail + 3.0));
}

}  // namespace

float CloudPattern(const NimbraCache& c, float u, float v) noexcept {
    return Clouds<WarpForm::PerOctave>(c, u, v);
}

float CloudPatternPreview(const NimbraCache& c, float u, float v) noexcept {
    return Clouds<WarpForm::Preview>(c, u, v);
}

AColor NimbraMixColor(const NimbraCache& c, float t, const Color& c0, const Color& c1) noexcept {
    Color r = loom::BlendColor(t, c1, c0, c.positiveBlend, c.negativeBlend,
                               loom::BlendOrder::PositiveFirst);
    AColor out(r, 1.0f);
    out.ClampMinMax();
    return out;
}

float NimbraMixMono(const NimbraCache& c, float t, float m0, float m1) noexcept {
    t = t > 1.0f ? 1.0f : (t < 0.0f ? 0.0f : t);
    return loom::BlendValue(t, m1, m0, c.positiveBlend, c.negativeBlend,
                            loom::BlendOrder::PositiveFirst);
}

float NimbraCloudMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.g) + Widen(c.b) + Widen(c.r)) * Widen(0.33333334f));
}

float NimbraSkyMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.r) + Widen(c.g) + Widen(c.b)) * Widen(0.33333334f));
}

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
    const double U = double{kFullTurn} * (double{u} + double{kUnit} * double{c.uShift});
    const double V = double{kFullTurn} * (double{v} + double{kUnit} * double{c.vShift});
    double fu = double{kUnit} * double{c.uScale};
    double fv = double{kUnit} * double{c.vScale};
    const double g = 1.0 - double{c.density};
    const double d = 1.0 - double{c.softening};
    double a = c.contrast;
    double sumA = 0.0, sumB = 0.0;
    const double uWarpV = double{kWaveUnit} * double{c.uWaveform} * V;  // preview form only
    const double detail = c.detail;
    double k = 0.0;
    do {
        double uWarp = kForm == WarpForm::Preview
                           ? uWarpV * fv
                           : double{kWaveUnit} * double{c.uWaveform} * fv * V;
        const double phaseA = double{kQuarterTurn} * std::cos(uWarp) + fu * U;
        const double phaseB =
            double{kQuarterTurn} * std::sin(double{kWaveUnit} * double{c.vWaveform} * fu * U) +
            fv * V;
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

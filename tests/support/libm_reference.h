#pragma once
// The pattern arithmetic whose elementary functions the textures now take from the vector
// library, written as it was with the C library's sin, cos, atan2 and hypot: the
// reference the exactness checks measure against.

#include <cmath>

#include "fervix/params.h"
#include "lumidot/pattern.h"
#include "nimbra/pattern.h"
#include "voltrane/params.h"

namespace loomtest::libm {

inline float NimbraClouds(const NimbraCache& c, float u, float v) {
    constexpr float kUnit = 0.04f, kWaveUnit = 0.02f, kFullTurn = 6.2831855f,
                    kQuarterTurn = 1.5707964f;
    if (!(c.detail > 0.0f)) return 0.0f;
    const double U = double{kFullTurn} * (double{u} + double{kUnit} * double{c.uShift});
    const double V = double{kFullTurn} * (double{v} + double{kUnit} * double{c.vShift});
    double fu = double{kUnit} * double{c.uScale};
    double fv = double{kUnit} * double{c.vScale};
    const double g = 1.0 - double{c.density};
    const double d = 1.0 - double{c.softening};
    double a = double{c.contrast};
    double sumA = 0.0, sumB = 0.0;
    const double detail = double{c.detail};
    double k = 0.0;
    do {
        const double uWarp = double{kWaveUnit} * double{c.uWaveform} * fv * V;
        const double phaseA = double{kQuarterTurn} * std::cos(uWarp) + fu * U;
        const double phaseB =
            double{kQuarterTurn} * std::sin(double{kWaveUnit} * double{c.vWaveform} * fu * U) +
            fv * V;
        sumA += (std::isfinite(phaseA) ? a * std::sin(phaseA) : 0.0) + g;
        sumB += (std::isfinite(phaseB) ? a * std::cos(phaseB) : 0.0) + g;
        fu *= 2.0;
        fv *= 2.0;
        a *= d;
        k += 1.0;
    } while (k < detail && k < kNimbraMaxOctaves);
    return static_cast<float>((sumA + sumB) / (detail + 3.0));
}

inline float LumidotWaveTerm(const LumidotWave& wave, float x) {
    if (wave.use != 1) return 0.0f;
    const double a = double{x} / double{wave.iteration} + double{wave.phase};
    float t = 0.0f;
    if (wave.sine == 1 && wave.pinch == 0) t = static_cast<float>(std::sin(a));
    if (wave.cosine == 1 && wave.pinch == 0) t = static_cast<float>(std::cos(a));
    if (wave.sine == 1 && wave.pinch == 1) t = static_cast<float>(std::fabs(std::sin(a)));
    if (wave.cosine == 1 && wave.pinch == 1) t = static_cast<float>(std::fabs(std::cos(a)));
    if (t > wave.highThreshold || std::isnan(t)) t = 1.0f;
    if (t < wave.lowThreshold) t = -1.0f;
    return t;
}

inline float LumidotWeight(const LumidotCache& c, float u, float v) {
    const float acrossV = libm::LumidotWaveTerm(LumidotVWave(c), v);
    const float acrossU = libm::LumidotWaveTerm(LumidotUWave(c), u);
    return static_cast<float>(double{acrossV} + double{acrossU});
}

inline float VoltraneWave(int sinOn, int cosOn, int invert, float size, float sync, float mult,
                          float t) {
    float w = 0.0f;
    const double angle = double{size} * double{t} + double{sync};
    if (sinOn == 1) w = static_cast<float>(std::sin(angle));
    if (cosOn == 1) w = static_cast<float>(std::cos(angle));
    if (invert == 1 && std::signbit(w) && w != 0.0f) w = -w;
    return static_cast<float>(double{mult} * double{w});
}

/// The shape value of the three shapes that call elementary functions (radial, shockwave,
/// encase; the last set wins), as the pattern computes it.
inline double VoltraneRoundShape(const VoltraneCache& c, float u, float v) {
    const double su = double{u} - double{c.radialU};
    const double sv = double{v} - double{c.radialV};
    double s0 = 0.0;
    if (c.radial == 1) s0 = std::atan2(su, sv);
    if (c.shockwave == 1) s0 = std::hypot(su, sv);
    if (c.encase == 1) {
        const double a = std::atan2(su, sv);
        s0 = std::hypot(a, a) * 0.5;
    }
    return s0;
}

inline float FervixGradient(const FervixCache& c, float u, float v) {
    float gu = 0.0f;
    if (c.horizontalRadial == 1 && c.horizontalLinear == 0)
        gu = static_cast<float>(double{u} - double{c.uOffset});
    float gv = 0.0f;
    if (c.verticalRadial == 1 && c.verticalLinear == 0)
        gv = static_cast<float>(double{v} - double{c.vOffset});
    return static_cast<float>(std::hypot(double{gu}, double{gv}) + double{c.fallOff});
}

}  // namespace loomtest::libm

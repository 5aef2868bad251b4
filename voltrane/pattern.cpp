#include "voltrane/pattern.h"

#include <cmath>

#include "foundation/host/base/crt.h"
#include "foundation/noise/noise.h"

namespace {

constexpr float kRandScale = 3.0518509e-05f;  // maps 0..32767 onto 0..1
constexpr float kPhaseUnit = 0.0066666668f;   // one sweep-phase step, 1/150
constexpr float kThird = 0.33333334f;

}  // namespace

float VoltraneJitter(const VoltraneCache& c) noexcept {
    return static_cast<float>(static_cast<double>(crt::rand()) * Widen(kRandScale) *
                              Widen(c.edgeNoise) / Widen(c.edgeDensity));
}

float VoltraneWave(int sinOn, int cosOn, int invert, float size, float sync, float mult,
                   float t) noexcept {
    float w = 0.0f;
    const double angle = Widen(size) * Widen(t) + Widen(sync);
    if (sinOn == 1) w = static_cast<float>(std::sin(angle));
    if (cosOn == 1) w = static_cast<float>(std::cos(angle));
    if (invert == 1 && std::signbit(w) && w != 0.0f) w = -w;
    return static_cast<float>(Widen(mult) * Widen(w));
}

void VoltraneWaves(const VoltraneCache& c, float u, float v, float& w1, float& w2) noexcept {
    // For the two linear shapes the waves run across the sweep direction.
    const float t = c.linearV == 1 ? u : v;
    w1 = VoltraneWave(c.wave1Sin, c.wave1Cos, c.invertWave, c.wave1Size, c.wave1Sync, c.wave1Mult,
                      t);
    w2 = VoltraneWave(c.wave2Sin, c.wave2Cos, c.invertWave, c.wave2Size, c.wave2Sync, c.wave2Mult,
                      t);
}

float VoltraneCombine(const VoltraneCache& c, float w1, float w2) noexcept {
    float combined = 0.0f;
    if (c.additive == 1) combined = w1 + w2;
    if (c.subtractive == 1) {
        // Greater, else smaller, else (equal or not comparable) the sum.
        if (w1 > w2) {
            combined = w1;
        } else if (w1 < w2) {
            combined = w2;
        } else {
            combined = w1 + w2;
        }
    }
    return combined;
}

float VoltraneEdgePosition(const VoltraneCache& c, float r, float combined) noexcept {
    const double p = static_cast<double>(c.sweepPhase) * Widen(kPhaseUnit) + Widen(r);
    if (c.applyWave == 1 && c.beginAtEdge == 1) return static_cast<float>(p + Widen(combined));
    if (c.applyWave == 1) return static_cast<float>(p * Widen(combined));
    return static_cast<float>(p);
}

double VoltraneShape(const VoltraneCache& c, float u, float v) noexcept {
    const double du = Widen(u), dv = Widen(v);
    const double su = du - Widen(c.radialU);
    const double sv = dv - Widen(c.radialV);
    // Each set flag replaces the value before it. The shear steps sit between the two
    // linear shapes, so they reach "Linear Horizontal" twice and "Linear Vertical" once,
    // and a shear of exactly 1 skips them altogether.
    const bool sheared = c.shear != 1.0f;
    const double slant = 100.0 - Widen(c.shear);
    double s0 = 0.0;
    if (c.linearH == 1) s0 = du;
    if (sheared) s0 = slant * dv + s0;
    if (c.linearV == 1) s0 = dv;
    if (sheared) s0 = slant * du + s0;
    if (c.radial == 1) s0 = std::atan2(su, sv);
    if (c.shockwave == 1) s0 = std::hypot(su, sv);
    if (c.encase == 1) {
        const double a = std::atan2(su, sv);
        s0 = std::hypot(a, a) * 0.5;
    }
    if (c.diagonal == 1) s0 = du + dv;
    if (c.randomStatic == 1) s0 = static_cast<double>(crt::rand()) * Widen(kRandScale);
    if (c.cubic == 1) s0 = su > sv ? su : sv;
    if (c.goo == 1) {
        const float q[3] = {
            static_cast<float>(Widen(c.gooVScale) * dv + Widen(c.gooVShift)),
            static_cast<float>(Widen(c.gooUScale) * du + Widen(c.gooUShift)),
            c.gooPhase,
        };
        s0 = Widen(noiseN(q, 3));
    }
    return s0;
}

VoltraneRegion VoltraneClassify(double s0, float e, float edgeSize) noexcept {
    const double size = Widen(edgeSize);
    const double s = s0 + size;
    const double hi = Widen(e) + size;
    const double lo = Widen(e) - size;
    if (!(s <= hi)) return VoltraneRegion::kBackground;  // also when anything is NaN
    if (s < lo) return VoltraneRegion::kBody;
    if (lo < s && s < hi) return VoltraneRegion::kEdge;
    return VoltraneRegion::kBackground;
}

VoltraneRegion VoltraneRegionAt(const VoltraneCache& c, float u, float v) noexcept {
    const float r = VoltraneJitter(c);
    float w1, w2;
    VoltraneWaves(c, u, v, w1, w2);
    const float e = VoltraneEdgePosition(c, r, VoltraneCombine(c, w1, w2));
    return VoltraneClassify(VoltraneShape(c, u, v), e, c.edgeSize);
}

AColor VoltraneMixColor(const Color& opacity, const Color& front, const Color& back) noexcept {
    auto mix = [](float o, float f, float b) {
        return static_cast<float>(Widen(o) * Widen(f) + (1.0 - Widen(o)) * Widen(b));
    };
    return AColor(mix(opacity.r, front.r, back.r), mix(opacity.g, front.g, back.g),
                  mix(opacity.b, front.b, back.b), 1.0f);
}

float VoltraneMixMono(float opacity, float front, float back) noexcept {
    return static_cast<float>((1.0 - Widen(opacity)) * Widen(back) + Widen(opacity) * Widen(front));
}

float VoltraneColorMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.r) + Widen(c.g) + Widen(c.b)) * Widen(kThird));
}

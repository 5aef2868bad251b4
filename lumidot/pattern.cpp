#include "lumidot/pattern.h"

#include <algorithm>
#include <cmath>

#include "foundation/texframe/blend.h"
#include "foundation/texframe/coordinate_runs.h"
#include "foundation/texframe/tile_math.h"
#include "foundation/vecmath/vec_math.h"

LumidotWave LumidotUWave(const LumidotCache& c) noexcept {
    return {c.useVerticalColour,     c.horizontalPhase,      c.horizontalIteration,
            c.verticalSine,          c.verticalCosine,       c.verticalPinch,
            c.verticalHighThreshold, c.verticalLowThreshold, c.variation.tiled};
}

LumidotWave LumidotVWave(const LumidotCache& c) noexcept {
    return {c.useHorizontalColour,     c.verticalPhase,          c.verticalIteration,
            c.horizontalSine,          c.horizontalCosine,       c.horizontalPinch,
            c.horizontalHighThreshold, c.horizontalLowThreshold, c.variation.tiled};
}

namespace {

// Samples one pass takes; the working arrays live on the stack.
constexpr int kChunk = 64;

enum class Shape { kNone, kSine, kCosine, kAbsSine, kAbsCosine };

// Four tests in a fixed order, a later one overriding an earlier one.
Shape ShapeOf(const LumidotWave& wave) noexcept {
    Shape s = Shape::kNone;
    if (wave.sine == 1 && wave.pinch == 0) s = Shape::kSine;
    if (wave.cosine == 1 && wave.pinch == 0) s = Shape::kCosine;
    if (wave.sine == 1 && wave.pinch == 1) s = Shape::kAbsSine;
    if (wave.cosine == 1 && wave.pinch == 1) s = Shape::kAbsCosine;
    return s;
}

bool Pinched(Shape shape) noexcept {
    return shape == Shape::kAbsSine || shape == Shape::kAbsCosine;
}

// A tile runs whole cycles: x times the nearest multiple of 2 pi to 1 / iteration (an
// iteration of 0 stays as it is).
bool RunsWholeCycles(const LumidotWave& wave) noexcept {
    return wave.tiled == 1 && wave.iteration != 0.0f && std::isfinite(wave.iteration);
}
double WholeRate(const LumidotWave& wave) noexcept {
    return loom::WholeCycles(1.0 / Widen(wave.iteration));
}

// An iteration of 0 makes the angle infinite or NaN, and so the wave NaN: Thresholded
// turns that into 1.
double Angle(const LumidotWave& wave, float x) noexcept {
    if (RunsWholeCycles(wave)) return Widen(x) * WholeRate(wave) + Widen(wave.phase);
    return Widen(x) / Widen(wave.iteration) + Widen(wave.phase);
}

// Angle of n values, the rate of a tile worked out once.
void Angles(const LumidotWave& wave, const float* x, int n, double* a) noexcept {
    const double phase = Widen(wave.phase);
    if (RunsWholeCycles(wave)) {
        const double rate = WholeRate(wave);
        for (int i = 0; i < n; ++i) a[i] = Widen(x[i]) * rate + phase;
    } else {
        const double iteration = Widen(wave.iteration);
        for (int i = 0; i < n; ++i) a[i] = Widen(x[i]) / iteration + phase;
    }
}

// The term from the wave's value (the angle's sine or cosine, unused for kNone).
float Thresholded(const LumidotWave& wave, Shape shape, double value) noexcept {
    float t = 0.0f;
    if (shape != Shape::kNone) t = static_cast<float>(Pinched(shape) ? std::fabs(value) : value);
    if (t > wave.highThreshold || std::isnan(t)) t = 1.0f;
    if (t < wave.lowThreshold) t = -1.0f;
    return t;
}

void WaveChunk(const LumidotWave& wave, Shape shape, const float* x, int n, float* out) noexcept {
    double a[kChunk] = {};  // set up to n; the rest zero so no lane reads an unset value
    Angles(wave, x, n, a);
    if (shape == Shape::kSine || shape == Shape::kAbsSine) loom::vecmath::Sin(a, a, n);
    if (shape == Shape::kCosine || shape == Shape::kAbsCosine) loom::vecmath::Cos(a, a, n);
    for (int i = 0; i < n; ++i) out[i] = Thresholded(wave, shape, a[i]);
}

}  // namespace

void LumidotWaveTermBatch(const LumidotWave& wave, const float* x, int n, float* out) noexcept {
    if (wave.use != 1) {
        for (int i = 0; i < n; ++i) out[i] = 0.0f;
        return;
    }
    const Shape shape = ShapeOf(wave);
    for (int first = 0; first < n; first += kChunk) {
        WaveChunk(wave, shape, x + first, std::min(kChunk, n - first), out + first);
    }
}

// One sample without the batch's working arrays: the same steps on one value.
float LumidotWaveTerm(const LumidotWave& wave, float x) noexcept {
    if (wave.use != 1) return 0.0f;
    const Shape shape = ShapeOf(wave);
    double a = Angle(wave, x);
    if (shape == Shape::kSine || shape == Shape::kAbsSine) a = loom::vecmath::SinOne(a);
    if (shape == Shape::kCosine || shape == Shape::kAbsCosine) a = loom::vecmath::CosOne(a);
    return Thresholded(wave, shape, a);
}

namespace {

// The terms of one wave for x[0 .. m), m <= kChunk: once per run of samples sharing x (a
// row of an image shares v) when runs are long, else sample by sample.
void TermsOfOneCoordinate(const LumidotWave& wave, const float* x, int m, float* term) noexcept {
    loom::CoordinateRuns<kChunk> runs;
    runs.Find(x, m);
    if (!runs.Shared(m)) return LumidotWaveTermBatch(wave, x, m, term);
    float perRunX[kChunk] = {}, perRun[kChunk];  // zeroed: GCC cannot see count <= m
    for (int r = 0; r < runs.count; ++r) perRunX[r] = x[runs.first[r]];
    LumidotWaveTermBatch(wave, perRunX, runs.count, perRun);
    runs.Spread(perRun, m, term);
}

}  // namespace

void LumidotWeightBatch(const LumidotCache& c, const float* u, const float* v, int n,
                        float* w) noexcept {
    for (int first = 0; first < n; first += kChunk) {
        const int m = std::min(kChunk, n - first);
        float acrossV[kChunk], acrossU[kChunk];
        TermsOfOneCoordinate(LumidotVWave(c), v + first, m, acrossV);
        TermsOfOneCoordinate(LumidotUWave(c), u + first, m, acrossU);
        for (int i = 0; i < m; ++i) {
            w[first + i] = static_cast<float>(Widen(acrossV[i]) + Widen(acrossU[i]));
        }
    }
}

float LumidotWeight(const LumidotCache& c, float u, float v) noexcept {
    const float acrossV = LumidotWaveTerm(LumidotVWave(c), v);
    const float acrossU = LumidotWaveTerm(LumidotUWave(c), u);
    return static_cast<float>(Widen(acrossV) + Widen(acrossU));
}

AColor LumidotMixColor(const LumidotCache& c, float w, const Color& high,
                       const Color& low) noexcept {
    return loom::BlendColorClamped(w, low, high, c.positiveBlend, c.negativeBlend,
                                   loom::BlendOrder::NegativeFirst);
}

void LumidotMixColorBatch(const LumidotCache& c, const float* w, const Color* high,
                          const Color* low, int n, AColor* out) noexcept {
    loom::BlendColorClampedBatch(w, low, high, c.positiveBlend, c.negativeBlend,
                                 loom::BlendOrder::NegativeFirst, n, out);
}

float LumidotMixMono(const LumidotCache& c, float w, float high, float low) noexcept {
    return ClampUnit(loom::BlendValue(w, low, high, c.positiveBlend, c.negativeBlend,
                                      loom::BlendOrder::NegativeFirst));
}

float LumidotColorMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.g) + Widen(c.b) + Widen(c.r)) * Widen(0.33333334f));
}

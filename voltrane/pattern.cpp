#include "voltrane/pattern.h"

#include <algorithm>
#include <cmath>

#include "foundation/host/base/crt.h"
#include "foundation/noise/noise.h"
#include "foundation/texframe/coordinate_runs.h"
#include "foundation/texframe/tile_math.h"
#include "foundation/vecmath/vec_math.h"

namespace {

constexpr float kRandScale = 3.0518509e-05f;  // maps 0..32767 onto 0..1
constexpr float kPhaseUnit = 0.0066666668f;   // one sweep-phase step, 1/150
constexpr float kThird = 0.33333334f;

// Samples one pass takes; the working arrays live on the stack.
constexpr int kChunk = 64;

// The "RandomStatic" shape value: one draw.
double StaticDraw() noexcept { return static_cast<double>(crt::rand()) * Widen(kRandScale); }

}  // namespace

namespace {

// The jitter of one draw.
float JitterOfDraw(const VoltraneCache& c, int draw) noexcept {
    return static_cast<float>(static_cast<double>(draw) * Widen(kRandScale) * Widen(c.edgeNoise) /
                              Widen(c.edgeDensity));
}

}  // namespace

float VoltraneJitter(const VoltraneCache& c) noexcept { return JitterOfDraw(c, crt::rand()); }

void VoltraneWaveBatch(int sinOn, int cosOn, int invert, float size, float sync, float mult,
                       const float* t, int n, float* w) noexcept {
    for (int first = 0; first < n; first += kChunk) {
        const int m = std::min(kChunk, n - first);
        double angle[kChunk];
        for (int i = 0; i < m; ++i) angle[i] = Widen(size) * Widen(t[first + i]) + Widen(sync);
        // Cosine wins when both selectors are set; neither leaves the wave at 0.
        if (cosOn == 1) {
            loom::vecmath::Cos(angle, angle, m);
        } else if (sinOn == 1) {
            loom::vecmath::Sin(angle, angle, m);
        }
        const bool on = sinOn == 1 || cosOn == 1;
        for (int i = 0; i < m; ++i) {
            float wave = on ? static_cast<float>(angle[i]) : 0.0f;
            if (invert == 1 && std::signbit(wave) && wave != 0.0f) wave = -wave;
            w[first + i] = static_cast<float>(Widen(mult) * Widen(wave));
        }
    }
}

// The steps of VoltraneWaveBatch on one value, without its arrays.
float VoltraneWave(int sinOn, int cosOn, int invert, float size, float sync, float mult,
                   float t) noexcept {
    const double angle = Widen(size) * Widen(t) + Widen(sync);
    float wave = 0.0f;
    if (cosOn == 1) {
        wave = static_cast<float>(loom::vecmath::CosOne(angle));
    } else if (sinOn == 1) {
        wave = static_cast<float>(loom::vecmath::SinOne(angle));
    }
    if (invert == 1 && std::signbit(wave) && wave != 0.0f) wave = -wave;
    return static_cast<float>(Widen(mult) * Widen(wave));
}

float VoltraneWaveSize(const VoltraneCache& c, float size) noexcept {
    if (c.variation.tiled != 1) return size;
    return static_cast<float>(loom::WholeCycles(Widen(size)));
}

void VoltraneWaves(const VoltraneCache& c, float u, float v, float& w1, float& w2) noexcept {
    // For the two linear shapes the waves run across the sweep direction.
    const float t = c.linearV == 1 ? u : v;
    w1 = VoltraneWave(c.wave1Sin, c.wave1Cos, c.invertWave, VoltraneWaveSize(c, c.wave1Size),
                      c.wave1Sync, c.wave1Mult, t);
    w2 = VoltraneWave(c.wave2Sin, c.wave2Cos, c.invertWave, VoltraneWaveSize(c, c.wave2Size),
                      c.wave2Sync, c.wave2Mult, t);
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

namespace {

// The shapes that replace whatever came before them, in the order they are tested.
enum class Shape { kLinear, kRadial, kShockwave, kEncase, kDiagonal, kStatic, kCubic, kGoo };

// Each set flag replaces the value before it, so of the shapes after the linear ones only
// the last one set counts; with none set the linear steps give the value.
Shape ShapeOf(const VoltraneCache& c) noexcept {
    Shape s = Shape::kLinear;
    if (c.radial == 1) s = Shape::kRadial;
    if (c.shockwave == 1) s = Shape::kShockwave;
    if (c.encase == 1) s = Shape::kEncase;
    if (c.diagonal == 1) s = Shape::kDiagonal;
    if (c.randomStatic == 1) s = Shape::kStatic;
    if (c.cubic == 1) s = Shape::kCubic;
    if (c.goo == 1) s = Shape::kGoo;
    return s;
}

}  // namespace

void VoltraneShapeBatch(const VoltraneCache& c, const float* u, const float* v,
                        const double* staticDraw, int n, double* s) noexcept {
    const Shape shape = ShapeOf(c);
    const bool tiled = c.variation.tiled == 1;
    // Goo's noise: the seed's tables; in a tile whole scales, wrapped at their periods.
    loom::noise::NoiseSource goo;
    goo.tables = static_cast<const loom::noise::NoiseTables*>(c.variation.seedState);
    float gooUScale = c.gooUScale, gooVScale = c.gooVScale;
    if (tiled) {
        gooUScale = static_cast<float>(loom::WholeScale(Widen(c.gooUScale)));
        gooVScale = static_cast<float>(loom::WholeScale(Widen(c.gooVScale)));
        goo.period.x = loom::TilePeriod(Widen(gooVScale));
        goo.period.y = loom::TilePeriod(Widen(gooUScale));
    }
    for (int first = 0; first < n; first += kChunk) {
        const int m = std::min(kChunk, n - first);
        const float* cu = u + first;
        const float* cv = v + first;
        double* out = s + first;
        double su[kChunk], sv[kChunk], angle[kChunk];
        for (int i = 0; i < m; ++i) {
            su[i] = Widen(cu[i]) - Widen(c.radialU);
            sv[i] = Widen(cv[i]) - Widen(c.radialV);
        }
        switch (shape) {
            case Shape::kLinear: {
                // The shear steps sit between the two linear shapes, so they reach "Linear
                // Horizontal" twice and "Linear Vertical" once, and a shear of exactly 1
                // skips them altogether.
                const bool horizontal = c.linearH == 1, vertical = c.linearV == 1;
                const bool sheared = c.shear != 1.0f;
                const double slant = 100.0 - Widen(c.shear);
                for (int i = 0; i < m; ++i) {
                    const double du = Widen(cu[i]), dv = Widen(cv[i]);
                    double s0 = 0.0;
                    if (horizontal) s0 = du;
                    if (sheared) s0 = slant * dv + s0;
                    if (vertical) s0 = dv;
                    if (sheared) s0 = slant * du + s0;
                    out[i] = s0;
                }
                break;
            }
            case Shape::kRadial:
                loom::vecmath::Atan2(su, sv, out, m);
                break;
            case Shape::kShockwave:
                // A tile measures to the nearest copy of the centre.
                if (tiled) {
                    for (int i = 0; i < m; ++i) {
                        su[i] = loom::TiledRadial(Widen(cu[i]), Widen(c.radialU));
                        sv[i] = loom::TiledRadial(Widen(cv[i]), Widen(c.radialV));
                    }
                }
                loom::vecmath::Hypot(su, sv, out, m);
                break;
            case Shape::kEncase:
                loom::vecmath::Atan2(su, sv, angle, m);
                loom::vecmath::Hypot(angle, angle, out, m);
                for (int i = 0; i < m; ++i) out[i] *= 0.5;
                break;
            case Shape::kDiagonal:
                for (int i = 0; i < m; ++i) out[i] = Widen(cu[i]) + Widen(cv[i]);
                break;
            case Shape::kStatic:
                for (int i = 0; i < m; ++i) out[i] = staticDraw[first + i];
                break;
            case Shape::kCubic:
                for (int i = 0; i < m; ++i) out[i] = su[i] > sv[i] ? su[i] : sv[i];
                break;
            case Shape::kGoo: {
                // The chunk's noise points, then their noise in one batch call.
                float qx[kChunk], qy[kChunk], qz[kChunk], noise[kChunk];
                for (int i = 0; i < m; ++i) {
                    qx[i] =
                        static_cast<float>(Widen(gooVScale) * Widen(cv[i]) + Widen(c.gooVShift));
                    qy[i] =
                        static_cast<float>(Widen(gooUScale) * Widen(cu[i]) + Widen(c.gooUShift));
                    qz[i] = c.gooPhase;
                }
                loom::noise::Noise3Batch(goo, qx, qy, qz, m, noise);
                for (int i = 0; i < m; ++i) out[i] = Widen(noise[i]);
                break;
            }
        }
    }
}

namespace {

// The shape value of one sample, as VoltraneShapeBatch gives it for an array of one; a
// tile's shockwave and goo go through the batch.
double ShapeOne(const VoltraneCache& c, float u, float v, double staticDraw) noexcept {
    const double su = Widen(u) - Widen(c.radialU);
    const double sv = Widen(v) - Widen(c.radialV);
    switch (ShapeOf(c)) {
        case Shape::kLinear: {
            const double du = Widen(u), dv = Widen(v);
            const bool sheared = c.shear != 1.0f;
            const double slant = 100.0 - Widen(c.shear);
            double s0 = 0.0;
            if (c.linearH == 1) s0 = du;
            if (sheared) s0 = slant * dv + s0;
            if (c.linearV == 1) s0 = dv;
            if (sheared) s0 = slant * du + s0;
            return s0;
        }
        case Shape::kRadial:
            return loom::vecmath::Atan2One(su, sv);
        case Shape::kShockwave:
            if (c.variation.tiled == 1) break;
            return loom::vecmath::HypotOne(su, sv);
        case Shape::kEncase: {
            const double angle = loom::vecmath::Atan2One(su, sv);
            return loom::vecmath::HypotOne(angle, angle) * 0.5;
        }
        case Shape::kDiagonal:
            return Widen(u) + Widen(v);
        case Shape::kStatic:
            return staticDraw;
        case Shape::kCubic:
            return su > sv ? su : sv;
        case Shape::kGoo: {
            if (c.variation.tiled == 1) break;
            loom::noise::NoiseSource goo;
            goo.tables = static_cast<const loom::noise::NoiseTables*>(c.variation.seedState);
            const float q[3] = {
                static_cast<float>(Widen(c.gooVScale) * Widen(v) + Widen(c.gooVShift)),
                static_cast<float>(Widen(c.gooUScale) * Widen(u) + Widen(c.gooUShift)), c.gooPhase};
            return Widen(loom::noise::Noise3(goo, q));
        }
    }
    double s0;
    VoltraneShapeBatch(c, &u, &v, &staticDraw, 1, &s0);
    return s0;
}

}  // namespace

double VoltraneShape(const VoltraneCache& c, float u, float v) noexcept {
    const double draw = c.randomStatic == 1 ? StaticDraw() : 0.0;
    return ShapeOne(c, u, v, draw);
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

namespace {

// Both waves of t[0 .. m), m <= kChunk.
void WavesOf(const VoltraneCache& c, const float* t, int m, float* w1, float* w2) noexcept {
    VoltraneWaveBatch(c.wave1Sin, c.wave1Cos, c.invertWave, VoltraneWaveSize(c, c.wave1Size),
                      c.wave1Sync, c.wave1Mult, t, m, w1);
    VoltraneWaveBatch(c.wave2Sin, c.wave2Cos, c.invertWave, VoltraneWaveSize(c, c.wave2Size),
                      c.wave2Sync, c.wave2Mult, t, m, w2);
}

// The waves of a chunk: once per run of samples sharing t (a row of an image shares v,
// which the waves of every shape but the vertical sweep follow) when runs are long.
// Kept out of line: inlined into the region loop it cost the batch a few per cent.
[[gnu::noinline]] void WavesOfChunk(const VoltraneCache& c, const float* t, int m, float* w1,
                                    float* w2) noexcept {
    loom::CoordinateRuns<kChunk> runs;
    runs.Find(t, m);
    if (!runs.Shared(m)) return WavesOf(c, t, m, w1, w2);
    float perRunT[kChunk] = {}, perRun1[kChunk], perRun2[kChunk];  // zeroed: count <= m
    for (int r = 0; r < runs.count; ++r) perRunT[r] = t[runs.first[r]];
    WavesOf(c, perRunT, runs.count, perRun1, perRun2);
    runs.Spread(perRun1, m, w1);
    runs.Spread(perRun2, m, w2);
}

}  // namespace

void VoltraneRegionBatch(const VoltraneCache& c, const float* u, const float* v, int n,
                         VoltraneRegion* out) noexcept {
    for (int first = 0; first < n; first += kChunk) {
        const int m = std::min(kChunk, n - first);
        const float* cu = u + first;
        const float* cv = v + first;
        // The draws in the order of single samples (each sample's jitter, then its static),
        // taken from the generator in one call; the arithmetic on them afterwards.
        int pairs[2 * kChunk], jitterDraw[kChunk], staticDraw[kChunk];
        const bool drawsStatic = c.randomStatic == 1;
        if (drawsStatic) {
            crt::RandMany(pairs, 2 * m);
            for (int i = 0; i < m; ++i) {
                jitterDraw[i] = pairs[2 * i];
                staticDraw[i] = pairs[2 * i + 1];
            }
        } else {
            crt::RandMany(jitterDraw, m);
            std::fill(staticDraw, staticDraw + m, 0);
        }
        float r[kChunk];
        double draws[kChunk];
        for (int i = 0; i < m; ++i) {
            r[i] = JitterOfDraw(c, jitterDraw[i]);
            draws[i] = drawsStatic ? static_cast<double>(staticDraw[i]) * Widen(kRandScale) : 0.0;
        }
        float w1[kChunk], w2[kChunk];
        // The waves move the edge only with Apply Waveform on (VoltraneEdgePosition reads
        // them only then), so without it they are not evaluated.
        if (c.applyWave == 1) {
            WavesOfChunk(c, c.linearV == 1 ? cu : cv, m, w1, w2);
        } else {
            std::fill(w1, w1 + m, 0.0f);
            std::fill(w2, w2 + m, 0.0f);
        }
        double s0[kChunk];
        VoltraneShapeBatch(c, cu, cv, draws, m, s0);
        for (int i = 0; i < m; ++i) {
            const float e = VoltraneEdgePosition(c, r[i], VoltraneCombine(c, w1[i], w2[i]));
            out[first + i] = VoltraneClassify(s0[i], e, c.edgeSize);
        }
    }
}

// The steps of VoltraneRegionBatch on one sample, without its arrays and runs (a sample
// evaluated on its own: the single calls and the editor's samples).
VoltraneRegion VoltraneRegionAt(const VoltraneCache& c, float u, float v) noexcept {
    // The sample's jitter draw, then its static draw.
    const float r = VoltraneJitter(c);
    const double draw = c.randomStatic == 1 ? StaticDraw() : 0.0;
    float w1 = 0.0f, w2 = 0.0f;
    if (c.applyWave == 1) VoltraneWaves(c, u, v, w1, w2);
    const double s0 = ShapeOne(c, u, v, draw);
    const float e = VoltraneEdgePosition(c, r, VoltraneCombine(c, w1, w2));
    return VoltraneClassify(s0, e, c.edgeSize);
}

AColor VoltraneMixColor(const Color& opacity, const Color& front, const Color& back) noexcept {
    auto mix = [](float o, float f, float b) {
        return static_cast<float>(Widen(o) * Widen(f) + (1.0 - Widen(o)) * Widen(b));
    };
    return AColor(mix(opacity.r, front.r, back.r), mix(opacity.g, front.g, back.g),
                  mix(opacity.b, front.b, back.b), 1.0f);
}

void VoltraneMixColorsAt(const Color& opacity, const Color* front, const int* index, int count,
                         AColor* out) noexcept {
    for (int k = 0; k < count; ++k) {
        AColor& o = out[index[k]];
        o = VoltraneMixColor(opacity, front[k], Color(o.r, o.g, o.b));
    }
}

float VoltraneMixMono(float opacity, float front, float back) noexcept {
    return static_cast<float>((1.0 - Widen(opacity)) * Widen(back) + Widen(opacity) * Widen(front));
}

float VoltraneColorMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.r) + Widen(c.g) + Widen(c.b)) * Widen(kThird));
}

const char* VoltraneTileNote(const VoltraneCache& c) noexcept {
    switch (ShapeOf(c)) {
        case Shape::kLinear:
            return "the linear sweep has no period: a tile leaves it as it is, so it starts "
                   "again at the tile's edge";
        case Shape::kRadial:
        case Shape::kEncase:
            return "the sweep around the centre (an angle) has no period: a tile leaves it as "
                   "it is";
        case Shape::kDiagonal:
            return "the diagonal sweep has no period: a tile leaves it as it is, so it starts "
                   "again at the tile's edges";
        case Shape::kCubic:
            return "the cubic sweep has no period: a tile leaves it as it is";
        case Shape::kShockwave:
            return "the shockwave has no period: a tile measures it to the nearest copy of its "
                   "centre, scaled to keep its mean (a centred one is unchanged)";
        case Shape::kStatic:
        case Shape::kGoo:
            return nullptr;
    }
    return nullptr;
}

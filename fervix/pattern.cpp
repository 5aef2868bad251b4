#include "fervix/pattern.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "foundation/noise/noise.h"
#include "foundation/texframe/blend.h"
#include "foundation/texframe/tile_math.h"
#include "foundation/vecmath/vec_math.h"

namespace {

constexpr int kFractalPasses = 4;
// Samples one pass takes; the working arrays live on the stack.
constexpr int kChunk = 64;

inline float Sum(float a, float b) noexcept { return static_cast<float>(Widen(a) + Widen(b)); }
inline float Difference(float a, float b) noexcept {
    return static_cast<float>(Widen(a) - Widen(b));
}

using loom::noise::NoiseSource;

bool Tiled(const FervixCache& c) noexcept { return c.variation.tiled == 1; }

// The scales of the noise point: as set, or whole cells a tile.
float UScaleOf(const FervixCache& c) noexcept {
    return Tiled(c) ? static_cast<float>(loom::WholeScale(Widen(c.uScale))) : c.uScale;
}
float VScaleOf(const FervixCache& c) noexcept {
    return Tiled(c) ? static_cast<float>(loom::WholeScale(Widen(c.vScale))) : c.vScale;
}

// The noise of the cache: its seed's tables, and in a tile the periods of the noise point
// (its first coordinate follows v, its second u).
NoiseSource SourceOf(const FervixCache& c) noexcept {
    NoiseSource src;
    src.tables = static_cast<const loom::noise::NoiseTables*>(c.variation.seedState);
    if (Tiled(c)) {
        src.period.x = loom::TilePeriod(Widen(VScaleOf(c)));
        src.period.y = loom::TilePeriod(Widen(UScaleOf(c)));
    }
    return src;
}

// The fractal passes of a tile: pass k runs at the whole periods nearest its scale
// 1, s, s^3, s^6 times the point's, and divides by 1, s, s^2, s^3 as the plain passes do.
// The noise goes through `memo`.
void TiledFractalBatch(const FervixCache& c, const NoiseSource& src, const float* px,
                       const float* py, const float* pz, int n, loom::noise::NoiseMemo& memo,
                       float* sum) noexcept {
    float qx[kChunk], qy[kChunk], qz[kChunk], noise[kChunk];
    for (int i = 0; i < n; ++i) sum[i] = 0.0f;
    float f = 1.0f;
    double scale = 1.0;
    for (int pass = 0; pass < kFractalPasses; ++pass) {
        scale *= Widen(f);
        if (f != 0.0f) {
            const int periodX = loom::noise::OctavePeriod(src.period.x, scale);
            const int periodY = loom::noise::OctavePeriod(src.period.y, scale);
            const auto ratio = [](int p, int base) {
                return static_cast<float>(static_cast<double>(p) / static_cast<double>(base));
            };
            const float sx = ratio(periodX, src.period.x);
            const float sy = ratio(periodY, src.period.y);
            const float sz = static_cast<float>(scale);
            for (int i = 0; i < n; ++i) {
                qx[i] = sx * px[i];
                qy[i] = sy * py[i];
                qz[i] = static_cast<float>(Widen(sz) * Widen(pz[i]));
            }
            const NoiseSource octave{src.tables, {periodX, periodY, 0}};
            memo.Noise3Batch(octave, qx, qy, qz, n, noise);
            for (int i = 0; i < n; ++i) {
                sum[i] = static_cast<float>(Widen(sum[i]) + Widen(noise[i]) / Widen(f));
            }
        }
        f = static_cast<float>(Widen(f) * Widen(c.fractalScale));
    }
}

}  // namespace

float FervixFractal(const FervixCache& c, const float p[3]) noexcept {
    const NoiseSource src = SourceOf(c);
    if (Tiled(c)) {
        float sum;
        loom::noise::NoiseMemo memo;
        TiledFractalBatch(c, src, &p[0], &p[1], &p[2], 1, memo, &sum);
        return sum;
    }
    float q[3] = {p[0], p[1], p[2]};
    float sum = 0.0f;
    float f = 1.0f;
    float n = 0.0f;
    do {
        for (float& component : q) component = static_cast<float>(Widen(component) * Widen(f));
        // A frequency of 0 (Fractal Scale 0, or a product that underflowed) would divide
        // the sample by 0; such a pass adds nothing.
        if (f != 0.0f) {
            sum = static_cast<float>(Widen(sum) + Widen(loom::noise::Noise3(src, q)) / Widen(f));
        }
        f = static_cast<float>(Widen(f) * Widen(c.fractalScale));
        n = Sum(n, 1.0f);
    } while (n < static_cast<float>(kFractalPasses));
    return sum;
}

namespace {

// A radial component of m coordinates of a tile (m <= kChunk): the offset to the nearest
// copy of the centre, scaled (loom::TiledRadial), rounded to float and widened; the wrap
// runs over the whole chunk at once.
void TiledRadialChunk(const float* x, float centre, int m, double* out) noexcept {
    const double c = Widen(centre);
    const double scale = loom::RadialTileScale(c);
    for (int i = 0; i < m; ++i) out[i] = Widen(x[i]) - c;
    loom::WrapToTileBatch(out, m);
    for (int i = 0; i < m; ++i) out[i] = Widen(static_cast<float>(out[i] * scale));
}

// One component of the gradient for a chunk, widened: the offset from the centre (in a
// tile to its nearest copy), or 0 where the component is not radial.
void RadialChunk(const FervixCache& c, bool radial, const float* x, float centre, int m,
                 double* out) noexcept {
    if (!radial) {
        for (int i = 0; i < m; ++i) out[i] = 0.0;
    } else if (Tiled(c)) {
        TiledRadialChunk(x, centre, m, out);
    } else {
        for (int i = 0; i < m; ++i) out[i] = Widen(Difference(x[i], centre));
    }
}

}  // namespace

void FervixGradientBatch(const FervixCache& c, const float* u, const float* v, int n,
                         float* d) noexcept {
    for (int first = 0; first < n; first += kChunk) {
        const int m = std::min(kChunk, n - first);
        double gu[kChunk], gv[kChunk];
        // Linear, and a pair in neither or both states, leave the component at 0.
        const bool radialU = c.horizontalRadial == 1 && c.horizontalLinear == 0;
        const bool radialV = c.verticalRadial == 1 && c.verticalLinear == 0;
        RadialChunk(c, radialU, u + first, c.uOffset, m, gu);
        RadialChunk(c, radialV, v + first, c.vOffset, m, gv);
        loom::vecmath::Hypot(gu, gv, gu, m);
        for (int i = 0; i < m; ++i) d[first + i] = static_cast<float>(gu[i] + Widen(c.fallOff));
    }
}

float FervixGradient(const FervixCache& c, float u, float v) noexcept {
    float d;
    FervixGradientBatch(c, &u, &v, 1, &d);
    return d;
}

namespace {

// FervixFractal of a batch of noise points: the passes run over the whole batch, their
// noise through `memo`.
void FractalBatch(const FervixCache& c, const NoiseSource& src, const float* px, const float* py,
                  const float* pz, int n, loom::noise::NoiseMemo& memo, float* sum) noexcept {
    if (Tiled(c)) return TiledFractalBatch(c, src, px, py, pz, n, memo, sum);
    float qx[kChunk], qy[kChunk], qz[kChunk], noise[kChunk];
    for (int i = 0; i < n; ++i) {
        qx[i] = px[i];
        qy[i] = py[i];
        qz[i] = pz[i];
        sum[i] = 0.0f;
    }
    float f = 1.0f;
    float passes = 0.0f;
    do {
        for (int i = 0; i < n; ++i) {
            qx[i] = static_cast<float>(Widen(qx[i]) * Widen(f));
            qy[i] = static_cast<float>(Widen(qy[i]) * Widen(f));
            qz[i] = static_cast<float>(Widen(qz[i]) * Widen(f));
        }
        // A frequency of 0 (Fractal Scale 0, or a product that underflowed) would divide
        // the sample by 0; such a pass adds nothing.
        if (f != 0.0f) {
            memo.Noise3Batch(src, qx, qy, qz, n, noise);
            for (int i = 0; i < n; ++i) {
                sum[i] = static_cast<float>(Widen(sum[i]) + Widen(noise[i]) / Widen(f));
            }
        }
        f = static_cast<float>(Widen(f) * Widen(c.fractalScale));
        passes = Sum(passes, 1.0f);
    } while (passes < static_cast<float>(kFractalPasses));
}

}  // namespace

void FervixWeightBatch(const FervixCache& c, const float* u, const float* v, int n,
                       float* w) noexcept {
    const NoiseSource src = SourceOf(c);
    const float uScale = UScaleOf(c);
    const float vScale = VScaleOf(c);
    for (int first = 0; first < n; first += kChunk) {
        const int m = std::min(kChunk, n - first);
        const float* cu = u + first;
        const float* cv = v + first;
        // The first noise coordinate follows v, the second u; Phase moves through the third.
        float px[kChunk], py[kChunk], pz[kChunk];
        for (int i = 0; i < m; ++i) {
            px[i] = static_cast<float>((Widen(cv[i]) + Widen(c.shiftY)) * Widen(vScale));
            py[i] = static_cast<float>((Widen(cu[i]) + Widen(c.shiftX)) * Widen(uScale));
            pz[i] = c.phase;
        }
        // The plasma, the fractal passes and the turbulence octaves sample the noise point
        // and its multiples, often the same ones (the point itself, its doublings): each
        // set of points is sampled once.
        loom::noise::NoiseMemo memo;
        const bool turbulence =
            c.useTurbulence == 1 && (c.turbulenceAdd == 1 || c.turbulenceSub == 1);
        float fractal[kChunk];
        if (c.useFractalDetail == 1) FractalBatch(c, src, px, py, pz, m, memo, fractal);
        float d[kChunk];
        FervixGradientBatch(c, cu, cv, m, d);

        // Each SUB step samples again (the same value), so a pair with both flags set
        // contributes nothing.
        float t[kChunk] = {};
        float term[kChunk];
        if (c.usePlasma == 1 && (c.plasmaAdd == 1 || c.plasmaSub == 1)) {
            // Alone, the plasma has nothing to share.
            if (c.useFractalDetail == 1 || turbulence) {
                memo.Noise3Batch(src, px, py, pz, m, term);
            } else {
                loom::noise::Noise3Batch(src, px, py, pz, m, term);
            }
            if (c.plasmaAdd == 1) std::copy(term, term + m, t);
            if (c.plasmaSub == 1) {
                for (int i = 0; i < m; ++i) t[i] = Difference(t[i], term[i]);
            }
        }
        if (c.useFractalDetail == 1) {
            if (c.fractalAdd == 1) {
                for (int i = 0; i < m; ++i) t[i] = Sum(t[i], fractal[i]);
            }
            if (c.fractalSub == 1) {
                for (int i = 0; i < m; ++i) t[i] = Difference(t[i], fractal[i]);
            }
        }
        if (turbulence) {
            loom::noise::TurbulenceBatch(src, px, py, pz, m, c.turbulenceScale, memo, term);
            if (c.turbulenceAdd == 1) {
                for (int i = 0; i < m; ++i) t[i] = Sum(t[i], term[i]);
            }
            if (c.turbulenceSub == 1) {
                for (int i = 0; i < m; ++i) t[i] = Difference(t[i], term[i]);
            }
        }
        for (int i = 0; i < m; ++i) {
            w[first + i] = static_cast<float>(Widen(d[i]) - Widen(c.intensity) * Widen(t[i]));
        }
    }
}

float FervixWeight(const FervixCache& c, float u, float v) noexcept {
    if (Tiled(c)) {
        // A tile's radial gradient wraps over the batch's arrays.
        float w;
        FervixWeightBatch(c, &u, &v, 1, &w);
        return w;
    }
    // The steps of FervixWeightBatch for one sample, without its arrays: each overlay
    // samples the one-point noise (for a single point that costs less than the batch's
    // memo, whose values are the same bits).
    const bool radialU = c.horizontalRadial == 1 && c.horizontalLinear == 0;
    const bool radialV = c.verticalRadial == 1 && c.verticalLinear == 0;
    const double gu = radialU ? Widen(Difference(u, c.uOffset)) : 0.0;
    const double gv = radialV ? Widen(Difference(v, c.vOffset)) : 0.0;
    const auto d = static_cast<float>(loom::vecmath::HypotOne(gu, gv) + Widen(c.fallOff));
    const float p[3] = {static_cast<float>((Widen(v) + Widen(c.shiftY)) * Widen(c.vScale)),
                        static_cast<float>((Widen(u) + Widen(c.shiftX)) * Widen(c.uScale)),
                        c.phase};
    const NoiseSource src = SourceOf(c);
    float t = 0.0f;
    if (c.usePlasma == 1 && (c.plasmaAdd == 1 || c.plasmaSub == 1)) {
        const float term = loom::noise::Noise3(src, p);
        if (c.plasmaAdd == 1) t = term;
        if (c.plasmaSub == 1) t = Difference(t, term);
    }
    if (c.useFractalDetail == 1) {
        const float fractal = FervixFractal(c, p);
        if (c.fractalAdd == 1) t = Sum(t, fractal);
        if (c.fractalSub == 1) t = Difference(t, fractal);
    }
    if (c.useTurbulence == 1 && (c.turbulenceAdd == 1 || c.turbulenceSub == 1)) {
        const float term = loom::noise::Turbulence(src, p, c.turbulenceScale);
        if (c.turbulenceAdd == 1) t = Sum(t, term);
        if (c.turbulenceSub == 1) t = Difference(t, term);
    }
    return static_cast<float>(Widen(d) - Widen(c.intensity) * Widen(t));
}

AColor FervixMixColor(const FervixCache& c, float w, const Color& prime,
                      const Color& back) noexcept {
    return loom::BlendColorClamped(w, back, prime, c.positiveBlend, c.negativeBlend,
                                   loom::BlendOrder::NegativeFirst);
}

void FervixMixColorBatch(const FervixCache& c, const float* w, const Color* prime,
                         const Color* back, int n, AColor* out) noexcept {
    loom::BlendColorClampedBatch(w, back, prime, c.positiveBlend, c.negativeBlend,
                                 loom::BlendOrder::NegativeFirst, n, out);
}

float FervixClampMono(float x) noexcept {
    if (std::bit_cast<std::int32_t>(x) > std::bit_cast<std::int32_t>(1.0f)) return 1.0f;
    if (x < 0.0f) return 0.0f;
    if (std::isnan(x)) return 0.0f;  // only a negative NaN gets here
    return x;
}

float FervixMixMono(const FervixCache& c, float w, float prime, float back) noexcept {
    return FervixClampMono(loom::BlendValue(w, back, prime, c.positiveBlend, c.negativeBlend,
                                            loom::BlendOrder::NegativeFirst));
}

float FervixColorMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.g) + Widen(c.b) + Widen(c.r)) * Widen(0.33333334f));
}

const char* FervixTileNote(const FervixCache& c) noexcept {
    const bool radialU = c.horizontalRadial == 1 && c.horizontalLinear == 0;
    const bool radialV = c.verticalRadial == 1 && c.verticalLinear == 0;
    if (!radialU && !radialV) return nullptr;
    return "the radial gradient has no period: a tile measures it to the nearest copy of its "
           "centre, scaled to keep its mean (a centred gradient is unchanged)";
}

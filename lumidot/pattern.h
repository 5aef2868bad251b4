#pragma once
/// The Lumidot bands: a thresholded sine, cosine or pinch wave across u plus another
/// across v, summed into a blend weight. Pure functions of the cache; no allocation, no
/// state, safe on any thread.

#include "lumidot/params.h"

/// Everything one wave reads from the cache.
struct LumidotWave {
    int use;  ///< the wave counts only when this is exactly 1
    float phase;
    float iteration;
    int sine;
    int cosine;
    int pinch;
    float highThreshold;
    float lowThreshold;
    /// 1: whole cycles a tile (1 / iteration the nearest multiple of 2 pi, at least one).
    int tiled = 0;
};

/// Tiles: both waves run whole cycles a tile, so every Lumidot tile is seamless.

/// The wave across u (vertical bands).
LumidotWave LumidotUWave(const LumidotCache& c) noexcept;
/// The wave across v (horizontal bands).
LumidotWave LumidotVWave(const LumidotCache& c) noexcept;

/// One wave's term at coordinate x: 0 when switched off; otherwise the selected shape of
/// x / iteration + phase, 1 above the high threshold (or where the wave is not a number,
/// as at iteration 0), then -1 below the low threshold.
float LumidotWaveTerm(const LumidotWave& wave, float x) noexcept;
/// out[i] = LumidotWaveTerm(wave, x[i]) for i < n, bit for bit (several at a time).
void LumidotWaveTermBatch(const LumidotWave& wave, const float* x, int n, float* out) noexcept;

/// The blend weight at (u, v): term across v plus term across u, in -2..2.
float LumidotWeight(const LumidotCache& c, float u, float v) noexcept;
/// w[i] = LumidotWeight(c, u[i], v[i]) for i < n, bit for bit.
void LumidotWeightBatch(const LumidotCache& c, const float* u, const float* v, int n,
                        float* w) noexcept;

/// Colour blend of the High side (slot 0) and the Low side (slot 1) with weight w: the
/// blend starts from Low, negative step first; clamped to 0..1, alpha 1.
AColor LumidotMixColor(const LumidotCache& c, float w, const Color& high,
                       const Color& low) noexcept;
/// out[i] = LumidotMixColor(c, w[i], high[i], low[i]) for i < n, bit for bit.
void LumidotMixColorBatch(const LumidotCache& c, const float* w, const Color* high,
                          const Color* low, int n, AColor* out) noexcept;
/// Mono blend of the two sides (High, Low), clamped to 0..1 (NaN to 0).
float LumidotMixMono(const LumidotCache& c, float w, float high, float low) noexcept;
/// The mono value of a cached colour: (green + blue + red) times 0.33333334.
float LumidotColorMono(const Color& c) noexcept;

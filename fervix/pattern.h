#pragma once
/// The Fervix weight: a radial or linear gradient from an offset point, minus Intensity
/// times the plasma, fractal-detail and turbulence overlays. Pure functions of the cache;
/// no allocation, no locks. The first noise call of the module builds the noise tables
/// (see foundation/noise/noise.h); after that any number of threads may sample.

#include "fervix/params.h"

/// Tiles: the noise runs on whole U Scale and V Scale cells a tile (each the nearest whole
/// number, at least 1), wrapped at that period, every fractal pass and turbulence octave
/// likewise whole; a radial gradient, which has no period, measures its distance to the
/// nearest copy of the offset point, scaled to keep the plain gradient's mean over the tile
/// (loom::TiledRadial): seamless, and unchanged when centred. A seed gives the noise its
/// own tables.

/// Sum of the four fractal passes at noise point p: noise(p), noise(p·s)/s,
/// noise(p·s³)/s², noise(p·s⁶)/s³ for s = Fractal Scale (the scaled point carries over
/// from pass to pass). A pass whose frequency has become 0 adds nothing.
float FervixFractal(const FervixCache& c, const float p[3]) noexcept;

/// The gradient distance: hypot of the radial components plus FallOff. A component
/// whose radial/linear pair is not in exactly one state counts as 0, like a linear one.
float FervixGradient(const FervixCache& c, float u, float v) noexcept;
/// d[i] = FervixGradient(c, u[i], v[i]) for i < n, bit for bit (several at a time).
void FervixGradientBatch(const FervixCache& c, const float* u, const float* v, int n,
                         float* d) noexcept;

/// The blend weight at (u, v).
float FervixWeight(const FervixCache& c, float u, float v) noexcept;
/// w[i] = FervixWeight(c, u[i], v[i]) for i < n, bit for bit.
void FervixWeightBatch(const FervixCache& c, const float* u, const float* v, int n,
                       float* w) noexcept;

/// Colour blend of the Prime side (slot 0) and the Back side (slot 1) with weight w: the
/// blend starts from Back, negative step first; clamped to 0..1, alpha 1.
AColor FervixMixColor(const FervixCache& c, float w, const Color& prime,
                      const Color& back) noexcept;
/// out[i] = FervixMixColor(c, w[i], prime[i], back[i]) for i < n, bit for bit.
void FervixMixColorBatch(const FervixCache& c, const float* w, const Color* prime,
                         const Color* back, int n, AColor* out) noexcept;
/// Mono blend of the two sides (Prime, Back), clamped by FervixClampMono.
float FervixMixMono(const FervixCache& c, float w, float prime, float back) noexcept;
/// Clamp on the float's bit pattern: above 1.0 (also +infinity and positive NaN) gives 1,
/// a negative value gives 0, negative zero stays as it is; a negative NaN gives 0.
float FervixClampMono(float x) noexcept;
/// What a tile does with the cache's settings where they have no period (a radial
/// gradient), or null when the tile is the pattern itself made periodic.
const char* FervixTileNote(const FervixCache& c) noexcept;
/// The mono value of a cached colour: (green + blue + red) times 0.33333334.
float FervixColorMono(const Color& c) noexcept;

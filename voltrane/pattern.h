#pragma once
/// The sweeping-edge pattern: a shape value from (u, v), an edge position from the sweep
/// phase, a random jitter and two optional waves, and the classification of the sample
/// into body, edge band or background. Functions of the cache only: no allocation, no
/// locks, nothing written to the texture; safe on any thread.
///
/// Random draws come from the calling thread's crt::rand() stream: one per sample for the
/// jitter (always, used or not) and one more for the "RandomStatic" shape. The "Goo" shape
/// calls the gradient noise, whose tables the first such call builds from that stream.

#include "voltrane/params.h"

/// Tiles: both waves run whole cycles a tile (Wave Size the nearest multiple of 2 pi, at
/// least one cycle), "Goo" noise whole periods (its scales the nearest whole numbers),
/// "Shockwave" measures its distance to the nearest copy of the centre (loom::TiledRadial),
/// and "RandomStatic"
/// is random anyway. The linear, diagonal, radial (angle), "Encase" and "Cubic" sweeps have
/// no period: a tile leaves them as they are (VoltraneTileNote says so).

enum class VoltraneRegion { kBackground, kBody, kEdge };

/// Random edge jitter: one draw x 3.0518509e-05 x `edgeNoise` / `edgeDensity`. Not a
/// number when both are 0; infinite for a non-zero draw over a density of 0.
float VoltraneJitter(const VoltraneCache& c) noexcept;

/// One wave at coordinate t: sin or cos (cos wins when both selectors are set, 0 when
/// neither is) of size x t + sync, made positive first when `invert` is set, then scaled.
float VoltraneWave(int sinOn, int cosOn, int invert, float size, float sync, float mult,
                   float t) noexcept;

/// w[i] = VoltraneWave(..., t[i]) for i < n, bit for bit (several at a time).
void VoltraneWaveBatch(int sinOn, int cosOn, int invert, float size, float sync, float mult,
                       const float* t, int n, float* w) noexcept;

/// Wave 1 and wave 2 of the cache at (u, v): t is u for "Linear Vertical", else v.
void VoltraneWaves(const VoltraneCache& c, float u, float v, float& w1, float& w2) noexcept;

/// Additive: the sum. Algorithmic (overrides): the greater wave, except that equal waves
/// add up. Neither mode: 0.
float VoltraneCombine(const VoltraneCache& c, float w1, float w2) noexcept;

/// Edge position from the sweep phase, the jitter r and the combined wave: displaced by
/// the wave ("Begin from Edge"), scaled by it (without), or the phase alone when the waves
/// are not applied.
float VoltraneEdgePosition(const VoltraneCache& c, float r, float combined) noexcept;

/// The shape value s0 at (u, v); the last set shape flag wins, none gives the shear terms
/// alone (which are 0 at full shear). Draws once more for "RandomStatic".
double VoltraneShape(const VoltraneCache& c, float u, float v) noexcept;
/// s[i] = the shape value at (u[i], v[i]) for i < n, as VoltraneShape but drawing nothing:
/// `staticDraw[i]` is the sample's "RandomStatic" value (read only for that shape).
void VoltraneShapeBatch(const VoltraneCache& c, const float* u, const float* v,
                        const double* staticDraw, int n, double* s) noexcept;

/// Body below e - 2 edgeSize, edge band between that and e (both ends open), background
/// from e on and whenever a value is not a number.
VoltraneRegion VoltraneClassify(double s0, float e, float edgeSize) noexcept;

/// The whole geometric core: jitter, waves, edge position, shape, classification.
VoltraneRegion VoltraneRegionAt(const VoltraneCache& c, float u, float v) noexcept;
/// out[i] = VoltraneRegionAt(c, u[i], v[i]) for i < n in turn: the same regions and the
/// same random draws, in the same order, as n single calls.
void VoltraneRegionBatch(const VoltraneCache& c, const float* u, const float* v, int n,
                         VoltraneRegion* out) noexcept;

/// What a tile does with the cache's shape when it has no period, or null when the tile is
/// the pattern made periodic.
const char* VoltraneTileNote(const VoltraneCache& c) noexcept;

/// Wave Size as the pattern uses it: in a tile whole cycles a tile.
float VoltraneWaveSize(const VoltraneCache& c, float size) noexcept;

/// Per channel opacity x front + (1 - opacity) x back, unclamped; alpha 1.
AColor VoltraneMixColor(const Color& opacity, const Color& front, const Color& back) noexcept;
/// out[index[k]] = VoltraneMixColor(opacity, front[k], the colour of out[index[k]]) for
/// k < count: a region's samples mixed over the background already in `out`.
void VoltraneMixColorsAt(const Color& opacity, const Color* front, const int* index, int count,
                         AColor* out) noexcept;

/// (1 - opacity) x back + opacity x front, unclamped.
float VoltraneMixMono(float opacity, float front, float back) noexcept;

/// The mono value of a plain colour: (r + g + b) x 0.33333334.
float VoltraneColorMono(const Color& c) noexcept;

#pragma once
/// The plain weave: threads of warp (along V) and weft (along U) crossing over and under
/// each other in a checkerboard. Pure functions of the cache; no allocation, no state.

#include "params.h"

/// The weft's weight at (u, v): 1 where a weft thread is on top, 0 where a warp thread is,
/// `gap` between threads; `gap` too where the position or the thread count is not finite.
float WeftWeight(const WeftCache& c, float u, float v) noexcept;
/// Colour of weight t between the warp side (slot 0) and the weft side (slot 1), alpha 1.
/// The mix reads nothing of the cache; it takes it as every texture's mix does.
AColor WeftMixColor(const WeftCache&, float t, const Color& warp, const Color& weft) noexcept;
/// Mono value of a plain colour: the channels' mean.
float WeftMono(const Color& c) noexcept;
/// Mono mix of weight t between the warp side and the weft side.
float WeftMixMono(const WeftCache&, float t, float warp, float weft) noexcept;

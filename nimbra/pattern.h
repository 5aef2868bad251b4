#pragma once
/// The cloud pattern: octaves of two crossed, phase-warped waves. Functions of the cache
/// alone, safe on any thread. The batches keep the warps of u per thread
/// (nimbra/warp_cache.h: a table made once per thread, no locks), which changes no result.

#include <cstdint>

#include "nimbra/params.h"

/// Tiles: the base frequencies 0.04 x U Scale and V Scale become whole cycles a tile (the
/// nearest whole number, at least one), so every octave is whole; the warps likewise (the
/// nearest whole number of cycles of each octave's warp). A seed other than 0 shifts the
/// phase of each octave's two waves by its own amount drawn from the seed.

/// The phase shift of octave `octave` (0 up) of wave `wave` (0: A, 1: B) for `seed`, in
/// 0..2 pi; 0 for the default seed.
double NimbraOctavePhase(std::uint32_t seed, int octave, int wave) noexcept;

/// Most octaves a sample runs (a float counter would stall at 2^24).
inline constexpr int kNimbraMaxOctaves = 4096;

/// The sky weight t at (u, v); 0 when `detail` <= 0.
float CloudPattern(const NimbraCache& c, float u, float v) noexcept;
/// t[i] = CloudPattern(c, u[i], v[i]) for i < n, bit for bit (several at a time).
void CloudPatternBatch(const NimbraCache& c, const float* u, const float* v, int n,
                       float* t) noexcept;
/// The same sum as the viewport preview forms it (the warp factor of U taken once per
/// sample), which may differ from CloudPattern in the last bits.
float CloudPatternPreview(const NimbraCache& c, float u, float v) noexcept;
/// t[i] = CloudPatternPreview(c, u[i], v[i]) for i < n, bit for bit.
void CloudPatternPreviewBatch(const NimbraCache& c, const float* u, const float* v, int n,
                              float* t) noexcept;

/// Colour mix of the cloud side c0 and the sky side c1 with weight t, clamped, alpha 1.
AColor NimbraMixColor(const NimbraCache& c, float t, const Color& c0, const Color& c1) noexcept;
/// out[i] = NimbraMixColor(c, t[i], c0[i], c1[i]) for i < n, bit for bit.
void NimbraMixColorBatch(const NimbraCache& c, const float* t, const Color* c0, const Color* c1,
                         int n, AColor* out) noexcept;
/// Mono value of the cloud colour (slot 0) and of the sky colour (slot 1): the channels'
/// mean, added in double, the cloud's from green on.
float NimbraCloudMono(const Color& c) noexcept;
float NimbraSkyMono(const Color& c) noexcept;
/// Mono mix: t clamped to 0..1 first, result unclamped.
float NimbraMixMono(const NimbraCache& c, float t, float m0, float m1) noexcept;

#pragma once
/// Variations of a texture that a material author asks for beside its parameters: a seed
/// (another pattern of the same kind) and a seamless tile (the pattern made periodic over
/// the unit square). A texture that answers GetInterface(I_TEXMAP_VARIATION) offers them;
/// with the default seed and no tile it gives exactly the bits it gives without them.
///
/// Threads: set on the window thread (or the thread that drives the texture), never while
/// a render evaluates it; the getters may be read from anywhere. Nothing here throws.

#include <cstdint>

#include "foundation/host/sdk/mtl.h"

/// Interface ID of ITexmapVariation in GetInterface.
inline constexpr ULONG I_TEXMAP_VARIATION = 0x4C4D4203;

/// The seed that keeps a texture's built-in noise tables and random draws.
inline constexpr std::uint32_t kDefaultTexSeed = 0;
/// The largest seed (seeds are 0 .. 2^31 - 1, so that every front-end can hold them).
inline constexpr std::uint32_t kMaxTexSeed = 2147483647u;

/// What a seed changes in a texture (ITexmapVariation::SeedUse), as bit flags.
enum TexSeedUse : unsigned {
    kSeedChangesNothing = 0,
    kSeedNoiseTables = 1u << 0,  ///< the gradient noise's permutation and gradients
    kSeedRandomDraws = 1u << 1,  ///< the per-sample draws (the renderer's band generators)
    kSeedWavePhases = 1u << 2,   ///< the phases of the texture's wave octaves
};

class ITexmapVariation {
  public:
    /// What a seed changes in this texture (TexSeedUse flags; 0: it has nothing random).
    virtual unsigned SeedUse() noexcept = 0;
    /// Sets the seed (kDefaultTexSeed .. kMaxTexSeed). False, changing nothing, for a seed
    /// out of range or when the seeded tables cannot be made (no memory). A texture whose
    /// SeedUse is 0 keeps the seed (it is saved) and renders as before.
    virtual bool SetSeed(std::uint32_t seed) noexcept = 0;
    virtual std::uint32_t Seed() noexcept = 0;
    /// Makes the pattern periodic with period 1 in u and v (whole noise periods and whole
    /// wave cycles a tile), or ordinary again.
    virtual void SetTiled(bool tiled) noexcept = 0;
    virtual bool Tiled() noexcept = 0;
    /// With the settings of the last Update: null when the tile repeats without a seam,
    /// else a short sentence saying which part of the pattern has no period and what the
    /// tile does with it.
    virtual const char* TileNote() noexcept = 0;

  protected:
    ~ITexmapVariation() = default;
};

namespace loom {

/// The map's variation interface, or null when it has none.
inline ITexmapVariation* GetTexmapVariation(Texmap* map) {
    return map ? static_cast<ITexmapVariation*>(map->GetInterface(I_TEXMAP_VARIATION)) : nullptr;
}

/// Calls fn(map) for `map` and every sub-map below it (depth first, slot order).
template <class Fn>
void ForEachMapInTree(Texmap* map, Fn&& fn, int depth = 0) {
    // Reference loops are refused by the host, so the depth bound is only a guard.
    if (!map || depth > 64) return;
    fn(map);
    for (int i = 0; i < map->NumSubTexmaps(); ++i) {
        ForEachMapInTree(map->GetSubTexmap(i), fn, depth + 1);
    }
}

/// Sets the tile of every map of the tree that offers it.
inline void SetTreeTiled(Texmap* root, bool tiled) {
    ForEachMapInTree(root, [tiled](Texmap* m) {
        if (ITexmapVariation* v = GetTexmapVariation(m)) v->SetTiled(tiled);
    });
}

/// Sets the seed of every map of the tree that offers it; false when one refused.
inline bool SetTreeSeed(Texmap* root, std::uint32_t seed) {
    bool ok = true;
    ForEachMapInTree(root, [seed, &ok](Texmap* m) {
        if (ITexmapVariation* v = GetTexmapVariation(m)) ok = v->SetSeed(seed) && ok;
    });
    return ok;
}

/// The seed of `map` (kDefaultTexSeed for a map without the interface).
inline std::uint32_t SeedOf(Texmap* map) {
    ITexmapVariation* v = GetTexmapVariation(map);
    return v ? v->Seed() : kDefaultTexSeed;
}

/// TexSeedUse flags of the whole tree.
inline unsigned TreeSeedUse(Texmap* root) {
    unsigned use = 0;
    ForEachMapInTree(root, [&use](Texmap* m) {
        if (ITexmapVariation* v = GetTexmapVariation(m)) use |= v->SeedUse();
    });
    return use;
}

/// The seed of the generator of row band `band` of a render: band + 1 with the default
/// seed (the pixels as they always were), else a mix of both that differs from band to
/// band and from seed to seed.
inline unsigned BandSeed(int band, std::uint32_t seed) {
    const auto b = static_cast<std::uint32_t>(band);
    if (seed == kDefaultTexSeed) return b + 1u;
    // A 32-bit finaliser (murmur3's) of the pair, so that neighbouring seeds differ.
    std::uint32_t h = seed * 0x9E3779B1u ^ (b + 0x7F4A7C15u);
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

}  // namespace loom

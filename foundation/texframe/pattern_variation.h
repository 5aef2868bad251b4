#pragma once
/// The seed and tile of a texture as its pattern functions read them: a member `variation`
/// of the texture's cache, written by the frame (tex_frame.h) when the host sets them
/// (foundation/host/sdk/texmap_variation.h). The default value is the pattern as it always
/// was, bit for bit.

#include <cstdint>

namespace loom {

struct PatternVariation {
    /// 0: the built-in tables and draws.
    std::uint32_t seed = 0;
    /// 1: periodic over the unit square (whole noise periods and wave cycles a tile).
    int tiled = 0;
    /// What the texture made for its seed (its seeded noise tables), owned by the texture;
    /// null with the default seed.
    const void* seedState = nullptr;
};

}  // namespace loom

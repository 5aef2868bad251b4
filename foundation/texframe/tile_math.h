#pragma once
/// The arithmetic of seamless tiles shared by the texture patterns: scales rounded to whole
/// periods a tile, waves to whole cycles, offsets wrapped to the nearest copy. Pure inline
/// functions.

#include <cmath>

namespace loom {

/// Largest scale a tile keeps whole (beyond it a float holds only whole numbers anyway).
inline constexpr double kMaxTileScale = 16777216.0;

/// A lattice scale (cells a tile) made whole: the nearest whole number, at least 1 in size,
/// sign kept; not-a-number gives 1.
inline double WholeScale(double scale) noexcept {
    if (std::isnan(scale)) return 1.0;
    double whole = std::nearbyint(std::fabs(scale));
    if (whole < 1.0) whole = 1.0;
    if (whole > kMaxTileScale) whole = kMaxTileScale;
    return std::signbit(scale) ? -whole : whole;
}

/// The period in lattice cells of a whole scale.
inline int TilePeriod(double wholeScale) noexcept {
    return static_cast<int>(std::fabs(wholeScale));
}

/// An angular frequency (radians a unit of u or v) made whole cycles a tile: the nearest
/// multiple of 2 pi, at least one cycle unless it is 0; sign kept.
inline double WholeCycles(double radiansPerUnit) noexcept {
    constexpr double kTurn = 6.283185307179586;
    if (radiansPerUnit == 0.0 || std::isnan(radiansPerUnit)) return 0.0;
    return WholeScale(radiansPerUnit / kTurn) * kTurn;
}

/// A difference of coordinates measured to the nearest copy of the tile: within -0.5..0.5.
inline double WrapToTile(double d) noexcept { return d - std::nearbyint(d); }

}  // namespace loom

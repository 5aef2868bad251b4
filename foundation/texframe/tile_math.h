#pragma once
/// The arithmetic of seamless tiles shared by the texture patterns: scales rounded to whole
/// periods a tile, waves to whole cycles, offsets wrapped to the nearest copy. Pure inline
/// functions.

#include <cmath>

namespace loom {

/// Largest scale a tile keeps whole (beyond it a float holds only whole numbers anyway).
inline constexpr double kMaxTileScale = 16777216.0;

/// A lattice scale (cells a tile) made whole: the nearest whole number (halves up), at least
/// 1 in size, sign kept; not-a-number gives 1.
inline double WholeScale(double scale) noexcept {
    if (std::isnan(scale)) return 1.0;
    double whole = std::round(std::fabs(scale));
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

/// WrapToTile of each of the n differences d, in place, the same bits: where |d| < 2^51
/// adding and taking away 1.5 x 2^52 rounds to the nearest whole number (halves to even,
/// as nearbyint in the default mode; the sign copied, as nearbyint keeps it on a zero) in
/// a loop of plain arithmetic the compiler vectorises; the rest go through nearbyint.
inline void WrapToTileBatch(double* d, int n) noexcept {
    constexpr double kRound = 6755399441055744.0;  // 1.5 x 2^52
    constexpr double kExact = 2251799813685248.0;  // 2^51
    bool far = false;
    for (int i = 0; i < n; ++i) {
        const double x = d[i];
        const bool close = std::fabs(x) < kExact;
        far |= !close;
        d[i] = close ? x - std::copysign((x + kRound) - kRound, x) : x;
    }
    if (!far) return;
    // Left as they were: beyond 2^51, infinite or not a number.
    for (int i = 0; i < n; ++i) {
        if (!(std::fabs(d[i]) < kExact)) d[i] = WrapToTile(d[i]);
    }
}

/// The factor that gives a radial distance to the nearest copy of its centre (WrapToTile)
/// the mean over the tile that the plain distance from `centre` has: 1 for a centred
/// gradient, 2 for one centred on the tile's edge, so the tile keeps the gradient's look.
inline double RadialTileScale(double centre) noexcept {
    if (!std::isfinite(centre)) return 1.0;
    // The mean of |u - centre| for u uniform in 0..1, over the mean of the wrapped one, 1/4.
    const double mean = centre >= 0.0 && centre <= 1.0
                            ? 0.5 * (centre * centre + (1.0 - centre) * (1.0 - centre))
                            : std::fabs(centre - 0.5);
    return 4.0 * mean;
}

/// A radial component of a tile: the distance to the nearest copy of `centre`, scaled by
/// RadialTileScale.
inline double TiledRadial(double x, double centre) noexcept {
    return WrapToTile(x - centre) * RadialTileScale(centre);
}

}  // namespace loom

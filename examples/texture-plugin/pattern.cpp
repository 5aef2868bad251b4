#include "pattern.h"

#include <cmath>

namespace {

/// True when a thread of relative width `width` covers position `f` (0..1) of its cell.
bool Covers(double f, double width) noexcept { return std::fabs(f - 0.5) < 0.5 * width; }

}  // namespace

float WeftWeight(const WeftCache& c, float u, float v) noexcept {
    const double su = Widen(u) * Widen(c.threads);
    const double sv = Widen(v) * Widen(c.threads);
    if (!std::isfinite(su) || !std::isfinite(sv)) return c.gap;
    const double cu = std::floor(su);
    const double cv = std::floor(sv);
    const double width = Widen(c.width);
    // The warp runs along V and covers by U; the weft runs along U and covers by V.
    const bool warp = Covers(su - cu, width);
    const bool weft = Covers(sv - cv, width);
    if (warp && weft) {
        // Where they cross, the weft is on top in every other cell (fmod keeps huge cell
        // numbers exact, where an integer conversion would overflow).
        return std::fmod(std::fabs(cu + cv), 2.0) >= 1.0 ? 1.0f : 0.0f;
    }
    if (weft) return 1.0f;
    if (warp) return 0.0f;
    return c.gap;
}

AColor WeftMixColor(const WeftCache&, float t, const Color& warp, const Color& weft) noexcept {
    const float s = 1.0f - t;
    AColor out(Color(warp.r * s + weft.r * t, warp.g * s + weft.g * t, warp.b * s + weft.b * t),
               1.0f);
    out.ClampMinMax();
    return out;
}

float WeftMono(const Color& c) noexcept {
    return static_cast<float>((Widen(c.r) + Widen(c.g) + Widen(c.b)) / 3.0);
}

float WeftMixMono(const WeftCache&, float t, float warp, float weft) noexcept {
    return warp * (1.0f - t) + weft * t;
}

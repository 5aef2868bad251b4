#pragma once
// Stereo pairs of known geometry for the alignment's tests and benchmark: a photo-like
// picture (overlapping shapes of many sizes and colours over a gradient, softened as a
// lens softens), one view of it moved by a known vertical offset, rotation and scale, and
// pairs with known depth (a background and a nearer square, each at its own disparity).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "app/core/stereo/alignment.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/packed_pixels.h"

namespace stereotest {

/// `view` packed as 8-bit video frames are (three bytes a pixel).
inline loom::Image16 Packed8(const loom::Image16& view) {
    loom::Image16 p = view;
    p.packed.resize(view.pixels.size() * 3);
    loom::PackRgb24(view.pixels.data(), p.packed.data(), view.pixels.size());
    p.pixels.clear();
    return p;
}

/// A `w` x `h` 8-bit picture of `shapes` random rectangles and discs.
inline loom::Image16 PhotoLike(int w, int h, std::uint32_t seed, int shapes = 0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    if (shapes == 0) shapes = std::max(60, w * h / 1500);
    std::vector<std::array<float, 3>> rgb(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float g = 0.3f + 0.4f * static_cast<float>(x + y) / static_cast<float>(w + h);
            rgb[static_cast<std::size_t>(y) * w + x] = {g, g * 0.9f, g * 0.8f};
        }
    }
    const int largest = std::max(8, std::min(w, h) / 6);
    for (int s = 0; s < shapes; ++s) {
        const int size = 3 + static_cast<int>(std::pow(unit(rng), 2.0f) * largest);
        const int cx = static_cast<int>(unit(rng) * w), cy = static_cast<int>(unit(rng) * h);
        const std::array<float, 3> c = {unit(rng), unit(rng), unit(rng)};
        const bool disc = unit(rng) < 0.5f;
        const int aspect = 1 + static_cast<int>(unit(rng) * 3);
        for (int y = std::max(0, cy - size); y < std::min(h, cy + size); ++y) {
            for (int x = std::max(0, cx - size * aspect); x < std::min(w, cx + size * aspect);
                 ++x) {
                const float dx = static_cast<float>(x - cx) / aspect,
                            dy = static_cast<float>(y - cy);
                if (disc && dx * dx + dy * dy > static_cast<float>(size * size)) continue;
                rgb[static_cast<std::size_t>(y) * w + x] = c;
            }
        }
    }
    // Softened by a 3x3 box twice, as a lens and a sensor soften edges.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::array<float, 3>> soft(rgb.size());
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                std::array<float, 3> sum{0, 0, 0};
                for (int j = -1; j <= 1; ++j) {
                    for (int i = -1; i <= 1; ++i) {
                        const int xx = std::clamp(x + i, 0, w - 1),
                                  yy = std::clamp(y + j, 0, h - 1);
                        for (int k = 0; k < 3; ++k)
                            sum[k] += rgb[static_cast<std::size_t>(yy) * w + xx][k];
                    }
                }
                for (int k = 0; k < 3; ++k)
                    soft[static_cast<std::size_t>(y) * w + x][k] = sum[k] / 9;
            }
        }
        rgb.swap(soft);
    }
    loom::Image16 img;
    img.width = w;
    img.height = h;
    img.bits = 8;
    img.pixels.resize(rgb.size());
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        const auto q = [&](float v) {
            return static_cast<WORD>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f) * 257);
        };
        img.pixels[i] = {q(rgb[i][0]), q(rgb[i][1]), q(rgb[i][2]), 65535};
    }
    return img;
}

/// A known displacement of the right view: its content scaled by `scale` and turned
/// `rotationDeg` clockwise about the centre, then moved `dyPx` down.
struct Perturbation {
    double dyPx = 0, rotationDeg = 0, scale = 1;
};

/// The map from a left-view pixel to where its content lies in the right view.
inline std::array<double, 9> PerturbationMap(const Perturbation& p, int w, int h) {
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
    const double t = p.rotationDeg * 3.14159265358979323846 / 180;
    const double c = p.scale * std::cos(t), s = p.scale * std::sin(t);
    // centred: x' = c u - s v, y' = s u + c v + dy
    return {c, -s, cx - c * cx + s * cy, s, c, cy - s * cx - c * cy + p.dyPx, 0, 0, 1};
}

/// The right view of `left` moved by `p` (same size; the uncovered border black).
inline loom::Image16 Perturbed(const loom::Image16& left, const Perturbation& p) {
    return loom::stereo::ResampleView(left, PerturbationMap(p, left.width, left.height), 0,
                                      {0, 0, left.width, left.height});
}

/// A pair with depth: the background `bg` with disparity `bgShift` (the right view's
/// content that many pixels right of the left's; negative is nearer) and a square of `fg`
/// (a third of the smaller side, centred) with `fgShift`.
inline void DepthPair(const loom::Image16& bg, const loom::Image16& fg, int bgShift, int fgShift,
                      loom::Image16& left, loom::Image16& right) {
    const int w = bg.width, h = bg.height, side = std::min(w, h) / 3;
    const int x0 = (w - side) / 2, y0 = (h - side) / 2;
    const auto render = [&](int bgDx, int fgDx) {
        loom::Image16 out = bg;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int sx = std::clamp(x - bgDx, 0, w - 1);
                out.pixels[static_cast<std::size_t>(y) * w + x] =
                    bg.pixels[static_cast<std::size_t>(y) * w + sx];
                const int fx = x - fgDx;
                if (fx >= x0 && fx < x0 + side && y >= y0 && y < y0 + side) {
                    out.pixels[static_cast<std::size_t>(y) * w + x] =
                        fg.pixels[static_cast<std::size_t>(y) * w + fx];
                }
            }
        }
        return out;
    };
    left = render(0, 0);
    right = render(bgShift, fgShift);
}

}  // namespace stereotest

// The video views' resampler: exact where the correction moves by whole pixels, close to a
// two-dimensional bicubic computed in double precision for the corrections a stereo rig
// needs (rotation, scale, sub-pixel shifts, keystone), black where the view does not
// reach, at 8 and 16 bits; and refusals of corrections that fold the view.
#include "app/core/video/packed_warp.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kW = 160, kH = 96;

/// A packed picture of smooth gradients and sharp stripes (both matter to a filter).
std::vector<std::uint8_t> Picture(int bits) {
    const int top = bits == 8 ? 255 : 65535;
    const std::size_t bytes = bits == 8 ? 1 : 2;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kW) * kH * 3 * bytes);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const double smooth = 0.5 + 0.3 * std::sin(x * 0.11) * std::cos(y * 0.07);
            const double stripes = ((x / 5 + y / 7) % 2) ? 0.15 : -0.15;
            const double v[3] = {smooth + stripes, smooth, 1 - smooth + stripes * 0.5};
            for (int c = 0; c < 3; ++c) {
                const int value = static_cast<int>(std::lround(std::clamp(v[c], 0.0, 1.0) * top));
                const std::size_t at = (static_cast<std::size_t>(y) * kW + x) * 3 + c;
                if (bits == 8) {
                    out[at] = static_cast<std::uint8_t>(value);
                } else {
                    const auto s = static_cast<std::uint16_t>(value);
                    std::memcpy(&out[at * 2], &s, 2);
                }
            }
        }
    }
    return out;
}

double Value(const std::vector<std::uint8_t>& p, int bits, int x, int y, int c) {
    const std::size_t at = (static_cast<std::size_t>(y) * kW + x) * 3 + c;
    if (bits == 8) return p[at];
    std::uint16_t s;
    std::memcpy(&s, &p[at * 2], 2);
    return s;
}

double Cubic(double t) {
    constexpr double a = -0.75;
    t = std::abs(t);
    if (t <= 1) return ((a + 2) * t - (a + 3)) * t * t + 1;
    if (t < 2) return ((a * t - 5 * a) * t + 8 * a) * t - 4 * a;
    return 0;
}

/// Two-dimensional bicubic of the source at (sx, sy), outside pixels black, unrounded.
double Bicubic(const std::vector<std::uint8_t>& p, int bits, double sx, double sy, int c) {
    const int ix = static_cast<int>(std::floor(sx)), iy = static_cast<int>(std::floor(sy));
    double sum = 0;
    for (int j = iy - 1; j <= iy + 2; ++j) {
        for (int i = ix - 1; i <= ix + 2; ++i) {
            if (i < 0 || j < 0 || i >= kW || j >= kH) continue;
            sum += Cubic(sx - i) * Cubic(sy - j) * Value(p, bits, i, j, c);
        }
    }
    return sum;
}

/// Rotation by `degrees` and `scale` about the centre, then a shift, and a keystone term.
std::array<double, 9> Correction(double degrees, double scale, double dx, double dy,
                                 double keystone) {
    const double t = degrees * M_PI / 180, c = scale * std::cos(t), s = scale * std::sin(t);
    const double cx = kW / 2.0, cy = kH / 2.0;
    return {c, -s, cx - c * cx + s * cy + dx, s, c, cy - s * cx - c * cy + dy, keystone, 0, 1};
}

std::array<double, 9> Inverse(const std::array<double, 9>& m) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    return {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
            (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
            (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
            (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
            (m[0] * m[4] - m[1] * m[3]) / det};
}

std::vector<std::uint8_t> Warped(const std::vector<std::uint8_t>& src, int bits,
                                 const std::array<double, 9>& forward) {
    std::vector<std::uint8_t> out(src.size(), 0xAB);
    loom::WarpPackedRgb(src.data(), kW, kH, bits, forward, out.data(), kW, kH);
    return out;
}

TEST(PackedWarp, WholePixelShiftsCopyExactlyAndLeaveBlackBehind) {
    for (const int bits : {8, 16}) {
        const std::vector<std::uint8_t> src = Picture(bits);
        EXPECT_EQ(Warped(src, bits, {1, 0, 0, 0, 1, 0, 0, 0, 1}), src) << bits << " bits";
        // 3 columns right and 2 rows up: what came from outside is black.
        const std::vector<std::uint8_t> out = Warped(src, bits, {1, 0, 3, 0, 1, -2, 0, 0, 1});
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const bool inside = x >= 3 && y + 2 < kH;
                    const double want = inside ? Value(src, bits, x - 3, y + 2, c) : 0;
                    ASSERT_EQ(Value(out, bits, x, y, c), want)
                        << bits << " bits at " << x << "," << y << " channel " << c;
                }
            }
        }
    }
}

TEST(PackedWarp, FollowsTheTwoDimensionalBicubicForStereoCorrections) {
    struct Case {
        double degrees, scale, dx, dy, keystone;
    };
    const Case cases[] = {{0, 1, 0.5, 0.25, 0},
                          {0.6, 1.004, 1.5, 5.3, 0},
                          {-2.5, 0.99, -0.3, -3.7, 0},
                          {1.2, 1.01, 0.2, 2.4, 5e-5},
                          {0, 1, 0, 0.5, -6e-5}};
    for (const int bits : {8, 16}) {
        const std::vector<std::uint8_t> src = Picture(bits);
        const double level = bits == 8 ? 1 : 257;
        for (const Case& k : cases) {
            const std::array<double, 9> forward =
                Correction(k.degrees, k.scale, k.dx, k.dy, k.keystone);
            const std::array<double, 9> back = Inverse(forward);
            const std::vector<std::uint8_t> out = Warped(src, bits, forward);
            double sum = 0, largest = 0;
            int count = 0;
            for (int y = 0; y < kH; ++y) {
                for (int x = 0; x < kW; ++x) {
                    const double w = back[6] * x + back[7] * y + back[8];
                    const double sx = (back[0] * x + back[1] * y + back[2]) / w;
                    const double sy = (back[3] * x + back[4] * y + back[5]) / w;
                    for (int c = 0; c < 3; ++c) {
                        const double want =
                            std::round(std::clamp(Bicubic(src, bits, sx, sy, c), 0.0, 255 * level));
                        const double d = std::abs(Value(out, bits, x, y, c) - want) / level;
                        sum += d;
                        largest = std::max(largest, d);
                        ++count;
                    }
                }
            }
            const double mean = sum / count;
            // The two passes follow the rotated row; the mean stays far under a level (most
            // pixels are the reference's, rounded) and no pixel strays by more than the
            // stripes' edges can explain.
            EXPECT_LT(mean, 0.1) << bits << " bits, " << k.degrees << " degrees";
            EXPECT_LT(largest, 6.0) << bits << " bits, " << k.degrees << " degrees";
        }
    }
}

TEST(PackedWarp, NearTranslationsTakeTheRowPathWithTheGeneralPathsBytes) {
    const std::vector<std::uint8_t> src = Picture(8);
    const auto general = [&](const std::array<double, 9>& forward) {
        std::vector<std::uint8_t> out(src.size(), 0xCD);
        loom::WarpPackedRgb(src.data(), kW, kH, 8, forward, out.data(), kW, kH,
                            loom::PackedWarpPath::kGeneral);
        return out;
    };
    // Exact sub-pixel translations, inside and partly or wholly outside the view: the
    // same bytes either way.
    for (const auto& [dx, dy] :
         {std::pair{0.37, 2.81}, std::pair{-5.6, -0.49}, std::pair{0.0027, 6.0},
          std::pair{170.2, 3.3}, std::pair{-1.5, -120.25}}) {
        const std::array<double, 9> forward{1, 0, dx, 0, 1, dy, 0, 0, 1};
        EXPECT_EQ(Warped(src, 8, forward), general(forward)) << dx << ", " << dy;
    }
    // A rotation that moves the corners by a hundredth of a pixel is taken as the
    // translation at the centre: the general path's bytes but for rounding inside the
    // view, a few levels where its edge fades to black (steep there).
    const std::array<double, 9> turned = Correction(0.007, 1, 0.3, 1.7, 0);
    const std::vector<std::uint8_t> near = Warped(src, 8, turned), exact = general(turned);
    EXPECT_NE(near, exact);
    int off = 0;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            for (int c = 0; c < 3; ++c) {
                const std::size_t i = (static_cast<std::size_t>(y) * kW + x) * 3 + c;
                const int d = std::abs(near[i] - exact[i]);
                const bool inside = x >= 2 && x < kW - 3 && y >= 2 && y < kH - 4;
                ASSERT_LE(d, inside ? 1 : 4) << x << "," << y;
                off += d;
            }
        }
    }
    EXPECT_LT(off, static_cast<int>(near.size() / 10));  // a tenth of a level on average
    // One that moves them by a quarter does not: the general path's bytes.
    const std::array<double, 9> more = Correction(0.2, 1, 0.3, 1.7, 0);
    EXPECT_EQ(Warped(src, 8, more), general(more));
}

TEST(PackedWarp, BandsOfRowsOnThreadsGiveTheSameBytes) {
    for (const int bits : {8, 16}) {
        const std::vector<std::uint8_t> src = Picture(bits);
        for (const std::array<double, 9>& forward :
             {Correction(0.6, 1.004, 1.5, 5.3, 0), Correction(0, 1, 0.37, -2.81, 0),
              Correction(1.2, 1.01, 0.2, 2.4, 5e-5)}) {
            for (const int threads : {2, 5}) {
                std::vector<std::uint8_t> out(src.size(), 0xAB);
                loom::WarpPackedRgb(src.data(), kW, kH, bits, forward, out.data(), kW, kH,
                                    loom::PackedWarpPath::kAny, threads);
                EXPECT_EQ(out, Warped(src, bits, forward)) << bits << " bits, " << threads;
            }
        }
    }
}

TEST(PackedWarp, FlatAreasStayExactlyFlatAndViewsFarAwayAreBlack) {
    std::vector<std::uint8_t> flat(static_cast<std::size_t>(kW) * kH * 3, 200);
    const std::vector<std::uint8_t> out = Warped(flat, 8, Correction(1.5, 1.003, 0.37, 2.81, 2e-4));
    // Away from the edges every weight row sums to one exactly.
    for (int y = 8; y < kH - 8; ++y) {
        for (int x = 8; x < kW - 8; ++x) {
            ASSERT_EQ(out[(static_cast<std::size_t>(y) * kW + x) * 3 + 1], 200) << x << "," << y;
        }
    }
    const std::vector<std::uint8_t> gone = Warped(flat, 8, {1, 0, 5000, 0, 1, -3, 0, 0, 1});
    EXPECT_EQ(gone, std::vector<std::uint8_t>(flat.size(), 0));
}

TEST(PackedWarp, RefusesCorrectionsThatFoldOrVanish) {
    const std::vector<std::uint8_t> src = Picture(8);
    std::vector<std::uint8_t> out(src.size());
    EXPECT_THROW(
        loom::WarpPackedRgb(src.data(), kW, kH, 8, {0, 0, 0, 0, 0, 0, 0, 0, 1}, out.data(), kW, kH),
        std::invalid_argument);
    // A keystone so strong that part of the output comes from behind the view.
    EXPECT_THROW(loom::WarpPackedRgb(src.data(), kW, kH, 8, {1, 0, 0, 0, 1, 0, 0.02, 0, 1},
                                     out.data(), kW, kH),
                 std::invalid_argument);
    EXPECT_THROW(loom::WarpPackedRgb(src.data(), kW, kH, 12, {1, 0, 0, 0, 1, 0, 0, 0, 1},
                                     out.data(), kW, kH),
                 std::invalid_argument);
}

}  // namespace

// The video views' resampler: exact where the correction moves by whole pixels, close to a
// two-dimensional bicubic computed in double precision for the corrections a stereo rig
// needs (rotation, scale, sub-pixel shifts, keystone), black where the view does not
// reach, at 8 and 16 bits; and refusals of corrections that fold the view.
#include "app/core/video/packed_warp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/video/packed_warp_taps.h"

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

/// The 8-bit general path one value at a time, from the shared taps: rows outside the view
/// and line columns outside the row's uMin..uMax are black, each pass rounds once.
std::vector<std::uint8_t> FixedPointWarp(const std::vector<std::uint8_t>& src, int w, int h,
                                         const std::array<double, 9>& forward) {
    using namespace loom::packed_warp;
    const WeightTable& table = Weights();
    RowTaps taps(InverseCorrection(forward), w, h, w);
    std::vector<std::uint8_t> out(src.size(), 0);
    std::vector<int> line(static_cast<std::size_t>(w) * 3);
    for (int y = 0; y < h; ++y) {
        if (!taps.Set(y)) continue;
        taps.Expand();
        for (int u = taps.uMin; u <= taps.uMax; ++u) {
            const FixedTap tap = taps.down[static_cast<std::size_t>(u - taps.uMin)];
            const auto& weights = table[static_cast<std::size_t>(tap.weights)];
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int k = 0; k < 4; ++k) {
                    const int row = tap.first + k;
                    if (row < 0 || row >= h) continue;
                    sum += weights[static_cast<std::size_t>(k)] *
                           src[(static_cast<std::size_t>(row) * w + u) * 3 + c];
                }
                line[static_cast<std::size_t>(u) * 3 + c] =
                    std::clamp(RoundShift(sum, kPass1Shift), -32768, 32767);
            }
        }
        for (int x = 0; x < w; ++x) {
            const FixedTap tap = taps.along[static_cast<std::size_t>(x)];
            const auto& weights = table[static_cast<std::size_t>(tap.weights)];
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int k = 0; k < 4; ++k) {
                    const int u = tap.first + k;
                    if (u < taps.uMin || u > taps.uMax) continue;
                    sum += weights[static_cast<std::size_t>(k)] *
                           line[static_cast<std::size_t>(u) * 3 + c];
                }
                out[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::clamp(RoundShift(sum, kPass2Shift), 0, 255));
            }
        }
    }
    return out;
}

/// Where two pictures first differ ("" where they do not).
std::string FirstDifference(const std::vector<std::uint8_t>& got,
                            const std::vector<std::uint8_t>& want, int w) {
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (got[i] != want[i]) {
            const std::size_t pixel = i / 3;
            return "pixel " + std::to_string(pixel % static_cast<std::size_t>(w)) + "," +
                   std::to_string(pixel / static_cast<std::size_t>(w)) + " channel " +
                   std::to_string(i % 3) + ": " + std::to_string(got[i]) + " against " +
                   std::to_string(want[i]);
        }
    }
    return "";
}

// The vector code takes a group of sixteen columns' or pixels' weight rows from one or two
// windows of 32 table rows where they lie within them (counted round the table) and
// gathers them otherwise; a row's last group may be shorter. Along a row the rows move by
// 1024 |1 - scale| a pixel (sixteen pixels span 32 rows at a scale of about 1.0021 and 64
// at about 1.0042), down the columns by 1024 tan(turn) a column (32 rows at about 0.119
// degrees, 64 at 0.239). Swept across each limit, on widths that leave every length of
// last group, views partly outside the source and with a keystone, every level must give
// the bytes of the plain arithmetic.
TEST(PackedWarp, EveryLevelGivesThePlainFixedPointBytesAtTheEdgesOfItsVectorPaths) {
    std::mt19937 rng(5);
    struct Turn {
        double degrees, scale, keystone;
    };
    std::vector<Turn> turns;
    for (const double limit : {1.00209, 1.00419}) {
        for (int i = -4; i <= 4; ++i) turns.push_back({0.02, limit + i * 5e-5, 0});
    }
    for (const double limit : {0.1194, 0.2387}) {
        for (int i = -4; i <= 4; ++i) turns.push_back({limit + i * 0.004, 1.0003, 0});
    }
    // Both limits at once, a keystone that moves the span along the row, a turn whose
    // columns' taps start one row apart within a group and one where they lie further.
    turns.push_back({0.2387, 1.00419, 0});
    turns.push_back({0.12, 1.0021, 4e-5});
    turns.push_back({-0.24, 0.9958, -6e-5});
    turns.push_back({0.6, 1.004, 2e-6});
    turns.push_back({4.0, 0.97, 0});
    for (const auto& [w, h] :
         {std::pair{17, 9}, std::pair{47, 21}, std::pair{161, 40}, std::pair{250, 13}}) {
        std::vector<std::uint8_t> src(static_cast<std::size_t>(w) * h * 3);
        for (std::uint8_t& v : src) v = static_cast<std::uint8_t>(rng());
        for (const Turn& t : turns) {
            for (const auto& [dx, dy] : {std::pair{0.37, -0.81}, std::pair{-4.6, 3.2}}) {
                const double r = t.degrees * M_PI / 180, c = t.scale * std::cos(r),
                             s = t.scale * std::sin(r);
                const double cx = w / 2.0, cy = h / 2.0;
                const std::array<double, 9> forward{c,          -s, cx - c * cx + s * cy + dx,
                                                    s,          c,  cy - s * cx - c * cy + dy,
                                                    t.keystone, 0,  1};
                std::vector<std::uint8_t> out(src.size(), 0xAB);
                loom::WarpPackedRgb(src.data(), w, h, 8, forward, out.data(), w, h,
                                    loom::PackedWarpPath::kGeneral);
                ASSERT_EQ(FirstDifference(out, FixedPointWarp(src, w, h, forward), w), "")
                    << w << "x" << h << ", " << t.degrees << " degrees, scale " << t.scale
                    << ", keystone " << t.keystone << ", shift " << dx << "," << dy;
            }
        }
    }
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

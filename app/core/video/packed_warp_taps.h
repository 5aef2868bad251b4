#pragma once
/// The fixed-point taps the 8-bit video resampler shares between its plain, SSE2 and
/// AVX-512 code: the weights of cubic convolution in 1/16384ths, positions to 1/1024 pixel,
/// and where each output row's two passes take their taps. Every form computes the same
/// integers from them, so every vector level gives the same bytes.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace loom::packed_warp {

/// The four weights of cubic convolution (a = -0.75) for taps at -1, 0, 1, 2 around a
/// position `f` (0..1) past the second tap.
inline void CubicWeights(float f, float w[4]) {
    constexpr float a = -0.75f;
    const float f1 = f + 1, g = 1 - f;
    w[0] = ((a * f1 - 5 * a) * f1 + 8 * a) * f1 - 4 * a;
    w[1] = ((a + 2) * f - (a + 3)) * f * f + 1;
    w[2] = ((a + 2) * g - (a + 3)) * g * g + 1;
    w[3] = 1 - w[0] - w[1] - w[2];
}

// Positions are held to 1/1024 pixel and looked up in a table of weights in 1/16384ths
// (each row of four sums to 16384, so a flat area stays exactly flat); the first pass
// keeps 6 bits below the 8-bit level (16-bit values, -0.3..1.3 of the range fit), the
// second rounds once to the output's level.
constexpr int kSteps = 1024, kWeightBits = 14, kLineBits = 6;
constexpr int kPass1Shift = kWeightBits - kLineBits, kPass2Shift = kWeightBits + kLineBits;
/// Source pixels of margin on each side of a row's line (taps reach 5 before, 3 after).
constexpr int kLineMargin = 8;

/// The inverse of a correction (row-major 3 x 3), as the resampler maps output to source;
/// throws std::invalid_argument when it cannot be inverted.
std::array<double, 9> InverseCorrection(const std::array<double, 9>& m);

/// Row i: the weights of the four taps around a position i/1024 past the second.
using WeightTable = std::array<std::array<std::int16_t, 4>, kSteps + 1>;
const WeightTable& Weights();

/// A position's first tap and its row of weights.
struct FixedTap {
    int first;
    int weights;  ///< index into the WeightTable
};

/// Positions are stepped in 32.32 fixed point, exact at every kSegment-th pixel and linear
/// between (for a stereo correction the curvature of a projective row over 16 pixels moves
/// a position by well under 1/1000 pixel).
constexpr int kSegment = 16;
constexpr int kFractionBits = 32;

inline int RoundShift(int v, int shift) { return (v + (1 << (shift - 1))) >> shift; }

/// Positions held within lo..hi (32.32 fixed point, offset by 8 pixels so that every held
/// position is positive), the first tap and weights of each.
struct TapHold {
    std::int64_t lo, hi;
    static constexpr int kToSteps = kFractionBits - 10;  // to 1/1024ths
    /// The held position in 1/1024ths.
    int Steps(std::int64_t pos) const {
        const std::int64_t held = std::min(std::max(pos, lo), hi);
        return static_cast<int>((held + (std::int64_t{1} << (kToSteps - 1))) >> kToSteps);
    }
    FixedTap At(std::int64_t pos) const {
        const int q = Steps(pos);
        return {(q >> 10) - 8 - 1, q & (kSteps - 1)};
    }
};

/// The positions of one segment of a row: position i0 + j is start + j step.
struct TapRun {
    std::int64_t start, step;
};

/// Output row y of a correction in the source: x = (a x + b) / (c x + d) and y = (e x + f) /
/// (c x + d) at output x (c = 0, d = 1 for an affine correction); ia = 1 / a.
struct RowLine {
    double a, b, c, d, e, f, ia;
    bool affine;
    /// The source height where the row crosses source column u (at output x = (b - u d) /
    /// (u c - a)), and output pixel x's source x: the coordinates the runs are made from.
    double ColumnHeight(int u) const {
        if (affine) return e * ((u - b) * ia) + f;
        const double x = (b - u * d) / (u * c - a);
        return (e * x + f) / (c * x + d);
    }
    double AlongX(int x) const { return affine ? a * x + b : (a * x + b) / (c * x + d); }
};

/// A coordinate in 32.32 fixed point, offset by 8 pixels so that every held position is
/// positive (|v| beyond 1e6 held there).
inline std::int64_t FixedPosition(double v) {
    constexpr double kOne = 4294967296.0;  // 2^32
    return static_cast<std::int64_t>(std::clamp(v, -1e6, 1e6) * kOne) + (std::int64_t{8} << 32);
}

/// Where output row `y` of a correction takes its taps: the source columns uMin..uMax its
/// first pass runs down (the mapping is monotonic along the row) and each column's and
/// each output pixel's tap, as runs of kSegment positions (position i in run i / kSegment)
/// and, once Expand has run, one by one.
class RowTaps {
  public:
    RowTaps(const std::array<double, 9>& m, int srcWidth, int srcHeight, int dstWidth);
    /// Sets the runs of row `y`; false when the row takes no source column at all.
    bool Set(int y);
    /// Sets the line and columns of row `y` but not the runs (for code that makes the same
    /// runs its own way); false as Set.
    bool Place(int y);
    const RowLine& Line() const { return line_; }
    /// Fills `down` and `along` from the runs.
    void Expand();
    FixedTap DownTap(int i) const { return downHold.At(Position(downRuns, i)); }
    FixedTap AlongTap(int i) const { return alongHold.At(Position(alongRuns, i)); }

    int uMin = 0, uMax = -1;
    std::vector<TapRun> downRuns;   ///< column uMin + i
    std::vector<TapRun> alongRuns;  ///< output pixel i
    TapHold downHold, alongHold;
    std::vector<FixedTap> down;   ///< column uMin + i: its first row and weights
    std::vector<FixedTap> along;  ///< output pixel x: its first line column and weights

  private:
    static std::int64_t Position(const std::vector<TapRun>& runs, int i) {
        const TapRun& run = runs[static_cast<std::size_t>(i / kSegment)];
        return run.start + (i % kSegment) * run.step;
    }
    std::array<double, 9> m_;
    RowLine line_{};
    int srcWidth_, dstWidth_;
    bool affine_;
};

}  // namespace loom::packed_warp

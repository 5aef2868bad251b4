#include "app/core/video/packed_warp_taps.h"

#include <cmath>
#include <stdexcept>

namespace loom::packed_warp {
namespace {

/// Runs of kSegment positions along a row whose coordinate at position i is
/// `coordinate(i)`: exact at the start of each run (and at the last position), linear
/// between. The last run takes the positions up to `n`.
template <class Coordinate>
void FillRuns(Coordinate coordinate, int n, std::vector<TapRun>& runs) {
    runs.clear();
    std::int64_t end = FixedPosition(coordinate(0));
    for (int i0 = 0; i0 < n; i0 += kSegment) {
        const int i1 = std::min(i0 + kSegment, n - 1);
        const std::int64_t pos = end;
        end = FixedPosition(coordinate(i1));
        // A whole run divides by the constant (a shift, not a division instruction): the
        // same quotient, truncated towards zero.
        const std::int64_t step = i1 - i0 == kSegment ? (end - pos) / kSegment
                                  : i1 > i0           ? (end - pos) / (i1 - i0)
                                                      : 0;
        runs.push_back({pos, step});
    }
}

/// Positions held within -4..`limit` + 4 (far outside, every tap misses anyway).
TapHold HoldWithin(double limit) {
    return {std::int64_t{4} << kFractionBits, static_cast<std::int64_t>(limit + 12)
                                                  << kFractionBits};
}

void Expand(const std::vector<TapRun>& runs, const TapHold& hold, std::vector<FixedTap>& taps,
            int n) {
    for (int i = 0; i < n; ++i) {
        const TapRun& run = runs[static_cast<std::size_t>(i / kSegment)];
        taps[static_cast<std::size_t>(i)] = hold.At(run.start + (i % kSegment) * run.step);
    }
}

}  // namespace

std::array<double, 9> InverseCorrection(const std::array<double, 9>& m) {
    const double c00 = m[4] * m[8] - m[5] * m[7], c01 = m[5] * m[6] - m[3] * m[8],
                 c02 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (!std::isfinite(det) || std::abs(det) < 1e-12) {
        throw std::invalid_argument("the correction cannot be inverted");
    }
    const double k = 1 / det;
    return {c00 * k, (m[2] * m[7] - m[1] * m[8]) * k, (m[1] * m[5] - m[2] * m[4]) * k,
            c01 * k, (m[0] * m[8] - m[2] * m[6]) * k, (m[2] * m[3] - m[0] * m[5]) * k,
            c02 * k, (m[1] * m[6] - m[0] * m[7]) * k, (m[0] * m[4] - m[1] * m[3]) * k};
}

const WeightTable& Weights() {
    static const WeightTable table = [] {
        WeightTable rows{};
        for (int i = 0; i <= kSteps; ++i) {
            float w[4];
            CubicWeights(static_cast<float>(i) / kSteps, w);
            std::array<std::int16_t, 4>& r = rows[static_cast<std::size_t>(i)];
            int sum = 0;
            for (int k = 0; k < 3; ++k) {
                r[static_cast<std::size_t>(k)] =
                    static_cast<std::int16_t>(std::lround(w[k] * (1 << kWeightBits)));
                sum += r[static_cast<std::size_t>(k)];
            }
            r[3] = static_cast<std::int16_t>((1 << kWeightBits) - sum);
        }
        return rows;
    }();
    return table;
}

RowTaps::RowTaps(const std::array<double, 9>& m, int srcWidth, int srcHeight, int dstWidth)
    : downHold(HoldWithin(srcHeight)),
      alongHold(HoldWithin(srcWidth)),
      down(static_cast<std::size_t>(srcWidth)),
      along(static_cast<std::size_t>(dstWidth)),
      m_(m),
      srcWidth_(srcWidth),
      dstWidth_(dstWidth),
      affine_(m[6] == 0 && m[7] == 0) {}

bool RowTaps::Place(int y) {
    // Along output row y: source x = (a x + b) / (c x + d), source y = (e x + f) / (c x + d).
    const double a = m_[0], b = m_[1] * y + m_[2], c = m_[6], d = m_[7] * y + m_[8];
    const double e = m_[3], f = m_[4] * y + m_[5];
    const double lastX = dstWidth_ - 1;
    // The source columns the row's taps reach.
    const double x0 = b / d, x1 = (a * lastX + b) / (c * lastX + d);
    const double lo = std::max(std::floor(std::min(x0, x1)) - 1, 0.0);
    const double hi = std::min(std::floor(std::max(x0, x1)) + 2, srcWidth_ - 1.0);
    if (!(lo <= hi)) return false;
    uMin = static_cast<int>(lo);
    uMax = static_cast<int>(hi);
    line_ = {a, b, c, d, e, f, 1 / a, affine_};
    return true;
}

bool RowTaps::Set(int y) {
    if (!Place(y)) return false;
    // First pass: down each source column, at the height where the mapped row crosses it.
    FillRuns([this](int i) { return line_.ColumnHeight(uMin + i); }, uMax - uMin + 1, downRuns);
    // Second pass: along the interpolated row, at each output pixel's position.
    FillRuns([this](int x) { return line_.AlongX(x); }, dstWidth_, alongRuns);
    return true;
}

void RowTaps::Expand() {
    packed_warp::Expand(downRuns, downHold, down, uMax - uMin + 1);
    packed_warp::Expand(alongRuns, alongHold, along, dstWidth_);
}

}  // namespace loom::packed_warp

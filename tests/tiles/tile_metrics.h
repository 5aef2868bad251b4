#pragma once
// Measures of a rendered tile: the luminance, the seam across the wrap-around edge, the
// look (mean and spread), and the spectrum at the tile's own period.

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundation/host/sdk/bitmap.h"

namespace loomtest {

/// Rec. 709 luminance of each pixel of a colour render, channels clamped to 0..1.
inline std::vector<double> Luminance(const loom::FloatImage& img) {
    std::vector<double> l(static_cast<size_t>(img.width) * img.height);
    auto c = [](float v) {
        return std::isnan(v) ? 0.0 : std::clamp(static_cast<double>(v), 0.0, 1.0);
    };
    for (size_t i = 0; i < l.size(); ++i) {
        const float* p = &img.rgba[i * 4];
        l[i] = 0.2126 * c(p[0]) + 0.7152 * c(p[1]) + 0.0722 * c(p[2]);
    }
    return l;
}

/// The seam across one direction: the mean absolute difference of the two edge lines
/// (wrapping around), beside the limit 1.25 x max(mean over the line pairs beside the
/// edge, 95th percentile over the interior line pairs).
struct Seam {
    double edge = 0.0;
    double limit = 0.0;
    bool Holds() const { return edge <= limit; }
};

/// Columns (`across` false: pairs of columns x, x + 1) or rows (`across` true).
inline Seam MeasureSeam(const std::vector<double>& l, int w, int h, bool rows) {
    const int lines = rows ? h : w;
    const int length = rows ? w : h;
    auto at = [&](int line, int k) {
        return rows ? l[static_cast<size_t>(line) * w + k] : l[static_cast<size_t>(k) * w + line];
    };
    auto pairDiff = [&](int a, int b) {
        double sum = 0.0;
        for (int k = 0; k < length; ++k) sum += std::fabs(at(a, k) - at(b, k));
        return sum / length;
    };
    std::vector<double> interior;
    for (int i = 0; i + 1 < lines; ++i) interior.push_back(pairDiff(i, i + 1));
    std::vector<double> sorted = interior;
    std::sort(sorted.begin(), sorted.end());
    const double p95 = sorted[static_cast<size_t>(0.95 * static_cast<double>(sorted.size() - 1))];
    const double beside = 0.5 * (interior.front() + interior.back());
    return {pairDiff(lines - 1, 0), 1.25 * std::max(beside, p95)};
}

struct Look {
    double mean = 0.0;
    double spread = 0.0;  ///< standard deviation
};

inline Look MeasureLook(const std::vector<double>& l) {
    double sum = 0.0, sq = 0.0;
    for (double v : l) sum += v;
    const double mean = sum / static_cast<double>(l.size());
    for (double v : l) sq += (v - mean) * (v - mean);
    return {mean, std::sqrt(sq / static_cast<double>(l.size()))};
}

/// The power of the luminance at `cycles` cycles a picture along u (rows) or v (columns),
/// averaged over the lines.
inline double LinePower(const std::vector<double>& l, int w, int h, bool alongU, int cycles) {
    const int lines = alongU ? h : w;
    const int length = alongU ? w : h;
    double total = 0.0;
    for (int line = 0; line < lines; ++line) {
        double re = 0.0, im = 0.0;
        for (int k = 0; k < length; ++k) {
            const double v = alongU ? l[static_cast<size_t>(line) * w + k]
                                    : l[static_cast<size_t>(k) * w + line];
            const double a = 2.0 * M_PI * cycles * k / length;
            re += v * std::cos(a);
            im -= v * std::sin(a);
        }
        total += re * re + im * im;
    }
    return total / lines;
}

/// How far the power at the tile's period (one cycle a tile) stands above the frequencies
/// just beyond it (the mean of 2 to 4 cycles a tile): a seam's step puts most of its
/// energy there.
inline double PeriodSpike(const std::vector<double>& l, int w, int h, bool alongU) {
    double beyond = 0.0;
    for (int f = 2; f <= 4; ++f) beyond += LinePower(l, w, h, alongU, f);
    return LinePower(l, w, h, alongU, 1) / std::max(beyond / 3.0, 1e-12);
}

}  // namespace loomtest

#include "app/core/stereo/alignment_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

namespace loom::stereo {
namespace {

const cv::Scalar kBefore(60, 60, 230), kAfter(60, 210, 60), kCrop(230, 210, 40),
    kParallax(40, 220, 240), kAxis(150, 150, 150), kText(235, 235, 235);

void Label(cv::Mat& sheet, const std::string& text, cv::Point at) {
    cv::putText(sheet, text, at, cv::FONT_HERSHEY_SIMPLEX, 0.45, kText, 1, cv::LINE_AA);
}

}  // namespace

Image16 DiagnosticSheet(const Image16& left, const AdjustResult& result) {
    if (!result.alignment) throw std::invalid_argument("no alignment to show");
    const Alignment& a = *result.alignment;
    constexpr int kPanel = 640, kPlotH = 240, kGap = 10;
    const double shrink =
        std::min(1.0, static_cast<double>(kPanel) / std::max(left.width, left.height));
    const int pw = std::max(1, static_cast<int>(left.width * shrink));
    const int ph = std::max(1, static_cast<int>(left.height * shrink));
    const int width = pw + kPanel + 3 * kGap, height = ph + kPlotH + 3 * kGap + 20;
    cv::Mat sheet(height, width, CV_8UC3, cv::Scalar(32, 32, 32));

    // The left view, grey and dimmed, so the marks stand out.
    cv::Mat grey(left.height, left.width, CV_8UC1);
    for (int y = 0; y < left.height; ++y) {
        const BMM_Color_64* in = &left.pixels[static_cast<std::size_t>(y) * left.width];
        auto* out = grey.ptr<std::uint8_t>(y);
        for (int x = 0; x < left.width; ++x) {
            out[x] = static_cast<std::uint8_t>(
                ((77u * in[x].r + 150u * in[x].g + 29u * in[x].b) >> 16) / 2);
        }
    }
    cv::Mat small, colour;
    cv::resize(grey, small, cv::Size(pw, ph), 0, 0, cv::INTER_AREA);
    cv::cvtColor(small, colour, cv::COLOR_GRAY2BGR);
    colour.copyTo(sheet(cv::Rect(kGap, kGap, pw, ph)));
    const auto at = [&](double x, double y) {
        return cv::Point(kGap + static_cast<int>(x * shrink), kGap + static_cast<int>(y * shrink));
    };
    // Residuals drawn ten times as long as they are, so a pixel shows.
    constexpr double kGain = 10;
    for (const MatchedPoint& p : a.points) {
        const cv::Point o = at(static_cast<double>(p.leftX), static_cast<double>(p.leftY));
        cv::line(sheet, o,
                 o + cv::Point(0, static_cast<int>(kGain * static_cast<double>(p.residualBefore))),
                 kBefore, 1);
        cv::line(sheet, o,
                 o + cv::Point(0, static_cast<int>(kGain * static_cast<double>(p.residualAfter))),
                 kAfter, 1);
        cv::circle(sheet, o, 1, kAfter, cv::FILLED);
    }
    const CropRect& c = result.crop;
    cv::rectangle(sheet, at(c.x, c.y), at(c.x + c.width - 1, c.y + c.height - 1), kCrop, 1);

    // Residuals across the width: before (red) and after (green); lines at 0 and +-1 px.
    const int rx = pw + 2 * kGap, ry = kGap, rh = std::max(ph, 200);
    double range = 2;
    for (const MatchedPoint& p : a.points)
        range = std::max(range, std::abs(static_cast<double>(p.residualBefore)));
    range = std::min(range, 100.0);
    const auto plotY = [&](double r) {
        return ry + rh / 2 - static_cast<int>(r / range * (rh / 2 - 4));
    };
    for (const double r : {0.0, 1.0, -1.0}) {
        cv::line(sheet, cv::Point(rx, plotY(r)), cv::Point(rx + kPanel, plotY(r)), kAxis, 1);
    }
    for (const MatchedPoint& p : a.points) {
        const int x = rx + static_cast<int>(p.leftX / std::max(1, left.width - 1) * kPanel);
        cv::circle(sheet, cv::Point(x, plotY(static_cast<double>(p.residualBefore))), 1, kBefore,
                   cv::FILLED);
        cv::circle(sheet, cv::Point(x, plotY(static_cast<double>(p.residualAfter))), 1, kAfter,
                   cv::FILLED);
    }
    char text[200];
    std::snprintf(text, sizeof text, "vertical residual (+-%.1f px): median %.2f -> %.3f px", range,
                  a.residualMedianBeforePx, a.residualMedianPx);
    Label(sheet, text, cv::Point(rx + 4, ry + 14));

    // The disparities' histogram and the one placed at the screen plane.
    const int hy = std::max(ph, rh) + 2 * kGap + 20, hw = width - 2 * kGap;
    double lo = 0, hi = 0;
    for (const MatchedPoint& p : a.points) {
        lo = std::min(lo, static_cast<double>(p.disparity));
        hi = std::max(hi, static_cast<double>(p.disparity));
    }
    lo = std::min(lo, -result.parallaxPx) - 1;
    hi = std::max(hi, -result.parallaxPx) + 1;
    constexpr int kBins = 120;
    int bins[kBins] = {};
    int most = 1;
    for (const MatchedPoint& p : a.points) {
        const int b = std::clamp(
            static_cast<int>((static_cast<double>(p.disparity) - lo) / (hi - lo) * kBins), 0,
            kBins - 1);
        most = std::max(most, ++bins[b]);
    }
    const int base = std::min(height - kGap, hy + kPlotH - kGap);
    for (int b = 0; b < kBins; ++b) {
        const int x0 = kGap + b * hw / kBins, x1 = kGap + (b + 1) * hw / kBins - 1;
        const int top = base - bins[b] * (kPlotH - 40) / most;
        cv::rectangle(sheet, cv::Point(x0, top), cv::Point(x1, base), kAxis, cv::FILLED);
    }
    const auto disparityX = [&](double d) {
        return kGap + static_cast<int>((d - lo) / (hi - lo) * hw);
    };
    cv::line(sheet, cv::Point(disparityX(-result.parallaxPx), hy),
             cv::Point(disparityX(-result.parallaxPx), base), kParallax, 2);
    std::snprintf(text, sizeof text,
                  "disparity %.1f .. %.1f px; parallax %.2f px puts %.2f at the screen", lo + 1,
                  hi - 1, result.parallaxPx, -result.parallaxPx);
    Label(sheet, text, cv::Point(kGap + 4, hy + 4));
    std::snprintf(text, sizeof text,
                  "dy %.2f px  rotation %.3f deg  scale %.5f  keystone %.5f  %d matches  crop "
                  "%dx%d",
                  a.dyPx, a.rotationDeg, a.scale, a.keystone, a.matches, c.width, c.height);
    Label(sheet, text, cv::Point(kGap, height - 6));

    Image16 out;
    out.width = width;
    out.height = height;
    out.bits = 8;
    out.pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const cv::Vec3b* row = sheet.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x) {
            const cv::Vec3b v = row[x];  // blue, green, red
            out.pixels[static_cast<std::size_t>(y) * width + x] = {
                static_cast<WORD>(v[2] * 257), static_cast<WORD>(v[1] * 257),
                static_cast<WORD>(v[0] * 257), 65535};
        }
    }
    return out;
}

}  // namespace loom::stereo

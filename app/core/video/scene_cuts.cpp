#include "app/core/video/scene_cuts.h"

#include <cstdlib>
#include <cstring>

namespace loom {
namespace {

constexpr int kSamplesPerSide = 4;

/// The grey 0..255 of pixel `index` (row-major) of a frame.
int GreyAt(const Image16& frame, std::size_t index) {
    if (!IsPacked(frame)) {
        const BMM_Color_64& p = frame.pixels[index];
        return static_cast<int>((static_cast<unsigned>(p.r) + p.g + p.b) / (3u * 257u));
    }
    if (frame.bits == 8) {
        const std::uint8_t* p = &frame.packed[index * 3];
        return (p[0] + p[1] + p[2]) / 3;
    }
    std::uint16_t c[3];
    std::memcpy(c, &frame.packed[index * 6], sizeof c);
    return static_cast<int>((static_cast<unsigned>(c[0]) + c[1] + c[2]) / (3u * 257u));
}

}  // namespace

Thumbnail MakeThumbnail(const Image16& frame) {
    Thumbnail t;
    const std::size_t pixels = static_cast<std::size_t>(frame.width) * frame.height;
    const bool holds = IsPacked(frame)
                           ? frame.packed.size() >= pixels * PackedPixelBytes(frame.bits)
                           : frame.pixels.size() >= pixels;
    if (frame.width <= 0 || frame.height <= 0 || !holds) return t;
    constexpr int kW = Thumbnail::kWidth, kH = Thumbnail::kHeight, kS = kSamplesPerSide;
    for (int cy = 0; cy < kH; ++cy) {
        for (int cx = 0; cx < kW; ++cx) {
            int sum = 0;
            for (int j = 0; j < kS; ++j) {
                // Sample points spread evenly over the cell, at the centres of a 4 x 4 grid.
                const long long y =
                    (static_cast<long long>(cy * kS + j) * 2 + 1) * frame.height / (2 * kH * kS);
                for (int i = 0; i < kS; ++i) {
                    const long long x =
                        (static_cast<long long>(cx * kS + i) * 2 + 1) * frame.width / (2 * kW * kS);
                    sum += GreyAt(frame, static_cast<std::size_t>(y * frame.width + x));
                }
            }
            t.cells[static_cast<std::size_t>(cy * kW + cx)] =
                static_cast<std::uint8_t>(sum / (kS * kS));
        }
    }
    return t;
}

double ThumbnailDifference(const Thumbnail& a, const Thumbnail& b) {
    long long sum = 0;
    for (std::size_t i = 0; i < a.cells.size(); ++i) sum += std::abs(a.cells[i] - b.cells[i]);
    return static_cast<double>(sum) / static_cast<double>(a.cells.size());
}

bool CutDetector::StartsShot(const Image16& frame) {
    const Thumbnail now = MakeThumbnail(frame);
    const bool cut = first_ || ThumbnailDifference(last_, now) > threshold_;
    last_ = now;
    first_ = false;
    return cut;
}

}  // namespace loom

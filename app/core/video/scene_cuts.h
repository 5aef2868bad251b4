#pragma once
/// Scene cuts of a video found cheaply: each frame reduced to a small grey thumbnail, and a
/// cut where a frame's thumbnail differs from the one before by more than a threshold (the
/// mean absolute difference of the thumbnails' values, 0..255). Motion within a shot moves
/// few thumbnail cells far; a cut changes most of them.

#include <array>
#include <cstdint>

#include "foundation/host/sdk/bitmap.h"

namespace loom {

/// A frame's thumbnail: 32 x 18 cells of grey 0..255, each the mean of a 4 x 4 grid of
/// pixels sampled within it.
struct Thumbnail {
    static constexpr int kWidth = 32, kHeight = 18;
    std::array<std::uint8_t, kWidth * kHeight> cells{};
};

/// The thumbnail of a frame, packed (8 or 16 bits) or not. Allocates nothing.
Thumbnail MakeThumbnail(const Image16& frame);

/// The mean absolute difference of two thumbnails' cells, 0..255.
double ThumbnailDifference(const Thumbnail& a, const Thumbnail& b);

/// Frame after frame: whether each starts a new shot.
class CutDetector {
  public:
    /// The mean absolute difference above which consecutive frames are cut apart. A cut
    /// between unrelated scenes differs by 40 and more, a pan or a walk through one scene by
    /// well under 20.
    static constexpr double kDefaultThreshold = 24;
    explicit CutDetector(double threshold = kDefaultThreshold) : threshold_(threshold) {}
    /// Whether `frame` begins a shot (the first frame does).
    bool StartsShot(const Image16& frame);

  private:
    double threshold_;
    Thumbnail last_;
    bool first_ = true;
};

}  // namespace loom

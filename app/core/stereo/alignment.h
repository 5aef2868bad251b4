#pragma once
/// Vertical alignment of a stereo pair: features found in both views and matched, a robust
/// fit of how the right view is displaced against the left (vertical offset, rotation and
/// scale about the picture's centre, and a keystone term where the matches support it),
/// and the right view resampled so that matched points lie on the same rows. Horizontal
/// disparity is depth and is left alone; the views can then be shifted against each other
/// (parallax) and cut to the area they share (crop).

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/host/sdk/bitmap.h"

namespace loom::stereo {

/// How the alignment is estimated.
struct AlignOptions {
    /// Features are found on a copy of the views reduced by a whole factor until its longer
    /// side is at most this; matches are then refined on the full pictures.
    int detectSize = 1024;
    int maxFeatures = 4000;
    /// Fewer matches that agree with one correction than this are refused.
    int minMatches = 24;
    /// Whether a keystone term is fitted when the matches support it.
    bool keystone = true;
};

/// One match between the views, in full-resolution pixel coordinates (pixel centres at
/// whole numbers), after refinement.
struct MatchedPoint {
    float leftX = 0, leftY = 0;
    float rightX = 0, rightY = 0;
    float residualBefore = 0;  ///< left y - right y
    float residualAfter = 0;   ///< left y - corrected right y
    float disparity = 0;       ///< corrected right x - left x, without parallax
};

/// The right view against the left and the correction that undoes it.
struct Alignment {
    int width = 0, height = 0;  ///< of the views
    /// The right view's content against the left's at the picture's centre: how far below
    /// (pixels), turned clockwise as seen (degrees), how large (1 the same), and the keystone
    /// (relative difference of the vertical scale between the picture's right edge and its
    /// centre; 0 when not fitted).
    double dyPx = 0, rotationDeg = 0, scale = 1, keystone = 0;
    int candidates = 0;  ///< matches found before the robust fit
    int matches = 0;     ///< matches that agree with the correction (refined ones)
    double residualMedianPx = 0, residualP95Px = 0;  ///< |vertical residual| after correction
    double residualMedianBeforePx = 0;               ///< before it
    /// Share of the matches whose disparity has the sign of swapped views (the right view's
    /// point to the right of the left view's, beyond half a pixel).
    double swappedShare = 0;
    /// Right-view pixel -> corrected position, a homography (row-major 3x3).
    std::array<double, 9> correction{1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<MatchedPoint> points;
    double seconds = 0;  ///< time spent estimating
};

/// Matching cannot give a correction: flat pictures, too few matches, views that do not
/// overlap, matches that fix no correction. `matches` is how many were found.
class AlignmentError : public std::runtime_error {
  public:
    AlignmentError(const std::string& what, int matches)
        : std::runtime_error(what), matches_(matches) {}
    int Matches() const { return matches_; }

  private:
    int matches_;
};

/// Estimates the alignment of a pair of the same size (packed or unpacked pixels, the same
/// estimate either way). Deterministic for the same views. Throws AlignmentError when
/// matching cannot work, std::invalid_argument for views of different or too small sizes.
Alignment EstimateAlignment(const Image16& left, const Image16& right,
                            const AlignOptions& options = {});

/// The grey pictures an estimate works on, made from a pair's views: a quarter of a packed
/// 8-bit pair's memory, so that an estimate on another thread need not keep a copy of the
/// views. Throws std::invalid_argument as EstimateAlignment does.
class GreyPair {
  public:
    GreyPair(const Image16& left, const Image16& right);
    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::vector<std::uint8_t>& Left() const { return left_; }
    const std::vector<std::uint8_t>& Right() const { return right_; }

  private:
    int width_, height_;
    std::vector<std::uint8_t> left_, right_;  ///< rows of width_ values
};

/// The estimate of the views `pair` was made from: the same as EstimateAlignment's
/// (`seconds` counts the estimate from the grey pictures on).
Alignment EstimateAlignment(const GreyPair& pair, const AlignOptions& options = {});

/// Whether the views look swapped: most of the matches have the disparity of a right view
/// seen by the left eye (the share of AlignOptions' alignment, over 70 %).
bool LooksSwapped(const Alignment& alignment);

/// The horizontal shift of the right view that puts the nearest well-matched points (the
/// 5th percentile of the disparities, not the single nearest one) at the screen plane.
double AutoParallax(const Alignment& alignment);

/// A rectangle of the views, in pixels.
struct CropRect {
    int x = 0, y = 0, width = 0, height = 0;
};

/// The largest rectangle of a `width` x `height` picture holding only pixels that both the
/// left view and the right view mapped by `correction` then shifted by `parallaxPx` cover;
/// with `aspectW`:`aspectH` (both > 0) the largest of that aspect inside it, centred.
/// Empty (0 wide) when they share nothing.
CropRect SharedArea(int width, int height, const std::array<double, 9>& correction,
                    double parallaxPx, int aspectW = 0, int aspectH = 0);

/// The largest rectangle of `aspectW`:`aspectH` inside `rect`, centred (`rect` itself when
/// either is 0).
CropRect AspectInside(CropRect rect, int aspectW, int aspectH);

/// The area two rectangles share; empty (0 wide) when none.
CropRect Intersection(const CropRect& a, const CropRect& b);

/// The right view resampled through `correction` then moved `parallaxPx` to the right, for
/// the part `crop` of the picture: bicubic, at the view's depth (8-bit views keep 8-bit
/// values), alpha with the colours; pixels that the view does not cover are black (or
/// transparent for views with alpha). Throws std::bad_alloc / std::invalid_argument.
Image16 ResampleView(const Image16& view, const std::array<double, 9>& correction,
                     double parallaxPx, const CropRect& crop);

/// The part `crop` of `view` (which must lie inside it).
Image16 CropView(const Image16& view, const CropRect& crop);

/// The correction and results as JSON (dy_px, rotation_deg, scale, keystone, matches,
/// residual_median_px, residual_p95_px, parallax_px, crop, align_seconds and more);
/// `aligned` says whether the correction was applied.
std::string AlignmentJson(const Alignment& alignment, double parallaxPx, const CropRect& crop,
                          bool aligned);

/// One line for people: "dy 3.20 px, rotation 0.410 deg, scale 1.0052, ..."
std::string DescribeAlignment(const Alignment& alignment);

}  // namespace loom::stereo

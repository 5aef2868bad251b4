#pragma once
/// How one video frame holds both views, and how the views are taken out of it.

#include <optional>
#include <string>

#include "foundation/host/sdk/bitmap.h"

namespace loom {

/// Side by side or top-bottom; "full" frames hold two views of full size (the frame is
/// twice as wide or tall as a view), "half" frames hold views squeezed to half width or
/// height, which are stretched back.
enum class StereoLayout {
    kSideBySideLeftFirst,
    kSideBySideRightFirst,
    kSideBySideHalfLeftFirst,
    kSideBySideHalfRightFirst,
    kTopBottomLeftTop,
    kTopBottomLeftBottom,
    kTopBottomHalfLeftTop,
    kTopBottomHalfLeftBottom,
};

inline constexpr int kStereoLayoutCount = 8;

/// The name used on the command line ("sbs-left", "tb-half-right", ...).
const char* StereoLayoutName(StereoLayout layout);
/// Every name, separated by ", ".
std::string StereoLayoutChoices();
/// The layout of that name; nothing for an unknown one.
std::optional<StereoLayout> ParseStereoLayout(const std::string& name);

bool IsSideBySide(StereoLayout layout);
bool IsHalf(StereoLayout layout);
bool LeftFirst(StereoLayout layout);

/// The layout a file name suggests (tokens such as "sbs", "hsbs", "half-sbs", "fsbs", "lr",
/// "rl", "tab", "htab", "ou", "hou", "tb", "bt" in the base name, case ignored); `width` and
/// `height` of the frame decide full or half when the name does not ("sbs" frames at least
/// 2.5 times as wide as tall are full, "tab" frames at least 0.9 times as tall as wide).
std::optional<StereoLayout> LayoutFromFileName(const std::string& path, int width, int height);

/// The layout of a stream's stereo 3D side data: its packing (side by side or top-bottom)
/// and whether the right view comes first, full or half by the frame's shape as above.
/// Nothing for packings that hold no two views in one frame.
std::optional<StereoLayout> LayoutFromPacking(bool sideBySide, bool rightFirst, int width,
                                              int height);

/// The size of each view taken from a `width` x `height` frame (full layouts drop an odd
/// middle column or row); false with `error` when a view would be empty.
bool ViewSize(StereoLayout layout, int width, int height, int& viewWidth, int& viewHeight,
              std::string& error);

/// Takes the two views out of `frame` (sizes from ViewSize). Half views are stretched to
/// twice their size by linear interpolation between pixel centres (output pixel 2k takes
/// 3/4 of source k and 1/4 of k-1, pixel 2k+1 3/4 of k and 1/4 of k+1, edges clamped),
/// rounded to nearest; `left` and `right` keep the frame's bits. Both images are reused
/// (no allocation once they have the size).
void SplitViews(StereoLayout layout, const Image16& frame, Image16& left, Image16& right);

}  // namespace loom

#pragma once
/// Outputs besides the anaglyph: both views arranged in one picture as stereo displays and
/// players take them (side by side, top-bottom, full or squeezed to half; rows, columns or a
/// checkerboard interleaved), or one view alone. At the views' own depth.

#include <optional>
#include <string>

#include "foundation/host/sdk/bitmap.h"

namespace loom::stereo {

enum class OutputLayout {
    kAnaglyph,        ///< composed by a method (compose_pair.h), not arranged here
    kSideBySide,      ///< left | right, twice as wide
    kSideBySideHalf,  ///< each view squeezed to half width, the views' size
    kTopBottom,       ///< left above right, twice as tall
    kTopBottomHalf,   ///< each view squeezed to half height
    kRows,            ///< even rows (from 0) the left view's, odd rows the right's
    kColumns,         ///< even columns the left view's, odd ones the right's
    kCheckerboard,    ///< pixels whose x + y is even the left view's
    kLeft,            ///< the left view alone
    kRight,           ///< the right view alone
};

/// "anaglyph", "sbs", "sbs-half", "tb", "tb-half", "rows", "columns", "checkerboard",
/// "left", "right"; nothing for another name.
std::optional<OutputLayout> ParseOutputLayout(const std::string& name);
/// The names, separated by ", ".
std::string OutputLayoutChoices();

/// The size of the arrangement of two `width` x `height` views.
void ArrangedSize(OutputLayout layout, int width, int height, int& outWidth, int& outHeight);

/// Arranges `left` and `right` (the same size, unpacked) as `layout` says (not kAnaglyph):
/// a squeezed view's pixel is the mean of the two it replaces, rounded to nearest. The
/// result has the larger depth and alpha when either view has it. Throws
/// std::invalid_argument for views of different sizes, std::bad_alloc.
Image16 ArrangeViews(OutputLayout layout, const Image16& left, const Image16& right);

}  // namespace loom::stereo

#pragma once
/// A picture to check an alignment by eye: the left view with each match's vertical
/// residual before (red) and after (green) alignment drawn at its point and the crop
/// (cyan); beside it the residuals across the picture's width; below, the histogram of the
/// disparities with the one the parallax puts at the screen plane (yellow).

#include "app/core/stereo/pair_adjust.h"

namespace loom::stereo {

/// The sheet for `left` (the view as read, before cropping) and what AdjustPair found;
/// 8-bit RGB. Throws std::invalid_argument when nothing was estimated.
Image16 DiagnosticSheet(const Image16& left, const AdjustResult& result);

}  // namespace loom::stereo

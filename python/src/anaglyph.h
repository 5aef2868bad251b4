#pragma once
/// Stereo pairs composed by the stereo filter plug-in, as `loomhost anaglyph` composes
/// them: the filter made from its class, configured through the record the command line
/// builds, run as the video post runs a compositor.

#include <string>

#include "foundation/host/sdk/bitmap.h"

namespace loomwork {

struct AnaglyphSettings {
    std::string leftEye = "red";
    std::string rightEye = "green";
    double leftCompensation = -0.1;
    double rightCompensation = -0.1;
};

/// The anaglyph of `left` and `right` (the same size). Throws NameError when the filter
/// plug-in is missing, std::runtime_error for settings the command line refuses or a
/// filter failure. Takes a ModelHold itself.
loom::Image16 Anaglyph(const loom::Image16& left, const loom::Image16& right,
                       const AnaglyphSettings& settings);

}  // namespace loomwork

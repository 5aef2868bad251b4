#pragma once
/// What is done to a pair between reading and composing, when asked: the views swapped,
/// aligned (alignment.h), shifted against each other (parallax) and cut to the area they
/// share (crop). With nothing asked the pair is not touched.

#include <optional>
#include <string>
#include <vector>

#include "app/core/stereo/alignment.h"

namespace loom::stereo {

enum class AlignMode {
    kOff,
    kApply,   ///< estimate and resample the right view; refuse pairs that cannot be matched
    kReport,  ///< estimate and report, compose the views as they are
    kTry,     ///< as kApply, but pairs that cannot be matched are composed unaligned
};

enum class CropMode {
    kDefault,  ///< kAuto when the views are moved (aligned or shifted), else kNone
    kAuto,     ///< the largest area both views cover
    kNone,     ///< the full picture; uncovered pixels are black
    kAspect,   ///< the largest area of aspectW:aspectH both views cover
};

struct AdjustOptions {
    bool swap = false;
    AlignMode align = AlignMode::kOff;
    AlignOptions estimate;
    bool autoParallax = false;
    double parallaxPx = 0;  ///< the right view's shift to the right when not automatic
    CropMode crop = CropMode::kDefault;
    int aspectW = 0, aspectH = 0;

    /// Whether anything is done to a pair at all.
    bool Any() const;
};

/// Parses "auto" or a number of pixels into `options`; throws std::runtime_error naming
/// --parallax.
void ParseParallax(const std::string& text, AdjustOptions& options);
/// Parses "auto", "none" or "W:H" (positive whole numbers); throws naming --crop.
void ParseCrop(const std::string& text, AdjustOptions& options);
/// Parses "" or "on" (apply), "report", "try", "off"; throws naming --align.
AlignMode ParseAlignMode(const std::string& text);

/// What was done to one pair.
struct AdjustResult {
    std::optional<Alignment> alignment;  ///< when estimated
    bool aligned = false;                ///< the correction was applied
    double parallaxPx = 0;
    CropRect crop;                      ///< of the views as read
    std::vector<std::string> warnings;  ///< for the user, one line each
    double seconds = 0;                 ///< estimating and resampling
};

/// The warning for views that LooksSwapped says are swapped; `swapGiven`: --swap was given.
std::string SwappedWarning(const Alignment& alignment, bool swapGiven);

/// Adjusts `left` and `right` (the same size, unpacked) in place as `options` say. Throws
/// AlignmentError when the pair cannot be matched (with kApply, or for an automatic
/// parallax with kApply or kOff), std::runtime_error when the views share no area or are
/// too small, std::bad_alloc.
AdjustResult AdjustPair(const AdjustOptions& options, Image16& left, Image16& right);

/// Moves and cuts a pair (unpacked, the same size) as decided: the right view resampled
/// through `correction` then shifted `parallaxPx` when `moved`, both views cut to `crop`.
/// Throws std::invalid_argument for a crop outside the views, std::bad_alloc.
void ApplyAdjustment(const std::array<double, 9>& correction, bool moved, double parallaxPx,
                     const CropRect& crop, Image16& left, Image16& right);

/// The result as JSON (AlignmentJson's fields; without an alignment only parallax_px, crop
/// and the warnings).
std::string AdjustJson(const AdjustResult& result);

}  // namespace loom::stereo

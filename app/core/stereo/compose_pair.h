#pragma once
/// One stereo pair made into one anaglyph picture, by any method: the grey method through
/// the stereo filter (its own composition, eye channels and compensation, exactly as a
/// still is composed), the colour methods by their matrices (colour_methods.h). Stills,
/// sequences, folders and video frames all come through ComposePair.

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "app/core/filter/filter_run.h"
#include "app/core/filter/image16.h"
#include "app/core/filter/stereo_settings.h"
#include "app/core/loader/plugin_loader.h"
#include "app/core/stereo/colour_methods.h"

namespace loom::stereo {

/// Everything that says how a pair is composed.
struct AnaglyphSettings {
    AnaglyphMethod method = AnaglyphMethod::kGrey;
    Glasses glasses = Glasses::kRedCyan;  ///< the colour methods' glasses
    StereoSettings eyes;                  ///< the grey method's channel per eye and compensations
    /// Glasses were named for the grey method: each eye's view also fills the other primary
    /// its glasses pass (FillGlassesPrimaries).
    bool greyForGlasses = false;
    /// The user's own matrix, composed instead of the method's (colour_matrix.h).
    std::optional<ColourMatrix> matrix;
    /// The colour methods (and the user's matrix) compose in linear light.
    bool linear = false;
};

/// The grey method writes one channel per eye; glasses pass two primaries to one eye (cyan:
/// green and blue; magenta: red and blue; amber: red and green). Copies each eye's channel
/// (`eyes.leftEye`, `eyes.rightEye`) into the other primary its glasses pass, unless the
/// other eye writes that one or the eye's channel is not one its glasses pass (the user's
/// own --left-eye/--right-eye). Takes 16-bit or packed pixels.
void FillGlassesPrimaries(Glasses glasses, const StereoSettings& eyes, Image16& composed);

/// The grey method's eye channels for `glasses` (the filter writes one channel per eye):
/// red-cyan left red, right green; green-magenta left green, right red; amber-blue left
/// red, right blue. Compensations are left as they are.
void EyesForGlasses(Glasses glasses, StereoSettings& eyes);

/// The stereo filter's class among the loaded plug-ins; throws std::runtime_error when it
/// is missing.
ClassDesc* StereoFilterClass(const PluginLoader& loader);

/// A new stereo filter of class `cd` holding the record of `eyes` (which must be in range:
/// CheckStereoSettings). Throws std::runtime_error when it cannot be made or refuses it.
std::unique_ptr<ImageFilter> MakeStereoFilter(ClassDesc* cd, const StereoSettings& eyes);

/// Whether ComposeColourFrame takes the pair: a colour method or a user's matrix, not in
/// linear light.
bool ComposesColourFrames(const AnaglyphSettings& settings);

/// ComposePair's colour methods for the frames of a video on their way from decoder to
/// encoder, with its bits: packed views of one depth are read as they are (others are
/// widened first), and the result, 16-bit pixels, takes over the left view's 16-bit buffer,
/// so that a run of frames whose buffers come back allocates nothing. The views' pixels are
/// used up; `composed` is neither view. False with `error` when the views differ in size or
/// memory runs out.
bool ComposeColourFrame(const AnaglyphSettings& settings, Image16& left, Image16& right,
                        Image16& composed, std::string& error);

/// Composes `left` and `right` (the same size) into `result` by `settings.method`:
/// * grey: `greyFilter` (a configured stereo filter; required) renders the pair as the video
///   post runs it, with `progress` receiving its messages and `abort` polled through them;
///   `settings.eyes` is not read (the filter holds its configuration);
/// * the colour methods: the matrices of `settings.glasses`, `abort` polled every line,
///   `greyFilter` and `progress` not used.
/// The result has the larger of the two depths and alpha when either view has it.
/// kAborted when `abort` was raised; kFailed with `error` otherwise. Runs on the thread
/// that made `progress`; `greyFilter` is used by one thread at a time.
FilterOutcome ComposePair(const AnaglyphSettings& settings, ImageFilter* greyFilter,
                          const Image16& left, const Image16& right, FilterProgressWindow& progress,
                          const std::atomic<bool>* abort, Image16& result, std::string& error);

/// The four methods side by side on one sheet, two by two: grey and half-colour above,
/// colour and Dubois below, with `gap` pixels of black between them. Same contract as
/// ComposePair; `settings.method` is not read.
FilterOutcome ComposeMethodSheet(const AnaglyphSettings& settings, ImageFilter* greyFilter,
                                 const Image16& left, const Image16& right,
                                 FilterProgressWindow& progress, const std::atomic<bool>* abort,
                                 int gap, Image16& result, std::string& error);

/// `settings.eyes` with the grey method's eyes taken from `glasses` when given, as
/// `loomhost anaglyph --glasses` sets them before any eye option: the eyes named (-1: not
/// named) then chosen as the setup dialog's buttons choose them (ChooseEyeColors), the
/// compensations given. Throws std::runtime_error for values the command line refuses.
StereoSettings ChooseStereoSettings(std::optional<Glasses> glasses, int leftEye, int rightEye,
                                    float leftCompensation, float rightCompensation);

/// The settings `loomhost anaglyph --method --glasses --left-eye --right-eye --left-comp
/// --right-comp` compose with: the eyes as ChooseStereoSettings chooses them, and, for the
/// grey method with glasses named, both primaries of each eye's filter filled. For
/// front-ends whose properties mirror those options. Throws as ChooseStereoSettings does.
AnaglyphSettings AnaglyphSettingsFor(AnaglyphMethod method, std::optional<Glasses> glasses,
                                     int leftEye, int rightEye, float leftCompensation,
                                     float rightCompensation);

/// Composes one pair on the calling thread, as `loomhost anaglyph` composes a still: the
/// grey method through a stereo filter made for the call (plug-ins from `loader`), the
/// colour methods by their matrices. For front-ends that compose one picture at a time;
/// throws nothing: kFailed with `error` (a missing filter, sizes that differ, memory).
/// Callers hold the model lock (process_plugins.h).
FilterOutcome ComposeAnaglyph(const PluginLoader& loader, const AnaglyphSettings& settings,
                              const Image16& left, const Image16& right, Image16& result,
                              std::string& error) noexcept;

}  // namespace loom::stereo

#pragma once
/// Alignment, parallax and crop of a stereo video, shot by shot. A first pass over the
/// frames finds the shots (a shot ends at a scene cut, scene_cuts.h) and estimates each
/// shot's correction from a few of its frames; every frame of the shot is then corrected
/// alike. The output keeps one size over the whole clip: the crop is the area that every
/// shot's views cover (the intersection of the shots' own areas), cut to the aspect asked
/// for, with even sides (video encoders subsample colour by two).

#include <array>
#include <string>
#include <vector>

#include "app/core/stereo/pair_adjust.h"
#include "app/core/video/scene_cuts.h"

namespace loom {

/// A shot's correction is estimated from up to this many frames, this many apart, from its
/// first frame on (a shot that starts with a fade still has later frames to match).
inline constexpr int kShotSamples = 3;
inline constexpr int kShotSampleSpacing = 12;

/// One shot: its frames and what is done to them.
struct ShotAdjustment {
    long long firstFrame = 0, lastFrame = 0;  ///< numbered from 0 as decoded
    long long firstPts = 0;                   ///< the first frame's time stamp
    double firstSeconds = 0;                  ///< the first frame's time from the clip's start
    int samples = 0;                          ///< frames estimated
    int samplesMatched = 0;                   ///< of them, the ones that could be matched
    /// The correction chosen among the samples' (the one nearest the others), whether it is
    /// applied, the parallax, the clip's crop, the warnings; `seconds`: estimating.
    stereo::AdjustResult result;
    stereo::CropRect ownArea;  ///< what both views of this shot cover, moved
    bool moved = false;        ///< the right view is resampled (aligned or shifted)
    std::array<double, 9> correction{1, 0, 0, 0, 1, 0, 0, 0, 1};  ///< applied

    /// "shot 2 (frames 50-99, from 2.000 s)"; `number` counts from 1.
    std::string Describe(int number) const;
};

/// What is done to each frame of a clip.
struct ClipAdjustment {
    int width = 0, height = 0;  ///< of the views
    std::vector<ShotAdjustment> shots;
    stereo::CropRect crop;  ///< of every frame
    bool swap = false;      ///< the views are swapped first

    /// The shot of the frame with time stamp `pts`: the last one starting at or before it.
    const ShotAdjustment& ShotAt(long long pts) const;
    /// Whether frames are changed at all (moved or cut).
    bool ChangesFrames() const;
};

/// The first pass: frames fed in order, shots found and estimated as they end.
class ClipAnalysis {
  public:
    /// `timeBase`: of the frames' time stamps, for the shots' times.
    ClipAnalysis(const stereo::AdjustOptions& options, int timeBaseNum, int timeBaseDen);
    /// The next frame's views as read (packed or not; swapped here when asked; sample frames
    /// are unpacked in place). Throws stereo::AlignmentError naming the shot when a shot
    /// cannot be matched and the options refuse it (plain --align, --parallax auto).
    void Add(Image16& left, Image16& right, long long pts);
    /// After the last frame: the last shot estimated, the clip's crop chosen. Throws
    /// std::runtime_error when there was no frame or the shots share no area.
    ClipAdjustment Finish();

  private:
    void CloseShot();
    stereo::AdjustOptions options_;
    int timeBaseNum_, timeBaseDen_;
    CutDetector cuts_;
    ClipAdjustment clip_;
    std::vector<stereo::Alignment> samples_;
    std::string lastFailure_;
    long long frame_ = 0;
    long long firstPts_ = 0;
};

/// Adjusts one frame's views (as read) as its shot says: swapped, resampled, cut. Packed
/// views stay packed (resampled at their own depth); frames left alone are not touched.
/// Throws std::bad_alloc, std::invalid_argument.
void AdjustFrame(const ClipAdjustment& clip, long long pts, Image16& left, Image16& right);

/// The clip's adjustments as JSON: {"width", "height", "crop", "shots": [{"shot",
/// "first_frame", "last_frame", "first_time_s"... and AdjustJson's fields}]}.
std::string ClipAdjustmentJson(const ClipAdjustment& clip);

}  // namespace loom

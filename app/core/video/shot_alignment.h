#pragma once
/// Alignment, parallax and crop of a stereo video, shot by shot. The frames pass by in
/// order: the shots are found as they come (a shot ends at a scene cut, scene_cuts.h) and
/// each shot's correction is estimated from a few frames near its start, so that a reader
/// holding a shot's first frames until its correction is decided corrects the whole clip in
/// one pass (aligning_reader.h). Every frame of a shot is corrected alike. The output keeps
/// one size over the whole clip, fixed as soon as the first shot is decided: that shot's
/// own area (what both its views cover), less a margin on every side for the shots after
/// it, cut to the aspect asked for, with even sides (video encoders subsample colour by
/// two). A later shot whose views do not cover it is black at the uncovered edge, with a
/// warning naming the shot.

#include <array>
#include <cstddef>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "app/core/stereo/pair_adjust.h"
#include "app/core/video/scene_cuts.h"

namespace loom {

/// A shot's correction is estimated from its first frame and the frame kShotSampleSpacing
/// on (a third of a second at 25 frames a second: another look at the shot, and few frames
/// of fresh memory held for it); when the two disagree (kShotSamplesAgreePx) or one cannot
/// be matched (a fade, a blur), from a third as far again, and the one nearest the others
/// is taken. The frames
/// held meanwhile take at most kShotHoldBytes: larger frames are sampled closer together
/// (4K pairs at 8 bits 2 frames apart), though never closer than 1 (3 frames held, over
/// the bound for pairs of more than 107 MB, beyond 4K at 16 bits).
inline constexpr int kShotSamples = 3;
inline constexpr int kShotSampleSpacing = 8;
inline constexpr std::size_t kShotHoldBytes = std::size_t{320} << 20;
/// Two estimates agree when they move the picture's edge by at most this much apart (the
/// vertical offsets', rotations', scales' and keystones' displacements summed, pixels).
inline constexpr double kShotSamplesAgreePx = 0.5;
/// Video frames are estimated from at most this many features a view (stills from
/// AlignOptions::maxFeatures, 4000): a third of the matching's cost, and 1080p frames
/// still give hundreds of refined matches (bench/stereo/align_check --video).
inline constexpr int kVideoMaxFeatures = 1500;
/// The share of the frame's height left on every side of the first shot's own area, when
/// later shots may be corrected otherwise (alignment applied, or an automatic parallax).
inline constexpr double kCropMarginShare = 0.01;

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

/// Frames fed in order; shots found, estimated and decided as they come.
class ClipAnalysis {
  public:
    /// `timeBase`: of the frames' time stamps, for the shots' times.
    ClipAnalysis(const stereo::AdjustOptions& options, int timeBaseNum, int timeBaseDen);
    /// The next frame's views as read (packed or not, left as they are; swapped here when
    /// asked). A frame that starts a shot closes the one before. Throws
    /// stereo::AlignmentError naming the shot when a shot that cannot be matched closes and
    /// the options refuse it (plain --align, --parallax auto); std::runtime_error when the
    /// first shot's views share no area.
    void Add(const Image16& left, const Image16& right, long long pts);
    /// After the last frame: the last shot closed. Throws as Add does, and when there was no
    /// frame.
    ClipAdjustment Finish();

    /// The shots so far, the last one still open.
    const ClipAdjustment& Clip() const { return clip_; }
    /// Decides the open shot if its samples allow it: two that agree, or all it takes
    /// (a third when they do not). The estimates run on threads of their own while frames
    /// are added; this waits for them. The same decisions whenever it is called.
    void Settle();
    /// Whether shot `index`'s correction is decided (its frames can be adjusted); the
    /// clip's crop is fixed once the first is. A shot is decided when Settle allows, when
    /// the frame that would be its third sample comes and its first two agree, and when it
    /// closes.
    bool Decided(std::size_t index) const {
        return index + 1 < clip_.shots.size() || (index + 1 == clip_.shots.size() && decided_);
    }
    /// The most frames of a shot seen before it is decided (known after the first frame).
    long long HoldFrames() const { return 2LL * spacing_ + 1; }

  private:
    /// One sample frame's estimate, or why it failed.
    struct Sample {
        std::optional<stereo::Alignment> alignment;
        std::string failure;
        double seconds = 0;
    };
    void Launch(const Image16& left, const Image16& right);
    void Collect();
    bool FirstTwoAgree();
    void Decide();
    void FixCrop();
    void CloseShot();
    stereo::AdjustOptions options_;
    bool estimating_ = false;
    int timeBaseNum_, timeBaseDen_;
    CutDetector cuts_;
    ClipAdjustment clip_;
    std::vector<std::future<Sample>> pending_;  ///< estimates under way, in order
    std::vector<Sample> samples_;               ///< the open shot's, in order
    std::string lastFailure_;
    long long frame_ = 0;
    long long firstPts_ = 0;
    int spacing_ = kShotSampleSpacing;
    bool decided_ = false;
};

/// Buffers kept from frame to frame, so that adjusting packed views allocates nothing
/// after the first frame.
struct AdjustScratch {
    PackedRgb left, right;
};

/// Adjusts one frame's views (as read) as its shot says: swapped, resampled, cut. Packed
/// views stay packed (resampled at their own depth); frames left alone are not touched.
/// Throws std::bad_alloc, std::invalid_argument.
void AdjustFrame(const ClipAdjustment& clip, const ShotAdjustment& shot, Image16& left,
                 Image16& right, AdjustScratch* scratch = nullptr);
/// The same for the shot of the frame with time stamp `pts`.
void AdjustFrame(const ClipAdjustment& clip, long long pts, Image16& left, Image16& right);

/// The clip's adjustments as JSON: {"width", "height", "crop", "shots": [{"shot",
/// "first_frame", "last_frame", "first_time_s"... and AdjustJson's fields}]}.
std::string ClipAdjustmentJson(const ClipAdjustment& clip);

}  // namespace loom

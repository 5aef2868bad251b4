#pragma once
/// The read stage of an aligned video run in one pass: frames are read once, their shots
/// found and estimated as they come (ClipAnalysis, the estimates on threads of their own),
/// and each frame handed on with its views adjusted as its shot says. Reading runs a window
/// of ClipAnalysis::HoldFrames() frames ahead of what is handed on (kShotHoldBytes of
/// views at most, with the packets read between them): by the time a shot's first frame
/// leaves, all its sample frames have been read, and their estimates have had the window's
/// time to finish, so the composition and the encoder never wait for them, but at the
/// start. Same input and options, same frames out.

#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "app/core/video/shot_alignment.h"
#include "app/core/video/video_pipeline.h"

namespace loom {

class AligningReader {
  public:
    /// `read`: the frames and packets as read (VideoPipelineStages::read); `timeBase`: of
    /// their time stamps.
    AligningReader(std::function<int(VideoItem&, std::string&)> read,
                   const stereo::AdjustOptions& options, int timeBaseNum, int timeBaseDen);
    /// Reads a window ahead and decides the first shot, which fixes the frames' size
    /// (Clip().crop).
    /// Throws std::runtime_error (stereo::AlignmentError naming a shot that cannot be matched).
    void Prime(const std::atomic<bool>* interrupt);
    /// The next item, as VideoPipelineStages::read gives it, with adjusted views.
    int operator()(VideoItem& item, std::string& error);
    /// The shots so far (all of them once the reader has ended).
    const ClipAdjustment& Clip() const { return finished_ ? *finished_ : analysis_.Clip(); }

  private:
    struct Held {
        VideoItem item;
        std::size_t shot = 0;
        bool adjusted = false;  ///< its views adjusted as read (its shot was decided)
    };
    /// Reads one more item onto the held ones, into `memory`'s buffers (taken); false at
    /// the end. Throws as Prime.
    bool ReadOne(VideoItem& memory);
    /// Whether the frames held make the window.
    bool Full() const;
    std::function<int(VideoItem&, std::string&)> read_;
    ClipAnalysis analysis_;
    std::optional<ClipAdjustment> finished_;
    std::deque<Held> held_;
    long long heldFrames_ = 0;
    AdjustScratch scratch_;
};

}  // namespace loom

#include "app/core/video/aligning_reader.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace loom {

AligningReader::AligningReader(std::function<int(VideoItem&, std::string&)> read,
                               const stereo::AdjustOptions& options, int timeBaseNum,
                               int timeBaseDen)
    : read_(std::move(read)), analysis_(options, timeBaseNum, timeBaseDen) {}

bool AligningReader::ReadOne(VideoItem& memory) {
    Held held;
    held.item = std::move(memory);  // the pipeline's buffers, to be filled
    std::string error;
    const int got = read_(held.item, error);
    if (got < 0) throw std::runtime_error(error);
    if (got == 0) {
        finished_ = analysis_.Finish();
        return false;
    }
    if (!held.item.packet) {
        analysis_.Add(held.item.left, held.item.right, held.item.pts);
        held.shot = analysis_.Clip().shots.size() - 1;
        ++heldFrames_;
        // A frame of a decided shot is adjusted now, while the decoder's output is still in
        // the cache, rather than a window later (the same correction and crop either way).
        if (analysis_.Decided(held.shot)) {
            const ClipAdjustment& clip = analysis_.Clip();
            try {
                AdjustFrame(clip, clip.shots[held.shot], held.item.left, held.item.right,
                            &scratch_);
            } catch (const std::invalid_argument& e) {  // as Prime and the reader throw
                throw std::runtime_error(std::string("adjusting a frame: ") + e.what());
            }
            held.adjusted = true;
        }
    }
    held_.push_back(std::move(held));
    return true;
}

bool AligningReader::Full() const { return heldFrames_ >= analysis_.HoldFrames(); }

void AligningReader::Prime(const std::atomic<bool>* interrupt) {
    while (!finished_ && !Full()) {
        if (interrupt && interrupt->load()) {
            throw std::runtime_error("interrupted; nothing written");
        }
        VideoItem fresh;
        ReadOne(fresh);
    }
    analysis_.Settle();
}

int AligningReader::operator()(VideoItem& item, std::string& error) {
    try {
        for (;;) {
            // A frame goes on once the reader is a window ahead of it (its shot is then
            // decidable) or at the end; a packet goes on behind the frames read before it.
            if (!held_.empty() && (held_.front().item.packet || finished_ || Full())) {
                Held& front = held_.front();
                if (!front.item.packet && !finished_ && !analysis_.Decided(front.shot)) {
                    analysis_.Settle();
                    if (!analysis_.Decided(front.shot)) {
                        throw std::logic_error("a shot undecided a window after its start");
                    }
                }
                item = std::move(front.item);
                const std::size_t shot = front.shot;
                const bool adjusted = front.adjusted;
                held_.pop_front();
                if (!item.packet) {
                    --heldFrames_;
                    if (!adjusted) {
                        const ClipAdjustment& clip = Clip();
                        AdjustFrame(clip, clip.shots[shot], item.left, item.right, &scratch_);
                    }
                }
                return 1;
            }
            if (finished_) return 0;
            ReadOne(item);
        }
    } catch (const std::exception& e) {
        error = e.what();
        return -1;
    }
}

}  // namespace loom

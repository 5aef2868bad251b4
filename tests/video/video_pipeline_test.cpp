// The three-thread pipeline with stages of the test's own: order, failures, interruption.
#include "app/core/video/video_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/frame.h>
}

namespace {

using loom::Image16;
using loom::VideoItem;
using loom::VideoPipelineOutcome;
using Kind = VideoPipelineOutcome::Kind;

// Items 0..n-1; every third one a packet, the others frames whose views hold the index.
struct Script {
    int n = 40;
    int failReadAt = -1, failComposeAt = -1, failWriteAt = -1, interruptAt = -1;
    std::atomic<bool> interrupt{false};
    int next = 0;
    std::vector<long long> written;  // pts of frames, -(index) - 1 for packets

    loom::VideoPipelineStages Stages() {
        loom::VideoPipelineStages s;
        s.read = [this](VideoItem& item, std::string& error) {
            if (next == n) return 0;
            if (next == failReadAt) {
                error = "read failed";
                return -1;
            }
            const int i = next++;
            if (i % 3 == 2) {
                item.packet.reset(av_packet_alloc());
                item.packet->pts = i;
                return 1;
            }
            item.pts = i;
            item.left.width = i;
            return 1;
        };
        s.compose = [this](const Image16& left, const Image16&, Image16& out, std::string& error) {
            if (left.width == interruptAt) interrupt = true;
            if (left.width == failComposeAt) {
                error = "compose failed";
                return false;
            }
            out.width = left.width * 10;
            return true;
        };
        s.write = [this](VideoItem& item, std::string& error) {
            const long long i = item.packet ? item.packet->pts : item.pts;
            if (i == failWriteAt) {
                error = "write failed";
                return false;
            }
            if (item.packet) {
                written.push_back(-i - 1);
            } else {
                EXPECT_EQ(item.composed.width, item.pts * 10);
                written.push_back(i);
            }
            return true;
        };
        return s;
    }
    VideoPipelineOutcome Run() { return loom::RunVideoPipeline(Stages(), n, &interrupt, "test"); }
};

TEST(VideoPipeline, FramesAndPacketsReachTheWriterInTheOrderRead) {
    Script s;
    const VideoPipelineOutcome o = s.Run();
    EXPECT_EQ(o.kind, Kind::kDone);
    ASSERT_EQ(s.written.size(), 40u);
    int frames = 0;
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(s.written[i], i % 3 == 2 ? -i - 1 : i);
        frames += i % 3 != 2;
    }
    EXPECT_EQ(o.frames, frames);
}

TEST(VideoPipeline, TheFirstFailureOfAnyStageEndsTheRunWithItsError) {
    struct Case {
        int read, compose, write;
        const char* error;
    };
    for (const Case& c : {Case{12, -1, -1, "read failed"}, Case{-1, 13, -1, "compose failed"},
                          Case{-1, -1, 15, "write failed"}}) {
        SCOPED_TRACE(c.error);
        Script s;
        s.failReadAt = c.read;
        s.failComposeAt = c.compose;
        s.failWriteAt = c.write;
        const VideoPipelineOutcome o = s.Run();
        EXPECT_EQ(o.kind, Kind::kFailed);
        EXPECT_EQ(o.error, c.error);
        ASSERT_FALSE(s.written.empty());
        EXPECT_LT(s.written.size(), 16u);
        // Nothing after the failing item was written.
        for (long long w : s.written) EXPECT_LT(w < 0 ? -w - 1 : w, 15);
    }
}

TEST(VideoPipeline, AnInterruptionStopsReadingAndWritesWhatWasComposed) {
    Script s;
    s.n = 4000;
    s.interruptAt = 10;
    const VideoPipelineOutcome o = s.Run();
    EXPECT_EQ(o.kind, Kind::kInterrupted);
    ASSERT_FALSE(s.written.empty());
    // Frames before the one composed when Ctrl-C came are all written, in order.
    for (size_t i = 0; i < 10 && i < s.written.size(); ++i) {
        EXPECT_EQ(s.written[i],
                  i % 3 == 2 ? -static_cast<long long>(i) - 1 : static_cast<long long>(i));
    }
    EXPECT_GE(s.written.size(), 10u);
    EXPECT_LT(s.written.size(), 40u);
}

// Frames with pixel buffers, composed the way the stereo filter composes (the result in the
// left view's buffer), prepared for an encoder, and a copied packet after every second frame.
struct BufferScript {
    static constexpr size_t kBytes = 4096;
    int n = 600;
    int next = 0;
    int failPrepareAt = -1;
    std::atomic<int> freshViews{0}, freshFrames{0};
    int frames = 0;

    loom::VideoPipelineStages Stages() {
        loom::VideoPipelineStages s;
        s.read = [this](VideoItem& item, std::string&) {
            if (next == n) return 0;
            const int i = next++;
            if (i % 3 == 2) {
                item.packet.reset(av_packet_alloc());
                return 1;
            }
            for (Image16* view : {&item.left, &item.right}) {
                if (view->packed.capacity() == 0) ++freshViews;
                view->packed.assign(kBytes, static_cast<uint8_t>(i));
            }
            item.pts = i;
            return 1;
        };
        s.compose = [](Image16& left, Image16&, Image16& out, std::string&) {
            out.packed.swap(left.packed);
            left.packed.clear();
            return true;
        };
        s.prepare = [this](VideoItem& item, std::string& error) {
            if (item.pts == failPrepareAt) {
                error = "prepare failed";
                return false;
            }
            if (!item.encoded) {
                ++freshFrames;
                item.encoded.reset(av_frame_alloc());
            }
            item.encoded->pts = item.composed.packed.at(0);
            return true;
        };
        s.write = [this](VideoItem& item, std::string&) {
            if (item.packet) return true;
            ++frames;
            // The frame was converted; its composed pixels went back for reading.
            EXPECT_TRUE(item.composed.packed.empty());
            EXPECT_EQ(item.encoded ? item.encoded->pts : -1, item.pts % 256);
            return true;
        };
        return s;
    }
};

TEST(VideoPipeline, BuffersGoRoundSoThatNoneIsMadeAfterTheFirstFramesInFlight) {
    BufferScript s;
    std::atomic<bool> interrupt{false};
    const VideoPipelineOutcome o = loom::RunVideoPipeline(s.Stages(), s.n, &interrupt, "test");
    EXPECT_EQ(o.kind, Kind::kDone);
    EXPECT_EQ(o.frames, 400);
    EXPECT_EQ(s.frames, 400);
    // Views are held from reading until composed, by at most five items (one reading, three
    // queued, one composing), each with three images' buffers; packets give theirs back at
    // once, and frames theirs before they queue for the writer. Nine items are in flight
    // at most, each with one frame. No more are made, however the packets fall.
    EXPECT_LE(s.freshViews.load(), 3 * 5);
    EXPECT_GE(s.freshViews.load(), 2);
    EXPECT_LE(s.freshFrames.load(), 9);
}

TEST(VideoPipeline, AFailureToPrepareAFrameEndsTheRunWithItsError) {
    BufferScript s;
    s.failPrepareAt = 40;
    std::atomic<bool> interrupt{false};
    const VideoPipelineOutcome o = loom::RunVideoPipeline(s.Stages(), s.n, &interrupt, "test");
    EXPECT_EQ(o.kind, Kind::kFailed);
    EXPECT_EQ(o.error, "prepare failed");
    EXPECT_LE(o.frames, 27);  // those read before it
}

}  // namespace

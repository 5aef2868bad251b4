// The three-thread pipeline with stages of the test's own: order, failures, interruption.
#include "app/core/video/video_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
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

}  // namespace

// Views converted one at a time out of a decoded frame: the bytes of the whole frame's
// conversion, or nothing converted.
#include "app/core/video/straight_views.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace {

using FramePtr = std::unique_ptr<AVFrame, void (*)(AVFrame*)>;

FramePtr RandomFrame(AVPixelFormat format, int width, int height, std::uint32_t seed) {
    FramePtr frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    frame->format = format;
    frame->width = width;
    frame->height = height;
    EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    for (AVBufferRef* buffer : frame->buf) {
        if (!buffer) continue;
        for (size_t i = 0; i < static_cast<size_t>(buffer->size); ++i) {
            seed = seed * 1664525u + 1013904223u;
            buffer->data[i] = static_cast<std::uint8_t>(seed >> 24);
        }
    }
    return frame;
}

// The whole frame converted as the reader converts it, and the region at (x, y) copied out.
std::vector<std::uint8_t> WholeRegion(const AVFrame& frame, AVPixelFormat target,
                                      const int* coefficients, bool fullRange, int x, int y, int w,
                                      int h) {
    SwsContext* sws =
        sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                       frame.width, frame.height, target, SWS_BICUBIC, nullptr, nullptr, nullptr);
    EXPECT_NE(sws, nullptr);
    sws_setColorspaceDetails(sws, coefficients, fullRange, coefficients, 1, 0, 1 << 16, 1 << 16);
    const int bytes = target == AV_PIX_FMT_RGB24 ? 3 : 6;
    std::vector<std::uint8_t> whole(static_cast<size_t>(frame.width * frame.height * bytes));
    std::uint8_t* to[4] = {whole.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {frame.width * bytes, 0, 0, 0};
    sws_scale(sws, frame.data, frame.linesize, 0, frame.height, to, strides);
    sws_freeContext(sws);
    std::vector<std::uint8_t> region(static_cast<size_t>(w * h * bytes));
    for (int r = 0; r < h; ++r) {
        std::memcpy(&region[static_cast<size_t>(r * w * bytes)],
                    &whole[static_cast<size_t>(((y + r) * frame.width + x) * bytes)],
                    static_cast<size_t>(w * bytes));
    }
    return region;
}

TEST(StraightViews, GiveTheWholeFramesBytesOrConvertNothing) {
    struct Case {
        const char* name;
        AVPixelFormat format;
        AVPixelFormat target;
        int width, height;
        bool sideBySide;
        bool fullRange;
        bool expectStraight;  // the common case the reader relies on
    };
    const Case cases[] = {
        {"yuv420p side by side", AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24, 128, 18, true, false, true},
        {"yuv420p full range", AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24, 128, 18, true, true, true},
        {"yuv420p one above the other", AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24, 64, 36, false, false,
         true},
        {"yuv420p views of odd width", AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24, 132, 8, true, false,
         false},
        {"yuv422p", AV_PIX_FMT_YUV422P, AV_PIX_FMT_RGB24, 96, 10, true, false, false},
        {"yuv444p", AV_PIX_FMT_YUV444P, AV_PIX_FMT_RGB24, 70, 10, true, false, false},
        {"nv12", AV_PIX_FMT_NV12, AV_PIX_FMT_RGB24, 128, 16, true, false, false},
        {"yuv420p10 to RGB48", AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_RGB48, 128, 16, true, false,
         false},
        {"yuv420p again", AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24, 128, 18, true, false, true},
    };
    loom::StraightViews straight;  // one for all: each new format or size is tried anew
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FramePtr frame = RandomFrame(c.format, c.width, c.height, 7);
        const int vw = c.sideBySide ? c.width / 2 : c.width;
        const int vh = c.sideBySide ? c.height : c.height / 2;
        const int x1 = c.sideBySide ? c.width - c.width / 2 : 0;
        const int y1 = c.sideBySide ? 0 : c.height - c.height / 2;
        const int bytes = c.target == AV_PIX_FMT_RGB24 ? 3 : 6;
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
        std::vector<std::uint8_t> views[2];
        for (auto& v : views) v.assign(static_cast<size_t>(vw * vh * bytes), 0xA5);
        const loom::ViewPlace places[2] = {{0, 0, views[0].data()}, {x1, y1, views[1].data()}};
        const bool converted =
            straight.Convert(*frame, c.target, coefficients, c.fullRange, vw, vh, places);
        EXPECT_TRUE(converted || !c.expectStraight);
        if (converted) {
            EXPECT_EQ(views[0],
                      WholeRegion(*frame, c.target, coefficients, c.fullRange, 0, 0, vw, vh));
            EXPECT_EQ(views[1],
                      WholeRegion(*frame, c.target, coefficients, c.fullRange, x1, y1, vw, vh));
        } else {
            for (const auto& v : views) {
                EXPECT_EQ(v, std::vector<std::uint8_t>(v.size(), 0xA5));
            }
        }
    }
}

TEST(StraightViews, AViewBetweenTwoChromaSamplesIsNotConverted) {
    // 66 pixels side by side: the right view starts at 33, between two chroma samples.
    const FramePtr frame = RandomFrame(AV_PIX_FMT_YUV420P, 66, 8, 3);
    std::vector<std::uint8_t> views[2];
    for (auto& v : views) v.assign(33 * 8 * 3, 0);
    const loom::ViewPlace places[2] = {{0, 0, views[0].data()}, {33, 0, views[1].data()}};
    loom::StraightViews straight;
    EXPECT_FALSE(straight.Convert(*frame, AV_PIX_FMT_RGB24, sws_getCoefficients(SWS_CS_ITU709),
                                  false, 33, 8, places));
}

}  // namespace

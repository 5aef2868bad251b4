// How frames hold both views: names, hints in file names, stereo data, view sizes; the
// progress line.
#include "app/core/stereo/stereo_layout.h"

#include <gtest/gtest.h>

#include "app/core/video/video_output.h"
#include "app/core/video/video_progress.h"

using loom::Image16;
using loom::StereoLayout;

TEST(StereoLayout, EveryNameParsesBackToItsLayoutAndIsListed) {
    const std::string choices = loom::StereoLayoutChoices();
    for (int i = 0; i < loom::kStereoLayoutCount; ++i) {
        const auto layout = static_cast<StereoLayout>(i);
        const std::string name = loom::StereoLayoutName(layout);
        SCOPED_TRACE(name);
        EXPECT_EQ(loom::ParseStereoLayout(name), layout);
        EXPECT_NE(choices.find(name), std::string::npos);
        EXPECT_EQ(loom::IsSideBySide(layout), name.rfind("sbs", 0) == 0);
        EXPECT_EQ(loom::IsHalf(layout), name.find("half") != std::string::npos);
        EXPECT_EQ(loom::LeftFirst(layout), name.find("left") != std::string::npos);
    }
    EXPECT_FALSE(loom::ParseStereoLayout("SBS-left"));
    EXPECT_FALSE(loom::ParseStereoLayout(""));
}

TEST(StereoLayout, FileNameHintsAndTheFrameShape) {
    struct Case {
        const char* name;
        int w, h;
        const char* want;  // nullptr: no hint
    };
    const Case cases[] = {
        {"/v/holiday.SBS.mp4", 3840, 1080, "sbs-left"},
        {"/v/holiday.SBS.mp4", 1920, 1080, "sbs-half-left"},   // 16:9 frame: squeezed views
        {"/v/holiday_hsbs.mkv", 3840, 1080, "sbs-half-left"},  // the name wins over the shape
        {"/v/holiday-full-sbs.mkv", 1920, 1080, "sbs-left"},
        {"/v/clip_Half_OU.mkv", 1920, 2160, "tb-half-left"},
        {"/v/clip.tab.mkv", 1920, 2160, "tb-left"},
        {"/v/clip.tab.mkv", 1920, 1080, "tb-half-left"},
        {"/v/clip_RL.mp4", 3840, 1080, "sbs-right"},
        {"/v/clip_bt.mp4", 1920, 2160, "tb-right"},
        {"/v/tablet.mp4", 3840, 1080, nullptr},    // no token of its own
        {"/v/sbs/clip.mp4", 3840, 1080, nullptr},  // folders say nothing
        {"/v/fourtab/clip.mp4", 3840, 1080, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
        const auto got = loom::LayoutFromFileName(c.name, c.w, c.h);
        if (!c.want) {
            EXPECT_FALSE(got);
        } else {
            ASSERT_TRUE(got);
            EXPECT_STREQ(loom::StereoLayoutName(*got), c.want);
        }
    }
}

TEST(StereoLayout, StereoDataPackingTakesFullOrHalfFromTheShape) {
    EXPECT_EQ(loom::LayoutFromPacking(true, false, 3840, 1080), StereoLayout::kSideBySideLeftFirst);
    EXPECT_EQ(loom::LayoutFromPacking(true, true, 1920, 1080),
              StereoLayout::kSideBySideHalfRightFirst);
    EXPECT_EQ(loom::LayoutFromPacking(false, false, 1920, 2160), StereoLayout::kTopBottomLeftTop);
    EXPECT_EQ(loom::LayoutFromPacking(false, true, 1920, 1080),
              StereoLayout::kTopBottomHalfLeftBottom);
}

TEST(StereoLayout, ViewSizesDropAnOddMiddleAndRefuseEmptyViews) {
    int w = 0, h = 0;
    std::string err;
    ASSERT_TRUE(loom::ViewSize(StereoLayout::kSideBySideLeftFirst, 11, 5, w, h, err));
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 5);
    ASSERT_TRUE(loom::ViewSize(StereoLayout::kTopBottomHalfLeftTop, 11, 5, w, h, err));
    EXPECT_EQ(w, 11);
    EXPECT_EQ(h, 4);
    EXPECT_FALSE(loom::ViewSize(StereoLayout::kTopBottomLeftTop, 8, 1, w, h, err));
    EXPECT_NE(err.find("8x1"), std::string::npos) << err;
}

TEST(StereoLayout, AnOddMiddleColumnBelongsToNeitherView) {
    Image16 frame;
    frame.width = 5;
    frame.height = 1;
    for (WORD v = 0; v < 5; ++v) frame.pixels.push_back({v, v, v, 65535});
    Image16 l, r;
    loom::SplitViews(StereoLayout::kSideBySideRightFirst, frame, l, r);
    ASSERT_EQ(l.width, 2);
    EXPECT_EQ(r.pixels[0].r, 0);
    EXPECT_EQ(r.pixels[1].r, 1);
    EXPECT_EQ(l.pixels[0].r, 3);
    EXPECT_EQ(l.pixels[1].r, 4);
}

TEST(VideoProgress, FramesRateAndTimeLeft) {
    EXPECT_EQ(loom::VideoProgressText(50, 200, 2.0), "50/200 frames  25.0 fps  0:06 left");
    EXPECT_EQ(loom::VideoProgressText(30, 3030, 1.0), "30/3030 frames  30.0 fps  1:40 left");
    EXPECT_EQ(loom::VideoProgressText(7, -1, 2.0), "7 frames  3.5 fps");
}

TEST(VideoOutput, DeepSourcesKeepTheirDepthWhereTheCodecAllows) {
    struct Case {
        const char* codec;
        int depth;
        const char* want;
    };
    for (const Case& c : {Case{"h264", 8, "yuv420p"}, Case{"h264", 10, "yuv420p10le"},
                          Case{"h265", 12, "yuv420p12le"}, Case{"ffv1", 8, "bgr0"},
                          Case{"ffv1", 10, "gbrp10le"}, Case{"ffv1", 16, "gbrp16le"},
                          Case{"prores", 8, "yuv422p10le"}, Case{"png", 10, "rgb48be"}}) {
        SCOPED_TRACE(std::string(c.codec) + " " + std::to_string(c.depth));
        EXPECT_EQ(loom::OutputPixelFormat(c.codec, c.depth), c.want);
    }
}

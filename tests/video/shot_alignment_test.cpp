// Scene cuts and the shot-by-shot alignment of a clip's frames (without files): where shots
// begin, each shot's correction and when it is decided, the one crop every frame is cut to
// (fixed by the first shot), and shots that cannot be matched.
#include <gtest/gtest.h>

#include <cmath>

#include "app/core/video/scene_cuts.h"
#include "app/core/video/shot_alignment.h"
#include "foundation/host/sdk/packed_pixels.h"
#include "tests/stereo/stereo_scene.h"

using loom::Image16;

namespace {

constexpr int kW = 400, kH = 300;

/// `scene` seen from `x0` pixels right of its left edge, kW wide.
Image16 Window(const Image16& scene, int x0) {
    Image16 out = scene;
    out.width = kW;
    out.pixels.resize(static_cast<std::size_t>(kW) * scene.height);
    for (int y = 0; y < scene.height; ++y) {
        for (int x = 0; x < kW; ++x) {
            out.pixels[static_cast<std::size_t>(y) * kW + x] =
                scene.pixels[static_cast<std::size_t>(y) * scene.width + x + x0];
        }
    }
    return out;
}

TEST(SceneCuts, CutsBetweenScenesNotWithinAPan) {
    const Image16 a = stereotest::PhotoLike(kW + 20, kH, 1), b = stereotest::PhotoLike(kW, kH, 2);
    loom::CutDetector cuts;
    EXPECT_TRUE(cuts.StartsShot(Window(a, 0)));  // the first frame
    EXPECT_FALSE(cuts.StartsShot(Window(a, 0)));
    EXPECT_FALSE(cuts.StartsShot(Window(a, 8)));
    EXPECT_FALSE(cuts.StartsShot(stereotest::Packed8(Window(a, 16))));
    EXPECT_TRUE(cuts.StartsShot(b));
    EXPECT_FALSE(cuts.StartsShot(stereotest::Packed8(b)));
    // Packed frames give the thumbnail their pixels give.
    const loom::Thumbnail t = loom::MakeThumbnail(b);
    EXPECT_EQ(loom::ThumbnailDifference(t, loom::MakeThumbnail(stereotest::Packed8(b))), 0.0);
    EXPECT_GT(loom::ThumbnailDifference(t, loom::MakeThumbnail(Window(a, 0))), 24.0);
}

class ShotAlignment : public ::testing::Test {
  protected:
    /// Feeds `frames` frames of a shot of `scene` whose right view is moved by `p`; the
    /// time stamps count frames.
    void Shot(loom::ClipAnalysis& analysis, const Image16& scene, stereotest::Perturbation p,
              int frames) {
        for (int i = 0; i < frames; ++i) {
            Image16 left = Window(scene, i % 4);
            Image16 right = stereotest::Perturbed(left, p);
            analysis.Add(left, right, pts_++);
        }
    }
    long long pts_ = 0;
    const Image16 first_ = stereotest::PhotoLike(kW + 4, kH, 5);
    const Image16 second_ = stereotest::PhotoLike(kW + 4, kH, 6);
};

TEST_F(ShotAlignment, EstimatesEachShotAndCutsEveryFrameToTheFirstShotsArea) {
    loom::stereo::AdjustOptions options;
    options.align = loom::stereo::AlignMode::kApply;
    loom::ClipAnalysis analysis(options, 1, 25);
    Shot(analysis, first_, {5, 0, 1}, 13);
    Shot(analysis, second_, {-3, 0.5, 1}, 30);
    const loom::ClipAdjustment clip = analysis.Finish();
    ASSERT_EQ(clip.shots.size(), 2u);
    const loom::ShotAdjustment &a = clip.shots[0], &b = clip.shots[1];
    EXPECT_EQ(a.firstFrame, 0);
    EXPECT_EQ(a.lastFrame, 12);
    EXPECT_EQ(b.firstFrame, 13);
    EXPECT_DOUBLE_EQ(b.firstSeconds, 13.0 / 25);
    // Frames 0 and 12 of each agree: no third sample.
    EXPECT_EQ(a.samples, 2);
    EXPECT_EQ(b.samples, 2);
    ASSERT_TRUE(a.result.alignment && b.result.alignment);
    EXPECT_NEAR(a.result.alignment->dyPx, 5, 0.1);
    EXPECT_NEAR(b.result.alignment->dyPx, -3, 0.1);
    EXPECT_NEAR(b.result.alignment->rotationDeg, 0.5, 0.02);
    EXPECT_TRUE(a.moved && b.moved && a.result.aligned);
    // The first shot's own area less the margin, even sided.
    const loom::stereo::CropRect& c = clip.crop;
    const int m = static_cast<int>(std::ceil(loom::kCropMarginShare * kH));
    EXPECT_EQ(c.x, a.ownArea.x + m);
    EXPECT_EQ(c.y, a.ownArea.y + m);
    EXPECT_GE(c.width, a.ownArea.width - 2 * m - 1);
    EXPECT_LE(c.width, a.ownArea.width - 2 * m);
    EXPECT_GE(c.height, a.ownArea.height - 2 * m - 1);
    EXPECT_LE(c.height, a.ownArea.height - 2 * m);
    EXPECT_EQ(c.width % 2, 0);
    EXPECT_EQ(c.height % 2, 0);
    EXPECT_EQ(a.result.crop.height, c.height);
    // The second shot, turned half a degree, does not cover the top of it: it is warned of.
    EXPECT_GT(b.ownArea.y, c.y);
    EXPECT_TRUE(a.result.warnings.empty());
    ASSERT_EQ(b.result.warnings.size(), 1u);
    EXPECT_NE(b.result.warnings[0].find("shot 2 (frames 13-42"), std::string::npos);
    EXPECT_NE(b.result.warnings[0].find("black"), std::string::npos);
    EXPECT_EQ(&clip.ShotAt(12), &a);
    EXPECT_EQ(&clip.ShotAt(13), &b);
    EXPECT_EQ(&clip.ShotAt(1000), &b);

    // A frame of the second shot comes out at the crop's size with its rows matched.
    Image16 left = Window(second_, 0);
    Image16 right = stereotest::Perturbed(left, {-3, 0.5, 1});
    const Image16 expected = loom::stereo::CropView(left, c);
    loom::AdjustFrame(clip, 20, left, right);
    ASSERT_EQ(right.width, c.width);
    ASSERT_EQ(right.height, c.height);
    double diff = 0;
    long compared = 0;
    for (int y = b.ownArea.y - c.y; y < c.height; ++y) {  // below the black edge
        for (int x = 0; x < c.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * c.width + x;
            diff += std::abs(right.pixels[i].g - expected.pixels[i].g) / 257.0;
            ++compared;
        }
    }
    ASSERT_GT(compared, 0);
    EXPECT_LT(diff / static_cast<double>(compared), 2.0);
    EXPECT_EQ(left.pixels, expected.pixels);

    // Packed views are adjusted alike without leaving their packed form: the same cut,
    // the resampling at 8 bits within a level of the 16-bit one.
    Image16 packedLeft = stereotest::Packed8(Window(second_, 0));
    Image16 packedRight =
        stereotest::Packed8(stereotest::Perturbed(Window(second_, 0), {-3, 0.5, 1}));
    loom::AdjustFrame(clip, 20, packedLeft, packedRight);
    ASSERT_TRUE(loom::IsPacked(packedLeft) && loom::IsPacked(packedRight));
    ASSERT_EQ(packedRight.width, c.width);
    ASSERT_EQ(packedRight.height, c.height);
    loom::Unpack(packedLeft);
    loom::Unpack(packedRight);
    EXPECT_EQ(packedLeft.pixels, expected.pixels);
    int off = 0;
    for (std::size_t i = 0; i < right.pixels.size(); ++i) {
        const int d = std::abs(packedRight.pixels[i].g - right.pixels[i].g);
        if (d > 257) ++off;
    }
    EXPECT_LT(off, static_cast<int>(right.pixels.size() / 100));
}

TEST_F(ShotAlignment, CropsToAnAspectAndShiftsByParallax) {
    loom::stereo::AdjustOptions options;
    options.parallaxPx = -10;
    loom::stereo::ParseCrop("4:3", options);
    loom::ClipAnalysis analysis(options, 1, 25);
    Shot(analysis, first_, {0, 0, 1}, 3);
    const loom::ClipAdjustment clip = analysis.Finish();
    ASSERT_EQ(clip.shots.size(), 1u);
    EXPECT_FALSE(clip.shots[0].result.alignment);  // nothing estimated
    EXPECT_EQ(clip.shots[0].samples, 0);
    // 390 columns both cover, cut to 4:3 (and even).
    EXPECT_EQ(clip.crop.height, 292);
    EXPECT_EQ(clip.crop.width, 390);
    EXPECT_TRUE(clip.ChangesFrames());
}

TEST_F(ShotAlignment, AShotIsDecidedWhenTwoSamplesAgreeOrByAThird) {
    loom::stereo::AdjustOptions options;
    options.align = loom::stereo::AlignMode::kApply;
    loom::ClipAnalysis analysis(options, 1, 25);
    // A right view that moves just before the second sample: the first two samples
    // disagree, so a third is estimated too, and the estimate nearest the others (one of
    // the later two) is taken.
    constexpr int kSpacing = loom::kShotSampleSpacing;
    for (int i = 0; i < 2 * kSpacing + 6; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        Image16 left = Window(first_, i % 4);
        Image16 right = stereotest::Perturbed(left, {i < kSpacing ? 5.0 : 2.0, 0, 1});
        analysis.Add(left, right, i);
        EXPECT_EQ(analysis.HoldFrames(), 2 * loom::kShotSampleSpacing + 1);
        analysis.Settle();  // waits for the estimates under way
        EXPECT_EQ(analysis.Decided(0), i >= 2 * loom::kShotSampleSpacing);
    }
    // A new shot whose samples agree is decided at its second; the first stays decided.
    // Unsettled, it is decided when the frame of its third would come.
    for (int i = 0; i <= 2 * loom::kShotSampleSpacing; ++i) {
        Image16 left = Window(second_, i % 4);
        Image16 right = stereotest::Perturbed(left, {-2, 0, 1});
        analysis.Add(left, right, 2 * kSpacing + 6 + i);
        EXPECT_TRUE(analysis.Decided(0));
        EXPECT_EQ(analysis.Decided(1), i == 2 * loom::kShotSampleSpacing);
    }
    const loom::ClipAdjustment clip = analysis.Finish();
    ASSERT_EQ(clip.shots.size(), 2u);
    EXPECT_EQ(clip.shots[0].samples, 3);
    ASSERT_TRUE(clip.shots[0].result.alignment);
    EXPECT_NEAR(clip.shots[0].result.alignment->dyPx, 2, 0.1);
    EXPECT_EQ(clip.shots[1].samples, 2);
    ASSERT_TRUE(clip.shots[1].result.alignment);
    EXPECT_NEAR(clip.shots[1].result.alignment->dyPx, -2, 0.1);
    // The first frame's views set how many frames fit in the bound: 4K pairs packed at
    // 8 bits take 50 MB, so 6 fit and the samples are 2 apart.
    loom::stereo::AdjustOptions shift;
    shift.parallaxPx = 4;
    loom::ClipAnalysis big(shift, 1, 25);
    Image16 view;
    view.width = 3840;
    view.height = 2160;
    view.packed.assign(static_cast<std::size_t>(view.width) * view.height * 3, 128);
    big.Add(view, view, 0);
    EXPECT_EQ(big.HoldFrames(), 5);
}

TEST_F(ShotAlignment, AShotThatCannotBeMatchedIsNamed) {
    Image16 flat = stereotest::PhotoLike(kW + 4, kH, 5);
    for (BMM_Color_64& p : flat.pixels) p = {20000, 20000, 20000, 65535};
    loom::stereo::AdjustOptions options;
    options.align = loom::stereo::AlignMode::kApply;
    {
        loom::ClipAnalysis analysis(options, 1, 25);
        Shot(analysis, first_, {4, 0, 1}, 2);
        Shot(analysis, flat, {0, 0, 1}, 2);
        try {
            Shot(analysis, second_, {4, 0, 1}, 2);
            analysis.Finish();
            ADD_FAILURE() << "a flat shot was aligned";
        } catch (const loom::stereo::AlignmentError& e) {
            EXPECT_NE(std::string(e.what()).find("shot 2 (frames 2-3"), std::string::npos)
                << e.what();
        }
    }
    options.align = loom::stereo::AlignMode::kTry;
    pts_ = 0;
    loom::ClipAnalysis analysis(options, 1, 25);
    Shot(analysis, first_, {4, 0, 1}, 2);
    Shot(analysis, flat, {0, 0, 1}, 2);
    Shot(analysis, second_, {4, 0, 1}, 2);
    const loom::ClipAdjustment clip = analysis.Finish();
    ASSERT_EQ(clip.shots.size(), 3u);
    EXPECT_TRUE(clip.shots[0].moved && clip.shots[2].moved);
    EXPECT_FALSE(clip.shots[1].moved);
    ASSERT_EQ(clip.shots[1].result.warnings.size(), 1u);
    EXPECT_NE(clip.shots[1].result.warnings[0].find("shot 2"), std::string::npos);
}

}  // namespace

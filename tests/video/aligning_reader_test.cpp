// The one-pass read stage of aligned video: items come out in the order read, each frame
// adjusted exactly as the clip's analysis (read through first) says, with no more frames
// held back than a shot's samples need.
#include "app/core/video/aligning_reader.h"

#include <gtest/gtest.h>

#include <vector>

extern "C" {
#include <libavcodec/packet.h>
}

#include "foundation/host/sdk/packed_pixels.h"
#include "tests/stereo/stereo_scene.h"

using loom::Image16;

namespace {

constexpr int kW = 320, kH = 240;

/// A clip of two shots (30 and 20 frames, the right views moved 4 rows down, then 3 up
/// and turned), packed as decoded video is, with a packet after every fifth frame.
class Source {
  public:
    Source() {
        for (int s = 0; s < 2; ++s) {
            const Image16 scene = stereotest::PhotoLike(kW + 8, kH, 21 + s);
            for (int i = 0; i < (s == 0 ? 30 : 20); ++i) {
                Image16 left = scene;
                left.width = kW;
                left.pixels.clear();
                for (int y = 0; y < kH; ++y) {
                    const auto row = scene.pixels.begin() + static_cast<long>(y) * scene.width;
                    left.pixels.insert(left.pixels.end(), row + i % 8, row + i % 8 + kW);
                }
                const stereotest::Perturbation p = s == 0 ? stereotest::Perturbation{4, 0, 1}
                                                          : stereotest::Perturbation{-3, 0.3, 1};
                lefts_.push_back(stereotest::Packed8(left));
                rights_.push_back(stereotest::Packed8(stereotest::Perturbed(left, p)));
            }
        }
    }
    int Read(loom::VideoItem& item) {
        if (next_ >= 2 * lefts_.size()) return 0;
        const std::size_t at = next_++;
        if (at % 2 == 1 && (at / 2) % 5 == 4) {  // a packet after every fifth frame
            item.packet.reset(av_packet_alloc());
            item.packet->pts = static_cast<long long>(at);
            return 1;
        }
        if (at % 2 == 1) return Read(item);
        item.left = lefts_[at / 2];
        item.right = rights_[at / 2];
        item.pts = static_cast<long long>(at / 2);
        return 1;
    }
    std::size_t Frames() const { return lefts_.size(); }
    std::size_t FramesRead() const { return (next_ + 1) / 2; }
    std::vector<Image16> lefts_, rights_;

  private:
    std::size_t next_ = 0;
};

TEST(AligningReader, AdjustsEachFrameAsTheWholeClipsAnalysisDoesInOrder) {
    loom::stereo::AdjustOptions options;
    options.align = loom::stereo::AlignMode::kApply;
    Source source;
    // What reading the clip through first decides.
    loom::ClipAnalysis analysis(options, 1, 25);
    for (std::size_t i = 0; i < source.Frames(); ++i) {
        analysis.Add(source.lefts_[i], source.rights_[i], static_cast<long long>(i));
    }
    const loom::ClipAdjustment whole = analysis.Finish();
    ASSERT_EQ(whole.shots.size(), 2u);

    loom::AligningReader reader(
        [&](loom::VideoItem& item, std::string&) { return source.Read(item); }, options, 1, 25);
    reader.Prime(nullptr);
    // Priming reads a window ahead, which decides the first shot.
    EXPECT_EQ(source.FramesRead(), static_cast<std::size_t>(2 * loom::kShotSampleSpacing) + 1);
    EXPECT_EQ(reader.Clip().crop.width, whole.crop.width);
    EXPECT_EQ(reader.Clip().crop.height, whole.crop.height);
    long long frames = 0, lastPacket = -1;
    for (;;) {
        loom::VideoItem item;
        std::string error;
        const int got = reader(item, error);
        ASSERT_GE(got, 0) << error;
        if (got == 0) break;
        if (item.packet) {
            // Each packet after the frame read before it.
            EXPECT_EQ(item.packet->pts, 2 * frames - 1);
            EXPECT_GT(item.packet->pts, lastPacket);
            lastPacket = item.packet->pts;
            continue;
        }
        SCOPED_TRACE("frame " + std::to_string(frames));
        ASSERT_EQ(item.pts, frames);
        // Reading runs a window ahead, no more (and at the end, less).
        const long long ahead = static_cast<long long>(source.FramesRead()) - frames;
        EXPECT_LE(ahead, 2 * loom::kShotSampleSpacing + 1);
        if (source.FramesRead() < source.Frames()) {
            EXPECT_EQ(ahead, 2 * loom::kShotSampleSpacing + 1);
        }
        Image16 left = source.lefts_[static_cast<std::size_t>(frames)];
        Image16 right = source.rights_[static_cast<std::size_t>(frames)];
        loom::AdjustFrame(whole, frames, left, right);
        EXPECT_EQ(item.left.width, whole.crop.width);
        EXPECT_TRUE(item.left.packed == left.packed);
        EXPECT_TRUE(item.right.packed == right.packed);
        ++frames;
    }
    EXPECT_EQ(frames, static_cast<long long>(source.Frames()));
    EXPECT_GT(lastPacket, 0);
    ASSERT_EQ(reader.Clip().shots.size(), 2u);
    for (std::size_t s = 0; s < 2; ++s) {
        EXPECT_EQ(reader.Clip().shots[s].correction, whole.shots[s].correction);
    }
}

TEST(AligningReader, AShotThatCannotBeMatchedStopsTheReadWithItsName) {
    loom::stereo::AdjustOptions options;
    options.align = loom::stereo::AlignMode::kApply;
    Image16 flat = stereotest::PhotoLike(kW, kH, 3);
    for (BMM_Color_64& p : flat.pixels) p = {20000, 20000, 20000, 65535};
    const Image16 packed = stereotest::Packed8(flat);
    int frames = 0;
    loom::AligningReader reader(
        [&](loom::VideoItem& item, std::string&) {
            if (frames == 40) return 0;
            item.left = item.right = packed;
            item.pts = frames++;
            return 1;
        },
        options, 1, 25);
    reader.Prime(nullptr);  // the shot is decided unaligned; it fails when it closes
    std::string error;
    int got = 1;
    while (got == 1) {
        loom::VideoItem item;
        got = reader(item, error);
    }
    EXPECT_EQ(got, -1);
    EXPECT_NE(error.find("shot 1 (frames 0-39"), std::string::npos) << error;
}

}  // namespace

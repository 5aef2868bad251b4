// Frames travelling packed (8-bit and 10-bit clips): the reader's packed views are its
// 16-bit ones, byte for byte, and the filter composes packed views into the packed form of
// its 16-bit result.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/core/video/video_anaglyph.h"
#include "app/core/video/video_input.h"
#include "app/core/video/video_output.h"
#include "dioptrix/dioptrix_filter.h"
#include "tests/video/test_clip.h"
#include "tests/video/video_expect.h"

extern "C" {
#include <libavutil/avutil.h>
}

using loom::Image16;
using loom::VideoInput;

namespace {

constexpr int kFrames = 3;

// Reads every frame's views, packed or widened; fails the test on a read error.
std::vector<std::pair<Image16, Image16>> ReadViews(const std::string& path, const char* layoutName,
                                                   bool packed) {
    VideoInput input;
    std::string error;
    EXPECT_TRUE(input.Open(path, error)) << error;
    input.SetPackedFrames(packed);
    std::vector<std::pair<Image16, Image16>> views;
    const std::optional<loom::StereoLayout> layout = loom::ParseStereoLayout(layoutName);
    EXPECT_TRUE(layout.has_value()) << layoutName;
    for (;;) {
        Image16 left, right;
        long long pts = 0;
        AVPacket* packet = nullptr;
        const VideoInput::Next next =
            layout ? input.ReadViews(*layout, left, right, pts, packet, error)
                   : VideoInput::Next::kEnd;
        if (next == VideoInput::Next::kEnd) break;
        EXPECT_NE(next, VideoInput::Next::kError) << error;
        if (next != VideoInput::Next::kFrame) break;
        views.emplace_back(std::move(left), std::move(right));
    }
    return views;
}

class PackedFrames : public ::testing::TestWithParam<std::tuple<const char*, int>> {};

TEST_P(PackedFrames, ViewsAndTheirAnaglyphsAreTheWidenedOnesPacked) {
    const std::string layout = std::get<0>(GetParam());
    const int depth = std::get<1>(GetParam());
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("loom-packed-" + layout + std::to_string(depth) + "-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::vector<Image16> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(videotest::Pack(layout, videotest::View(14, 6, 2 * i, depth),
                                         videotest::View(14, 6, 2 * i + 1, depth)));
    }
    const std::string clip = (dir / "clip.mkv").string();
    videotest::ClipOptions options;
    options.depth = depth;
    videotest::WriteClip(clip, frames, options);
    auto packed = ReadViews(clip, layout.c_str(), true);
    auto wide = ReadViews(clip, layout.c_str(), false);
    std::filesystem::remove_all(dir);
    ASSERT_EQ(packed.size(), static_cast<size_t>(kFrames));
    ASSERT_EQ(wide.size(), packed.size());

    DioptrixFilter packedFilter, wideFilter;
    DioptrixConfig config;
    config.leftCompensation = 0.1f;
    config.rightCompensation = 0.2f;
    packedFilter.config = wideFilter.config = config;
    const loom::ComposeFrame composePacked = loom::ComposeWithFilter(packedFilter, nullptr);
    const loom::ComposeFrame composeWide = loom::ComposeWithFilter(wideFilter, nullptr);
    for (int i = 0; i < kFrames; ++i) {
        auto& [left, right] = packed[static_cast<size_t>(i)];
        auto& [wideLeft, wideRight] = wide[static_cast<size_t>(i)];
        ASSERT_TRUE(loom::IsPacked(left) && loom::IsPacked(right)) << "frame " << i;
        ASSERT_FALSE(loom::IsPacked(wideLeft));
        Image16 unpackedLeft = left, unpackedRight = right;
        loom::Unpack(unpackedLeft);
        loom::Unpack(unpackedRight);
        EXPECT_EQ(unpackedLeft.pixels, wideLeft.pixels) << "frame " << i;
        EXPECT_EQ(unpackedRight.pixels, wideRight.pixels) << "frame " << i;

        Image16 fromPacked, fromWide;
        std::string error;
        ASSERT_TRUE(composePacked(left, right, fromPacked, error)) << error;
        ASSERT_TRUE(composeWide(wideLeft, wideRight, fromWide, error)) << error;
        ASSERT_TRUE(loom::IsPacked(fromPacked));
        EXPECT_EQ(fromPacked.bits, depth == 8 ? 8 : 16);
        ASSERT_EQ(fromPacked.packed.size(),
                  fromWide.pixels.size() * loom::PackedPixelBytes(fromPacked.bits));
        std::vector<std::uint8_t> expected(fromPacked.packed.size());
        (depth == 8 ? loom::PackRgb24Portable : loom::PackRgb48Portable)(
            fromWide.pixels.data(), expected.data(), fromWide.pixels.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), fromPacked.packed.begin()))
            << "frame " << i;
        EXPECT_EQ(fromPacked.width, 14);
        EXPECT_EQ(fromPacked.height, 6);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PackedFrames,
                         ::testing::Combine(::testing::Values("sbs-left", "sbs-right", "tb-left",
                                                              "tb-right"),
                                            ::testing::Values(8, 10)));

TEST(PackedFrames, TwoFileFramesComeWholeAndPackedAtTheirDepth) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("loom-packed-whole-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    for (int depth : {8, 10}) {
        const std::string clip = (dir / ("clip" + std::to_string(depth) + ".mkv")).string();
        videotest::ClipOptions options;
        options.depth = depth;
        videotest::WriteClip(clip, {videotest::View(9, 5, 3, depth)}, options);
        Image16 packed, wide;
        for (bool pack : {true, false}) {
            VideoInput input;
            std::string error;
            ASSERT_TRUE(input.Open(clip, error)) << error;
            input.SetPackedFrames(pack);
            long long pts = 0;
            AVPacket* packet = nullptr;
            ASSERT_EQ(input.Read(pack ? packed : wide, pts, packet, error),
                      VideoInput::Next::kFrame)
                << error;
        }
        ASSERT_TRUE(loom::IsPacked(packed)) << depth;
        EXPECT_EQ(packed.packed.size(), 9u * 5 * (depth == 8 ? 3 : 6));
        loom::Unpack(packed);
        EXPECT_EQ(packed.pixels, wide.pixels) << depth;
    }
    std::filesystem::remove_all(dir);
}

TEST(PackedFrames, ACompositionOfOnePackedAndOneWideViewUnpacks) {
    DioptrixFilter filter;
    const loom::ComposeFrame compose = loom::ComposeWithFilter(filter, nullptr);
    Image16 left = videotest::View(5, 4, 0, 8), right = videotest::View(5, 4, 1, 8);
    Image16 wideLeft = left, wideRight = right;
    right.packed.resize(right.pixels.size() * 3);
    loom::PackRgb24(right.pixels.data(), right.packed.data(), right.pixels.size());
    right.pixels.clear();
    Image16 mixed, wide;
    std::string error;
    ASSERT_TRUE(compose(left, right, mixed, error)) << error;
    ASSERT_TRUE(compose(wideLeft, wideRight, wide, error)) << error;
    EXPECT_FALSE(loom::IsPacked(mixed));
    EXPECT_EQ(mixed.pixels, wide.pixels);
    // A view short of pixels is refused, not read past.
    Image16 shortLeft = videotest::View(5, 4, 0, 8);
    shortLeft.pixels.pop_back();
    Image16 anyRight = videotest::View(5, 4, 1, 8), out;
    EXPECT_FALSE(compose(shortLeft, anyRight, out, error));
}

// Deep YUV output (10-bit H.264 and H.265, ProRes) converts packed RGB48 frames as they
// are; the encoder must get the pixels it gets from the same frames in 16-bit RGBA.
TEST(PackedFrames, DeepYuvOutputOfPackedFramesIsThatOfTheirWideForm) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("loom-packed-yuv-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    loom::VideoStreamInfo stream;
    stream.width = 32;
    stream.height = 16;
    stream.sourceDepth = 10;
    stream.bits = 16;
    std::vector<Image16> wide, packed;
    for (int i = 0; i < 4; ++i) {
        wide.push_back(videotest::View(stream.width, stream.height, i, 16));
        Image16 p = wide.back();
        p.packed.resize(p.pixels.size() * 6);
        loom::PackRgb48(p.pixels.data(), p.packed.data(), p.pixels.size());
        p.pixels.clear();
        packed.push_back(std::move(p));
    }
    int checked = 0;
    for (const char* codec : {"h264", "h265", "prores"}) {
        loom::VideoEncoding encoding;
        encoding.codec = codec;
        std::string error;
        if (!loom::CheckVideoEncoding(encoding, error)) continue;  // not in this FFmpeg
        SCOPED_TRACE(codec);
        std::vector<std::uint8_t> bytes[2];
        for (int form = 0; form < 2; ++form) {
            const std::string path = (dir / (std::to_string(form) + ".mkv")).string();
            loom::VideoOutput out;
            ASSERT_TRUE(out.Open(path, stream, stream.sourceDepth, encoding, error)) << error;
            for (size_t i = 0; i < wide.size(); ++i) {
                ASSERT_TRUE(out.WriteFrame(form == 0 ? wide[i] : packed[i],
                                           static_cast<long long>(i), error))
                    << error;
            }
            ASSERT_TRUE(out.Finish(error)) << error;
            const videotest::VideoFacts facts = videotest::ReadVideoFacts(path);
            EXPECT_EQ(facts.pixelFormat, loom::OutputPixelFormat(codec, 10));
            EXPECT_EQ(facts.frames, 4);
            bytes[form] = videotest::ReadPackets(path, AVMEDIA_TYPE_VIDEO).bytes;
        }
        EXPECT_FALSE(bytes[0].empty());
        EXPECT_TRUE(bytes[0] == bytes[1]) << "the encoded pictures differ";
        ++checked;
    }
    std::filesystem::remove_all(dir);
    EXPECT_GT(checked, 0) << "no deep YUV encoder in this FFmpeg";
}

}  // namespace

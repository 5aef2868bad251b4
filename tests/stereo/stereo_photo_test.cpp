// MPO and JPS stereo photos made here from JPEGs the image library encodes: the views they
// give, the EXIF orientation, and damaged multi-picture indexes refused.
#include <gtest/gtest.h>

#include "app/core/filter/filter_run.h"
#include "app/core/stereo/stereo_photo.h"
#include "tests/stereo/stereo_files.h"

using loom::Image16;
using namespace loom::stereo;
using stereotest::Bytes;

namespace {

Image16 Decode(const Bytes& jpeg) {
    Image16 img;
    std::string err;
    EXPECT_TRUE(loom::DecodeImage16("x.jpg", jpeg.data(), jpeg.size(), img, err)) << err;
    return img;
}

class MpoFiles : public ::testing::Test {
  protected:
    Bytes first = stereotest::EncodeJpeg(stereotest::Picture(16, 8, 1));
    Bytes second = stereotest::EncodeJpeg(stereotest::Picture(16, 8, 2));
    stereotest::MpoLayout at;
    Bytes mpo = stereotest::Mpo(first, second, &at);

    /// Decodes `bytes` as an MPO; answers the error ("" on success).
    std::string Refusal(const Bytes& bytes) {
        Image16 l, r;
        std::string err;
        return DecodeStereoPhoto("cam.mpo", bytes.data(), bytes.size(), l, r, err) ? "" : err;
    }
};

TEST_F(MpoFiles, GiveTheSamePairAsTheSeparatePictures) {
    ByteRange l, r;
    std::string why;
    ASSERT_TRUE(FindMpoPictures(mpo.data(), mpo.size(), l, r, why)) << why;
    EXPECT_EQ(l.offset, 0u);
    EXPECT_EQ(l.size, mpo.size() - second.size());
    EXPECT_EQ(r.offset, at.second);
    EXPECT_EQ(r.size, second.size());
    Image16 left, right;
    std::string err;
    ASSERT_TRUE(DecodeStereoPhoto("cam.MPO", mpo.data(), mpo.size(), left, right, err)) << err;
    EXPECT_EQ(left.pixels, Decode(first).pixels);
    EXPECT_EQ(right.pixels, Decode(second).pixels);
    EXPECT_NE(left.pixels, right.pixels);
}

TEST_F(MpoFiles, ThumbnailsAreSkippedForTheSecondView) {
    // Three pictures: a large thumbnail listed before the second view.
    const Bytes thumb = stereotest::EncodeJpeg(stereotest::Picture(4, 2, 9));
    const std::size_t segBytes = stereotest::MpfSegment({0, 0, 0}, {0, 0, 0}).size();
    const auto firstSize = static_cast<std::uint32_t>(first.size() + segBytes);
    const std::uint32_t header = 10;
    Bytes seg = stereotest::MpfSegment(
        {firstSize, static_cast<std::uint32_t>(thumb.size()),
         static_cast<std::uint32_t>(second.size())},
        {0, firstSize - header, static_cast<std::uint32_t>(firstSize + thumb.size() - header)});
    stereotest::Put32(seg, 8 + 50 + 16, 0x010001);  // the second entry: a large thumbnail
    Bytes file = first;
    file.insert(file.begin() + 2, seg.begin(), seg.end());
    file.insert(file.end(), thumb.begin(), thumb.end());
    file.insert(file.end(), second.begin(), second.end());
    ByteRange l, r;
    std::string why;
    ASSERT_TRUE(FindMpoPictures(file.data(), file.size(), l, r, why)) << why;
    EXPECT_EQ(r.offset, firstSize + thumb.size());
}

TEST_F(MpoFiles, DamagedIndexesAreRefusedWithTheCause) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        const char* cause;
    };
    const std::size_t entry2 = at.entries + 16;
    const Case cases[] = {
        {"second picture past the end",
         [&](Bytes& b) { stereotest::Put32(b, entry2 + 8, static_cast<std::uint32_t>(b.size())); },
         "outside the file"},
        {"second picture longer than the file",
         [&](Bytes& b) { stereotest::Put32(b, entry2 + 4, 0xFFFFFFF0u); }, "outside the file"},
        {"second offset wraps around",
         [&](Bytes& b) { stereotest::Put32(b, entry2 + 8, 0xFFFFFFFFu); }, "outside the file"},
        {"second picture points back at the first (a loop)",
         [&](Bytes& b) { stereotest::Put32(b, entry2 + 8, 0); }, "over the first picture"},
        {"second picture inside the first",
         [&](Bytes& b) { stereotest::Put32(b, entry2 + 8, 100); }, "over the first picture"},
        {"second picture not a JPEG", [&](Bytes& b) { b[at.second] = 0; },
         "does not begin as a JPEG"},
        {"first picture not at the start",
         [&](Bytes& b) { stereotest::Put32(b, at.entries + 8, 4); }, "first picture wrongly"},
        {"entry list beyond its segment",
         [&](Bytes& b) { stereotest::Put32(b, at.ifd + 2 + 24 + 8, 0x7FFF0000u); },
         "lists its pictures wrongly"},
        {"entry count disagrees with the picture count",
         [&](Bytes& b) { stereotest::Put32(b, at.ifd + 2 + 12 + 8, 3); },
         "lists its pictures wrongly"},
        {"one picture only",
         [&](Bytes& b) {
             stereotest::Put32(b, at.ifd + 2 + 12 + 8, 1);
             stereotest::Put32(b, at.ifd + 2 + 24 + 4, 16);
         },
         "one picture"},
        {"IFD claims more entries than its segment holds",
         [&](Bytes& b) { stereotest::Put16(b, at.ifd, 0xFFFF); }, "runs past its segment"},
        {"IFD offset past its segment",
         [&](Bytes& b) { stereotest::Put32(b, at.header + 4, 0x00FFFFFFu); },
         "runs past its segment"},
        {"byte order mark damaged", [&](Bytes& b) { b[at.header] = 'X'; }, "damaged"},
        {"segment longer than the file",
         [&](Bytes& b) {
             b[at.segment + 2] = 0xFF;
             b[at.segment + 3] = 0xFF;
             b.resize(200);
         },
         "segments are damaged"},
        {"no index at all", [&](Bytes& b) { b[at.segment + 4] = 'X'; }, "no multi-picture index"},
        {"cut inside the index", [&](Bytes& b) { b.resize(at.entries + 4); },
         "segments are damaged"},
        {"not a JPEG", [&](Bytes& b) { b[1] = 0; }, "not a JPEG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes damaged = mpo;
        c.damage(damaged);
        const std::string err = Refusal(damaged);
        EXPECT_EQ(err.rfind("cam.mpo: ", 0), 0u) << err;
        EXPECT_NE(err.find(c.cause), std::string::npos) << err;
    }
    EXPECT_EQ(Refusal(mpo), "");
    // Every shorter file is refused without reading past its end (under the sanitizers).
    for (std::size_t n = 0; n < at.second + 8; n += 3) {
        Bytes cut(mpo.begin(), mpo.begin() + static_cast<long>(n));
        EXPECT_NE(Refusal(cut), "") << n;
    }
}

TEST_F(MpoFiles, DamagedSecondPictureIsNamed) {
    Bytes damaged = mpo;
    damaged.resize(at.second + 40);
    stereotest::Put32(damaged, at.entries + 16 + 4, 40);
    const std::string err = Refusal(damaged);
    EXPECT_NE(err.find("cam.mpo: right picture"), std::string::npos) << err;
}

TEST(JpsFiles, HoldTheRightViewFirst) {
    const Image16 both = stereotest::Picture(20, 6, 4);
    const Bytes jps = stereotest::EncodeJpeg(both);
    Image16 decoded = Decode(jps), left, right, halfL, halfR;
    std::string err;
    ASSERT_TRUE(DecodeStereoPhoto("view.jps", jps.data(), jps.size(), left, right, err)) << err;
    ASSERT_TRUE(loom::SplitSideBySide(decoded, halfL, halfR, err));
    EXPECT_EQ(left.pixels, halfR.pixels);
    EXPECT_EQ(right.pixels, halfL.pixels);
    EXPECT_EQ(left.width, 10);
}

TEST(Orientation, EveryExifValueTurnsTheLabelledPictureUpright) {
    // Stored 3 wide, 2 high:  a b c / d e f. Each case is the picture as it is shown.
    const char* stored = "abcdef";
    struct Case {
        int orientation, width;
        const char* shown;
    };
    const Case cases[] = {{1, 3, "abcdef"}, {2, 3, "cbafed"}, {3, 3, "fedcba"},
                          {4, 3, "defabc"}, {5, 2, "adbecf"}, {6, 2, "daebfc"},
                          {7, 2, "fcebda"}, {8, 2, "cfbead"}, {9, 3, "abcdef"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        Image16 img;
        img.width = 3;
        img.height = 2;
        for (int i = 0; i < 6; ++i) img.pixels.push_back({WORD(stored[i]), 0, 0, 65535});
        ApplyOrientation(img, c.orientation);
        EXPECT_EQ(img.width, c.width);
        EXPECT_EQ(img.height, 6 / c.width);
        std::string shown;
        for (const BMM_Color_64& p : img.pixels) shown += static_cast<char>(p.r);
        EXPECT_EQ(shown, c.shown);
    }
}

TEST(Orientation, IsReadFromEachPictureOfAnMpo) {
    const Image16 wide = stereotest::Picture(16, 8, 5);
    const Bytes plain = stereotest::EncodeJpeg(wide);
    EXPECT_EQ(JpegOrientation(plain.data(), plain.size()), 1);
    const Bytes turned = stereotest::WithOrientation(plain, 6);
    EXPECT_EQ(JpegOrientation(turned.data(), turned.size()), 6);
    const Bytes mpo = stereotest::Mpo(turned, stereotest::WithOrientation(plain, 8));
    Image16 left, right;
    std::string err;
    ASSERT_TRUE(DecodeStereoPhoto("p.mpo", mpo.data(), mpo.size(), left, right, err)) << err;
    EXPECT_EQ(left.width, 8);
    EXPECT_EQ(left.height, 16);
    Image16 expectL = Decode(plain), expectR = expectL;
    ApplyOrientation(expectL, 6);
    ApplyOrientation(expectR, 8);
    EXPECT_EQ(left.pixels, expectL.pixels);
    EXPECT_EQ(right.pixels, expectR.pixels);
    // An orientation out of range, or of the wrong type, counts as none.
    Bytes odd = stereotest::WithOrientation(plain, 9);
    EXPECT_EQ(JpegOrientation(odd.data(), odd.size()), 1);
    odd = stereotest::WithOrientation(plain, 6);
    odd[2 + 10 + 13] = 4;  // LONG instead of SHORT
    EXPECT_EQ(JpegOrientation(odd.data(), odd.size()), 1);
}

}  // namespace

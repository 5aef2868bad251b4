// Frame patterns, folders of pairs matched by name, and the frame progress line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/core/stereo/frame_progress.h"
#include "app/core/stereo/sequence.h"
#include "tests/support/app_fixture.h"

namespace fs = std::filesystem;
using namespace loom::stereo;

namespace {

class Folder : public loomtest::TempFolderTest {
  protected:
    template <class F>
    static std::string Thrown(F f) {
        return loomtest::MessageOf(f);
    }
};

TEST(FramePatterns, NumberFramesAsPrintfWouldAndRefuseOtherFields) {
    EXPECT_EQ(FramePath("out/left_%04d.png", 7), "out/left_0007.png");
    EXPECT_EQ(FramePath("f%d.tif", 12345), "f12345.tif");
    EXPECT_EQ(FramePath("f%02d.png", 123), "f123.png");
    EXPECT_EQ(FramePath("100%%_%03d.png", 5), "100%_005.png");
    EXPECT_TRUE(IsFramePattern("a/b_%04d.png"));
    EXPECT_FALSE(IsFramePattern("a/plain.png"));
    EXPECT_FALSE(IsFramePattern("a/100%%.png"));
    for (const char* bad : {"f%s.png", "f%4d.png", "f%04d_%04d.png", "f%0d.png", "f%", "x%x.png",
                            "dir%04d/f.png", "plain.png"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(FramePath(bad, 1), std::runtime_error);
    }
}

TEST_F(Folder, FramesOnDiskAreThoseThePatternNames) {
    for (const char* n : {"l_0003.png", "l_0001.png", "l_0010.png", "l_7.png", "l_0002.jpg",
                          "l_00004.png", "l_abcd.png", "m_0005.png"}) {
        Touch(n);
    }
    EXPECT_EQ(FramesOnDisk(P("l_%04d.png")), (std::vector<int>{1, 3, 10}));
    EXPECT_EQ(FramesOnDisk(P("l_%d.png")), (std::vector<int>{7}));
    EXPECT_NE(Thrown([&] { FramesOnDisk(P("nowhere/l_%04d.png")); }).find("nowhere"),
              std::string::npos);
}

TEST_F(Folder, TwoFoldersPairBySameNameAndNameAMissingPartner) {
    for (const char* n :
         {"L/b.png", "L/a.png", "R/a.tif", "R/b.png", "L/notes.txt", "R/.hidden.png"})
        Touch(n);
    const auto pairs = PairFolders(P("L"), P("R"));
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].name, "a");
    EXPECT_EQ(pairs[0].left, P("L/a.png"));
    EXPECT_EQ(pairs[0].right, P("R/a.tif"));
    EXPECT_EQ(pairs[1].name, "b");
    Touch("L/c.png");
    EXPECT_NE(Thrown([&] { PairFolders(P("L"), P("R")); }).find("L/c.png: no right view"),
              std::string::npos);
    fs::remove(dir / "L/c.png");
    Touch("R/d.png");
    EXPECT_NE(Thrown([&] { PairFolders(P("L"), P("R")); }).find("R/d.png: no left view"),
              std::string::npos);
    fs::create_directories(dir / "E");
    EXPECT_NE(Thrown([&] { PairFolders(P("E"), P("R")); }).find("holds no pictures"),
              std::string::npos);
}

TEST_F(Folder, OneFolderPairsByALeftRightWordInTheName) {
    for (const char* n :
         {"P/shot_L.png", "P/shot_R.png", "P/left-07.jpg", "P/right-07.jpg", "P/a.Left.tif",
          "P/a.RIGHT.tif", "P/cover.png", "P/lr_left.png", "P/lr_right.png"}) {
        Touch(n);
    }
    const auto pairs = PairInFolder(P("P"));
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0].name, "07");
    EXPECT_EQ(pairs[0].right, P("P/right-07.jpg"));
    EXPECT_EQ(pairs[1].name, "a");
    EXPECT_EQ(pairs[2].name, "lr");  // the last side word counts; "lr" is none
    EXPECT_EQ(pairs[3].name, "shot");
    EXPECT_EQ(pairs[3].left, P("P/shot_L.png"));
    Touch("P/cam.MPO");  // a stereo photo is a pair of its own
    const auto withPhoto = PairInFolder(P("P"));
    ASSERT_EQ(withPhoto.size(), 5u);
    EXPECT_EQ(withPhoto[2].name, "cam");
    EXPECT_EQ(withPhoto[2].left, P("P/cam.MPO"));
    EXPECT_EQ(withPhoto[2].right, "");
    Touch("P/shot.jps");
    EXPECT_NE(Thrown([&] { PairInFolder(P("P")); }).find("would both make shot"),
              std::string::npos);
    fs::remove(dir / "P/shot.jps");
    Touch("P/lonely_r.png");
    EXPECT_NE(Thrown([&] { PairInFolder(P("P")); }).find("lonely_r.png: no left view"),
              std::string::npos);
    fs::create_directories(dir / "Q");
    Touch("Q/one.png");
    EXPECT_NE(Thrown([&] { PairInFolder(P("Q")); }).find("no pictures named as left and right"),
              std::string::npos);
}

TEST(FrameProgressLine, ShowsFramesRateAndTimeLeft) {
    FrameProgress p("anaglyph", 100, false);
    EXPECT_EQ(p.Line(12, 4.0),
              "anaglyph [###...........................] 12/100 frames, 3.0 fps, 0:29 left");
    EXPECT_EQ(p.Line(0, 0.0), "anaglyph [..............................] 0/100 frames");
    FrameProgress hours("seq", 40000, false);
    EXPECT_NE(hours.Line(100, 10.0).find("10.0 fps, 66:30 left"), std::string::npos);
}

}  // namespace

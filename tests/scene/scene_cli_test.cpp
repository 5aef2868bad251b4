// loomhost's scene commands as a user meets them: whole numbers kept exactly, filter
// entries listed with their bytes, image maps found beside the scene and named when
// missing, and the note about converted older data from every command that loads a scene.
#include <filesystem>
#include <fstream>

#include "foundation/host/sdk/bitmap.h"
#include "tests/support/cli_fixture.h"

namespace {

class SceneCli : public loomtest::CliFixture {
  protected:
    using Result = loomtest::CliResult;
};

}  // namespace

TEST_F(SceneCli, WholeNumbersListAsSetAndOutOfRangeIsRefusedWithTheRange) {
    const std::string scene = Path("v.loom");
    for (const char* value : {"16777217", "2147483647", "-2147483648"}) {
        SCOPED_TRACE(value);
        Result made =
            Run("scene new --force " + scene + " voltrane --set \"Sweep Phase=" + value + "\"");
        ASSERT_EQ(made.status, 0) << made.err;
        Result show = Run("scene show " + scene);
        EXPECT_NE(show.out.find(std::string("Sweep Phase = ") + value + "\n"), std::string::npos)
            << show.out;
    }
    for (const char* value : {"2147483648", "-2147483649", "1e10"}) {
        SCOPED_TRACE(value);
        Result r = Run("scene set " + scene + " --set \"Sweep Phase=" + value + "\"");
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("out of range (-2147483648..2147483647)"), std::string::npos) << r.err;
    }
    Result r = Run("scene set " + scene + " --set \"Sweep Phase=2.5\"");
    EXPECT_NE(r.err.find("not a whole number"), std::string::npos) << r.err;
}

TEST_F(SceneCli, ShowListsFilterEntriesWithEyesCompensationsAndBytes) {
    const std::string scene = Path("f.loom");
    ASSERT_EQ(Run("scene new " + scene + " nimbra --entry clouds").status, 0);
    Result stored = Run("scene filter " + scene +
                        " --entry glasses --left-eye blue --right-eye red --left-comp -0.3");
    ASSERT_EQ(stored.status, 0) << stored.err;
    Result show = Run("scene show " + scene);
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("filter 'glasses': "), std::string::npos) << show.out;
    EXPECT_NE(show.out.find(": left blue, right red, compensations -0.3 and -0.1\n"
                            "  bytes (12): 02 00 00 00 9a 99 99 be cd cc cc bd\n"),
              std::string::npos)
        << show.out;
}

TEST_F(SceneCli, ImageMapsAreFoundBesideTheSceneAndNamedWhenMissing) {
    namespace fs = std::filesystem;
    fs::create_directories(dir / "project" / "maps");
    loom::FloatImage img;
    img.width = img.height = 1;
    img.rgba = {1, 0, 0, 1};
    std::string err;
    ASSERT_TRUE(loom::WriteImage((dir / "project" / "maps" / "red.png").string(), img, 8, err))
        << err;
    const std::string scene = (dir / "project" / "s.loom").string();
    Result made = Run("scene new " + scene + " voltrane --set \"Body Color=image:" +
                      (dir / "project" / "maps" / "red.png").string() + "\"");
    ASSERT_EQ(made.status, 0) << made.err;
    // Run from another folder: the path is the scene's, not the working folder's.
    Result show = Run("scene show " + scene);
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("Bitmap '" + (dir / "project" / "maps" / "red.png").string() + "'\n"),
              std::string::npos)
        << show.out;
    EXPECT_EQ(show.err, "");

    fs::rename(dir / "project", dir / "moved");
    fs::remove(dir / "moved" / "maps" / "red.png");
    const std::string moved = (dir / "moved" / "s.loom").string();
    show = Run("scene show " + moved);
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(
        show.out.find("Bitmap '" + (dir / "moved" / "maps" / "red.png").string() + "' (missing)\n"),
        std::string::npos)
        << show.out;
    EXPECT_NE(
        show.err.find("loomhost: " + moved + ": warning: image map 'maps/red.png' not loaded"),
        std::string::npos)
        << show.err;
}

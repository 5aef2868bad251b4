// Scene files saved by older versions, kept as bytes in tests/data/scenes (one per older
// parameter layout of each texture; see the README there), with the listing each must
// give. A change to the on-disk encoding or to the conversion shows up here.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/cli_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<fs::path> Fixtures() {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(SCENE_DATA_DIR)) {
        if (e.path().extension() == ".loom") out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

class OlderScenes : public loomtest::CliFixture {};

}  // namespace

TEST_F(OlderScenes, EveryOlderLayoutLoadsToItsListingWithTheNote) {
    const std::vector<fs::path> files = Fixtures();
    // voltrane 200; fervix 1 to 4; lumidot 11; nimbra 11.
    ASSERT_EQ(files.size(), 7u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        fs::path expected = file;
        expected.replace_extension(".txt");
        ASSERT_TRUE(fs::exists(expected));
        loomtest::CliResult show = Run("scene show " + file.string());
        ASSERT_EQ(show.status, 0) << show.err;
        EXPECT_EQ(show.out, ReadText(expected));
        EXPECT_EQ(show.err, "loomhost: " + file.string() +
                                ": note: held data of an older version; converted\n");
    }
}

TEST_F(OlderScenes, CommandsThatLoadAScenePrintTheNote) {
    const std::vector<fs::path> files = Fixtures();
    ASSERT_FALSE(files.empty());
    const fs::path file = files.front();
    const std::string note = file.string() + ": note: held data of an older version; converted";
    for (const std::string& args :
         {"eval --scene " + file.string() + " 0.25,0.5",
          "render --scene " + file.string() + " --size 4x4 -o " + Path("r.png"),
          "viewport --scene " + file.string() + " --size 8 -o " + Path("v.png")}) {
        SCOPED_TRACE(args);
        loomtest::CliResult r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(note), std::string::npos) << r.err;
    }
    // Converted and saved again, the file is of the current version: no note.
    fs::copy_file(file, Path("copy.loom"));
    ASSERT_EQ(Run("scene set " + Path("copy.loom")).status, 0);
    loomtest::CliResult again = Run("scene show " + Path("copy.loom"));
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(again.out, ReadText(fs::path(file).replace_extension(".txt")));
}

// The commands that write files, as a user runs them: outputs checked before the work,
// read-only files kept unless --force, a full disk reported with the file and the reason
// while the earlier file stays, hostile inputs refused with their names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <regex>

#include "tests/files/file_helpers.h"

using loomtest::Shell;
using loomtest::Slurp;
using loomtest::Spit;
using loomtest::TempFolder;

namespace {

std::string Loomhost(const std::string& args) {
    return std::string(LOOMHOST_BIN) + " --plugins " + PLUGIN_DIR + " " + args;
}

}  // namespace

TEST(SaveCli, OutputsAreCheckedBeforeRendering) {
    TempFolder dir;
    std::filesystem::create_directories(dir.path / "folder.png");
    const struct {
        std::string out, says;
    } cases[] = {
        {dir.File("missing/a.png"), "does not exist"},
        {dir.File("folder.png"), "is a folder"},
        {dir.File("a.bmp"), "unsupported image format"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        // A render of this size takes many seconds; the refusal must come at once.
        const auto start = std::chrono::steady_clock::now();
        std::string err;
        EXPECT_EQ(Shell(Loomhost("render nimbra --size 16384x16384 -o " + c.out), err), 1);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  5.0);
        EXPECT_NE(err.find(c.out), std::string::npos) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
    }
}

TEST(SaveCli, FilesAreTheSameBytesWhateverTheRunAndThreads) {
    // Farm renders compare and resume by bytes: no writing time may enter a file.
    TempFolder dir;
    const std::regex stamp("[0-9]{4}:[0-9]{2}:[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
    for (const std::string ext : {".exr", ".tif", ".png"}) {
        SCOPED_TRACE(ext);
        std::string err;
        const std::string one = dir.File("one" + ext), two = dir.File("two" + ext);
        ASSERT_EQ(Shell(Loomhost("render nimbra --size 24x16 --threads 1 -o " + one), err), 0)
            << err;
        ASSERT_EQ(Shell(Loomhost("render nimbra --size 24x16 --threads 2 -o " + two), err), 0)
            << err;
        const std::string bytes = Slurp(one);
        EXPECT_EQ(bytes, Slurp(two));
        EXPECT_FALSE(std::regex_search(bytes, stamp)) << "a date and time in the file";
    }
}

TEST(SaveCli, NoOverwriteLeavesExistingOutputsAndFailsNamingThem) {
    TempFolder dir;
    const std::string png = dir.File("kept.png");
    Spit(png, "precious");
    // Before the command or after its own options: an option of the whole program.
    for (const std::string& args : {"-n render nimbra --size 8x8 -o " + png,
                                    "render nimbra --size 8x8 -o " + png + " --no-overwrite"}) {
        SCOPED_TRACE(args);
        std::string err;
        EXPECT_EQ(Shell(Loomhost(args), err), 1);
        EXPECT_NE(err.find(png + ": exists already"), std::string::npos) << err;
        EXPECT_EQ(Slurp(png), "precious");
    }
    // New files are written as ever; --quiet leaves only errors and warnings.
    std::string err;
    EXPECT_EQ(Shell(Loomhost("render nimbra --size 8x8 --frames 0-3 --shard 0/2 -n --quiet -o " +
                             dir.File("f.png")),
                    err),
              0)
        << err;
    EXPECT_EQ(err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.File("f_0000.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("f_0002.png")));  // the other shard's
}

TEST(SaveCli, ReadOnlyOutputsAreReplacedOnlyWithForce) {
    TempFolder dir;
    const std::string png = dir.File("keep.png");
    const std::string cfg = dir.File("keep.cfg");
    const std::string scene = dir.File("keep.loom");
    std::string err;
    ASSERT_EQ(Shell(Loomhost("scene filter " + scene), err), 0) << err;
    Spit(png, "precious");
    Spit(cfg, "precious");
    const std::string sceneBefore = Slurp(scene);
    for (const std::string& p : {png, cfg, scene}) ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
    const std::string commands[] = {
        "render nimbra --size 8x8 -o " + png,
        "viewport nimbra --size 8 -o " + png,
        "calibrate -o " + png,
        "anaglyph --save-config " + cfg,
        "scene filter --left-comp -0.2 " + scene,
    };
    for (const std::string& c : commands) {
        SCOPED_TRACE(c);
        EXPECT_EQ(Shell(Loomhost(c), err), 1);
        EXPECT_NE(err.find("read-only"), std::string::npos) << err;
    }
    EXPECT_EQ(Slurp(png), "precious");
    EXPECT_EQ(Slurp(cfg), "precious");
    EXPECT_EQ(Slurp(scene), sceneBefore);
    for (const std::string& c : commands) {
        SCOPED_TRACE(c);
        EXPECT_EQ(Shell(Loomhost(c + " --force"), err), 0) << err;
    }
    EXPECT_NE(Slurp(png), "precious");
    EXPECT_NE(Slurp(cfg), "precious");
    EXPECT_NE(Slurp(scene), sceneBefore);
    for (const std::string& p : {png, cfg, scene}) {
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0444u) << p;
    }
}

TEST(SaveCli, AFullDiskFailsTheCommandAndKeepsTheEarlierFile) {
    TempFolder dir;
    const std::string png = dir.File("out.png");
    std::string err;
    ASSERT_EQ(Shell(Loomhost("render nimbra --size 8x8 -o " + png), err), 0) << err;
    const std::string before = Slurp(png);
    // 16 blocks of 512 bytes: far less than the picture asked for; writes past it fail.
    const std::string limited = "trap '' XFSZ; ulimit -f 16; exec " +
                                Loomhost("render nimbra --size 256x256 --bits 16 -o " + png);
    EXPECT_EQ(Shell(limited, err), 1);
    EXPECT_NE(err.find(png), std::string::npos) << err;
    EXPECT_NE(err.find("File too large"), std::string::npos) << err;
    EXPECT_EQ(err.find("Success"), std::string::npos) << err;
    EXPECT_EQ(Slurp(png), before);
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
        EXPECT_EQ(e.path().filename().string().find(".loomtmp."), std::string::npos) << e.path();
    }
}

TEST(SaveCli, TruncatedAndNonRegularInputsAreRefusedByName) {
    TempFolder dir;
    const std::string tif = dir.File("whole.tif");
    std::string err;
    ASSERT_EQ(Shell(Loomhost("render nimbra --size 256x256 -o " + tif), err), 0) << err;
    const std::string bytes = Slurp(tif);
    const std::string cut = dir.File("cut.tif");
    Spit(cut, bytes.substr(0, bytes.size() * 3 / 4));
    EXPECT_EQ(Shell(Loomhost("anaglyph " + cut + " " + tif + " -o " + dir.File("a.png")), err), 1);
    EXPECT_NE(err.find(cut), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir.path / "a.png"));
    for (const std::string& args :
         {std::string("scene show /dev/zero"),
          "anaglyph --config /dev/zero --save-config " + dir.File("c.cfg")}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Shell(Loomhost(args), err), 1);
        EXPECT_NE(err.find("/dev/zero: is not a regular file"), std::string::npos) << err;
    }
}

TEST(SaveCli, NoOutputReplacesAnInputWhateverNamesIt) {
    TempFolder dir;
    std::string err;
    ASSERT_EQ(Shell(Loomhost("render nimbra --size 8x6 -o " + dir.File("l.png")), err), 0) << err;
    ASSERT_EQ(Shell(Loomhost("render fervix --size 8x6 -o " + dir.File("r.png")), err), 0) << err;
    ASSERT_EQ(Shell(Loomhost("render lumidot --size 16x6 -o " + dir.File("sbs.png")), err), 0)
        << err;
    std::filesystem::create_hard_link(dir.File("l.png"), dir.File("hard.png"));
    std::filesystem::create_symlink(dir.File("r.png"), dir.File("soft.png"));
    const std::string scene = dir.File("map.loom");
    ASSERT_EQ(
        Shell(Loomhost("scene new " + scene + " nimbra --set Sky=image:" + dir.File("l.png")), err),
        0)
        << err;
    const std::string l = Slurp(dir.File("l.png")), r = Slurp(dir.File("r.png")),
                      sbs = Slurp(dir.File("sbs.png"));
    const std::string commands[] = {
        "anaglyph " + dir.File("l.png") + " " + dir.File("r.png") + " -o " + dir.File("l.png"),
        "anaglyph " + dir.File("l.png") + " " + dir.File("r.png") + " -o " + dir.File("hard.png"),
        "anaglyph " + dir.File("l.png") + " " + dir.File("r.png") + " -o " + dir.File("soft.png"),
        "anaglyph " + dir.File("l.png") + " " + dir.File("r.png") + " -o " + dir.path.string() +
            "/./r.png",
        "anaglyph --sbs " + dir.File("sbs.png") + " -o " + dir.File("sbs.png"),
        "render nimbra --size 8x6 --set Sky=image:" + dir.File("l.png") + " -o " +
            dir.File("hard.png"),
        "render --scene " + scene + " --size 8x6 -o " + dir.File("l.png"),
        "render --scene " + scene + " --size 8x6 --frames 1-2 -o " + dir.File("seq.png"),
    };
    // A sequence whose second frame is the scene's image map: refused before the first
    // frame is written.
    std::filesystem::create_hard_link(dir.File("l.png"), dir.File("seq_0002.png"));
    for (const std::string& c : commands) {
        SCOPED_TRACE(c);
        EXPECT_EQ(Shell(Loomhost(c + " --force"), err), 1) << err;
        EXPECT_NE(err.find("is also an input"), std::string::npos) << err;
    }
    EXPECT_EQ(Slurp(dir.File("l.png")), l);
    EXPECT_EQ(Slurp(dir.File("r.png")), r);
    EXPECT_EQ(Slurp(dir.File("sbs.png")), sbs);
    EXPECT_FALSE(std::filesystem::exists(dir.File("seq_0001.png")));
    // Another output beside the same inputs is written.
    EXPECT_EQ(Shell(Loomhost("anaglyph " + dir.File("l.png") + " " + dir.File("r.png") + " -o " +
                             dir.File("out.png")),
                    err),
              0)
        << err;
}

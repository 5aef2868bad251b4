// Frame sequences split over machines: `render --frames A-B --shard K/N`, Slurm job arrays,
// --resume and the manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/core/jobs/frame_range.h"
#include "app/core/jobs/render_sequence.h"
#include "tests/support/cli_fixture.h"

namespace fs = std::filesystem;

namespace {

using loom::FrameRange;
using loom::Shard;

TEST(ShardOfRange, PartsAreContiguousNearEqualAndCoverTheRangeOnce) {
    for (const FrameRange range : {FrameRange{0, 0}, FrameRange{0, 9}, FrameRange{5, 41},
                                   FrameRange{100, 1099}, FrameRange{0, loom::kMaxFrame}}) {
        const long long total = static_cast<long long>(range.last) - range.first + 1;
        for (int count : {1, 2, 3, 7, 10, 37, 1000}) {
            SCOPED_TRACE(std::to_string(range.first) + "-" + std::to_string(range.last) + " in " +
                         std::to_string(count));
            long long next = range.first;
            long long smallest = total, largest = 0;
            int empty = 0;
            for (int k = 0; k < count; ++k) {
                const auto part = loom::ShardOfRange(range, Shard{k, count});
                if (!part) {
                    ++empty;
                    smallest = 0;
                    continue;
                }
                EXPECT_EQ(part->first, next);
                EXPECT_LE(part->first, part->last);
                const long long size = static_cast<long long>(part->last) - part->first + 1;
                smallest = std::min(smallest, size);
                largest = std::max(largest, size);
                next = static_cast<long long>(part->last) + 1;
            }
            EXPECT_EQ(next, static_cast<long long>(range.last) + 1);
            EXPECT_LE(largest - smallest, 1);
            EXPECT_EQ(empty, total < count ? count - total : 0);
        }
    }
}

/// Every frame of `list`, in order.
std::vector<int> FramesOf(const loom::FrameList& list) {
    std::vector<int> frames;
    list.ForEach([&](long long position, int f) {
        EXPECT_EQ(position, static_cast<long long>(frames.size()));
        frames.push_back(f);
    });
    return frames;
}

TEST(ParseFrameList, ReadsFramesRangesAndStepsInAnyOrder) {
    const loom::FrameList list = loom::ParseFrameList("7-20:2,5,1-3", "--frames");
    EXPECT_EQ(FramesOf(list), (std::vector<int>{1, 2, 3, 5, 7, 9, 11, 13, 15, 17, 19}));
    EXPECT_EQ(list.Count(), 11);
    EXPECT_EQ(list.Last(), 19);
    EXPECT_FALSE(list.Contiguous());
    // Its text reads back as the same frames.
    EXPECT_EQ(list.Text(), "1-3,5,7-19:2");
    EXPECT_EQ(FramesOf(loom::ParseFrameList(list.Text(), "--frames")), FramesOf(list));
    const loom::FrameList range = loom::ParseFrameList("4-6", "--frames");
    EXPECT_TRUE(range.Contiguous());
    EXPECT_EQ(range.Text(), "4-6");
    EXPECT_EQ(FramesOf(loom::ParseFrameList("9", "--frames")), std::vector<int>{9});
    EXPECT_EQ(loom::ParseFrameList("0-13421772:1000000", "--frames").Count(), 14);
}

TEST(ParseFrameList, NamesThePartAtFault) {
    for (const auto& [text, message] : std::map<std::string, std::string>{
             {"1-3,,5", "'': an empty part"},
             {"1-3,x", "'x': 'x' is not a frame number"},
             {"1-3,9-5", "'9-5': the last frame is before the first"},
             {"1-3,5-9:0", "'5-9:0': step '0' is not a whole number"},
             {"1-3,5-9:x", "'5-9:x': step 'x'"},
             {"1-3,5:2", "'5:2': a step needs a range"},
             {"1-3,0-99999999", "frame '99999999' is out of range"},
             {"1-10,5", "'5' overlaps '1-10'"},
             {"0-20:2,1-21:2", "'1-21:2' overlaps '0-20:2'"},
             {"x", "expected FIRST-LAST"},
         }) {
        SCOPED_TRACE(text);
        try {
            loom::ParseFrameList(text, "--frames");
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("--frames '" + text + "': ", 0), 0u) << what;
            EXPECT_NE(what.find(message), std::string::npos) << what;
        }
    }
}

TEST(ShardOfList, PartsFollowOneAnotherThroughTheListAndMatchShardsOfARange) {
    const loom::FrameList list = loom::ParseFrameList("0-3,10-30:5,40,50-52", "--frames");
    for (int count : {1, 2, 3, 4, 13, 20}) {
        SCOPED_TRACE(count);
        std::vector<int> joined;
        for (int k = 0; k < count; ++k) {
            const auto part = loom::ShardOfList(list, Shard{k, count});
            if (!part) continue;
            const std::vector<int> frames = FramesOf(*part);
            EXPECT_LE(frames.size(), static_cast<size_t>(list.Count() / count + 1));
            joined.insert(joined.end(), frames.begin(), frames.end());
        }
        EXPECT_EQ(joined, FramesOf(list));
    }
    // A range splits as ShardOfRange splits it.
    const auto part = loom::ShardOfList(loom::FrameList(FrameRange{5, 41}), Shard{2, 7});
    const auto same = loom::ShardOfRange(FrameRange{5, 41}, Shard{2, 7});
    ASSERT_TRUE(part && same);
    EXPECT_EQ(part->Text(), std::to_string(same->first) + "-" + std::to_string(same->last));
}

TEST(ShardFileName, MarksThePartBeforeTheExtensionSoThatPartsSortInOrder) {
    using loom::ShardFileName;
    EXPECT_EQ(ShardFileName("trip.mkv", {0, 1}), "trip.part0-of-1.mkv");
    EXPECT_EQ(ShardFileName("out/trip.v2.mp4", {3, 12}), "out/trip.v2.part03-of-12.mp4");
    EXPECT_EQ(ShardFileName("trip.mkv", {9, 10}), "trip.part9-of-10.mkv");
    EXPECT_EQ(ShardFileName("trip.mkv", {7, 101}), "trip.part007-of-101.mkv");
    std::vector<std::string> names;
    for (int k = 0; k < 12; ++k) names.push_back(ShardFileName("a.mkv", {k, 12}));
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

TEST(ParseShard, AcceptsKOfNAndRefusesTheRest) {
    const Shard s = loom::ParseShard("3/8", "--shard");
    EXPECT_EQ(s.index, 3);
    EXPECT_EQ(s.count, 8);
    for (const auto& [text, message] : std::map<std::string, std::string>{
             {"8/8", "must be below N (0..7)"},
             {"0/0", "N must be 1 or more"},
             {"3", "expected K/N"},
             {"-1/4", "whole numbers"},
             {"1/x", "whole numbers"},
             {"1.5/4", "whole numbers"},
             {"0/99999999999", "whole numbers"},
             {"/4", "whole numbers"},
         }) {
        SCOPED_TRACE(text);
        try {
            loom::ParseShard(text, "--shard");
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("--shard '" + text + "'"), std::string::npos) << what;
            EXPECT_NE(what.find(message), std::string::npos) << what;
        }
    }
}

TEST(ShardFromSlurm, TakesTheTaskAmongTheArray) {
    using Env = std::map<std::string, std::string>;
    auto shard = [](const Env& env) {
        return loom::ShardFromSlurm([&env](const char* name) -> const char* {
            auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        });
    };
    EXPECT_FALSE(shard({}));
    EXPECT_FALSE(shard({{"SLURM_ARRAY_TASK_COUNT", "3"}}));
    // A task that cannot know its part refuses rather than render the whole range.
    try {
        shard({{"SLURM_ARRAY_TASK_ID", "3"}});
        ADD_FAILURE() << "a task id without a count was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("SLURM_ARRAY_TASK_COUNT is not"), std::string::npos)
            << e.what();
    }
    auto s = shard({{"SLURM_ARRAY_TASK_ID", "12"},
                    {"SLURM_ARRAY_TASK_MIN", "10"},
                    {"SLURM_ARRAY_TASK_COUNT", "5"}});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->index, 2);
    EXPECT_EQ(s->count, 5);
    // --array=1-9:2 runs tasks 1, 3, 5, 7, 9.
    s = shard({{"SLURM_ARRAY_TASK_ID", "7"},
               {"SLURM_ARRAY_TASK_MIN", "1"},
               {"SLURM_ARRAY_TASK_STEP", "2"},
               {"SLURM_ARRAY_TASK_COUNT", "5"}});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->index, 3);
    for (const Env& bad : {
             Env{{"SLURM_ARRAY_TASK_ID", "5"}, {"SLURM_ARRAY_TASK_COUNT", "5"}},
             Env{{"SLURM_ARRAY_TASK_ID", "2"},
                 {"SLURM_ARRAY_TASK_MIN", "3"},
                 {"SLURM_ARRAY_TASK_COUNT", "5"}},
             Env{{"SLURM_ARRAY_TASK_ID", "x"}, {"SLURM_ARRAY_TASK_COUNT", "5"}},
             Env{{"SLURM_ARRAY_TASK_ID", "0"}, {"SLURM_ARRAY_TASK_COUNT", "0"}},
         }) {
        EXPECT_THROW(shard(bad), std::runtime_error);
    }
}

class ShardCli : public loomtest::CliFixture {
  protected:
    void TearDown() override {
        for (const char* name : {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_MIN",
                                 "SLURM_ARRAY_TASK_COUNT", "SLURM_ARRAY_TASK_STEP"}) {
            ::unsetenv(name);
        }
        CliFixture::TearDown();
    }
    /// Every file of `folder`, by name.
    static std::map<std::string, std::string> Files(const fs::path& folder) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(folder)) {
            std::ifstream in(e.path(), std::ios::binary);
            files[e.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
        }
        return files;
    }
};

TEST_F(ShardCli, ShardsTogetherWriteWhatOneRenderWrites) {
    // Every texture: each shard starts in a fresh process, where the whole render's later
    // frames follow earlier ones in the same process.
    // Each animated by a key, so that every frame differs.
    for (const auto& [cls, keys] : std::map<std::string, std::string>{
             {"nimbra", "--key \"U Shift@0=1\" --key \"U Shift@9=30\""},
             {"voltrane", "--key Shear@0=100 --key Shear@9=100.7"},
             {"fervix", "--key \"U Offset@0=0.1\" --key \"U Offset@9=0.9\""},
             {"lumidot", "--key \"Horizontal Phase@0=1\" --key \"Horizontal Phase@9=30\""}}) {
        SCOPED_TRACE(cls);
        const fs::path root = dir / cls;
        const std::string common =
            "render " + cls + " " + keys + " --size 12x10 --output color,mono --frames 3-9 ";
        fs::create_directories(root / "whole");
        fs::create_directories(root / "parts");
        loomtest::CliResult whole = Run(common + "-o " + (root / "whole" / "f.png").string());
        ASSERT_EQ(whole.status, 0) << whole.err;
        std::set<std::string> seen;
        for (int k = 0; k < 3; ++k) {
            fs::path own = root / ("part" + std::to_string(k));
            fs::create_directories(own);
            loomtest::CliResult r =
                Run(common + "--shard " + std::to_string(k) + "/3 -o " + (own / "f.png").string());
            ASSERT_EQ(r.status, 0) << r.err;
            for (const auto& [name, bytes] : Files(own)) {
                EXPECT_TRUE(seen.insert(name).second) << name << " written by two shards";
                std::ofstream(root / "parts" / name, std::ios::binary) << bytes;
            }
        }
        EXPECT_EQ(seen.size(), 14u);
        const auto files = Files(root / "whole");
        EXPECT_EQ(Files(root / "parts"), files);
        EXPECT_NE(files.at("f_0003.png"), files.at("f_0009.png")) << "not animated";
    }

    // More shards than frames: the first ones write nothing and succeed.
    fs::create_directories(dir / "few");
    loomtest::CliResult empty =
        Run("render nimbra --size 2x2 --frames 0-1 --shard 0/3 -o " + (dir / "few/f.png").string());
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_NE(empty.err.find("no frames"), std::string::npos) << empty.err;
    EXPECT_TRUE(fs::is_empty(dir / "few"));
}

TEST_F(ShardCli, SlurmArrayTaskPicksTheShardUnlessOneIsGiven) {
    ::setenv("SLURM_ARRAY_TASK_ID", "11", 1);
    ::setenv("SLURM_ARRAY_TASK_MIN", "10", 1);
    ::setenv("SLURM_ARRAY_TASK_COUNT", "2", 1);
    loomtest::CliResult r = Run("render nimbra --size 2x2 --frames 0-3 -o " + Path("a.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("shard 1/2 of frames 0-3: frames 2-3"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("a_0001.png")));
    EXPECT_TRUE(fs::exists(Path("a_0002.png")));
    EXPECT_TRUE(fs::exists(Path("a_0003.png")));
    // --shard wins over the environment; a single image ignores it.
    r = Run("render nimbra --size 2x2 --frames 0-3 --shard 0/2 -o " + Path("b.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(Path("b_0001.png")));
    EXPECT_FALSE(fs::exists(Path("b_0002.png")));
    r = Run("render nimbra --size 2x2 -o " + Path("c.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(Path("c.png")));

    ::setenv("SLURM_ARRAY_TASK_ID", "12", 1);
    r = Run("render nimbra --size 2x2 --frames 0-3 -o " + Path("d.png"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("Slurm array task 12"), std::string::npos) << r.err;
    r = Run("render nimbra --size 2x2 --shard 0/2 -o " + Path("e.png"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--shard needs --frames"), std::string::npos) << r.err;
}

}  // namespace

namespace {

std::string Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(ShardCli, ResumeKeepsCompleteFramesAndRendersTheRest) {
    const std::string common = "render nimbra --size 8x6 --key \"U Shift@5=1\" --frames 0-4 -o ";
    loomtest::CliResult r = Run(common + Path("ref.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run(common + Path("f.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    // Frame 1 is a complete picture of the right size (another one): --resume keeps it.
    fs::copy_file(Path("ref_0003.png"), Path("f_0001.png"), fs::copy_options::overwrite_existing);
    fs::remove(Path("f_0002.png"));
    {
        // Frame 3 was cut short; frame 4 is of another size.
        std::string cut = Bytes(Path("ref_0003.png"));
        std::ofstream(Path("f_0003.png"), std::ios::binary | std::ios::trunc)
            << cut.substr(0, cut.size() / 2);
    }
    r = Run("render nimbra --size 4x4 --frames 4-4 -o " + Path("f.png"));
    ASSERT_EQ(r.status, 0) << r.err;

    r = Run(common + Path("f.png") + " --resume");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("2 of 5 frames complete already"), std::string::npos) << r.err;
    // The frames there that are not complete are named with why; a missing one is not.
    EXPECT_NE(r.err.find(Path("f_0003.png") + ": cannot read image"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(Path("f_0004.png") + ": 4x4, not 8x6"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("f_0002.png"), std::string::npos) << r.err;
    EXPECT_EQ(Bytes(Path("f_0001.png")), Bytes(Path("ref_0003.png")));
    for (int f : {0, 2, 3, 4}) {
        const std::string name = "_000" + std::to_string(f) + ".png";
        EXPECT_EQ(Bytes(Path("f" + name)), Bytes(Path("ref" + name))) << f;
    }
    // Nothing left: nothing is loaded or written.
    r = Run(common + Path("ref.png") + " --resume");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("5 of 5 frames complete already"), std::string::npos) << r.err;
    r = Run("render nimbra --size 2x2 --resume -o " + Path("one.png"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--resume needs --frames"), std::string::npos) << r.err;
}

TEST_F(ShardCli, ManifestSaysHowTheFramesWereMade) {
    loomtest::CliResult r =
        Run("render nimbra --preset Martian --set \"U Scale=3\" --set Sky=map:fervix --key "
            "\"V Shift@8=2\" --size 5x4 --output color,mono --bits 16 --frames 2-9 --shard 1/3 "
            "--manifest " +
            Path("m.json") + " -o " + Path("f.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json m = nlohmann::json::parse(Bytes(Path("m.json")));
    EXPECT_EQ(m["class"], "nimbra");
    const auto command = m["command"].get<std::vector<std::string>>();
    EXPECT_NE(std::find(command.begin(), command.end(), "--shard"), command.end());
    EXPECT_EQ(command.back(), Path("f.png"));
    EXPECT_EQ(m["size"], nlohmann::json({5, 4}));
    EXPECT_EQ(m["bits"], 16);
    EXPECT_EQ(m["frames"], nlohmann::json({{"first", 2}, {"last", 9}}));
    EXPECT_EQ(m["shard"], nlohmann::json({{"index", 1}, {"count", 3}}));
    EXPECT_EQ(m["rendered"], nlohmann::json({{"first", 4}, {"last", 6}}));
    EXPECT_EQ(m["presets"], nlohmann::json({"Martian"}));
    EXPECT_EQ(m["keys"], nlohmann::json({"V Shift@8=2"}));
    EXPECT_EQ(m["parameters"]["U Scale"], "3");
    EXPECT_TRUE(m["parameters"].contains("Sky.U Scale"));
    EXPECT_EQ(m["maps"].size(), 1u);
    EXPECT_EQ(m["files"]["mono"], Path("f_mono_%04d.png"));
    char name[64];
    std::snprintf(name, sizeof name, m["files"]["color"].get<std::string>().c_str(), 6);
    EXPECT_TRUE(fs::exists(name)) << name;
    EXPECT_FALSE(fs::exists(Path("f_0007.png")));

    // Read back, it says the same.
    loom::RecordedManifest read;
    std::string err;
    ASSERT_TRUE(loom::ReadRenderManifest(Path("m.json"), read, err)) << err;
    EXPECT_EQ(read.manifest.className, "nimbra");
    EXPECT_EQ(read.manifest.command, command);
    EXPECT_EQ(read.manifest.width, 5);
    EXPECT_EQ(read.manifest.height, 4);
    EXPECT_EQ(read.manifest.bits, 16);
    EXPECT_EQ(read.manifest.outputs, (std::vector<std::string>{"color", "mono"}));
    EXPECT_EQ(read.manifest.files[1], Path("f_mono_%04d.png"));
    EXPECT_EQ(read.manifest.firstFrame, 2);
    EXPECT_EQ(read.manifest.runLast, 6);
    EXPECT_TRUE(read.manifest.sharded);
    EXPECT_EQ(read.manifest.shardCount, 3);
    EXPECT_EQ(read.manifest.keys, (std::vector<std::string>{"V Shift@8=2"}));
    EXPECT_EQ(read.maps.size(), 1u);
    EXPECT_NE(std::find(read.parameters.begin(), read.parameters.end(),
                        std::pair<std::string, std::string>("U Scale", "3")),
              read.parameters.end());
}

TEST_F(ShardCli, AFrameListRendersItsFramesAndTheManifestSaysWhich) {
    // Frames 1, 2, 3, 5, 7 and 9; the second of two shards renders 5, 7 and 9.
    const std::string common = "render nimbra --size 3x2 --frames 7-10:2,1-3,5 ";
    loomtest::CliResult r =
        Run(common + "--shard 1/2 --manifest " + Path("m.json") + " -o " + Path("f.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("frames 7-10:2,1-3,5: frames 5,7-9:2"), std::string::npos) << r.err;
    std::set<std::string> written;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() == ".png") written.insert(e.path().filename().string());
    }
    EXPECT_EQ(written, (std::set<std::string>{"f_0005.png", "f_0007.png", "f_0009.png"}));
    const nlohmann::json m = nlohmann::json::parse(Bytes(Path("m.json")));
    EXPECT_EQ(m["frames"], nlohmann::json({{"first", 1}, {"last", 9}, {"list", "1-3,5,7-9:2"}}));
    EXPECT_EQ(m["rendered"], nlohmann::json({{"first", 5}, {"last", 9}, {"list", "5,7-9:2"}}));
    loom::RecordedManifest read;
    std::string err;
    ASSERT_TRUE(loom::ReadRenderManifest(Path("m.json"), read, err)) << err;
    EXPECT_EQ(read.manifest.frameList, "1-3,5,7-9:2");
    // The other shard's frames are those of the list a single run renders.
    r = Run(common + "--shard 0/2 -o " + Path("f.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run(common + "-o " + Path("g.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (int f : {1, 2, 3, 5, 7, 9}) {
        char name[32];
        std::snprintf(name, sizeof name, "_%04d.png", f);
        EXPECT_EQ(Bytes(Path(std::string("f") + name)), Bytes(Path(std::string("g") + name))) << f;
    }
    EXPECT_FALSE(fs::exists(Path("g_0004.png")));
}

TEST_F(ShardCli, ResumeRefusesFramesMadeWithOtherSettingsNamingThem) {
    const std::string frames =
        "render nimbra --size 6x4 --frames 0-5 --shard 1/2 --manifest " + Path("m.json") + " ";
    const std::string out = " -o " + Path("f.png");
    loomtest::CliResult r = Run(frames + "--set Detail=5 --key \"U Shift@5=2\"" + out);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kept = Bytes(Path("f_0003.png"));
    fs::remove(Path("f_0004.png"));
    const std::string recorded = Bytes(Path("m.json"));
    struct Case {
        std::string args, says;
    };
    for (const Case& c : std::vector<Case>{
             {"--set Detail=3 --key \"U Shift@5=2\"", "Detail: 5 -> 3"},
             {"--set Detail=5 --key \"U Shift@5=2\" --bits 16", "bits: 8 -> 16"},
             {"--set Detail=5 --key \"U Shift@5=3\"", "keys: U Shift@5=2 -> U Shift@5=3"},
             {"--set Detail=5 --key \"U Shift@5=2\" --output color,mono", "outputs: color -> "},
             {"--set Detail=5 --key \"U Shift@5=2\" --seed 9", "seed: 0 -> 9"},
             {"--set Detail=5 --key \"U Shift@5=2\" --set Sky=map:fervix",
              "map Sky: none -> TLC Fervix"},
         }) {
        SCOPED_TRACE(c.args);
        r = Run(frames + c.args + " --resume" + out);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(Path("m.json") + ": the frames there were made otherwise"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--resume=force"), std::string::npos) << r.err;
        // Nothing was rendered, the manifest is as it was.
        EXPECT_FALSE(fs::exists(Path("f_0004.png")));
        EXPECT_EQ(Bytes(Path("m.json")), recorded);
    }
    // Another version of a plug-in made the frames.
    nlohmann::json older = nlohmann::json::parse(recorded);
    ASSERT_TRUE(older["plugins"].contains("nimbra.so")) << older.dump();
    older["plugins"]["nimbra.so"] = "1";
    std::ofstream(Path("m.json"), std::ios::binary | std::ios::trunc) << older.dump(2);
    r = Run(frames + "--set Detail=5 --key \"U Shift@5=2\" --resume" + out);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("plug-in nimbra.so: 1 -> "), std::string::npos) << r.err;
    // Forced, the frames there are kept, the missing one made with what is asked, and the
    // differences said.
    r = Run(frames + "--set Detail=3 --key \"U Shift@5=2\" --resume=force" + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Detail: 5 -> 3"), std::string::npos) << r.err;
    EXPECT_EQ(Bytes(Path("f_0003.png")), kept);
    EXPECT_TRUE(fs::exists(Path("f_0004.png")));
    // The same settings go on.
    fs::remove(Path("f_0004.png"));
    r = Run(frames + "--set Detail=3 --key \"U Shift@5=2\" --resume" + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("2 of 3 frames complete already"), std::string::npos) << r.err;
    r = Run(frames + "--resume=later" + out);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--resume=later: use --resume, or --resume=force"), std::string::npos)
        << r.err;
}

TEST(ManifestDifferences, ALoopsRangeAndTileCountButAnotherShardDoesNot) {
    loom::RecordedManifest recorded;
    recorded.manifest.width = 8;
    recorded.manifest.height = 8;
    recorded.manifest.tile = recorded.manifest.loop = true;
    recorded.manifest.firstFrame = 0;
    recorded.manifest.lastFrame = 47;
    recorded.parameters = {{"Detail", "7"}, {"Sky.Phase", "0"}};
    recorded.maps = {{"Sky", "TLC Fervix"}};
    loom::RecordedManifest asked = recorded;
    asked.manifest.sharded = true;
    asked.manifest.shardIndex = 3;
    asked.manifest.shardCount = 4;
    asked.manifest.runFirst = 36;
    EXPECT_TRUE(loom::ManifestDifferences(recorded, asked).empty());
    // A loop over another range shifts each frame otherwise.
    asked.manifest.lastFrame = 59;
    EXPECT_EQ(loom::ManifestDifferences(recorded, asked),
              std::vector<std::string>{"looping frames: 0-47 -> 0-59"});
    asked.manifest.loop = false;
    EXPECT_EQ(loom::ManifestDifferences(recorded, asked),
              std::vector<std::string>{"tile: 1x1 looping -> 1x1"});
    // Another class in a slot is one difference, not one a parameter.
    asked = recorded;
    asked.maps = {{"Sky", "TLC Lumidot"}};
    asked.parameters = {{"Detail", "7"}, {"Sky.Size", "2"}};
    EXPECT_EQ(loom::ManifestDifferences(recorded, asked),
              std::vector<std::string>{"map Sky: TLC Fervix -> TLC Lumidot"});
}

TEST_F(ShardCli, ManifestRecordsTheKeysOfAScenesAnimatedParameters) {
    loomtest::CliResult r =
        Run("scene new " + Path("anim.loom") +
            " nimbra --key \"U Shift@0=1\" --key \"U Shift@9=30\" --set Sky=map:fervix --key "
            "\"Sky.U Offset@4.5=0.25\"");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string common = "render --scene " + Path("anim.loom") +
                               " --size 4x4 --frames 0-1 --manifest " + Path("m.json") + " -o ";
    r = Run(common + Path("s.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json m = nlohmann::json::parse(Bytes(Path("m.json")));
    EXPECT_EQ(m["keys"], nlohmann::json({"U Shift@0=1", "U Shift@9=30", "Sky.U Offset@4.5=0.25"}));
    // A scene whose keys changed is another animation: its frames are not kept.
    r = Run("scene set " + Path("anim.loom") + " --key \"U Shift@9=31\"");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run(common + Path("s.png") + " --resume");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("U Shift@9=30"), std::string::npos) << r.err;
}

TEST_F(ShardCli, ResumeRefusesAManifestThatIsDamagedOrNotOneOfThisProgram) {
    const std::string common =
        "render nimbra --size 3x2 --frames 1-3 --resume --manifest " + Path("m.json") + " -o ";
    // No manifest yet, then the one the first run wrote: both go on.
    loomtest::CliResult r = Run(common + Path("f.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run(common + Path("f.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string good = Bytes(Path("m.json"));
    const struct {
        std::string text, says;
    } bad[] = {
        {good.substr(0, good.size() / 2), "not JSON"},
        {"{\"format\": \"something else\", \"version\": 1}", "not a render manifest"},
        {"[1, 2, 3]", "not a render manifest"},
        {"{\"format\": \"loomhost render manifest\", \"version\": 7}", "another version"},
        {"{\"format\": \"loomhost render manifest\", \"version\": 1}", "no \"command\""},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.text.substr(0, 60));
        std::ofstream(Path("m.json"), std::ios::binary) << b.text;
        fs::remove(Path("f_0002.png"));
        r = Run(common + Path("f.png"));
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(Path("m.json")), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(b.says), std::string::npos) << r.err;
        // Neither the manifest nor a frame was written.
        EXPECT_EQ(Bytes(Path("m.json")), b.text);
        EXPECT_FALSE(fs::exists(Path("f_0002.png")));
    }
    // A field of the wrong type, found anywhere in an otherwise good manifest.
    nlohmann::json j = nlohmann::json::parse(good);
    j["frames"]["last"] = "three";
    std::string err;
    loom::RecordedManifest read;
    EXPECT_FALSE(loom::ParseRenderManifest("m.json", j.dump(), read, err));
    EXPECT_NE(err.find("frames.last"), std::string::npos) << err;
}

}  // namespace

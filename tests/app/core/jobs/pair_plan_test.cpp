// The pairs an anaglyph job plans: frames of patterns (a range, a shard of it), folders of
// pairs, one still, and the mistakes refused before anything is read or written.
#include "app/core/jobs/pair_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/app_fixture.h"

namespace fs = std::filesystem;
using namespace loom::stereo;

namespace {

class PairPlan : public loomtest::TempFolderTest {
  protected:
    PairPlanRequest Patterns() {
        PairPlanRequest r;
        r.left = P("l_%04d.png");
        r.right = P("r_%04d.png");
        r.output = P("a_%04d.png");
        return r;
    }
    static std::string Thrown(const PairPlanRequest& r) {
        return loomtest::MessageOf([&] { PlanPairJobs(r); });
    }
};

TEST_F(PairPlan, PatternsPlanTheFramesOnDiskOrTheRangeGiven) {
    for (const char* n : {"l_0003.png", "l_0005.png", "r_0003.png"}) Touch(n);
    PairPlanRequest r = Patterns();
    std::vector<PairJob> jobs = PlanPairJobs(r);
    // From the first to the last left frame on disk; a missing frame is named when run.
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[1].source.left, P("l_0004.png"));
    EXPECT_EQ(jobs[1].source.right, P("r_0004.png"));
    EXPECT_EQ(jobs[1].output, P("a_0004.png"));
    EXPECT_EQ(jobs[1].label, "frame 4");
    r.frames = "10-11";
    jobs = PlanPairJobs(r);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].output, P("a_0010.png"));
}

TEST_F(PairPlan, AShardPlansItsPartAndReportsIt) {
    PairPlanRequest r = Patterns();
    r.frames = "0-9";
    r.shard = "2/3";
    std::vector<std::string> reports;
    const ShardReport report = [&](const loom::Shard& s, const loom::FrameList& whole,
                                   const std::optional<loom::FrameList>& part) {
        reports.push_back(std::to_string(s.index) + "/" + std::to_string(s.count) + " " +
                          whole.Text() + " " + (part ? part->Text() : "none"));
    };
    std::vector<PairJob> jobs = PlanPairJobs(r, report);
    ASSERT_EQ(jobs.size(), 4u);
    EXPECT_EQ(jobs.front().label, "frame 6");
    EXPECT_EQ(jobs.back().label, "frame 9");
    // More shards than frames: this one has none, and says so.
    r.frames = "0-1";
    r.shard = "0/3";
    EXPECT_TRUE(PlanPairJobs(r, report).empty());
    // A list is split by position: frames 0, 3, 6, 9 and 20, the second part the last three.
    r.frames = "20,0-10:3";
    r.shard = "1/2";
    jobs = PlanPairJobs(r, report);
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].output, P("a_0006.png"));
    EXPECT_EQ(jobs[2].output, P("a_0020.png"));
    EXPECT_EQ(reports,
              (std::vector<std::string>{"2/3 0-9 6-9", "0/3 0-1 none", "1/2 0-9:3,20 6-9:3,20"}));
}

TEST_F(PairPlan, FoldersPairByNameAndTheOutputFolderIsMade) {
    for (const char* n : {"L/b.png", "L/a.jpg", "R/a.png", "R/b.tif"}) Touch(n);
    PairPlanRequest r;
    r.left = P("L");
    r.right = P("R");
    r.output = P("out");
    r.format = "tif";
    const std::vector<PairJob> jobs = PlanPairJobs(r);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].output, P("out/a.tif"));
    EXPECT_EQ(jobs[0].label, "a");
    EXPECT_EQ(jobs[1].source.right, P("R/b.tif"));
    EXPECT_TRUE(fs::is_directory(dir / "out"));
    r.format = "gif";
    EXPECT_NE(Thrown(r).find("--format 'gif'"), std::string::npos);
}

TEST_F(PairPlan, MistakesAreRefusedNamingTheOption) {
    Touch("l.png");
    Touch("r.png");
    PairPlanRequest still;
    still.left = P("l.png");
    still.right = P("r.png");
    still.output = P("a.png");
    const std::vector<PairJob> jobs = PlanPairJobs(still);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].output, still.output);
    EXPECT_TRUE(jobs[0].label.empty());

    struct Case {
        PairPlanRequest request;
        const char* says;
    };
    PairPlanRequest framesOfStill = still;
    framesOfStill.frames = "0-3";
    PairPlanRequest shardOfStill = still;
    shardOfStill.shard = "0/2";
    PairPlanRequest stillToPattern = still;
    stillToPattern.output = P("a_%04d.png");
    PairPlanRequest patternToStill = Patterns();
    patternToStill.frames = "0-1";
    patternToStill.output = P("a.png");
    PairPlanRequest noRight = Patterns();
    noRight.frames = "0-1";
    noRight.right.clear();
    PairPlanRequest inPlace = Patterns();
    inPlace.frames = "0-1";
    inPlace.output = inPlace.right;
    PairPlanRequest tooMany = Patterns();
    tooMany.frames = "0-1000000";
    // Views that are not there are named before anything of the output.
    PairPlanRequest noFolders;
    noFolders.left = P("nolefts/");
    noFolders.right = P("norights/");
    noFolders.output = P("out/");
    PairPlanRequest noRightFile = still;
    noRightFile.right = P("nor.png");
    noRightFile.output = P("out/");
    const std::string bothMissing = P("nolefts/") + " and " + P("norights/") + ": no such files";
    const std::string rightMissing = P("nor.png") + ": no such file or folder (the right view)";
    for (const Case& c :
         {Case{noFolders, bothMissing.c_str()}, Case{noRightFile, rightMissing.c_str()},
          Case{framesOfStill, "--frames takes LEFT"}, Case{shardOfStill, "--shard takes LEFT"},
          Case{stillToPattern, "-o is a frame pattern but LEFT is one picture"},
          Case{patternToStill, "-o must be a frame pattern too"},
          Case{noRight, "give the right-eye pattern too"},
          Case{inPlace, "is an input and the output"}, Case{tooMany, "at most 1000000 frames"}}) {
        SCOPED_TRACE(c.says);
        EXPECT_NE(Thrown(c.request).find(c.says), std::string::npos) << Thrown(c.request);
    }
}

}  // namespace

// Filter entries in scene files: the class and configuration bytes of each video-post
// filter come back as written; damaged lists are refused and leave the scene empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "foundation/host/sdk/scene_io.h"

namespace {

loom::FilterEntry Entry(const std::string& name, std::vector<std::uint8_t> bytes) {
    loom::FilterEntry e;
    e.name = name;
    e.superClass = 0xE00;
    e.classId = Class_ID(0x5B301A8A, 0x71787E6A);
    e.configuration = std::move(bytes);
    return e;
}

bool Same(const loom::FilterEntry& a, const loom::FilterEntry& b) {
    return a.name == b.name && a.superClass == b.superClass && a.classId == b.classId &&
           a.configuration == b.configuration;
}

}  // namespace

TEST(SceneFilters, EntriesComeBackAsWritten) {
    loom::SceneHolder scene;
    scene.SetFilter(Entry("stereo", {2, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    scene.SetFilter(Entry("empty", {}));
    scene.SetFilter(Entry("stereo", {0, 1, 0, 0, 9, 9, 9, 9, 9, 9, 9, 9}));  // replaced in place
    ASSERT_EQ(scene.Filters().size(), 2u);
    EXPECT_EQ(scene.FindFilter("empty"), 1);
    EXPECT_EQ(scene.FindFilter("none"), -1);
    EXPECT_EQ(scene.Find("stereo"), -1);  // roots are a separate list

    std::vector<std::uint8_t> bytes = loom::SaveSceneBytes(scene);
    loom::SceneHolder back;
    loom::SceneLoadReport report;
    std::string err;
    ASSERT_TRUE(loom::LoadSceneBytes(bytes.data(), bytes.size(), back, report, err)) << err;
    ASSERT_EQ(back.Filters().size(), 2u);
    for (size_t i = 0; i < 2; ++i) EXPECT_TRUE(Same(back.Filters()[i], scene.Filters()[i])) << i;
    EXPECT_EQ(back.Count(), 0);
    back.Clear();
    EXPECT_TRUE(back.Filters().empty());
}

TEST(SceneFilters, DamagedListsAreRefusedAndLeaveNothing) {
    loom::SceneHolder scene;
    scene.SetFilter(Entry("aa", {1, 2, 3}));
    scene.SetFilter(Entry("ab", {4, 5}));
    std::vector<std::uint8_t> bytes = loom::SaveSceneBytes(scene);
    // Every cut inside the filter list fails (a cut after a complete top-level chunk is
    // a scene without that chunk, which is valid only when the list is what is missing).
    size_t plain = loom::SaveSceneBytes(loom::SceneHolder()).size();
    for (size_t cut = plain + 1; cut < bytes.size(); ++cut) {
        loom::SceneHolder back;
        loom::SceneLoadReport report;
        std::string err;
        EXPECT_FALSE(loom::LoadSceneBytes(bytes.data(), cut, back, report, err)) << cut;
        EXPECT_TRUE(back.Filters().empty()) << cut;
    }
    // The same name twice.
    std::vector<std::uint8_t> twice = bytes;
    const char ab[] = {2, 0, 0, 0, 'a', 'b'};
    auto at = std::search(twice.begin(), twice.end(), ab, ab + sizeof ab);
    ASSERT_NE(at, twice.end());
    at[5] = 'a';
    loom::SceneHolder back;
    loom::SceneLoadReport report;
    std::string err;
    EXPECT_FALSE(loom::LoadSceneBytes(twice.data(), twice.size(), back, report, err));
    EXPECT_NE(err.find("two filter entries named 'aa'"), std::string::npos) << err;
    EXPECT_TRUE(back.Filters().empty());
    // A byte count past the end of the list.
    std::vector<std::uint8_t> longer = bytes;
    const std::uint8_t count[] = {3, 0, 0, 0, 1, 2, 3};
    auto c = std::search(longer.begin(), longer.end(), count, count + sizeof count);
    ASSERT_NE(c, longer.end());
    c[0] = 200;
    EXPECT_FALSE(loom::LoadSceneBytes(longer.data(), longer.size(), back, report, err));
    EXPECT_TRUE(back.Filters().empty());
}

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "foundation/host/sdk/io.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/uvgen.h"

using namespace loom;

TEST(Chunks, NestedChunksComeBackAsWritten) {
    ChunkWriter w;
    w.BeginChunk(0x10);
    w.BeginChunk(0x11);
    WriteU32(&w, 0xDEADBEEF);
    w.EndChunk();
    w.BeginChunk(0x12);
    WriteString(&w, "hello");
    w.EndChunk();
    w.EndChunk();
    ASSERT_TRUE(w.Balanced());
    ChunkReader r(w.Bytes().data(), w.Bytes().size());
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    EXPECT_EQ(r.CurChunkID(), 0x10);
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    std::uint32_t v;
    ASSERT_EQ(ReadU32(&r, v), IO_OK);
    EXPECT_EQ(v, 0xDEADBEEFu);
    EXPECT_EQ(ReadU32(&r, v), IO_ERROR);  // nothing left in this chunk
    r.CloseChunk();
    ASSERT_EQ(r.OpenChunk(), IO_OK);
    std::string s;
    ASSERT_EQ(ReadString(&r, s), IO_OK);
    EXPECT_EQ(s, "hello");
    r.CloseChunk();
    EXPECT_EQ(r.OpenChunk(), IO_END);
}

TEST(Chunks, LengthsBeyondTheDataAreRejected) {
    ChunkWriter w;
    w.BeginChunk(1);
    WriteU32(&w, 7);
    w.EndChunk();
    std::vector<std::uint8_t> bytes = w.Bytes();
    bytes.pop_back();  // truncated
    ChunkReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.OpenChunk(), IO_ERROR);
    std::uint8_t tiny[3] = {1, 0, 9};
    ChunkReader r2(tiny, sizeof tiny);
    EXPECT_EQ(r2.OpenChunk(), IO_ERROR);
}

namespace {

// clang-format off
const ParamBlockDescID kOld[] = {{TYPE_FLOAT, nullptr, TRUE, 0}, {TYPE_INT, nullptr, FALSE, 1}};
const ParamBlockDescID kNew[] = {{TYPE_FLOAT, nullptr, TRUE, 0}, {TYPE_INT, nullptr, FALSE, 1},
                                 {TYPE_RGBA, nullptr, TRUE, 2}};
// clang-format on
const ParamVersionDesc kOldVersions[] = {{kOld, 2, 1}};
const ParamVersionDesc kCurrent = {kNew, 3, 2};

}  // namespace

TEST(Scene, SavesAndLoadsObjectsKeysAndSharing) {
    SceneHolder scene;
    IParamBlock* pb = CreateParameterBlock(kNew, 3, 2);
    pb->SetKey(0, 0, ParamValue{{1, 0, 0}});
    pb->SetKey(0, 480, ParamValue{{5, 0, 0}});
    pb->SetValue(2, 0, Color(0.1f, 0.2f, 0.3f));
    scene.Add("block", pb);
    scene.Add("same block", pb);
    scene.Add("uv", GetNewDefaultUVGen());
    std::vector<std::uint8_t> bytes = SaveSceneBytes(scene);

    SceneHolder loaded;
    SceneLoadReport report;
    std::string err;
    ASSERT_TRUE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err)) << err;
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_EQ(loaded.Name(1), "same block");
    EXPECT_EQ(loaded.Object(0), loaded.Object(1));
    auto* lp = dynamic_cast<IParamBlock*>(loaded.Object(0));
    ASSERT_NE(lp, nullptr);
    Interval v = FOREVER;
    float f;
    lp->GetValue(0, 240, f, v);
    EXPECT_FLOAT_EQ(f, 3.0f);
    Color c;
    lp->GetValue(2, 0, c, v);
    EXPECT_EQ(c, Color(0.1f, 0.2f, 0.3f));
    EXPECT_NE(dynamic_cast<UVGen*>(loaded.Object(2)), nullptr);
    EXPECT_FALSE(report.obsolete);
}

TEST(Scene, EveryTruncationIsRejectedCleanly) {
    SceneHolder scene;
    IParamBlock* pb = CreateParameterBlock(kNew, 3, 2);
    pb->SetKey(0, 10, ParamValue{{1, 0, 0}});
    scene.Add("block", pb);
    std::vector<std::uint8_t> bytes = SaveSceneBytes(scene);
    for (size_t n = 0; n < bytes.size(); ++n) {
        SceneHolder loaded;
        SceneLoadReport report;
        std::string err;
        EXPECT_FALSE(LoadSceneBytes(bytes.data(), n, loaded, report, err)) << n;
        EXPECT_EQ(loaded.Count(), 0);
        EXPECT_FALSE(err.empty());
    }
    // A byte flipped in a length or an index must not crash either.
    for (size_t i = 12; i < bytes.size(); ++i) {
        std::vector<std::uint8_t> bad = bytes;
        bad[i] ^= 0xFF;
        SceneHolder loaded;
        SceneLoadReport report;
        std::string err;
        LoadSceneBytes(bad.data(), bad.size(), loaded, report, err);
    }
}

TEST(Scene, ForeignFilesAndUnknownClassesAreNamed) {
    SceneHolder loaded;
    SceneLoadReport report;
    std::string err;
    const std::uint8_t junk[] = "PNG not a scene at all";
    EXPECT_FALSE(LoadSceneBytes(junk, sizeof junk, loaded, report, err));
    EXPECT_EQ(err, "not a scene file");

    ChunkWriter w;
    w.Write(kSceneFileMagic, sizeof kSceneFileMagic, nullptr);
    WriteU32(&w, 1);
    w.BeginChunk(0x0001);
    w.BeginChunk(0x0010);
    w.BeginChunk(0x0011);
    WriteU32(&w, 0xC10);
    WriteU32(&w, 0x12345678);
    WriteU32(&w, 1);
    w.EndChunk();
    w.EndChunk();
    w.EndChunk();
    EXPECT_FALSE(LoadSceneBytes(w.Bytes().data(), w.Bytes().size(), loaded, report, err));
    EXPECT_NE(err.find("unknown class 0x12345678"), std::string::npos) << err;
}

TEST(Scene, SaveFailureLeavesTheOldFile) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("loom_io_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path file = dir / "scene.loom";
    { std::ofstream(file) << "old"; }
    SceneHolder scene;
    std::string err;
    EXPECT_FALSE(SaveSceneFile((dir / "missing" / "x.loom").string(), scene, err));
    EXPECT_FALSE(err.empty());
    ASSERT_TRUE(SaveSceneFile(file.string(), scene, err)) << err;
    EXPECT_GT(fs::file_size(file), 3u);
    fs::remove_all(dir);
}

/// Owner of a block converted after loading.
class BlockOwner final : public ReferenceTarget {
  public:
    SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
    int NumRefs() override { return 1; }
    RefTargetHandle GetReference(int) override { return pb; }
    void SetReference(int, RefTargetHandle t) override { pb = dynamic_cast<IParamBlock*>(t); }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    IParamBlock* pb = nullptr;
};

TEST(Scene, OlderLayoutsAreConvertedByRowId) {
    BlockOwner owner;
    IParamBlock* old = CreateParameterBlock(kOld, 2, 1);
    old->SetValue(0, 0, 4.5f);
    old->SetValue(1, 0, 3);
    owner.ReplaceReference(0, old);
    ChunkReader dummy(nullptr, 0);
    (new ParamBlockPLCB(kOldVersions, 1, &kCurrent, &owner, 0))->proc(&dummy);
    ASSERT_NE(owner.pb, old);
    EXPECT_EQ(owner.pb->GetVersion(), 2u);
    ASSERT_EQ(owner.pb->NumParams(), 3);
    Interval v = FOREVER;
    float f;
    int i;
    Color c(9, 9, 9);
    owner.pb->GetValue(0, 0, f, v);
    owner.pb->GetValue(1, 0, i, v);
    owner.pb->GetValue(2, 0, c, v);
    EXPECT_EQ(f, 4.5f);
    EXPECT_EQ(i, 3);
    EXPECT_EQ(c, Color(0, 0, 0));
    EXPECT_TRUE(dummy.Obsolete());
}

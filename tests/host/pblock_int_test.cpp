// Whole-number rows: kept exactly in the block and in scene files, read from files that
// hold them as floats, and converted one way everywhere.
#include <gtest/gtest.h>

#include <limits>

#include "foundation/host/sdk/io.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/scene_io.h"

using namespace loom;

namespace {

// clang-format off
const ParamBlockDescID kRows[] = {
    {TYPE_INT,   nullptr, TRUE, 0},
    {TYPE_FLOAT, nullptr, TRUE, 1},
};
// clang-format on

IParamBlock* SaveAndLoad(IParamBlock* pb, SceneHolder& loaded) {
    SceneHolder scene;
    scene.Add("block", pb);
    std::vector<std::uint8_t> bytes = SaveSceneBytes(scene);
    SceneLoadReport report;
    std::string err;
    EXPECT_TRUE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err)) << err;
    return loaded.Count() == 1 ? dynamic_cast<IParamBlock*>(loaded.Object(0)) : nullptr;
}

int IntAt(IParamBlock* pb, int row, TimeValue t) {
    Interval valid = FOREVER;
    int v = 0;
    pb->GetValue(row, t, v, valid);
    return v;
}

/// The bytes of a one-block scene whose int row 0 is written as old files wrote it: three
/// float32 for the constant and for each key.
std::vector<std::uint8_t> FloatIntRowScene(float constant, const std::vector<ParamKey>& keys) {
    ChunkWriter w;
    w.Write(kSceneFileMagic, sizeof kSceneFileMagic, nullptr);
    WriteU32(&w, 1);
    w.BeginChunk(0x0001);
    w.BeginChunk(0x0010);
    w.BeginChunk(0x0011);
    WriteU32(&w, PARAMETER_BLOCK_CLASS_ID);
    WriteU32(&w, 8);
    WriteU32(&w, 0);
    w.EndChunk();
    w.BeginChunk(0x0012);
    WriteU32(&w, 0);
    w.EndChunk();
    w.BeginChunk(0x0013);
    w.BeginChunk(0x0100);
    WriteU32(&w, 1);  // version
    WriteU32(&w, 1);  // rows
    w.EndChunk();
    w.BeginChunk(0x0110);
    WriteU32(&w, TYPE_INT);
    WriteU32(&w, 1);
    WriteU32(&w, 0);
    for (float c : {constant, 0.0f, 0.0f}) WriteF32(&w, c);
    WriteU32(&w, static_cast<std::uint32_t>(keys.size()));
    for (const ParamKey& k : keys) {
        WriteI32(&w, k.time);
        for (float c : k.value.v) WriteF32(&w, c);
    }
    w.EndChunk();
    w.EndChunk();
    w.EndChunk();
    w.EndChunk();
    w.BeginChunk(0x0002);
    WriteU32(&w, 1);
    WriteString(&w, "block");
    WriteI32(&w, 0);
    w.EndChunk();
    return w.Bytes();
}

}  // namespace

TEST(IntRows, ValuesBeyondFloatPrecisionSurviveBlockAndFile) {
    for (std::int32_t value : {16777217, 2147483647, -2147483647 - 1, -16777219, 0, 7}) {
        SCOPED_TRACE(value);
        IParamBlock* pb = CreateParameterBlock(kRows, 2, 1);
        pb->SetValue(0, 0, value);
        EXPECT_EQ(IntAt(pb, 0, 0), value);
        Interval valid = FOREVER;
        EXPECT_EQ(pb->GetRaw(0, 0, valid).AsInt(), value) << "listing and evaluation agree";
        SceneHolder loaded;
        IParamBlock* back = SaveAndLoad(pb, loaded);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(IntAt(back, 0, 0), value);
    }
}

TEST(IntRows, KeysInterpolateWholeNumbersExactly) {
    IParamBlock* pb = CreateParameterBlock(kRows, 2, 1);
    pb->SetKey(0, 0, ParamValue::Int(16777216));
    pb->SetKey(0, 100, ParamValue::Int(16777316));
    EXPECT_EQ(IntAt(pb, 0, 1), 16777217);  // one step of a hundred
    EXPECT_EQ(IntAt(pb, 0, 50), 16777266);
    SceneHolder loaded;
    IParamBlock* back = SaveAndLoad(pb, loaded);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->NumKeys(0), 2);
    EXPECT_EQ(back->Keys(0)[1].value.AsInt(), 16777316);
    EXPECT_EQ(IntAt(back, 0, 1), 16777217);
}

TEST(IntRows, FloatsGivenForAnIntRowRoundOneWay) {
    struct Case {
        float given;
        int stored;
    };
    for (const Case& c : {Case{2.5f, 3}, Case{-2.5f, -3}, Case{2.4999f, 2}, Case{1e10f, 2147483647},
                          Case{-1e10f, -2147483647 - 1}}) {
        SCOPED_TRACE(c.given);
        IParamBlock* pb = CreateParameterBlock(kRows, 2, 1);
        pb->SetValue(0, 0, c.given);
        Interval valid = FOREVER;
        ParamValue raw = pb->GetRaw(0, 0, valid);
        EXPECT_EQ(raw.AsInt(), c.stored);
        EXPECT_EQ(IntAt(pb, 0, 0), c.stored);
        EXPECT_EQ(raw, ParamValue::Int(c.stored));
        pb->DeleteThis();
    }
}

TEST(IntRows, FilesHoldingFloatsStillLoadAndRoundAsEvaluated) {
    std::vector<ParamKey> keys = {{0, ParamValue{{4.6f, 0, 0}}}, {160, ParamValue{{-7.5f, 0, 0}}}};
    std::vector<std::uint8_t> bytes = FloatIntRowScene(2.5f, {});
    SceneHolder loaded;
    SceneLoadReport report;
    std::string err;
    ASSERT_TRUE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err)) << err;
    auto* pb = dynamic_cast<IParamBlock*>(loaded.Object(0));
    ASSERT_NE(pb, nullptr);
    Interval valid = FOREVER;
    EXPECT_EQ(pb->GetRaw(0, 0, valid).AsInt(), 3);
    EXPECT_EQ(IntAt(pb, 0, 0), 3);

    bytes = FloatIntRowScene(0.0f, keys);
    SceneHolder keyed;
    ASSERT_TRUE(LoadSceneBytes(bytes.data(), bytes.size(), keyed, report, err)) << err;
    pb = dynamic_cast<IParamBlock*>(keyed.Object(0));
    ASSERT_NE(pb, nullptr);
    ASSERT_EQ(pb->NumKeys(0), 2);
    EXPECT_EQ(pb->Keys(0)[0].value.AsInt(), 5);
    EXPECT_EQ(pb->Keys(0)[1].value.AsInt(), -8);
    EXPECT_EQ(IntAt(pb, 0, 160), -8);
}

TEST(IntRows, FloatsOutsideTheIntRangeInAFileAreRefusedWithTheRange) {
    for (float bad : {3e9f, -3e9f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(bad);
        for (bool inKey : {false, true}) {
            std::vector<ParamKey> keys;
            if (inKey) keys.push_back({0, ParamValue{{bad, 0, 0}}});
            std::vector<std::uint8_t> bytes = FloatIntRowScene(inKey ? 1.0f : bad, keys);
            SceneHolder loaded;
            SceneLoadReport report;
            std::string err;
            EXPECT_FALSE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err));
            EXPECT_NE(err.find("row 0 (a whole number) holds"), std::string::npos) << err;
            EXPECT_NE(err.find("outside -2147483648..2147483647"), std::string::npos) << err;
        }
    }
}

TEST(IntRows, MovingAnAnimatedIntRowShiftsEveryKeyExactly) {
    IParamBlock* pb = CreateParameterBlock(kRows, 2, 1);
    pb->SetKey(0, 0, ParamValue::Int(16777216));
    pb->SetKey(0, 100, ParamValue::Int(2147483600));
    pb->SetValue(0, 50, IntAt(pb, 0, 50) + 1);  // no key at 50: the whole track moves
    EXPECT_EQ(pb->Keys(0)[0].value.AsInt(), 16777217);
    EXPECT_EQ(pb->Keys(0)[1].value.AsInt(), 2147483601);
    pb->SetValue(0, 50, IntAt(pb, 0, 50) + 100);  // the top key stops at the int range
    EXPECT_EQ(pb->Keys(0)[1].value.AsInt(), 2147483647);
    pb->DeleteThis();
}

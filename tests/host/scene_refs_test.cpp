// References in scene files: a slot given an object of the wrong type, or left empty where
// the class needs an object, is refused with the entry and the slot named, and a refused
// load deletes every object it made exactly once.
#include <gtest/gtest.h>

#include <functional>

#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/io.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/std_uvgen.h"
#include "foundation/host/sdk/uvgen.h"
#include "foundation/host/stdmaps/bitmap_tex.h"

using namespace loom;

namespace {

int gAlive = 0;

/// A registered class whose one slot takes only a parameter block, filled on creation.
class Probe final : public ReferenceTarget {
  public:
    Probe() {
        ++gAlive;
        const ParamBlockDescID row{TYPE_FLOAT, nullptr, TRUE, 0};
        ReplaceReference(0, CreateParameterBlock(&row, 1, 1));
    }
    ~Probe() override { --gAlive; }
    SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(0x7E570001, 0); }
    int NumRefs() override { return 1; }
    RefTargetHandle GetReference(int) override { return pb; }
    void SetReference(int, RefTargetHandle t) override { pb = dynamic_cast<IParamBlock*>(t); }
    TSTR SubAnimName(int i) override { return i == 0 ? "Parameters" : ""; }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    IParamBlock* pb = nullptr;
};

class ProbeDesc final : public ClassDesc {
  public:
    int IsPublic() override { return 0; }
    void* Create(BOOL) override { return static_cast<ReferenceTarget*>(new Probe()); }
    const TCHAR* ClassName() override { return "Probe"; }
    SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(0x7E570001, 0); }
    const TCHAR* Category() override { return ""; }
};
ProbeDesc gProbeDesc;
const bool gProbeRegistered = RegisterClass(&gProbeDesc);

struct ObjectRecord {
    SClass_ID superClass;
    Class_ID classId;
    std::vector<std::int32_t> refs;
    bool writeRefs = true;
};

/// A scene file laid out by hand: objects (class, references, no data) and one root.
std::vector<std::uint8_t> HandBuiltScene(const std::vector<ObjectRecord>& objects,
                                         std::int32_t root) {
    ChunkWriter w;
    w.Write(kSceneFileMagic, sizeof kSceneFileMagic, nullptr);
    WriteU32(&w, 1);
    w.BeginChunk(0x0001);
    for (const ObjectRecord& o : objects) {
        w.BeginChunk(0x0010);
        w.BeginChunk(0x0011);
        WriteU32(&w, o.superClass);
        WriteU32(&w, o.classId.PartA());
        WriteU32(&w, o.classId.PartB());
        w.EndChunk();
        if (o.writeRefs) {
            w.BeginChunk(0x0012);
            WriteU32(&w, static_cast<std::uint32_t>(o.refs.size()));
            for (std::int32_t r : o.refs) WriteI32(&w, r);
            w.EndChunk();
        }
        w.EndChunk();
    }
    w.EndChunk();
    w.BeginChunk(0x0002);
    WriteU32(&w, 1);
    WriteString(&w, "main");
    WriteI32(&w, root);
    w.EndChunk();
    return w.Bytes();
}

const ObjectRecord kBlock{PARAMETER_BLOCK_CLASS_ID, Class_ID(8, 0), {}};
ObjectRecord ProbeWith(std::vector<std::int32_t> refs) {
    return {REF_TARGET_CLASS_ID, Class_ID(0x7E570001, 0), std::move(refs)};
}

}  // namespace

TEST(SceneRefs, RefusedTargetIsNeitherHeldNorStored) {
    ASSERT_TRUE(gProbeRegistered);
    auto* owner = new Probe();
    IParamBlock* before = owner->pb;
    auto* wrong = new Probe();
    EXPECT_EQ(owner->ReplaceReference(0, wrong), REF_FAIL);
    EXPECT_EQ(owner->pb, before);
    EXPECT_EQ(wrong->NumDependents(), 0);
    EXPECT_EQ(before->NumDependents(), 1);
    DeleteUnreferenced(wrong);
    DeleteUnreferenced(owner);
    EXPECT_EQ(gAlive, 0);
}

struct BadScene {
    const char* what;
    std::vector<ObjectRecord> objects;
    std::int32_t root;
    const char* message;
};

TEST(SceneRefs, WrongTypesAndMissingBlocksAreRefusedByEntryAndSlot) {
    ASSERT_TRUE(gProbeRegistered);
    const BadScene cases[] = {
        {"a probe where a block belongs",
         {ProbeWith({1}), ProbeWith({2}), kBlock},
         0,
         "entry 'main' (object 0, Probe), slot 0 'Parameters': holds a Probe, which this slot "
         "does not take"},
        // With the wrong type accepted as null, the later failure deleted object 1 twice.
        {"a wrong type, then a reference out of range",
         {ProbeWith({1}), ProbeWith({2}), kBlock, ProbeWith({9})},
         0,
         "holds a Probe"},
        {"a wrong type in an object the root reaches through another",
         {{TEXMAP_CLASS_ID, kBitmapTexClassId, {1}},
          {UVGEN_CLASS_ID, kStdUVGenClassId, {2}},
          ProbeWith({3}),
          kBlock},
         0,
         "entry 'main' (object 1, StdUVGen), slot 0 'Parameters': holds a Probe"},
        {"an empty block slot",
         {ProbeWith({-1})},
         0,
         "(object 0, Probe), slot 0 'Parameters': missing"},
        {"no reference list",
         {{REF_TARGET_CLASS_ID, Class_ID(0x7E570001, 0), {}, false}},
         0,
         "slot 0 'Parameters': missing"},
        {"an object no entry holds",
         {ProbeWith({1}), kBlock, ProbeWith({-1})},
         0,
         "an object no entry holds (object 2, Probe), slot 0 'Parameters': missing"},
        {"a UV generator slot holding a block",
         {{TEXMAP_CLASS_ID, kBitmapTexClassId, {1}}, kBlock},
         0,
         "(object 0, Bitmap), slot 0 'Coordinates': holds a ParamBlock"},
    };
    for (const BadScene& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = HandBuiltScene(c.objects, c.root);
        SceneHolder loaded;
        SceneLoadReport report;
        std::string err;
        EXPECT_FALSE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err));
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(loaded.Count(), 0);
        EXPECT_EQ(gAlive, 0) << "every object made while loading is deleted, once";
    }
}

TEST(SceneRefs, SharedBlocksAndGoodReferencesStillLoad) {
    std::vector<std::uint8_t> bytes = HandBuiltScene({ProbeWith({1}), kBlock}, 0);
    {
        SceneHolder loaded;
        SceneLoadReport report;
        std::string err;
        ASSERT_TRUE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err)) << err;
        auto* probe = dynamic_cast<Probe*>(loaded.Object(0));
        ASSERT_NE(probe, nullptr);
        ASSERT_NE(probe->pb, nullptr);
        EXPECT_EQ(probe->pb->NumDependents(), 1);
        EXPECT_EQ(gAlive, 1);
    }
    EXPECT_EQ(gAlive, 0);
}

TEST(SceneRefs, EveryByteFlipOfATextureSceneIsHandledOnce) {
    SceneHolder scene;
    scene.Add("map", new BitmapTex());
    scene.Add("probe", new Probe());
    std::vector<std::uint8_t> bytes = SaveSceneBytes(scene);
    scene.Clear();
    int refused = 0;
    for (size_t i = 12; i < bytes.size(); ++i) {
        for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            std::vector<std::uint8_t> bad = bytes;
            bad[i] ^= flip;
            SceneHolder loaded;
            SceneLoadReport report;
            std::string err;
            if (!LoadSceneBytes(bad.data(), bad.size(), loaded, report, err)) {
                ++refused;
                EXPECT_EQ(gAlive, 0) << "byte " << i;
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_EQ(gAlive, 0);
}

namespace {

int gFilterCreated = 0;

/// A registered class of another super class: what it makes is no reference target.
class NotATargetDesc final : public ClassDesc {
  public:
    int IsPublic() override { return 0; }
    void* Create(BOOL) override {
        ++gFilterCreated;
        return nullptr;
    }
    const TCHAR* ClassName() override { return "Not a target"; }
    SClass_ID SuperClassID() override { return FLT_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(0x7E570002, 0); }
    const TCHAR* Category() override { return ""; }
};
NotATargetDesc gNotATargetDesc;
const bool gNotATargetRegistered = RegisterClass(&gNotATargetDesc);

}  // namespace

TEST(SceneRefs, ObjectsOfClassesThatAreNoTargetsAreNeverCreated) {
    ASSERT_TRUE(gNotATargetRegistered);
    std::vector<std::uint8_t> bytes =
        HandBuiltScene({{FLT_CLASS_ID, Class_ID(0x7E570002, 0), {}}}, 0);
    SceneHolder loaded;
    SceneLoadReport report;
    std::string err;
    EXPECT_FALSE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err));
    EXPECT_NE(err.find("(super class 0x00001020) is not an object a scene holds"),
              std::string::npos)
        << err;
    EXPECT_EQ(gFilterCreated, 0);
}

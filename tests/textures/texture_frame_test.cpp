// What every texture shares through its frame, tested once for the four classes: names,
// sub-maps, reset, validity, cloning, saving and loading, and evaluation that allocates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/host/animate.h"
#include "foundation/host/classdesc.h"
#include "foundation/host/crt.h"
#include "foundation/host/scene_io.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/const_map.h"
#include "tests/textures/texture_kinds.h"

namespace {

using loomtest::ConstMap;

/// A map whose values hold only from time 0 to 100.
class BriefMap final : public Texmap {
  public:
    Class_ID ClassID() override { return Class_ID(0x7E570004, 1); }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    AColor EvalColor(ShadeContext&) override { return AColor(0.5f, 0.5f, 0.5f, 1); }
    float EvalMono(ShadeContext&) override { return 0.5f; }
    Point3 EvalNormalPerturb(ShadeContext&) override { return Point3(); }
    void Update(TimeValue, Interval& valid) override { valid &= Interval(0, 100); }
    void Reset() override {}
    Interval Validity(TimeValue) override { return Interval(0, 100); }
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }
};

template <class Kind>
class TextureFrame : public ::testing::Test {
  protected:
    using Tex = typename Kind::Tex;

    void SetUp() override {
        subject = new Tex();
        scene.Add("tex", subject);
    }

    static int Rows(Tex* t) { return t->ParamBlock()->NumParams(); }
    static int Type(Tex* t, int row) { return t->ParamBlock()->GetParameterType(row); }
    static ParamValue Stored(Tex* t, int row, TimeValue time = 0) {
        Interval v = FOREVER;
        return t->ParamBlock()->GetRaw(row, time, v);
    }
    static std::vector<ParamValue> AllStored(Tex* t, TimeValue time = 0) {
        std::vector<ParamValue> out;
        for (int row = 0; row < Rows(t); ++row) out.push_back(Stored(t, row, time));
        return out;
    }
    /// Sets `row` through the block at `time`: a colour to grey `value`, an int truncated.
    static void Put(Tex* t, int row, float value, TimeValue time = 0) {
        IParamBlock* pb = t->ParamBlock();
        switch (Type(t, row)) {
            case TYPE_FLOAT:
                pb->SetValue(row, time, value);
                break;
            case TYPE_INT:
                pb->SetValue(row, time, static_cast<int>(value));
                break;
            default:
                pb->SetValue(row, time, Color(value, value / 2, value / 4));
                break;
        }
    }
    /// The first animatable float row: the one the tests key.
    static int KeyedRow(Tex* t) {
        for (int row = 0; row < Rows(t); ++row) {
            if (Type(t, row) == TYPE_FLOAT && t->ParamBlock()->IsAnimatable(row)) return row;
        }
        ADD_FAILURE() << "no animatable float row";
        return 0;
    }
    static void KeyRow(Tex* t, int row, float first, float second) {
        t->ParamBlock()->SetKey(row, 0, ParamValue{{first, 0, 0}});
        t->ParamBlock()->SetKey(row, 4800, ParamValue{{second, 0, 0}});
    }
    static AColor ColorAt(Tex* t, float u, float v, TimeValue time = 0) {
        Interval valid = FOREVER;
        t->Update(time, valid);
        loom::PlaneShadeContext sc;
        sc.Set(u, v);
        crt::SetRandState(77u);  // the same draws for every evaluation compared
        return t->EvalColor(sc);
    }
    static float MonoAt(Tex* t, float u, float v, TimeValue time = 0) {
        Interval valid = FOREVER;
        t->Update(time, valid);
        loom::PlaneShadeContext sc;
        sc.Set(u, v);
        crt::SetRandState(77u);
        return t->EvalMono(sc);
    }
    /// Colour and mono of `a` and `b` agree on a grid at each of a few times.
    static void ExpectSameSamples(Tex* a, Tex* b) {
        for (TimeValue time : {0, 1700, 4800}) {
            for (float u = 0.05f; u < 1.0f; u += 0.15f) {
                SCOPED_TRACE(::testing::Message() << "t " << time << " u " << u);
                const float v = 1.0f - u * u;
                EXPECT_EQ(ColorAt(b, u, v, time), ColorAt(a, u, v, time));
                EXPECT_EQ(MonoAt(b, u, v, time), MonoAt(a, u, v, time));
            }
        }
    }
    /// Saves `scene` and loads it into `loaded` with the class registered; the first object.
    Tex* RoundTrip(loom::SceneLoadReport& report) {
        static loom::TexClassDesc desc(Kind::Info(), []() -> Texmap* { return new Tex(); });
        static const bool registered = loom::RegisterClass(&desc);
        EXPECT_TRUE(registered);
        const std::vector<std::uint8_t> bytes = loom::SaveSceneBytes(scene);
        std::string err;
        EXPECT_TRUE(loom::LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err)) << err;
        return loaded.Count() ? dynamic_cast<Tex*>(loaded.Object(0)) : nullptr;
    }
    std::string ParamName(int row) {
        GetParamName gpn{"untouched", row};
        PartID part = reinterpret_cast<PartID>(&gpn);
        EXPECT_EQ(
            subject->NotifyRefChanged(FOREVER, subject->ParamBlock(), part, REFMSG_GET_PARAM_NAME),
            REF_STOP);
        return gpn.name;
    }

    loom::SceneHolder scene;
    loom::SceneHolder loaded;
    Tex* subject = nullptr;
};

using Kinds = ::testing::Types<loomtest::VoltraneKind, loomtest::FervixKind, loomtest::LumidotKind,
                               loomtest::NimbraKind>;
TYPED_TEST_SUITE(TextureFrame, Kinds);

TYPED_TEST(TextureFrame, NamesAreAnsweredByIndexAndNothingBeyond) {
    auto* tex = this->subject;
    TSTR s;
    tex->GetClassName(s);
    EXPECT_EQ(s, TypeParam::kClassName);
    const int slots = static_cast<int>(std::size(TypeParam::kSlots));
    ASSERT_EQ(tex->NumSubTexmaps(), slots);
    EXPECT_EQ(tex->NumRefs(), 2 + slots);
    EXPECT_EQ(tex->NumSubs(), 2 + slots);
    EXPECT_EQ(tex->SubAnimName(0), "Coordinates");
    EXPECT_EQ(tex->SubAnimName(1), "Parameters");
    for (int i = 0; i < slots; ++i) {
        EXPECT_EQ(tex->GetSubTexmapSlotName(i), TypeParam::kSlots[i]);
        EXPECT_EQ(tex->SubAnimName(2 + i), TypeParam::kSlots[i]);
    }
    for (int out : {-1, slots, slots + 7}) {
        SCOPED_TRACE(out);
        EXPECT_EQ(tex->GetSubTexmapSlotName(out), "");
        EXPECT_EQ(tex->SubAnimName(out < 0 ? out : out + 2), "");
        EXPECT_EQ(tex->GetSubTexmap(out), nullptr);
        EXPECT_EQ(tex->GetReference(out < 0 ? out : out + 2), nullptr);
    }
    EXPECT_EQ(this->ParamName(0), TypeParam::kFirstParamName);
    EXPECT_EQ(this->ParamName(-1), "untouched");
    EXPECT_EQ(this->ParamName(this->Rows(tex)), "untouched");
    // Colours are edited on the 0-255 scale, everything else as it is stored.
    for (int row = 0; row < this->Rows(tex); ++row) {
        GetParamDim gpd{nullptr, row};
        PartID part = reinterpret_cast<PartID>(&gpd);
        tex->NotifyRefChanged(FOREVER, tex->ParamBlock(), part, REFMSG_GET_PARAM_DIM);
        EXPECT_EQ(gpd.dim, this->Type(tex, row) == TYPE_RGBA ? stdColor255Dim : defaultDim) << row;
    }
}

TYPED_TEST(TextureFrame, SubMapsAreSetGotUpdatedAndNeverFormALoop) {
    auto* tex = this->subject;
    const int slots = tex->NumSubTexmaps();
    std::vector<ConstMap*> maps;
    for (int i = 0; i < slots; ++i) {
        maps.push_back(new ConstMap(AColor(0.1f * static_cast<float>(i), 0, 0, 1), 0.5f));
        tex->SetSubTexmap(i, maps.back());
    }
    for (int i = 0; i < slots; ++i) EXPECT_EQ(tex->GetSubTexmap(i), maps[static_cast<size_t>(i)]);
    this->ColorAt(tex, 0.5f, 0.5f);
    for (ConstMap* map : maps) EXPECT_GT(map->updates, 0) << "a sub-map was not updated";

    // A slot beyond the last takes nothing.
    ConstMap stray(AColor(1, 1, 1, 1), 1);
    tex->SetSubTexmap(slots, &stray);
    EXPECT_EQ(tex->GetSubTexmap(slots), nullptr);

    // Neither the texture under itself nor under its own sub-map.
    tex->SetSubTexmap(0, tex);
    EXPECT_EQ(tex->GetSubTexmap(0), maps[0]);
    auto* child = new typename TypeParam::Tex();
    tex->SetSubTexmap(0, child);
    ASSERT_EQ(tex->GetSubTexmap(0), child);
    child->SetSubTexmap(0, tex);
    EXPECT_EQ(child->GetSubTexmap(0), nullptr);

    tex->SetSubTexmap(0, nullptr);
    EXPECT_EQ(tex->GetSubTexmap(0), nullptr);
}

TYPED_TEST(TextureFrame, ResetRestoresANewTexturesValuesWithoutKeysAndDropsTheMaps) {
    auto* tex = this->subject;
    UVGen* gen = tex->UVGenerator();
    ASSERT_NE(gen, nullptr);
    const std::vector<ParamValue> fresh = this->AllStored(tex);
    for (int row = 0; row < this->Rows(tex); ++row) {
        this->Put(tex, row, 3.0f + static_cast<float>(row));
    }
    ASSERT_NE(this->AllStored(tex), fresh);
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) {
        tex->SetSubTexmap(i, new ConstMap(AColor(1, 0, 0, 1), 1));
    }
    AnimateOn();
    tex->Reset();
    AnimateOff();
    EXPECT_EQ(this->AllStored(tex), fresh);
    for (int row = 0; row < this->Rows(tex); ++row) {
        EXPECT_EQ(tex->ParamBlock()->NumKeys(row), 0) << "a key made while resetting, row " << row;
    }
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) EXPECT_EQ(tex->GetSubTexmap(i), nullptr) << i;
    EXPECT_EQ(tex->UVGenerator(), gen);
    // The cache follows: a reset texture samples as a new one.
    auto* other = new typename TypeParam::Tex();
    this->scene.Add("other", other);
    this->ExpectSameSamples(other, tex);
}

TYPED_TEST(TextureFrame, ValidityIsWhereNoKeyOrSubMapChanges) {
    auto* tex = this->subject;
    EXPECT_EQ(tex->Validity(1234), FOREVER);
    const int row = this->KeyedRow(tex);
    this->KeyRow(tex, row, 1.0f, 2.0f);
    EXPECT_EQ(tex->Validity(2400), Interval(2400, 2400));
    EXPECT_EQ(tex->Validity(-100), Interval(TIME_NegInfinity, 0));
    EXPECT_EQ(tex->Validity(9000), Interval(4800, TIME_PosInfinity));
    // A change through the block or a setter empties the cache at once.
    Interval valid = FOREVER;
    tex->Update(2400, valid);
    EXPECT_EQ(valid, Interval(2400, 2400));
    EXPECT_FALSE(tex->CacheValidity().Empty());
    this->Put(tex, row, 5.0f, 2400);
    EXPECT_TRUE(tex->CacheValidity().Empty());

    // A sub-map's validity narrows the texture's.
    auto* other = new typename TypeParam::Tex();
    this->scene.Add("other", other);
    other->SetSubTexmap(other->NumSubTexmaps() - 1, new BriefMap());
    EXPECT_EQ(other->Validity(50), Interval(0, 100));
}

TYPED_TEST(TextureFrame, ASetterStoresItsOwnRowAndCacheFieldAtOnce) {
    auto* tex = this->subject;
    const int rows = this->Rows(tex);
    auto valueFor = [&](int row) {
        const float f = 40.0f + static_cast<float>(row);  // distinct per row
        return this->Type(tex, row) == TYPE_RGBA ? ParamValue{{f / 100, f / 200, f / 400}}
                                                 : ParamValue{{f, 0, 0}};
    };
    for (int row = 0; row < rows; ++row) {
        SCOPED_TRACE(row);
        std::vector<ParamValue> expected = this->AllStored(tex);
        expected[static_cast<size_t>(row)] = valueFor(row);
        this->ColorAt(tex, 0.5f, 0.5f);
        tex->SetParam(row, valueFor(row), 0);
        EXPECT_EQ(tex->CachedValue(row), valueFor(row)) << "held before any Update";
        EXPECT_EQ(this->AllStored(tex), expected);
    }
    // No two rows share a field: every value set is still there.
    for (int row = 0; row < rows; ++row) EXPECT_EQ(tex->CachedValue(row), valueFor(row)) << row;
}

TYPED_TEST(TextureFrame, CloneSamplesAlikeAndSharesNothing) {
    using T = typename TypeParam::Tex;
    auto* tex = this->subject;
    const int row = this->KeyedRow(tex);
    this->KeyRow(tex, row, 0.5f, 3.0f);
    for (int i = 0; i < tex->NumSubTexmaps(); i += 2) {
        tex->SetSubTexmap(i, new ConstMap(AColor(0.2f, 0.9f, 0.4f, 0.5f), 0.3f));
    }
    this->ColorAt(tex, 0.5f, 0.5f);
    RemapDir remap;
    auto* copy = static_cast<T*>(remap.CloneRef(tex));
    ASSERT_NE(copy, nullptr);
    this->scene.Add("copy", copy);
    EXPECT_TRUE(copy->CacheValidity().Empty()) << "a copy must refresh before its first sample";
    EXPECT_EQ(std::memcmp(&copy->Cache(), &tex->Cache(), sizeof tex->Cache()), 0);
    EXPECT_NE(copy->ParamBlock(), tex->ParamBlock());
    EXPECT_NE(copy->UVGenerator(), tex->UVGenerator());
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) {
        SCOPED_TRACE(i);
        if (tex->GetSubTexmap(i)) {
            ASSERT_NE(copy->GetSubTexmap(i), nullptr);
            EXPECT_NE(copy->GetSubTexmap(i), tex->GetSubTexmap(i));
        } else {
            EXPECT_EQ(copy->GetSubTexmap(i), nullptr);
        }
    }
    EXPECT_EQ(copy->ParamBlock()->NumKeys(row), 2);
    this->ExpectSameSamples(tex, copy);

    // Changing the copy leaves the original as it was.
    const std::vector<ParamValue> before = this->AllStored(tex);
    for (int r = 0; r < this->Rows(copy); ++r) this->Put(copy, r, 7.0f, 2400);
    copy->SetSubTexmap(0, nullptr);
    EXPECT_EQ(this->AllStored(tex), before);
    EXPECT_NE(tex->GetSubTexmap(0), nullptr);
}

TYPED_TEST(TextureFrame, SavedTexturesLoadWithTheirKeysValuesAndMaps) {
    using T = typename TypeParam::Tex;
    auto* tex = this->subject;
    const int keyed = this->KeyedRow(tex);
    for (int row = 0; row < this->Rows(tex); ++row) {
        if (row != keyed) this->Put(tex, row, 0.25f + 0.5f * static_cast<float>(row % 3));
    }
    this->KeyRow(tex, keyed, -2.0f, 6.0f);
    tex->FixLegacyParams();  // values a load would repair are the subject of other tests
    auto* sub = new T();
    this->Put(sub, keyed, 1.5f);
    tex->SetSubTexmap(tex->NumSubTexmaps() - 1, sub);

    loom::SceneLoadReport report;
    T* back = this->RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(report.obsolete);
    EXPECT_EQ(back->ParamBlock()->GetVersion(), tex->ParamBlock()->GetVersion());
    EXPECT_EQ(back->ParamBlock()->NumKeys(keyed), 2);
    for (TimeValue t : {0, 1200, 4800}) {
        EXPECT_EQ(this->AllStored(back, t), this->AllStored(tex, t)) << t;
    }
    auto* backSub = dynamic_cast<T*>(back->GetSubTexmap(back->NumSubTexmaps() - 1));
    ASSERT_NE(backSub, nullptr);
    EXPECT_EQ(this->AllStored(backSub), this->AllStored(sub));
    for (int i = 0; i + 1 < back->NumSubTexmaps(); ++i) EXPECT_EQ(back->GetSubTexmap(i), nullptr);
    this->ExpectSameSamples(tex, back);
}

TYPED_TEST(TextureFrame, SamplingAllocatesNothing) {
    auto* tex = this->subject;
    tex->SetSubTexmap(0, new ConstMap(AColor(1, 0, 0, 1), 1));
    loom::PlaneShadeContext sc;
    for (const auto& settings : TypeParam::kBusy) {
        tex->Reset();
        tex->SetSubTexmap(0, new ConstMap(AColor(1, 0, 0, 1), 1));
        for (const loomtest::RowSetting& s : settings) {
            if (s.row >= 0) this->Put(tex, s.row, s.value);
        }
        Interval valid = FOREVER;
        tex->Update(0, valid);
        sc.Set(0.5f, 0.5f);
        tex->EvalColor(sc);  // the first noise call of a process builds the noise tables
        const long before = loomtest::AllocationCount();
        float sum = 0.0f;
        for (int i = 0; i < 2000; ++i) {
            sc.Set(static_cast<float>(i % 50) / 49.0f, static_cast<float>(i / 50) / 39.0f);
            sum += tex->EvalColor(sc).g + tex->EvalMono(sc) + tex->EvalNormalPerturb(sc).x;
            sum += tex->PatternPreview(0.3f, static_cast<float>(i) * 0.0005f).b;
        }
        EXPECT_EQ(loomtest::AllocationCount(), before)
            << "setting " << &settings - TypeParam::kBusy;
        EXPECT_FALSE(std::isnan(sum));
    }
}

}  // namespace

// What every texture shares through its frame, tested once for the four classes: names,
// sub-maps, reset, validity, cloning, saving and loading, and evaluation that allocates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/host/base/animate.h"
#include "foundation/host/base/crt.h"
#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/scene_io.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/const_map.h"
#include "tests/support/texture_fixture.h"
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
class TextureFrame : public loomtest::TextureFixture<typename Kind::Tex, Kind::kInfo> {
  protected:
    using Tex = typename Kind::Tex;
    using Base = loomtest::TextureFixture<Tex, Kind::kInfo>;

    static int Rows(Tex* t) { return t->ParamBlock()->NumParams(); }
    static int Type(Tex* t, int row) { return t->ParamBlock()->GetParameterType(row); }
    static std::vector<ParamValue> AllStored(Tex* t, TimeValue time = 0) {
        std::vector<ParamValue> out;
        for (int row = 0; row < Rows(t); ++row) out.push_back(Base::Stored(t, row, time));
        return out;
    }
    /// Sets `row` through the block at `time`: a colour to a shade of `value`, an int
    /// truncated.
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
    /// Colour and mono of `a` and `b` agree on a grid at each of a few times.
    static void ExpectSameSamples(Tex* a, Tex* b) {
        for (TimeValue time : {0, 1700, 4800}) {
            for (float u = 0.05f; u < 1.0f; u += 0.15f) {
                SCOPED_TRACE(::testing::Message() << "t " << time << " u " << u);
                const float v = 1.0f - u * u;
                // The same generator state for both: some patterns draw random numbers.
                crt::SetRandState(77u);
                const AColor color = Base::ColorAt(a, u, v, time);
                const float mono = Base::MonoAt(a, u, v, time);
                crt::SetRandState(77u);
                EXPECT_EQ(Base::ColorAt(b, u, v, time), color);
                EXPECT_EQ(Base::MonoAt(b, u, v, time), mono);
            }
        }
    }
    std::string ParamName(int row) {
        GetParamName gpn{"untouched", row};
        PartID part = reinterpret_cast<PartID>(&gpn);
        EXPECT_EQ(this->tex->NotifyRefChanged(FOREVER, this->tex->ParamBlock(), part,
                                              REFMSG_GET_PARAM_NAME),
                  REF_STOP);
        return gpn.name;
    }
};

using Kinds = ::testing::Types<loomtest::VoltraneKind, loomtest::FervixKind, loomtest::LumidotKind,
                               loomtest::NimbraKind>;
TYPED_TEST_SUITE(TextureFrame, Kinds);

TYPED_TEST(TextureFrame, NamesAreAnsweredByIndexAndNothingBeyond) {
    TSTR s;
    this->tex->GetClassName(s);
    EXPECT_EQ(s, TypeParam::kClassName);
    const int slots = static_cast<int>(std::size(TypeParam::kSlots));
    ASSERT_EQ(this->tex->NumSubTexmaps(), slots);
    EXPECT_EQ(this->tex->NumRefs(), 2 + slots);
    EXPECT_EQ(this->tex->NumSubs(), 2 + slots);
    EXPECT_EQ(this->tex->SubAnimName(0), "Coordinates");
    EXPECT_EQ(this->tex->SubAnimName(1), "Parameters");
    for (int i = 0; i < slots; ++i) {
        EXPECT_EQ(this->tex->GetSubTexmapSlotName(i), TypeParam::kSlots[i]);
        EXPECT_EQ(this->tex->SubAnimName(2 + i), TypeParam::kSlots[i]);
    }
    for (int out : {-1, slots, slots + 7}) {
        SCOPED_TRACE(out);
        EXPECT_EQ(this->tex->GetSubTexmapSlotName(out), "");
        EXPECT_EQ(this->tex->SubAnimName(out < 0 ? out : out + 2), "");
        EXPECT_EQ(this->tex->GetSubTexmap(out), nullptr);
        EXPECT_EQ(this->tex->GetReference(out < 0 ? out : out + 2), nullptr);
    }
    EXPECT_EQ(this->ParamName(0), TypeParam::kFirstParamName);
    EXPECT_EQ(this->ParamName(-1), "untouched");
    EXPECT_EQ(this->ParamName(this->Rows(this->tex)), "untouched");
    // Colours are edited on the 0-255 scale, everything else as it is stored.
    for (int row = 0; row < this->Rows(this->tex); ++row) {
        GetParamDim gpd{nullptr, row};
        PartID part = reinterpret_cast<PartID>(&gpd);
        this->tex->NotifyRefChanged(FOREVER, this->tex->ParamBlock(), part, REFMSG_GET_PARAM_DIM);
        EXPECT_EQ(gpd.dim, this->Type(this->tex, row) == TYPE_RGBA ? stdColor255Dim : defaultDim)
            << row;
    }
}

TYPED_TEST(TextureFrame, SubMapsAreSetGotUpdatedAndNeverFormALoop) {
    const int slots = this->tex->NumSubTexmaps();
    std::vector<ConstMap*> maps;
    for (int i = 0; i < slots; ++i) {
        maps.push_back(new ConstMap(AColor(0.1f * static_cast<float>(i), 0, 0, 1), 0.5f));
        this->tex->SetSubTexmap(i, maps.back());
    }
    for (int i = 0; i < slots; ++i)
        EXPECT_EQ(this->tex->GetSubTexmap(i), maps[static_cast<size_t>(i)]);
    this->ColorAt(this->tex, 0.5f, 0.5f);
    for (ConstMap* map : maps) EXPECT_GT(map->updates, 0) << "a sub-map was not updated";

    // A slot beyond the last takes nothing.
    ConstMap stray(AColor(1, 1, 1, 1), 1);
    this->tex->SetSubTexmap(slots, &stray);
    EXPECT_EQ(this->tex->GetSubTexmap(slots), nullptr);

    // Neither the texture under itself nor under its own sub-map.
    this->tex->SetSubTexmap(0, this->tex);
    EXPECT_EQ(this->tex->GetSubTexmap(0), maps[0]);
    auto* child = new typename TypeParam::Tex();
    this->tex->SetSubTexmap(0, child);
    ASSERT_EQ(this->tex->GetSubTexmap(0), child);
    child->SetSubTexmap(0, this->tex);
    EXPECT_EQ(child->GetSubTexmap(0), nullptr);

    this->tex->SetSubTexmap(0, nullptr);
    EXPECT_EQ(this->tex->GetSubTexmap(0), nullptr);
}

TYPED_TEST(TextureFrame, ResetRestoresANewTexturesValuesWithoutKeysAndDropsTheMaps) {
    UVGen* gen = this->tex->UVGenerator();
    ASSERT_NE(gen, nullptr);
    const std::vector<ParamValue> fresh = this->AllStored(this->tex);
    for (int row = 0; row < this->Rows(this->tex); ++row) {
        this->Put(this->tex, row, 3.0f + static_cast<float>(row));
    }
    ASSERT_NE(this->AllStored(this->tex), fresh);
    for (int i = 0; i < this->tex->NumSubTexmaps(); ++i) {
        this->tex->SetSubTexmap(i, new ConstMap(AColor(1, 0, 0, 1), 1));
    }
    AnimateOn();
    this->tex->Reset();
    AnimateOff();
    EXPECT_EQ(this->AllStored(this->tex), fresh);
    for (int row = 0; row < this->Rows(this->tex); ++row) {
        EXPECT_EQ(this->tex->ParamBlock()->NumKeys(row), 0)
            << "a key made while resetting, row " << row;
    }
    for (int i = 0; i < this->tex->NumSubTexmaps(); ++i)
        EXPECT_EQ(this->tex->GetSubTexmap(i), nullptr) << i;
    EXPECT_EQ(this->tex->UVGenerator(), gen);
    // The cache follows: a reset texture samples as a new one.
    auto* other = new typename TypeParam::Tex();
    this->scene.Add("other", other);
    this->ExpectSameSamples(other, this->tex);
}

TYPED_TEST(TextureFrame, ValidityIsWhereNoKeyOrSubMapChanges) {
    EXPECT_EQ(this->tex->Validity(1234), FOREVER);
    const int row = this->KeyedRow(this->tex);
    this->KeyRow(this->tex, row, 1.0f, 2.0f);
    EXPECT_EQ(this->tex->Validity(2400), Interval(2400, 2400));
    EXPECT_EQ(this->tex->Validity(-100), Interval(TIME_NegInfinity, 0));
    EXPECT_EQ(this->tex->Validity(9000), Interval(4800, TIME_PosInfinity));
    // A change through the block or a setter empties the cache at once.
    Interval valid = FOREVER;
    this->tex->Update(2400, valid);
    EXPECT_EQ(valid, Interval(2400, 2400));
    EXPECT_FALSE(this->tex->CacheValidity().Empty());
    this->Put(this->tex, row, 5.0f, 2400);
    EXPECT_TRUE(this->tex->CacheValidity().Empty());

    // A sub-map's validity narrows the texture's.
    auto* other = new typename TypeParam::Tex();
    this->scene.Add("other", other);
    other->SetSubTexmap(other->NumSubTexmaps() - 1, new BriefMap());
    EXPECT_EQ(other->Validity(50), Interval(0, 100));
}

TYPED_TEST(TextureFrame, ASetterStoresItsOwnRowAndCacheFieldAtOnce) {
    const int rows = this->Rows(this->tex);
    auto valueFor = [&](int row) {
        const float f = 40.0f + static_cast<float>(row);  // distinct per row
        return this->Type(this->tex, row) == TYPE_RGBA ? ParamValue{{f / 100, f / 200, f / 400}}
                                                       : ParamValue{{f, 0, 0}};
    };
    for (int row = 0; row < rows; ++row) {
        SCOPED_TRACE(row);
        std::vector<ParamValue> expected = this->AllStored(this->tex);
        expected[static_cast<size_t>(row)] = valueFor(row);
        this->ColorAt(this->tex, 0.5f, 0.5f);
        this->tex->SetParam(row, valueFor(row), 0);
        EXPECT_EQ(this->tex->CachedValue(row), valueFor(row)) << "held before any Update";
        EXPECT_EQ(this->AllStored(this->tex), expected);
    }
    // No two rows share a field: every value set is still there.
    for (int row = 0; row < rows; ++row)
        EXPECT_EQ(this->tex->CachedValue(row), valueFor(row)) << row;
}

TYPED_TEST(TextureFrame, CloneSamplesAlikeAndSharesNothing) {
    using T = typename TypeParam::Tex;
    const int row = this->KeyedRow(this->tex);
    this->KeyRow(this->tex, row, 0.5f, 3.0f);
    for (int i = 0; i < this->tex->NumSubTexmaps(); i += 2) {
        this->tex->SetSubTexmap(i, new ConstMap(AColor(0.2f, 0.9f, 0.4f, 0.5f), 0.3f));
    }
    this->ColorAt(this->tex, 0.5f, 0.5f);
    RemapDir remap;
    auto* copy = static_cast<T*>(remap.CloneRef(this->tex));
    ASSERT_NE(copy, nullptr);
    this->scene.Add("copy", copy);
    EXPECT_TRUE(copy->CacheValidity().Empty()) << "a copy must refresh before its first sample";
    EXPECT_EQ(std::memcmp(&copy->Cache(), &this->tex->Cache(), sizeof this->tex->Cache()), 0);
    EXPECT_NE(copy->ParamBlock(), this->tex->ParamBlock());
    EXPECT_NE(copy->UVGenerator(), this->tex->UVGenerator());
    for (int i = 0; i < this->tex->NumSubTexmaps(); ++i) {
        SCOPED_TRACE(i);
        if (this->tex->GetSubTexmap(i)) {
            ASSERT_NE(copy->GetSubTexmap(i), nullptr);
            EXPECT_NE(copy->GetSubTexmap(i), this->tex->GetSubTexmap(i));
        } else {
            EXPECT_EQ(copy->GetSubTexmap(i), nullptr);
        }
    }
    EXPECT_EQ(copy->ParamBlock()->NumKeys(row), 2);
    this->ExpectSameSamples(this->tex, copy);

    // Changing the copy leaves the original as it was.
    const std::vector<ParamValue> before = this->AllStored(this->tex);
    for (int r = 0; r < this->Rows(copy); ++r) this->Put(copy, r, 7.0f, 2400);
    copy->SetSubTexmap(0, nullptr);
    EXPECT_EQ(this->AllStored(this->tex), before);
    EXPECT_NE(this->tex->GetSubTexmap(0), nullptr);
}

TYPED_TEST(TextureFrame, SavedTexturesLoadWithTheirKeysValuesAndMaps) {
    using T = typename TypeParam::Tex;
    const int keyed = this->KeyedRow(this->tex);
    for (int row = 0; row < this->Rows(this->tex); ++row) {
        if (row != keyed) this->Put(this->tex, row, 0.25f + 0.5f * static_cast<float>(row % 3));
    }
    this->KeyRow(this->tex, keyed, -2.0f, 6.0f);
    this->tex->FixLegacyParams();  // values a load would repair are the subject of other tests
    auto* sub = new T();
    this->Put(sub, keyed, 1.5f);
    this->tex->SetSubTexmap(this->tex->NumSubTexmaps() - 1, sub);

    loom::SceneLoadReport report;
    T* back = this->RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(report.obsolete);
    EXPECT_EQ(back->ParamBlock()->GetVersion(), this->tex->ParamBlock()->GetVersion());
    EXPECT_EQ(back->ParamBlock()->NumKeys(keyed), 2);
    for (TimeValue t : {0, 1200, 4800}) {
        EXPECT_EQ(this->AllStored(back, t), this->AllStored(this->tex, t)) << t;
    }
    auto* backSub = dynamic_cast<T*>(back->GetSubTexmap(back->NumSubTexmaps() - 1));
    ASSERT_NE(backSub, nullptr);
    EXPECT_EQ(this->AllStored(backSub), this->AllStored(sub));
    for (int i = 0; i + 1 < back->NumSubTexmaps(); ++i) EXPECT_EQ(back->GetSubTexmap(i), nullptr);
    this->ExpectSameSamples(this->tex, back);
}

TYPED_TEST(TextureFrame, SamplingAllocatesNothing) {
    this->tex->SetSubTexmap(0, new ConstMap(AColor(1, 0, 0, 1), 1));
    loom::PlaneShadeContext sc;
    for (const auto& settings : TypeParam::kBusy) {
        this->tex->Reset();
        this->tex->SetSubTexmap(0, new ConstMap(AColor(1, 0, 0, 1), 1));
        for (const loomtest::RowSetting& s : settings) {
            if (s.row >= 0) this->Put(this->tex, s.row, s.value);
        }
        Interval valid = FOREVER;
        this->tex->Update(0, valid);
        sc.Set(0.5f, 0.5f);
        this->tex->EvalColor(sc);  // the first noise call of a process builds the noise tables
        const long before = loomtest::AllocationCount();
        float sum = 0.0f;
        for (int i = 0; i < 2000; ++i) {
            sc.Set(static_cast<float>(i % 50) / 49.0f, static_cast<float>(i / 50) / 39.0f);
            sum += this->tex->EvalColor(sc).g + this->tex->EvalMono(sc) +
                   this->tex->EvalNormalPerturb(sc).x;
            sum += this->tex->PatternPreview(0.3f, static_cast<float>(i) * 0.0005f).b;
        }
        EXPECT_EQ(loomtest::AllocationCount(), before)
            << "setting " << &settings - TypeParam::kBusy;
        EXPECT_FALSE(std::isnan(sum));
    }
}

}  // namespace

// The texture frame, exercised through the Nimbra texture.
#include <gtest/gtest.h>

#include "foundation/host/animate.h"
#include "foundation/host/classdesc.h"
#include "foundation/host/scene_io.h"
#include "foundation/texframe/tex_class_desc.h"
#include "nimbra/nimbra_tex.h"
#include "nimbra/pattern.h"
#include "tests/support/bump_check.h"
#include "tests/support/const_map.h"

using loomtest::ConstMap;

namespace {

/// Counts what the frame asks of an open panel.
class FakePanel final : public loom::TexPanel {
  public:
    Class_ID ClassID() override { return Class_ID(); }
    void SetThing(ReferenceTarget*) override {}
    ReferenceTarget* GetThing() override { return nullptr; }
    void SetTime(TimeValue) override {}
    void ReloadDialog() override {}
    void DeleteThis() override {}
    void ActivateDlg(BOOL) override {}
    bool IsActive() const override { return active; }
    void Invalidate() override { ++invalidations; }
    void UpdateSubTexNames() override { ++nameUpdates; }
    void ForgetTexture() override { forgotten = true; }
    bool active = false;
    int invalidations = 0;
    int nameUpdates = 0;
    bool forgotten = false;
};

class NimbraFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        tex = new NimbraTex();
        scene.Add("tex", tex);
    }
    AColor ColorAt(NimbraTex* t, float u, float v, TimeValue time = 0) {
        Interval valid = FOREVER;
        t->Update(time, valid);
        loom::PlaneShadeContext sc;
        sc.Set(u, v);
        return t->EvalColor(sc);
    }
    float MonoAt(NimbraTex* t, float u, float v) {
        Interval valid = FOREVER;
        t->Update(0, valid);
        loom::PlaneShadeContext sc;
        sc.Set(u, v);
        return t->EvalMono(sc);
    }
    Color StoredColor(int row) {
        Interval v = FOREVER;
        Color c;
        tex->ParamBlock()->GetValue(row, 0, c, v);
        return c;
    }
    loom::SceneHolder scene;
    NimbraTex* tex = nullptr;
};

}  // namespace

TEST_F(NimbraFrame, NewTextureStoresNineAndCachesOne) {
    EXPECT_EQ(StoredColor(kNimbraCloud), Color(9, 9, 1));
    EXPECT_EQ(tex->NumRefs(), 4);
    EXPECT_EQ(tex->GetSubTexmap(0), nullptr);
    EXPECT_EQ(tex->ParamBlock()->GetVersion(), 12u);
    AColor c = ColorAt(tex, 0, 0);
    EXPECT_EQ(tex->Cache().cloudColor, Color(1, 1, 1));
    EXPECT_NEAR(c.r, 0.425875f, 1e-6);
    EXPECT_EQ(c.b, 1.0f);
}

TEST_F(NimbraFrame, NamesAndDimensionsAreAnsweredByIndex) {
    TSTR s;
    tex->GetClassName(s);
    EXPECT_EQ(s, "TLC Nimbra");
    EXPECT_EQ(tex->SubAnimName(0), "Coordinates");
    EXPECT_EQ(tex->SubAnimName(1), "Parameters");
    EXPECT_EQ(tex->SubAnimName(3), "Sky");
    EXPECT_EQ(tex->GetSubTexmapSlotName(2), "");
    EXPECT_EQ(tex->GetSubTexmapSlotName(-1), "");
    GetParamName gpn{"untouched", 13};
    PartID part = reinterpret_cast<PartID>(&gpn);
    EXPECT_EQ(tex->NotifyRefChanged(FOREVER, tex->ParamBlock(), part, REFMSG_GET_PARAM_NAME),
              REF_STOP);
    EXPECT_EQ(gpn.name, "Negative");
    gpn = {"untouched", 14};
    EXPECT_EQ(tex->NotifyRefChanged(FOREVER, tex->ParamBlock(), part, REFMSG_GET_PARAM_NAME),
              REF_STOP);
    EXPECT_EQ(gpn.name, "untouched");
    GetParamDim gpd{nullptr, 1};
    part = reinterpret_cast<PartID>(&gpd);
    tex->NotifyRefChanged(FOREVER, tex->ParamBlock(), part, REFMSG_GET_PARAM_DIM);
    EXPECT_EQ(gpd.dim, stdColor255Dim);
    gpd = {nullptr, 2};
    tex->NotifyRefChanged(FOREVER, tex->ParamBlock(), part, REFMSG_GET_PARAM_DIM);
    EXPECT_EQ(gpd.dim, defaultDim);
}

TEST_F(NimbraFrame, SubMapsSupplyTheirSidesAndAlphaStaysOne) {
    auto* sky = new ConstMap(AColor(0.0f, 1.0f, 0.0f, 0.2f), 0.25f);
    tex->SetSubTexmap(1, sky);
    ASSERT_EQ(tex->GetSubTexmap(1), sky);
    tex->SetDetail(0.0f, 0);  // t = 0: positive blend gives the cloud side
    tex->SetNegativeBlend(0, 0);
    EXPECT_EQ(ColorAt(tex, 0.5f, 0.5f), AColor(1, 1, 1, 1));
    tex->SetPositiveBlend(0, 0);  // no blend: the sky side as it is
    EXPECT_EQ(ColorAt(tex, 0.5f, 0.5f), AColor(0, 1, 0, 1));
    EXPECT_EQ(MonoAt(tex, 0.5f, 0.5f), 0.25f);
    EXPECT_GT(sky->updates, 0);
    tex->SetSubTexmap(1, tex);  // a map under itself is refused
    EXPECT_EQ(tex->GetSubTexmap(1), sky);
}

TEST_F(NimbraFrame, MonoMeansUseTheirOwnChannelOrder) {
    tex->SetPositiveBlend(0, 0);
    tex->SetColor(1, Color(0.3f, 0.6f, 0.9f), 0);
    EXPECT_FLOAT_EQ(MonoAt(tex, 0.1f, 0.2f),
                    static_cast<float>((0.3 + double{0.6f} + double{0.9f}) * double{0.33333334f}));
}

TEST_F(NimbraFrame, ValidityCachesUntilAChange) {
    tex->ParamBlock()->SetKey(kNimbraContrast, 0, ParamValue{{1, 0, 0}});
    tex->ParamBlock()->SetKey(kNimbraContrast, 4800, ParamValue{{2, 0, 0}});
    EXPECT_EQ(tex->Validity(2400), Interval(2400, 2400));
    EXPECT_EQ(tex->Validity(9000), Interval(4800, TIME_PosInfinity));
    EXPECT_FLOAT_EQ(tex->Cache().contrast, 2.0f);
    tex->SetVScale(50.0f, 0);
    EXPECT_TRUE(tex->CacheValidity().Empty());
    EXPECT_EQ(tex->Cache().vScale, 50.0f);
    EXPECT_EQ(tex->Cache().uScale, 25.0f);
}

TEST_F(NimbraFrame, ColoursBeyondTheSwatchRangeAreClampedInTheCache) {
    tex->SetColor(1, Color(-2.0f, 0.5f, 7.0f), 0);
    Interval v = FOREVER;
    tex->Update(0, v);
    EXPECT_EQ(tex->Cache().skyColor, Color(0.0f, 0.5f, 1.0f));
    EXPECT_EQ(StoredColor(kNimbraSky), Color(-2.0f, 0.5f, 7.0f));
}

TEST_F(NimbraFrame, ChangesReachAnIdlePanelOnly) {
    FakePanel panel;
    tex->SetPanel(&panel);
    tex->SetContrast(2.0f, 0);
    EXPECT_EQ(panel.invalidations, 1);
    panel.active = true;
    tex->SetContrast(3.0f, 0);
    EXPECT_EQ(panel.invalidations, 1);
    panel.active = false;
    PartID part = 0;
    tex->NotifyRefChanged(FOREVER, tex->UVGenerator(), part, REFMSG_CHANGE);
    EXPECT_EQ(panel.invalidations, 1);
    EXPECT_TRUE(tex->CacheValidity().Empty());
    tex->SetSubTexmap(0, new ConstMap(AColor(1, 0, 0, 1), 1));
    EXPECT_EQ(panel.nameUpdates, 1);
    scene.Clear();  // deletes the texture, which lets the panel know
    EXPECT_TRUE(panel.forgotten);
}

TEST_F(NimbraFrame, SwapTradesColoursMapsAndTracks) {
    auto* map = new ConstMap(AColor(1, 0, 0, 1), 1);
    tex->SetSubTexmap(0, map);
    tex->ParamBlock()->SetKey(kNimbraSky, 0, ParamValue{{0, 0, 0}});
    tex->ParamBlock()->SetKey(kNimbraSky, 100, ParamValue{{0, 0, 1}});
    tex->Swap();
    EXPECT_EQ(tex->GetSubTexmap(1), map);
    EXPECT_EQ(tex->GetSubTexmap(0), nullptr);
    EXPECT_EQ(tex->ParamBlock()->NumKeys(kNimbraCloud), 2);
    EXPECT_EQ(StoredColor(kNimbraSky), Color(9, 9, 1));
    GetParamName gpn{"", kNimbraCloud};
    PartID part = reinterpret_cast<PartID>(&gpn);
    tex->NotifyRefChanged(FOREVER, tex->ParamBlock(), part, REFMSG_GET_PARAM_NAME);
    EXPECT_EQ(gpn.name, "Cloud");  // names stay with their indices
}

TEST_F(NimbraFrame, ResetRemovesMapsAndKeepsTheUVGenerator) {
    UVGen* gen = tex->UVGenerator();
    tex->SetSubTexmap(0, new ConstMap(AColor(1, 0, 0, 1), 1));
    tex->SetDetail(3.0f, 0);
    AnimateOn();
    tex->Reset();
    AnimateOff();
    EXPECT_EQ(tex->UVGenerator(), gen);
    EXPECT_EQ(tex->GetSubTexmap(0), nullptr);
    EXPECT_EQ(tex->ParamBlock()->NumKeys(kNimbraCloud), 0);  // no keys made while resetting
    Interval v = FOREVER;
    tex->Update(0, v);
    EXPECT_EQ(tex->Cache().detail, 7.0f);
}

TEST_F(NimbraFrame, CloneIsIndependent) {
    tex->SetSubTexmap(1, new ConstMap(AColor(0, 1, 0, 1), 1));
    tex->SetDensity(0.2f, 0);
    RemapDir remap;
    auto* copy = static_cast<NimbraTex*>(remap.CloneRef(tex));
    scene.Add("copy", copy);
    EXPECT_TRUE(copy->CacheValidity().Empty());
    EXPECT_EQ(copy->Cache().density, 0.2f);
    EXPECT_NE(copy->ParamBlock(), tex->ParamBlock());
    EXPECT_NE(copy->UVGenerator(), tex->UVGenerator());
    ASSERT_NE(copy->GetSubTexmap(1), nullptr);
    EXPECT_NE(copy->GetSubTexmap(1), tex->GetSubTexmap(1));
    copy->SetDensity(0.9f, 0);
    Interval v = FOREVER;
    tex->Update(0, v);
    EXPECT_EQ(tex->Cache().density, 0.2f);
    EXPECT_EQ(ColorAt(copy, 0.3f, 0.3f), ColorAt(copy, 0.3f, 0.3f));
}

TEST_F(NimbraFrame, DisplayBitmapSamplesPixelEdgesAndCentres) {
    EXPECT_EQ(tex->BuildDisplayBitmap(0), nullptr);
    Interval v = FOREVER;
    tex->Update(0, v);
    Bitmap* bm = tex->BuildDisplayBitmap(1);
    ASSERT_NE(bm, nullptr);
    BMM_Color_64 px;
    bm->GetPixels(0, 0, 1, &px);
    AColor expect = tex->PatternPreview(0.0f, 0.5f);
    EXPECT_EQ(px.r, static_cast<WORD>(double{expect.r} * 65535.0));
    EXPECT_EQ(px.a, 0xFFFF);
    bm->DeleteThis();
}

TEST_F(NimbraFrame, ViewportHandleIsBuiltOnceUntilDiscarded) {
    loom::ViewportHandleMaker maker(8);
    DWORD_PTR h1 = tex->GetActiveTexHandle(0, maker);
    DWORD_PTR h2 = tex->GetActiveTexHandle(0, maker);
    EXPECT_EQ(h1, h2);
    EXPECT_EQ(maker.HandlesMade(), 1);
    ASSERT_NE(loom::ViewportHandleBitmap(h1), nullptr);
    EXPECT_EQ(loom::ViewportHandleBitmap(h1)->Width(), 8);
    PartID part = 0;
    tex->NotifyRefChanged(FOREVER, tex->UVGenerator(), part, REFMSG_UV_SYM_CHANGE);
    EXPECT_EQ(loom::ViewportHandleBitmap(h1), nullptr);
    tex->GetActiveTexHandle(0, maker);
    EXPECT_EQ(maker.HandlesMade(), 2);
}

namespace {

loom::TexClassDesc& NimbraDesc() {
    static loom::TexClassDesc desc(kNimbraInfo, []() -> Texmap* { return new NimbraTex(); });
    static bool registered = loom::RegisterClass(&desc);
    (void)registered;
    return desc;
}

std::vector<std::uint8_t> RoundTrip(loom::SceneHolder& from, loom::SceneHolder& to,
                                    loom::SceneLoadReport& report) {
    NimbraDesc();
    std::vector<std::uint8_t> bytes = loom::SaveSceneBytes(from);
    std::string err;
    EXPECT_TRUE(loom::LoadSceneBytes(bytes.data(), bytes.size(), to, report, err)) << err;
    return bytes;
}

}  // namespace

TEST_F(NimbraFrame, SavedKeysEvaluateTheSameAfterLoading) {
    tex->ParamBlock()->SetKey(kNimbraUShift, 0, ParamValue{{0, 0, 0}});
    tex->ParamBlock()->SetKey(kNimbraUShift, 4800, ParamValue{{30, 0, 0}});
    tex->SetSubTexmap(0, new NimbraTex());
    loom::SceneHolder loaded;
    loom::SceneLoadReport report;
    RoundTrip(scene, loaded, report);
    auto* back = dynamic_cast<NimbraTex*>(loaded.Object(0));
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(report.obsolete);
    ASSERT_NE(dynamic_cast<NimbraTex*>(back->GetSubTexmap(0)), nullptr);
    for (TimeValue t : {0, 1200, 2400, 4800, 9600}) {
        EXPECT_EQ(ColorAt(back, 0.3f, 0.6f, t), ColorAt(tex, 0.3f, 0.6f, t)) << t;
    }
}

TEST_F(NimbraFrame, VersionElevenScenesConvertAndKeepTheirValues) {
    const ParamVersionDesc& v11 = kNimbraInfo.olderLayouts[0];
    IParamBlock* old = CreateParameterBlock(v11.desc, v11.count, v11.version);
    for (int row = kNimbraContrast; row <= kNimbraVWaveform; ++row) {
        old->SetValue(row, 0, 1.5f + static_cast<float>(row));
    }
    old->SetValue(kNimbraSky, 0, Color(0.1f, 0.2f, 0.3f));
    tex->ReplaceReference(loom::kPBlockRef, old);
    loom::SceneHolder loaded;
    loom::SceneLoadReport report;
    RoundTrip(scene, loaded, report);
    auto* back = dynamic_cast<NimbraTex*>(loaded.Object(0));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(report.obsolete);
    ASSERT_EQ(back->ParamBlock()->GetVersion(), 12u);
    ASSERT_EQ(back->ParamBlock()->NumParams(), 14);
    Interval v = FOREVER;
    back->Update(0, v);
    EXPECT_EQ(back->Cache().skyColor, Color(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(back->Cache().contrast, 1.5f + static_cast<float>(kNimbraContrast));
    EXPECT_EQ(back->Cache().vWaveform, 1.5f + static_cast<float>(kNimbraVWaveform));
    EXPECT_EQ(back->Cache().positiveBlend, 0);  // rows the old layout lacks start at 0
    EXPECT_EQ(back->Cache().negativeBlend, 0);
    // Neither blend: the sky side unmixed.
    EXPECT_EQ(ColorAt(back, 0.2f, 0.9f), AColor(0.1f, 0.2f, 0.3f, 1.0f));
}

TEST_F(NimbraFrame, ScenesWithoutTheBaseChunkLoad) {
    loom::ChunkWriter w;
    loom::ChunkReader r(w.Bytes().data(), 0);
    NimbraTex* fresh = new NimbraTex();
    scene.Add("fresh", fresh);
    EXPECT_EQ(fresh->Load(&r), IO_OK);
}

TEST_F(NimbraFrame, BumpIsTheCentralDifferenceOfMono) {
    const Point2 points[] = {{0.1f, 0.2f},   {0.3f, 0.7f}, {0.45f, 0.55f},
                             {0.62f, 0.31f}, {0.8f, 0.9f}, {0.93f, 0.07f}};
    loomtest::ExpectNormalsFollowMono(tex, points);
    // An animated value: the normal follows the time it is evaluated at.
    AnimateOn();
    tex->SetDetail(12.0f, 4800);
    AnimateOff();
    loomtest::ExpectNormalsFollowMono(tex, points, 2400);
}

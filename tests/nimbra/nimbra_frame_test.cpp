// The texture frame, exercised through the Nimbra texture.
#include <gtest/gtest.h>

#include "foundation/host/base/animate.h"
#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/texframe/tex_class_desc.h"
#include "nimbra/nimbra_tex.h"
#include "nimbra/pattern.h"
#include "tests/support/bump_check.h"
#include "tests/support/const_map.h"
#include "tests/support/texture_fixture.h"

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

class NimbraFrame : public loomtest::TextureFixture<NimbraTex, kNimbraInfo> {
  protected:
    Color StoredColor(int row) {
        Interval v = FOREVER;
        Color c;
        tex->ParamBlock()->GetValue(row, 0, c, v);
        return c;
    }
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

TEST_F(NimbraFrame, TheLastRowIsNegative) {
    GetParamName gpn{"untouched", 13};
    PartID part = reinterpret_cast<PartID>(&gpn);
    EXPECT_EQ(tex->NotifyRefChanged(FOREVER, tex->ParamBlock(), part, REFMSG_GET_PARAM_NAME),
              REF_STOP);
    EXPECT_EQ(gpn.name, "Negative");
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

TEST_F(NimbraFrame, VersionElevenScenesConvertAndKeepTheirValues) {
    const ParamVersionDesc& v11 = kNimbraInfo.olderLayouts[0];
    IParamBlock* old = CreateParameterBlock(v11.desc, v11.count, v11.version);
    for (int row = kNimbraContrast; row <= kNimbraVWaveform; ++row) {
        old->SetValue(row, 0, 1.5f + static_cast<float>(row));
    }
    old->SetValue(kNimbraSky, 0, Color(0.1f, 0.2f, 0.3f));
    tex->ReplaceReference(loom::kPBlockRef, old);
    loom::SceneLoadReport report;
    NimbraTex* back = RoundTrip(report);
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

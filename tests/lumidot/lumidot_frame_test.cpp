// The Lumidot texture behind the frame: evaluation through the UV generator, sub-maps,
// setters, cloning, storage with the older layout and the repair after loading.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/texframe/tex_class_desc.h"
#include "lumidot/lumidot_tex.h"
#include "lumidot/pattern.h"
#include "tests/support/bump_check.h"
#include "tests/support/const_map.h"
#include "tests/support/texture_fixture.h"

using loomtest::ConstMap;

namespace {

using LoggingMap = loomtest::LoggingMap;
using LumidotFrame = loomtest::TextureFixture<LumidotTex, kLumidotInfo>;

}  // namespace

TEST_F(LumidotFrame, NewTextureHasItsIdentityAndLayout) {
    EXPECT_EQ(tex->ClassID(), Class_ID(0x0AD22FBE, 0x44F54C8D));
    IParamBlock* pb = tex->ParamBlock();
    ASSERT_EQ(pb->NumParams(), 20);
    EXPECT_EQ(pb->GetVersion(), 12u);
    for (int row = 0; row < pb->NumParams(); ++row) {
        EXPECT_EQ(pb->IsAnimatable(row), row != kLumidotNegative && row != kLumidotPositive) << row;
    }
}

TEST_F(LumidotFrame, DefaultsEvaluateToTheWorkedNumbers) {
    AColor c = ColorAt(tex, 0, 0);
    EXPECT_NEAR(c.r, 0.916270, 1e-6);
    EXPECT_NEAR(c.g, 0.083730, 1e-6);
    EXPECT_NEAR(c.b, 0.293056, 1e-6);
    EXPECT_EQ(c.a, 1.0f);
    c = ColorAt(tex, 0.25f, 0.75f);
    EXPECT_NEAR(c.r, 0.449205, 1e-6);
    EXPECT_NEAR(c.g, 0.550795, 1e-6);
    EXPECT_EQ(c.b, 1.0f);
    // Mono: the means of Low (1, 0, 0) and High (0.8, 0.2, 0.7) mixed with w = 0.581348.
    const double w = 0.581348, low = 1.0 / 3.0, high = 1.7 / 3.0;
    EXPECT_NEAR(MonoAt(tex, 0, 0), w * low + (1 - w) * high, 2e-6);
}

TEST_F(LumidotFrame, SubMapsAreEvaluatedLowFirstAndKeepAlphaOne) {
    std::vector<std::string> log;
    tex->SetSubTexmap(0, new LoggingMap("high", AColor(0, 0, 1, 0.2f), 0.25f, &log));
    tex->SetSubTexmap(1, new LoggingMap("low", AColor(0, 1, 0, 0.2f), 0.75f, &log));
    tex->SetUseVerticalColour(0, 0);
    tex->SetUseHorizontalColour(0, 0);  // w = 0: positive blend gives the High side
    EXPECT_EQ(ColorAt(tex, 0.4f, 0.4f), AColor(0, 0, 1, 1));
    EXPECT_EQ(log, (std::vector<std::string>{"low", "high"}));
    log.clear();
    EXPECT_EQ(MonoAt(tex, 0.4f, 0.4f), 0.25f);
    EXPECT_EQ(log, (std::vector<std::string>{"low", "high"}));
    // Only slot 1 set: A from the map, B from colour 0.
    tex->SetSubTexmap(0, nullptr);
    tex->SetPositiveBlend(0, 0);  // no blend: the Low side as it is
    EXPECT_EQ(ColorAt(tex, 0.4f, 0.4f), AColor(0, 1, 0, 1));
}

TEST_F(LumidotFrame, PreviewMatchesEvalColorAndFillsTheDisplayBitmap) {
    tex->SetVerticalPinch(1, 0);
    tex->SetHorizontalLowThreshold(-0.2f, 0);
    tex->SetNegativeBlend(1, 0);
    tex->SetColor(0, Color(0.3f, 0.9f, 0.1f), 0);
    Interval valid = FOREVER;
    tex->Update(0, valid);
    for (float u = -0.5f; u < 1.5f; u += 0.09f) {
        for (float v = -0.5f; v < 1.5f; v += 0.11f) {
            EXPECT_EQ(tex->PatternPreview(u, v), ColorAt(tex, u, v)) << u << "," << v;
        }
    }
    // The preview never evaluates sub-maps.
    tex->SetSubTexmap(0, new ConstMap(AColor(0, 0, 0, 1), 0));
    tex->Update(0, valid);
    Bitmap* bm = tex->BuildDisplayBitmap(1);  // one pixel, at u = 0, v = 0.5
    ASSERT_NE(bm, nullptr);
    BMM_Color_64 px;
    ASSERT_EQ(bm->GetPixels(0, 0, 1, &px), 1);
    const AColor expect = tex->PatternPreview(0.0f, 0.5f);
    EXPECT_EQ(px.r, static_cast<WORD>(Widen(expect.r) * 65535.0));
    EXPECT_EQ(px.g, static_cast<WORD>(Widen(expect.g) * 65535.0));
    EXPECT_EQ(px.a, 0xFFFF);
    bm->DeleteThis();
}

TEST_F(LumidotFrame, VersionElevenScenesConvertAndAreRepaired) {
    const ParamVersionDesc& v11 = kLumidotInfo.olderLayouts[0];
    ASSERT_EQ(v11.version, 11u);
    IParamBlock* old = CreateParameterBlock(v11.desc, v11.count, v11.version);
    old->SetValue(kLumidotHigh, 0, Color(0.1f, 0.2f, 0.3f));
    old->SetValue(kLumidotLow, 0, Color(0.9f, 0.8f, 0.7f));
    old->SetValue(kLumidotHorizontalPhase, 0, 0.5f);
    old->SetValue(kLumidotHorizontalIteration, 0, 0.25f);
    old->SetValue(kLumidotVerticalPhase, 0, 3.0f);
    old->SetValue(kLumidotVerticalIteration, 0, 0.05f);
    tex->ReplaceReference(loom::kPBlockRef, old);
    loom::SceneLoadReport report;
    LumidotTex* back = RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(report.obsolete);
    ASSERT_EQ(back->ParamBlock()->GetVersion(), 12u);
    ASSERT_EQ(back->ParamBlock()->NumParams(), 20);
    // Rows 0 to 5 as saved, rows 6 to 19 at the defaults: the same as a new texture given
    // the six saved values.
    LumidotTex* fresh = new LumidotTex();
    scene.Add("fresh", fresh);
    fresh->SetColor(0, Color(0.1f, 0.2f, 0.3f), 0);
    fresh->SetColor(1, Color(0.9f, 0.8f, 0.7f), 0);
    fresh->SetHorizontalPhase(0.5f, 0);
    fresh->SetHorizontalIteration(0.25f, 0);
    fresh->SetVerticalPhase(3.0f, 0);
    fresh->SetVerticalIteration(0.05f, 0);
    for (int row = 0; row < kLumidotParamCount; ++row) {
        EXPECT_EQ(Stored(back, row), Stored(fresh, row)) << row;
    }
    EXPECT_EQ(ColorAt(back, 0.3f, 0.7f), ColorAt(fresh, 0.3f, 0.7f));
}

struct CurrentSceneCase {
    const char* what;
    int sine, cosine;
    bool repaired;
};

class LumidotCurrentScene : public LumidotFrame,
                            public ::testing::WithParamInterface<CurrentSceneCase> {};

TEST_P(LumidotCurrentScene, RepairRunsOnlyWhenBothVerticalShapesAreZero) {
    const CurrentSceneCase& k = GetParam();
    tex->SetVerticalSine(k.sine, 0);
    tex->SetVerticalCosine(k.cosine, 0);
    tex->SetVerticalHighThreshold(0.3f, 0);
    tex->SetHorizontalLowThreshold(-0.6f, 0);
    tex->SetHorizontalPinch(1, 0);
    tex->SetPositiveBlend(0, 0);
    tex->SetNegativeBlend(1, 0);
    tex->SetUseHorizontalColour(0, 0);
    tex->SetHorizontalPhase(7.0f, 0);  // a row the repair never touches
    loom::SceneLoadReport report;
    LumidotTex* back = RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(report.obsolete, k.repaired);
    Interval v = FOREVER;
    back->Update(0, v);
    const LumidotCache& c = back->Cache();
    EXPECT_EQ(c.horizontalPhase, 7.0f);
    if (k.repaired) {
        EXPECT_EQ(c.verticalSine, 1);
        EXPECT_EQ(c.verticalCosine, 0);
        EXPECT_EQ(c.verticalHighThreshold, 1.0f);
        EXPECT_EQ(c.horizontalLowThreshold, -1.0f);
        EXPECT_EQ(c.horizontalPinch, 0);
        EXPECT_EQ(c.positiveBlend, 1);
        EXPECT_EQ(c.negativeBlend, 0);
        EXPECT_EQ(c.useHorizontalColour, 1);
    } else {
        EXPECT_EQ(c.verticalSine, k.sine);
        EXPECT_EQ(c.verticalCosine, k.cosine);
        EXPECT_EQ(c.verticalHighThreshold, 0.3f);
        EXPECT_EQ(c.horizontalLowThreshold, -0.6f);
        EXPECT_EQ(c.horizontalPinch, 1);
        EXPECT_EQ(c.positiveBlend, 0);
        EXPECT_EQ(c.negativeBlend, 1);
        EXPECT_EQ(c.useHorizontalColour, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Flags, LumidotCurrentScene,
                         ::testing::Values(CurrentSceneCase{"cosine", 0, 1, false},
                                           CurrentSceneCase{"sine", 1, 0, false},
                                           CurrentSceneCase{"sineTwo", 2, 0, false},
                                           CurrentSceneCase{"neither", 0, 0, true}),
                         [](const auto& p) { return std::string(p.param.what); });

TEST_F(LumidotFrame, RepairWritesAtTimeZeroWithoutNewKeys) {
    tex->SetVerticalSine(0, 0);
    tex->ParamBlock()->SetKey(kLumidotVerticalHighThreshold, 0, ParamValue{{0.3f, 0, 0}});
    tex->ParamBlock()->SetKey(kLumidotVerticalHighThreshold, 4800, ParamValue{{0.6f, 0, 0}});
    loom::SceneLoadReport report;
    LumidotTex* back = RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(report.obsolete);
    EXPECT_EQ(back->ParamBlock()->NumKeys(kLumidotVerticalHighThreshold), 2);
    EXPECT_EQ(Stored(back, kLumidotVerticalHighThreshold, 0).v[0], 1.0f);
    EXPECT_EQ(Stored(back, kLumidotVerticalHighThreshold, 4800).v[0], 0.6f);
    EXPECT_EQ(back->ParamBlock()->NumKeys(kLumidotVerticalSine), 0);
}

TEST_F(LumidotFrame, RepairWithoutABlockChangesNothing) {
    tex->DeleteReference(loom::kPBlockRef);
    EXPECT_EQ(tex->FixLegacyParams(), 0);
}

TEST_F(LumidotFrame, BumpIsTheCentralDifferenceOfMono) {
    // Points where neither wave is cut off by a threshold (there the surface is flat).
    const Point2 points[] = {{0.1f, 0.2f}, {0.45f, 0.55f}, {0.62f, 0.31f}, {0.8f, 0.9f}};
    loomtest::ExpectNormalsFollowMono(tex, points);
}

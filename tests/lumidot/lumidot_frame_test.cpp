// The Lumidot texture behind the frame: evaluation through the UV generator, sub-maps,
// setters, cloning, storage with the older layout and the repair after loading.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/host/classdesc.h"
#include "foundation/host/scene_io.h"
#include "foundation/texframe/tex_class_desc.h"
#include "lumidot/lumidot_tex.h"
#include "lumidot/pattern.h"
#include "tests/lumidot/alloc_counter.h"
#include "tests/support/bump_check.h"
#include "tests/support/const_map.h"
#include "tests/support/texture_fixture.h"

using loomtest::ConstMap;

namespace {

using LoggingMap = loomtest::LoggingMap;
using LumidotFrame = loomtest::TextureFixture<LumidotTex, kLumidotInfo>;

}  // namespace

TEST_F(LumidotFrame, NewTextureHasItsIdentityAndLayout) {
    TSTR s;
    tex->GetClassName(s);
    EXPECT_EQ(s, "TLC Lumidot");
    EXPECT_EQ(tex->ClassID(), Class_ID(0x0AD22FBE, 0x44F54C8D));
    EXPECT_EQ(tex->NumRefs(), 4);
    EXPECT_EQ(tex->NumSubTexmaps(), 2);
    EXPECT_EQ(tex->GetSubTexmapSlotName(0), "High");
    EXPECT_EQ(tex->GetSubTexmapSlotName(1), "Low");
    EXPECT_EQ(tex->GetSubTexmapSlotName(2), "");
    EXPECT_EQ(tex->GetSubTexmap(0), nullptr);
    EXPECT_EQ(tex->GetSubTexmap(1), nullptr);
    IParamBlock* pb = tex->ParamBlock();
    ASSERT_EQ(pb->NumParams(), 20);
    EXPECT_EQ(pb->GetVersion(), 12u);
    for (int row = 0; row < pb->NumParams(); ++row) {
        EXPECT_EQ(pb->IsAnimatable(row), row != kLumidotNegative && row != kLumidotPositive) << row;
    }
    GetParamName gpn{"as given", 25};
    PartID part = reinterpret_cast<PartID>(&gpn);
    EXPECT_EQ(tex->NotifyRefChanged(FOREVER, pb, part, REFMSG_GET_PARAM_NAME), REF_STOP);
    EXPECT_EQ(gpn.name, "as given");
    gpn = {"as given", 0};
    tex->NotifyRefChanged(FOREVER, pb, part, REFMSG_GET_PARAM_NAME);
    EXPECT_EQ(gpn.name, "High");
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

TEST_F(LumidotFrame, SettersWriteTheirOwnRowAndField) {
    using T = LumidotTex;
    using C = LumidotCache;
    struct FloatCase {
        int row;
        void (T::*set)(float, TimeValue);
        float C::*field;
    };
    struct IntCase {
        int row;
        void (T::*set)(int, TimeValue);
        int C::*field;
    };
    // clang-format off
    const FloatCase floats[] = {
        {2, &T::SetHorizontalPhase, &C::horizontalPhase},
        {3, &T::SetHorizontalIteration, &C::horizontalIteration},
        {4, &T::SetVerticalPhase, &C::verticalPhase},
        {5, &T::SetVerticalIteration, &C::verticalIteration},
        {6, &T::SetVerticalHighThreshold, &C::verticalHighThreshold},
        {7, &T::SetVerticalLowThreshold, &C::verticalLowThreshold},
        {8, &T::SetHorizontalHighThreshold, &C::horizontalHighThreshold},
        {9, &T::SetHorizontalLowThreshold, &C::horizontalLowThreshold},
    };
    const IntCase ints[] = {
        {10, &T::SetVerticalSine, &C::verticalSine},
        {11, &T::SetVerticalCosine, &C::verticalCosine},
        {12, &T::SetHorizontalSine, &C::horizontalSine},
        {13, &T::SetHorizontalCosine, &C::horizontalCosine},
        {14, &T::SetVerticalPinch, &C::verticalPinch},
        {15, &T::SetHorizontalPinch, &C::horizontalPinch},
        {16, &T::SetNegativeBlend, &C::negativeBlend},
        {17, &T::SetPositiveBlend, &C::positiveBlend},
        {18, &T::SetUseVerticalColour, &C::useVerticalColour},
        {19, &T::SetUseHorizontalColour, &C::useHorizontalColour},
    };
    // clang-format on
    LumidotTex* const t = tex;
    auto snapshot = [t] {
        std::vector<ParamValue> rows;
        for (int r = 0; r < kLumidotParamCount; ++r) rows.push_back(Stored(t, r));
        return rows;
    };
    // After `row` was set to `value`, only that row differs from `before`.
    auto onlyRowMoved = [snapshot](int row, float value, std::vector<ParamValue> before) {
        before[static_cast<size_t>(row)] = ParamValue{{value, 0, 0}};
        EXPECT_EQ(snapshot(), before);
    };
    for (const FloatCase& k : floats) {
        SCOPED_TRACE(k.row);
        const float value = 40.0f + static_cast<float>(k.row);  // distinct per row
        const std::vector<ParamValue> before = snapshot();
        (t->*k.set)(value, 0);
        EXPECT_EQ(t->Cache().*k.field, value);  // held at once, before any Update
        onlyRowMoved(k.row, value, before);
    }
    for (const IntCase& k : ints) {
        SCOPED_TRACE(k.row);
        const int value = 40 + k.row;
        const std::vector<ParamValue> before = snapshot();
        (t->*k.set)(value, 0);
        EXPECT_EQ(t->Cache().*k.field, value);
        onlyRowMoved(k.row, static_cast<float>(value), before);
    }
    tex->SetColor(1, Color(0.1f, 0.2f, 0.3f), 0);
    EXPECT_EQ(tex->Cache().lowColor, Color(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(Stored(tex, kLumidotLow), (ParamValue{{0.1f, 0.2f, 0.3f}}));
}

TEST_F(LumidotFrame, ResetBringsBackTheDefaultsAndDropsTheMaps) {
    tex->SetSubTexmap(1, new ConstMap(AColor(0, 1, 0, 1), 1));
    tex->SetVerticalPinch(1, 0);
    tex->SetHorizontalIteration(3.0f, 0);
    tex->Reset();
    EXPECT_EQ(tex->GetSubTexmap(1), nullptr);
    EXPECT_NEAR(ColorAt(tex, 0, 0).r, 0.916270, 1e-6);
    EXPECT_NEAR(ColorAt(tex, 0.25f, 0.75f).g, 0.550795, 1e-6);
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

TEST_F(LumidotFrame, CloneAndSavedSceneEvaluateLikeTheOriginal) {
    auto* sub = new LumidotTex();  // a nested map of a class the scene loader knows
    sub->SetColor(1, Color(0.2f, 0.4f, 0.6f), 0);
    sub->SetVerticalIteration(0.02f, 0);
    tex->SetSubTexmap(1, sub);
    tex->SetHorizontalPinch(1, 0);
    tex->SetVerticalHighThreshold(0.4f, 0);
    tex->ParamBlock()->SetKey(kLumidotHorizontalPhase, 0, ParamValue{{0, 0, 0}});
    tex->ParamBlock()->SetKey(kLumidotHorizontalPhase, 4800, ParamValue{{6, 0, 0}});
    RemapDir remap;
    auto* copy = static_cast<LumidotTex*>(remap.CloneRef(tex));
    scene.Add("copy", copy);
    loom::SceneLoadReport report;
    LumidotTex* back = RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(report.obsolete);
    for (TimeValue t : {0, 1200, 4800}) {
        for (float u = 0.0f; u < 1.0f; u += 0.23f) {
            SCOPED_TRACE(::testing::Message() << t << " " << u);
            const AColor expect = ColorAt(tex, u, 1.0f - u, t);
            EXPECT_EQ(ColorAt(copy, u, 1.0f - u, t), expect);
            EXPECT_EQ(ColorAt(back, u, 1.0f - u, t), expect);
            EXPECT_EQ(MonoAt(back, u, 1.0f - u, t), MonoAt(tex, u, 1.0f - u, t));
        }
    }
    // The copy is independent of its source.
    copy->SetUseVerticalColour(0, 0);
    EXPECT_EQ(Stored(tex, kLumidotUseVerticalColour).v[0], 1.0f);
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

TEST_F(LumidotFrame, SamplingAllocatesNothing) {
    tex->SetSubTexmap(0, new ConstMap(AColor(0.5f, 0.5f, 0.5f, 1), 0.5f));
    tex->SetHorizontalPinch(1, 0);
    Interval valid = FOREVER;
    tex->Update(0, valid);
    loom::PlaneShadeContext sc;
    const long before = lumidottest::Allocations();
    float sum = 0.0f;
    for (int i = 0; i < 10000; ++i) {
        sc.Set(static_cast<float>(i % 100) * 0.01f, static_cast<float>(i / 100) * 0.01f);
        sum += tex->EvalColor(sc).r + tex->EvalMono(sc) + tex->EvalNormalPerturb(sc).x;
    }
    EXPECT_EQ(lumidottest::Allocations(), before);
    EXPECT_TRUE(std::isfinite(sum));
}

TEST_F(LumidotFrame, BumpIsTheCentralDifferenceOfMono) {
    // Points where neither wave is cut off by a threshold (there the surface is flat).
    const Point2 points[] = {{0.1f, 0.2f}, {0.45f, 0.55f}, {0.62f, 0.31f}, {0.8f, 0.9f}};
    loomtest::ExpectNormalsFollowMono(tex, points);
}

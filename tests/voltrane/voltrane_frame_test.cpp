// The Voltrane texture object: identity, block, reset, regions coloured from colours and
// sub-maps, cloning, storage and the repair of older scenes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "foundation/host/base/crt.h"
#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/texframe/tex_class_desc.h"
#include "tests/support/bump_check.h"
#include "tests/support/const_map.h"
#include "tests/support/texture_fixture.h"
#include "voltrane/pattern.h"
#include "voltrane/voltrane_tex.h"

using loomtest::ConstMap;

namespace {

/// A logging map that notes the G-buffer ID it was shaded with.
Texmap* RecordingMap(const char* name, std::vector<std::string>* log, AColor c, float mono) {
    auto* map = new loomtest::LoggingMap(name, c, mono, log);
    map->noteGBuffer = true;
    return map;
}

class VoltraneFrame : public loomtest::TextureFixture<VoltraneTex, kVoltraneInfo> {
  protected:
    static void Refresh(VoltraneTex* t, TimeValue time = 0) {
        Interval valid = FOREVER;
        t->Update(time, valid);
    }
    template <typename T>
    static T StoredAs(IParamBlock* pb, int row) {
        Interval v = FOREVER;
        T value{};
        pb->GetValue(row, 0, value, v);
        return value;
    }
    std::string ParamName(VoltraneTex* t, int row) {
        GetParamName gpn{"untouched", row};
        PartID part = reinterpret_cast<PartID>(&gpn);
        EXPECT_EQ(t->NotifyRefChanged(FOREVER, t->ParamBlock(), part, REFMSG_GET_PARAM_NAME),
                  REF_STOP);
        return gpn.name;
    }
};

}  // namespace

TEST_F(VoltraneFrame, IdentityAndParameterNames) {
    EXPECT_EQ(tex->ClassID(), Class_ID(0x159366D3, 0x01987927));
    EXPECT_STREQ(kVoltraneInfo.className, "Loomwork \xB7 Voltrane 2.7");
    EXPECT_EQ(ParamName(tex, 35), "Goo");
    EXPECT_EQ(ParamName(tex, 44), "Goo V Shift");
}

TEST_F(VoltraneFrame, NewBlockHasTheCurrentLayoutAndDefaults) {
    IParamBlock* pb = tex->ParamBlock();
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->GetVersion(), 270u);
    EXPECT_EQ(pb->NumParams(), 45);
    EXPECT_EQ(pb->GetParameterType(kVoltraneSweepPhase), TYPE_INT);
    EXPECT_EQ(pb->GetParameterType(kVoltraneEdgeColor), TYPE_RGBA);
    EXPECT_TRUE(pb->IsAnimatable(kVoltraneSweepPhase));
    EXPECT_FALSE(pb->IsAnimatable(kVoltraneGoo));
    // Every row lands in a field of its own: give each row a value no other row has and
    // find each value exactly once among the cache's words.
    std::multiset<std::uint32_t> expected;
    auto bits = [](auto value) {
        std::uint32_t w;
        std::memcpy(&w, &value, sizeof w);
        return w;
    };
    for (int row = 0; row < kVoltraneParamCount; ++row) {
        const float f = 1000.0f + static_cast<float>(row);
        switch (pb->GetParameterType(row)) {
            case TYPE_FLOAT:
                pb->SetValue(row, 0, f);
                expected.insert(bits(f));
                break;
            case TYPE_INT:
                pb->SetValue(row, 0, 1000 + row);
                expected.insert(bits(1000 + row));
                break;
            case TYPE_RGBA: {
                const Color c(0.01f * static_cast<float>(row),
                              0.5f + 0.01f * static_cast<float>(row),
                              0.9f + 0.01f * static_cast<float>(row));
                pb->SetValue(row, 0, c);
                for (float channel : {c.r, c.g, c.b}) expected.insert(bits(channel));
                break;
            }
        }
    }
    Refresh(tex);
    // The rows' fields come first, up to wave2Cos; the seed and tile that follow are not rows.
    constexpr std::size_t kRowBytes = offsetof(VoltraneCache, wave2Cos) + sizeof(int);
    std::uint32_t words[kRowBytes / 4];
    static_assert(sizeof words == kRowBytes);
    std::memcpy(words, &tex->Cache(), sizeof words);
    EXPECT_EQ(std::multiset<std::uint32_t>(std::begin(words), std::end(words)), expected);
    tex->Reset();
    // Defaults: black over the whole square.
    EXPECT_EQ(ColorAt(tex, 0.5f, 0.5f), AColor(0, 0, 0, 1));
    const ParamVersionDesc& old = kVoltraneInfo.olderLayouts[0];
    EXPECT_EQ(old.version, 200u);
    EXPECT_EQ(old.count, 34);
    for (int i = 0; i < old.count; ++i) EXPECT_TRUE(old.desc[i].animatable) << i;
}

TEST_F(VoltraneFrame, SweepPhase75ColoursBodyEdgeAndBackground) {
    tex->SetSweepPhase(75, 0);
    EXPECT_EQ(ColorAt(tex, 0.47f, 0.5f), AColor(0.7f, 0.3f, 0.8f, 1.0f));
    EXPECT_EQ(ColorAt(tex, 0.49f, 0.5f), AColor(1, 1, 1, 1));
    EXPECT_EQ(ColorAt(tex, 0.51f, 0.5f), AColor(0, 0, 0, 1));
    EXPECT_FLOAT_EQ(MonoAt(tex, 0.47f, 0.5f), static_cast<float>((0.7 + 0.3 + 0.8) / 3));
    EXPECT_EQ(MonoAt(tex, 0.49f, 0.5f), static_cast<float>(3.0 * double{0.33333334f}));
    EXPECT_EQ(MonoAt(tex, 0.51f, 0.5f), 0.0f);
}

TEST_F(VoltraneFrame, OpacityIsPerChannelAndUnclamped) {
    tex->SetSweepPhase(75, 0);
    tex->SetColor(kVoltraneBack, Color(0.2f, 0.4f, 0.1f), 0);
    tex->SetBodyOpacityR(0.0f, 0);
    tex->SetBodyOpacityG(0.5f, 0);
    tex->SetBodyOpacityB(2.0f, 0);
    const AColor body = ColorAt(tex, 0.2f, 0.5f);
    EXPECT_FLOAT_EQ(body.r, 0.2f);   // the background
    EXPECT_FLOAT_EQ(body.g, 0.35f);  // half way
    EXPECT_FLOAT_EQ(body.b, 1.5f);   // 2F - B, beyond 1
    EXPECT_EQ(body.a, 1.0f);
    tex->SetEdgeOpacityR(2.0f, 0);
    tex->SetEdgeOpacityG(2.0f, 0);
    tex->SetEdgeOpacityB(0.0f, 0);
    const AColor edge = ColorAt(tex, 0.49f, 0.5f);
    EXPECT_FLOAT_EQ(edge.r, 1.8f);
    EXPECT_FLOAT_EQ(edge.g, 1.6f);
    EXPECT_FLOAT_EQ(edge.b, 0.1f);
    // Mono takes the red opacity only.
    EXPECT_FLOAT_EQ(MonoAt(tex, 0.2f, 0.5f), VoltraneColorMono(Color(0.2f, 0.4f, 0.1f)));
    tex->SetBodyOpacityR(0.5f, 0);
    tex->SetColor(kVoltraneBack, Color(0, 0, 0), 0);
    EXPECT_NEAR(MonoAt(tex, 0.2f, 0.5f), 0.3f, 1e-7);
}

TEST_F(VoltraneFrame, BackgroundMapAlphaShowsOnlyInTheBackground) {
    tex->SetSweepPhase(75, 0);
    tex->SetSubTexmap(kVoltraneBack, new ConstMap(AColor(0.2f, 0.4f, 0.6f, 0.5f), 0.25f));
    EXPECT_EQ(ColorAt(tex, 0.6f, 0.5f), AColor(0.2f, 0.4f, 0.6f, 0.5f));
    EXPECT_EQ(ColorAt(tex, 0.2f, 0.5f).a, 1.0f);
    EXPECT_EQ(ColorAt(tex, 0.49f, 0.5f).a, 1.0f);
    EXPECT_EQ(MonoAt(tex, 0.6f, 0.5f), 0.25f);
    tex->SetBodyOpacityR(0.0f, 0);
    EXPECT_EQ(MonoAt(tex, 0.2f, 0.5f), 0.25f);  // body of opacity 0 shows the background map
}

TEST_F(VoltraneFrame, MapsAreShadedBackgroundFirstAndThenWithoutGBufferID) {
    std::vector<std::string> log;
    tex->SetSubTexmap(kVoltraneBody, RecordingMap("body", &log, AColor(1, 0, 0, 1), 1));
    tex->SetSubTexmap(kVoltraneEdge, RecordingMap("edge", &log, AColor(0, 1, 0, 1), 1));
    tex->SetSubTexmap(kVoltraneBack, RecordingMap("back", &log, AColor(0, 0, 1, 1), 0));
    tex->SetGBufID(7);
    tex->SetSweepPhase(75, 0);
    struct Case {
        float u;
        std::vector<std::string> expected;
        AColor color;
    };
    const Case cases[] = {
        {0.2f, {"back:7", "body:0"}, AColor(1, 0, 0, 1)},
        {0.49f, {"back:7", "edge:0"}, AColor(0, 1, 0, 1)},
        {0.7f, {"back:7"}, AColor(0, 0, 1, 1)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.u);
        log.clear();
        EXPECT_EQ(ColorAt(tex, k.u, 0.5f), k.color);
        EXPECT_EQ(log, k.expected);
        log.clear();
        MonoAt(tex, k.u, 0.5f);
        EXPECT_EQ(log, k.expected);
    }
}

TEST_F(VoltraneFrame, PreviewMatchesColourWithoutMaps) {
    tex->SetEdgeNoise(12.0f, 0);
    tex->SetEdgeDensity(40.0f, 0);
    tex->SetSweepPhase(60, 0);
    tex->SetEdgeSize(0.05f, 0);
    tex->SetApplyWave(1, 0);
    const int rows[] = {kVoltraneLinearH,      kVoltraneLinearV, kVoltraneRadial,
                        kVoltraneShockwave,    kVoltraneEncase,  kVoltraneDiagonal,
                        kVoltraneRandomStatic, kVoltraneCubic,   kVoltraneGoo};
    loom::PlaneShadeContext sc;
    int regions[3] = {0, 0, 0};
    for (int shape : rows) {
        for (int row : rows) tex->SetIntParam(row, row == shape ? 1 : 0, 0);
        Refresh(tex);
        for (int i = 0; i < 400; ++i) {
            const float u = static_cast<float>(i % 20) / 19.0f;
            const float v = static_cast<float>(i / 20) / 19.0f;
            const std::uint32_t state = 1000u + static_cast<std::uint32_t>(i);
            crt::SetRandState(state);
            const AColor preview = tex->PatternPreview(u, v);
            crt::SetRandState(state);
            sc.Set(u, v);
            ASSERT_EQ(tex->PatternColor(sc, u, v), preview) << shape << " at " << u << "," << v;
            crt::SetRandState(state);
            ++regions[static_cast<int>(VoltraneRegionAt(tex->Cache(), u, v))];
        }
    }
    // The comparisons covered all three regions.
    for (int count : regions) EXPECT_GT(count, 100);
}

TEST_F(VoltraneFrame, SwapTradesBodyAndEdgeOnly) {
    auto* map = new ConstMap(AColor(1, 0, 0, 1), 1);
    tex->SetSubTexmap(kVoltraneBody, map);
    auto* back = new ConstMap(AColor(0, 0, 1, 1), 0);
    tex->SetSubTexmap(kVoltraneBack, back);
    tex->SetEdgeNoise(3.0f, 0);
    tex->ParamBlock()->SetKey(kVoltraneEdgeColor, 0, ParamValue{{0, 0, 0}});
    tex->ParamBlock()->SetKey(kVoltraneEdgeColor, 100, ParamValue{{0, 1, 0}});
    tex->Swap();
    EXPECT_EQ(tex->GetSubTexmap(kVoltraneEdge), map);
    EXPECT_EQ(tex->GetSubTexmap(kVoltraneBody), nullptr);
    EXPECT_EQ(tex->GetSubTexmap(kVoltraneBack), back);
    EXPECT_EQ(tex->Cache().edgeColor, Color(0.7f, 0.3f, 0.8f));
    EXPECT_EQ(tex->ParamBlock()->NumKeys(kVoltraneBodyColor), 2);
    EXPECT_EQ(StoredAs<Color>(tex->ParamBlock(), kVoltraneEdgeColor), Color(0.7f, 0.3f, 0.8f));
    EXPECT_EQ(StoredAs<float>(tex->ParamBlock(), kVoltraneEdgeNoise), 3.0f);
}

TEST_F(VoltraneFrame, AnimatedValuesAreClampedOrWholeInTheCache) {
    IParamBlock* pb = tex->ParamBlock();
    pb->SetKey(kVoltraneEdgeColor, 0, ParamValue{{1, 1, 1}});
    pb->SetKey(kVoltraneEdgeColor, 4800, ParamValue{{3, 1, -1}});
    pb->SetKey(kVoltraneSweepPhase, 0, ParamValue{{0, 0, 0}});
    pb->SetKey(kVoltraneSweepPhase, 4800, ParamValue{{75, 0, 0}});
    Refresh(tex, 2400);
    EXPECT_EQ(tex->Cache().edgeColor, Color(1.0f, 1.0f, 0.0f));
    Interval v = FOREVER;
    Color stored;
    pb->GetValue(kVoltraneEdgeColor, 2400, stored, v);
    EXPECT_EQ(stored, Color(2.0f, 1.0f, 0.0f));
    Refresh(tex, 1000);
    const int phase = tex->Cache().sweepPhase;  // 75 x 1000/4800 = 15.6
    EXPECT_TRUE(phase == 15 || phase == 16) << phase;
    // e = phase / 150 exactly as the whole number gives it.
    const float e = static_cast<float>(phase * double{0.0066666668f});
    EXPECT_EQ(ColorAt(tex, std::nextafter(e, 0.0f), 0.5f, 1000), AColor(tex->Cache().edgeColor));
    EXPECT_EQ(ColorAt(tex, e, 0.5f, 1000), AColor(0, 0, 0, 1));
}

TEST_F(VoltraneFrame, Version200ScenesConvertAndGetTheirWaveformsBack) {
    const ParamVersionDesc& v200 = kVoltraneInfo.olderLayouts[0];
    IParamBlock* old = CreateParameterBlock(v200.desc, v200.count, v200.version);
    old->SetValue(kVoltraneEdgeNoise, 0, 2.5f);
    old->SetValue(kVoltraneEdgeColor, 0, Color(0.1f, 0.2f, 0.3f));
    old->SetValue(kVoltraneSweepPhase, 0, 75);
    old->SetValue(kVoltraneWave1Size, 0, 11.0f);
    old->SetValue(kVoltraneApplyWave, 0, 1);
    old->SetValue(kVoltraneLinearH, 0, 0);
    old->SetValue(kVoltraneRandomStatic, 0, 1);
    old->SetKey(kVoltraneShear, 0, ParamValue{{100, 0, 0}});
    old->SetKey(kVoltraneShear, 480, ParamValue{{50, 0, 0}});
    tex->ReplaceReference(loom::kPBlockRef, old);
    loom::SceneLoadReport report;
    VoltraneTex* back = RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(report.obsolete);
    IParamBlock* pb = back->ParamBlock();
    ASSERT_EQ(pb->GetVersion(), 270u);
    ASSERT_EQ(pb->NumParams(), 45);
    Refresh(back);
    const VoltraneCache& c = back->Cache();
    EXPECT_EQ(c.edgeNoise, 2.5f);
    EXPECT_EQ(c.edgeColor, Color(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(c.sweepPhase, 75);
    EXPECT_EQ(c.wave1Size, 11.0f);
    EXPECT_EQ(c.applyWave, 1);
    EXPECT_EQ(c.randomStatic, 1);
    EXPECT_EQ(c.linearH, 0);
    EXPECT_EQ(pb->NumKeys(kVoltraneShear), 2);
    // The repaired selectors: wave 1 sine, wave 2 cosine.
    EXPECT_EQ(c.wave1Sin, 1);
    EXPECT_EQ(c.wave1Cos, 0);
    EXPECT_EQ(c.wave2Sin, 0);
    EXPECT_EQ(c.wave2Cos, 1);
    // The other new rows come in as 0, not as the table's defaults.
    EXPECT_EQ(c.cubic, 0);
    EXPECT_EQ(c.goo, 0);
    EXPECT_EQ(c.gooUScale, 0.0f);
    EXPECT_EQ(c.gooVScale, 0.0f);
    EXPECT_EQ(c.gooPhase, 0.0f);
}

TEST_F(VoltraneFrame, CurrentScenesAreRepairedOnlyWhenAWaveLostItsForm) {
    struct Case {
        int s1, c1, s2, c2;
        bool obsolete;
        int want[4];
    };
    const Case cases[] = {
        {1, 0, 0, 1, false, {1, 0, 0, 1}}, {0, 1, 1, 0, false, {0, 1, 1, 0}},
        {1, 1, 1, 1, false, {1, 1, 1, 1}},  // both set is left alone
        {0, 0, 1, 0, true, {1, 0, 1, 0}},  {0, 1, 0, 0, true, {0, 1, 0, 1}},
        {0, 0, 0, 0, true, {1, 0, 0, 1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.s1 << k.c1 << k.s2 << k.c2);
        scene.Clear();
        loaded.Clear();
        auto* t = new VoltraneTex();
        scene.Add("t", t);
        t->SetWave1Sin(k.s1, 0);
        t->SetWave1Cos(k.c1, 0);
        t->SetWave2Sin(k.s2, 0);
        t->SetWave2Cos(k.c2, 0);
        loom::SceneLoadReport report;
        VoltraneTex* back = RoundTrip(report);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(report.obsolete, k.obsolete);
        Refresh(back);
        const VoltraneCache& c = back->Cache();
        EXPECT_EQ((std::vector<int>{c.wave1Sin, c.wave1Cos, c.wave2Sin, c.wave2Cos}),
                  (std::vector<int>(k.want, k.want + 4)));
    }
}

TEST_F(VoltraneFrame, RepairEmptiesTheCacheAndNeedsABlock) {
    tex->SetWave1Sin(0, 0);
    tex->SetWave1Cos(0, 0);
    Refresh(tex);
    EXPECT_EQ(tex->FixLegacyParams(), 1);
    EXPECT_TRUE(tex->CacheValidity().Empty());
    EXPECT_EQ(tex->FixLegacyParams(), 0);
    Refresh(tex);
    EXPECT_EQ(tex->Cache().wave1Sin, 1);
    tex->DeleteReference(loom::kPBlockRef);
    EXPECT_EQ(tex->FixLegacyParams(), 0);
}

// Mono is constant within each region, so the bump is the jump across a region boundary
// divided by the difference's width: the points sit within one step of a boundary.
TEST_F(VoltraneFrame, BumpIsTheCentralDifferenceOfMono) {
    tex->SetIntParam(kVoltraneSweepPhase, 75, 0);
    {
        SCOPED_TRACE("linear horizontal: body | edge at u 0.48, edge | background at 0.5");
        const Point2 points[] = {{0.4805f, 0.3f}, {0.4998f, 0.7f}};
        loomtest::ExpectNormalsFollowMono(tex, points);
    }
    {
        SCOPED_TRACE("diagonal: the boundaries run across both u and v");
        tex->SetIntParam(kVoltraneLinearH, 0, 0);
        tex->SetIntParam(kVoltraneDiagonal, 1, 0);
        const Point2 points[] = {{0.1805f, 0.3f}, {0.3f, 0.1998f}};
        loomtest::ExpectNormalsFollowMono(tex, points);
    }
    // Away from every boundary the surface is flat.
    Refresh(tex);
    loom::PlaneShadeContext sc;
    sc.Set(0.05f, 0.05f);
    EXPECT_EQ(tex->EvalNormalPerturb(sc), Point3(0.0f, 0.0f, 0.0f));
}

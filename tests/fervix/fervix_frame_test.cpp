// The Fervix texture behind the frame: evaluation through the UV generator, sub-maps,
// setters, cloning, storage with the four older layouts and the repair after loading.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fervix/fervix_tex.h"
#include "fervix/pattern.h"
#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/texframe/tex_class_desc.h"
#include "tests/support/bump_check.h"
#include "tests/support/const_map.h"
#include "tests/support/texture_fixture.h"

using loomtest::ConstMap;

namespace {

using LoggingMap = loomtest::LoggingMap;
using FervixFrame = loomtest::TextureFixture<FervixTex, kFervixInfo>;

}  // namespace

TEST_F(FervixFrame, NewTextureHasItsIdentityAndLayout) {
    EXPECT_EQ(tex->ClassID(), Class_ID(0x05F23E1C, 0x515D5C8A));
    IParamBlock* pb = tex->ParamBlock();
    ASSERT_EQ(pb->NumParams(), 28);
    EXPECT_EQ(pb->GetVersion(), 5u);
    for (int row = 0; row < pb->NumParams(); ++row) {
        const bool fixed = (row >= kFervixHorizontalRadial && row <= kFervixVerticalLinear) ||
                           row == kFervixPositive || row == kFervixNegative;
        EXPECT_EQ(pb->IsAnimatable(row), !fixed) << row;
    }
    GetParamName gpn{"", kFervixPlasmaAdd};
    PartID part = reinterpret_cast<PartID>(&gpn);
    tex->NotifyRefChanged(FOREVER, pb, part, REFMSG_GET_PARAM_NAME);
    EXPECT_EQ(gpn.name, "Plasma ADD Toggle");
}

TEST_F(FervixFrame, DefaultsEvaluateAsANewTextureShould) {
    AColor c = ColorAt(tex, 0.5f, 0.5f);
    EXPECT_EQ(c.r, 0.0f);
    EXPECT_NEAR(c.g, 0.54, 1e-6);
    EXPECT_NEAR(c.b, 0.62, 1e-6);
    EXPECT_EQ(c.a, 1.0f);
    // Plasma on, fractal detail and turbulence off, radial on both axes around (0.5, 0.5),
    // Positive Blend, Prime (0, 0.9, 0.9) and Back (0, 0, 0.2).
    FervixCache d;
    d.primeColor = Color(0.0f, 0.9f, 0.9f);
    d.backColor = Color(0.0f, 0.0f, 0.2f);
    d.uScale = d.vScale = 4.0f;
    d.uOffset = d.vOffset = 0.5f;
    d.intensity = 0.25f;
    d.fallOff = 0.4f;
    d.horizontalRadial = d.verticalRadial = 1;
    d.usePlasma = 1;
    d.plasmaAdd = 1;
    d.positiveBlend = 1;
    for (float u = -0.2f; u < 1.2f; u += 0.13f) {
        for (float v = -0.2f; v < 1.2f; v += 0.17f) {
            EXPECT_EQ(ColorAt(tex, u, v),
                      FervixMixColor(d, FervixWeight(d, u, v), d.primeColor, d.backColor))
                << u << "," << v;
        }
    }
}

TEST_F(FervixFrame, SubMapsAreEvaluatedBackFirst) {
    std::vector<std::string> log;
    tex->SetSubTexmap(0, new LoggingMap("prime", AColor(1, 0, 0, 0.3f), 0.2f, &log));
    tex->SetSubTexmap(1, new LoggingMap("back", AColor(0, 0, 1, 0.3f), 0.9f, &log));
    tex->SetUsePlasma(0, 0);
    tex->SetHorizontalLinear(1, 0);
    tex->SetHorizontalRadial(0, 0);
    tex->SetVerticalLinear(1, 0);
    tex->SetVerticalRadial(0, 0);
    tex->SetFallOff(1.0f, 0);  // w = 1 everywhere: the Back side
    EXPECT_EQ(ColorAt(tex, 0.1f, 0.9f), AColor(0, 0, 1, 1));
    EXPECT_EQ(log, (std::vector<std::string>{"back", "prime"}));
    log.clear();
    EXPECT_EQ(MonoAt(tex, 0.1f, 0.9f), 0.9f);
    EXPECT_EQ(log, (std::vector<std::string>{"back", "prime"}));
}

TEST_F(FervixFrame, PreviewMatchesEvalColorAndFillsTheDisplayBitmap) {
    tex->SetUseFractalDetail(1, 0);
    tex->SetUseTurbulence(1, 0);
    tex->SetPhase(2.5f, 0);
    tex->SetNegativeBlend(1, 0);
    Interval valid = FOREVER;
    tex->Update(0, valid);
    for (float u = -0.5f; u < 1.5f; u += 0.09f) {
        for (float v = -0.5f; v < 1.5f; v += 0.11f) {
            EXPECT_EQ(tex->PatternPreview(u, v), ColorAt(tex, u, v)) << u << "," << v;
        }
    }
    tex->SetSubTexmap(1, new ConstMap(AColor(1, 1, 1, 1), 1));  // the preview ignores maps
    tex->Update(0, valid);
    Bitmap* bm = tex->BuildDisplayBitmap(1);
    ASSERT_NE(bm, nullptr);
    BMM_Color_64 px;
    ASSERT_EQ(bm->GetPixels(0, 0, 1, &px), 1);
    const AColor expect = tex->PatternPreview(0.0f, 0.5f);
    EXPECT_EQ(px.b, static_cast<WORD>(Widen(expect.b) * 65535.0));
    EXPECT_EQ(px.g, static_cast<WORD>(Widen(expect.g) * 65535.0));
    bm->DeleteThis();
}

class FervixOlderLayout : public FervixFrame, public ::testing::WithParamInterface<DWORD> {};

TEST_P(FervixOlderLayout, ConvertsAndIsRepaired) {
    const DWORD version = GetParam();
    const ParamVersionDesc& layout = kFervixInfo.olderLayouts[version - 1];
    ASSERT_EQ(layout.version, version);
    const int rows = layout.count;
    IParamBlock* old = CreateParameterBlock(layout.desc, rows, version);
    for (int row = 0; row < rows; ++row) EXPECT_TRUE(old->IsAnimatable(row)) << row;

    // Every row the layout has gets a value of its own.
    std::vector<ParamValue> saved(kFervixParamCount);
    auto put = [&](int row, float v) {
        if (row >= rows) return;
        saved[static_cast<size_t>(row)] = ParamValue{{v, 0, 0}};
        old->SetRaw(row, 0, saved[static_cast<size_t>(row)]);
    };
    saved[kFervixPrime] = ParamValue{{0.1f, 0.2f, 0.3f}};
    saved[kFervixBack] = ParamValue{{0.4f, 0.5f, 0.6f}};
    old->SetRaw(kFervixPrime, 0, saved[kFervixPrime]);
    old->SetRaw(kFervixBack, 0, saved[kFervixBack]);
    put(kFervixUScale, 7.0f);
    put(kFervixVScale, 9.0f);
    put(kFervixUOffset, 0.3f);
    put(kFervixVOffset, 0.6f);
    put(kFervixPhase, 1.25f);
    put(kFervixIntensity, 0.5f);
    put(kFervixFallOff, 0.2f);
    put(kFervixHorizontalRadial, 0);
    put(kFervixHorizontalLinear, 1);
    put(kFervixVerticalRadial, 1);
    put(kFervixVerticalLinear, 0);
    put(kFervixUsePlasma, 1);
    put(kFervixShiftX, 0.5f);
    put(kFervixShiftY, -0.25f);
    put(kFervixUseFractalDetail, 1);
    put(kFervixTurbulenceScale, 3.5f);
    put(kFervixUseTurbulence, 1);
    put(kFervixPlasmaAdd, 0);
    put(kFervixPlasmaSub, 1);
    put(kFervixFractalAdd, 0);
    put(kFervixFractalSub, 1);
    put(kFervixTurbulenceAdd, 1);
    put(kFervixTurbulenceSub, 0);
    put(kFervixFractalScale, 5.0f);
    tex->ReplaceReference(loom::kPBlockRef, old);

    loom::SceneLoadReport report;
    FervixTex* back = RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(report.obsolete);
    ASSERT_EQ(back->ParamBlock()->GetVersion(), 5u);
    ASSERT_EQ(back->ParamBlock()->NumParams(), 28);

    // Rows the layout had keep their values; the rest start at 0, and then the repair
    // gives versions 1 to 3 the ADD side of each overlay, every version Positive Blend and
    // a Fractal Scale of 2.0 (replacing version 4's stored 5.0).
    std::vector<ParamValue> expect = saved;
    if (version <= 3) {
        for (int row : {kFervixPlasmaAdd, kFervixFractalAdd, kFervixTurbulenceAdd}) {
            expect[static_cast<size_t>(row)] = ParamValue{{1, 0, 0}};
        }
    }
    expect[kFervixPositive] = ParamValue{{1, 0, 0}};
    expect[kFervixFractalScale] = ParamValue{{2, 0, 0}};
    for (int row = 0; row < kFervixParamCount; ++row) {
        EXPECT_EQ(Stored(back, row), expect[static_cast<size_t>(row)]) << "row " << row;
    }
    // The converted block has the current layout's animatable flags.
    EXPECT_FALSE(back->ParamBlock()->IsAnimatable(kFervixHorizontalRadial));
}

INSTANTIATE_TEST_SUITE_P(Versions, FervixOlderLayout, ::testing::Values(1u, 2u, 3u, 4u));

struct CurrentSceneCase {
    const char* what;
    int plasmaAdd, plasmaSub, positive, negative;
    bool repaired;
};

class FervixCurrentScene : public FervixFrame,
                           public ::testing::WithParamInterface<CurrentSceneCase> {};

TEST_P(FervixCurrentScene, RepairTouchesOnlyPairsWithNeitherFlag) {
    const CurrentSceneCase& k = GetParam();
    tex->SetPlasmaAdd(k.plasmaAdd, 0);
    tex->SetPlasmaSub(k.plasmaSub, 0);
    tex->SetFractalAdd(0, 0);
    tex->SetFractalSub(1, 0);
    tex->SetPositiveBlend(k.positive, 0);
    tex->SetNegativeBlend(k.negative, 0);
    tex->SetFractalScale(7.0f, 0);
    loom::SceneLoadReport report;
    FervixTex* back = RoundTrip(report);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(report.obsolete, k.repaired);
    Interval v = FOREVER;
    back->Update(0, v);
    const FervixCache& c = back->Cache();
    const bool noPlasma = k.plasmaAdd == 0 && k.plasmaSub == 0;
    const bool noBlend = k.positive == 0 && k.negative == 0;
    EXPECT_EQ(c.plasmaAdd, noPlasma ? 1 : k.plasmaAdd);
    EXPECT_EQ(c.plasmaSub, k.plasmaSub);
    EXPECT_EQ(c.fractalAdd, 0);
    EXPECT_EQ(c.fractalSub, 1);
    EXPECT_EQ(c.positiveBlend, noBlend ? 1 : k.positive);
    EXPECT_EQ(c.negativeBlend, k.negative);
    // Kept as the repair has always done it: no blend flag means Fractal Scale 2.0.
    EXPECT_EQ(c.fractalScale, noBlend ? 2.0f : 7.0f);
}

INSTANTIATE_TEST_SUITE_P(Flags, FervixCurrentScene,
                         ::testing::Values(CurrentSceneCase{"consistent", 0, 1, 0, 1, false},
                                           CurrentSceneCase{"bothPlasma", 1, 1, 1, 0, false},
                                           CurrentSceneCase{"noPlasma", 0, 0, 1, 0, true},
                                           CurrentSceneCase{"noBlend", 1, 0, 0, 0, true}),
                         [](const auto& p) { return std::string(p.param.what); });

TEST_F(FervixFrame, RepairWithoutABlockChangesNothing) {
    tex->DeleteReference(loom::kPBlockRef);
    EXPECT_EQ(tex->FixLegacyParams(), 0);
}

TEST_F(FervixFrame, BumpIsTheCentralDifferenceOfMono) {
    const Point2 points[] = {{0.1f, 0.2f},   {0.3f, 0.7f}, {0.45f, 0.55f},
                             {0.62f, 0.31f}, {0.8f, 0.9f}, {0.93f, 0.07f}};
    loomtest::ExpectNormalsFollowMono(tex, points);
    // With every overlay on, the noise terms take part too.
    tex->SetIntParam(kFervixUseFractalDetail, 1, 0);
    tex->SetIntParam(kFervixUseTurbulence, 1, 0);
    loomtest::ExpectNormalsFollowMono(tex, points);
}

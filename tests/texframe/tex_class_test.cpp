// A texture declared the way a plug-in declares one (table, cache, pattern, entry-point
// macro), checked for what the frame template and the macro add: sub-map order, class
// descriptor and entry points that let no exception out.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "foundation/texframe/tex_class.h"
#include "foundation/texframe/tex_plugin.h"
#include "tests/support/texture_fixture.h"

namespace {

struct ProbeCache {
    Color first;
    Color second;
    float scale = 0.0f;
};

enum ProbeParam { kProbeFirst = 0, kProbeSecond, kProbeScale, kProbeParamCount };

// clang-format off
constexpr loom::ParamRow kRows[] = {
    LOOM_COLOR_ROW(kProbeFirst,  ProbeCache, first,  "First",  true, 0.25f, 0.5f, 0.75f),
    LOOM_COLOR_ROW(kProbeSecond, ProbeCache, second, "Second", true, 1.0f, 0.0f, 0.0f),
    LOOM_FLOAT_ROW(kProbeScale,  ProbeCache, scale,  "Scale",  true, 3.0f),
};
// clang-format on
constexpr int kResetOrder[] = {kProbeFirst, kProbeSecond, kProbeScale};
constexpr int kColorRows[] = {kProbeFirst, kProbeSecond};
constexpr const char* kSlotNames[] = {"First", "Second"};
constexpr auto kLayout = loom::MakeLayout<kProbeParamCount>(kRows);

}  // namespace

extern const loom::TextureInfo kProbeInfo;
const loom::TextureInfo kProbeInfo = {
    "Probe",     "Probe",    Class_ID(0x7E570101, 0x7E570102),
    "ProbeTemp", kRows,      kResetOrder,
    kColorRows,  kSlotNames, 1,
    kLayout,     {},         false,
};

namespace {

/// Counts the mono fallbacks the frame asks for: a slot with a map must not ask.
int fallbacks = 0;
float CountedMono(const Color& c) noexcept {
    ++fallbacks;
    return c.r;
}

}  // namespace

class ProbeTex final : public loom::TexClass<ProbeTex, ProbeCache, kProbeInfo> {
  public:
    /// Slot 0's colour left of u = 0.5, slot 1's from there on.
    AColor PatternColor(ShadeContext& sc, float u, float) override {
        const auto [first, second] = SlotColors(sc, cache_.first, cache_.second);
        return AColor(u < 0.5f ? first : second);
    }
    float PatternMono(ShadeContext& sc, float u, float) override {
        const auto [first, second] = SlotMonos(sc, cache_.first, cache_.second, CountedMono);
        return u < 0.5f ? first : second;
    }
    AColor PatternPreview(float u, float) override {
        return AColor(u < 0.5f ? cache_.first : cache_.second);
    }
};

LOOM_TEXTURE_PLUGIN(ProbeTex, "Probe texture library")

namespace {

class TexClassTest : public loomtest::TextureFixture<ProbeTex, kProbeInfo> {};

TEST_F(TexClassTest, BothSubMapsRunSlotOneFirstWhateverTheSide) {
    std::vector<std::string> log;
    tex->SetSubTexmap(0, new loomtest::LoggingMap("zero", AColor(0, 1, 0, 0.5f), 0.2f, &log));
    tex->SetSubTexmap(1, new loomtest::LoggingMap("one", AColor(0, 0, 1, 0.5f), 0.7f, &log));
    for (float u : {0.1f, 0.9f}) {
        SCOPED_TRACE(u);
        log.clear();
        const AColor c = ColorAt(tex, u, 0.5f);
        EXPECT_EQ(log, (std::vector<std::string>{"one", "zero"}));
        // The map's RGB replaces the colour; its alpha does not come through.
        EXPECT_EQ(c.g, u < 0.5f ? 1.0f : 0.0f);
        EXPECT_EQ(c.a, 1.0f);
        log.clear();
        EXPECT_EQ(MonoAt(tex, u, 0.5f), u < 0.5f ? 0.2f : 0.7f);
        EXPECT_EQ(log, (std::vector<std::string>{"one", "zero"}));
    }
}

TEST_F(TexClassTest, MonoFallbackRunsOnlyForASlotWithoutMap) {
    std::vector<std::string> log;
    fallbacks = 0;
    EXPECT_EQ(MonoAt(tex, 0.9f, 0.5f), 1.0f);  // the second colour's red
    EXPECT_EQ(fallbacks, 2);
    tex->SetSubTexmap(1, new loomtest::LoggingMap("one", AColor(0, 0, 1, 1), 0.7f, &log));
    fallbacks = 0;
    EXPECT_EQ(MonoAt(tex, 0.1f, 0.5f), 0.25f);
    EXPECT_EQ(fallbacks, 1);
}

TEST_F(TexClassTest, CloneCopiesTheCacheIntoAnIndependentObject) {
    tex->SetFloatParam(kProbeScale, 7.5f, 0);
    RemapDir remap;
    auto* copy = dynamic_cast<ProbeTex*>(tex->Clone(remap));
    ASSERT_NE(copy, nullptr);
    scene.Add("copy", copy);
    EXPECT_EQ(copy->Cache().scale, 7.5f);
    copy->SetFloatParam(kProbeScale, 1.0f, 0);
    EXPECT_EQ(tex->Cache().scale, 7.5f);
}

TEST_F(TexClassTest, AClassWithoutPanelOpensNone) {
    EXPECT_EQ(tex->CreateParamDlg(nullptr, nullptr), nullptr);
}

TEST(TexPluginTest, EntryPointsAnswerForTheDeclaredClass) {
    static_assert(noexcept(DllMain(nullptr, 0, nullptr)));
    static_assert(noexcept(LibDescription())&& noexcept(LibNumberClasses()));
    static_assert(noexcept(LibClassDesc(0))&& noexcept(LibVersion()));
    EXPECT_STREQ(LibDescription(), "Probe texture library");
    EXPECT_EQ(LibNumberClasses(), 1);
    EXPECT_EQ(LibVersion(), kTextureLibVersion);
    EXPECT_EQ(LibClassDesc(1), nullptr);
    EXPECT_EQ(LibClassDesc(-1), nullptr);
    ClassDesc* desc = LibClassDesc(0);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->ClassID(), kProbeInfo.classId);
    EXPECT_EQ(desc->SuperClassID(), TEXMAP_CLASS_ID);
    loom::SceneHolder scene;
    auto* made = static_cast<Texmap*>(desc->Create(FALSE));
    ASSERT_NE(dynamic_cast<ProbeTex*>(made), nullptr);
    scene.Add("made", made);
    // Made reset: the cache holds the table's defaults.
    EXPECT_EQ(static_cast<ProbeTex*>(made)->Cache().scale, 3.0f);
}

TEST(TexPluginTest, AFailingCreationAnswersNullInsteadOfThrowing) {
    loom::TexClassDesc desc(kProbeInfo, []() -> Texmap* { throw std::bad_alloc(); });
    EXPECT_EQ(desc.Create(FALSE), nullptr);
    EXPECT_EQ(loom::NoThrowCall<int>(-1, []() -> int { throw std::runtime_error("x"); }), -1);
    EXPECT_EQ(loom::NoThrowCall<int>(-1, [] { return 4; }), 4);
}

}  // namespace

// The two-slot frame through two textures declared in the test: one that names only its
// weight, mix and monos, one that adds batch forms and a weight of its own for the
// viewport. What the frame adds: the order of maps, weight and mix, the slot order of the
// mix, which weight the viewport takes, and batch paths equal to the per-sample ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/texframe/two_slot_tex.h"
#include "tests/support/texture_fixture.h"

struct DuoCache {
    Color first;
    Color second;
    float scale = 0.0f;
};

enum DuoParam { kDuoFirst = 0, kDuoSecond, kDuoScale, kDuoParamCount };

namespace {

// clang-format off
constexpr loom::ParamRow kRows[] = {
    LOOM_COLOR_ROW(kDuoFirst,  DuoCache, first,  "First",  true, 0.25f, 0.5f, 0.75f),
    LOOM_COLOR_ROW(kDuoSecond, DuoCache, second, "Second", true, 1.0f, 0.0f, 0.0f),
    LOOM_FLOAT_ROW(kDuoScale,  DuoCache, scale,  "Scale",  true, 1.0f),
};
// clang-format on
static_assert(loom::RowsInEnumOrder(kRows, kDuoParamCount));
constexpr int kResetOrder[] = {kDuoFirst, kDuoSecond, kDuoScale};
constexpr int kColorRows[] = {kDuoFirst, kDuoSecond};
constexpr const char* kSlotNames[] = {"First", "Second"};
constexpr auto kLayout = loom::MakeLayout<kDuoParamCount>(kRows);

// A table whose rows are out of their enum's order, or short of it, fails the check.
constexpr loom::ParamRow kSwapped[] = {kRows[1], kRows[0], kRows[2]};
static_assert(!loom::RowsInEnumOrder(kSwapped, kDuoParamCount));
static_assert(!loom::RowsInEnumOrder(std::span(kRows).first(2), kDuoParamCount));

/// What the patterns were asked, in order.
std::vector<std::string> calls;

/// Weight u * scale; the mix answers slot 0's colour below 0.5 and slot 1's from there,
/// with the weight in alpha; the mono mix answers slot0 + 10 * slot1 + 100 * w.
struct PlainPattern {
    static constexpr Color DuoCache::*kColor0 = &DuoCache::first;
    static constexpr Color DuoCache::*kColor1 = &DuoCache::second;
    static float Weight(const DuoCache& c, float u, float) noexcept {
        calls.push_back("weight");
        return u * c.scale;
    }
    static AColor MixColor(const DuoCache&, float w, const Color& slot0,
                           const Color& slot1) noexcept {
        calls.push_back("mix");
        return AColor(w < 0.5f ? slot0 : slot1, w);
    }
    static float MixMono(const DuoCache&, float w, float slot0, float slot1) noexcept {
        return slot0 + 10.0f * slot1 + 100.0f * w;
    }
    static float Mono0(const Color& c) noexcept { return c.r; }
    static float Mono1(const Color& c) noexcept { return c.g; }
};

/// The same, with batch forms that note each batch, and a viewport weight of 1 - u.
struct BatchPattern : PlainPattern {
    static void WeightBatch(const DuoCache& c, const float* u, const float*, int n,
                            float* w) noexcept {
        calls.push_back("weights " + std::to_string(n));
        for (int i = 0; i < n; ++i) w[i] = u[i] * c.scale;
    }
    static void MixColorBatch(const DuoCache&, const float* w, const Color* slot0,
                              const Color* slot1, int n, AColor* out) noexcept {
        calls.push_back("mixes " + std::to_string(n));
        for (int i = 0; i < n; ++i) out[i] = AColor(w[i] < 0.5f ? slot0[i] : slot1[i], w[i]);
    }
    static float PreviewWeight(const DuoCache&, float u, float) noexcept { return 1.0f - u; }
    static void PreviewWeightBatch(const DuoCache&, const float* u, const float*, int n,
                                   float* w) noexcept {
        for (int i = 0; i < n; ++i) w[i] = 1.0f - u[i];
    }
};

}  // namespace

extern const loom::TextureInfo kDuoInfo;
const loom::TextureInfo kDuoInfo = {
    "Duo",      "Duo",      Class_ID(0x7E570201, 0x7E570202),
    "DuoTemp",  kRows,      kResetOrder,
    kColorRows, kSlotNames, 1,
    kLayout,    {},         false,
};

class PlainDuo final
    : public loom::TwoSlotTexClass<PlainDuo, DuoCache, kDuoInfo, void, PlainPattern> {};
class BatchDuo final
    : public loom::TwoSlotTexClass<BatchDuo, DuoCache, kDuoInfo, void, BatchPattern> {};

namespace {

constexpr float kU[] = {0.1f, 0.3f, 0.6f, 0.9f};
constexpr float kV[] = {0.5f, 0.5f, 0.5f, 0.5f};
constexpr int kCount = 4;

/// Points without maps need only their count.
TexBatchPoints Points() {
    TexBatchPoints pts;
    pts.count = kCount;
    return pts;
}

template <class Duo>
class TwoSlotTex : public ::testing::Test {
  protected:
    TwoSlotTex() : tex(new Duo()) { scene.Add("tex", tex); }
    loom::SceneHolder scene;
    Duo* tex;
    loom::PlaneShadeContext sc;
};
using Duos = ::testing::Types<PlainDuo, BatchDuo>;
TYPED_TEST_SUITE(TwoSlotTex, Duos);

TYPED_TEST(TwoSlotTex, MapsRunSlotOneFirstThenTheWeightThenTheMix) {
    std::vector<std::string> log;
    this->tex->SetSubTexmap(0, new loomtest::LoggingMap("zero", AColor(0, 1, 0, 0.5f), 0.2f, &log));
    this->tex->SetSubTexmap(1, new loomtest::LoggingMap("one", AColor(0, 0, 1, 0.5f), 0.7f, &log));
    for (float u : {0.1f, 0.9f}) {
        SCOPED_TRACE(u);
        log.clear();
        calls.clear();
        const AColor c = this->tex->PatternColor(this->sc, u, 0.5f);
        EXPECT_EQ(log, (std::vector<std::string>{"one", "zero"}));
        EXPECT_EQ(calls, (std::vector<std::string>{"weight", "mix"}));
        // Slot 0 is the first colour argument of the mix: its map's green below 0.5.
        EXPECT_EQ(c, u < 0.5f ? AColor(0, 1, 0, u) : AColor(0, 0, 1, u));
        log.clear();
        EXPECT_FLOAT_EQ(this->tex->PatternMono(this->sc, u, 0.5f), 0.2f + 7.0f + 100.0f * u);
        EXPECT_EQ(log, (std::vector<std::string>{"one", "zero"}));
    }
}

TYPED_TEST(TwoSlotTex, PlainSlotsGiveTheirColoursAndTheirOwnMonos) {
    // Slot 0's mono is its red (0.25), slot 1's its green (0).
    EXPECT_FLOAT_EQ(this->tex->PatternMono(this->sc, 0.2f, 0.5f), 0.25f + 20.0f);
    EXPECT_EQ(this->tex->PatternColor(this->sc, 0.2f, 0.5f), AColor(0.25f, 0.5f, 0.75f, 0.2f));
}

TYPED_TEST(TwoSlotTex, BatchPathsGiveThePerSampleValues) {
    AColor colors[kCount], previews[kCount];
    float monos[kCount];
    this->tex->PatternColorBatch(Points(), kU, kV, colors);
    this->tex->PatternMonoBatch(Points(), kU, kV, monos);
    this->tex->PatternPreviewBatch(kU, kV, kCount, previews);
    for (int i = 0; i < kCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(colors[i], this->tex->PatternColor(this->sc, kU[i], kV[i]));
        EXPECT_EQ(monos[i], this->tex->PatternMono(this->sc, kU[i], kV[i]));
        EXPECT_EQ(previews[i], this->tex->PatternPreview(kU[i], kV[i]));
    }
}

TEST(TwoSlotTexBatch, BatchFormsRunOncePerBatchAndTheViewportTakesItsOwnWeight) {
    loom::SceneHolder scene;
    auto* batch = new BatchDuo();
    auto* plain = new PlainDuo();
    scene.Add("batch", batch);
    scene.Add("plain", plain);
    AColor out[kCount];
    calls.clear();
    batch->PatternColorBatch(Points(), kU, kV, out);
    EXPECT_EQ(calls, (std::vector<std::string>{"weights 4", "mixes 4"}));
    // Preview weight 1 - u: slot 1's colour at u = 0.1, slot 0's at 0.9.
    EXPECT_EQ(batch->PatternPreview(0.1f, 0.5f), AColor(1.0f, 0.0f, 0.0f, 0.9f));
    EXPECT_EQ(batch->PatternPreview(0.9f, 0.5f).r, 0.25f);
    // Without batch forms the viewport takes the pattern's weight.
    EXPECT_EQ(plain->PatternPreview(0.1f, 0.5f).r, 0.25f);
}

}  // namespace

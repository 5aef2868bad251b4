// The Fervix panel in the material editor, driven as a person drives it: presets, mutation,
// the radio pairs and switches, "Swap", spinners and colours, with the undo entries each
// leaves (only spinner and colour edits leave one).
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "fervix/fervix_tex.h"
#include "fervix/resource.h"
#include "foundation/host/base/crt.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/resources.h"
#include "foundation/panelframe/tex_panel.h"
#include "foundation/texframe/tex_class_desc.h"
#include "tests/support/panel_checks.h"
#include "tests/support/panel_fixture.h"

namespace {

namespace interact = loom::interact;

using FervixPanel = loomtest::PanelFixture<FervixTex>;

// ---- Presets -------------------------------------------------------------------------------

/// A preset's values in row order: Prime, Back, then rows 2 to 27.
struct PresetCase {
    const char* name;
    int button;
    Color prime, back;
    // U Scale, V Scale, U Offset, V Offset, Phase, Intensity, FallOff,
    // Horizontal Radial, Horizontal Linear, Vertical Radial, Vertical Linear, Use Plasma,
    // Shift X, Shift Y, Use Fractal Detail, Turbulence Scale, Use Turbulence,
    // Plasma ADD, Plasma SUB, Fractal ADD, Fractal SUB, Turbulence ADD, Turbulence SUB,
    // Fractal Scale, Positive, Negative
    std::array<float, 26> rows;
};

// clang-format off
const PresetCase kPresetCases[] = {
    {"CoilFire", IDC_COIL_FIRE, {1, 1, 0}, {0.5f, 0, 0},
     {12, 6, 0.5f, 0, 0, 0.7f, 0.3f, 0, 1, 1, 0, 0, 0, 6.5f, 1, 3.5f, 1, 1, 0, 1, 0, 1, 0, 0.8f, 1, 0}},
    {"Ocean", IDC_OCEAN, {0.4f, 0.5f, 0.7f}, {0.2f, 0.2f, 1},
     {3, 11, 0.5f, 0.7f, 0, 0.9f, 0.5f, 0, 1, 1, 0, 1, 0, 0, 0, 3.0f, 1, 1, 0, 1, 0, 0, 1, 2.0f, 1, 0}},
    {"SpiderWeb", IDC_SPIDER_WEB, {0, 0, 0}, {0.7f, 0.8f, 0.9f},
     {4.5f, 4.5f, 0.5f, 0.5f, 0, 1.5f, 0.7f, 0, 1, 0, 1, 0, 0, 0, 0, 8.0f, 1, 1, 0, 1, 0, 1, 0, 2.0f, 1, 0}},
    {"Grassy", IDC_GRASSY, {0.1f, 1, 0.1f}, {0, 0.2f, 0},
     {12, 4, 0.5f, 0, 0, 0.35f, 0.4f, 1, 0, 0, 1, 1, 0, 0, 1, 2.0f, 1, 1, 0, 1, 0, 1, 0, 1.1f, 1, 0}},
    {"AlienSkin", IDC_ALIEN_SKIN, {0.8f, 0.9f, 0.9f}, {0, 0, 0.3f},
     {4, 6.5f, 0.5f, 0.7f, 0, 0.4f, 0.1f, 1, 0, 1, 0, 0, 0, 0, 1, 2.0f, 1, 1, 0, 1, 0, 0, 1, 2.0f, 1, 0}},
    {"Steam", IDC_STEAM, {0, 0.9f, 0.9f}, {0, 0, 0},
     {3, 3, 0.5f, 1.0f, 0, 0.3f, 0.8f, 1, 0, 1, 0, 1, 0, 0, 1, 5.3f, 1, 1, 0, 1, 0, 0, 1, 1.6f, 0, 1}},
};
// clang-format on

class FervixPreset : public FervixPanel, public ::testing::WithParamInterface<PresetCase> {};

TEST_P(FervixPreset, SetsEveryValueOfItsColumnWithoutUndo) {
    const PresetCase& c = GetParam();
    // Start far from every preset so that each value has to be written.
    interact::Click(dlg, IDC_STEAM == c.button ? IDC_COIL_FIRE : IDC_STEAM);
    ASSERT_TRUE(interact::Click(dlg, c.button));
    const Color prime = ColorRow(kFervixPrime), back = ColorRow(kFervixBack);
    EXPECT_EQ(prime.r, c.prime.r);
    EXPECT_EQ(prime.g, c.prime.g);
    EXPECT_EQ(prime.b, c.prime.b);
    EXPECT_EQ(back.r, c.back.r);
    EXPECT_EQ(back.g, c.back.g);
    EXPECT_EQ(back.b, c.back.b);
    const std::vector<float> values = Values();
    for (size_t i = 0; i < c.rows.size(); ++i) {
        SCOPED_TRACE(tex->Info().rows[i + 2].name);
        EXPECT_EQ(values[i], c.rows[i]);
    }
    EXPECT_EQ(theHold.UndoCount(), 0);
    // The panel reloads at once: buttons and spinners show the preset.
    EXPECT_EQ(GetCheckBox(dlg, IDC_NEGATIVE), c.button == IDC_STEAM);
    EXPECT_EQ(GetCheckBox(dlg, IDC_POSITIVE), c.button != IDC_STEAM);
    EXPECT_EQ(GetCheckBox(dlg, IDC_U_RADIAL), c.rows[7] == 1.0f);
    EXPECT_EQ(GetCheckBox(dlg, IDC_V_LINEAR), c.rows[10] == 1.0f);
    EXPECT_EQ(GetCheckBox(dlg, IDC_USE_PLASMA), c.rows[11] == 1.0f);
    EXPECT_EQ(GetCheckBox(dlg, IDC_TURBULENCE_SUB), c.rows[22] == 1.0f);
    EXPECT_EQ(SpinnerValue(IDC_USCALE_SPIN), c.rows[0]);
    EXPECT_EQ(SpinnerValue(IDC_INTENSITY_SPIN), c.rows[5]);
    EXPECT_EQ(SpinnerValue(IDC_TURBULENCE_SCALE_SPIN), c.rows[15]);
}

INSTANTIATE_TEST_SUITE_P(All, FervixPreset, ::testing::ValuesIn(kPresetCases),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Mutation ------------------------------------------------------------------------------

constexpr float kDraw = 3.0518509e-05f;

TEST_F(FervixPanel, MutateNoiseDrawsEightScaledValuesFromTheSecondsSeed) {
    FixClock(1'000'000'007);
    interact::Click(dlg, IDC_GRASSY);
    const std::vector<float> before = Values();

    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_NOISE));
    crt::srand(static_cast<unsigned>(clockNow));
    const std::pair<int, float> draws[] = {
        {kFervixTurbulenceScale, 15.0f}, {kFervixFractalScale, 10.0f}, {kFervixPhase, 150.0f},
        {kFervixIntensity, 2.0f},        {kFervixUScale, 30.0f},       {kFervixShiftX, 90.0f},
        {kFervixVScale, 30.0f},          {kFervixShiftY, 90.0f}};
    std::vector<float> expected = before;
    for (const auto& [row, factor] : draws) {
        const float r = static_cast<float>(crt::rand()) * kDraw;
        expected[static_cast<size_t>(row - kFervixUScale)] = r * factor;
    }
    // Flags, offsets and falloff stay as the preset left them.
    EXPECT_EQ(Values(), expected);
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(SpinnerValue(IDC_PHASE_SPIN), Value(kFervixPhase));

    // A second click in the same second gives the same values.
    tex->SetFloatParam(kFervixPhase, 1.0f, 0);
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_NOISE));
    EXPECT_EQ(Values(), expected);

    // The next second gives others.
    ++clockNow;
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_NOISE));
    EXPECT_NE(Values(), expected);
}

TEST_F(FervixPanel, MutateColoursDrawsBlueGreenRedPrimeThenBack) {
    FixClock(1'234'567'891);
    ASSERT_TRUE(interact::Click(dlg, IDC_OCEAN));
    const std::vector<float> before = Values();
    changes = editor.ChangeCount();

    // The generator's next draws are taken away first: the button must seed it itself.
    crt::srand(99);
    crt::rand();
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_COLOURS));

    // The same seed, drawn here in the documented order.
    crt::srand(static_cast<unsigned>(clockNow));
    float r[6];
    for (float& x : r) x = static_cast<float>(crt::rand()) * kDraw;
    const Color prime = ColorRow(kFervixPrime), back = ColorRow(kFervixBack);
    EXPECT_EQ(prime.b, r[0]);
    EXPECT_EQ(prime.g, r[1]);
    EXPECT_EQ(prime.r, r[2]);
    EXPECT_EQ(back.b, r[3]);
    EXPECT_EQ(back.g, r[4]);
    EXPECT_EQ(back.r, r[5]);
    // The six draws are distinct, so a different order could not give the same colours.
    EXPECT_EQ(std::set<float>(std::begin(r), std::end(r)).size(), 6u);
    // Exactly six draws: the generator's next value is the seventh of the sequence.
    const int seventh = crt::rand();
    crt::srand(static_cast<unsigned>(clockNow));
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_COLOURS));
    EXPECT_EQ(crt::rand(), seventh);

    EXPECT_EQ(Values(), before) << "only the colours change";
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(editor.ChangeCount(), changes + 2);
    // The swatches show the new colours at once.
    IColorSwatch* s = GetIColorSwatch(GetDlgItem(dlg, IDC_BACK_SWATCH));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetColor(), loom::PackColor(back));
    ReleaseIColorSwatch(s);
}

// ---- Spinners ------------------------------------------------------------------------------

// Ranges and drag steps of the parameter table's spinner rows.
const loomtest::SpinnerRange kSpinnerRanges[] = {
    {kFervixUScale, 0.0f, 30.0f, 0.1f},        {kFervixVScale, 0.0f, 30.0f, 0.1f},
    {kFervixUOffset, -1.0f, 2.0f, 0.1f},       {kFervixVOffset, -1.0f, 2.0f, 0.1f},
    {kFervixPhase, 0.0f, 150.0f, 0.1f},        {kFervixIntensity, 0.0f, 2.0f, 0.01f},
    {kFervixFallOff, 0.0f, 5.0f, 0.1f},        {kFervixShiftX, -90.0f, 90.0f, 0.1f},
    {kFervixShiftY, -90.0f, 90.0f, 0.1f},      {kFervixTurbulenceScale, 1.1f, 15.0f, 0.1f},
    {kFervixFractalScale, 0.5f, 10.0f, 0.01f},
};

TEST_F(FervixPanel, SpinnersMatchTheTemplateAndTheParameterTable) {
    loomtest::ExpectSpinnersMatchTable(dlg, tex, kSpinnerRanges);
}

TEST_F(FervixPanel, EverySpinnerReleaseRedrawsTheSampleOnce) {
    loomtest::ExpectOneRedrawPerSpinnerRelease(editor, dlg);
}

TEST_F(FervixPanel, TimeChangesReloadTheControlsAndTheSameTimeDoesNot) {
    // An animated switch: its button follows the time as well.
    AnimateOn();
    tex->SetIntParam(kFervixUsePlasma, 0, 0);
    tex->SetIntParam(kFervixUsePlasma, 1, 4800);
    AnimateOff();
    loom::PumpMessages();
    ASSERT_FALSE(GetCheckBox(dlg, IDC_USE_PLASMA));
    SetCheckBox(dlg, IDC_USE_PLASMA, TRUE);
    editor.SetTime(0);
    loom::PumpMessages();
    EXPECT_TRUE(GetCheckBox(dlg, IDC_USE_PLASMA)) << "the same time reloaded the controls";
    editor.SetTime(4800);
    EXPECT_TRUE(GetCheckBox(dlg, IDC_USE_PLASMA));
    editor.SetTime(0);
    EXPECT_FALSE(GetCheckBox(dlg, IDC_USE_PLASMA));

    loomtest::ExpectTimeChangesReloadTheSpinner(editor, dlg, tex, IDC_PHASE_SPIN, kFervixPhase,
                                                10.0f, 50.0f, 140.0f);
}

// ---- Buttons -------------------------------------------------------------------------------

struct PairCase {
    const char* name;
    int first, second;
    int firstRow, secondRow;
};

class FervixPair : public FervixPanel, public ::testing::WithParamInterface<PairCase> {};

TEST_P(FervixPair, ClickSelectsOneOfThePair) {
    const PairCase& c = GetParam();
    for (int id : {c.second, c.first, c.second}) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(interact::Click(dlg, id));
        EXPECT_EQ(Value(c.firstRow), id == c.first ? 1.0f : 0.0f);
        EXPECT_EQ(Value(c.secondRow), id == c.second ? 1.0f : 0.0f);
    }
    EXPECT_EQ(theHold.UndoCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    All, FervixPair,
    ::testing::Values(
        PairCase{"Blend", IDC_POSITIVE, IDC_NEGATIVE, kFervixPositive, kFervixNegative},
        PairCase{"Plasma", IDC_PLASMA_ADD, IDC_PLASMA_SUB, kFervixPlasmaAdd, kFervixPlasmaSub},
        PairCase{"Fractal", IDC_FRACTAL_ADD, IDC_FRACTAL_SUB, kFervixFractalAdd, kFervixFractalSub},
        PairCase{"Turbulence", IDC_TURBULENCE_ADD, IDC_TURBULENCE_SUB, kFervixTurbulenceAdd,
                 kFervixTurbulenceSub},
        PairCase{"U", IDC_U_RADIAL, IDC_U_LINEAR, kFervixHorizontalRadial, kFervixHorizontalLinear},
        PairCase{"V", IDC_V_RADIAL, IDC_V_LINEAR, kFervixVerticalRadial, kFervixVerticalLinear}),
    [](const auto& p) { return std::string(p.param.name); });

struct OverlayCase {
    const char* name;
    int id;
    int row;
};

class FervixOverlay : public FervixPanel, public ::testing::WithParamInterface<OverlayCase> {};

TEST_P(FervixOverlay, ButtonSwitchesItsOverlayAlone) {
    const OverlayCase& c = GetParam();
    changes = editor.ChangeCount();
    std::vector<float> expected = Values();
    const size_t at = static_cast<size_t>(c.row - kFervixUScale);
    for (int click = 0; click < 2; ++click) {
        SCOPED_TRACE(click);
        ASSERT_TRUE(interact::Click(dlg, c.id));
        expected[at] = expected[at] == 1.0f ? 0.0f : 1.0f;
        EXPECT_EQ(Values(), expected) << "another row changed";
        EXPECT_EQ(GetCheckBox(dlg, c.id) ? 1.0f : 0.0f, expected[at]);
    }
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(editor.ChangeCount(), changes + 2);
    // A switched-off overlay is a real switch of the texture: its cache follows.
    EXPECT_EQ(tex->CachedValue(c.row).v[0], expected[at]);
}

INSTANTIATE_TEST_SUITE_P(
    All, FervixOverlay,
    ::testing::Values(OverlayCase{"Plasma", IDC_USE_PLASMA, kFervixUsePlasma},
                      OverlayCase{"FractalDetail", IDC_USE_FRACTAL, kFervixUseFractalDetail},
                      OverlayCase{"Turbulence", IDC_USE_TURBULENCE, kFervixUseTurbulence}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(FervixPanel, SwapExchangesColoursAndMapNames) {
    ASSERT_TRUE(interact::Click(dlg, IDC_COIL_FIRE));
    auto* sub = new FervixTex();
    tex->SetSubTexmap(0, sub);
    const std::string subName = sub->GetFullName();
    EXPECT_EQ(Text(IDC_PRIME_MAP), subName);
    EXPECT_EQ(Text(IDC_BACK_MAP), "[ Undefined ]");

    ASSERT_TRUE(interact::Click(dlg, IDC_SWAP));
    EXPECT_EQ(ColorRow(kFervixPrime).r, 0.5f);
    EXPECT_EQ(ColorRow(kFervixPrime).g, 0.0f);
    EXPECT_EQ(ColorRow(kFervixBack).g, 1.0f);
    EXPECT_EQ(Text(IDC_PRIME_MAP), "[ Undefined ]");
    EXPECT_EQ(Text(IDC_BACK_MAP), subName);
    IColorSwatch* s = GetIColorSwatch(GetDlgItem(dlg, IDC_PRIME_SWATCH));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetColor(), 0x000080u);  // 0.5 red shows as 128
    ReleaseIColorSwatch(s);
    EXPECT_EQ(theHold.UndoCount(), 0);
}

}  // namespace

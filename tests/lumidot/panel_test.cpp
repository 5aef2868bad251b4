// The Lumidot panel in the material editor, driven as a person drives it: presets, mutation,
// wave shapes, pinch and band switches, blend, "Swap", spinners and colours, with the undo
// entries each leaves (only spinner and colour edits leave one).
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "foundation/host/base/crt.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/resources.h"
#include "foundation/panelframe/tex_panel.h"
#include "foundation/texframe/tex_class_desc.h"
#include "lumidot/lumidot_tex.h"
#include "lumidot/resource.h"
#include "tests/support/panel_checks.h"
#include "tests/support/panel_fixture.h"

namespace {

namespace interact = loom::interact;

using LumidotPanel = loomtest::PanelFixture<LumidotTex>;

// ---- Presets -------------------------------------------------------------------------------

struct PresetCase {
    const char* name;
    int button;
    Color high, low;
    // Rows 2 to 19: Horizontal Phase, Horizontal Iteration, Vertical Phase, Vertical
    // Iteration, Vertical High, Vertical Low, Horizontal High, Horizontal Low, Vertical Sine,
    // Vertical Cosine, Horizontal Sine, Horizontal Cosine, Vertical Pinch, Horizontal Pinch,
    // Negative, Positive, Use Vertical Colour, Use Horizontal Colour
    std::array<float, 18> rows;
};

// clang-format off
const PresetCase kPresetCases[] = {
    {"Tartan", IDC_TARTAN, {0.8f, 0.1f, 0.6f}, {0.4f, 0.3f, 0.8f},
     {1.5f, 0.05f, 1.5f, 0.05f, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 1}},
    {"VideoWall", IDC_VIDEO_WALL, {0, 0, 0}, {0.5f, 0.3f, 0.6f},
     {3.2f, 0.04f, 2.0f, 0.04f, 1, -1, 1, -1, 1, 0, 0, 1, 1, 1, 0, 1, 1, 1}},
    {"Nova", IDC_NOVA, {1.0f, 0.9f, 0.4f}, {0.7f, 0, 0},
     {1.3f, 0.15f, 3.0f, 0.3f, 1, -1, 1, -1, 1, 0, 0, 1, 0, 1, 0, 1, 1, 1}},
};
// clang-format on

class LumidotPreset : public LumidotPanel, public ::testing::WithParamInterface<PresetCase> {};

TEST_P(LumidotPreset, SetsAllTwentyValuesWithoutUndo) {
    const PresetCase& c = GetParam();
    // Start from another preset so that each value has to be written.
    interact::Click(dlg, c.button == IDC_TARTAN ? IDC_NOVA : IDC_TARTAN);
    ASSERT_TRUE(interact::Click(dlg, c.button));
    const Color high = ColorRow(kLumidotHigh), low = ColorRow(kLumidotLow);
    EXPECT_EQ(high.r, c.high.r);
    EXPECT_EQ(high.g, c.high.g);
    EXPECT_EQ(high.b, c.high.b);
    EXPECT_EQ(low.r, c.low.r);
    EXPECT_EQ(low.g, c.low.g);
    EXPECT_EQ(low.b, c.low.b);
    const std::vector<float> values = Values();
    for (size_t i = 0; i < c.rows.size(); ++i) {
        SCOPED_TRACE(tex->Info().rows[i + 2].name);
        EXPECT_EQ(values[i], c.rows[i]);
    }
    EXPECT_EQ(theHold.UndoCount(), 0);
    // Every control shows the preset at once.
    EXPECT_EQ(SpinnerValue(IDC_HPHASE_SPIN), c.rows[0]);
    EXPECT_EQ(SpinnerValue(IDC_VITER_SPIN), c.rows[3]);
    EXPECT_EQ(SpinnerValue(IDC_HLOW_SPIN), c.rows[7]);
    EXPECT_EQ(GetCheckBox(dlg, IDC_VSINE), c.rows[8] == 1.0f);
    EXPECT_EQ(GetCheckBox(dlg, IDC_VCOSINE), c.rows[9] == 1.0f);
    EXPECT_EQ(GetCheckBox(dlg, IDC_VPINCH), c.rows[12] == 1.0f);
    EXPECT_EQ(GetCheckBox(dlg, IDC_HPINCH), c.rows[13] == 1.0f);
    EXPECT_EQ(GetCheckBox(dlg, IDC_POSITIVE), TRUE);
    EXPECT_EQ(SwatchColor(IDC_HIGH_SWATCH), loom::PackColor(c.high));
}

INSTANTIATE_TEST_SUITE_P(All, LumidotPreset, ::testing::ValuesIn(kPresetCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(LumidotPanel, SwapAfterNovaExchangesColoursAndMapNames) {
    ASSERT_TRUE(interact::Click(dlg, IDC_NOVA));
    auto* sub = new LumidotTex();
    tex->SetSubTexmap(1, sub);
    const std::string subName = sub->GetFullName();
    ASSERT_EQ(Text(IDC_LOW_MAP), subName);

    ASSERT_TRUE(interact::Click(dlg, IDC_SWAP));
    const Color high = ColorRow(kLumidotHigh), low = ColorRow(kLumidotLow);
    EXPECT_EQ(high.r, 0.7f);
    EXPECT_EQ(high.g, 0.0f);
    EXPECT_EQ(high.b, 0.0f);
    EXPECT_EQ(low.r, 1.0f);
    EXPECT_EQ(low.g, 0.9f);
    EXPECT_EQ(low.b, 0.4f);
    EXPECT_EQ(SwatchColor(IDC_HIGH_SWATCH), loom::PackColor(Color(0.7f, 0.0f, 0.0f)));
    EXPECT_EQ(SwatchColor(IDC_LOW_SWATCH), loom::PackColor(Color(1.0f, 0.9f, 0.4f)));
    EXPECT_EQ(Text(IDC_HIGH_MAP), subName);
    EXPECT_EQ(Text(IDC_LOW_MAP), "[ Undefined ]");
    EXPECT_EQ(theHold.UndoCount(), 0);
}

// ---- Mutation ------------------------------------------------------------------------------

constexpr float kDraw = 3.0518509e-05f;

TEST_F(LumidotPanel, MutateGradientsDrawsEightValuesInsideTheSpinnerRanges) {
    FixClock(1'234'567'890);
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_GRADIENTS));
    crt::srand(static_cast<unsigned>(clockNow));
    const std::pair<int, float> draws[] = {
        {kLumidotHorizontalPhase, 100.0f},       {kLumidotHorizontalIteration, 2.0f},
        {kLumidotVerticalPhase, 100.0f},         {kLumidotVerticalIteration, 2.0f},
        {kLumidotHorizontalLowThreshold, -1.0f}, {kLumidotHorizontalHighThreshold, 1.0f},
        {kLumidotVerticalHighThreshold, 1.0f},   {kLumidotVerticalLowThreshold, -1.0f}};
    for (const auto& [row, factor] : draws) {
        SCOPED_TRACE(tex->Info().rows[static_cast<size_t>(row)].name);
        const float r = static_cast<float>(crt::rand()) * kDraw;
        EXPECT_EQ(Value(row), r * factor);
    }
    const std::vector<float> first = Values();
    EXPECT_GE(Value(kLumidotHorizontalPhase), 0.0f);
    EXPECT_LE(Value(kLumidotHorizontalPhase), 100.0f);
    EXPECT_LE(Value(kLumidotVerticalIteration), 2.0f);
    EXPECT_LE(Value(kLumidotHorizontalLowThreshold), 0.0f);
    EXPECT_GE(Value(kLumidotHorizontalLowThreshold), -1.0f);
    EXPECT_GE(Value(kLumidotVerticalHighThreshold), 0.0f);
    EXPECT_LE(Value(kLumidotVerticalHighThreshold), 1.0f);
    // Shapes, pinch, switches and blend are as a new texture has them.
    EXPECT_EQ(Value(kLumidotPositive), 1.0f);
    EXPECT_EQ(SpinnerValue(IDC_VPHASE_SPIN), Value(kLumidotVerticalPhase));

    // Twice in the same second: the same values; the next second: others.
    ASSERT_TRUE(interact::Click(dlg, IDC_TARTAN));
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_GRADIENTS));
    const std::vector<float> again = Values();
    for (int row :
         {kLumidotHorizontalPhase, kLumidotHorizontalIteration, kLumidotVerticalPhase,
          kLumidotVerticalIteration, kLumidotVerticalHighThreshold, kLumidotVerticalLowThreshold,
          kLumidotHorizontalHighThreshold, kLumidotHorizontalLowThreshold}) {
        const size_t at = static_cast<size_t>(row - kLumidotHorizontalPhase);
        EXPECT_EQ(again[at], first[at]);
    }
    ++clockNow;
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_GRADIENTS));
    EXPECT_NE(Value(kLumidotHorizontalPhase), first[0]);
    EXPECT_EQ(theHold.UndoCount(), 0);
}

TEST_F(LumidotPanel, MutateColoursChangesOnlyTheColours) {
    FixClock(42);
    const std::vector<float> before = Values();
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_COLOURS));
    crt::srand(42);
    float d[6];
    for (float& x : d) x = static_cast<float>(crt::rand()) * kDraw;
    const Color high = ColorRow(kLumidotHigh), low = ColorRow(kLumidotLow);
    EXPECT_EQ(high.b, d[0]);
    EXPECT_EQ(high.g, d[1]);
    EXPECT_EQ(high.r, d[2]);
    EXPECT_EQ(low.b, d[3]);
    EXPECT_EQ(low.g, d[4]);
    EXPECT_EQ(low.r, d[5]);
    EXPECT_EQ(Values(), before);
}

// ---- Buttons -------------------------------------------------------------------------------

TEST_F(LumidotPanel, CosinePrimarySelectsCosineWithoutUndo) {
    ASSERT_TRUE(interact::Click(dlg, IDC_VSINE));
    ASSERT_TRUE(interact::Click(dlg, IDC_VCOSINE));
    EXPECT_EQ(Value(kLumidotVerticalSine), 0.0f);
    EXPECT_EQ(Value(kLumidotVerticalCosine), 1.0f);
    EXPECT_FALSE(GetCheckBox(dlg, IDC_VSINE));
    // The lower half is a group of its own.
    ASSERT_TRUE(interact::Click(dlg, IDC_HCOSINE));
    EXPECT_EQ(Value(kLumidotHorizontalCosine), 1.0f);
    EXPECT_EQ(Value(kLumidotHorizontalSine), 0.0f);
    EXPECT_EQ(Value(kLumidotVerticalCosine), 1.0f);
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(editor.ChangeCount(), changes + 3);
}

// ---- Spinners and colours ------------------------------------------------------------------

struct SpinCase {
    int spinId;
    int row;
};

class LumidotSpinner : public LumidotPanel, public ::testing::WithParamInterface<SpinCase> {};

TEST_P(LumidotSpinner, DragWritesItsOwnRowInOneEntry) {
    const SpinCase& c = GetParam();
    const std::vector<float> before = Values();
    ASSERT_TRUE(interact::DragSpinner(dlg, c.spinId, {-0.25f, 0.75f}, true));
    std::vector<float> after = Values();
    const size_t at = static_cast<size_t>(c.row - kLumidotHorizontalPhase);
    EXPECT_NE(after[at], before[at]);
    after[at] = before[at];
    EXPECT_EQ(after, before) << "another row changed";
    EXPECT_EQ(theHold.UndoCount(), 1);
    EXPECT_EQ(theHold.UndoLabel(), "Parameter Change");
}

INSTANTIATE_TEST_SUITE_P(
    All, LumidotSpinner,
    ::testing::Values(SpinCase{IDC_HPHASE_SPIN, kLumidotHorizontalPhase},
                      SpinCase{IDC_HITER_SPIN, kLumidotHorizontalIteration},
                      SpinCase{IDC_VPHASE_SPIN, kLumidotVerticalPhase},
                      SpinCase{IDC_VITER_SPIN, kLumidotVerticalIteration},
                      SpinCase{IDC_VHIGH_SPIN, kLumidotVerticalHighThreshold},
                      SpinCase{IDC_VLOW_SPIN, kLumidotVerticalLowThreshold},
                      SpinCase{IDC_HHIGH_SPIN, kLumidotHorizontalHighThreshold},
                      SpinCase{IDC_HLOW_SPIN, kLumidotHorizontalLowThreshold}));

// Ranges and drag steps of the parameter table's spinner rows.
const loomtest::SpinnerRange kSpinnerRanges[] = {
    {kLumidotHorizontalPhase, 0.0f, 100.0f, 0.1f},
    {kLumidotHorizontalIteration, 0.0f, 10.0f, 0.01f},
    {kLumidotVerticalPhase, 0.0f, 100.0f, 0.1f},
    {kLumidotVerticalIteration, 0.0f, 10.0f, 0.01f},
    {kLumidotVerticalHighThreshold, 0.0f, 1.0f, 0.1f},
    {kLumidotVerticalLowThreshold, -1.0f, 0.0f, 0.1f},
    {kLumidotHorizontalHighThreshold, 0.0f, 1.0f, 0.1f},
    {kLumidotHorizontalLowThreshold, -1.0f, 0.0f, 0.1f},
};

TEST_F(LumidotPanel, SpinnersMatchTheTemplateAndTheParameterTable) {
    loomtest::ExpectSpinnersMatchTable(dlg, tex, kSpinnerRanges);
}

TEST_F(LumidotPanel, EverySpinnerReleaseRedrawsTheSampleOnce) {
    loomtest::ExpectOneRedrawPerSpinnerRelease(editor, dlg);
}

TEST_F(LumidotPanel, TimeChangesReloadTheControlsAndTheSameTimeDoesNot) {
    // An animated colour: its swatch follows the time as well.
    AnimateOn();
    tex->SetColorParam(0, Color(1.0f, 0.0f, 0.0f), 0);
    tex->SetColorParam(0, Color(0.0f, 0.0f, 1.0f), 4800);
    AnimateOff();
    loom::PumpMessages();
    ASSERT_EQ(SwatchColor(IDC_HIGH_SWATCH), RGB(255, 0, 0));
    editor.SetTime(4800);
    EXPECT_EQ(SwatchColor(IDC_HIGH_SWATCH), RGB(0, 0, 255));
    editor.SetTime(2400);
    EXPECT_EQ(SwatchColor(IDC_HIGH_SWATCH), RGB(128, 0, 128));
    editor.SetTime(0);

    loomtest::ExpectTimeChangesReloadTheSpinner(editor, dlg, tex, IDC_VLOW_SPIN,
                                                kLumidotVerticalLowThreshold, -0.8f, -0.2f, -1.0f);
}

}  // namespace

// The Voltrane panel in the material editor, driven as a person drives it: the apply
// button and the Sine/Cosine pairs, shapes, spinners (the integer one too), colours and
// map buttons, with the undo entries and redraws each leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/resources.h"
#include "foundation/host/win32/win32_gdi.h"
#include "foundation/host/win32/window_tree.h"
#include "foundation/panelframe/tex_panel.h"
#include "foundation/texframe/tex_class_desc.h"
#include "tests/support/panel_checks.h"
#include "tests/support/panel_fixture.h"
#include "voltrane/panel.h"
#include "voltrane/resource.h"
#include "voltrane/voltrane_tex.h"

namespace {

namespace interact = loom::interact;

/// An address in this program, which holds the panel's resources.
const char kAnchor = 0;

using VoltranePanel = loomtest::PanelFixture<VoltraneTex>;

TEST_F(VoltranePanel, OpensAsItsOwnPageWithEmptySlotsUndefined) {
    bool found = false;
    for (const auto& page : editor.Pages()) found |= page.title == "Voltrane 2 Setup";
    EXPECT_TRUE(found);
    for (int id : {IDC_BODY_MAP, IDC_EDGE_MAP, IDC_BACK_MAP}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(Text(id), "[ Undefined ]");
    }
}

// ---- Waves ---------------------------------------------------------------------------------

struct WaveCase {
    const char* name;
    int sinId, cosId, sinRow, cosRow;
};

class VoltraneWave : public VoltranePanel, public ::testing::WithParamInterface<WaveCase> {};

TEST_P(VoltraneWave, EitherButtonFlipsBetweenSineAndCosine) {
    const WaveCase& c = GetParam();
    // Start from sine selected, whatever the wave's default.
    tex->SetIntParam(c.sinRow, 1, 0);
    tex->SetIntParam(c.cosRow, 0, 0);
    editor.Panel()->ReloadDialog();
    ASSERT_TRUE(GetCheckBox(dlg, c.sinId));
    ASSERT_FALSE(GetCheckBox(dlg, c.cosId));

    // Each click, on either button, flips the wave; the pair never shows both or neither.
    const int clicks[] = {c.sinId, c.cosId, c.cosId, c.sinId};
    int sin = 1;
    for (int id : clicks) {
        SCOPED_TRACE(id == c.sinId ? "Sine" : "Cosine");
        ASSERT_TRUE(interact::Click(dlg, id));
        sin = 1 - sin;
        EXPECT_EQ(Int(c.sinRow), sin);
        EXPECT_EQ(Int(c.cosRow), 1 - sin);
        EXPECT_EQ(GetCheckBox(dlg, c.sinId), sin == 1);
        EXPECT_EQ(GetCheckBox(dlg, c.cosId), sin == 0);
    }
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(editor.ChangeCount(), changes + 4);
}

INSTANTIATE_TEST_SUITE_P(Pairs, VoltraneWave,
                         ::testing::Values(WaveCase{"Wave1", IDC_WAVE1_SIN, IDC_WAVE1_COS,
                                                    kVoltraneWave1Sin, kVoltraneWave1Cos},
                                           WaveCase{"Wave2", IDC_WAVE2_SIN, IDC_WAVE2_COS,
                                                    kVoltraneWave2Sin, kVoltraneWave2Cos}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(VoltranePanel, ApplyButtonTogglesTheWaveformWithoutUndo) {
    ASSERT_EQ(Int(kVoltraneApplyWave), 0);
    ICustButton* apply = GetICustButton(GetDlgItem(dlg, IDC_APPLY_WAVE));
    ASSERT_NE(apply, nullptr);
    EXPECT_EQ(apply->GetNotifyMessage(), VoltraneDlg::kApplyToggled);
    EXPECT_FALSE(apply->IsChecked());

    ASSERT_TRUE(interact::Click(dlg, IDC_APPLY_WAVE));
    EXPECT_EQ(Int(kVoltraneApplyWave), 1);
    EXPECT_TRUE(apply->IsChecked());
    ASSERT_TRUE(interact::Click(dlg, IDC_APPLY_WAVE));
    EXPECT_EQ(Int(kVoltraneApplyWave), 0);
    EXPECT_FALSE(apply->IsChecked());

    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(editor.ChangeCount(), changes + 2);
    ReleaseICustButton(apply);
}

/// RGB of every pixel (the list keeps no mask for these images, so alpha says nothing).
std::vector<std::uint8_t> Rgb(const loom::BitmapPixels& p) {
    std::vector<std::uint8_t> out;
    for (size_t i = 0; i + 3 < p.rgba.size(); i += 4)
        out.insert(out.end(), &p.rgba[i], &p.rgba[i + 3]);
    return out;
}

/// The picture the apply button shows now, or empty when it shows none.
loom::BitmapPixels ShownImage(HWND dlg) {
    loom::BitmapPixels shown;
    const loom::WindowNode node = loom::DescribeWindowTree(GetDlgItem(dlg, IDC_APPLY_WAVE));
    if (!node.custButton || !node.custButton->images) return shown;
    loom::ReadImageListImage(node.custButton->images, node.custButton->imageIndex, &shown);
    return shown;
}

/// The pixels of one of this module's bitmaps.
loom::BitmapPixels ModuleBitmap(int id) {
    loom::BitmapPixels p;
    HBITMAP b = LoadBitmapA(loom::ModuleHandleForAddress(&kAnchor), MAKEINTRESOURCEA(id));
    loom::ReadBitmap(b, &p);
    if (b) DeleteObject(b);
    return p;
}

TEST_F(VoltranePanel, ApplyButtonShowsTheLightLetteringWhileApplied) {
    const loom::BitmapPixels out = ModuleBitmap(IDB_APPLY_OUT), in = ModuleBitmap(IDB_APPLY_IN);
    ASSERT_EQ(out.width, 270);
    ASSERT_EQ(out.height, 30);
    ASSERT_NE(Rgb(out), Rgb(in)) << "the two pictures must differ for this test to mean anything";

    EXPECT_EQ(Rgb(ShownImage(dlg)), Rgb(out));
    ASSERT_TRUE(interact::Click(dlg, IDC_APPLY_WAVE));
    ASSERT_EQ(Int(kVoltraneApplyWave), 1);
    loom::BitmapPixels shown = ShownImage(dlg);
    EXPECT_EQ(shown.width, 270);
    EXPECT_EQ(shown.height, 30);
    EXPECT_EQ(Rgb(shown), Rgb(in));
    ASSERT_TRUE(interact::Click(dlg, IDC_APPLY_WAVE));
    EXPECT_EQ(Rgb(ShownImage(dlg)), Rgb(out));

    // Set from outside, the reload at the next paint shows it too.
    tex->SetApplyWave(1, 0);
    loom::PumpMessages();
    EXPECT_EQ(Rgb(ShownImage(dlg)), Rgb(in));
}

TEST_F(VoltranePanel, ReloadShowsTheApplyStateSetFromOutside) {
    tex->SetApplyWave(1, 0);
    loom::PumpMessages();  // the change invalidated the panel; its paint reloads it
    EXPECT_TRUE(GetCheckBox(dlg, IDC_APPLY_WAVE));
}

// ---- Shapes and options ----------------------------------------------------------------------

struct ShapeCase {
    int id;
    int row;
};

class VoltraneShape : public VoltranePanel, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(VoltraneShape, ClickSelectsExactlyItsShape) {
    const ShapeCase& c = GetParam();
    ASSERT_TRUE(interact::Click(dlg, c.id));
    for (int row = kVoltraneLinearH; row <= kVoltraneGoo; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(Int(row), row == c.row ? 1 : 0);
    }
    // The option pair is a group of its own: choosing a shape leaves it alone.
    EXPECT_EQ(Int(kVoltraneAdditive), 1);
    EXPECT_EQ(theHold.UndoCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, VoltraneShape,
                         ::testing::Values(ShapeCase{IDC_HORIZONTAL, kVoltraneLinearH},
                                           ShapeCase{IDC_VERTICAL, kVoltraneLinearV},
                                           ShapeCase{IDC_DIAGONAL, kVoltraneDiagonal},
                                           ShapeCase{IDC_STATIC_SHAPE, kVoltraneRandomStatic},
                                           ShapeCase{IDC_RADIAL, kVoltraneRadial},
                                           ShapeCase{IDC_EXPAND, kVoltraneShockwave},
                                           ShapeCase{IDC_ENCASE, kVoltraneEncase},
                                           ShapeCase{IDC_CUBIC, kVoltraneCubic},
                                           ShapeCase{IDC_GOO, kVoltraneGoo}));

TEST_F(VoltranePanel, AdditiveAndAlgorithmicExcludeEachOther) {
    ASSERT_TRUE(interact::Click(dlg, IDC_ALGORITHMIC));
    EXPECT_EQ(Int(kVoltraneAdditive), 0);
    EXPECT_EQ(Int(kVoltraneSubtractive), 1);
    EXPECT_EQ(Int(kVoltraneLinearH), 1) << "the shapes are another group";
    ASSERT_TRUE(interact::Click(dlg, IDC_ADDITIVE));
    EXPECT_EQ(Int(kVoltraneAdditive), 1);
    EXPECT_EQ(Int(kVoltraneSubtractive), 0);
}

// ---- Spinners ------------------------------------------------------------------------------

TEST_F(VoltranePanel, EdgeBlueOpacityDragChangesOnlyBlueInOneEntry) {
    ASSERT_TRUE(interact::DragSpinner(dlg, IDC_EDGE_OPACITY_B_SPIN, {1.2f, 1.4f, 1.5f}, true));
    EXPECT_FLOAT_EQ(Float(kVoltraneEdgeOpacityB), 1.5f);
    EXPECT_FLOAT_EQ(Float(kVoltraneEdgeOpacityG), 1.0f);
    EXPECT_FLOAT_EQ(Float(kVoltraneEdgeOpacityR), 1.0f);
    EXPECT_FLOAT_EQ(Float(kVoltraneBodyOpacityB), 1.0f);
    EXPECT_EQ(theHold.UndoCount(), 1);
    EXPECT_EQ(theHold.UndoLabel(), "Parameter Change");
    ASSERT_TRUE(theHold.Undo());
    EXPECT_FLOAT_EQ(Float(kVoltraneEdgeOpacityB), 1.0f);
}

struct SpinCase {
    const char* name;
    int editId;
    int row;
    const char* typed;
    float expect;
};

class VoltraneSpinner : public VoltranePanel, public ::testing::WithParamInterface<SpinCase> {};

TEST_P(VoltraneSpinner, TypedValueLandsInItsRowClampedToTheRange) {
    const SpinCase& c = GetParam();
    interact::TypeValue(dlg, c.editId, c.typed);
    if (c.row == kVoltraneSweepPhase) {
        EXPECT_EQ(Int(c.row), static_cast<int>(c.expect));
    } else {
        EXPECT_FLOAT_EQ(Float(c.row), c.expect);
    }
    EXPECT_EQ(theHold.UndoCount(), 1);
    EXPECT_EQ(theHold.UndoLabel(), "Parameter Change");
}

INSTANTIATE_TEST_SUITE_P(
    Some, VoltraneSpinner,
    ::testing::Values(
        SpinCase{"SweepPhase", IDC_SWEEP_PHASE_EDIT, kVoltraneSweepPhase, "-123", -123.0f},
        SpinCase{"SweepPhaseClamped", IDC_SWEEP_PHASE_EDIT, kVoltraneSweepPhase, "900", 700.0f},
        SpinCase{"ShearFloor", IDC_SHEAR_EDIT, kVoltraneShear, "0", 1.0f},
        SpinCase{"Wave2Mult", IDC_WAVE2_MULT_EDIT, kVoltraneWave2Mult, "-0.75", -0.75f},
        SpinCase{"GooUScale", IDC_GOO_USCALE_EDIT, kVoltraneGooUScale, "0", 0.1f}),
    [](const auto& p) { return std::string(p.param.name); });

// Ranges and drag steps of the parameter table's spinner rows (the integer one steps by 1).
const loomtest::SpinnerRange kSpinnerRanges[] = {
    {kVoltraneEdgeNoise, 0.0f, 30.0f, 1.0f},     {kVoltraneSweepPhase, -700.0f, 700.0f, 1.0f},
    {kVoltraneEdgeSize, 0.0f, 1.0f, 0.01f},      {kVoltraneEdgeDensity, 0.0f, 100.0f, 0.1f},
    {kVoltraneWave1Size, 0.0f, 40.0f, 0.1f},     {kVoltraneWave1Sync, 0.0f, 500.0f, 0.1f},
    {kVoltraneWave1Mult, -1.0f, 10.0f, 0.01f},   {kVoltraneWave2Size, 0.0f, 40.0f, 0.1f},
    {kVoltraneWave2Sync, 0.0f, 500.0f, 0.1f},    {kVoltraneWave2Mult, -1.0f, 10.0f, 0.01f},
    {kVoltraneBodyOpacityR, 0.0f, 2.0f, 0.1f},   {kVoltraneBodyOpacityG, 0.0f, 2.0f, 0.1f},
    {kVoltraneBodyOpacityB, 0.0f, 2.0f, 0.1f},   {kVoltraneEdgeOpacityR, 0.0f, 2.0f, 0.1f},
    {kVoltraneEdgeOpacityG, 0.0f, 2.0f, 0.1f},   {kVoltraneEdgeOpacityB, 0.0f, 2.0f, 0.1f},
    {kVoltraneShear, 1.0f, 100.0f, 0.01f},       {kVoltraneRadialU, -1.0f, 2.0f, 0.1f},
    {kVoltraneRadialV, -1.0f, 2.0f, 0.1f},       {kVoltraneGooPhase, 0.0f, 200.0f, 0.01f},
    {kVoltraneGooUScale, 0.1f, 20.0f, 0.1f},     {kVoltraneGooVScale, 0.1f, 20.0f, 0.1f},
    {kVoltraneGooUShift, -100.0f, 100.0f, 0.1f}, {kVoltraneGooVShift, -100.0f, 100.0f, 0.1f},
};

TEST_F(VoltranePanel, SpinnersMatchTheTemplateAndTheParameterTable) {
    loomtest::ExpectSpinnersMatchTable(dlg, tex, kSpinnerRanges);
}

TEST_F(VoltranePanel, EverySpinnerReleaseRedrawsTheSampleOnce) {
    loomtest::ExpectOneRedrawPerSpinnerRelease(editor, dlg);
}

TEST_F(VoltranePanel, TimeChangesReloadTheControlsAndTheSameTimeDoesNot) {
    // The integer spinner shows the keyed int, interpolated and rounded.
    AnimateOn();
    tex->SetIntParam(kVoltraneSweepPhase, -100, 0);
    tex->SetIntParam(kVoltraneSweepPhase, 300, 4800);
    AnimateOff();
    loom::PumpMessages();
    ASSERT_EQ(loomtest::SpinnerShows(dlg, IDC_SWEEP_PHASE_SPIN), -100.0f);
    loomtest::ShowInSpinner(dlg, IDC_SWEEP_PHASE_SPIN, 7.0f);
    editor.SetTime(0);
    loom::PumpMessages();
    EXPECT_EQ(loomtest::SpinnerShows(dlg, IDC_SWEEP_PHASE_SPIN), 7.0f);
    editor.SetTime(2400);
    EXPECT_EQ(loomtest::SpinnerShows(dlg, IDC_SWEEP_PHASE_SPIN), 100.0f);
    EXPECT_EQ(Text(IDC_SWEEP_PHASE_EDIT), "100");
    editor.SetTime(0);

    loomtest::ExpectTimeChangesReloadTheSpinner(editor, dlg, tex, IDC_EDGE_DENSITY_SPIN,
                                                kVoltraneEdgeDensity, 20.0f, 80.0f, 3.0f);
}

// ---- Colours ---------------------------------------------------------------------------------

struct ColourCase {
    int swatch;
    int row;
};

class VoltraneColour : public VoltranePanel, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(VoltraneColour, CompletedPickIsOneColourChange) {
    const ColourCase& c = GetParam();
    const Color before = ColorRow(c.row);
    const int changesBefore = editor.ChangeCount(), redraws = editor.RedrawCount();
    ASSERT_TRUE(interact::PickColor(dlg, c.swatch, {0x000080u, 0x204060u}, true));
    const Color after = ColorRow(c.row);
    EXPECT_FLOAT_EQ(after.r, 0x60 / 255.0f);
    EXPECT_FLOAT_EQ(after.g, 0x40 / 255.0f);
    EXPECT_FLOAT_EQ(after.b, 0x20 / 255.0f);
    EXPECT_EQ(theHold.UndoCount(), 1);
    EXPECT_EQ(theHold.UndoLabel(), "Color Change");
    EXPECT_EQ(editor.ChangeCount(), changesBefore + 1);
    EXPECT_EQ(editor.RedrawCount(), redraws + 1);
    ASSERT_TRUE(theHold.Undo());
    EXPECT_FLOAT_EQ(ColorRow(c.row).r, before.r);
    EXPECT_FLOAT_EQ(ColorRow(c.row).b, before.b);
}

TEST_P(VoltraneColour, CancelledPickLeavesTheOldColour) {
    const ColourCase& c = GetParam();
    const Color before = ColorRow(c.row);
    ASSERT_TRUE(interact::PickColor(dlg, c.swatch, {0x000080u, 0x204060u}, false));
    const Color after = ColorRow(c.row);
    EXPECT_FLOAT_EQ(after.r, before.r);
    EXPECT_FLOAT_EQ(after.g, before.g);
    EXPECT_FLOAT_EQ(after.b, before.b);
    EXPECT_EQ(theHold.UndoCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Swatches, VoltraneColour,
                         ::testing::Values(ColourCase{IDC_BODY_SWATCH, kVoltraneBodyColor},
                                           ColourCase{IDC_EDGE_SWATCH, kVoltraneEdgeColor},
                                           ColourCase{IDC_BACK_SWATCH, kVoltraneBackColor}));

}  // namespace

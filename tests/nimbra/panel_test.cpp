// The Nimbra panel in a material editor, driven as a person drives it.
#include <gtest/gtest.h>

#include "foundation/host/base/crt.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/resources.h"
#include "foundation/texframe/tex_class_desc.h"
#include "nimbra/nimbra_tex.h"
#include "nimbra/panel.h"
#include "nimbra/resource.h"
#include "tests/support/const_map.h"
#include "tests/support/panel_checks.h"
#include "tests/support/panel_fixture.h"

using loomtest::ConstMap;
namespace interact = loom::interact;

namespace {

class NimbraPanel : public loomtest::PanelFixture<NimbraTex> {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        FixClock(1700000000);
        // The UV generator's Coordinates rollup comes first, the texture's own after it.
        ASSERT_EQ(editor.Pages().size(), 2u);
        ASSERT_EQ(editor.Pages()[0].title, "Coordinates");
        ASSERT_EQ(editor.Pages()[1].hwnd, dlg);
    }
    int SliderPos(int id) {
        return static_cast<int>(SendDlgItemMessageA(dlg, id, TBM_GETPOS, 0, 0));
    }
};

}  // namespace

TEST_F(NimbraPanel, OpensWithTheTexturesValues) {
    EXPECT_EQ(editor.Pages()[1].title, "Nimbra Setup");
    EXPECT_EQ(Text(IDC_CLOUD_MAP), "[ Undefined ]");
    EXPECT_EQ(Text(IDC_SKY_MAP), "[ Undefined ]");
    EXPECT_FLOAT_EQ(SpinnerValue(IDC_DETAIL_SPIN), 7.0f);
    EXPECT_EQ(SliderPos(IDC_USCALE_SLIDER), 25);
    EXPECT_EQ(Text(IDC_USCALE_READOUT), "1.0");
    EXPECT_EQ(Text(IDC_UWAVE_READOUT), "0.5");
    EXPECT_TRUE(GetCheckBox(dlg, IDC_POSITIVE));
    EXPECT_FALSE(GetCheckBox(dlg, IDC_NEGATIVE));
    // The cloud swatch shows the cached (clamped) colour.
    EXPECT_EQ(SwatchColor(IDC_CLOUD_SWATCH), RGB(255, 255, 255));
}

TEST_F(NimbraPanel, SpinnerDragIsOneUndoEntryAndACancelledReleaseStillRedraws) {
    changes = editor.ChangeCount();
    int redraws = editor.RedrawCount();
    ASSERT_TRUE(interact::DragSpinner(dlg, IDC_CONTRAST_SPIN, {1.5f, 2.0f, 2.5f}, true));
    EXPECT_FLOAT_EQ(Float(kNimbraContrast), 2.5f);
    EXPECT_EQ(theHold.UndoCount(), 1);
    EXPECT_EQ(theHold.UndoLabel(), "Parameter Change");
    EXPECT_EQ(editor.ChangeCount(), changes + 1);
    EXPECT_EQ(editor.RedrawCount(), redraws + 1);
    ASSERT_TRUE(theHold.Undo());
    EXPECT_FLOAT_EQ(Float(kNimbraContrast), 1.0f);

    changes = editor.ChangeCount();
    redraws = editor.RedrawCount();
    ASSERT_TRUE(interact::DragSpinner(dlg, IDC_DENSITY_SPIN, {0.9f}, false));
    EXPECT_FLOAT_EQ(Float(kNimbraDensity), 0.6f);  // the hold was cancelled
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(editor.ChangeCount(), changes + 1);
    EXPECT_EQ(editor.RedrawCount(), redraws + 1);
}

// Ranges and drag steps of the parameter table's spinner rows.
const loomtest::SpinnerRange kSpinnerRanges[] = {
    {kNimbraContrast, 0.0f, 6.0f, 0.1f},
    {kNimbraDetail, 0.0f, 30.0f, 1.0f},
    {kNimbraDensity, 0.0f, 2.0f, 0.1f},
    {kNimbraSoftening, 0.0f, 1.0f, 0.1f},
};

TEST_F(NimbraPanel, SpinnersMatchTheTemplateAndTheParameterTable) {
    loomtest::ExpectSpinnersMatchTable(dlg, tex, kSpinnerRanges);
}

TEST_F(NimbraPanel, EverySpinnerReleaseRedrawsTheSampleOnce) {
    loomtest::ExpectOneRedrawPerSpinnerRelease(editor, dlg);
}

TEST_F(NimbraPanel, TimeChangesReloadTheControlsAndTheSameTimeDoesNot) {
    // An animated slider value: the slider and its read-out follow the time as well.
    loomtest::KeyFloatRow(tex, kNimbraVScale, 10.0f, 90.0f, 4800);
    ASSERT_EQ(SliderPos(IDC_VSCALE_SLIDER), 10);
    SendDlgItemMessageA(dlg, IDC_VSCALE_SLIDER, TBM_SETPOS, TRUE, 70);
    editor.SetTime(0);
    loom::PumpMessages();
    EXPECT_EQ(SliderPos(IDC_VSCALE_SLIDER), 70) << "the same time reloaded the controls";
    editor.SetTime(2400);
    EXPECT_EQ(SliderPos(IDC_VSCALE_SLIDER), 50);
    EXPECT_EQ(Text(IDC_VSCALE_READOUT), "2.0");
    editor.SetTime(0);
    EXPECT_EQ(SliderPos(IDC_VSCALE_SLIDER), 10);
    EXPECT_EQ(Text(IDC_VSCALE_READOUT), "0.4");

    loomtest::ExpectTimeChangesReloadTheSpinner(editor, dlg, tex, IDC_SOFTENING_SPIN,
                                                kNimbraSoftening, 0.2f, 0.8f, 1.0f);
}

TEST_F(NimbraPanel, TypedValueCommitsAParameterChange) {
    ASSERT_TRUE(interact::TypeValue(dlg, IDC_DETAIL_EDIT, "12"));
    EXPECT_FLOAT_EQ(Float(kNimbraDetail), 12.0f);
    EXPECT_EQ(theHold.UndoLabel(), "Parameter Change");
    ASSERT_TRUE(interact::TypeValue(dlg, IDC_DETAIL_EDIT, "99"));  // clamped to the range
    EXPECT_FLOAT_EQ(Float(kNimbraDetail), 30.0f);
}

TEST_F(NimbraPanel, SwatchDragRecordsOneColorChange) {
    ASSERT_TRUE(interact::PickColor(dlg, IDC_SKY_SWATCH, {RGB(10, 20, 30), RGB(0, 0, 255)}, true));
    EXPECT_EQ(ColorRow(kNimbraSky), Color(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(theHold.UndoCount(), 1);
    EXPECT_EQ(theHold.UndoLabel(), "Color Change");
}

TEST_F(NimbraPanel, PresetsSetTheirValuesWithoutUndo) {
    ASSERT_TRUE(interact::Click(dlg, IDC_CIRRUS));
    const float expected[] = {1.1f, 0.6f, 9, 0.4f, 10, 50, 25, 0, 22.5f, 25};
    const int rows[] = {kNimbraContrast,  kNimbraDensity,  kNimbraDetail, kNimbraSoftening,
                        kNimbraUScale,    kNimbraVScale,   kNimbraUShift, kNimbraVShift,
                        kNimbraUWaveform, kNimbraVWaveform};
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(Float(rows[i]), expected[i]) << i;
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(SliderPos(IDC_UWAVE_SLIDER), 22);  // 22.5 shows truncated
    EXPECT_EQ(Text(IDC_UWAVE_READOUT), "0.4");
    EXPECT_FLOAT_EQ(SpinnerValue(IDC_DETAIL_SPIN), 9.0f);

    // A palette changes the stored colour even where a sub-map hides it.
    tex->SetSubTexmap(0, new ConstMap(AColor(1, 0, 0, 1), 1));
    EXPECT_NE(Text(IDC_CLOUD_MAP), "[ Undefined ]");
    ASSERT_TRUE(interact::Click(dlg, IDC_MARTIAN));
    EXPECT_EQ(ColorRow(kNimbraCloud), Color(0.8f, 0.0f, 0.9f));
    EXPECT_EQ(ColorRow(kNimbraSky), Color(0.6f, 0.0f, 0.0f));
    EXPECT_NE(tex->GetSubTexmap(0), nullptr);
}

TEST_F(NimbraPanel, BlendButtonsAreReadBack) {
    ASSERT_TRUE(interact::Click(dlg, IDC_NEGATIVE));
    EXPECT_EQ(tex->Cache().positiveBlend, 0);
    EXPECT_EQ(tex->Cache().negativeBlend, 1);
    ASSERT_TRUE(interact::Click(dlg, IDC_POSITIVE));
    EXPECT_EQ(tex->Cache().positiveBlend, 1);
    EXPECT_EQ(tex->Cache().negativeBlend, 0);
}

TEST_F(NimbraPanel, MutationsInTheSameSecondAgree) {
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_SHAPES));
    NimbraCache first = tex->Cache();
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_SHAPES));
    EXPECT_EQ(tex->Cache().contrast, first.contrast);
    EXPECT_EQ(tex->Cache().vShift, first.vShift);
    // The first draw of the second's seed, times 6.
    crt::srand(static_cast<unsigned>(clockNow));
    EXPECT_EQ(first.contrast, static_cast<float>(crt::rand()) * 3.0518509e-05f * 6.0f);
    EXPECT_EQ(first.uWaveform, 25.0f);  // waveforms are not mutated
    EXPECT_EQ(SliderPos(IDC_USCALE_SLIDER), static_cast<int>(first.uScale));
    EXPECT_EQ(Text(IDC_USCALE_READOUT), NimbraReadout(first.uScale, 0.04f));
    EXPECT_EQ(NimbraReadout(63.9f, 0.04f), "2.6");
    ++clockNow;
    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_SHAPES));
    EXPECT_NE(tex->Cache().contrast, first.contrast);

    ASSERT_TRUE(interact::Click(dlg, IDC_MUTATE_COLOURS));
    crt::srand(static_cast<unsigned>(clockNow));
    float blue = static_cast<float>(crt::rand()) * 3.0518509e-05f;
    EXPECT_EQ(ColorRow(kNimbraCloud).b, blue);  // blue is drawn first
    EXPECT_EQ(theHold.UndoCount(), 0);
}

TEST_F(NimbraPanel, SlidersSetValuesWithoutUndoOrRedraw) {
    changes = editor.ChangeCount();
    ASSERT_TRUE(interact::MoveSlider(dlg, IDC_VSCALE_SLIDER, 60));
    EXPECT_EQ(Float(kNimbraVScale), 60.0f);
    EXPECT_EQ(Text(IDC_VSCALE_READOUT), "2.4");
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(editor.ChangeCount(), changes);
}

TEST_F(NimbraPanel, OutsideChangesReloadAtTheNextPaint) {
    tex->SetDetail(3.0f, 0);  // not through the panel
    EXPECT_FALSE(static_cast<NimbraDlg*>(editor.Panel())->Valid());
    loom::PumpMessages();
    EXPECT_TRUE(static_cast<NimbraDlg*>(editor.Panel())->Valid());
    EXPECT_FLOAT_EQ(SpinnerValue(IDC_DETAIL_SPIN), 3.0f);
}

TEST_F(NimbraPanel, MapButtonsAskTheBrowserAndSwapTradesSides) {
    editor.SetMapBrowser([](Texmap*, int) -> Texmap* { return new NimbraTex(); });
    ASSERT_TRUE(interact::Click(dlg, IDC_SKY_MAP));
    ASSERT_NE(tex->GetSubTexmap(1), nullptr);
    EXPECT_EQ(Text(IDC_SKY_MAP), "TLC Nimbra");
    ASSERT_TRUE(interact::Click(dlg, IDC_SWAP));
    EXPECT_EQ(Text(IDC_CLOUD_MAP), "TLC Nimbra");
    EXPECT_EQ(Text(IDC_SKY_MAP), "[ Undefined ]");
    EXPECT_EQ(SwatchColor(IDC_CLOUD_SWATCH),
              RGB(102, 102, 255));  // the sky's 0.4, 0.4, 1 now on the cloud side
}

TEST_F(NimbraPanel, TextureAndPanelMayGoInEitherOrder) {
    scene.Clear();  // the texture goes first; the panel forgets it
    loom::PumpMessages();
    EXPECT_EQ(editor.Panel()->GetThing(), nullptr);
    interact::Click(dlg, IDC_CUMULUS);  // handled without a texture: nothing happens
    editor.Close();
}

TEST_F(NimbraPanel, EveryPresetAndPaletteStoresItsTable) {
    struct Shape {
        int id;
        float v[10];  // Contrast, Density, Detail, Softening, U/V Scale, U/V Shift, U/V Waveform
    };
    const Shape shapes[] = {
        {IDC_CUMULUS, {1.4f, 0.8f, 8, 0.4f, 25, 25, 0, 0, 25, 25}},
        {IDC_CIRRUS, {1.1f, 0.6f, 9, 0.4f, 10, 50, 25, 0, 22.5f, 25}},
        {IDC_CIRROCUMULUS, {0.9f, 0.7f, 7, 0.6f, 65, 95, 50, 0, 22.5f, 25}},
        {IDC_NIMBRA, {1.5f, 0.5f, 10, 0.5f, 10, 15, 0, 0, 25, 25}},
        {IDC_CIRRONIMBRA, {1.9f, 0.4f, 15, 0.6f, 12.5f, 25, 25, 0, 25, 25}},
    };
    const int rows[] = {kNimbraContrast,  kNimbraDensity,  kNimbraDetail, kNimbraSoftening,
                        kNimbraUScale,    kNimbraVScale,   kNimbraUShift, kNimbraVShift,
                        kNimbraUWaveform, kNimbraVWaveform};
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.id);
        ASSERT_TRUE(interact::Click(dlg, s.id));
        for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(Float(rows[i]), s.v[i]) << i;
        EXPECT_EQ(ColorRow(kNimbraCloud), Color(9, 9, 1));  // colours untouched
    }
    struct Palette {
        int id;
        Color cloud, sky;
    };
    const Palette palettes[] = {
        {IDC_SUMMER, {1.0f, 1.0f, 1.0f}, {0.3f, 0.3f, 1.0f}},
        {IDC_WINTER, {0.7f, 0.7f, 0.7f}, {0.2f, 0.2f, 0.3f}},
        {IDC_MARTIAN, {0.8f, 0.0f, 0.9f}, {0.6f, 0.0f, 0.0f}},
        {IDC_COSMIC, {0.6f, 0.4f, 0.7f}, {0.0f, 0.0f, 0.0f}},
        {IDC_INFERNO, {1.0f, 1.0f, 0.5f}, {0.9f, 0.2f, 0.1f}},
    };
    for (const Palette& p : palettes) {
        SCOPED_TRACE(p.id);
        ASSERT_TRUE(interact::Click(dlg, p.id));
        EXPECT_EQ(ColorRow(kNimbraCloud), p.cloud);
        EXPECT_EQ(ColorRow(kNimbraSky), p.sky);
        EXPECT_EQ(Float(kNimbraDetail), 15.0f);  // the last shape preset stays
    }
    EXPECT_EQ(theHold.UndoCount(), 0);
}

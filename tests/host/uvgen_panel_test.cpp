// The standard UV generator's Coordinates rollup, driven through the material editor
// services and the interaction layer as a person would.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/host/base/animate.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/refs.h"
#include "foundation/host/sdk/shade.h"
#include "foundation/host/sdk/std_uvgen.h"
#include "foundation/host/stdmaps/uvgen_panel.h"
#include "foundation/host/stdmaps/uvgen_resource.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/interact.h"

using namespace loom;

namespace {

/// Records the coordinates the generator hands over.
class Probe final : public MapSampler {
  public:
    AColor Sample(ShadeContext&, float u, float v) override { return {u, v, 0, 1}; }
    AColor SampleFilter(ShadeContext& sc, float u, float v, float, float) override {
        return Sample(sc, u, v);
    }
    float SampleMono(ShadeContext&, float u, float) override { return u; }
    float SampleMonoFilter(ShadeContext&, float u, float, float, float) override { return u; }
};

class CoordinatesPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        theHold.Clear();
        gen = static_cast<StdUVGen*>(GetNewDefaultUVGen());
        holder.ReplaceReference(0, gen);
        panel = gen->CreateParamDlg(editor.Window(), &editor);
        ASSERT_NE(panel, nullptr);
        ASSERT_EQ(editor.Pages().size(), 1u);
        EXPECT_EQ(editor.Pages()[0].title, "Coordinates");
        page = editor.Pages()[0].hwnd;
        PumpMessages();
    }
    void TearDown() override {
        if (panel) panel->DeleteThis();
        AnimateOff();
    }

    std::string Text(int id) {
        char buf[64] = {};
        GetDlgItemTextA(page, id, buf, sizeof buf);
        return buf;
    }
    AColor At(float u, float v) {
        PlaneShadeContext sc;
        sc.Set(u, v);
        Interval valid = FOREVER;
        gen->Update(editor.GetTime(), valid);
        return gen->EvalUVMap(sc, &probe, FALSE);
    }

    /// Keeps the generator referenced, as a texture does.
    class Holder final : public ReferenceMaker {
      public:
        SClass_ID SuperClassID() override { return 0; }
        int NumRefs() override { return 1; }
        RefTargetHandle GetReference(int) override { return gen; }
        void SetReference(int, RefTargetHandle t) override { gen = t; }
        RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
            ++changes;
            return REF_SUCCEED;
        }
        RefTargetHandle gen = nullptr;
        int changes = 0;
    };

    MaterialEditor editor;
    Holder holder;
    StdUVGen* gen = nullptr;
    ParamDlg* panel = nullptr;
    HWND page = nullptr;
    Probe probe;
};

}  // namespace

TEST_F(CoordinatesPanel, ShowsTheBlockAndMapsWithWhatItSets) {
    EXPECT_EQ(Text(IDC_UV_TILING_U_EDIT), "1.0");
    EXPECT_EQ(Text(IDC_UV_OFFSET_V_EDIT), "0.0");
    EXPECT_EQ(At(0.25f, 0.5f).r, 0.25f);

    ASSERT_TRUE(interact::TypeValue(page, IDC_UV_TILING_U_EDIT, "2"));
    ASSERT_TRUE(interact::TypeValue(page, IDC_UV_OFFSET_V_EDIT, "0.125"));
    EXPECT_EQ(At(0.25f, 0.5f).r, 0.5f);
    EXPECT_EQ(At(0.25f, 0.5f).g, 0.625f);
    ASSERT_TRUE(interact::TypeValue(page, IDC_UV_ANGLE_EDIT, "90"));
    AColor turned = At(1.0f, 0.5f);  // a quarter turn about the centre, then the tiling
    EXPECT_NEAR(turned.r, 1.0, 1e-6);
    EXPECT_NEAR(turned.g, 1.125, 1e-6);
    EXPECT_EQ(theHold.UndoCount(), 3);
    EXPECT_EQ(theHold.UndoLabel(), "Parameter Change");
    EXPECT_GT(holder.changes, 0);  // the texture above hears of every change
}

TEST_F(CoordinatesPanel, SpinnerDragIsOneUndoEntryAndUndoReloadsAtTheNextPaint) {
    const int redraws = editor.RedrawCount();
    ASSERT_TRUE(interact::DragSpinner(page, IDC_UV_OFFSET_U_SPIN, {0.1f, 0.2f, 0.3f}, true));
    PumpMessages();
    EXPECT_EQ(theHold.UndoCount(), 1);
    EXPECT_EQ(editor.RedrawCount(), redraws + 1);
    EXPECT_NEAR(At(0.0f, 0.0f).r, 0.3, 1e-6);

    ASSERT_TRUE(theHold.Undo());
    EXPECT_EQ(At(0.0f, 0.0f).r, 0.0f);
    PumpMessages();  // the paint reloads the field the undo changed behind the panel
    EXPECT_EQ(Text(IDC_UV_OFFSET_U_EDIT), "0.0");

    // A cancelled drag leaves nothing to undo and the value as it was.
    ASSERT_TRUE(interact::DragSpinner(page, IDC_UV_OFFSET_U_SPIN, {0.5f}, false));
    EXPECT_EQ(theHold.UndoCount(), 0);
    EXPECT_EQ(At(0.0f, 0.0f).r, 0.0f);
}

TEST_F(CoordinatesPanel, WrapAndMirrorBoxesSetTheSymmetryFlags) {
    ASSERT_TRUE(interact::Click(page, IDC_UV_WRAP_U));
    At(0.5f, 0.5f);  // the flags are read at the generator's next update
    EXPECT_EQ(gen->SymFlags(), U_WRAP);
    ASSERT_TRUE(interact::TypeValue(page, IDC_UV_OFFSET_U_EDIT, "0.75"));
    EXPECT_NEAR(At(0.5f, 0.5f).r, 0.25, 1e-6);  // 1.25 wrapped
    ASSERT_TRUE(interact::Click(page, IDC_UV_MIRROR_V));
    ASSERT_TRUE(interact::TypeValue(page, IDC_UV_OFFSET_V_EDIT, "1"));
    EXPECT_NEAR(At(0.5f, 0.25f).g, 0.75, 1e-6);  // 1.25 mirrored back
    ASSERT_TRUE(interact::Click(page, IDC_UV_WRAP_U));
    EXPECT_NEAR(At(0.5f, 0.5f).r, 1.25, 1e-6);
    EXPECT_EQ(gen->SymFlags(), V_MIRROR);
}

TEST_F(CoordinatesPanel, AutoKeyAnimatesAndTimeChangesShowTheKeyedValue) {
    AnimateOn();
    editor.SetTime(4800);
    panel->SetTime(4800);
    ASSERT_TRUE(interact::TypeValue(page, IDC_UV_TILING_V_EDIT, "3"));
    EXPECT_GE(gen->ParamBlock()->NumKeys(kUVTilingV), 1);
    panel->SetTime(2400);
    PumpMessages();
    EXPECT_EQ(Text(IDC_UV_TILING_V_EDIT), "2.0");  // halfway between the keys at 0 and 4800
    panel->SetTime(4800);
    EXPECT_EQ(Text(IDC_UV_TILING_V_EDIT), "3.0");
}

TEST_F(CoordinatesPanel, PanelAndGeneratorMayGoInEitherOrder) {
    // Another generator shown in the same panel, then the first one deleted.
    auto* other = static_cast<StdUVGen*>(GetNewDefaultUVGen());
    Holder second;
    second.ReplaceReference(0, other);
    other->ParamBlock()->SetValue(kUVOffsetU, 0, 0.5f);
    panel->SetThing(other);
    EXPECT_EQ(gen->Panel(), nullptr);
    EXPECT_EQ(other->Panel(), dynamic_cast<StdUVGenView*>(panel));
    EXPECT_EQ(Text(IDC_UV_OFFSET_U_EDIT), "0.5");
    second.DeleteAllRefsFromMe();  // the generator goes while its panel is open
    ASSERT_TRUE(interact::TypeValue(page, IDC_UV_OFFSET_U_EDIT, "0.25"));  // nothing to set
    PumpMessages();
    panel->SetThing(gen);
    EXPECT_EQ(Text(IDC_UV_OFFSET_U_EDIT), "0.0");
    panel->DeleteThis();
    panel = nullptr;
    EXPECT_EQ(gen->Panel(), nullptr);
}

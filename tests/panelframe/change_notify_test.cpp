// The change notification a panel edit sends: over all time, with the frame's part mask,
// once per edit and after the parameter block's own notifications.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "fervix/fervix_tex.h"
#include "fervix/resource.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/resources.h"
#include "foundation/panelframe/tex_panel.h"
#include "foundation/texframe/tex_class_desc.h"
#include "tests/support/panel_fixture.h"

namespace {

namespace interact = loom::interact;

/// A dependent of the texture that notes each change the texture passes on.
class ChangeRecorder final : public ReferenceMaker {
  public:
    struct Change {
        Interval when;
        PartID parts;
    };
    int NumRefs() override { return 1; }
    RefTargetHandle GetReference(int) override { return target_; }
    void SetReference(int, RefTargetHandle t) override { target_ = t; }
    SClass_ID SuperClassID() override { return 0; }
    RefResult NotifyRefChanged(Interval when, RefTargetHandle from, PartID& parts,
                               RefMessage message) override {
        if (message == REFMSG_CHANGE && from == target_) changes.push_back({when, parts});
        return REF_SUCCEED;
    }
    std::vector<Change> changes;

  private:
    RefTargetHandle target_ = nullptr;
};

struct EditCase {
    const char* name;
    std::function<bool(HWND)> edit;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class PanelChange : public loomtest::PanelFixture<FervixTex>,
                    public ::testing::WithParamInterface<EditCase> {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        ASSERT_EQ(recorder.ReplaceReference(0, tex), REF_SUCCEED);
    }
    void TearDown() override {
        recorder.DeleteAllRefsFromMe();
        PanelFixture::TearDown();
    }

    ChangeRecorder recorder;
};

TEST_P(PanelChange, EndsWithOneNotificationOfTheFramesParts) {
    ASSERT_TRUE(GetParam().edit(dlg));
    const auto& seen = recorder.changes;
    ASSERT_FALSE(seen.empty());
    int framed = 0;
    for (const ChangeRecorder::Change& c : seen) framed += c.parts == 0x9FF ? 1 : 0;
    EXPECT_EQ(framed, 1);
    EXPECT_EQ(seen.back().parts, PartID{0x9FF});
    EXPECT_EQ(seen.back().when.Start(), FOREVER.Start());
    EXPECT_EQ(seen.back().when.End(), FOREVER.End());
}

const EditCase kEdits[] = {
    {"SpinnerDrag",
     [](HWND d) {
         return interact::DragSpinner(d, IDC_PHASE_SPIN, {5.0f, 6.0f}, true);
     }},
    {"SpinnerDragCancelled",
     [](HWND d) { return interact::DragSpinner(d, IDC_PHASE_SPIN, {5.0f}, false); }},
    {"TypedValue", [](HWND d) { return interact::TypeValue(d, IDC_PHASE_EDIT, "12"); }},
    {"ColourPick",
     [](HWND d) { return interact::PickColor(d, IDC_PRIME_SWATCH, {0x102030u}, true); }},
    {"Swap", [](HWND d) { return interact::Click(d, IDC_SWAP); }},
    {"RadioPair", [](HWND d) { return interact::Click(d, IDC_NEGATIVE); }},
    {"Preset", [](HWND d) { return interact::Click(d, IDC_GRASSY); }},
    {"Mutation", [](HWND d) { return interact::Click(d, IDC_MUTATE_NOISE); }},
};

INSTANTIATE_TEST_SUITE_P(All, PanelChange, ::testing::ValuesIn(kEdits),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace

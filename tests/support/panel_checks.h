#pragma once
// Checks every texture panel shares, run on the live panel: its spinners against the
// dialog template and the parameter table, the sample redraws a spinner release causes,
// and reloading the controls when the editor's time changes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "foundation/host/base/animate.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/window_tree.h"
#include "foundation/texframe/tex_frame.h"

namespace loomtest {

/// A spinner row of a texture's parameter table: the panel's range and drag step
/// (1 for an integer spinner).
struct SpinnerRange {
    int row;
    float min;
    float max;
    float step;
};

/// Every window under `node` (itself included) that is a spinner, in creation order.
inline void CollectSpinners(const loom::WindowNode& node, std::vector<loom::WindowNode>& out) {
    if (node.spinner) out.push_back(node);
    for (const loom::WindowNode& child : node.children) CollectSpinners(child, out);
}

inline std::vector<loom::WindowNode> Spinners(HWND page) {
    std::vector<loom::WindowNode> out;
    CollectSpinners(loom::DescribeWindowTree(page), out);
    return out;
}

inline const loom::WindowNode* FindNode(const loom::WindowNode& node, int id) {
    if (node.id == id && node.hwnd) return &node;
    for (const loom::WindowNode& child : node.children) {
        if (const loom::WindowNode* found = FindNode(child, id)) return found;
    }
    return nullptr;
}

/// Every row of the texture's block at time t, as stored.
inline std::vector<ParamValue> RowValues(loom::TexFrame* tex, TimeValue t = 0) {
    std::vector<ParamValue> out;
    for (size_t row = 0; row < tex->Info().rows.size(); ++row) {
        Interval valid = FOREVER;
        out.push_back(tex->ParamBlock()->GetRaw(static_cast<int>(row), t, valid));
    }
    return out;
}

/// Finds, for each spinner the compiled template put on `page`, the row it edits (by
/// typing beyond both ends of its range into its edit field and seeing which row of the
/// block moves), and checks that row against `table`: the live control's limits and step
/// are the table's, typed values are clamped to those limits in the block, an integer
/// spinner edits an int row and a float spinner a float row, the row's default lies in
/// the range, and every spinner row of the table has exactly one spinner.
inline void ExpectSpinnersMatchTable(HWND page, loom::TexFrame* tex,
                                     std::span<const SpinnerRange> table) {
    const loom::WindowNode tree = loom::DescribeWindowTree(page);
    const std::vector<loom::WindowNode> spinners = Spinners(page);
    EXPECT_EQ(spinners.size(), table.size()) << "spinners on the panel vs spinner rows";
    std::set<int> rowsSeen;
    for (const loom::WindowNode& node : spinners) {
        SCOPED_TRACE(testing::Message() << "spinner " << node.id);
        const loom::SpinnerInfo& live = *node.spinner;
        EXPECT_EQ(node.className, "SpinnerControl");
        EXPECT_TRUE(node.hasDialogUnits) << "not a control of the dialog template";
        const loom::WindowNode* edit = FindNode(tree, live.editId);
        ASSERT_NE(edit, nullptr) << "no linked edit field";
        EXPECT_EQ(edit->className, "CustEdit");
        EXPECT_TRUE(edit->hasDialogUnits);

        const std::vector<ParamValue> before = RowValues(tex);
        ASSERT_TRUE(loom::interact::TypeValue(page, live.editId, "1e9"));
        const std::vector<ParamValue> high = RowValues(tex);
        ASSERT_TRUE(loom::interact::TypeValue(page, live.editId, "-1e9"));
        const std::vector<ParamValue> low = RowValues(tex);
        std::vector<int> moved;
        for (size_t row = 0; row < before.size(); ++row) {
            if (before[row] != high[row] || high[row] != low[row]) {
                moved.push_back(static_cast<int>(row));
            }
        }
        ASSERT_EQ(moved.size(), 1u) << "typing moved " << moved.size() << " rows";
        const int row = moved[0];
        const loom::ParamRow& param = tex->Info().rows[static_cast<size_t>(row)];
        SCOPED_TRACE(param.name);
        EXPECT_TRUE(rowsSeen.insert(row).second) << "a second spinner for this row";
        auto entry = std::find_if(table.begin(), table.end(),
                                  [row](const SpinnerRange& r) { return r.row == row; });
        ASSERT_NE(entry, table.end()) << "a spinner for a row the table gives none";

        EXPECT_EQ(live.min, entry->min);
        EXPECT_EQ(live.max, entry->max);
        EXPECT_EQ(live.scale, entry->step);
        EXPECT_EQ(live.isInteger, param.type == TYPE_INT);
        EXPECT_NE(param.type, TYPE_RGBA);
        EXPECT_EQ(high[static_cast<size_t>(row)].v[0], entry->max);
        EXPECT_EQ(low[static_cast<size_t>(row)].v[0], entry->min);
        EXPECT_GE(param.def.v[0], entry->min);
        EXPECT_LE(param.def.v[0], entry->max);
    }
    for (const SpinnerRange& r : table) {
        EXPECT_EQ(rowsSeen.count(r.row), 1u) << tex->Info().rows[static_cast<size_t>(r.row)].name;
    }
}

/// Sample redraws (the editor's MtlChanged calls and the redraws its pump makes of them)
/// and undo entries across one action.
class RedrawCounter {
  public:
    explicit RedrawCounter(const loom::MaterialEditor& editor)
        : editor_(editor),
          changes_(editor.ChangeCount()),
          redraws_(editor.RedrawCount()),
          undos_(theHold.UndoCount()) {}
    int Changes() const { return editor_.ChangeCount() - changes_; }
    int Redraws() const { return editor_.RedrawCount() - redraws_; }
    int UndoEntries() const { return theHold.UndoCount() - undos_; }

  private:
    const loom::MaterialEditor& editor_;
    int changes_, redraws_, undos_;
};

/// For every spinner on `page`: a drag through both ends of its range released with the
/// button up (accepted), the same drag let go cancelled, and a typed value each tell the
/// editor once that the material changed and redraw the sample exactly once; only the
/// accepted drag and the typed value leave an undo entry. Nothing is redrawn mid-drag:
/// the drag has several steps, and the whole of it counts one.
inline void ExpectOneRedrawPerSpinnerRelease(const loom::MaterialEditor& editor, HWND page) {
    const std::vector<loom::WindowNode> spinners = Spinners(page);
    ASSERT_FALSE(spinners.empty());
    for (const loom::WindowNode& node : spinners) {
        SCOPED_TRACE(testing::Message() << "spinner " << node.id);
        const loom::SpinnerInfo& live = *node.spinner;
        const std::vector<float> drag = {live.min, live.max, live.min};
        {
            RedrawCounter count(editor);
            ASSERT_TRUE(loom::interact::DragSpinner(page, node.id, drag, true));
            EXPECT_EQ(count.Changes(), 1) << "accepted";
            EXPECT_EQ(count.Redraws(), 1) << "accepted";
            EXPECT_EQ(count.UndoEntries(), 1) << "accepted";
        }
        {
            RedrawCounter count(editor);
            ASSERT_TRUE(loom::interact::DragSpinner(page, node.id, drag, false));
            EXPECT_EQ(count.Changes(), 1) << "cancelled";
            EXPECT_EQ(count.Redraws(), 1) << "cancelled";
            EXPECT_EQ(count.UndoEntries(), 0) << "cancelled";
        }
        {
            RedrawCounter count(editor);
            ASSERT_TRUE(loom::interact::TypeValue(page, live.editId, "1e9"));
            EXPECT_EQ(count.Changes(), 1) << "typed";
            EXPECT_EQ(count.Redraws(), 1) << "typed";
            EXPECT_EQ(count.UndoEntries(), 1) << "typed";
        }
    }
}

inline float SpinnerShows(HWND page, int spinId) {
    ISpinnerControl* s = GetISpinner(GetDlgItem(page, spinId));
    if (!s) {
        ADD_FAILURE() << "no spinner " << spinId;
        return std::nanf("");
    }
    float v = s->GetFVal();
    ReleaseISpinner(s);
    return v;
}

/// Puts `v` into a spinner without telling anyone, as if the control had drifted from
/// the texture: only a reload puts the texture's value back.
inline void ShowInSpinner(HWND page, int spinId, float v) {
    ISpinnerControl* s = GetISpinner(GetDlgItem(page, spinId));
    ASSERT_NE(s, nullptr);
    s->SetValue(v, FALSE);
    ReleaseISpinner(s);
}

/// Keys float row `row` with Auto Key: `first` at time 0 and `second` at `later`; then
/// lets the panel reload at its paint, as it does after any outside change.
inline void KeyFloatRow(loom::TexFrame* tex, int row, float first, float second, TimeValue later) {
    AnimateOn();
    tex->SetFloatParam(row, first, 0);
    tex->SetFloatParam(row, second, later);
    AnimateOff();
    loom::PumpMessages();
}

/// With spinner `spinId` bound to float row `row`, keyed `first` at 0 and `second` at
/// 4800 (one second): moving the editor to another time reloads the spinner at once,
/// without waiting for a paint, to the value at that time; setting the time the panel
/// already shows reloads nothing (a value put into the spinner behind the panel's back
/// stays, through the paint as well).
inline void ExpectTimeChangesReloadTheSpinner(loom::MaterialEditor& editor, HWND page,
                                              loom::TexFrame* tex, int spinId, int row, float first,
                                              float second, float stray) {
    constexpr TimeValue kLater = 4800;
    ASSERT_EQ(editor.GetTime(), 0);
    KeyFloatRow(tex, row, first, second, kLater);
    ASSERT_EQ(SpinnerShows(page, spinId), first);

    ShowInSpinner(page, spinId, stray);
    editor.SetTime(0);
    loom::PumpMessages();
    EXPECT_EQ(SpinnerShows(page, spinId), stray) << "the same time reloaded the controls";

    editor.SetTime(kLater);
    EXPECT_EQ(SpinnerShows(page, spinId), second);
    editor.SetTime(kLater / 2);
    EXPECT_FLOAT_EQ(SpinnerShows(page, spinId), (first + second) / 2.0f);

    ShowInSpinner(page, spinId, stray);
    editor.SetTime(kLater / 2);
    loom::PumpMessages();
    EXPECT_EQ(SpinnerShows(page, spinId), stray) << "the same time reloaded the controls";
    editor.SetTime(0);
    EXPECT_EQ(SpinnerShows(page, spinId), first);
}

}  // namespace loomtest

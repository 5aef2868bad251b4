// What a person does, through loom::interact, as the dialog procedure hears it: spinner
// drags and typed values, colour picks, slider moves, keys and the close box in modal
// dialogs, and controls a person cannot reach.
#include "foundation/host/win32/interact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/host/win32/window_tree.h"
#include "tests/win32/win32_test_support.h"

namespace {

namespace interact = loom::interact;
using wintest::Instance;
using wintest::Rec;
using wintest::RecordingProc;
using wintest::Seen;
using wintest::WindowTest;

using InteractTest = WindowTest;

/// A notification as (message, low word, high word).
struct Note {
    UINT msg;
    WORD low;
    WORD high;
    bool operator==(const Note&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Note& n) {
    return os << std::hex << "{0x" << n.msg << ", " << std::dec << n.low << ", " << n.high << "}";
}

std::vector<Note> Notes(UINT lo, UINT hi) {
    std::vector<Note> out;
    for (const Seen& s : Rec().Only(lo, hi)) {
        if (s.msg == WM_PAINT || s.msg == WM_ERASEBKGND) continue;
        out.push_back({s.msg, LOWORD(s.wParam), HIWORD(s.wParam)});
    }
    return out;
}

std::string Text(HWND dlg, int id) {
    char buf[64];
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
}

// ---- Spinners -------------------------------------------------------------------------------

struct DragCase {
    const char* name;
    std::vector<float> steps;
    bool accept;
    std::vector<Note> notes;
    std::vector<float> seen;  ///< the spinner's value at each CC_SPINNER_CHANGE
    float after;
    // Test listings name the case rather than dump its bytes.
    friend void PrintTo(const DragCase& c, std::ostream* os) { *os << c.name; }
};

class SpinnerDrag : public WindowTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(SpinnerDrag, SendsPressChangesAndReleaseInOrder) {
    const DragCase& c = GetParam();
    HWND dlg = Panel(IDD_CUSTOM);
    ISpinnerControl* s = SetupFloatSpinner(dlg, IDC_SPIN, IDC_EDIT, 0.0f, 2.0f, 1.0f);
    std::vector<float> seen;
    float atRelease = -1.0f;
    Rec().also = [&](HWND, UINT msg, WPARAM, LPARAM l) {
        auto* spinner = reinterpret_cast<ISpinnerControl*>(l);
        if (msg == CC_SPINNER_CHANGE) seen.push_back(spinner->GetFVal());
        if (msg == CC_SPINNER_BUTTONUP) atRelease = spinner->GetFVal();
    };
    Rec().log.clear();
    ASSERT_TRUE(interact::DragSpinner(dlg, IDC_SPIN, c.steps, c.accept));
    EXPECT_EQ(Notes(CC_SPINNER_CHANGE, CC_SPINNER_BUTTONUP), c.notes);
    EXPECT_EQ(seen, c.seen);
    EXPECT_FLOAT_EQ(atRelease, c.after);
    EXPECT_FLOAT_EQ(s->GetFVal(), c.after);
    for (const Seen& m : Rec().Only(CC_SPINNER_CHANGE, CC_SPINNER_BUTTONUP)) {
        EXPECT_EQ(reinterpret_cast<ISpinnerControl*>(m.lParam), s);
    }
    ReleaseISpinner(s);
    DestroyWindow(dlg);
}

constexpr WORD kSpin = IDC_SPIN;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Interact, SpinnerDrag, ::testing::Values(
    DragCase{"Accepted", {1.1f, 1.2f}, true,
             {{CC_SPINNER_BUTTONDOWN, kSpin, 0}, {CC_SPINNER_CHANGE, kSpin, 1},
              {CC_SPINNER_CHANGE, kSpin, 1}, {CC_SPINNER_BUTTONUP, kSpin, 1}},
             {1.1f, 1.2f}, 1.2f},
    // Past the limit the value stays at 2: only the first step beyond it changes anything.
    DragCase{"ClampedStepsAreSilent", {1.5f, 2.5f, 3.0f, 1.0f}, true,
             {{CC_SPINNER_BUTTONDOWN, kSpin, 0}, {CC_SPINNER_CHANGE, kSpin, 1},
              {CC_SPINNER_CHANGE, kSpin, 1}, {CC_SPINNER_CHANGE, kSpin, 1},
              {CC_SPINNER_BUTTONUP, kSpin, 1}},
             {1.5f, 2.0f, 1.0f}, 1.0f},
    // Cancelled: the value is back before the release arrives.
    DragCase{"Cancelled", {0.4f}, false,
             {{CC_SPINNER_BUTTONDOWN, kSpin, 0}, {CC_SPINNER_CHANGE, kSpin, 1},
              {CC_SPINNER_BUTTONUP, kSpin, 0}},
             {0.4f}, 1.0f},
    DragCase{"PressedAndReleased", {}, true,
             {{CC_SPINNER_BUTTONDOWN, kSpin, 0}, {CC_SPINNER_BUTTONUP, kSpin, 1}}, {}, 1.0f}),
    [](const ::testing::TestParamInfo<DragCase>& p) { return p.param.name; });
// clang-format on

TEST_F(InteractTest, IntegerSpinnerDragRoundsEachStep) {
    HWND dlg = Panel(IDD_CUSTOM);
    ISpinnerControl* s = SetupIntSpinner(dlg, IDC_INT_SPIN, IDC_INT_EDIT, -700, 700, 0);
    Rec().log.clear();
    ASSERT_TRUE(interact::DragSpinner(dlg, IDC_INT_SPIN, {0.4f, 1.2f, 1.4f, 1.6f}, true));
    EXPECT_EQ(Rec().Only(CC_SPINNER_CHANGE).size(), 2u);  // 1, then 2
    EXPECT_EQ(s->GetIVal(), 2);
    EXPECT_EQ(Text(dlg, IDC_INT_EDIT), "2");
    ReleaseISpinner(s);
    DestroyWindow(dlg);
}

TEST_F(InteractTest, TypedValueSendsChangeThenEnter) {
    HWND dlg = Panel(IDD_CUSTOM);
    ISpinnerControl* s = SetupFloatSpinner(dlg, IDC_SPIN, IDC_EDIT, 0.0f, 30.0f, 0.1f);
    ISpinnerControl* i = SetupIntSpinner(dlg, IDC_INT_SPIN, IDC_INT_EDIT, -700, 700, 0);
    struct Case {
        int edit;
        const char* typed;
        bool taken;
        const char* shown;
    };
    const Case cases[] = {
        {IDC_EDIT, "12.5", true, "12.5"},   {IDC_EDIT, " 45 ", true, "30.0"},
        {IDC_EDIT, "+3", true, "3.0"},      {IDC_EDIT, "abc", false, "3.0"},
        {IDC_EDIT, "1e400", false, "3.0"},  {IDC_EDIT, "", false, "3.0"},
        {IDC_INT_EDIT, "12.6", true, "13"}, {IDC_INT_EDIT, "-9999", true, "-700"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Rec().log.clear();
        EXPECT_EQ(interact::TypeValue(dlg, c.edit, c.typed), c.taken);
        EXPECT_EQ(Text(dlg, c.edit), c.shown);
        WORD spin = c.edit == IDC_EDIT ? IDC_SPIN : IDC_INT_SPIN;
        std::vector<Note> expected;
        if (c.taken) expected.push_back({CC_SPINNER_CHANGE, spin, 0});
        expected.push_back({WM_CUSTEDIT_ENTER, static_cast<WORD>(c.edit), 0});
        EXPECT_EQ(Notes(CC_SPINNER_CHANGE, WM_CUSTEDIT_ENTER), expected);
        std::vector<Seen> enter = Rec().Only(WM_CUSTEDIT_ENTER);
        ASSERT_EQ(enter.size(), 1u);
        EXPECT_EQ(reinterpret_cast<HWND>(enter[0].lParam), GetDlgItem(dlg, c.edit));
        EXPECT_TRUE(Rec().Only(CC_SPINNER_BUTTONDOWN, CC_SPINNER_BUTTONUP).empty());
    }
    EXPECT_FLOAT_EQ(s->GetFVal(), 3.0f);
    EXPECT_EQ(i->GetIVal(), -700);
    // A standard edit notifies as typing does.
    Rec().log.clear();
    HWND panel = Panel();
    EXPECT_TRUE(interact::TypeValue(panel, IDC_TEXT, "hello"));
    EXPECT_EQ(Text(panel, IDC_TEXT), "hello");
    EXPECT_EQ(
        Notes(WM_COMMAND, WM_COMMAND),
        (std::vector<Note>{{WM_COMMAND, IDC_TEXT, EN_UPDATE}, {WM_COMMAND, IDC_TEXT, EN_CHANGE}}));
    EXPECT_FALSE(interact::TypeValue(panel, IDC_SWAP, "1")) << "not an edit field";
    DestroyWindow(panel);
    ReleaseISpinner(s);
    ReleaseISpinner(i);
    DestroyWindow(dlg);
}

// ---- Swatches --------------------------------------------------------------------------------

TEST_F(InteractTest, ColourPickDragsThenCommitsOrPutsTheOldColourBack) {
    HWND dlg = Panel(IDD_CUSTOM);
    IColorSwatch* sw = GetIColorSwatch(GetDlgItem(dlg, IDC_SWATCH), RGB(10, 20, 30), "Sky");
    std::vector<COLORREF> seen;
    Rec().also = [&](HWND, UINT msg, WPARAM, LPARAM l) {
        if (msg >= CC_COLOR_CHANGE && msg <= CC_COLOR_BUTTONUP) {
            seen.push_back(reinterpret_cast<IColorSwatch*>(l)->GetColor());
        }
    };
    constexpr WORD id = IDC_SWATCH;
    Rec().log.clear();
    ASSERT_TRUE(interact::PickColor(dlg, IDC_SWATCH, {RGB(1, 1, 1), RGB(2, 2, 2)}, true));
    EXPECT_EQ(Notes(CC_COLOR_CHANGE, CC_COLOR_BUTTONUP),
              (std::vector<Note>{{CC_COLOR_BUTTONDOWN, id, 0},
                                 {CC_COLOR_CHANGE, id, 0},
                                 {CC_COLOR_CHANGE, id, 0},
                                 {CC_COLOR_CHANGE, id, 1},
                                 {CC_COLOR_BUTTONUP, id, 1}}));
    EXPECT_EQ(seen, (std::vector<COLORREF>{RGB(10, 20, 30), RGB(1, 1, 1), RGB(2, 2, 2),
                                           RGB(2, 2, 2), RGB(2, 2, 2)}));
    EXPECT_EQ(sw->GetColor(), RGB(2, 2, 2));

    Rec().log.clear();
    seen.clear();
    ASSERT_TRUE(interact::PickColor(dlg, IDC_SWATCH, {RGB(9, 9, 9)}, false));
    EXPECT_EQ(
        Notes(CC_COLOR_CHANGE, CC_COLOR_BUTTONUP),
        (std::vector<Note>{
            {CC_COLOR_BUTTONDOWN, id, 0}, {CC_COLOR_CHANGE, id, 0}, {CC_COLOR_BUTTONUP, id, 0}}));
    EXPECT_EQ(seen.back(), RGB(2, 2, 2)) << "the old colour is back when the release arrives";
    EXPECT_EQ(sw->GetColor(), RGB(2, 2, 2));
    EXPECT_FALSE(interact::PickColor(dlg, IDC_SPIN, {}, true)) << "not a swatch";
    ReleaseIColorSwatch(sw);
    DestroyWindow(dlg);
}

// ---- Sliders ---------------------------------------------------------------------------------

TEST_F(InteractTest, SliderMovesScrollTheirParentWithTheControlInLParam) {
    HWND dlg = Panel();
    HWND slider = GetDlgItem(dlg, IDC_SLIDER);
    std::vector<LRESULT> positions;  // what TBM_GETPOS answers inside each notification
    Rec().also = [&](HWND, UINT msg, WPARAM, LPARAM l) {
        if (msg == WM_HSCROLL || msg == WM_VSCROLL) {
            positions.push_back(SendMessageA(reinterpret_cast<HWND>(l), TBM_GETPOS, 0, 0));
        }
    };
    constexpr WORD any = 0;
    struct Case {
        std::vector<int> drag;
        std::vector<Note> notes;
        std::vector<LRESULT> positions;
    };
    const Case cases[] = {
        {{63},
         {{WM_HSCROLL, TB_THUMBTRACK, 63},
          {WM_HSCROLL, TB_THUMBPOSITION, 63},
          {WM_HSCROLL, TB_ENDTRACK, any}},
         {63, 63, 63}},
        // Clamped to the range; a position it already has sends no THUMBTRACK.
        {{150, 100},
         {{WM_HSCROLL, TB_THUMBTRACK, 100},
          {WM_HSCROLL, TB_THUMBPOSITION, 100},
          {WM_HSCROLL, TB_ENDTRACK, any}},
         {100, 100, 100}},
        {{100}, {{WM_HSCROLL, TB_THUMBPOSITION, 100}, {WM_HSCROLL, TB_ENDTRACK, any}}, {100, 100}},
    };
    for (const Case& c : cases) {
        Rec().log.clear();
        positions.clear();
        ASSERT_TRUE(interact::DragSlider(dlg, IDC_SLIDER, c.drag));
        EXPECT_EQ(Notes(WM_HSCROLL, WM_VSCROLL), c.notes);
        EXPECT_EQ(positions, c.positions);
        for (const Seen& s : Rec().Only(WM_HSCROLL))
            EXPECT_EQ(reinterpret_cast<HWND>(s.lParam), slider);
    }
    // A click beside the thumb moves a page.
    SendMessageA(slider, TBM_SETPOS, TRUE, 50);
    SendMessageA(slider, TBM_SETPAGESIZE, 0, 10);
    Rec().log.clear();
    ASSERT_TRUE(interact::PageSlider(dlg, IDC_SLIDER, false));
    EXPECT_EQ(Notes(WM_HSCROLL, WM_VSCROLL),
              (std::vector<Note>{{WM_HSCROLL, TB_PAGEUP, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}));
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 40);
    // Vertical trackbars scroll vertically.
    Rec().log.clear();
    ASSERT_TRUE(interact::MoveSlider(dlg, IDC_VSLIDER, 7));
    EXPECT_EQ(Rec().Only(WM_VSCROLL).size(), 3u);
    EXPECT_TRUE(Rec().Only(WM_HSCROLL).empty());
    EXPECT_FALSE(interact::MoveSlider(dlg, IDC_SWAP, 1));
    DestroyWindow(dlg);
}

// ---- Reach ------------------------------------------------------------------------------------

TEST_F(InteractTest, ControlsAPersonCannotReachTakeNoAction) {
    HWND dlg = Panel();
    Rec().log.clear();
    EXPECT_FALSE(interact::Click(dlg, IDC_HIDDEN)) << "hidden";
    EnableWindow(GetDlgItem(dlg, IDC_SWAP), FALSE);
    EXPECT_FALSE(interact::Click(dlg, IDC_SWAP)) << "disabled";
    EnableWindow(GetDlgItem(dlg, IDC_SWAP), TRUE);
    EnableWindow(owner, FALSE);
    EXPECT_FALSE(interact::Click(dlg, IDC_SWAP)) << "its top-level window is disabled";
    EXPECT_FALSE(interact::MoveSlider(dlg, IDC_SLIDER, 3));
    EnableWindow(owner, TRUE);
    EXPECT_FALSE(interact::Click(dlg, IDC_SETTINGS)) << "group box";
    EXPECT_FALSE(interact::Click(dlg, IDC_READOUT)) << "static without SS_NOTIFY";
    EXPECT_FALSE(interact::Click(dlg, 4711));
    EXPECT_TRUE(Rec().Only(WM_COMMAND, WM_VSCROLL).empty());
    EXPECT_TRUE(interact::Click(dlg, IDC_SWAP));
    EXPECT_EQ(Rec().Only(WM_COMMAND).size(), 1u);
    EXPECT_TRUE(interact::Click(dlg, IDC_NOTIFY_LABEL));
    EXPECT_EQ(Rec().Only(WM_COMMAND).size(), 2u);
    DestroyWindow(dlg);
    EXPECT_FALSE(interact::Click(dlg, IDC_SWAP)) << "stale dialog";
    EXPECT_FALSE(interact::CloseDialog(dlg));
}

TEST_F(InteractTest, ClickAndKeysMoveTheFocus) {
    HWND dlg = Panel();
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_SWAP));
    EXPECT_TRUE(interact::Click(dlg, IDC_INVERT));
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_INVERT));
    EXPECT_TRUE(interact::Click(dlg, IDC_TEXT));
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_TEXT));
    // Tab skips controls without a tab stop and the hidden one, and wraps around.
    std::vector<int> order;
    for (int k = 0; k < 10; ++k) {
        ASSERT_TRUE(interact::PressKey(dlg, VK_TAB));
        order.push_back(GetDlgCtrlID(GetFocus()));
    }
    EXPECT_EQ(order, (std::vector<int>{IDC_SWAP, IDC_PLAIN, IDC_INVERT, IDC_MANUAL, IDC_SLIDER,
                                       IDC_TEXT, IDC_SWAP, IDC_PLAIN, IDC_INVERT, IDC_MANUAL}));
    Rec().log.clear();
    ASSERT_TRUE(interact::PressKey(dlg, VK_SPACE));  // clicks the focused (plain) check box
    ASSERT_EQ(Rec().Only(WM_COMMAND).size(), 1u);
    EXPECT_EQ(LOWORD(Rec().Only(WM_COMMAND)[0].wParam), IDC_MANUAL);
    EXPECT_FALSE(GetCheckBox(dlg, IDC_MANUAL));
    EXPECT_FALSE(interact::PressKey(dlg, 'A'));
    DestroyWindow(dlg);
}

TEST_F(InteractTest, ControlsAreFoundByTheirText) {
    HWND dlg = Panel();
    EXPECT_EQ(interact::FindControlByText(dlg, "Swap"), GetDlgItem(dlg, IDC_SWAP));
    EXPECT_EQ(GetDlgCtrlID(interact::FindControlByText(dlg, "texture blending application")), -1);
    EXPECT_EQ(interact::FindControlByText(dlg, "&Negative :"), GetDlgItem(dlg, IDC_NEGATIVE));
    EXPECT_EQ(interact::FindControlByText(dlg, "Nothing like it"), nullptr);
    EXPECT_EQ(interact::FindControlByText(dlg, ""), GetDlgItem(dlg, IDC_SLIDER))
        << "exact match first: the first control without text";
    EXPECT_EQ(interact::FindControlByText(dlg, " : "), nullptr);
    DestroyWindow(dlg);
}

// ---- Modal dialogs ------------------------------------------------------------------------------

INT_PTR RunModal(HWND owner, int id = IDD_MODAL) {
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(id), owner, RecordingProc, 0);
}

TEST_F(InteractTest, EnterAndEscapeInAModalDialog) {
    struct Case {
        const char* name;
        int dialog;
        std::vector<interact::ModalScript::Action> actions;
        INT_PTR result;
    };
    auto key = [](int vk) { return [vk](HWND d) { EXPECT_TRUE(interact::PressKey(d, vk)); }; };
    auto disableDefault = [](HWND d) { EnableWindow(GetDlgItem(d, IDOK), FALSE); };
    const Case cases[] = {
        {"Enter: the default button", IDD_MODAL, {key(VK_RETURN)}, IDOK},
        {"Escape", IDD_MODAL, {key(VK_ESCAPE)}, IDCANCEL},
        {"Enter on the focused Cancel", IDD_MODAL, {key(VK_TAB), key(VK_RETURN)}, IDCANCEL},
        {"Close box", IDD_MODAL, {[](HWND d) { EXPECT_TRUE(interact::CloseDialog(d)); }}, IDCANCEL},
        {"Enter with the default disabled does nothing",
         IDD_MODAL,
         {disableDefault, key(VK_RETURN), key(VK_ESCAPE)},
         IDCANCEL},
        {"No buttons: Enter is IDOK", IDD_PLAIN_MODAL, {key(VK_RETURN)}, IDOK},
        {"No buttons: Escape is IDCANCEL", IDD_PLAIN_MODAL, {key(VK_ESCAPE)}, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rec().log.clear();
        interact::ModalScript script(c.actions);
        EXPECT_EQ(RunModal(owner, c.dialog), c.result);
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(script.Overran());
        std::vector<Seen> commands = Rec().Only(WM_COMMAND);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].wParam, MAKEWPARAM(static_cast<WORD>(c.result), BN_CLICKED));
        EXPECT_EQ(commands[0].lParam != 0, c.dialog == IDD_MODAL);
        EXPECT_TRUE(IsWindowEnabled(owner));
    }
}

TEST_F(InteractTest, PlainRadiosInAModalDialogChangeOnlyWhatTheProcedureSets) {
    HWND panel = Panel();
    Rec().watch = {IDC_RED, IDC_GREEN, IDC_BLUE};
    bool panelReachable = true;
    Rec().also = [](HWND d, UINT msg, WPARAM w, LPARAM) {
        if (msg == WM_INITDIALOG) CheckRadioButton(d, IDC_RED, IDC_BLUE, IDC_RED);
        // The procedure moves the check itself, and only for Blue.
        if (msg == WM_COMMAND && LOWORD(w) == IDC_BLUE)
            CheckRadioButton(d, IDC_RED, IDC_BLUE, IDC_BLUE);
    };
    std::vector<int> afterGreen, afterBlue;
    interact::ModalScript script({
        [&](HWND d) {
            panelReachable = interact::Click(panel, IDC_SWAP);
            EXPECT_TRUE(interact::Click(d, IDC_GREEN));
            afterGreen = {GetCheckBox(d, IDC_RED), GetCheckBox(d, IDC_GREEN),
                          GetCheckBox(d, IDC_BLUE)};
        },
        [&](HWND d) {
            EXPECT_TRUE(interact::Click(d, IDC_BLUE));
            afterBlue = {GetCheckBox(d, IDC_RED), GetCheckBox(d, IDC_GREEN),
                         GetCheckBox(d, IDC_BLUE)};
        },
        [](HWND d) { interact::Click(d, IDOK); },
    });
    EXPECT_EQ(RunModal(owner), IDOK);
    EXPECT_FALSE(panelReachable) << "the owner's panel is out of reach while the dialog runs";
    EXPECT_EQ(afterGreen, (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(afterBlue, (std::vector<int>{0, 0, 1}));
    std::vector<Seen> commands = Rec().Only(WM_COMMAND);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].checks,
              (std::map<int, int>{{IDC_RED, 1}, {IDC_GREEN, 0}, {IDC_BLUE, 0}}));
    EXPECT_EQ(script.Dialogs().size(), 3u);
    EXPECT_TRUE(interact::Click(panel, IDC_SWAP)) << "reachable again";
    DestroyWindow(panel);
}

TEST_F(InteractTest, AScriptThatRunsOutEndsTheDialogAsFailed) {
    interact::ModalScript script({[](HWND d) { interact::Click(d, IDC_RED); }});
    EXPECT_EQ(RunModal(owner), -1);
    EXPECT_TRUE(script.Overran());
    EXPECT_TRUE(script.Finished());
}

TEST_F(InteractTest, NestedModalDialogsAreDrivenInTurn) {
    // The first dialog's OK opens a second modal dialog before it ends.
    INT_PTR inner = 0;
    Rec().also = [&](HWND d, UINT msg, WPARAM w, LPARAM) {
        if (msg == WM_COMMAND && LOWORD(w) == IDC_BLUE) inner = RunModal(d, IDD_PLAIN_MODAL);
    };
    interact::ModalScript script({
        [](HWND d) { interact::Click(d, IDC_BLUE); },
        [](HWND d) {
            // The inner dialog is owned by the outer one, not its child.
            HWND outer = GetParent(d);
            std::vector<HWND> tops = loom::TopLevelWindows();
            EXPECT_NE(std::find(tops.begin(), tops.end(), d), tops.end());
            EXPECT_FALSE(IsChild(outer, d));
            EXPECT_EQ(GetDlgItem(outer, 0), nullptr);
            EXPECT_EQ(loom::DescribeWindowTree(outer).children.size(),
                      loom::FindDialog(Instance(), IDD_MODAL)->controls.size());
            EXPECT_FALSE(interact::Click(outer, IDC_RED)) << "the outer dialog is disabled";
            EXPECT_TRUE(interact::PressKey(d, VK_ESCAPE));
        },
        [](HWND d) { EXPECT_TRUE(interact::PressKey(d, VK_RETURN)); },
    });
    EXPECT_EQ(RunModal(owner), IDOK);
    EXPECT_EQ(inner, IDCANCEL);
    ASSERT_EQ(script.Dialogs().size(), 3u);
    EXPECT_EQ(script.Dialogs()[0], script.Dialogs()[2]);
    EXPECT_NE(script.Dialogs()[0], script.Dialogs()[1]);
}

}  // namespace

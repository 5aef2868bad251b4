// The host's custom controls as a panel binds and sets them: spinners with their edit
// fields, colour swatches, custom buttons, the check helpers, CenterWindow, and interfaces
// that outlive their windows.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "foundation/host/ui/controls.h"
#include "foundation/host/win32/window_tree.h"
#include "tests/win32/win32_test_support.h"

namespace {

using wintest::Rec;
using wintest::Seen;
using wintest::WindowTest;

using CustomTest = WindowTest;

std::string Text(HWND dlg, int id) {
    char buf[64];
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
}

TEST_F(CustomTest, FloatSpinnerClampsAndShowsItsValueInTheEditField) {
    HWND dlg = Panel(IDD_CUSTOM);
    ISpinnerControl* s = SetupFloatSpinner(dlg, IDC_SPIN, IDC_EDIT, 0.0f, 30.0f, 0.1f);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->IsInteger());
    EXPECT_FLOAT_EQ(s->GetScale(), 0.1f);
    EXPECT_EQ(Text(dlg, IDC_EDIT), "0.1");
    s->SetScale(1.0f);
    EXPECT_FLOAT_EQ(s->GetScale(), 1.0f);

    struct Case {
        float set;
        float value;
        const char* shown;
    };
    const Case cases[] = {
        {30.0f, 30.0f, "30.0"},
        {31.5f, 30.0f, "30.0"},
        {-2.0f, 0.0f, "0.0"},
        {0.005f, 0.005f, "0.005"},
        {2.25f, 2.25f, "2.25"},
        {7.0004f, 7.0004f, "7.0"},
        {std::numeric_limits<float>::quiet_NaN(), 0.0f, "0.0"},
        {std::numeric_limits<float>::infinity(), 30.0f, "30.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        s->SetValue(c.set, FALSE);
        EXPECT_EQ(s->GetFVal(), c.value);
        EXPECT_EQ(Text(dlg, IDC_EDIT), c.shown);
    }
    s->SetValue(2.6f, FALSE);
    EXPECT_EQ(s->GetIVal(), 3);
    s->SetValue(0.5, FALSE);  // a double literal reaches the float overload
    EXPECT_FLOAT_EQ(s->GetFVal(), 0.5f);

    // New limits clamp the value when asked to.
    s->SetValue(20.0f, FALSE);
    s->SetLimits(-1.0f, 10.0f, FALSE);
    EXPECT_FLOAT_EQ(s->GetFVal(), 20.0f);
    s->SetLimits(-1.0f, 10.0f, TRUE);
    EXPECT_FLOAT_EQ(s->GetFVal(), 10.0f);
    EXPECT_EQ(Text(dlg, IDC_EDIT), "10.0");
    s->SetValue(-0.0001f, FALSE);
    EXPECT_EQ(Text(dlg, IDC_EDIT), "0.0") << "never a negative zero";
    s->SetIndeterminate(TRUE);
    EXPECT_TRUE(s->IsIndeterminate());
    EXPECT_EQ(Text(dlg, IDC_EDIT), "");
    s->SetValue(1.0f, FALSE);
    EXPECT_FALSE(s->IsIndeterminate());

    loom::PumpMessages();
    EXPECT_TRUE(Rec().Only(CC_SPINNER_CHANGE, WM_CUSTEDIT_ENTER).empty())
        << "values set from code notify nobody";
    ReleaseISpinner(s);
    DestroyWindow(dlg);
}

TEST_F(CustomTest, IntegerSpinnerRoundsAndNotifiesOnlyWhenAsked) {
    HWND dlg = Panel(IDD_CUSTOM);
    ISpinnerControl* s = SetupIntSpinner(dlg, IDC_INT_SPIN, IDC_INT_EDIT, -700, 700, 75);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->IsInteger());
    EXPECT_EQ(Text(dlg, IDC_INT_EDIT), "75");
    s->SetValue(12.5f, FALSE);  // halves away from zero
    EXPECT_EQ(s->GetIVal(), 13);
    s->SetValue(-2.5f, FALSE);
    EXPECT_EQ(s->GetIVal(), -3);
    EXPECT_FLOAT_EQ(s->GetFVal(), -3.0f);
    s->SetValue(900, FALSE);
    EXPECT_EQ(Text(dlg, IDC_INT_EDIT), "700");
    s->SetValue(3e9f, FALSE);
    EXPECT_EQ(s->GetIVal(), 700);

    s->SetValue(-5, TRUE);
    std::vector<Seen> changes = Rec().Only(CC_SPINNER_CHANGE);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].wParam, MAKEWPARAM(IDC_INT_SPIN, 0));
    EXPECT_EQ(reinterpret_cast<ISpinnerControl*>(changes[0].lParam), s);
    EXPECT_EQ(reinterpret_cast<ISpinnerControl*>(changes[0].lParam)->GetIVal(), -5);

    // Linking a float field makes it a float spinner with the same value.
    s->LinkToEdit(GetDlgItem(dlg, IDC_INT_EDIT), EDITTYPE_FLOAT);
    EXPECT_FALSE(s->IsInteger());
    EXPECT_EQ(Text(dlg, IDC_INT_EDIT), "-5.0");
    ReleaseISpinner(s);
    DestroyWindow(dlg);
}

TEST_F(CustomTest, SwatchKeepsColourAndNameAndNotifiesOnlyWhenAsked) {
    HWND dlg = Panel(IDD_CUSTOM);
    IColorSwatch* sw = GetIColorSwatch(GetDlgItem(dlg, IDC_SWATCH), RGB(255, 255, 255), "Cloud");
    ASSERT_NE(sw, nullptr);
    EXPECT_EQ(sw->GetColor(), 0xFFFFFFu);
    EXPECT_STREQ(sw->Name(), "Cloud");
    EXPECT_EQ(sw->SetColor(RGB(76, 76, 255)), 0xFFFFFFu);
    EXPECT_EQ(sw->GetColor(), 0xFF4C4Cu);
    EXPECT_TRUE(Rec().Only(CC_COLOR_CHANGE).empty());
    sw->SetColor(RGB(1, 2, 3), TRUE);
    std::vector<Seen> changes = Rec().Only(CC_COLOR_CHANGE);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].wParam, MAKEWPARAM(IDC_SWATCH, 1));
    EXPECT_EQ(reinterpret_cast<IColorSwatch*>(changes[0].lParam), sw);

    sw->Activate(TRUE);
    loom::WindowNode node = loom::DescribeWindowTree(GetDlgItem(dlg, IDC_SWATCH));
    ASSERT_TRUE(node.swatch.has_value());
    EXPECT_EQ(node.swatch->color, RGB(1, 2, 3));
    EXPECT_EQ(node.swatch->name, "Cloud");
    EXPECT_TRUE(node.swatch->active);
    EXPECT_NE(loom::WindowTreeToJson(node).find("\"color\":\"#010203\""), std::string::npos);
    ReleaseIColorSwatch(sw);
    DestroyWindow(dlg);
}

TEST_F(CustomTest, CheckTypeButtonTogglesThenSendsExactlyOneNotification) {
    HWND dlg = Panel(IDD_CUSTOM);
    ICustButton* sine = GetICustButton(GetDlgItem(dlg, IDC_SINE));
    ICustButton* apply = GetICustButton(GetDlgItem(dlg, IDC_APPLY));
    ASSERT_NE(sine, nullptr);
    ASSERT_NE(apply, nullptr);
    sine->SetType(CBT_CHECK);
    sine->SetHighlightColor(RGB(192, 192, 255));
    EXPECT_EQ(sine->GetHighlightColor(), 0xFFC0C0u);
    apply->SetType(CBT_CHECK);
    apply->SetNotifyMessage(0x11F);
    Rec().watch = {IDC_SINE, IDC_APPLY};
    Rec().log.clear();

    HWND h = GetDlgItem(dlg, IDC_SINE);
    SendMessageA(h, WM_LBUTTONDOWN, 0, 0);
    EXPECT_TRUE(Rec().log.empty()) << "nothing until the mouse is released";
    SendMessageA(h, WM_LBUTTONUP, 0, 0);
    ASSERT_EQ(Rec().log.size(), 1u);
    EXPECT_EQ(Rec().log[0].msg, WM_COMMAND);
    EXPECT_EQ(Rec().log[0].wParam, MAKEWPARAM(IDC_SINE, BN_CLICKED));
    EXPECT_EQ(Rec().log[0].lParam, reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(Rec().log[0].checks.at(IDC_SINE), 1) << "toggled before the notification";

    Rec().log.clear();
    HWND a = GetDlgItem(dlg, IDC_APPLY);
    SendMessageA(a, WM_LBUTTONDOWN, 0, 0);
    SendMessageA(a, WM_LBUTTONUP, 0, 0);
    ASSERT_EQ(Rec().log.size(), 1u);
    EXPECT_EQ(Rec().log[0].msg, 0x11Fu) << "the button's own message instead of WM_COMMAND";
    EXPECT_EQ(LOWORD(Rec().log[0].wParam), IDC_APPLY);
    EXPECT_TRUE(apply->IsChecked());

    // Set from code: no notification; push buttons hold no check.
    Rec().log.clear();
    SetCheckBox(dlg, IDC_SINE, FALSE);
    EXPECT_FALSE(GetCheckBox(dlg, IDC_SINE));
    SetCheckBox(dlg, IDC_SINE, TRUE);
    EXPECT_TRUE(sine->IsChecked());
    EXPECT_TRUE(Rec().log.empty());
    ICustButton* cosine = GetICustButton(GetDlgItem(dlg, IDC_COSINE));
    cosine->SetCheck(TRUE);
    EXPECT_FALSE(cosine->IsChecked());
    SendMessageA(GetDlgItem(dlg, IDC_COSINE), WM_LBUTTONDOWN, 0, 0);
    SendMessageA(GetDlgItem(dlg, IDC_COSINE), WM_LBUTTONUP, 0, 0);
    EXPECT_FALSE(cosine->IsChecked());
    EXPECT_EQ(Rec().Only(WM_COMMAND).size(), 1u);

    // Check helpers on things that are not buttons answer FALSE and change nothing.
    EXPECT_FALSE(GetCheckBox(dlg, IDC_SWATCH));
    SetCheckBox(dlg, IDC_SWATCH, TRUE);
    EXPECT_FALSE(GetCheckBox(dlg, 4711));
    ReleaseICustButton(sine);
    ReleaseICustButton(apply);
    ReleaseICustButton(cosine);
    DestroyWindow(dlg);
}

TEST_F(CustomTest, ImageButtonShowsTheImageOfItsState) {
    HWND dlg = Panel(IDD_CUSTOM);
    HIMAGELIST list = ImageList_Create(270, 30, ILC_COLOR24, 2, 0);
    ICustButton* apply = GetICustButton(GetDlgItem(dlg, IDC_APPLY));
    apply->SetType(CBT_CHECK);
    apply->SetImage(list, 0, 1, 0, 0, 270, 30);
    auto shown = [&] {
        return loom::DescribeWindowTree(GetDlgItem(dlg, IDC_APPLY)).custButton->imageIndex;
    };
    EXPECT_EQ(shown(), 0);
    apply->SetCheck(TRUE);
    EXPECT_EQ(shown(), 1);
    apply->Disable();
    EXPECT_EQ(shown(), 0);
    EXPECT_FALSE(apply->IsEnabled());
    apply->Enable();
    loom::WindowNode node = loom::DescribeWindowTree(GetDlgItem(dlg, IDC_APPLY));
    EXPECT_EQ(node.custButton->images, list);
    EXPECT_EQ(node.custButton->imageWidth, 270);
    EXPECT_EQ(node.check, 1);
    char text[64];
    apply->GetText(text, sizeof text);
    EXPECT_STREQ(text, "Apply WaveForms...");
    ReleaseICustButton(apply);
    DestroyWindow(dlg);
    ImageList_Destroy(list);
}

TEST_F(CustomTest, InterfacesOutliveTheirWindowsAndRefuseOtherClasses) {
    HWND dlg = Panel(IDD_CUSTOM);
    EXPECT_EQ(GetISpinner(GetDlgItem(dlg, IDC_EDIT)), nullptr);
    EXPECT_EQ(GetIColorSwatch(GetDlgItem(dlg, IDC_SPIN)), nullptr);
    EXPECT_EQ(GetICustButton(GetDlgItem(dlg, IDC_MAP)), nullptr) << "a standard button";
    EXPECT_EQ(SetupFloatSpinner(dlg, IDC_EDIT, IDC_SPIN, 0.0f, 1.0f, 0.5f), nullptr);
    EXPECT_EQ(loom::CustomControlReferences(), refs);

    ISpinnerControl* s = SetupFloatSpinner(dlg, IDC_SPIN, IDC_EDIT, 0.0f, 2.0f, 1.5f);
    ISpinnerControl* again = GetISpinner(GetDlgItem(dlg, IDC_SPIN));
    EXPECT_EQ(again, s) << "one object per control";
    ICustEdit* edit = GetICustEdit(GetDlgItem(dlg, IDC_EDIT));
    IColorSwatch* sw = GetIColorSwatch(GetDlgItem(dlg, IDC_SWATCH), RGB(9, 9, 9), "Sky");
    EXPECT_EQ(loom::CustomControlReferences(), refs + 4);
    BOOL valid = FALSE;
    EXPECT_FLOAT_EQ(edit->GetFloat(&valid), 1.5f);
    EXPECT_TRUE(valid);
    edit->SetText("12");
    EXPECT_EQ(edit->GetInt(&valid), 12);
    edit->SetText(0.25f, 2);
    EXPECT_EQ(Text(dlg, IDC_EDIT), "0.25");
    EXPECT_EQ(edit->GetInt(&valid), 0);
    EXPECT_FALSE(valid);

    DestroyWindow(dlg);  // the panel may be destroyed before it releases its controls
    EXPECT_EQ(s->GetHwnd(), nullptr);
    EXPECT_FLOAT_EQ(s->GetFVal(), 1.5f);
    s->SetValue(0.5f, TRUE);  // no window, no edit, no notification, no crash
    EXPECT_EQ(sw->GetColor(), RGB(9, 9, 9));
    EXPECT_FALSE(sw->IsEnabled());
    char text[8] = "x";
    edit->GetText(text, sizeof text);
    EXPECT_STREQ(text, "");
    ReleaseISpinner(s);
    ReleaseISpinner(again);
    ReleaseICustEdit(edit);
    ReleaseIColorSwatch(sw);
    ReleaseISpinner(nullptr);
    ReleaseIColorSwatch(nullptr);
}

TEST_F(CustomTest, CenterWindowCentresOverTheParentAndStaysOnScreen) {
    HWND dlg = CreateDialogParamA(wintest::Instance(), MAKEINTRESOURCEA(IDD_MODAL), owner,
                                  wintest::RecordingProc, 0);
    RECT d, o;
    GetWindowRect(dlg, &d);
    GetWindowRect(owner, &o);
    CenterWindow(dlg, owner);
    RECT c;
    GetWindowRect(dlg, &c);
    EXPECT_EQ(c.right - c.left, d.right - d.left) << "the size stays";
    EXPECT_EQ((c.left + c.right) / 2, (o.left + o.right) / 2);
    EXPECT_NEAR((c.top + c.bottom) / 2.0, (o.top + o.bottom) / 2.0, 1.0);
    EXPECT_EQ(Rec().Only(WM_MOVE).size(), 1u);

    MoveWindow(owner, 1800, 1000, 100, 50, FALSE);  // near the corner: kept on screen
    CenterWindow(dlg, owner);
    GetWindowRect(dlg, &c);
    EXPECT_EQ(c.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(c.bottom, GetSystemMetrics(SM_CYSCREEN));
    CenterWindow(dlg, nullptr);
    GetWindowRect(dlg, &c);
    EXPECT_EQ((c.left + c.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2);

    // A child is centred in its parent's client coordinates.
    HWND child = GetDlgItem(dlg, IDC_PICTURE);
    CenterWindow(child, dlg);
    RECT cc;
    GetWindowRect(child, &cc);
    GetWindowRect(dlg, &c);
    EXPECT_NEAR((cc.left + cc.right) / 2.0, (c.left + c.right) / 2.0, 1.0);
    DestroyWindow(dlg);
}

}  // namespace

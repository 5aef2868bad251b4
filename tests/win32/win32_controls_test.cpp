// The standard controls: buttons of every kind with their group rules, statics with
// pictures, edits and trackbars, as their messages reach the dialog; and the inspector's
// view of them.
#include <gtest/gtest.h>

#include <string>

#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/win32.h"
#include "foundation/host/win32/window_tree.h"
#include "tests/win32/win32_test_support.h"

namespace {

using wintest::Rec;
using wintest::Seen;
using wintest::WindowTest;

using ControlsTest = WindowTest;

int Checked(HWND dlg, int id) { return static_cast<int>(IsDlgButtonChecked(dlg, id)); }

void Click(HWND dlg, int id) { EXPECT_TRUE(loom::interact::Click(dlg, id)); }

TEST_F(ControlsTest, AutoRadiosMoveTheCheckWithinTheirGroupBeforeNotifying) {
    HWND dlg = Panel();
    Rec().watch = {IDC_POSITIVE, IDC_NEGATIVE, IDC_ADDITIVE, IDC_ALGORITHMIC, IDC_PLAIN};
    CheckDlgButton(dlg, IDC_POSITIVE, BST_CHECKED);
    CheckDlgButton(dlg, IDC_ADDITIVE, BST_CHECKED);
    CheckDlgButton(dlg, IDC_PLAIN, BST_CHECKED);
    EXPECT_TRUE(Rec().Only(WM_COMMAND).empty()) << "setting a check from code notifies nobody";

    struct Case {
        int click;
        std::map<int, int> expected;  // as the procedure sees them at WM_COMMAND
    };
    // clang-format off
    const Case cases[] = {
        // The blend pair is one group; the shape group and its plain radio are untouched.
        {IDC_NEGATIVE, {{IDC_POSITIVE, 0}, {IDC_NEGATIVE, 1}, {IDC_ADDITIVE, 1}, {IDC_ALGORITHMIC, 0}, {IDC_PLAIN, 1}}},
        {IDC_NEGATIVE, {{IDC_POSITIVE, 0}, {IDC_NEGATIVE, 1}, {IDC_ADDITIVE, 1}, {IDC_ALGORITHMIC, 0}, {IDC_PLAIN, 1}}},
        {IDC_POSITIVE, {{IDC_POSITIVE, 1}, {IDC_NEGATIVE, 0}, {IDC_ADDITIVE, 1}, {IDC_ALGORITHMIC, 0}, {IDC_PLAIN, 1}}},
        // An automatic radio leaves a plain radio of its run alone.
        {IDC_ALGORITHMIC, {{IDC_POSITIVE, 1}, {IDC_NEGATIVE, 0}, {IDC_ADDITIVE, 0}, {IDC_ALGORITHMIC, 1}, {IDC_PLAIN, 1}}},
        // A plain radio changes nothing by itself, not even its own check.
        {IDC_PLAIN, {{IDC_POSITIVE, 1}, {IDC_NEGATIVE, 0}, {IDC_ADDITIVE, 0}, {IDC_ALGORITHMIC, 1}, {IDC_PLAIN, 1}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.click);
        Rec().log.clear();
        Click(dlg, c.click);
        std::vector<Seen> commands = Rec().Only(WM_COMMAND);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].wParam, MAKEWPARAM(c.click, BN_CLICKED));
        EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), GetDlgItem(dlg, c.click));
        EXPECT_EQ(commands[0].checks, c.expected);
    }
    DestroyWindow(dlg);
}

TEST_F(ControlsTest, AutoCheckBoxesToggleBeforeNotifyingPlainOnesDoNot) {
    HWND dlg = Panel();
    Rec().watch = {IDC_INVERT, IDC_MANUAL};
    for (int expected : {1, 0, 1}) {
        Rec().log.clear();
        Click(dlg, IDC_INVERT);
        ASSERT_EQ(Rec().Only(WM_COMMAND).size(), 1u);
        EXPECT_EQ(Rec().Only(WM_COMMAND)[0].checks.at(IDC_INVERT), expected);
    }
    Rec().log.clear();
    Click(dlg, IDC_MANUAL);
    ASSERT_EQ(Rec().Only(WM_COMMAND).size(), 1u);
    EXPECT_EQ(Rec().Only(WM_COMMAND)[0].checks.at(IDC_MANUAL), 0);
    DestroyWindow(dlg);
}

TEST_F(ControlsTest, CheckStatesFollowTheButtonKind) {
    HWND dlg = Panel();
    // Push buttons and group boxes hold no check; two-state buttons cap at checked.
    CheckDlgButton(dlg, IDC_SWAP, BST_CHECKED);
    EXPECT_EQ(Checked(dlg, IDC_SWAP), 0);
    CheckDlgButton(dlg, IDC_MANUAL, BST_INDETERMINATE);
    EXPECT_EQ(Checked(dlg, IDC_MANUAL), 1);
    // Checking an automatic radio from code also clears its group, as Windows does.
    CheckDlgButton(dlg, IDC_POSITIVE, BST_CHECKED);
    CheckDlgButton(dlg, IDC_NEGATIVE, BST_CHECKED);
    EXPECT_EQ(Checked(dlg, IDC_POSITIVE), 0);
    EXPECT_EQ(Checked(dlg, IDC_NEGATIVE), 1);
    CheckRadioButton(dlg, IDC_ADDITIVE, IDC_PLAIN, IDC_PLAIN);
    EXPECT_EQ(Checked(dlg, IDC_ADDITIVE), 0);
    EXPECT_EQ(Checked(dlg, IDC_ALGORITHMIC), 0);
    EXPECT_EQ(Checked(dlg, IDC_PLAIN), 1);
    // A group box takes no click, and nothing was ever sent to the dialog.
    EXPECT_FALSE(loom::interact::Click(dlg, IDC_SETTINGS));
    SendDlgItemMessageA(dlg, IDC_SETTINGS, BM_CLICK, 0, 0);
    EXPECT_TRUE(Rec().Only(WM_COMMAND).empty());
    // A click pushes the button only while the mouse is down.
    HWND swap = GetDlgItem(dlg, IDC_SWAP);
    SendMessageA(swap, WM_LBUTTONDOWN, 0, 0);
    EXPECT_TRUE(SendMessageA(swap, BM_GETSTATE, 0, 0) & BST_PUSHED);
    EXPECT_TRUE(Rec().Only(WM_COMMAND).empty());
    SendMessageA(swap, WM_LBUTTONUP, 0, 0);
    EXPECT_FALSE(SendMessageA(swap, BM_GETSTATE, 0, 0) & BST_PUSHED);
    EXPECT_EQ(Rec().Only(WM_COMMAND).size(), 1u);
    SendMessageA(swap, WM_LBUTTONUP, 0, 0);  // a release without a press is no click
    EXPECT_EQ(Rec().Only(WM_COMMAND).size(), 1u);
    SendMessageA(swap, BM_CLICK, 0, 0);  // the message form of a whole click
    EXPECT_EQ(Rec().Only(WM_COMMAND).size(), 2u);
    DestroyWindow(dlg);
}

TEST_F(ControlsTest, TrackbarsClampAndKeepQuietWhenSetFromCode) {
    HWND dlg = Panel();
    HWND slider = GetDlgItem(dlg, IDC_SLIDER);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 100);
    SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(static_cast<WORD>(-20), 50));
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), -20);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 50);
    const std::pair<LPARAM, LRESULT> positions[] = {{22, 22}, {-40, -20}, {80, 50}, {0, 0}};
    for (auto [set, got] : positions) {
        SendMessageA(slider, TBM_SETPOS, TRUE, set);
        EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), got);
    }
    SendMessageA(slider, TBM_SETPOS, TRUE, 45);
    SendMessageA(slider, TBM_SETRANGEMAX, TRUE, 30);  // the position follows the range
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 30);
    SendMessageA(slider, TBM_SETRANGEMIN, TRUE, 31);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 30);
    EXPECT_EQ(SendMessageA(slider, TBM_SETPAGESIZE, 0, 10), 20);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPAGESIZE, 0, 0), 10);
    loom::PumpMessages();
    EXPECT_TRUE(Rec().Only(WM_HSCROLL, WM_VSCROLL).empty());
    DestroyWindow(dlg);
}

TEST_F(ControlsTest, StaticPicturesSwapImagesWithoutDeletingTheOldOne) {
    HWND dlg = Panel();
    HBITMAP loaded = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageA(dlg, IDC_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(loaded, nullptr);
    BITMAPINFOHEADER h;
    h.biWidth = 1;
    h.biHeight = 1;
    h.biBitCount = 24;
    HBITMAP first = CreateDIBitmap(nullptr, &h, 0, nullptr, nullptr, DIB_RGB_COLORS);
    HBITMAP second = CreateDIBitmap(nullptr, &h, 0, nullptr, nullptr, DIB_RGB_COLORS);
    EXPECT_EQ(reinterpret_cast<HBITMAP>(SendDlgItemMessageA(
                  dlg, IDC_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(first))),
              loaded);
    // The caller's order: set the new picture, then delete the one it replaced.
    HBITMAP old = reinterpret_cast<HBITMAP>(SendDlgItemMessageA(
        dlg, IDC_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(second)));
    EXPECT_EQ(old, first);
    BITMAP bm;
    EXPECT_NE(GetObjectA(old, sizeof bm, &bm), 0) << "the control deleted the old picture";
    EXPECT_TRUE(DeleteObject(old));
    loom::WindowNode node = loom::DescribeWindowTree(GetDlgItem(dlg, IDC_PICTURE));
    EXPECT_EQ(node.image, second);
    EXPECT_TRUE(node.imageLive);
    // Deleting what is on display leaves a stale handle the inspector reports as such.
    DeleteObject(second);
    node = loom::DescribeWindowTree(GetDlgItem(dlg, IDC_PICTURE));
    EXPECT_FALSE(node.imageLive);
    // Statics without SS_BITMAP take no picture.
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_READOUT, STM_SETIMAGE, IMAGE_BITMAP,
                                  reinterpret_cast<LPARAM>(loaded)),
              0);
    DestroyWindow(dlg);  // deletes the picture it loaded itself
}

TEST_F(ControlsTest, NotifyingStaticsAndDisabledState) {
    HWND dlg = Panel();
    SendMessageA(GetDlgItem(dlg, IDC_NOTIFY_LABEL), WM_LBUTTONDOWN, 0, 0);
    SendMessageA(GetDlgItem(dlg, IDC_READOUT), WM_LBUTTONDOWN, 0, 0);
    std::vector<Seen> commands = Rec().Only(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(IDC_NOTIFY_LABEL, STN_CLICKED));

    HWND swap = GetDlgItem(dlg, IDC_SWAP);
    EXPECT_FALSE(EnableWindow(swap, FALSE));  // was enabled
    EXPECT_TRUE(EnableWindow(swap, FALSE));   // was disabled
    EXPECT_FALSE(IsWindowEnabled(swap));
    EXPECT_EQ(GetWindowLongPtrA(swap, GWL_STYLE) & WS_DISABLED, static_cast<LONG_PTR>(WS_DISABLED));
    EXPECT_TRUE(EnableWindow(swap, TRUE));
    EXPECT_TRUE(IsWindowEnabled(swap));
    DestroyWindow(dlg);
}

TEST_F(ControlsTest, InspectorDescribesTheLiveTree) {
    HWND dlg = Panel();
    CheckDlgButton(dlg, IDC_NEGATIVE, BST_CHECKED);
    SendDlgItemMessageA(dlg, IDC_SLIDER, TBM_SETPOS, TRUE, 63);
    SendDlgItemMessageA(dlg, IDC_SLIDER, TBM_SETTICFREQ, 25, 0);
    SetDlgItemTextA(dlg, IDC_READOUT, "2.6 \xB7 \x80");
    EnableWindow(GetDlgItem(dlg, IDC_SWAP), FALSE);
    std::uint64_t before = loom::WindowSystemRevision();

    loom::WindowNode root = loom::DescribeWindowTree(dlg);
    EXPECT_EQ(root.hwnd, dlg);
    EXPECT_EQ(root.className, "#32770");
    EXPECT_EQ(root.dluCx, 217);
    const loom::DialogTemplate* t = loom::FindDialog(wintest::Instance(), IDD_PANEL);
    ASSERT_EQ(root.children.size(), t->controls.size());
    auto find = [&](int id) -> const loom::WindowNode& {
        for (const loom::WindowNode& c : root.children)
            if (c.id == id) return c;
        static loom::WindowNode none;
        return none;
    };
    EXPECT_EQ(find(IDC_NEGATIVE).check, 1);
    EXPECT_EQ(find(IDC_POSITIVE).check, 0);
    EXPECT_EQ(find(IDC_SWAP).check, -1);
    EXPECT_FALSE(find(IDC_SWAP).enabled);
    EXPECT_EQ(find(IDC_SWAP).className, "Button");
    ASSERT_TRUE(find(IDC_SLIDER).trackbar.has_value());
    EXPECT_EQ(find(IDC_SLIDER).trackbar->pos, 63);
    EXPECT_EQ(find(IDC_SLIDER).trackbar->ticFreq, 25);
    EXPECT_EQ(find(IDC_SLIDER).dluX, 21);
    EXPECT_FALSE(find(IDC_HIDDEN).visible);
    EXPECT_TRUE(find(IDC_PICTURE).imageLive);

    std::string json = loom::WindowTreeToJson(root);
    EXPECT_NE(json.find("\"class\":\"#32770\""), std::string::npos);
    EXPECT_NE(json.find("\"text\":\"2.6 \xC2\xB7 \xE2\x82\xAC\""), std::string::npos)
        << "Windows-1252 text is served as UTF-8";
    EXPECT_NE(json.find("\"trackbar\":{\"min\":0,\"max\":100,\"pos\":63"), std::string::npos);
    EXPECT_NE(json.find("\"dlu\":[12,108,25,24]"), std::string::npos);
    EXPECT_EQ(loom::DescribeWindowTree(nullptr).hwnd, nullptr);

    SendDlgItemMessageA(dlg, IDC_SLIDER, TBM_SETPOS, TRUE, 64);
    EXPECT_GT(loom::WindowSystemRevision(), before);
    DestroyWindow(dlg);
}

TEST(Cp1252, UndefinedBytesBecomeReplacementCharacters) {
    EXPECT_EQ(loom::Cp1252ToUtf8("A\x81\x9F\xFF"), "A\xEF\xBF\xBD\xC5\xB8\xC3\xBF");
}

}  // namespace

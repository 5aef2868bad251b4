// Dialogs built from templates, the dialog procedure's replies, the modal loop, painting
// through the pump, message ordering and stale handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/host/win32/win32.h"
#include "tests/win32/win32_test_support.h"

namespace {

using wintest::Instance;
using wintest::Rec;
using wintest::RecordingProc;
using wintest::Seen;
using wintest::WindowTest;

std::string Text(HWND h) {
    char buf[256];
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

RECT ParentRect(HWND h) {
    RECT r, p;
    GetWindowRect(h, &r);
    POINT o{0, 0};
    ClientToScreen(GetParent(h), &o);
    p = RECT{r.left - o.x, r.top - o.y, r.right - o.x, r.bottom - o.y};
    return p;
}

using DialogTest = WindowTest;

TEST_F(DialogTest, TemplateBuildsOneChildPerControlAndInitialisesWithItsParameter) {
    HWND dlg = Panel(IDD_PANEL, 4242);
    ASSERT_NE(dlg, nullptr);
    ASSERT_FALSE(Rec().log.empty());
    const Seen& init = Rec().log.front();
    EXPECT_EQ(init.msg, WM_INITDIALOG) << "the procedure sees nothing before WM_INITDIALOG";
    EXPECT_EQ(init.lParam, 4242);
    // The first enabled, visible tab stop is offered for the focus and takes it.
    EXPECT_EQ(reinterpret_cast<HWND>(init.wParam), GetDlgItem(dlg, IDC_SWAP));
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_SWAP));

    const loom::DialogTemplate* t = loom::FindDialog(Instance(), IDD_PANEL);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(loom::WindowCount(), windows + 2 + static_cast<int>(t->controls.size()));
    for (const loom::DialogControl& c : t->controls) {
        if (c.id < 0) continue;
        SCOPED_TRACE(c.id);
        HWND h = GetDlgItem(dlg, c.id);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetParent(h), dlg);
        EXPECT_EQ(GetDlgCtrlID(h), c.id);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(h, GWL_STYLE)), c.style);
        if (c.textOrdinal < 0) {
            EXPECT_EQ(Text(h), c.text);
        }
        short x, y, cx, cy;
        ASSERT_TRUE(loom::GetDialogUnitRect(h, &x, &y, &cx, &cy));
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(cy, c.cy);
    }
    // 8-point font: 6 by 13 pixels per 4 by 8 dialog units, rounded to nearest.
    EXPECT_EQ(ParentRect(GetDlgItem(dlg, IDC_SWAP)), (RECT{18, 176, 56, 215}));
    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(client, (RECT{0, 0, 326, 260}));
    RECT mapped{12, 108, 37, 132};
    ASSERT_TRUE(MapDialogRect(dlg, &mapped));
    EXPECT_EQ(mapped, (RECT{18, 176, 56, 215}));

    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, IDC_HIDDEN)));
    EXPECT_TRUE(IsWindowVisible(dlg));
    // The picture static named by number loaded that bitmap from the module.
    HBITMAP shown = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageA(dlg, IDC_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
    loom::BitmapPixels px;
    ASSERT_TRUE(loom::ReadBitmap(shown, &px));
    EXPECT_EQ(px.width, 4);
    EXPECT_EQ(px.height, 2);
    EXPECT_EQ(px.rgba[4 * 1 + 1], 255);  // second pixel green
    DestroyWindow(dlg);
}

TEST_F(DialogTest, TemplatesAreFoundByNumberOrByHashNameAndFailCleanly) {
    HWND byName = CreateDialogParamA(Instance(), "#1038", owner, RecordingProc, 0);
    EXPECT_NE(byName, nullptr);
    DestroyWindow(byName);
    int before = loom::WindowCount();
    EXPECT_EQ(CreateDialogParamA(Instance(), "IDD_PANEL", owner, RecordingProc, 0), nullptr);
    EXPECT_EQ(CreateDialogParamA(Instance(), MAKEINTRESOURCEA(999), owner, RecordingProc, 0),
              nullptr);
    EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_PANEL), owner, RecordingProc, 0),
              nullptr);
    // A control of an unknown class fails the whole dialog and leaves no window.
    EXPECT_EQ(
        CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_BAD_CLASS), owner, RecordingProc, 0),
        nullptr);
    EXPECT_EQ(DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_BAD_CLASS), owner, RecordingProc, 0),
              -1);
    EXPECT_EQ(loom::WindowCount(), before);
    // A child template needs a parent.
    EXPECT_EQ(
        CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_PANEL), nullptr, RecordingProc, 0),
        nullptr);
}

TEST_F(DialogTest, HandledMessagesReplyThroughMsgResult) {
    HWND dlg = Panel();
    Rec().also = [](HWND h, UINT msg, WPARAM, LPARAM) {
        if (msg == WM_USER + 7) SetWindowLongPtrA(h, DWLP_MSGRESULT, 99);
    };
    Rec().replies[WM_USER + 7] = TRUE;
    Rec().replies[WM_USER + 8] = 55;  // handled without setting a reply: answers 0
    EXPECT_EQ(SendMessageA(dlg, WM_USER + 7, 0, 0), 99);
    EXPECT_EQ(SendMessageA(dlg, WM_USER + 8, 0, 0), 0);
    EXPECT_EQ(SendMessageA(dlg, WM_USER + 9, 0, 0), 0);
    // Default processing answers DM_GETDEFID when the procedure does not.
    DestroyWindow(dlg);
}

TEST_F(DialogTest, PaintsAreCoalescedAndComeFromThePumpAfterPostedMessages) {
    HWND dlg = Panel();
    loom::PumpMessages();  // the first paint of the new dialog and its controls
    Rec().log.clear();
    InvalidateRect(dlg, nullptr, FALSE);
    RECT part{10, 10, 20, 20};
    InvalidateRect(dlg, &part, FALSE);
    PostMessageA(dlg, WM_USER + 1, 0, 0);
    InvalidateRect(dlg, nullptr, FALSE);
    EXPECT_TRUE(Rec().log.empty()) << "InvalidateRect sent something";
    EXPECT_TRUE(GetUpdateRect(dlg, nullptr, FALSE));
    loom::PumpMessages();
    EXPECT_EQ(Rec().Messages(), (std::vector<UINT>{WM_USER + 1, WM_PAINT}));
    // The procedure answered 0; default processing validated, so nothing is left.
    EXPECT_FALSE(GetUpdateRect(dlg, nullptr, FALSE));
    Rec().log.clear();
    EXPECT_EQ(loom::PumpMessages(), 0);
    EXPECT_TRUE(Rec().log.empty());

    // An erase request brings WM_ERASEBKGND inside the paint.
    InvalidateRect(dlg, nullptr, TRUE);
    loom::PumpMessages();
    EXPECT_EQ(Rec().Messages(), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));

    // A validated window is not painted; UpdateWindow paints at once.
    Rec().log.clear();
    InvalidateRect(dlg, nullptr, FALSE);
    ValidateRect(dlg, nullptr);
    EXPECT_EQ(loom::PumpMessages(), 0);
    InvalidateRect(dlg, nullptr, FALSE);
    UpdateWindow(dlg);
    EXPECT_EQ(Rec().Messages(), (std::vector<UINT>{WM_PAINT}));
    EXPECT_EQ(loom::PumpMessages(), 0);
    DestroyWindow(dlg);
}

TEST_F(DialogTest, APainterThatValidatesGetsTheUnionOfItsInvalidations) {
    HWND dlg = Panel();
    loom::PumpMessages();
    Rec().log.clear();
    RECT painted{};
    Rec().also = [&](HWND h, UINT msg, WPARAM, LPARAM) {
        if (msg != WM_PAINT) return;
        PAINTSTRUCT ps;
        BeginPaint(h, &ps);
        painted = ps.rcPaint;
        EndPaint(h, &ps);
    };
    Rec().replies[WM_PAINT] = TRUE;
    RECT a{10, 20, 30, 40}, b{5, 30, 15, 60};
    InvalidateRect(dlg, &a, FALSE);
    InvalidateRect(dlg, &b, FALSE);
    loom::PumpMessages();
    EXPECT_EQ(painted, (RECT{5, 20, 30, 60}));
    EXPECT_EQ(Rec().Only(WM_PAINT).size(), 1u);
    DestroyWindow(dlg);
}

TEST_F(DialogTest, HiddenWindowsArePaintedWhenShown) {
    HWND dlg = Panel();
    loom::PumpMessages();
    ShowWindow(dlg, SW_HIDE);
    Rec().log.clear();
    InvalidateRect(dlg, nullptr, FALSE);
    EXPECT_EQ(loom::PumpMessages(), 0);
    ShowWindow(dlg, SW_SHOW);
    loom::PumpMessages();
    EXPECT_EQ(Rec().Messages(), (std::vector<UINT>{WM_SHOWWINDOW, WM_PAINT, WM_ERASEBKGND}));
    DestroyWindow(dlg);
}

TEST_F(DialogTest, PostedMessagesWaitWhileSentOnesRunAtOnce) {
    HWND dlg = Panel();
    loom::PumpMessages();
    Rec().log.clear();
    Rec().also = [](HWND h, UINT msg, WPARAM, LPARAM) {
        if (msg != WM_USER + 1) return;
        PostMessageA(h, WM_USER + 2, 0, 0);
        SendMessageA(h, WM_USER + 3, 0, 0);
    };
    SendMessageA(dlg, WM_USER + 1, 0, 0);
    EXPECT_EQ(Rec().Messages(), (std::vector<UINT>{WM_USER + 1, WM_USER + 3}));
    EXPECT_EQ(loom::PumpMessages(), 1);
    EXPECT_EQ(Rec().Messages(), (std::vector<UINT>{WM_USER + 1, WM_USER + 3, WM_USER + 2}));
    DestroyWindow(dlg);
}

TEST_F(DialogTest, TextHelpersCopyTruncateAndParse) {
    HWND dlg = Panel();
    EXPECT_TRUE(SetDlgItemTextA(dlg, IDC_READOUT, "2.6"));
    char buf[3];
    EXPECT_EQ(GetDlgItemTextA(dlg, IDC_READOUT, buf, sizeof buf), 2u);
    EXPECT_STREQ(buf, "2.");
    EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(dlg, IDC_READOUT)), 3);
    BOOL ok = FALSE;
    SetDlgItemInt(dlg, IDC_TEXT, static_cast<UINT>(-75), TRUE);
    EXPECT_EQ(static_cast<int>(GetDlgItemInt(dlg, IDC_TEXT, &ok, TRUE)), -75);
    EXPECT_TRUE(ok);
    GetDlgItemInt(dlg, IDC_TEXT, &ok, FALSE);
    EXPECT_FALSE(ok);
    SetDlgItemTextA(dlg, IDC_TEXT, "12x");
    GetDlgItemInt(dlg, IDC_TEXT, &ok, TRUE);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(SetDlgItemTextA(dlg, 4711, "none"));
    EXPECT_EQ(GetDlgItemTextA(dlg, 4711, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    DestroyWindow(dlg);
}

TEST_F(DialogTest, StaleHandlesFailEverywhere) {
    HWND dlg = Panel();
    HWND swap = GetDlgItem(dlg, IDC_SWAP);
    DestroyWindow(dlg);
    EXPECT_FALSE(IsWindow(swap));
    EXPECT_EQ(GetDlgItem(dlg, IDC_SWAP), nullptr);
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_SWAP, BM_GETSTATE, 0, 0), 0);
    EXPECT_FALSE(SetDlgItemTextA(dlg, IDC_READOUT, "x"));
    EXPECT_FALSE(EndDialog(dlg, 1));
    EXPECT_FALSE(InvalidateRect(dlg, nullptr, FALSE));
    EXPECT_FALSE(EnableWindow(swap, FALSE));
    EXPECT_FALSE(IsWindowEnabled(swap));
    EXPECT_FALSE(SetWindowTextA(swap, "x"));
    RECT r;
    EXPECT_FALSE(GetWindowRect(swap, &r));
    EXPECT_EQ(GetDC(dlg), nullptr);
    EXPECT_EQ(SetFocus(swap), nullptr);
    EXPECT_EQ(GetFocus(), nullptr) << "the focus died with its window";
    EXPECT_FALSE(EndDialog(owner, 1)) << "not a dialog";
}

TEST_F(DialogTest, ModalLoopRunsTheHookAndReturnsTheEndDialogResult) {
    int idleCalls = 0;
    bool ownerDisabled = false;
    loom::SetModalIdleHook([&](HWND dlg) {
        ++idleCalls;
        ownerDisabled = !IsWindowEnabled(owner);
        EXPECT_TRUE(IsWindowVisible(dlg)) << "a modal dialog is shown before it waits";
        EXPECT_EQ(GetParent(dlg), owner);
        EndDialog(dlg, 77);
        return true;
    });
    EXPECT_EQ(DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_MODAL), owner, RecordingProc, 5),
              77);
    EXPECT_EQ(idleCalls, 1);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
    EXPECT_EQ(Rec().log.front().lParam, 5);
    // Popup templates are placed from the owner's client area; frame and caption add to the
    // template's client size (268 x 190 units).
    EXPECT_EQ(Rec().Only(WM_INITDIALOG).size(), 1u);
}

TEST_F(DialogTest, ModalDialogClosedByItsCloseBoxAnswersCancel) {
    RECT frame{};
    loom::SetModalIdleHook([&](HWND dlg) {
        GetWindowRect(dlg, &frame);
        SendMessageA(dlg, WM_CLOSE, 0, 0);  // posts IDCANCEL; the loop dispatches it
        return true;
    });
    EXPECT_EQ(DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_MODAL), owner, RecordingProc, 0),
              IDCANCEL);
    std::vector<Seen> commands = Rec().Only(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    EXPECT_NE(commands[0].lParam, 0) << "the Cancel button's window";
    EXPECT_EQ(frame.left, 100);
    EXPECT_EQ(frame.right - frame.left, 402 + 2 * 3);
    EXPECT_EQ(frame.bottom - frame.top, 309 + 18 + 2 * 3);
}

TEST_F(DialogTest, EndDialogDuringInitialisationSkipsTheLoop) {
    Rec().also = [](HWND h, UINT msg, WPARAM, LPARAM) {
        if (msg == WM_INITDIALOG) EndDialog(h, 3);
    };
    bool hookCalled = false;
    loom::SetModalIdleHook([&](HWND) { return hookCalled = true; });
    EXPECT_EQ(DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_MODAL), owner, RecordingProc, 0), 3);
    EXPECT_FALSE(hookCalled);
    EXPECT_EQ(DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_MODAL), owner, RecordingProc, 0), 3);
    // An owner that is not a window: 0, and no dialog.
    HWND gone =
        CreateWindowExA(0, "WinTestOwner", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    EXPECT_EQ(DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_MODAL), gone, RecordingProc, 0), 0);
}

TEST_F(DialogTest, DefaultButtonComesFromTheTemplateOrDmSetDefId) {
    HWND dlg = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_MODAL), owner, RecordingProc, 0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(SendMessageA(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    SendMessageA(dlg, DM_SETDEFID, IDCANCEL, 0);
    EXPECT_EQ(SendMessageA(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(IDCANCEL, DC_HASDEFID));
    EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(dlg, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(dlg, IDCANCEL), GWL_STYLE) & BS_TYPEMASK,
              BS_DEFPUSHBUTTON);
    // A modeless dialog that ends is hidden, not destroyed.
    EXPECT_TRUE(EndDialog(dlg, 1));
    EXPECT_TRUE(IsWindow(dlg));
    EXPECT_FALSE(IsWindowVisible(dlg));
    DestroyWindow(dlg);
    HWND plain =
        CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_PLAIN_MODAL), owner, RecordingProc, 0);
    EXPECT_EQ(SendMessageA(plain, DM_GETDEFID, 0, 0), 0);
    EXPECT_FALSE(IsWindowVisible(plain)) << "template without WS_VISIBLE";
    DestroyWindow(plain);
}

TEST_F(DialogTest, DisabledCancelButtonKeepsTheDialogOpenOnClose) {
    HWND dlg = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_MODAL), owner, RecordingProc, 0);
    EnableWindow(GetDlgItem(dlg, IDCANCEL), FALSE);
    SendMessageA(dlg, WM_CLOSE, 0, 0);
    loom::PumpMessages();
    EXPECT_TRUE(Rec().Only(WM_COMMAND).empty());
    EnableWindow(GetDlgItem(dlg, IDCANCEL), TRUE);
    SendMessageA(dlg, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Rec().Only(WM_COMMAND).empty()) << "posted, not sent";
    loom::PumpMessages();
    EXPECT_EQ(Rec().Only(WM_COMMAND).size(), 1u);
    DestroyWindow(dlg);
}

}  // namespace

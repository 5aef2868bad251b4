// The rollup panels' shared dialog procedure: which panel gets a message, its active flag
// around the call, and a handler that throws.
#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/host/ui/panel_dialog.h"
#include "tests/win32/win32_test_support.h"

namespace {

constexpr UINT kThrow = WM_USER + 7;
constexpr UINT kAnswer = WM_USER + 8;

class FakePanel {
  public:
    HWND hPanel_ = nullptr;
    int active_ = 0;  // an int, as a texture panel keeps it
    int calls = 0;
    int activeDuringCall = -1;

    INT_PTR PanelProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
        ++calls;
        activeDuringCall = active_;
        if (msg == kThrow) throw std::runtime_error("handler failed");
        return msg == kAnswer ? static_cast<INT_PTR>(wParam) : 0;
    }
};

using PanelDialogTest = wintest::WindowTest;

TEST_F(PanelDialogTest, MessagesReachThePanelGivenAtInitWithItsFlagSetMeanwhile) {
    static_assert(noexcept(loom::PanelDialogProc<FakePanel>(nullptr, 0, 0, 0)));
    HWND dlg = Panel();
    ASSERT_NE(dlg, nullptr);
    FakePanel panel;
    // Before WM_INITDIALOG the window knows no panel: nothing is called.
    SetWindowLongPtrA(dlg, GWLP_USERDATA, 0);
    EXPECT_EQ(loom::PanelDialogProc<FakePanel>(dlg, kAnswer, 5, 0), 0);
    EXPECT_EQ(panel.calls, 0);

    loom::PanelDialogProc<FakePanel>(dlg, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&panel));
    EXPECT_EQ(panel.hPanel_, dlg);
    EXPECT_EQ(panel.calls, 1);
    EXPECT_EQ(loom::PanelDialogProc<FakePanel>(dlg, kAnswer, 5, 0), 5);
    EXPECT_EQ(panel.calls, 2);
    EXPECT_EQ(panel.activeDuringCall, 1);
    EXPECT_EQ(panel.active_, 0);

    // A throwing handler answers 0 and leaves the panel inactive; the next message works.
    EXPECT_EQ(loom::PanelDialogProc<FakePanel>(dlg, kThrow, 0, 0), 0);
    EXPECT_EQ(panel.active_, 0);
    EXPECT_EQ(loom::PanelDialogProc<FakePanel>(dlg, kAnswer, 9, 0), 9);

    // A panel that detached (user data cleared) gets nothing more.
    SetWindowLongPtrA(dlg, GWLP_USERDATA, 0);
    const int before = panel.calls;
    EXPECT_EQ(loom::PanelDialogProc<FakePanel>(dlg, kAnswer, 3, 0), 0);
    EXPECT_EQ(panel.calls, before);
}

}  // namespace

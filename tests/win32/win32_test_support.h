#pragma once
// What the window-system tests share: this program's module handle (its resources are the
// test dialogs), a dialog procedure that records every message, and a fixture that checks
// that no window, bitmap or device context is left behind.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "foundation/host/ui/controls.h"
#include "foundation/host/win32/resources.h"
#include "foundation/host/win32/win32.h"
#include "tests/win32/data/resource.h"

namespace wintest {

inline HINSTANCE Instance() {
    static const char anchor = 0;
    return loom::ModuleHandleForAddress(&anchor);
}

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    /// Check states (GetCheckBox) of the watched controls, read when the
    /// message arrived: what the procedure would see if it read them.
    std::map<int, int> checks;
};

/// The recording procedure's log and its behaviour.
struct Recorder {
    std::vector<Seen> log;
    std::vector<int> watch;  ///< control IDs whose check state is read at each WM_COMMAND
    /// Answers for messages the test wants handled; messages not listed answer 0.
    std::map<UINT, INT_PTR> replies;
    /// End a modal dialog on WM_COMMAND from IDOK / IDCANCEL with that ID.
    bool endOnOkCancel = true;
    /// Called for every message after it is recorded.
    std::function<void(HWND, UINT, WPARAM, LPARAM)> also;

    std::vector<UINT> Messages() const {
        std::vector<UINT> out;
        for (const Seen& s : log) out.push_back(s.msg);
        return out;
    }
    /// The messages of `log` whose number lies in [lo, hi].
    std::vector<Seen> Only(UINT lo, UINT hi) const {
        std::vector<Seen> out;
        for (const Seen& s : log)
            if (s.msg >= lo && s.msg <= hi) out.push_back(s);
        return out;
    }
    std::vector<Seen> Only(UINT msg) const { return Only(msg, msg); }
};

inline Recorder& Rec() {
    static Recorder r;
    return r;
}

inline INT_PTR RecordingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    Seen s{h, msg, w, l, {}};
    if (msg == WM_COMMAND) {
        for (int id : Rec().watch) s.checks[id] = GetCheckBox(h, id);
    }
    Rec().log.push_back(s);
    if (Rec().also) Rec().also(h, msg, w, l);
    if (msg == WM_COMMAND && Rec().endOnOkCancel && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
        EndDialog(h, LOWORD(w));
        return TRUE;
    }
    auto it = Rec().replies.find(msg);
    if (it != Rec().replies.end()) return it->second;
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

/// Registers the controls, gives every test an empty recorder and an owner window, and
/// checks at the end that nothing was left behind.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(Instance(), nullptr);
        InitCommonControls();
        InitCustomControls(Instance());
        loom::PumpMessages();
        Rec() = Recorder{};
        windows = loom::WindowCount();
        bitmaps = loom::GdiObjectCount();
        lists = loom::ImageListCount();
        dcs = loom::DeviceContextCount();
        refs = loom::CustomControlReferences();
        WNDCLASSA wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "WinTestOwner";
        RegisterClassA(&wc);  // fails harmlessly after the first test
        owner = CreateWindowExA(0, "WinTestOwner", "Owner", WS_VISIBLE, 100, 100, 800, 600, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override {
        DestroyWindow(owner);
        loom::PumpMessages();
        loom::SetModalIdleHook(nullptr);
        EXPECT_EQ(loom::WindowCount(), windows) << "a window was left behind";
        EXPECT_EQ(loom::GdiObjectCount(), bitmaps) << "a bitmap was left behind";
        EXPECT_EQ(loom::ImageListCount(), lists) << "an image list was left behind";
        EXPECT_EQ(loom::DeviceContextCount(), dcs) << "a device context was left behind";
        EXPECT_EQ(loom::CustomControlReferences(), refs) << "a control interface was kept";
    }

    HWND Panel(int id = IDD_PANEL, LPARAM init = 0) {
        return CreateDialogParamA(Instance(), MAKEINTRESOURCEA(id), owner, RecordingProc, init);
    }

    HWND owner = nullptr;
    int windows = 0;
    int bitmaps = 0;
    int lists = 0;
    int dcs = 0;
    int refs = 0;
};

}  // namespace wintest

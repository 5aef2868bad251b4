// The host's window basics: procedures, synchronous sends, the posted queue and its pump,
// window data, destruction, stale handles and the one-thread rule.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/host/win32/win32.h"

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM w;
    LPARAM l;
};

std::vector<Seen>& Log() {
    static std::vector<Seen> log;
    return log;
}

LRESULT RecordingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    Log().push_back({h, m, w, l});
    switch (m) {
        case WM_CREATE: {
            auto* cs = reinterpret_cast<CREATESTRUCTA*>(l);
            SetWindowLongPtr(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
            return 0;
        }
        case WM_USER + 1:
            return static_cast<LRESULT>(w + 100);
        case WM_USER + 2:  // destroys itself while handling a message
            DestroyWindow(h);
            return 7;
        default:
            return DefWindowProc(h, m, w, l);
    }
}

LRESULT RefusingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    Log().push_back({h, m, w, l});
    return m == WM_CREATE ? -1 : DefWindowProc(h, m, w, l);
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        Log().clear();
        WNDCLASSA wc;
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "LoomTestRecorder";
        ASSERT_NE(RegisterClassA(&wc), 0);
        wc.lpfnWndProc = RefusingProc;
        wc.lpszClassName = "LoomTestRefuser";
        ASSERT_NE(RegisterClassA(&wc), 0);
        before = loom::WindowCount();
    }
    void TearDown() override {
        EXPECT_EQ(loom::WindowCount(), before) << "a window was left behind";
        EXPECT_TRUE(UnregisterClassA("LoomTestRecorder", nullptr));
        EXPECT_TRUE(UnregisterClassA("LoomTestRefuser", nullptr));
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE) && m.message != WM_QUIT) {
        }
    }
    HWND Make(void* param = nullptr, HWND parent = nullptr, DWORD style = 0) {
        return CreateWindowExA(0, "loomtestrecorder", "title", style, 0, 0, 10, 10, parent, nullptr,
                               nullptr, param);
    }
    std::vector<UINT> Messages(HWND h) {
        std::vector<UINT> out;
        for (const Seen& s : Log())
            if (s.hwnd == h) out.push_back(s.msg);
        return out;
    }
    int before = 0;
};

}  // namespace

TEST_F(Windows, CreationCarriesItsParameterAndSendsAreSynchronous) {
    int payload = 5;
    HWND h = Make(&payload);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(IsWindow(h));
    EXPECT_EQ(Messages(h), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(reinterpret_cast<int*>(GetWindowLongPtr(h, GWLP_USERDATA)), &payload);
    EXPECT_EQ(SendMessage(h, WM_USER + 1, 23, 0), 123);
    EXPECT_EQ(Log().back().msg, WM_USER + 1u);
    EXPECT_EQ(SetWindowLongPtr(h, GWLP_USERDATA, 42), reinterpret_cast<LONG_PTR>(&payload));
    EXPECT_EQ(GetWindowLongPtr(h, GWLP_USERDATA), 42);
    EXPECT_EQ(GetWindowLongPtr(h, 12345), 0);
    EXPECT_TRUE(DestroyWindow(h));
}

TEST_F(Windows, PostedMessagesWaitForThePumpInOrder) {
    HWND h = Make();
    size_t logged = Log().size();
    ASSERT_TRUE(PostMessage(h, WM_USER + 1, 1, 0));
    ASSERT_TRUE(PostMessage(h, WM_USER + 3, 2, 0));
    ASSERT_TRUE(PostMessage(nullptr, WM_USER + 4, 3, 0));  // to the thread itself
    EXPECT_EQ(Log().size(), logged);                       // nothing delivered yet
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 2u);
    PostQuitMessage(9);
    std::vector<WPARAM> order;
    while (GetMessage(&m, nullptr, 0, 0)) {
        order.push_back(m.wParam);
        DispatchMessage(&m);
    }
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 9u);
    EXPECT_EQ(order, (std::vector<WPARAM>{1, 2, 3}));
    EXPECT_EQ(Messages(h).size(), 4u);  // two create messages and the two posted to it
    EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(h);
}

TEST_F(Windows, DestructionReachesChildrenAndLeavesStaleHandles) {
    HWND parent = Make();
    HWND child = Make(nullptr, parent, 0x40000000u /* WS_CHILD */);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), parent);
    PostMessage(child, WM_USER + 1, 0, 0);
    Log().clear();
    ASSERT_TRUE(DestroyWindow(parent));
    std::vector<std::pair<HWND, UINT>> seen;
    for (const Seen& s : Log()) seen.emplace_back(s.hwnd, s.msg);
    EXPECT_EQ(seen, (std::vector<std::pair<HWND, UINT>>{{parent, WM_DESTROY},
                                                        {child, WM_DESTROY},
                                                        {child, WM_NCDESTROY},
                                                        {parent, WM_NCDESTROY}}));
    Log().clear();
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(SendMessage(child, WM_USER + 1, 1, 0), 0);
    EXPECT_FALSE(PostMessage(parent, WM_USER + 1, 0, 0));
    EXPECT_FALSE(DestroyWindow(parent));
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));  // posted before the end
    EXPECT_EQ(DispatchMessage(&m), 0);
    EXPECT_TRUE(Log().empty()) << "a procedure ran for a destroyed window";
    HWND again = Make();
    EXPECT_NE(again, parent);
    EXPECT_NE(again, child);
    DestroyWindow(again);
}

TEST_F(Windows, AProcedureMayDestroyItsOwnWindow) {
    HWND h = Make();
    EXPECT_EQ(SendMessage(h, WM_USER + 2, 0, 0), 7);
    EXPECT_FALSE(IsWindow(h));
    HWND closing = Make();
    SendMessage(closing, WM_CLOSE, 0, 0);  // default processing destroys
    EXPECT_FALSE(IsWindow(closing));
}

TEST_F(Windows, RefusedCreationLeavesNoWindow) {
    HWND h = CreateWindowExA(0, "LoomTestRefuser", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                             nullptr);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(Log().back().msg, WM_NCDESTROY);
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
}

TEST_F(Windows, ClassesAreUniqueAndStayWhileWindowsLive) {
    WNDCLASSA wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "LOOMTESTRECORDER";
    EXPECT_EQ(RegisterClassA(&wc), 0);  // names compare without case
    wc.lpfnWndProc = nullptr;
    wc.lpszClassName = "LoomTestNoProc";
    EXPECT_EQ(RegisterClassA(&wc), 0);
    HWND h = Make();
    EXPECT_FALSE(UnregisterClassA("LoomTestRecorder", nullptr));
    DestroyWindow(h);
}

TEST_F(Windows, OtherThreadsMayOnlyPost) {
    HWND h = Make();
    LRESULT sent = -1;
    LONG_PTR data = -1;
    BOOL destroyed = TRUE;
    BOOL posted = FALSE;
    size_t logged = Log().size();
    std::thread other([&] {
        sent = SendMessage(h, WM_USER + 1, 1, 0);
        data = SetWindowLongPtr(h, GWLP_USERDATA, 99);
        destroyed = DestroyWindow(h);
        posted = PostMessage(h, WM_USER + 1, 5, 0);
    });
    other.join();
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(data, 0);
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(posted);
    EXPECT_EQ(Log().size(), logged) << "a procedure ran on a foreign thread";
    EXPECT_TRUE(IsWindow(h));
    MSG m;
    ASSERT_TRUE(GetMessage(&m, h, 0, 0));
    EXPECT_EQ(DispatchMessage(&m), 105);
    DestroyWindow(h);
}

TEST_F(Windows, GetMessageWaitsForAPostFromAnotherThread) {
    HWND h = Make();
    std::thread other([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostMessage(h, WM_USER + 1, 8, 0);
    });
    MSG m;
    ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
    other.join();
    EXPECT_EQ(m.hwnd, h);
    EXPECT_EQ(m.wParam, 8u);
    DestroyWindow(h);
}

#include "foundation/host/win32.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

struct Window {
    HWND handle = nullptr;
    std::thread::id owner;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HWND parent = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::string className;  // lower case
    std::vector<HWND> children;
    bool destroying = false;
};

struct ClassRecord {
    WNDCLASSA wc;
    std::string name;  // as registered
    int windows = 0;
};

struct Queue {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<MSG> messages;
    bool quit = false;
    int quitCode = 0;
};

// One table for the process. Its lock is held only to look records up or change them,
// never while a window procedure runs, so procedures may call back in freely.
struct System {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::unique_ptr<Window>> windows;
    std::map<std::string, ClassRecord> classes;
    std::unordered_map<std::thread::id, std::shared_ptr<Queue>> queues;
    std::uintptr_t nextHandle = 0x10000;
    ATOM nextAtom = 0xC000;
};

// Leaked on purpose: windows may be destroyed from static destructors of other modules.
System& Sys() {
    static System* s = new System;
    return *s;
}

std::string Lower(const char* s) {
    std::string out = s ? s : "";
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::uintptr_t Key(HWND h) { return reinterpret_cast<std::uintptr_t>(h); }

// Caller holds the lock.
Window* FindLocked(HWND h) {
    auto it = Sys().windows.find(Key(h));
    return it == Sys().windows.end() ? nullptr : it->second.get();
}

// Caller holds the lock. The window if it exists and belongs to the calling thread.
Window* OwnLocked(HWND h) {
    Window* w = FindLocked(h);
    return w && w->owner == std::this_thread::get_id() ? w : nullptr;
}

std::shared_ptr<Queue> QueueOf(std::thread::id thread) {
    auto& q = Sys().queues[thread];
    if (!q) q = std::make_shared<Queue>();
    return q;
}

// Drops the calling thread's queue when the thread ends, so that a later thread that
// happens to get the same id starts with an empty queue.
struct QueueReaper {
    bool armed = false;
    ~QueueReaper() {
        if (!armed) return;
        std::lock_guard lock(Sys().mutex);
        Sys().queues.erase(std::this_thread::get_id());
    }
};

// Caller holds the lock.
std::shared_ptr<Queue> OwnQueueLocked() {
    thread_local QueueReaper reaper;
    reaper.armed = true;
    return QueueOf(std::this_thread::get_id());
}

WNDPROC ProcOf(HWND h) {
    std::lock_guard lock(Sys().mutex);
    Window* w = OwnLocked(h);
    return w ? w->proc : nullptr;
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
    if (hwnd && m.hwnd != hwnd) return false;
    if ((lo != 0 || hi != 0) && (m.message < lo || m.message > hi)) return false;
    return true;
}

DWORD Now() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Takes (or copies) the first matching message of `q`, whose lock the caller holds.
bool TakeLocked(Queue& q, MSG* msg, HWND hwnd, UINT lo, UINT hi, bool remove) {
    for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
        if (!Matches(*it, hwnd, lo, hi)) continue;
        *msg = *it;
        if (remove) q.messages.erase(it);
        return true;
    }
    if (q.quit) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(q.quitCode);
        msg->time = Now();
        if (remove) q.quit = false;
        return true;
    }
    return false;
}

void DestroyTree(HWND h) {
    std::vector<HWND> children;
    {
        std::lock_guard lock(Sys().mutex);
        Window* w = OwnLocked(h);
        if (!w || w->destroying) return;
        w->destroying = true;
    }
    SendMessageA(h, WM_DESTROY, 0, 0);
    {
        std::lock_guard lock(Sys().mutex);
        if (Window* w = OwnLocked(h)) children = w->children;
    }
    for (HWND c : children) DestroyTree(c);
    SendMessageA(h, WM_NCDESTROY, 0, 0);
    std::lock_guard lock(Sys().mutex);
    auto it = Sys().windows.find(Key(h));
    if (it == Sys().windows.end()) return;
    Window& w = *it->second;
    if (Window* p = FindLocked(w.parent)) {
        auto& sib = p->children;
        sib.erase(std::remove(sib.begin(), sib.end(), h), sib.end());
    }
    auto cls = Sys().classes.find(w.className);
    if (cls != Sys().classes.end()) --cls->second.windows;
    Sys().windows.erase(it);
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || !*wc->lpszClassName) return 0;
    std::string key = Lower(wc->lpszClassName);
    std::lock_guard lock(Sys().mutex);
    if (Sys().classes.count(key)) return 0;
    ClassRecord rec{*wc, wc->lpszClassName, 0};
    rec.wc.lpszClassName = nullptr;  // the caller's text need not outlive the call
    rec.wc.lpszMenuName = nullptr;
    Sys().classes.emplace(key, std::move(rec));
    return Sys().nextAtom++;
}

BOOL UnregisterClassA(const char* className, HINSTANCE instance) {
    std::lock_guard lock(Sys().mutex);
    auto it = Sys().classes.find(Lower(className));
    if (it == Sys().classes.end() || it->second.wc.hInstance != instance ||
        it->second.windows > 0) {
        return FALSE;
    }
    Sys().classes.erase(it);
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, HMENU menu,
                     HINSTANCE instance, LPVOID param) {
    HWND handle = nullptr;
    {
        std::lock_guard lock(Sys().mutex);
        std::string key = Lower(className);
        auto cls = Sys().classes.find(key);
        if (cls == Sys().classes.end()) return nullptr;
        Window* p = nullptr;
        if (parent && !(p = OwnLocked(parent))) return nullptr;
        auto w = std::make_unique<Window>();
        handle = reinterpret_cast<HWND>(Sys().nextHandle);
        Sys().nextHandle += 4;
        w->handle = handle;
        w->owner = std::this_thread::get_id();
        w->proc = cls->second.wc.lpfnWndProc;
        w->instance = instance;
        w->parent = parent;
        w->id = reinterpret_cast<LONG_PTR>(menu);
        w->className = key;
        if (p) p->children.push_back(handle);
        OwnQueueLocked();  // posts to the window need a queue that ends with this thread
        ++cls->second.windows;
        Sys().windows.emplace(Key(handle), std::move(w));
    }
    CREATESTRUCTA cs{
        param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        windowName, className, exStyle};
    LPARAM lp = reinterpret_cast<LPARAM>(&cs);
    if (!SendMessageA(handle, WM_NCCREATE, 0, lp) || SendMessageA(handle, WM_CREATE, 0, lp) == -1) {
        DestroyTree(handle);
        return nullptr;
    }
    // The procedure may have destroyed the window while it was being created.
    return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
    {
        std::lock_guard lock(Sys().mutex);
        if (!OwnLocked(hwnd)) return FALSE;
    }
    DestroyTree(hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    std::lock_guard lock(Sys().mutex);
    return FindLocked(hwnd) != nullptr;
}

HWND GetParent(HWND hwnd) {
    std::lock_guard lock(Sys().mutex);
    Window* w = FindLocked(hwnd);
    return w ? w->parent : nullptr;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = ProcOf(hwnd);
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Queue> q;
    {
        std::lock_guard lock(Sys().mutex);
        if (hwnd) {
            Window* w = FindLocked(hwnd);
            if (!w) return FALSE;
            q = QueueOf(w->owner);
        } else {
            q = OwnQueueLocked();
        }
    }
    MSG m;
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = Now();
    {
        std::lock_guard lock(q->mutex);
        q->messages.push_back(m);
    }
    q->posted.notify_all();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    std::shared_ptr<Queue> q;
    {
        std::lock_guard lock(Sys().mutex);
        q = OwnQueueLocked();
    }
    {
        std::lock_guard lock(q->mutex);
        q->quit = true;
        q->quitCode = exitCode;
    }
    q->posted.notify_all();
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (!msg) return FALSE;
    std::shared_ptr<Queue> q;
    {
        std::lock_guard lock(Sys().mutex);
        q = OwnQueueLocked();
    }
    std::unique_lock lock(q->mutex);
    q->posted.wait(lock, [&] { return TakeLocked(*q, msg, hwnd, filterMin, filterMax, true); });
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (!msg) return FALSE;
    std::shared_ptr<Queue> q;
    {
        std::lock_guard lock(Sys().mutex);
        q = OwnQueueLocked();
    }
    std::lock_guard lock(q->mutex);
    return TakeLocked(*q, msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE
                                                                                         : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    switch (msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        default:
            return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    std::lock_guard lock(Sys().mutex);
    Window* w = OwnLocked(hwnd);
    if (!w) return 0;
    switch (index) {
        case GWLP_USERDATA:
            return w->userData;
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_ID:
            return w->id;
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w->parent);
        default:
            return 0;
    }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    std::lock_guard lock(Sys().mutex);
    Window* w = OwnLocked(hwnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (index) {
        case GWLP_USERDATA:
            old = w->userData;
            w->userData = value;
            return old;
        case GWLP_WNDPROC:
            if (value == 0) return 0;
            old = reinterpret_cast<LONG_PTR>(w->proc);
            w->proc = reinterpret_cast<WNDPROC>(value);
            return old;
        case GWLP_ID:
            old = w->id;
            w->id = value;
            return old;
        default:
            return 0;
    }
}

namespace loom {

int WindowCount() {
    std::lock_guard lock(Sys().mutex);
    return static_cast<int>(Sys().windows.size());
}

}  // namespace loom

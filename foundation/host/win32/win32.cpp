#include "foundation/host/win32/win32.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "foundation/host/base/text.h"
#include "foundation/host/win32/win32_internal.h"

namespace {

/// Window classes are found by name without regard to case; a null name finds none.
std::string ClassKey(const char* name) { return loom::Lower(name ? name : ""); }

using loom::detail::Window;

struct ClassRecord {
    WNDCLASSA wc;
    std::string name;  // as registered
    int windows = 0;
    bool host = false;
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
    std::set<std::uintptr_t> invalid;  // windows waiting for WM_PAINT, oldest handle first
    std::uintptr_t nextHandle = 0x10000;
    ATOM nextAtom = 0xC000;
};

// Leaked on purpose: windows may be destroyed from static destructors of other modules.
System& Sys() {
    static System* s = new System;
    return *s;
}

std::atomic<std::uint64_t> gRevision{0};

thread_local HWND tFocus = nullptr;

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

std::uintptr_t Key(HWND h) { return reinterpret_cast<std::uintptr_t>(h); }

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
    Window* w = loom::detail::OwnLocked(h);
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

bool TakePosted(MSG* msg, HWND hwnd, UINT lo, UINT hi, bool remove) {
    std::shared_ptr<Queue> q;
    {
        std::lock_guard lock(Sys().mutex);
        q = OwnQueueLocked();
    }
    std::lock_guard lock(q->mutex);
    return TakeLocked(*q, msg, hwnd, lo, hi, remove);
}

// A WM_PAINT for the oldest visible invalid window of this thread that passes the filter.
bool PendingPaint(MSG* msg, HWND hwnd, UINT lo, UINT hi) {
    if ((lo != 0 || hi != 0) && (WM_PAINT < lo || WM_PAINT > hi)) return false;
    std::lock_guard lock(Sys().mutex);
    for (std::uintptr_t key : Sys().invalid) {
        Window* w = loom::detail::OwnLocked(reinterpret_cast<HWND>(key));
        if (!w || !(w->style & WS_VISIBLE)) continue;
        if (hwnd && w->handle != hwnd) continue;
        *msg = MSG{};
        msg->hwnd = w->handle;
        msg->message = WM_PAINT;
        msg->time = Now();
        return true;
    }
    return false;
}

// Caller holds the lock.
void ValidateLocked(Window& w) {
    if (!w.invalid) return;
    w.invalid = false;
    w.erase = false;
    w.update = RECT{};
    Sys().invalid.erase(Key(w.handle));
}

// Caller holds the lock.
void InvalidateLocked(Window& w, const RECT* rect, bool erase) {
    int fx = 0, ft = 0, fb = 0;
    loom::detail::NonClientLocked(w, &fx, &ft, &fb);
    RECT r = rect ? *rect : RECT{0, 0, std::max(0, w.cx - 2 * fx), std::max(0, w.cy - ft - fb)};
    if (w.invalid) {
        w.update.left = std::min(w.update.left, r.left);
        w.update.top = std::min(w.update.top, r.top);
        w.update.right = std::max(w.update.right, r.right);
        w.update.bottom = std::max(w.update.bottom, r.bottom);
    } else {
        w.update = r;
        w.invalid = true;
        Sys().invalid.insert(Key(w.handle));
    }
    w.erase = w.erase || erase;
    ++w.paintGen;
    loom::detail::TouchLocked(w);
}

// Caller holds the lock. Top-left corner of the window in screen coordinates.
POINT ScreenOriginLocked(const Window& w) {
    POINT p{w.x, w.y};
    if ((w.style & WS_CHILD) && w.parent) {
        if (Window* parent = loom::detail::FindLocked(w.parent)) {
            POINT po = ScreenOriginLocked(*parent);
            int fx = 0, ft = 0, fb = 0;
            loom::detail::NonClientLocked(*parent, &fx, &ft, &fb);
            p.x += po.x + fx;
            p.y += po.y + ft;
        }
    }
    return p;
}

POINT ClientOriginLocked(const Window& w) {
    POINT p = ScreenOriginLocked(w);
    int fx = 0, ft = 0, fb = 0;
    loom::detail::NonClientLocked(w, &fx, &ft, &fb);
    p.x += fx;
    p.y += ft;
    return p;
}

void DestroyTree(HWND h) {
    std::vector<HWND> children;
    {
        std::lock_guard lock(Sys().mutex);
        Window* w = loom::detail::OwnLocked(h);
        if (!w || w->destroying) return;
        w->destroying = true;
    }
    SendMessageA(h, WM_DESTROY, 0, 0);
    {
        std::lock_guard lock(Sys().mutex);
        if (Window* w = loom::detail::OwnLocked(h)) children = w->children;
    }
    for (HWND c : children) DestroyTree(c);
    SendMessageA(h, WM_NCDESTROY, 0, 0);
    if (tFocus == h) tFocus = nullptr;
    std::lock_guard lock(Sys().mutex);
    auto it = Sys().windows.find(Key(h));
    if (it == Sys().windows.end()) return;
    Window& w = *it->second;
    if (Window* p = loom::detail::FindLocked(w.parent)) {
        auto& sib = p->children;
        sib.erase(std::remove(sib.begin(), sib.end(), h), sib.end());
    }
    auto cls = Sys().classes.find(w.className);
    if (cls != Sys().classes.end()) --cls->second.windows;
    Sys().invalid.erase(Key(h));
    Sys().windows.erase(it);
    ++gRevision;
}

ATOM RegisterLocked(const WNDCLASSA* wc, bool host) {
    if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || !*wc->lpszClassName) return 0;
    std::string key = ClassKey(wc->lpszClassName);
    std::lock_guard lock(Sys().mutex);
    if (Sys().classes.count(key)) return 0;
    ClassRecord rec{*wc, wc->lpszClassName, 0, host};
    rec.wc.lpszClassName = nullptr;  // the caller's text need not outlive the call
    rec.wc.lpszMenuName = nullptr;
    Sys().classes.emplace(key, std::move(rec));
    return Sys().nextAtom++;
}

void CopyText(const std::string& text, char* buffer, std::size_t size, LRESULT* count) {
    std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    *count = static_cast<LRESULT>(n);
}

}  // namespace

// ==== Internal hooks ===========================================================================

namespace loom::detail {

std::mutex& Lock() { return Sys().mutex; }

Window* FindLocked(HWND h) {
    auto it = Sys().windows.find(Key(h));
    return it == Sys().windows.end() ? nullptr : it->second.get();
}

Window* OwnLocked(HWND h) {
    Window* w = FindLocked(h);
    return w && w->owner == std::this_thread::get_id() ? w : nullptr;
}

void TouchLocked(Window& w) { w.revision = ++gRevision; }

ATOM RegisterHostClass(const WNDCLASSA& wc) { return RegisterLocked(&wc, true); }

namespace {
std::atomic<void (*)()> gSystemClassRegistrar{nullptr};
}  // namespace

void SetSystemClassRegistrar(void (*registrar)()) { gSystemClassRegistrar.store(registrar); }

void EnsureSystemClasses() {
    if (auto registrar = gSystemClassRegistrar.load()) registrar();
}

bool TakeUpdateRegion(HWND hwnd, RECT* update, bool* erase) {
    return WithWindow(hwnd, [&](Window& w) {
        *erase = w.invalid && w.erase;
        *update = w.invalid ? w.update : RECT{};
        ValidateLocked(w);
    });
}

void* GetExtra(HWND h) {
    void* extra = nullptr;
    WithWindow(h, [&](Window& w) { extra = w.extra; });
    return extra;
}

void SetExtra(HWND h, void* extra) {
    WithWindow(h, [&](Window& w) { w.extra = extra; });
}

void SetDialogUnits(HWND h, short x, short y, short cx, short cy) {
    WithWindow(h, [&](Window& w) {
        w.hasDialogUnits = true;
        w.dluX = x;
        w.dluY = y;
        w.dluCx = cx;
        w.dluCy = cy;
    });
}

void NonClientLocked(const Window& w, int* frameX, int* frameTop, int* frameBottom) {
    int frame = 0;
    if (w.style & WS_THICKFRAME) {
        frame = 4;
    } else if ((w.style & WS_DLGFRAME) || (w.exStyle & WS_EX_DLGMODALFRAME)) {
        frame = 3;
    } else if (w.style & WS_BORDER) {
        frame = 1;
    }
    if (w.exStyle & WS_EX_CLIENTEDGE) frame += 2;
    if (w.exStyle & WS_EX_STATICEDGE) frame += 1;
    int caption = (w.style & WS_CAPTION) == WS_CAPTION ? 18 : 0;
    *frameX = frame;
    *frameTop = frame + caption;
    *frameBottom = frame;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> out;
    WithWindow(parent, [&](Window& w) {
        for (HWND c : w.children) {
            Window* cw = FindLocked(c);
            if (cw && (cw->style & WS_CHILD)) out.push_back(c);
        }
    });
    return out;
}

std::string ClassNameOf(HWND h) {
    std::string out;
    WithWindow(h, [&](Window& w) { out = w.className; });
    return out;
}

DWORD StyleOf(HWND h) {
    DWORD out = 0;
    WithWindow(h, [&](Window& w) { out = w.style; });
    return out;
}

std::vector<HWND> GroupRun(HWND ctl) {
    std::vector<HWND> siblings = ChildrenOf(GetParent(ctl));
    auto at = std::find(siblings.begin(), siblings.end(), ctl);
    if (at == siblings.end()) return {};
    auto first = at;
    while (first != siblings.begin() && !(StyleOf(*first) & WS_GROUP)) --first;
    auto last = at + 1;
    while (last != siblings.end() && !(StyleOf(*last) & WS_GROUP)) ++last;
    return std::vector<HWND>(first, last);
}

void NotifyParent(HWND control, WORD code) {
    HWND parent = nullptr;
    LONG_PTR id = 0;
    WithWindow(control, [&](Window& w) {
        parent = w.parent;
        id = w.id;
    });
    if (!parent) return;
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), code),
                 reinterpret_cast<LPARAM>(control));
}

}  // namespace loom::detail

// ==== Classes and windows
// ==========================================================================

ATOM RegisterClassA(const WNDCLASSA* wc) { return RegisterLocked(wc, false); }

BOOL UnregisterClassA(const char* className, HINSTANCE instance) {
    std::lock_guard lock(Sys().mutex);
    auto it = Sys().classes.find(ClassKey(className));
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
    loom::detail::EnsureSystemClasses();
    HWND handle = nullptr;
    {
        std::lock_guard lock(Sys().mutex);
        std::string key = ClassKey(className);
        auto cls = Sys().classes.find(key);
        if (cls == Sys().classes.end()) return nullptr;
        Window* p = nullptr;
        if (parent && !(p = loom::detail::OwnLocked(parent))) return nullptr;
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
        w->hostClass = cls->second.host;
        if (windowName && !IS_INTRESOURCE(windowName)) w->text = windowName;
        w->style = style;
        w->exStyle = exStyle;
        w->x = x;
        w->y = y;
        w->cx = std::max(width, 0);
        w->cy = std::max(height, 0);
        loom::detail::TouchLocked(*w);
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
    // A visible window has everything to paint.
    loom::detail::WithWindow(handle, [](Window& w) {
        if (w.style & WS_VISIBLE) InvalidateLocked(w, nullptr, true);
    });
    // The procedure may have destroyed the window while it was being created.
    return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
    {
        std::lock_guard lock(Sys().mutex);
        if (!loom::detail::OwnLocked(hwnd)) return FALSE;
    }
    DestroyTree(hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    std::lock_guard lock(Sys().mutex);
    return loom::detail::FindLocked(hwnd) != nullptr;
}

HWND GetParent(HWND hwnd) {
    std::lock_guard lock(Sys().mutex);
    Window* w = loom::detail::FindLocked(hwnd);
    return w ? w->parent : nullptr;
}

BOOL IsChild(HWND parent, HWND child) {
    std::lock_guard lock(Sys().mutex);
    Window* w = loom::detail::FindLocked(child);
    while (w && (w->style & WS_CHILD) && w->parent) {
        if (w->parent == parent) return TRUE;
        w = loom::detail::FindLocked(w->parent);
    }
    return FALSE;
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
            Window* w = loom::detail::FindLocked(hwnd);
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
    for (;;) {
        {
            std::lock_guard lock(q->mutex);
            if (TakeLocked(*q, msg, hwnd, filterMin, filterMax, true)) break;
        }
        // Only this thread invalidates its windows, so no paint can appear while it waits;
        // other threads can only post.
        if (PendingPaint(msg, hwnd, filterMin, filterMax)) return TRUE;
        std::unique_lock lock(q->mutex);
        q->posted.wait(lock, [&] {
            MSG peek;
            return TakeLocked(*q, &peek, hwnd, filterMin, filterMax, false);
        });
    }
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (!msg) return FALSE;
    if (TakePosted(msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0)) return TRUE;
    return PendingPaint(msg, hwnd, filterMin, filterMax) ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    if (msg->message != WM_PAINT) {
        return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    }
    std::uint64_t gen = 0;
    loom::detail::WithWindow(msg->hwnd, [&](Window& w) { gen = w.paintGen; });
    LRESULT result = SendMessageA(msg->hwnd, WM_PAINT, msg->wParam, msg->lParam);
    loom::detail::WithWindow(msg->hwnd, [&](Window& w) {
        if (w.paintGen == gen) ValidateLocked(w);
    });
    return result;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            bool ok = loom::detail::WithWindow(hwnd, [&](Window& w) {
                w.text = text ? text : "";
                InvalidateLocked(w, nullptr, true);
            });
            return ok ? TRUE : FALSE;
        }
        case WM_GETTEXT: {
            char* buffer = reinterpret_cast<char*>(lParam);
            LRESULT count = 0;
            if (!buffer || wParam == 0) return 0;
            bool ok = loom::detail::WithWindow(
                hwnd, [&](Window& w) { CopyText(w.text, buffer, wParam, &count); });
            if (!ok) buffer[0] = '\0';
            return count;
        }
        case WM_GETTEXTLENGTH: {
            LRESULT n = 0;
            loom::detail::WithWindow(hwnd,
                                     [&](Window& w) { n = static_cast<LRESULT>(w.text.size()); });
            return n;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
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
    Window* w = loom::detail::OwnLocked(hwnd);
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
        case GWL_STYLE:
            return static_cast<LONG_PTR>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG_PTR>(w->exStyle);
        default:
            break;
    }
    if (!w->dialog) return 0;
    switch (index) {
        case DWLP_MSGRESULT:
            return w->dialog->msgResult;
        case DWLP_DLGPROC:
            return reinterpret_cast<LONG_PTR>(w->dialog->proc);
        case DWLP_USER:
            return w->dialog->user;
        default:
            return 0;
    }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    std::lock_guard lock(Sys().mutex);
    Window* w = loom::detail::OwnLocked(hwnd);
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
        case GWL_STYLE:
            old = static_cast<LONG_PTR>(w->style);
            w->style = static_cast<DWORD>(value);
            loom::detail::TouchLocked(*w);
            return old;
        case GWL_EXSTYLE:
            old = static_cast<LONG_PTR>(w->exStyle);
            w->exStyle = static_cast<DWORD>(value);
            loom::detail::TouchLocked(*w);
            return old;
        default:
            break;
    }
    if (!w->dialog) return 0;
    switch (index) {
        case DWLP_MSGRESULT:
            old = w->dialog->msgResult;
            w->dialog->msgResult = value;
            return old;
        case DWLP_DLGPROC:
            old = reinterpret_cast<LONG_PTR>(w->dialog->proc);
            w->dialog->proc = reinterpret_cast<DLGPROC>(value);
            return old;
        case DWLP_USER:
            old = w->dialog->user;
            w->dialog->user = value;
            return old;
        default:
            return 0;
    }
}

// ==== Text
// ===========================================================================================

BOOL SetWindowTextA(HWND hwnd, const char* text) {
    if (!IsWindow(hwnd)) return FALSE;
    return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, char* buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    buffer[0] = '\0';
    return static_cast<int>(SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                         reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) {
    return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

// ==== State
// ==========================================================================================

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    bool wasDisabled = false;
    bool changed = false;
    bool ok = loom::detail::WithWindow(hwnd, [&](Window& w) {
        wasDisabled = (w.style & WS_DISABLED) != 0;
        changed = wasDisabled == (enable != FALSE);
        if (!changed) return;
        if (enable) {
            w.style &= ~WS_DISABLED;
        } else {
            w.style |= WS_DISABLED;
        }
        InvalidateLocked(w, nullptr, true);
    });
    if (!ok) return FALSE;
    if (changed) {
        if (!enable && tFocus == hwnd) tFocus = nullptr;
        SendMessageA(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    }
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    BOOL enabled = FALSE;
    loom::detail::WithWindow(hwnd,
                             [&](Window& w) { enabled = (w.style & WS_DISABLED) ? FALSE : TRUE; });
    return enabled;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
    bool wasVisible = false;
    bool show = cmdShow != SW_HIDE;
    bool ok = loom::detail::WithWindow(hwnd, [&](Window& w) {
        wasVisible = (w.style & WS_VISIBLE) != 0;
        if (wasVisible == show) return;
        if (show) {
            w.style |= WS_VISIBLE;
            InvalidateLocked(w, nullptr, true);
        } else {
            w.style &= ~WS_VISIBLE;
            loom::detail::TouchLocked(w);
        }
    });
    if (!ok) return FALSE;
    if (wasVisible != show) SendMessageA(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
    std::lock_guard lock(Sys().mutex);
    Window* w = loom::detail::FindLocked(hwnd);
    if (!w) return FALSE;
    while (w) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (!(w->style & WS_CHILD)) break;
        w = loom::detail::FindLocked(w->parent);
    }
    return TRUE;
}

HWND SetFocus(HWND hwnd) {
    HWND old = tFocus;
    if (hwnd && !loom::detail::WithWindow(hwnd, [](Window&) {})) return nullptr;
    if (hwnd == old) return old;
    tFocus = hwnd;
    if (old && IsWindow(old)) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && tFocus == hwnd) {
        SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    return old;
}

HWND GetFocus() {
    if (tFocus && !IsWindow(tFocus)) tFocus = nullptr;
    return tFocus;
}

// ==== Geometry
// =======================================================================================

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
            return kScreenWidth;
        case SM_CYSCREEN:
            return kScreenHeight;
        default:
            return 0;
    }
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (!rect) return FALSE;
    return loom::detail::WithWindow(hwnd,
                                    [&](Window& w) {
                                        POINT p = ScreenOriginLocked(w);
                                        *rect = RECT{p.x, p.y, p.x + w.cx, p.y + w.cy};
                                    })
               ? TRUE
               : FALSE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!rect) return FALSE;
    return loom::detail::WithWindow(
               hwnd,
               [&](Window& w) {
                   int fx = 0, ft = 0, fb = 0;
                   loom::detail::NonClientLocked(w, &fx, &ft, &fb);
                   *rect = RECT{0, 0, std::max(0, w.cx - 2 * fx), std::max(0, w.cy - ft - fb)};
               })
               ? TRUE
               : FALSE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    if (!point) return FALSE;
    return loom::detail::WithWindow(hwnd,
                                    [&](Window& w) {
                                        POINT o = ClientOriginLocked(w);
                                        point->x += o.x;
                                        point->y += o.y;
                                    })
               ? TRUE
               : FALSE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    if (!point) return FALSE;
    return loom::detail::WithWindow(hwnd,
                                    [&](Window& w) {
                                        POINT o = ClientOriginLocked(w);
                                        point->x -= o.x;
                                        point->y -= o.y;
                                    })
               ? TRUE
               : FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    bool moved = false, sized = false;
    LPARAM origin = 0, size = 0;
    bool ok = loom::detail::WithWindow(hwnd, [&](Window& w) {
        if (!(flags & SWP_NOMOVE) && (w.x != x || w.y != y)) {
            w.x = x;
            w.y = y;
            moved = true;
        }
        if (!(flags & SWP_NOSIZE) && (w.cx != std::max(cx, 0) || w.cy != std::max(cy, 0))) {
            w.cx = std::max(cx, 0);
            w.cy = std::max(cy, 0);
            sized = true;
        }
        int fx = 0, ft = 0, fb = 0;
        loom::detail::NonClientLocked(w, &fx, &ft, &fb);
        origin = MAKELPARAM(static_cast<WORD>(w.x + fx), static_cast<WORD>(w.y + ft));
        size = MAKELPARAM(static_cast<WORD>(std::max(0, w.cx - 2 * fx)),
                          static_cast<WORD>(std::max(0, w.cy - ft - fb)));
        if (moved || sized) loom::detail::TouchLocked(w);
    });
    if (!ok) return FALSE;
    if (moved) SendMessageA(hwnd, WM_MOVE, 0, origin);
    if (sized) SendMessageA(hwnd, WM_SIZE, 0, size);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    if (!SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER)) return FALSE;
    if (repaint) InvalidateRect(hwnd, nullptr, TRUE);
    return TRUE;
}

// ==== Painting
// =======================================================================================

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    return loom::detail::WithWindow(hwnd,
                                    [&](Window& w) { InvalidateLocked(w, rect, erase != FALSE); })
               ? TRUE
               : FALSE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    return loom::detail::WithWindow(
               hwnd,
               [&](Window& w) {
                   if (!w.invalid) return;
                   if (!rect ||
                       (rect->left <= w.update.left && rect->top <= w.update.top &&
                        rect->right >= w.update.right && rect->bottom >= w.update.bottom)) {
                       ValidateLocked(w);
                   }
               })
               ? TRUE
               : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
    bool invalid = false;
    if (!loom::detail::WithWindow(hwnd, [&](Window& w) { invalid = w.invalid; })) return FALSE;
    if (!invalid) return TRUE;
    MSG m;
    m.hwnd = hwnd;
    m.message = WM_PAINT;
    DispatchMessageA(&m);
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL) {
    bool invalid = false;
    loom::detail::WithWindow(hwnd, [&](Window& w) {
        invalid = w.invalid;
        if (rect) *rect = invalid ? w.update : RECT{};
    });
    return invalid ? TRUE : FALSE;
}

// ==== Host services
// ==================================================================================

namespace loom {

int WindowCount() {
    std::lock_guard lock(Sys().mutex);
    return static_cast<int>(Sys().windows.size());
}

int PumpMessages() {
    int count = 0;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        DispatchMessageA(&m);
        ++count;
    }
    return count;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<std::uintptr_t> keys;
    {
        std::lock_guard lock(Sys().mutex);
        for (auto& [key, w] : Sys().windows) {
            if (w->owner == std::this_thread::get_id() && !(w->style & WS_CHILD)) {
                keys.push_back(key);
            }
        }
    }
    std::sort(keys.begin(), keys.end());
    std::vector<HWND> out;
    for (std::uintptr_t k : keys) out.push_back(reinterpret_cast<HWND>(k));
    return out;
}

bool GetDialogUnitRect(HWND hwnd, short* x, short* y, short* cx, short* cy) {
    bool has = false;
    loom::detail::WithWindow(hwnd, [&](Window& w) {
        has = w.hasDialogUnits;
        if (!has) return;
        if (x) *x = w.dluX;
        if (y) *y = w.dluY;
        if (cx) *cx = w.dluCx;
        if (cy) *cy = w.dluCy;
    });
    return has;
}

std::uint64_t WindowSystemRevision() { return gRevision.load(); }

}  // namespace loom

#pragma once
/// Hands work from the server's worker threads to the one window thread and waits for it.
/// Every window, panel and texture belongs to the window thread, so each API request runs
/// there, one after another. The window thread serves the queue from its message loop and,
/// while a modal dialog runs its own loop, from the modal idle hook and the posted wake-up
/// messages that loop dispatches.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/host/win32/win32.h"

namespace loom::web {

class WindowThread {
  public:
    using Task = std::function<void()>;

    /// Makes the hidden window that wake-ups are posted to; call on the window thread.
    WindowThread();
    ~WindowThread();
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    enum class RunOutcome {
        kDone,          ///< the task ran
        kNotStarted,    ///< the loop has stopped, or the task did not start in time: it never runs
        kStillRunning,  ///< the task started but did not finish in time: it finishes on its own
    };
    /// Any thread: runs `task` on the window thread and waits for it, `timeout` at most in
    /// all, so that no caller waits for ever on a task that runs long. A task that may
    /// outlive the wait must own (or share) everything it uses. On the window thread itself
    /// the task runs at once.
    RunOutcome Run(Task task, std::chrono::milliseconds timeout);

    /// Window thread: dispatches messages until Stop.
    void Loop();
    /// Any thread: ends Loop (a running modal loop ends first); queued tasks are refused.
    void Stop();

    /// Window thread: runs every queued task; true when there was one.
    bool RunPending();

    /// Window thread: runs `task` from the message loop itself, once no request is being
    /// served: a modal dialog opened there never holds up the request that asked for it.
    void Defer(Task task);

  private:
    struct Job;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    std::mutex mutex_;
    std::deque<std::shared_ptr<Job>> queue_;
    bool stopped_ = false;
    std::vector<Task> deferred_;
    int depth_ = 0;  ///< nesting of Proc calls: deferred work runs at the outermost only
    ModalIdleHook previousHook_;
};

}  // namespace loom::web

#include "app/web/window_thread.h"

#include "app/web/object_window.h"

namespace loom::web {
namespace {

constexpr const char* kClass = "LoomWebWindowThread";
constexpr UINT kWake = WM_APP + 1;
constexpr UINT kStop = WM_APP + 2;

}  // namespace

struct WindowThread::Job {
    Task task;
    std::mutex mutex;
    std::condition_variable done;
    enum class State { kQueued, kRunning, kDone, kAbandoned } state = State::kQueued;
};

WindowThread::WindowThread() {
    hwnd_ = CreateObjectWindow(kClass, Proc, this);
    // Inside a modal loop the queue is served whenever that loop is idle.
    previousHook_ = SetModalIdleHook([this](HWND) { return RunPending(); });
}

WindowThread::~WindowThread() {
    Stop();
    RunPending();  // refuses what is left, so no caller waits for ever
    SetModalIdleHook(previousHook_);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

WindowThread::RunOutcome WindowThread::Run(Task task, std::chrono::milliseconds timeout) {
    if (IsWindow(hwnd_) && GetWindowLongPtrA(hwnd_, GWLP_USERDATA) != 0) {
        // GetWindowLongPtrA answers only on the window's own thread.
        task();
        return RunOutcome::kDone;
    }
    auto job = std::make_shared<Job>();
    job->task = std::move(task);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) return RunOutcome::kNotStarted;
        queue_.push_back(job);
    }
    PostMessageA(hwnd_, kWake, 0, 0);
    std::unique_lock<std::mutex> lock(job->mutex);
    if (!job->done.wait_for(lock, timeout, [&] { return job->state == Job::State::kDone; })) {
        if (job->state == Job::State::kQueued) {
            job->state = Job::State::kAbandoned;
            return RunOutcome::kNotStarted;
        }
        return RunOutcome::kStillRunning;
    }
    return job->task != nullptr ? RunOutcome::kDone : RunOutcome::kNotStarted;
}

bool WindowThread::RunPending() {
    bool ran = false;
    for (;;) {
        std::shared_ptr<Job> job;
        bool stopped;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return ran;
            job = queue_.front();
            queue_.pop_front();
            stopped = stopped_;
        }
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            if (job->state == Job::State::kAbandoned) continue;
            job->state = Job::State::kRunning;
        }
        if (stopped) {
            job->task = nullptr;  // tells the caller it never ran
        } else {
            job->task();
            ran = true;
        }
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            job->state = Job::State::kDone;
        }
        job->done.notify_all();
    }
}

void WindowThread::Loop() {
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) DispatchMessageA(&m);
}

void WindowThread::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
    }
    PostMessageA(hwnd_, kStop, 0, 0);
}

void WindowThread::Defer(Task task) {
    deferred_.push_back(std::move(task));
    PostMessageA(hwnd_, kWake, 0, 0);
}

LRESULT CALLBACK WindowThread::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<WindowThread*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && msg == kWake) {
        ++self->depth_;
        self->RunPending();
        // Deferred work may have been left by a wake-up handled deeper down (inside a
        // pump or a modal loop), so the outermost call takes all there is.
        while (self->depth_ == 1 && !self->deferred_.empty()) {
            std::vector<Task> tasks = std::move(self->deferred_);
            self->deferred_.clear();
            for (Task& t : tasks) t();
            self->RunPending();
        }
        --self->depth_;
        return 0;
    }
    if (self && msg == kStop) {
        self->RunPending();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace loom::web

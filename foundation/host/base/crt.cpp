#include "foundation/host/base/crt.h"

#include <atomic>

namespace crt {
namespace {
thread_local std::uint32_t tState = 1;
std::atomic<TimeHook> gTimeHook{nullptr};
}  // namespace

int rand() noexcept {
    tState = tState * 214013u + 2531011u;
    return static_cast<int>((tState >> 16) & 0x7FFFu);
}

void RandMany(int* out, int n) noexcept {
    std::uint32_t state = tState;
    for (int i = 0; i < n; ++i) {
        state = state * 214013u + 2531011u;
        out[i] = static_cast<int>((state >> 16) & 0x7FFFu);
    }
    tState = state;
}

void srand(unsigned seed) noexcept { tState = seed; }

std::time_t time(std::time_t* out) noexcept {
    TimeHook hook = gTimeHook.load();
    std::time_t now = hook ? hook() : std::time(nullptr);
    if (out) *out = now;
    return now;
}

void SetTimeHook(TimeHook fn) noexcept { gTimeHook.store(fn); }

std::uint32_t GetRandState() noexcept { return tState; }
void SetRandState(std::uint32_t state) noexcept { tState = state; }

}  // namespace crt

#include "app/cli/interrupt.h"

#include <csignal>

namespace loom {
namespace {
std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) { gInterrupted.store(true); }
}  // namespace

void WatchInterrupt() {
    gInterrupted.store(false);
    std::signal(SIGINT, OnInterrupt);
}

const std::atomic<bool>& InterruptFlag() { return gInterrupted; }

}  // namespace loom

#pragma once
/// Ctrl-C during long work: the first press raises a flag the work polls.

#include <atomic>

namespace loom {

/// Installs the handler (once) and clears the flag.
void WatchInterrupt();
/// The flag raised by Ctrl-C.
const std::atomic<bool>& InterruptFlag();

}  // namespace loom

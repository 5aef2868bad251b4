#pragma once
/// The C runtime the plug-ins rely on: a random generator with the range 0..32767 and a
/// clock that tests can set. Plug-ins call these, never the C library's own `rand`, so
/// that the sequence is the same on every platform.

#include <cstdint>
#include <ctime>

namespace crt {

inline constexpr int kRandMax = 32767;

/// Next value of the calling thread's generator, 0..32767:
/// state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF.
/// Each thread starts with seed 1, as in a multithreaded C runtime.
int rand() noexcept;

/// The next `n` values of the calling thread's generator, as n calls of rand() in a row
/// give them (one call for a batch of samples; nothing for n <= 0).
void RandMany(int* out, int n) noexcept;

/// Reseeds the calling thread's generator.
void srand(unsigned seed) noexcept;

/// Seconds since the epoch, or the value set by SetTimeHook; also stored through `out`.
std::time_t time(std::time_t* out) noexcept;

/// Makes `time` answer `fn()` instead of the system clock (null restores the clock).
using TimeHook = std::time_t (*)();
void SetTimeHook(TimeHook fn) noexcept;

/// The generator's raw state, for callers that must save and restore a stream.
std::uint32_t GetRandState() noexcept;
void SetRandState(std::uint32_t state) noexcept;

}  // namespace crt

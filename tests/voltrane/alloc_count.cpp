// Replaces the global operator new/delete pair with counting versions over malloc/free.
#include "tests/voltrane/alloc_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> gAllocations{0};
}  // namespace

long loomtest::AllocationCount() { return gAllocations.load(); }

void* operator new(std::size_t n) {
    ++gAllocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// Replaces the global operator new and delete with counting versions over malloc and free.
#include "tests/support/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
void* Allocate(std::size_t n) noexcept {
    allocations.fetch_add(1);
    return std::malloc(n ? n : 1);
}
void* AllocateAligned(std::size_t n, std::align_val_t alignment) noexcept {
    allocations.fetch_add(1);
    const auto a = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (n + a - 1) / a * a;  // aligned_alloc wants a multiple
    return rounded < n ? nullptr : std::aligned_alloc(a, rounded ? rounded : a);
}
}  // namespace

long loomtest::AllocationCount() { return allocations.load(); }

void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) {
    if (void* p = AllocateAligned(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return AllocateAligned(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return AllocateAligned(n, a);
}
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

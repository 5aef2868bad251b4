#pragma once
/// Pixels packed as 8-bit RGB (three bytes a pixel, no alpha), as video decoders and
/// encoders exchange them, and their conversion to and from the host's 16-bit RGBA.
///
/// A packed value v stands for the 16-bit value v * 257 (alpha 65535); a 16-bit value packs
/// to the nearest 8-bit one, (v + 128) / 257, and alpha is dropped. Every function gives
/// the same bytes whichever instruction set runs it: AVX-512 (VBMI) where the processor has
/// it and the LOOM_ISA variable does not name another set, plain code elsewhere.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

struct BMM_Color_64;

namespace loom {

/// Memory of at least 2 MiB comes in whole, aligned 2 MiB pages that the system is asked
/// to back with huge pages (a frame of 1920 x 1080 spans 4 of them instead of 1,500 small
/// ones: fewer address-translation misses on every pass). Smaller blocks come from new.
void* AllocateLargeBlock(std::size_t bytes);
void FreeLargeBlock(void* block, std::size_t bytes) noexcept;

template <class T>
struct LargeBlockAllocator {
    using value_type = T;
    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(AllocateLargeBlock(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { FreeLargeBlock(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept {
        return true;
    }
};

/// Pixels packed as 8-bit RGB, line after line without padding.
using PackedRgb = std::vector<std::uint8_t, LargeBlockAllocator<std::uint8_t>>;

/// Widens `count` packed pixels into 16-bit RGBA.
void WidenPackedRgb(const std::uint8_t* packed, BMM_Color_64* pixels, std::size_t count) noexcept;
/// Packs `count` 16-bit RGBA pixels into 8-bit RGB, rounding to nearest.
void PackRgb(const BMM_Color_64* pixels, std::uint8_t* packed, std::size_t count) noexcept;

/// The same conversions in plain code, whatever the processor: the reference the vector
/// forms are tested against.
void WidenPackedRgbPortable(const std::uint8_t* packed, BMM_Color_64* pixels,
                            std::size_t count) noexcept;
void PackRgbPortable(const BMM_Color_64* pixels, std::uint8_t* packed, std::size_t count) noexcept;

/// Whether WidenPackedRgb and PackRgb run vector code in this process.
bool PackedPixelsVectorised() noexcept;

}  // namespace loom

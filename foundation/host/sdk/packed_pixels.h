#pragma once
/// Pixels packed as RGB without alpha, as video decoders and encoders exchange them: 8 bits
/// a channel (RGB24, three bytes a pixel) or 16 (RGB48, six bytes, in the machine's byte
/// order); their conversion to and from the host's 16-bit RGBA; and the copy of 16-bit RGBA
/// lines.
///
/// A packed 8-bit value v stands for the 16-bit value v * 257, and a 16-bit value packs to
/// the nearest 8-bit one, (v + 128) / 257. 16-bit values pack as they are. Alpha is dropped,
/// and reads as 65535. Every function gives the same bytes whichever instruction set runs
/// it: AVX-512 with VBMI where the process's vector level is AVX-512 and the processor has
/// VBMI (foundation/host/base/vector_level.h), plain code elsewhere.

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
/// False in builds with AddressSanitizer, where every block comes from new so that the
/// sanitizer watches its edges.
bool LargeBlocksInHugePages() noexcept;

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

/// Packed pixels, line after line without padding.
using PackedRgb = std::vector<std::uint8_t, LargeBlockAllocator<std::uint8_t>>;

/// Bytes a packed pixel takes at `bits` a channel (8: 3, otherwise 16: 6).
constexpr std::size_t PackedPixelBytes(int bits) { return bits == 8 ? 3 : 6; }

/// Widens `count` packed pixels into 16-bit RGBA.
void WidenRgb24(const std::uint8_t* packed, BMM_Color_64* pixels, std::size_t count) noexcept;
void WidenRgb48(const std::uint8_t* packed, BMM_Color_64* pixels, std::size_t count) noexcept;
/// Packs `count` 16-bit RGBA pixels (8-bit values rounded to nearest).
void PackRgb24(const BMM_Color_64* pixels, std::uint8_t* packed, std::size_t count) noexcept;
void PackRgb48(const BMM_Color_64* pixels, std::uint8_t* packed, std::size_t count) noexcept;

/// Packs `count` 8-bit RGBA pixels (four bytes a pixel, red first, as frei0r and most video
/// programs hand frames over) into RGB24, their alpha dropped.
void PackRgb24FromRgba32(const std::uint8_t* rgba, std::uint8_t* packed,
                         std::size_t count) noexcept;
/// Widens `count` RGB24 pixels into 8-bit RGBA, opaque (alpha 255).
void WidenRgb24ToRgba32(const std::uint8_t* packed, std::uint8_t* rgba, std::size_t count) noexcept;

/// Copies `count` 16-bit RGBA pixels; the ranges may overlap.
void CopyPixels(const BMM_Color_64* from, BMM_Color_64* to, std::size_t count) noexcept;

/// The same conversions in plain code, whatever the processor: the reference the vector
/// forms are tested against.
void WidenRgb24Portable(const std::uint8_t* packed, BMM_Color_64* pixels,
                        std::size_t count) noexcept;
void WidenRgb48Portable(const std::uint8_t* packed, BMM_Color_64* pixels,
                        std::size_t count) noexcept;
void PackRgb24Portable(const BMM_Color_64* pixels, std::uint8_t* packed,
                       std::size_t count) noexcept;
void PackRgb48Portable(const BMM_Color_64* pixels, std::uint8_t* packed,
                       std::size_t count) noexcept;
void CopyPixelsPortable(const BMM_Color_64* from, BMM_Color_64* to, std::size_t count) noexcept;
void PackRgb24FromRgba32Portable(const std::uint8_t* rgba, std::uint8_t* packed,
                                 std::size_t count) noexcept;
void WidenRgb24ToRgba32Portable(const std::uint8_t* packed, std::uint8_t* rgba,
                                std::size_t count) noexcept;

}  // namespace loom

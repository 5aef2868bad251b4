#include "foundation/host/sdk/packed_pixels.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

#include "foundation/host/base/vector_level.h"
#include "foundation/host/sdk/bitmap.h"

namespace loom {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kLargestBlock = std::size_t{1} << 40;

std::size_t WholePages(std::size_t bytes) { return (bytes + kLargePage - 1) & ~(kLargePage - 1); }

}  // namespace

bool LargeBlocksInHugePages() noexcept { return !kSanitized; }

void* AllocateLargeBlock(std::size_t bytes) {
    // No picture comes near a terabyte; a larger request is a fault, refused the same way
    // in every build (AddressSanitizer's new would end the process instead).
    if (bytes > kLargestBlock) throw std::bad_alloc();
    if (bytes < kLargePage || kSanitized) return ::operator new(bytes);
    // Map a page more than needed, then give back what lies before the first aligned page
    // and after the last.
    const std::size_t size = WholePages(bytes);
    void* mapped = mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kLargePage - 1) & ~(std::uintptr_t{kLargePage} - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    const std::uintptr_t end = start + size + kLargePage;
    if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
    // A hint only: without huge pages the block works the same.
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    if (!block) return;
    if (bytes < kLargePage || kSanitized) {
        ::operator delete(block);
        return;
    }
    munmap(block, WholePages(bytes));
}

void WidenRgb24Portable(const std::uint8_t* packed, BMM_Color_64* pixels,
                        std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i, packed += 3) {
        pixels[i] = {static_cast<WORD>(packed[0] * 257), static_cast<WORD>(packed[1] * 257),
                     static_cast<WORD>(packed[2] * 257), 65535};
    }
}

void PackRgb24Portable(const BMM_Color_64* pixels, std::uint8_t* packed,
                       std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i, packed += 3) {
        packed[0] = static_cast<std::uint8_t>((pixels[i].r + 128u) / 257u);
        packed[1] = static_cast<std::uint8_t>((pixels[i].g + 128u) / 257u);
        packed[2] = static_cast<std::uint8_t>((pixels[i].b + 128u) / 257u);
    }
}

void WidenRgb48Portable(const std::uint8_t* packed, BMM_Color_64* pixels,
                        std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i, packed += 6) {
        WORD rgb[3];
        std::memcpy(rgb, packed, sizeof rgb);
        pixels[i] = {rgb[0], rgb[1], rgb[2], 65535};
    }
}

void PackRgb48Portable(const BMM_Color_64* pixels, std::uint8_t* packed,
                       std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i, packed += 6) {
        const WORD rgb[3] = {pixels[i].r, pixels[i].g, pixels[i].b};
        std::memcpy(packed, rgb, sizeof rgb);
    }
}

void CopyPixelsPortable(const BMM_Color_64* from, BMM_Color_64* to, std::size_t count) noexcept {
    if (count > 0) std::memmove(to, from, count * sizeof(BMM_Color_64));
}

void PackRgb24FromRgba32Portable(const std::uint8_t* rgba, std::uint8_t* packed,
                                 std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i, rgba += 4, packed += 3) std::memcpy(packed, rgba, 3);
}

void WidenRgb24ToRgba32Portable(const std::uint8_t* packed, std::uint8_t* rgba,
                                std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i, rgba += 4, packed += 3) {
        std::memcpy(rgba, packed, 3);
        rgba[3] = 255;
    }
}

}  // namespace loom

namespace {

/// One set of the conversions and the copy.
struct Conversions {
    void (*widen24)(const std::uint8_t*, BMM_Color_64*, std::size_t) noexcept;
    void (*pack24)(const BMM_Color_64*, std::uint8_t*, std::size_t) noexcept;
    void (*widen48)(const std::uint8_t*, BMM_Color_64*, std::size_t) noexcept;
    void (*pack48)(const BMM_Color_64*, std::uint8_t*, std::size_t) noexcept;
    void (*copy)(const BMM_Color_64*, BMM_Color_64*, std::size_t) noexcept;
    void (*packRgba)(const std::uint8_t*, std::uint8_t*, std::size_t) noexcept;
    void (*widenRgba)(const std::uint8_t*, std::uint8_t*, std::size_t) noexcept;
};

}  // namespace

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // GCC 12's AVX-512 headers
#endif
#include <immintrin.h>

namespace {

#define LOOM_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

constexpr __mmask64 kFortyEightBytes = (__mmask64{1} << 48) - 1;

/// Sixteen pixels a step: 48 packed bytes give two vectors of eight 16-bit pixels. Each
/// 16-bit channel takes its byte twice (v * 257 = v << 8 | v); alpha bytes are set after.
LOOM_VBMI void WidenVbmi(const std::uint8_t* packed, BMM_Color_64* pixels,
                         std::size_t count) noexcept {
    alignas(64) std::uint8_t index[2][64];
    for (int half = 0; half < 2; ++half) {
        for (int byte = 0; byte < 64; ++byte) {
            const int pixel = 8 * half + byte / 8, channel = (byte % 8) / 2;
            index[half][byte] = static_cast<std::uint8_t>(channel == 3 ? 0 : 3 * pixel + channel);
        }
    }
    const __m512i low = _mm512_load_si512(index[0]), high = _mm512_load_si512(index[1]);
    const __m512i alpha = _mm512_set1_epi64(static_cast<long long>(0xFFFF000000000000ull));
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        // Frames are read a line at a time, two views in turn: asking for the bytes 4 KiB
        // ahead (about three quarters of a 1920-pixel line, into the second-level cache,
        // leaving the first to the line buffers) keeps the memory busy; a 1920 x 1080
        // composition runs about a seventh faster than on the processor's own read-ahead
        // alone. A hint never faults, even past the end.
        _mm_prefetch(reinterpret_cast<const char*>(packed + 3 * i + 4096), _MM_HINT_T1);
        const __m512i bytes = _mm512_maskz_loadu_epi8(kFortyEightBytes, packed + 3 * i);
        _mm512_storeu_si512(pixels + i,
                            _mm512_or_si512(_mm512_permutexvar_epi8(low, bytes), alpha));
        _mm512_storeu_si512(pixels + i + 8,
                            _mm512_or_si512(_mm512_permutexvar_epi8(high, bytes), alpha));
    }
    loom::WidenRgb24Portable(packed + 3 * i, pixels + i, count - i);
}

/// Sixteen pixels a step. (v + 128) / 257 is, for every 16-bit v, the high byte of
/// min(v + 128, 65535) * 65281 >> 16 (saturation changes nothing: both give 255 there);
/// the red, green and blue results of two vectors are then gathered into 48 bytes.
LOOM_VBMI void PackVbmi(const BMM_Color_64* pixels, std::uint8_t* packed,
                        std::size_t count) noexcept {
    alignas(64) std::uint8_t index[64] = {};
    for (int pixel = 0; pixel < 16; ++pixel) {
        for (int channel = 0; channel < 3; ++channel) {
            index[3 * pixel + channel] = static_cast<std::uint8_t>(8 * pixel + 2 * channel + 1);
        }
    }
    const __m512i gather = _mm512_load_si512(index);
    const __m512i half = _mm512_set1_epi16(128);
    const __m512i scale = _mm512_set1_epi16(static_cast<short>(65281));
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i a =
            _mm512_mulhi_epu16(_mm512_adds_epu16(_mm512_loadu_si512(pixels + i), half), scale);
        const __m512i b =
            _mm512_mulhi_epu16(_mm512_adds_epu16(_mm512_loadu_si512(pixels + i + 8), half), scale);
        _mm512_mask_storeu_epi8(packed + 3 * i, kFortyEightBytes,
                                _mm512_permutex2var_epi8(a, gather, b));
    }
    loom::PackRgb24Portable(pixels + i, packed + 3 * i, count - i);
}

#define LOOM_AVX512BW __attribute__((target("avx512f,avx512bw")))

/// Thirty-two pixels a step from three whole 64-byte loads: group g of eight pixels takes
/// its 24 words from loads g / 2 and g / 2 + 1, and alpha words are set after. Eight pixels
/// a step from a 48-byte load for the rest. (Steps of eight with 48-byte loads, half of
/// them across two cache lines, made the 16-bit composition of 1920 x 1080 frames about 2%
/// slower.)
LOOM_AVX512BW void Widen48Avx512(const std::uint8_t* packed, BMM_Color_64* pixels,
                                 std::size_t count) noexcept {
    alignas(64) std::uint16_t index[4][32];
    for (int group = 0; group < 4; ++group) {
        const int firstWord = 24 * group - 32 * (group / 2);  // in the group's load pair
        for (int word = 0; word < 32; ++word) {
            const int pixel = word / 4, channel = word % 4;
            index[group][word] =
                static_cast<std::uint16_t>(channel == 3 ? 0 : firstWord + 3 * pixel + channel);
        }
    }
    const __m512i place0 = _mm512_load_si512(index[0]), place1 = _mm512_load_si512(index[1]);
    const __m512i place2 = _mm512_load_si512(index[2]), place3 = _mm512_load_si512(index[3]);
    const __m512i alpha = _mm512_set1_epi64(static_cast<long long>(0xFFFF000000000000ull));
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const std::uint8_t* at = packed + 6 * i;
        // As for RGB24, about three quarters of a 1920-pixel line ahead (a tenth faster).
        _mm_prefetch(reinterpret_cast<const char*>(at + 8192), _MM_HINT_T1);
        _mm_prefetch(reinterpret_cast<const char*>(at + 8192 + 64), _MM_HINT_T1);
        _mm_prefetch(reinterpret_cast<const char*>(at + 8192 + 128), _MM_HINT_T1);
        const __m512i load0 = _mm512_loadu_si512(at), load1 = _mm512_loadu_si512(at + 64);
        const __m512i load2 = _mm512_loadu_si512(at + 128);
        BMM_Color_64* out = pixels + i;
        _mm512_storeu_si512(
            out, _mm512_or_si512(_mm512_permutex2var_epi16(load0, place0, load1), alpha));
        _mm512_storeu_si512(
            out + 8, _mm512_or_si512(_mm512_permutex2var_epi16(load0, place1, load1), alpha));
        _mm512_storeu_si512(
            out + 16, _mm512_or_si512(_mm512_permutex2var_epi16(load1, place2, load2), alpha));
        _mm512_storeu_si512(
            out + 24, _mm512_or_si512(_mm512_permutex2var_epi16(load1, place3, load2), alpha));
    }
    constexpr __mmask32 kTwentyFourWords = (__mmask32{1} << 24) - 1;
    for (; i + 8 <= count; i += 8) {
        const __m512i words = _mm512_maskz_loadu_epi16(kTwentyFourWords, packed + 6 * i);
        _mm512_storeu_si512(pixels + i,
                            _mm512_or_si512(_mm512_permutexvar_epi16(place0, words), alpha));
    }
    loom::WidenRgb48Portable(packed + 6 * i, pixels + i, count - i);
}

/// Thirty-two pixels a step into three whole 64-byte stores: store s gathers output words
/// 32s..32s+31, whose pixels lie in input vectors s and s + 1. Eight pixels a step for the
/// rest: the first 24 words of store 0's gathering, from one vector.
LOOM_AVX512BW void Pack48Avx512(const BMM_Color_64* pixels, std::uint8_t* packed,
                                std::size_t count) noexcept {
    alignas(64) std::uint16_t index[3][32];
    for (int store = 0; store < 3; ++store) {
        for (int word = 0; word < 32; ++word) {
            const int out = 32 * store + word, pixel = out / 3, channel = out % 3;
            index[store][word] =
                static_cast<std::uint16_t>(32 * (pixel / 8 - store) + 4 * (pixel % 8) + channel);
        }
    }
    const __m512i gather0 = _mm512_load_si512(index[0]), gather1 = _mm512_load_si512(index[1]);
    const __m512i gather2 = _mm512_load_si512(index[2]);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m512i in0 = _mm512_loadu_si512(pixels + i),
                      in1 = _mm512_loadu_si512(pixels + i + 8);
        const __m512i in2 = _mm512_loadu_si512(pixels + i + 16);
        const __m512i in3 = _mm512_loadu_si512(pixels + i + 24);
        std::uint8_t* out = packed + 6 * i;
        _mm512_storeu_si512(out, _mm512_permutex2var_epi16(in0, gather0, in1));
        _mm512_storeu_si512(out + 64, _mm512_permutex2var_epi16(in1, gather1, in2));
        _mm512_storeu_si512(out + 128, _mm512_permutex2var_epi16(in2, gather2, in3));
    }
    constexpr __mmask32 kTwentyFourWords = (__mmask32{1} << 24) - 1;
    for (; i + 8 <= count; i += 8) {
        _mm512_mask_storeu_epi16(packed + 6 * i, kTwentyFourWords,
                                 _mm512_permutexvar_epi16(gather0, _mm512_loadu_si512(pixels + i)));
    }
    loom::PackRgb48Portable(pixels + i, packed + 6 * i, count - i);
}

/// Eight pixels a step. The C library's copy of a line of a 3840-pixel picture (30 KB,
/// larger than the first-level cache) made the 16-bit stereo render 3-5% slower.
LOOM_AVX512BW void CopyAvx512(const BMM_Color_64* from, BMM_Color_64* to,
                              std::size_t count) noexcept {
    const auto start = reinterpret_cast<std::uintptr_t>(to);
    const auto source = reinterpret_cast<std::uintptr_t>(from);
    if (start - source < count * sizeof(BMM_Color_64)) {  // a copy forward would overwrite
        loom::CopyPixelsPortable(from, to, count);        // pixels it has yet to read
        return;
    }
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) _mm512_storeu_si512(to + i, _mm512_loadu_si512(from + i));
    loom::CopyPixelsPortable(from + i, to + i, count - i);
}

/// Sixty-four pixels a step from four whole 64-byte loads into three whole stores: store s
/// gathers output bytes 64s..64s+63, whose pixels lie in loads s and s + 1. Sixteen pixels a
/// step from one load for the rest.
LOOM_VBMI void PackRgbaVbmi(const std::uint8_t* rgba, std::uint8_t* packed,
                            std::size_t count) noexcept {
    alignas(64) std::uint8_t index[3][64];
    for (int store = 0; store < 3; ++store) {
        for (int byte = 0; byte < 64; ++byte) {
            const int out = 64 * store + byte, pixel = out / 3, channel = out % 3;
            index[store][byte] = static_cast<std::uint8_t>(4 * pixel + channel - 64 * store);
        }
    }
    const __m512i gather0 = _mm512_load_si512(index[0]), gather1 = _mm512_load_si512(index[1]);
    const __m512i gather2 = _mm512_load_si512(index[2]);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const std::uint8_t* at = rgba + 4 * i;
        // Frames come from memory: as for RGB24, the bytes 4 KiB ahead are asked for.
        for (int ahead = 0; ahead < 256; ahead += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(at + 4096 + ahead), _MM_HINT_T1);
        }
        const __m512i in0 = _mm512_loadu_si512(at), in1 = _mm512_loadu_si512(at + 64);
        const __m512i in2 = _mm512_loadu_si512(at + 128), in3 = _mm512_loadu_si512(at + 192);
        std::uint8_t* out = packed + 3 * i;
        _mm512_storeu_si512(out, _mm512_permutex2var_epi8(in0, gather0, in1));
        _mm512_storeu_si512(out + 64, _mm512_permutex2var_epi8(in1, gather1, in2));
        _mm512_storeu_si512(out + 128, _mm512_permutex2var_epi8(in2, gather2, in3));
    }
    for (; i + 16 <= count; i += 16) {
        _mm512_mask_storeu_epi8(packed + 3 * i, kFortyEightBytes,
                                _mm512_permutexvar_epi8(gather0, _mm512_loadu_si512(rgba + 4 * i)));
    }
    loom::PackRgb24FromRgba32Portable(rgba + 4 * i, packed + 3 * i, count - i);
}

/// Sixty-four pixels a step from three whole 64-byte loads into four stores: group g of
/// sixteen pixels takes its 48 bytes from loads g / 2 and g / 2 + 1, and alpha bytes are
/// set after. Sixteen pixels a step from a 48-byte load for the rest.
LOOM_VBMI void WidenRgbaVbmi(const std::uint8_t* packed, std::uint8_t* rgba,
                             std::size_t count) noexcept {
    alignas(64) std::uint8_t index[4][64];
    for (int group = 0; group < 4; ++group) {
        const int firstByte = 48 * group - 64 * (group / 2);  // in the group's load pair
        for (int byte = 0; byte < 64; ++byte) {
            const int pixel = byte / 4, channel = byte % 4;
            index[group][byte] =
                static_cast<std::uint8_t>(channel == 3 ? 0 : firstByte + 3 * pixel + channel);
        }
    }
    const __m512i place0 = _mm512_load_si512(index[0]), place1 = _mm512_load_si512(index[1]);
    const __m512i place2 = _mm512_load_si512(index[2]), place3 = _mm512_load_si512(index[3]);
    const __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const std::uint8_t* at = packed + 3 * i;
        const __m512i in0 = _mm512_loadu_si512(at), in1 = _mm512_loadu_si512(at + 64);
        const __m512i in2 = _mm512_loadu_si512(at + 128);
        std::uint8_t* out = rgba + 4 * i;
        _mm512_storeu_si512(out,
                            _mm512_or_si512(_mm512_permutex2var_epi8(in0, place0, in1), alpha));
        _mm512_storeu_si512(out + 64,
                            _mm512_or_si512(_mm512_permutex2var_epi8(in0, place1, in1), alpha));
        _mm512_storeu_si512(out + 128,
                            _mm512_or_si512(_mm512_permutex2var_epi8(in1, place2, in2), alpha));
        _mm512_storeu_si512(out + 192,
                            _mm512_or_si512(_mm512_permutex2var_epi8(in1, place3, in2), alpha));
    }
    for (; i + 16 <= count; i += 16) {
        const __m512i bytes = _mm512_maskz_loadu_epi8(kFortyEightBytes, packed + 3 * i);
        _mm512_storeu_si512(rgba + 4 * i,
                            _mm512_or_si512(_mm512_permutexvar_epi8(place0, bytes), alpha));
    }
    loom::WidenRgb24ToRgba32Portable(packed + 3 * i, rgba + 4 * i, count - i);
}

// The vector forms, or null where the process's vector level is not AVX-512 with VBMI.
const Conversions* VectorConversions() noexcept {
    static const Conversions vectors{WidenVbmi,  PackVbmi,     Widen48Avx512, Pack48Avx512,
                                     CopyAvx512, PackRgbaVbmi, WidenRgbaVbmi};
    return loom::ActiveVectorExtension(loom::VectorExtension::kAvx512Vbmi) ? &vectors : nullptr;
}

}  // namespace

#else

namespace {
const Conversions* VectorConversions() noexcept { return nullptr; }
}  // namespace

#endif

namespace {

// Chosen once per process.
const Conversions& Active() noexcept {
    static const Conversions portable{
        loom::WidenRgb24Portable,        loom::PackRgb24Portable,
        loom::WidenRgb48Portable,        loom::PackRgb48Portable,
        loom::CopyPixelsPortable,        loom::PackRgb24FromRgba32Portable,
        loom::WidenRgb24ToRgba32Portable};
    static const Conversions* const active = [] {
        const Conversions* vectors = VectorConversions();
        return vectors ? vectors : &portable;
    }();
    return *active;
}

}  // namespace

namespace loom {

void WidenRgb24(const std::uint8_t* packed, BMM_Color_64* pixels, std::size_t count) noexcept {
    Active().widen24(packed, pixels, count);
}

void PackRgb24(const BMM_Color_64* pixels, std::uint8_t* packed, std::size_t count) noexcept {
    Active().pack24(pixels, packed, count);
}

void WidenRgb48(const std::uint8_t* packed, BMM_Color_64* pixels, std::size_t count) noexcept {
    Active().widen48(packed, pixels, count);
}

void PackRgb48(const BMM_Color_64* pixels, std::uint8_t* packed, std::size_t count) noexcept {
    Active().pack48(pixels, packed, count);
}

void CopyPixels(const BMM_Color_64* from, BMM_Color_64* to, std::size_t count) noexcept {
    Active().copy(from, to, count);
}

void PackRgb24FromRgba32(const std::uint8_t* rgba, std::uint8_t* packed,
                         std::size_t count) noexcept {
    Active().packRgba(rgba, packed, count);
}

void WidenRgb24ToRgba32(const std::uint8_t* packed, std::uint8_t* rgba,
                        std::size_t count) noexcept {
    Active().widenRgba(packed, rgba, count);
}

}  // namespace loom

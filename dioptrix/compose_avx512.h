#pragma once
/// The line composition eight pixels at a time with AVX-512, giving the scalar loop's
/// results bit for bit. Built for every x86-64 processor and chosen at run time.

#include <cstddef>
#include <cstdint>

#include "dioptrix/composite.h"

/// Whether an eye's intensity float(a*L + b), with the product and the sum in double, is
/// the float FMA of a, L and b for every luminance L in 0..65535. True when the exact sum
/// always fits in a double's 53 bits: then the double sum is exact, and rounding it to
/// float is the single rounding of the FMA. Holds for every compensation the setup dialog
/// offers except magnitudes below about 1e-8.
bool IntensityExactInFloat(float a, float b) noexcept;

/// A line to read ahead in, pixel x at `bytes` + x * `pixelBytes`.
struct AheadRun {
    const std::uint8_t* bytes = nullptr;
    int pixelBytes = 0;
    AheadRun From(int x) const noexcept {
        return {bytes ? bytes + static_cast<std::ptrdiff_t>(x) * pixelBytes : nullptr, pixelBytes};
    }
};

/// Composes the first pixels of the line, a multiple of eight, and answers how many; the
/// caller composes the rest. Each step brings the same pixels of `aheadA` and `aheadB`
/// toward the cache (a hint: nothing is read; both must span `width` pixels, and null
/// `aheadB` is skipped). Intensities are computed in single precision where
/// s.floatIntensity allows, and the clamps left out where s.withinChannel does. Answers 0
/// where AVX-512 is not built, and for equal eye channels.
int ComposeLineAvx512(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b, int width,
                      AheadRun aheadA, AheadRun aheadB) noexcept;

/// Composes a line of `width` packed 16-bit RGB pixels (six bytes each, RGB48) in place:
/// `a` holds the left view's and receives the result, `b` the right view's. The same bytes
/// as widening both lines (alpha 65535), ComposeLine and packing the result, as the host's
/// conversions do (loom::WidenRgb48, loom::PackRgb48). Answers false, touching nothing,
/// where AVX-512 is not built and for equal eye channels.
bool ComposePackedLineAvx512(const LineComposer& s, std::uint8_t* a, const std::uint8_t* b,
                             int width) noexcept;

/// The same for a line of `width` packed 8-bit RGB pixels (three bytes each, RGB24): the
/// same bytes as widening both lines (v * 257, alpha 65535), ComposeLine and packing the
/// result to the nearest 8-bit values, as the host's conversions do (loom::WidenRgb24,
/// loom::PackRgb24). Needs AVX-512 with VNNI and VBMI: the caller asks the processor.
/// Answers false, touching nothing, where AVX-512 is not built and for equal eye channels.
bool ComposePackedRgb24LineAvx512(const LineComposer& s, std::uint8_t* a, const std::uint8_t* b,
                                  int width) noexcept;

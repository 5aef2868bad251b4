#pragma once
/// Anaglyph methods beside the stereo filter's grey one: each colour method is a pair of
/// 3x3 matrices per kind of glasses, applied to the left and the right view and summed.
/// The matrices are data, written once in colour_methods.cpp. Pure functions over plain
/// data: no allocation, no state, safe on any thread.

#include <cstdint>
#include <string>

#include "foundation/host/sdk/bitmap.h"

namespace loom::stereo {

/// How a pair becomes one picture. kGrey is the stereo filter's own composition (one
/// channel per eye, with crosstalk compensation); the others are computed here.
enum class AnaglyphMethod { kGrey, kHalfColour, kColour, kDubois };

/// The glasses the picture is made for: the left eye's filter first.
enum class Glasses { kRedCyan, kGreenMagenta, kAmberBlue };

/// "grey", "half-colour", "colour", "dubois" (also the spellings "gray", "half-color",
/// "color"; any case). Throws std::runtime_error listing the choices otherwise.
AnaglyphMethod ParseAnaglyphMethod(const std::string& text);
/// "red-cyan", "green-magenta", "amber-blue" (any case). Throws std::runtime_error listing
/// the choices otherwise.
Glasses ParseGlasses(const std::string& text);
const char* MethodName(AnaglyphMethod method);
const char* GlassesName(Glasses glasses);

/// out = left * L + right * R for the RGB of each pixel, values 0..65535 as stored.
struct ColourMatrix {
    float left[3][3];   ///< rows: output r, g, b; columns: the left view's r, g, b
    float right[3][3];  ///< the same for the right view
};

/// The matrices of a colour method (not kGrey) for `glasses`.
/// Half-colour: the eye whose filter passes one primary sees the luminance of its view
/// (0.299 r + 0.587 g + 0.114 b) in that primary; the other eye's primaries keep their
/// colours. Colour: each eye's primaries as they are. Dubois: the published least-squares
/// projections for each kind of glasses.
const ColourMatrix& MethodMatrix(AnaglyphMethod method, Glasses glasses) noexcept;

/// Composes `width` pixels: each output channel is the matrix sum computed in single
/// precision in a fixed order, clamped to 0..65535 and rounded to nearest; alpha is the
/// larger of the two alphas. `out` may be `left` or `right`.
void ComposeColourLine(const ColourMatrix& m, const BMM_Color_64* left, const BMM_Color_64* right,
                       BMM_Color_64* out, int width) noexcept;
/// ComposeColourLine of two lines of packed pixels (RGB24 at `bits` 8, RGB48 otherwise, as
/// video frames hold them), read as the 16-bit pixels they widen to: the same bits as
/// widening both lines and composing them.
void ComposeColourLinePacked(const ColourMatrix& m, int bits, const std::uint8_t* left,
                             const std::uint8_t* right, BMM_Color_64* out, int width) noexcept;

}  // namespace loom::stereo

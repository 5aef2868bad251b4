#pragma once
/// The user's own colour composition: a 3x6 matrix (rows the output's red, green and blue;
/// columns the left view's red, green, blue, then the right view's), and composition in
/// linear light (the views decoded from sRGB, composed, the result encoded again).

#include <string>

#include "app/core/stereo/colour_methods.h"

namespace loom::stereo {

/// 18 numbers separated by commas (spaces, tabs and new lines allowed around them), or the
/// name of a file holding them (at most 64 KiB; '#' starts a comment to the end of the
/// line). Each must be finite and within -16..16. Throws std::runtime_error naming
/// --matrix, the file and what is wrong.
ColourMatrix ParseColourMatrix(const std::string& textOrFile);

/// ComposeColourLine in linear light: each view's 16-bit sRGB values decoded to linear
/// light (a table), composed by the matrix in single precision, clamped to 0..1 and encoded
/// to sRGB, rounded to 16 bits; alpha the larger of the two. `out` may be `left` or `right`.
void ComposeColourLineLinear(const ColourMatrix& m, const BMM_Color_64* left,
                             const BMM_Color_64* right, BMM_Color_64* out, int width) noexcept;

}  // namespace loom::stereo

#pragma once
/// NumPy arrays to and from the host's images: renders as float32 arrays without a copy
/// for colour, pictures of uint8, uint16 or float32 as 16-bit images the way the image
/// reader makes them of files of those types.

#include <pybind11/numpy.h>

#include "foundation/host/sdk/bitmap.h"
#include "python/src/texture.h"

namespace loomwork {

/// Any array-like (an array, nested sequences of numbers, an object with __array__) as a
/// NumPy array; `what` begins the TypeError for anything else.
pybind11::array ArrayArg(const pybind11::object& value, const std::string& what);

/// The render's image for `output` as (H, W, 4) colour, (H, W) mono or (H, W, 3) normals.
pybind11::array RenderArray(loom::RenderImages&& images, Output output);

/// An array of shape (H, W), (H, W, 1..4) and dtype uint8, uint16 or float (float64 and
/// float16 taken as float32) as a 16-bit image: uint8 scaled by 257, floats clamped to 0..1 and
/// scaled to 65535 by the image library's own conversion; one channel is grey, two grey and alpha,
/// three RGB, four RGBA. `what` begins every error (a ValueError).
loom::Image16 Image16FromArray(const pybind11::array& array, const std::string& what);

/// A 16-bit image as (H, W, 4) uint16, or (H, W, 3) when it has no alpha.
pybind11::array ArrayFromImage16(const loom::Image16& image);

/// An array of shape (H, W), (H, W, 3) or (H, W, 4) of floats as an RGBA float image
/// (grey copied to the three colours, alpha 1 where there is none).
loom::FloatImage FloatImageFromArray(const pybind11::array& array, const std::string& what);

}  // namespace loomwork

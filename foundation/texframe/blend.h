#pragma once
/// The two-colour blend that ends the patterns of the two-colour textures. A is the side
/// of sub-map 1 (or colour 1), B that of sub-map 0 (or colour 0); w is the pattern's
/// weight. Each flag counts only when it holds exactly 1. Results are not clamped here.

#include "foundation/host/base/core.h"

namespace loom {

enum class BlendOrder {
    NegativeFirst,  ///< start from A; negative step, then positive step on its result
    PositiveFirst,  ///< start from A; positive step, then negative step on its result
};

float BlendValue(float w, float a, float b, int positive, int negative, BlendOrder order) noexcept;
Color BlendColor(float w, const Color& a, const Color& b, int positive, int negative,
                 BlendOrder order) noexcept;

}  // namespace loom

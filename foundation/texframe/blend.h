#pragma once
/// The two-colour blend that ends the patterns of the two-colour textures. A is the side
/// of sub-map 1 (or colour 1), B that of sub-map 0 (or colour 0); w is the pattern's
/// weight. Each flag counts only when it holds exactly 1. Results are not clamped here,
/// except by the batch form that says so.

#include "foundation/host/base/core.h"

namespace loom {

enum class BlendOrder {
    NegativeFirst,  ///< start from A; negative step, then positive step on its result
    PositiveFirst,  ///< start from A; positive step, then negative step on its result
};

float BlendValue(float w, float a, float b, int positive, int negative, BlendOrder order) noexcept;
Color BlendColor(float w, const Color& a, const Color& b, int positive, int negative,
                 BlendOrder order) noexcept;

/// BlendColor(w, a, b, positive, negative, order) with alpha 1, clamped as
/// AColor::ClampMinMax clamps: one sample of BlendColorClampedBatch, the same bits.
AColor BlendColorClamped(float w, const Color& a, const Color& b, int positive, int negative,
                         BlendOrder order) noexcept;

/// out[i] = BlendColor(w[i], a[i], b[i], positive, negative, order) with alpha 1, clamped
/// as AColor::ClampMinMax clamps (0..1, NaN to 0): the same bits, for i < n, with the flag
/// tests made once for the whole batch.
void BlendColorClampedBatch(const float* w, const Color* a, const Color* b, int positive,
                            int negative, BlendOrder order, int n, AColor* out) noexcept;

}  // namespace loom

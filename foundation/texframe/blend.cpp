#include "foundation/texframe/blend.h"

namespace loom {
namespace {

float Positive(double w, double r, double b) noexcept {
    return static_cast<float>(w * r + (1.0 - w) * b);
}

float Negative(double w, double r, double b) noexcept {
    return static_cast<float>(w * r - (1.0 - w) * b);
}

}  // namespace

float BlendValue(float w, float a, float b, int positive, int negative, BlendOrder order) noexcept {
    float r = a;
    if (order == BlendOrder::NegativeFirst) {
        if (negative == 1) r = Negative(Widen(w), Widen(r), Widen(b));
        if (positive == 1) r = Positive(Widen(w), Widen(r), Widen(b));
    } else {
        if (positive == 1) r = Positive(Widen(w), Widen(r), Widen(b));
        if (negative == 1) r = Negative(Widen(w), Widen(r), Widen(b));
    }
    return r;
}

Color BlendColor(float w, const Color& a, const Color& b, int positive, int negative,
                 BlendOrder order) noexcept {
    return Color(BlendValue(w, a.r, b.r, positive, negative, order),
                 BlendValue(w, a.g, b.g, positive, negative, order),
                 BlendValue(w, a.b, b.b, positive, negative, order));
}

}  // namespace loom

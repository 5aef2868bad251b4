#include "foundation/texframe/blend.h"

namespace loom {
namespace {

float Positive(double w, double r, double b) noexcept {
    return static_cast<float>(w * r + (1.0 - w) * b);
}

float Negative(double w, double r, double b) noexcept {
    return static_cast<float>(w * r - (1.0 - w) * b);
}

/// The steps a pair of flags and an order select, in the order they run.
enum class Steps { kNone, kPositive, kNegative, kNegativeThenPositive, kPositiveThenNegative };

Steps StepsOf(int positive, int negative, BlendOrder order) noexcept {
    const bool p = positive == 1, n = negative == 1;
    if (p && n) {
        return order == BlendOrder::NegativeFirst ? Steps::kNegativeThenPositive
                                                  : Steps::kPositiveThenNegative;
    }
    if (p) return Steps::kPositive;
    if (n) return Steps::kNegative;
    return Steps::kNone;
}

template <Steps kSteps>
inline float Blend(double w, float a, float b) noexcept {
    const double wb = Widen(b);
    if constexpr (kSteps == Steps::kPositive) return Positive(w, Widen(a), wb);
    if constexpr (kSteps == Steps::kNegative) return Negative(w, Widen(a), wb);
    if constexpr (kSteps == Steps::kNegativeThenPositive) {
        return Positive(w, Widen(Negative(w, Widen(a), wb)), wb);
    }
    if constexpr (kSteps == Steps::kPositiveThenNegative) {
        return Negative(w, Widen(Positive(w, Widen(a), wb)), wb);
    }
    return a;
}

// ClampUnit's rule, here where the compiler can inline it into the loop.
inline float Clamped(float v) noexcept {
    if (!(v > 0.0f)) return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

template <Steps kSteps>
inline AColor BlendClamped(float w, const Color& a, const Color& b) noexcept {
    const double wd = Widen(w);
    return AColor(Clamped(Blend<kSteps>(wd, a.r, b.r)), Clamped(Blend<kSteps>(wd, a.g, b.g)),
                  Clamped(Blend<kSteps>(wd, a.b, b.b)), 1.0f);
}

template <Steps kSteps>
void BlendClampedLoop(const float* w, const Color* a, const Color* b, int n, AColor* out) noexcept {
    for (int i = 0; i < n; ++i) out[i] = BlendClamped<kSteps>(w[i], a[i], b[i]);
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

void BlendColorClampedBatch(const float* w, const Color* a, const Color* b, int positive,
                            int negative, BlendOrder order, int n, AColor* out) noexcept {
    switch (StepsOf(positive, negative, order)) {
        case Steps::kNone:
            return BlendClampedLoop<Steps::kNone>(w, a, b, n, out);
        case Steps::kPositive:
            return BlendClampedLoop<Steps::kPositive>(w, a, b, n, out);
        case Steps::kNegative:
            return BlendClampedLoop<Steps::kNegative>(w, a, b, n, out);
        case Steps::kNegativeThenPositive:
            return BlendClampedLoop<Steps::kNegativeThenPositive>(w, a, b, n, out);
        case Steps::kPositiveThenNegative:
            return BlendClampedLoop<Steps::kPositiveThenNegative>(w, a, b, n, out);
    }
}

AColor BlendColorClamped(float w, const Color& a, const Color& b, int positive, int negative,
                         BlendOrder order) noexcept {
    switch (StepsOf(positive, negative, order)) {
        case Steps::kNone:
            break;
        case Steps::kPositive:
            return BlendClamped<Steps::kPositive>(w, a, b);
        case Steps::kNegative:
            return BlendClamped<Steps::kNegative>(w, a, b);
        case Steps::kNegativeThenPositive:
            return BlendClamped<Steps::kNegativeThenPositive>(w, a, b);
        case Steps::kPositiveThenNegative:
            return BlendClamped<Steps::kPositiveThenNegative>(w, a, b);
    }
    return BlendClamped<Steps::kNone>(w, a, b);
}

}  // namespace loom

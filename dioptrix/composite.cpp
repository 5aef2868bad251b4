#include "dioptrix/composite.h"

#include "foundation/host/core.h"

namespace {

constexpr WORD BMM_Color_64::*kChannels[3] = {&BMM_Color_64::r, &BMM_Color_64::g, &BMM_Color_64::b};

/// Truncates toward zero into 0..65535; NaN gives 0. Inside -0.5..0 the compensations
/// keep every value in range; the clamp guards against anything else.
WORD Store16(double v) noexcept {
    if (!(v > 0.0)) return 0;
    if (v >= 65535.0) return 65535;
    return static_cast<WORD>(v);
}

}  // namespace

CrossCorrection StereoCoefficients(float cL, float cR, double fullScale) noexcept {
    const double l = Widen(cL);
    const double r = Widen(cR);
    const double d = 1.0 - l * r;
    CrossCorrection k;
    k.aL = static_cast<float>((1.0 + l) / d);
    k.aR = static_cast<float>((1.0 + r) / d);
    k.bL = static_cast<float>(fullScale * l * (r * (1.0 + l) - (1.0 + r)) / (d * d));
    k.bR = static_cast<float>(fullScale * r * (l * (1.0 + r) - (1.0 + l)) / (d * d));
    return k;
}

int ThirdChannel(int left, int right) noexcept {
    int t = 2;
    if (left == 2 || right == 2) t = 1;
    if (t == left || t == right) t = 0;
    return t;
}

LineComposer MakeLineComposer(const DioptrixConfig& inRange) noexcept {
    const int l = inRange.leftEyeColor % 3;  // in range already; the modulo keeps indexing safe
    const int r = inRange.rightEyeColor % 3;
    LineComposer s;
    s.left = kChannels[l];
    s.right = kChannels[r];
    s.third = kChannels[ThirdChannel(l, r)];
    s.cL = inRange.leftCompensation;
    s.cR = inRange.rightCompensation;
    s.k = StereoCoefficients(s.cL, s.cR, 65535.0);
    return s;
}

void ComposeLine(const LineComposer& s, BMM_Color_64* a, const BMM_Color_64* b,
                 int width) noexcept {
    const double aL = Widen(s.k.aL), bL = Widen(s.k.bL);
    const double aR = Widen(s.k.aR), bR = Widen(s.k.bR);
    const double cL = Widen(s.cL), cR = Widen(s.cR);
    for (int x = 0; x < width; ++x) {
        BMM_Color_64& p = a[x];
        const BMM_Color_64& q = b[x];
        const double ls = StereoLuminance(p);
        const double lf = StereoLuminance(q);
        const float il = static_cast<float>(aL * ls + bL);
        const float ir = static_cast<float>(aR * lf + bR);
        p.*s.left = Store16(Widen(il) + cL * Widen(ir));
        p.*s.right = Store16(Widen(ir) + cR * Widen(il));
        p.*s.third = 0;
        if (q.a > p.a) p.a = q.a;
    }
}

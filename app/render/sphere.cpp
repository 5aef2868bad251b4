#include "app/render/sphere.h"

#include <cmath>

namespace loom {
namespace {

void Store(FloatImage& img, int x, int y, double r, double g, double b, double a) {
    size_t i =
        (static_cast<size_t>(y) * static_cast<size_t>(img.width) + static_cast<size_t>(x)) * 4;
    img.rgba[i] = static_cast<float>(r);
    img.rgba[i + 1] = static_cast<float>(g);
    img.rgba[i + 2] = static_cast<float>(b);
    img.rgba[i + 3] = static_cast<float>(a);
}

}  // namespace

bool SphereHit(const RenderOptions& opt, double px, double py, Point3& hit) {
    const double halfH = kSphereWindowHalfHeight;
    const double halfW = halfH * opt.width / opt.height;
    const double wx = (2.0 * px / opt.width - 1.0) * halfW;
    const double wy = (1.0 - 2.0 * py / opt.height) * halfH;
    const double ex = Widen(opt.eyeOffset), ez = kSphereEyeDistance;
    // Ray E + t (W - E); |E + t d|^2 = 1.
    const double dx = wx - ex, dy = wy, dz = -ez;
    const double a = dx * dx + dy * dy + dz * dz;
    const double b = 2.0 * (ex * dx + ez * dz);
    const double c = ex * ex + ez * ez - 1.0;
    const double disc = b * b - 4.0 * a * c;
    if (disc < 0.0) return false;
    const double t = (-b - std::sqrt(disc)) / (2.0 * a);
    const double x = ex + t * dx, y = t * dy, z = ez + t * dz;
    const double len = std::sqrt(x * x + y * y + z * z);  // 1 up to rounding
    hit = Point3(static_cast<float>(x / len), static_cast<float>(y / len),
                 static_cast<float>(z / len));
    return true;
}

void RenderSpherePixel(Texmap* tex, const RenderOptions& opt, RenderImages& out, int x, int y) {
    constexpr int kSamples = 2;  // per axis
    SphereShadeContext sc;
    sc.curTime = opt.time;
    // Texture footprint of one sample: a window pixel seen at the sphere's distance, in
    // units of u (2 pi per turn) and v (pi from pole to pole).
    const double pixel = 2.0 * kSphereWindowHalfHeight / opt.height / kSamples;
    const auto du = static_cast<float>(pixel / (2.0 * 3.14159265358979323846));
    const auto dv = static_cast<float>(pixel / 3.14159265358979323846);
    double col[3] = {0, 0, 0}, mono = 0, nrm[3] = {0, 0, 0};
    for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
            Point3 p;
            if (!SphereHit(opt, x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples, p)) {
                nrm[2] += 1.0;
                continue;
            }
            sc.Set(p, du, dv);
            const double light = Widen(sc.Lighting());
            if (opt.color) {
                AColor c = tex->EvalColor(sc);
                col[0] += Widen(c.r) * light;
                col[1] += Widen(c.g) * light;
                col[2] += Widen(c.b) * light;
            }
            if (opt.mono) mono += Widen(tex->EvalMono(sc)) * light;
            if (opt.normal) {
                Point3 d = tex->EvalNormalPerturb(sc);
                double n[3] = {Widen(p.x) + Widen(d.x) * Widen(opt.bumpScale),
                               Widen(p.y) + Widen(d.y) * Widen(opt.bumpScale),
                               Widen(p.z) + Widen(d.z) * Widen(opt.bumpScale)};
                double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                if (!(len > 0.0) || !std::isfinite(len)) {
                    n[0] = Widen(p.x), n[1] = Widen(p.y), n[2] = Widen(p.z), len = 1.0;
                }
                for (int k = 0; k < 3; ++k) nrm[k] += n[k] / len;
            }
        }
    }
    const double w = 1.0 / (kSamples * kSamples);
    if (opt.color) Store(out.color, x, y, col[0] * w, col[1] * w, col[2] * w, 1.0);
    if (opt.mono) Store(out.mono, x, y, mono * w, mono * w, mono * w, 1.0);
    if (opt.normal) {
        Store(out.normal, x, y, 0.5 + 0.5 * nrm[0] * w, 0.5 + 0.5 * nrm[1] * w,
              0.5 + 0.5 * nrm[2] * w, 1.0);
    }
}

}  // namespace loom

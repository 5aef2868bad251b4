#include "app/core/render/sphere.h"

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

constexpr int kSamples = 2;  // per axis

struct Footprint {
    float du, dv;
};

// Texture footprint of one sample: a window pixel seen at the sphere's distance, in units
// of u (2 pi per turn) and v (pi from pole to pole).
Footprint SampleFootprint(const RenderOptions& opt) {
    const double pixel = 2.0 * kSphereWindowHalfHeight / opt.height / kSamples;
    return {static_cast<float>(pixel / (2.0 * 3.14159265358979323846)),
            static_cast<float>(pixel / 3.14159265358979323846)};
}

// Adds the shading normal at p perturbed by the texture's bump d.
void AddNormal(const RenderOptions& opt, const Point3& p, const Point3& d, double nrm[3]) {
    double n[3] = {Widen(p.x) + Widen(d.x) * Widen(opt.bumpScale),
                   Widen(p.y) + Widen(d.y) * Widen(opt.bumpScale),
                   Widen(p.z) + Widen(d.z) * Widen(opt.bumpScale)};
    double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(len > 0.0) || !std::isfinite(len)) {
        n[0] = Widen(p.x), n[1] = Widen(p.y), n[2] = Widen(p.z), len = 1.0;
    }
    for (int k = 0; k < 3; ++k) nrm[k] += n[k] / len;
}

void StorePixel(const RenderOptions& opt, RenderImages& out, int x, int y, const double col[3],
                double mono, const double nrm[3]) {
    const double w = 1.0 / (kSamples * kSamples);
    if (opt.color) Store(out.color, x, y, col[0] * w, col[1] * w, col[2] * w, 1.0);
    if (opt.mono) Store(out.mono, x, y, mono * w, mono * w, mono * w, 1.0);
    if (opt.normal) {
        Store(out.normal, x, y, 0.5 + 0.5 * nrm[0] * w, 0.5 + 0.5 * nrm[1] * w,
              0.5 + 0.5 * nrm[2] * w, 1.0);
    }
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
    SphereShadeContext sc;
    sc.curTime = opt.time;
    const Footprint f = SampleFootprint(opt);
    const float du = f.du, dv = f.dv;
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
            if (opt.normal) AddNormal(opt, p, tex->EvalNormalPerturb(sc), nrm);
        }
    }
    StorePixel(opt, out, x, y, col, mono, nrm);
}

void RenderSphereRow(Texmap* tex, const RenderOptions& opt, RenderImages& out, int y,
                     SphereRowBuffers& b) {
    const size_t most = static_cast<size_t>(opt.width) * kSamples * kSamples;
    if (b.hit.size() != most) {
        for (auto* a : {&b.u, &b.v, &b.du, &b.dv, &b.light, &b.mono}) a->resize(most);
        for (auto* a : {&b.p, &b.dpdu, &b.dpdv, &b.normal}) a->resize(most);
        b.color.resize(most);
        b.hit.resize(most);
    }
    // The samples that hit, in the order RenderSpherePixel meets them.
    SphereShadeContext sc;
    const Footprint f = SampleFootprint(opt);
    size_t hits = 0, k = 0;
    for (int x = 0; x < opt.width; ++x) {
        for (int sy = 0; sy < kSamples; ++sy) {
            for (int sx = 0; sx < kSamples; ++sx, ++k) {
                Point3 p;
                b.hit[k] = SphereHit(opt, x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples, p);
                if (!b.hit[k]) continue;
                sc.Set(p, f.du, f.dv);
                const Point3 uv = sc.UVW(1);
                Point3 dP[3];
                sc.DPdUVW(dP, 1);
                b.u[hits] = uv.x;
                b.v[hits] = uv.y;
                b.du[hits] = f.du;
                b.dv[hits] = f.dv;
                b.p[hits] = p;
                b.dpdu[hits] = dP[0];
                b.dpdv[hits] = dP[1];
                b.light[hits] = sc.Lighting();
                ++hits;
            }
        }
    }
    TexBatchPoints pts;
    pts.count = static_cast<int>(hits);
    pts.time = opt.time;
    pts.u = b.u.data();
    pts.v = b.v.data();
    pts.du = b.du.data();
    pts.dv = b.dv.data();
    pts.dpdu = b.dpdu.data();
    pts.dpdv = b.dpdv.data();
    pts.dpdw = b.p.data();  // as SphereShadeContext: the third derivative and the normal are P
    pts.p = b.p.data();
    pts.normal = b.p.data();
    if (opt.color) EvalColorBatch(tex, pts, b.color.data());
    if (opt.mono) EvalMonoBatch(tex, pts, b.mono.data());
    if (opt.normal) EvalNormalPerturbBatch(tex, pts, b.normal.data());

    // Each pixel's sums in RenderSpherePixel's order.
    size_t j = 0;
    k = 0;
    for (int x = 0; x < opt.width; ++x) {
        double col[3] = {0, 0, 0}, mono = 0, nrm[3] = {0, 0, 0};
        for (int s = 0; s < kSamples * kSamples; ++s, ++k) {
            if (!b.hit[k]) {
                nrm[2] += 1.0;
                continue;
            }
            const double light = Widen(b.light[j]);
            if (opt.color) {
                const AColor& c = b.color[j];
                col[0] += Widen(c.r) * light;
                col[1] += Widen(c.g) * light;
                col[2] += Widen(c.b) * light;
            }
            if (opt.mono) mono += Widen(b.mono[j]) * light;
            if (opt.normal) AddNormal(opt, b.p[j], b.normal[j], nrm);
            ++j;
        }
        StorePixel(opt, out, x, y, col, mono, nrm);
    }
}

}  // namespace loom

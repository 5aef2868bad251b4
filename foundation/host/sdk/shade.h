#pragma once
/// Shading contexts: what a texture knows about the point being shaded. One context
/// per sample per thread; never shared between threads.

#include <cmath>

#include "foundation/host/base/core.h"

class ShadeContext {
  public:
    virtual ~ShadeContext() = default;
    /// Texture coordinates of the point for a mapping channel.
    virtual Point3 UVW(int channel = 1) = 0;
    /// Change of the coordinates across the sample (filter width).
    virtual Point3 DUVW(int channel = 1) = 0;
    /// Surface derivatives dP/du, dP/dv, dP/dw.
    virtual void DPdUVW(Point3 dP[3], int channel = 1) = 0;
    virtual Point3 P() { return Point3(); }
    virtual Point3 Normal() { return Point3(0, 0, 1); }
    virtual TimeValue CurTime() { return curTime; }
    void SetGBufferID(int id) { gbufId = id; }

    TimeValue curTime = 0;
    int gbufId = 0;
};

namespace loom {

/// The unit square in the xy plane: P = (u, v, 0), normal +z, dP/du = x, dP/dv = y.
class PlaneShadeContext final : public ShadeContext {
  public:
    void Set(float u, float v, float du = 0.0f, float dv = 0.0f) {
        uv_ = Point3(u, v, 0.0f);
        duv_ = Point3(du, dv, 0.0f);
    }
    Point3 UVW(int) override { return uv_; }
    Point3 DUVW(int) override { return duv_; }
    void DPdUVW(Point3 dP[3], int) override {
        dP[0] = Point3(1, 0, 0);
        dP[1] = Point3(0, 1, 0);
        dP[2] = Point3(0, 0, 1);
    }
    Point3 P() override { return uv_; }

  private:
    Point3 uv_;
    Point3 duv_;
};

/// A point of the host's lit sample sphere: radius 1 about the origin, the pole along +y.
/// Texture coordinates are spherical: u once around the pole (0.5 facing +z, growing
/// towards +x), v from the bottom pole (0) to the top (1). One key light from the upper
/// left front lights it (`Lighting`).
class SphereShadeContext final : public ShadeContext {
  public:
    /// Direction towards the sample light (unit length).
    static constexpr Point3 kLightDir{-0.4558423f, 0.5698029f, 0.6837635f};

    /// Sets the point `p` (on the unit sphere) and the change of u and v across the sample.
    void Set(const Point3& p, float du, float dv) {
        p_ = p;
        const double x = Widen(p.x), y = Widen(p.y), z = Widen(p.z);
        const double pi = 3.14159265358979323846;
        const double latitude = std::asin(y < -1.0 ? -1.0 : (y > 1.0 ? 1.0 : y));
        uv_ = Point3(static_cast<float>(0.5 + std::atan2(x, z) / (2.0 * pi)),
                     static_cast<float>(0.5 + latitude / pi), 0.0f);
        duv_ = Point3(du, dv, 0.0f);
        // dP/du = 2 pi (z, 0, -x); dP/dv = pi (-y sin(lon), cos(lat), -y cos(lon)).
        const double ring = std::sqrt(x * x + z * z);
        const double sinLon = ring > 0.0 ? x / ring : 0.0;
        const double cosLon = ring > 0.0 ? z / ring : 1.0;
        dpdu_ = Point3(static_cast<float>(2.0 * pi * z), 0.0f, static_cast<float>(-2.0 * pi * x));
        dpdv_ = Point3(static_cast<float>(-pi * y * sinLon), static_cast<float>(pi * ring),
                       static_cast<float>(-pi * y * cosLon));
    }
    Point3 UVW(int) override { return uv_; }
    Point3 DUVW(int) override { return duv_; }
    void DPdUVW(Point3 dP[3], int) override {
        dP[0] = dpdu_;
        dP[1] = dpdv_;
        dP[2] = p_;
    }
    Point3 P() override { return p_; }
    Point3 Normal() override { return p_; }
    /// Light reaching the point: 0.15 ambient plus 0.85 times the cosine towards the light.
    float Lighting() const {
        double c = Widen(p_.x) * Widen(kLightDir.x) + Widen(p_.y) * Widen(kLightDir.y) +
                   Widen(p_.z) * Widen(kLightDir.z);
        return static_cast<float>(0.15 + 0.85 * (c > 0.0 ? c : 0.0));
    }

  private:
    Point3 p_{0.0f, 0.0f, 1.0f};
    Point3 uv_;
    Point3 duv_;
    Point3 dpdu_;
    Point3 dpdv_;
};

}  // namespace loom

#pragma once
/// Shading contexts: what a texture knows about the point being shaded. One context
/// per sample per thread; never shared between threads.

#include "foundation/host/core.h"

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

}  // namespace loom

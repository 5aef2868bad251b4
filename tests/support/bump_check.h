#pragma once
// Bump normals checked for their values: a texture's EvalNormalPerturb, evaluated through
// its own UV generator (the host's default one), against a central difference of the
// texture's mono output that the test computes itself from EvalMono at shifted points.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <span>

#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/shade.h"
#include "foundation/host/sdk/uvgen.h"

namespace loomtest {

/// A point of a surface whose derivatives dP/du and dP/dv are skewed, of unequal length
/// and out of the xy plane, so that a perturbation that swaps, drops or rescales one of
/// them cannot pass for the right one.
class SkewedShadeContext final : public ShadeContext {
  public:
    static constexpr Point3 kDPdu{2.0f, 0.5f, -0.25f};
    static constexpr Point3 kDPdv{-0.75f, 1.5f, 0.5f};

    void Set(float u, float v) { uv_ = Point3(u, v, 0.0f); }
    Point3 UVW(int) override { return uv_; }
    Point3 DUVW(int) override { return Point3(); }
    void DPdUVW(Point3 dP[3], int) override {
        dP[0] = kDPdu;
        dP[1] = kDPdv;
        dP[2] = Point3(0.0f, 0.0f, 1.0f);
    }

  private:
    Point3 uv_;
};

/// The texture's mono output at (u, v) through its public path (Update, then EvalMono in
/// a flat shading context), as a renderer asks for it.
inline double MonoAt(Texmap* tex, float u, float v, TimeValue t) {
    Interval valid = FOREVER;
    tex->Update(t, valid);
    loom::PlaneShadeContext sc;
    sc.curTime = t;
    sc.Set(u, v);
    return static_cast<double>(tex->EvalMono(sc));
}

struct MonoSlope {
    double du;
    double dv;
};

/// Central difference of the mono output along u and v, with the derivative step the host
/// documents for its UV generator, computed in double.
inline MonoSlope CentralDifference(Texmap* tex, float u, float v, TimeValue t) {
    const float h = loom::kDerivStep;
    const double width = 2.0 * static_cast<double>(h);
    return {(MonoAt(tex, u + h, v, t) - MonoAt(tex, u - h, v, t)) / width,
            (MonoAt(tex, u, v + h, t) - MonoAt(tex, u, v - h, t)) / width};
}

/// Checks EvalNormalPerturb at each point, in a flat context (dP/du = x, dP/dv = y) and in
/// a skewed one, against du * dP/du + dv * dP/dv from the test's own central difference.
///
/// Tolerance: both sides start from the same single-precision mono samples, and 2h is a
/// power of two, so the host's single-precision quotient is the test's double quotient
/// rounded once (half an ulp). Combining with dP/du and dP/dv rounds each product and
/// the sum once more in single precision, so each component is within a few ulps of the
/// sum of the magnitudes of its two terms; 4 * FLT_EPSILON of that sum covers it with
/// room, and is far below what a wrong step, sign, axis or basis vector would give.
///
/// Each point must lie where the mono output changes (a slope of at least 1e-3), so the
/// check cannot pass on a flat region with a zero normal.
inline void ExpectNormalsFollowMono(Texmap* tex, std::span<const Point2> points, TimeValue t = 0) {
    for (const Point2& p : points) {
        SCOPED_TRACE(testing::Message() << "at (" << p.x << ", " << p.y << ")");
        const MonoSlope s = CentralDifference(tex, p.x, p.y, t);
        ASSERT_GT(std::fabs(s.du) + std::fabs(s.dv), 1e-3) << "the mono output is flat here";

        Interval valid = FOREVER;
        tex->Update(t, valid);
        loom::PlaneShadeContext flat;
        flat.curTime = t;
        flat.Set(p.x, p.y);
        const Point3 n = tex->EvalNormalPerturb(flat);
        EXPECT_NEAR(n.x, s.du, 4.0 * FLT_EPSILON * std::fabs(s.du)) << "along u";
        EXPECT_NEAR(n.y, s.dv, 4.0 * FLT_EPSILON * std::fabs(s.dv)) << "along v";
        EXPECT_EQ(n.z, 0.0f);

        SkewedShadeContext skewed;
        skewed.curTime = t;
        skewed.Set(p.x, p.y);
        const Point3 m = tex->EvalNormalPerturb(skewed);
        const Point3 a = SkewedShadeContext::kDPdu, b = SkewedShadeContext::kDPdv;
        const double want[3] = {s.du * a.x + s.dv * b.x, s.du * a.y + s.dv * b.y,
                                s.du * a.z + s.dv * b.z};
        const double scale[3] = {std::fabs(s.du * a.x) + std::fabs(s.dv * b.x),
                                 std::fabs(s.du * a.y) + std::fabs(s.dv * b.y),
                                 std::fabs(s.du * a.z) + std::fabs(s.dv * b.z)};
        const float got[3] = {m.x, m.y, m.z};
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(got[i], want[i], 4.0 * FLT_EPSILON * scale[i]) << "component " << i;
        }
    }
}

}  // namespace loomtest

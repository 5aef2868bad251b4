#include "foundation/host/base/core.h"

#include <cmath>

float ClampUnit(float v) {
    if (!(v > 0.0f)) return 0.0f;  // also NaN
    return v > 1.0f ? 1.0f : v;
}

void Color::ClampMinMax() {
    r = ClampUnit(r);
    g = ClampUnit(g);
    b = ClampUnit(b);
}

void AColor::ClampMinMax() {
    r = ClampUnit(r);
    g = ClampUnit(g);
    b = ClampUnit(b);
    a = ClampUnit(a);
}

Point3 Matrix3::PointTransform(const Point3& p) const {
    return {p.x * m[0].x + p.y * m[1].x + p.z * m[2].x + m[3].x,
            p.x * m[0].y + p.y * m[1].y + p.z * m[2].y + m[3].y,
            p.x * m[0].z + p.y * m[1].z + p.z * m[2].z + m[3].z};
}

namespace {
ParamDimension gDefaultDim("default");
ParamDimension gStdColor255Dim("color255");
}  // namespace
ParamDimension* defaultDim = &gDefaultDim;
ParamDimension* stdColor255Dim = &gStdColor255Dim;

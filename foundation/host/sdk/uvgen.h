#pragma once
/// The UV generator: turns a shading context into texture coordinates (offset, tiling,
/// angle, optional wrap or mirror per axis) and calls a texture's sampler there.

#include "foundation/host/sdk/mtl.h"

/// The callback a texture hands to its UV generator. Called from render threads.
class MapSampler {
  public:
    virtual ~MapSampler() = default;
    virtual AColor Sample(ShadeContext& sc, float u, float v) = 0;
    virtual AColor SampleFilter(ShadeContext& sc, float u, float v, float du, float dv) = 0;
    virtual float SampleMono(ShadeContext& sc, float u, float v) = 0;
    virtual float SampleMonoFilter(ShadeContext& sc, float u, float v, float du, float dv) = 0;
};

/// Symmetry flags (SymFlags).
inline constexpr int U_WRAP = 1 << 0;
inline constexpr int V_WRAP = 1 << 1;
inline constexpr int U_MIRROR = 1 << 2;
inline constexpr int V_MIRROR = 1 << 3;

class UVGen : public MtlBase {
  public:
    SClass_ID SuperClassID() override { return UVGEN_CLASS_ID; }
    virtual AColor EvalUVMap(ShadeContext& sc, MapSampler* samp, BOOL filter = TRUE) = 0;
    virtual float EvalUVMapMono(ShadeContext& sc, MapSampler* samp, BOOL filter = TRUE) = 0;
    /// Derivative of the mono sample along u and v.
    virtual Point2 EvalDeriv(ShadeContext& sc, MapSampler* samp, BOOL filter = TRUE) = 0;
    virtual void GetBumpDP(ShadeContext& sc, Point3& dPdu, Point3& dPdv) = 0;
    virtual int SymFlags() = 0;
    virtual void SetSymFlags(int flags) = 0;
    virtual void GetUVTransform(Matrix3& uvtrans) = 0;
    virtual int GetTextureTiling() = 0;
    virtual void InitSlotType(int) {}
    virtual ULONG Requirements(int) { return 0; }
};

/// The host's standard generator: identity mapping by default (coordinates unchanged).
UVGen* GetNewDefaultUVGen();

namespace loom {

/// Rows of the standard generator's parameter block.
enum StdUVParam {
    kUVOffsetU = 0,
    kUVOffsetV,
    kUVTilingU,
    kUVTilingV,
    kUVAngle,  ///< degrees, about (0.5, 0.5)
    kUVSymFlags,
    kUVParamCount
};

/// Step of the central difference behind EvalDeriv, in texture coordinates.
inline constexpr float kDerivStep = 1.0f / 1024.0f;

}  // namespace loom

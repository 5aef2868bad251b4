#pragma once
/// Batch evaluation: a texture that answers GetInterface(I_TEXMAP_BATCH) evaluates many
/// samples in one call (structure of arrays in and out), beside its per-sample EvalColor,
/// EvalMono and EvalNormalPerturb. The per-sample calls stay the contract: a batch gives,
/// for every sample, exactly the bits the per-sample call would give at that point, and
/// draws from crt::rand() in the same order. A map that does not answer is evaluated
/// sample by sample through the helpers below, so third-party maps keep working.
///
/// A batch has no shading context to write a G-buffer ID into: callers that need the ID
/// use the per-sample calls.
///
/// Threads: as the per-sample calls (any number of render threads, one set of arrays each;
/// never during Update or an edit). Batch calls allocate nothing and never throw.

#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/shade.h"

/// Interface ID of ITexmapBatch in GetInterface.
inline constexpr ULONG I_TEXMAP_BATCH = 0x4C4D4201;

/// The samples of one batch. Element i of every array describes sample i; the arrays hold
/// at least `count` elements. The optional arrays may be null: then the samples lie on the
/// unit square as loom::PlaneShadeContext places them (P = (u, v, 0), normal +z,
/// dP/du = x, dP/dv = y, dP/dw = z).
struct TexBatchPoints {
    int count = 0;
    TimeValue time = 0;
    const float* u = nullptr;   ///< texture coordinates, UVW(1).x
    const float* v = nullptr;   ///< UVW(1).y
    const float* du = nullptr;  ///< filter width, DUVW(1).x
    const float* dv = nullptr;  ///< DUVW(1).y
    const Point3* dpdu = nullptr;
    const Point3* dpdv = nullptr;
    const Point3* dpdw = nullptr;
    const Point3* p = nullptr;
    const Point3* normal = nullptr;

    /// Samples first .. first + n - 1 as a batch of their own.
    TexBatchPoints Slice(int first, int n) const {
        TexBatchPoints s = *this;
        s.count = n;
        s.u = u + first;
        s.v = v + first;
        s.du = du + first;
        s.dv = dv + first;
        if (dpdu) s.dpdu = dpdu + first;
        if (dpdv) s.dpdv = dpdv + first;
        if (dpdw) s.dpdw = dpdw + first;
        if (p) s.p = p + first;
        if (normal) s.normal = normal + first;
        return s;
    }
};

class ITexmapBatch {
  public:
    /// out[i] = EvalColor at sample i.
    virtual void EvalColorBatch(const TexBatchPoints& pts, AColor* out) noexcept = 0;
    /// out[i] = EvalMono at sample i.
    virtual void EvalMonoBatch(const TexBatchPoints& pts, float* out) noexcept = 0;
    /// out[i] = EvalNormalPerturb at sample i.
    virtual void EvalNormalPerturbBatch(const TexBatchPoints& pts, Point3* out) noexcept = 0;
    /// How many maps of this map's tree (itself included) may draw from crt::rand() while
    /// evaluating; a parent batches its tree only when at most one does, since only then
    /// is the order of the draws that of the per-sample calls.
    virtual int RandomDrawingMaps() noexcept = 0;
    /// The instruction set the batch runs on ("avx512", "avx2", "sse2" or "scalar").
    virtual const char* BatchIsaName() noexcept = 0;

  protected:
    ~ITexmapBatch() = default;
};

/// Interface ID of IUVGenBatch in GetInterface.
inline constexpr ULONG I_UVGEN_BATCH = 0x4C4D4202;

/// Answered by a UV generator whose EvalUVMap and EvalUVMapMono call their sampler exactly
/// once, at coordinates that depend only on the sample's point, and return its answer
/// unchanged. A texture then maps a whole batch with one call; a generator that does not
/// answer is asked sample by sample.
class IUVGenBatch {
  public:
    /// (u[i], v[i]) = the coordinates the generator's EvalUVMap samples at for sample i.
    virtual void MapBatch(const TexBatchPoints& pts, float* u, float* v) noexcept = 0;

  protected:
    ~IUVGenBatch() = default;
};

namespace loom {

/// A shading context that reads sample `Select(i)` of a batch.
class BatchShadeContext final : public ShadeContext {
  public:
    explicit BatchShadeContext(const TexBatchPoints& pts) : pts_(pts) { curTime = pts.time; }
    void Select(int i) { i_ = i; }
    Point3 UVW(int) override { return Point3(pts_.u[i_], pts_.v[i_], 0.0f); }
    Point3 DUVW(int) override { return Point3(pts_.du[i_], pts_.dv[i_], 0.0f); }
    void DPdUVW(Point3 dP[3], int) override {
        dP[0] = pts_.dpdu ? pts_.dpdu[i_] : Point3(1, 0, 0);
        dP[1] = pts_.dpdv ? pts_.dpdv[i_] : Point3(0, 1, 0);
        dP[2] = pts_.dpdw ? pts_.dpdw[i_] : Point3(0, 0, 1);
    }
    Point3 P() override { return pts_.p ? pts_.p[i_] : Point3(pts_.u[i_], pts_.v[i_], 0.0f); }
    Point3 Normal() override { return pts_.normal ? pts_.normal[i_] : Point3(0, 0, 1); }

  private:
    const TexBatchPoints& pts_;
    int i_ = 0;
};

/// The map's batch interface, or null when it has none.
inline ITexmapBatch* GetTexmapBatch(Texmap* map) {
    return map ? static_cast<ITexmapBatch*>(map->GetInterface(I_TEXMAP_BATCH)) : nullptr;
}

/// EvalColor of `map` at every sample: through its batch interface when it has one,
/// otherwise sample by sample.
inline void EvalColorBatch(Texmap* map, const TexBatchPoints& pts, AColor* out) {
    if (ITexmapBatch* b = GetTexmapBatch(map)) return b->EvalColorBatch(pts, out);
    BatchShadeContext sc(pts);
    for (int i = 0; i < pts.count; ++i) {
        sc.Select(i);
        out[i] = map->EvalColor(sc);
    }
}

/// EvalMono of `map` at every sample (batched when offered).
inline void EvalMonoBatch(Texmap* map, const TexBatchPoints& pts, float* out) {
    if (ITexmapBatch* b = GetTexmapBatch(map)) return b->EvalMonoBatch(pts, out);
    BatchShadeContext sc(pts);
    for (int i = 0; i < pts.count; ++i) {
        sc.Select(i);
        out[i] = map->EvalMono(sc);
    }
}

/// EvalNormalPerturb of `map` at every sample (batched when offered).
inline void EvalNormalPerturbBatch(Texmap* map, const TexBatchPoints& pts, Point3* out) {
    if (ITexmapBatch* b = GetTexmapBatch(map)) return b->EvalNormalPerturbBatch(pts, out);
    BatchShadeContext sc(pts);
    for (int i = 0; i < pts.count; ++i) {
        sc.Select(i);
        out[i] = map->EvalNormalPerturb(sc);
    }
}

/// RandomDrawingMaps of a map's tree; a map without the interface may draw (1), none 0.
inline int RandomDrawingMaps(Texmap* map) {
    if (!map) return 0;
    ITexmapBatch* b = GetTexmapBatch(map);
    return b ? b->RandomDrawingMaps() : 1;
}

}  // namespace loom

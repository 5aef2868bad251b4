// Batch evaluation of the texture frame: record where the UV generator samples, run the
// pattern on all those points at once, then let the generator form its results from the
// recorded answers. The generator's own arithmetic thus runs exactly as in the per-sample
// calls, whatever generator it is.
#include <algorithm>

#include "foundation/texframe/tex_frame.h"
#include "foundation/vecmath/vec_math.h"

namespace loom {
namespace {

/// Answers every sample request with a placeholder and notes where it was asked.
class PointRecorder final : public MapSampler {
  public:
    PointRecorder(float* u, float* v, int capacity) : u_(u), v_(v), capacity_(capacity) {}
    AColor Sample(ShadeContext&, float u, float v) override { return Note(u, v), AColor(); }
    AColor SampleFilter(ShadeContext&, float u, float v, float, float) override {
        return Note(u, v), AColor();
    }
    float SampleMono(ShadeContext&, float u, float v) override { return Note(u, v), 0.0f; }
    float SampleMonoFilter(ShadeContext&, float u, float v, float, float) override {
        return Note(u, v), 0.0f;
    }
    int Count() const { return count_; }

  private:
    void Note(float u, float v) {
        if (count_ < capacity_) {
            u_[count_] = u;
            v_[count_] = v;
        }
        ++count_;
    }
    float* u_;
    float* v_;
    int capacity_;
    int count_ = 0;
};

/// Answers the sample requests, in order, with values computed beforehand.
template <class T>
class Replayer final : public MapSampler {
  public:
    Replayer(const T* values, int count) : values_(values), count_(count) {}
    AColor Sample(ShadeContext&, float, float) override { return AsColor(Next()); }
    AColor SampleFilter(ShadeContext&, float, float, float, float) override {
        return AsColor(Next());
    }
    float SampleMono(ShadeContext&, float, float) override { return AsMono(Next()); }
    float SampleMonoFilter(ShadeContext&, float, float, float, float) override {
        return AsMono(Next());
    }

  private:
    // The recording checked the request count, so the bound is never reached.
    T Next() { return values_[std::min(next_++, count_ - 1)]; }
    static AColor AsColor(const AColor& c) { return c; }
    static AColor AsColor(float m) { return AColor(m, m, m, 1.0f); }
    static float AsMono(float m) { return m; }
    static float AsMono(const AColor& c) { return c.r; }
    const T* values_;
    int count_;
    int next_ = 0;
};

/// The generator's batch mapping, when it offers one.
IUVGenBatch* DirectMapping(UVGen* gen) {
    return static_cast<IUVGenBatch*>(gen->GetInterface(I_UVGEN_BATCH));
}

}  // namespace

BatchSubset::BatchSubset(const TexBatchPoints& pts, const int* index, int count) {
    pts_.count = count;
    pts_.time = pts.time;
    for (int k = 0; k < count; ++k) {
        const int i = index[k];
        u_[k] = pts.u[i];
        v_[k] = pts.v[i];
        du_[k] = pts.du[i];
        dv_[k] = pts.dv[i];
        if (pts.dpdu) dpdu_[k] = pts.dpdu[i];
        if (pts.dpdv) dpdv_[k] = pts.dpdv[i];
        if (pts.dpdw) dpdw_[k] = pts.dpdw[i];
        if (pts.p) p_[k] = pts.p[i];
        if (pts.normal) normal_[k] = pts.normal[i];
    }
    pts_.u = u_;
    pts_.v = v_;
    pts_.du = du_;
    pts_.dv = dv_;
    pts_.dpdu = pts.dpdu ? dpdu_ : nullptr;
    pts_.dpdv = pts.dpdv ? dpdv_ : nullptr;
    pts_.dpdw = pts.dpdw ? dpdw_ : nullptr;
    pts_.p = pts.p ? p_ : nullptr;
    pts_.normal = pts.normal ? normal_ : nullptr;
}

void* TexFrame::GetInterface(ULONG id) {
    if (id == I_TEXMAP_BATCH) return static_cast<ITexmapBatch*>(this);
    if (id == I_TEXMAP_VARIATION) return static_cast<ITexmapVariation*>(this);
    return Texmap::GetInterface(id);
}

int TexFrame::RandomDrawingMaps() noexcept {
    int n = PatternDrawsRandom() ? 1 : 0;
    for (int i = 0; i < NumSubTexmaps(); ++i) n += loom::RandomDrawingMaps(subTex_[i]);
    return n;
}

const char* TexFrame::BatchIsaName() noexcept { return vecmath::IsaName(vecmath::ActiveIsa()); }

void TexFrame::PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                 AColor* out) {
    BatchShadeContext sc(pts);
    for (int i = 0; i < pts.count; ++i) {
        sc.Select(i);
        out[i] = PatternColor(sc, u[i], v[i]);
    }
}

void TexFrame::PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                float* out) {
    BatchShadeContext sc(pts);
    for (int i = 0; i < pts.count; ++i) {
        sc.Select(i);
        out[i] = PatternMono(sc, u[i], v[i]);
    }
}

void TexFrame::PatternPreviewBatch(const float* u, const float* v, int n, AColor* out) {
    for (int i = 0; i < n; ++i) out[i] = PatternPreview(u[i], v[i]);
}

namespace {

/// Evaluates `pts` in pieces of at most kTexBatchMax: through the generator's direct batch
/// mapping when it has one; else by recording where the generator samples and, when it
/// samples each point once, evaluating the pattern on the recorded points and replaying the
/// results through it; else sample by sample. `batched` is false when the generator is
/// missing or the tree draws random numbers in more than one map (their order is kept).
template <class T, class PatternBatch, class MapOne, class EvalOne>
void EvalInBatches(const TexBatchPoints& pts, T* out, UVGen* gen, bool batched,
                   PatternBatch patternBatch, MapOne mapOne, EvalOne evalOne) {
    IUVGenBatch* direct = batched ? DirectMapping(gen) : nullptr;
    for (int first = 0; first < pts.count; first += kTexBatchMax) {
        const TexBatchPoints part = pts.Slice(first, std::min(kTexBatchMax, pts.count - first));
        T* res = out + first;
        float u[kTexBatchMax], v[kTexBatchMax];
        if (direct) {
            direct->MapBatch(part, u, v);
            patternBatch(part, u, v, res);
            continue;
        }
        BatchShadeContext sc(part);
        bool oneEach = batched;
        if (batched) {
            PointRecorder rec(u, v, part.count);
            for (int i = 0; i < part.count && oneEach; ++i) {
                sc.Select(i);
                mapOne(sc, &rec);
                oneEach = rec.Count() == i + 1;
            }
        }
        if (!oneEach) {
            for (int i = 0; i < part.count; ++i) {
                sc.Select(i);
                res[i] = evalOne(sc);
            }
            continue;
        }
        T values[kTexBatchMax];
        patternBatch(part, u, v, values);
        Replayer<T> replay(values, part.count);
        for (int i = 0; i < part.count; ++i) {
            sc.Select(i);
            res[i] = mapOne(sc, &replay);
        }
    }
}

}  // namespace

void TexFrame::EvalColorBatch(const TexBatchPoints& pts, AColor* out) noexcept {
    EvalInBatches<AColor>(
        pts, out, uvGen_, uvGen_ && RandomDrawingMaps() <= 1,
        [this](const TexBatchPoints& part, const float* u, const float* v, AColor* res) {
            PatternColorBatch(part, u, v, res);
        },
        [this](ShadeContext& sc, MapSampler* sampler) {
            return uvGen_->EvalUVMap(sc, sampler, TRUE);
        },
        [this](ShadeContext& sc) { return EvalColor(sc); });
}

void TexFrame::EvalMonoBatch(const TexBatchPoints& pts, float* out) noexcept {
    EvalInBatches<float>(
        pts, out, uvGen_, uvGen_ && RandomDrawingMaps() <= 1,
        [this](const TexBatchPoints& part, const float* u, const float* v, float* res) {
            PatternMonoBatch(part, u, v, res);
        },
        [this](ShadeContext& sc, MapSampler* sampler) {
            return uvGen_->EvalUVMapMono(sc, sampler, TRUE);
        },
        [this](ShadeContext& sc) { return EvalMono(sc); });
}

void TexFrame::EvalNormalPerturbBatch(const TexBatchPoints& pts, Point3* out) noexcept {
    // The derivative samples each point four times; a piece of the batch is sized so that
    // its four-fold expansion fits the working arrays.
    constexpr int kPiece = kTexBatchMax / 4;
    const bool batched = uvGen_ && RandomDrawingMaps() <= 1;
    for (int first = 0; first < pts.count; first += kPiece) {
        const TexBatchPoints part = pts.Slice(first, std::min(kPiece, pts.count - first));
        Point3* res = out + first;
        BatchShadeContext sc(part);
        float u[kTexBatchMax], v[kTexBatchMax];
        bool fourEach = batched;
        if (batched) {
            PointRecorder rec(u, v, 4 * part.count);
            for (int i = 0; i < part.count && fourEach; ++i) {
                sc.Select(i);
                uvGen_->EvalDeriv(sc, &rec, TRUE);
                fourEach = rec.Count() == 4 * (i + 1);
            }
        }
        if (!fourEach) {
            for (int i = 0; i < part.count; ++i) {
                sc.Select(i);
                res[i] = EvalNormalPerturb(sc);
            }
            continue;
        }
        // Sub-maps see each sample's own point four times, as in the per-sample calls.
        float eu[kTexBatchMax], ev[kTexBatchMax], edu[kTexBatchMax], edv[kTexBatchMax];
        Point3 edpdu[kTexBatchMax], edpdv[kTexBatchMax], edpdw[kTexBatchMax], ep[kTexBatchMax],
            enormal[kTexBatchMax];
        for (int i = 0; i < part.count; ++i) {
            sc.Select(i);
            Point3 dP[3];
            sc.DPdUVW(dP, 1);
            const Point3 p = sc.P();
            const Point3 n = sc.Normal();
            for (int k = 4 * i; k < 4 * i + 4; ++k) {
                eu[k] = part.u[i];
                ev[k] = part.v[i];
                edu[k] = part.du[i];
                edv[k] = part.dv[i];
                edpdu[k] = dP[0];
                edpdv[k] = dP[1];
                edpdw[k] = dP[2];
                ep[k] = p;
                enormal[k] = n;
            }
        }
        TexBatchPoints expanded;
        expanded.count = 4 * part.count;
        expanded.time = part.time;
        expanded.u = eu;
        expanded.v = ev;
        expanded.du = edu;
        expanded.dv = edv;
        expanded.dpdu = edpdu;
        expanded.dpdv = edpdv;
        expanded.dpdw = edpdw;
        expanded.p = ep;
        expanded.normal = enormal;
        float monos[kTexBatchMax];
        PatternMonoBatch(expanded, u, v, monos);
        Replayer<float> replay(monos, expanded.count);
        for (int i = 0; i < part.count; ++i) {
            sc.Select(i);
            // The per-sample formula of EvalNormalPerturb, step for step.
            Point3 dPdu, dPdv;
            uvGen_->GetBumpDP(sc, dPdu, dPdv);
            const Point2 d = uvGen_->EvalDeriv(sc, &replay, TRUE);
            res[i] = Point3(d.y * dPdv.x + d.x * dPdu.x, d.y * dPdv.y + d.x * dPdu.y,
                            d.y * dPdv.z + d.x * dPdu.z);
        }
    }
}

}  // namespace loom

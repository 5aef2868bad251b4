#include "voltrane/voltrane_tex.h"

#include <algorithm>

#include "voltrane/pattern.h"

namespace {

/// Sets `on`/`off` at time 0 when both selectors of a wave read 0; true when it did.
bool RestoreWaveform(IParamBlock* pb, int sinRow, int cosRow, int sinValue, int cosValue) {
    Interval valid = FOREVER;
    int s = 0, c = 0;
    if (!pb->GetValue(sinRow, 0, s, valid) || !pb->GetValue(cosRow, 0, c, valid)) return false;
    if (s != 0 || c != 0) return false;
    pb->SetValue(sinRow, 0, sinValue);
    pb->SetValue(cosRow, 0, cosValue);
    return true;
}

/// The samples of a batch in the body and in the edge band.
struct FrontSamples {
    int body[loom::kTexBatchMax];
    int edge[loom::kTexBatchMax];
    int bodyCount = 0;
    int edgeCount = 0;

    explicit FrontSamples(const VoltraneRegion* region, int n) {
        for (int i = 0; i < n; ++i) {
            if (region[i] == VoltraneRegion::kBody) body[bodyCount++] = i;
            if (region[i] == VoltraneRegion::kEdge) edge[edgeCount++] = i;
        }
    }
};

}  // namespace

int VoltraneTex::FixLegacyParams() {
    IParamBlock* pb = ParamBlock();
    if (!pb) return 0;
    const bool wave1 = RestoreWaveform(pb, kVoltraneWave1Sin, kVoltraneWave1Cos, 1, 0);
    const bool wave2 = RestoreWaveform(pb, kVoltraneWave2Sin, kVoltraneWave2Cos, 0, 1);
    return wave1 || wave2 ? 1 : 0;
}

AColor VoltraneTex::PatternColor(ShadeContext& sc, float u, float v) {
    const VoltraneRegion region = VoltraneRegionAt(cache_, u, v);
    // The background map always runs first, whatever the region.
    const AColor back =
        subTex_[kVoltraneBack] ? subTex_[kVoltraneBack]->EvalColor(sc) : AColor(cache_.backColor);
    if (region == VoltraneRegion::kBackground) return back;
    sc.SetGBufferID(0);
    const bool body = region == VoltraneRegion::kBody;
    const Color front = SlotColor(sc, body ? kVoltraneBody : kVoltraneEdge,
                                  body ? cache_.bodyColor : cache_.edgeColor);
    return VoltraneMixColor(body ? cache_.bodyOpacity : cache_.edgeOpacity, front,
                            Color(back.r, back.g, back.b));
}

float VoltraneTex::PatternMono(ShadeContext& sc, float u, float v) {
    const VoltraneRegion region = VoltraneRegionAt(cache_, u, v);
    const float back = SlotMono(sc, kVoltraneBack, cache_.backColor, VoltraneColorMono);
    if (region == VoltraneRegion::kBackground) return back;
    sc.SetGBufferID(0);
    const bool body = region == VoltraneRegion::kBody;
    const float front = SlotMono(sc, body ? kVoltraneBody : kVoltraneEdge,
                                 body ? cache_.bodyColor : cache_.edgeColor, VoltraneColorMono);
    return VoltraneMixMono(body ? cache_.bodyOpacity.r : cache_.edgeOpacity.r, front, back);
}

AColor VoltraneTex::PatternPreview(float u, float v) {
    switch (VoltraneRegionAt(cache_, u, v)) {
        case VoltraneRegion::kBody:
            return AColor(cache_.bodyColor);
        case VoltraneRegion::kEdge:
            return AColor(cache_.edgeColor);
        case VoltraneRegion::kBackground:
            break;
    }
    return AColor(cache_.backColor);
}

void VoltraneTex::PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                    AColor* out) {
    // As the single calls: the regions (and their draws), then the background map over
    // every sample, then each front map over the samples of its region only.
    VoltraneRegion region[loom::kTexBatchMax];
    VoltraneRegionBatch(cache_, u, v, pts.count, region);
    // The background goes straight to `out`; the front regions are mixed over it there.
    if (subTex_[kVoltraneBack]) {
        loom::EvalColorBatch(subTex_[kVoltraneBack], pts, out);
    } else {
        std::fill(out, out + pts.count, AColor(cache_.backColor));
    }
    const FrontSamples front(region, pts.count);
    const auto mix = [&](int slot, const Color& plain, const Color& opacity, const int* index,
                         int count) {
        Color c[loom::kTexBatchMax];
        // The region's points are gathered only for a map to read.
        if (subTex_[slot]) {
            const loom::BatchSubset subset(pts, index, count);
            SlotColorBatch(subset.Points(), slot, plain, c);
        } else {
            std::fill(c, c + count, plain);
        }
        VoltraneMixColorsAt(opacity, c, index, count, out);
    };
    mix(kVoltraneBody, cache_.bodyColor, cache_.bodyOpacity, front.body, front.bodyCount);
    mix(kVoltraneEdge, cache_.edgeColor, cache_.edgeOpacity, front.edge, front.edgeCount);
}

void VoltraneTex::PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                   float* out) {
    VoltraneRegion region[loom::kTexBatchMax];
    VoltraneRegionBatch(cache_, u, v, pts.count, region);
    float back[loom::kTexBatchMax];
    SlotMonoBatch(pts, kVoltraneBack, cache_.backColor, VoltraneColorMono, back);
    const FrontSamples front(region, pts.count);
    const auto mix = [&](int slot, const Color& plain, float opacity, const int* index, int count) {
        float m[loom::kTexBatchMax];
        if (subTex_[slot]) {
            const loom::BatchSubset subset(pts, index, count);
            SlotMonoBatch(subset.Points(), slot, plain, VoltraneColorMono, m);
        } else {
            std::fill(m, m + count, VoltraneColorMono(plain));
        }
        for (int k = 0; k < count; ++k) {
            out[index[k]] = VoltraneMixMono(opacity, m[k], back[index[k]]);
        }
    };
    for (int i = 0; i < pts.count; ++i) out[i] = back[i];
    mix(kVoltraneBody, cache_.bodyColor, cache_.bodyOpacity.r, front.body, front.bodyCount);
    mix(kVoltraneEdge, cache_.edgeColor, cache_.edgeOpacity.r, front.edge, front.edgeCount);
}

void VoltraneTex::PatternPreviewBatch(const float* u, const float* v, int n, AColor* out) {
    VoltraneRegion region[loom::kTexBatchMax];
    VoltraneRegionBatch(cache_, u, v, n, region);
    for (int i = 0; i < n; ++i) {
        switch (region[i]) {
            case VoltraneRegion::kBody:
                out[i] = AColor(cache_.bodyColor);
                break;
            case VoltraneRegion::kEdge:
                out[i] = AColor(cache_.edgeColor);
                break;
            case VoltraneRegion::kBackground:
                out[i] = AColor(cache_.backColor);
                break;
        }
    }
}

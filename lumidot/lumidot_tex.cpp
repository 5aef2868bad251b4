#include "lumidot/lumidot_tex.h"

#include "lumidot/pattern.h"

int LumidotTex::FixLegacyParams() {
    IParamBlock* pb = ParamBlock();
    if (!pb) return 0;
    Interval scratch = FOREVER;
    int sine = 0;
    int cosine = 0;
    pb->GetValue(kLumidotVerticalSine, 0, sine, scratch);
    pb->GetValue(kLumidotVerticalCosine, 0, cosine, scratch);
    if (sine != 0 || cosine != 0) return 0;
    for (int row : kLumidotRepairOrder) {
        const loom::ParamRow& r = Info().rows[static_cast<size_t>(row)];
        if (r.type == TYPE_INT) {
            SetIntParam(row, static_cast<int>(r.def.v[0]), 0);
        } else {
            SetParam(row, r.def, 0);
        }
    }
    return 1;
}

AColor LumidotTex::PatternColor(ShadeContext& sc, float u, float v) {
    const auto [high, low] = SlotColors(sc, cache_.highColor, cache_.lowColor);
    return LumidotMixColor(cache_, LumidotWeight(cache_, u, v), low, high);
}

float LumidotTex::PatternMono(ShadeContext& sc, float u, float v) {
    const auto [high, low] = SlotMonos(sc, cache_.highColor, cache_.lowColor, LumidotColorMono);
    return LumidotMixMono(cache_, LumidotWeight(cache_, u, v), low, high);
}

AColor LumidotTex::PatternPreview(float u, float v) {
    return LumidotMixColor(cache_, LumidotWeight(cache_, u, v), cache_.lowColor, cache_.highColor);
}

void LumidotTex::PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                   AColor* out) {
    Color high[loom::kTexBatchMax], low[loom::kTexBatchMax];
    SlotColorsBatch(pts, cache_.highColor, cache_.lowColor, high, low);
    float w[loom::kTexBatchMax];
    LumidotWeightBatch(cache_, u, v, pts.count, w);
    LumidotMixColorBatch(cache_, w, low, high, pts.count, out);
}

void LumidotTex::PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                  float* out) {
    float high[loom::kTexBatchMax], low[loom::kTexBatchMax];
    SlotMonosBatch(pts, cache_.highColor, LumidotColorMono, cache_.lowColor, LumidotColorMono, high,
                   low);
    float w[loom::kTexBatchMax];
    LumidotWeightBatch(cache_, u, v, pts.count, w);
    for (int i = 0; i < pts.count; ++i) out[i] = LumidotMixMono(cache_, w[i], low[i], high[i]);
}

void LumidotTex::PatternPreviewBatch(const float* u, const float* v, int n, AColor* out) {
    float w[loom::kTexBatchMax];
    LumidotWeightBatch(cache_, u, v, n, w);
    for (int i = 0; i < n; ++i) {
        out[i] = LumidotMixColor(cache_, w[i], cache_.lowColor, cache_.highColor);
    }
}

#include "fervix/fervix_tex.h"

#include "fervix/pattern.h"

int FervixTex::FixLegacyParams() {
    IParamBlock* pb = ParamBlock();
    if (!pb) return 0;
    auto bothZero = [pb](int first, int second) {
        Interval scratch = FOREVER;
        int a = 0;
        int b = 0;
        pb->GetValue(first, 0, a, scratch);
        pb->GetValue(second, 0, b, scratch);
        return a == 0 && b == 0;
    };
    int changed = 0;
    constexpr int kOverlayPairs[][2] = {{kFervixPlasmaAdd, kFervixPlasmaSub},
                                        {kFervixFractalAdd, kFervixFractalSub},
                                        {kFervixTurbulenceAdd, kFervixTurbulenceSub}};
    for (const auto& pair : kOverlayPairs) {
        if (bothZero(pair[0], pair[1])) {
            SetIntParam(pair[0], 1, 0);
            changed = 1;
        }
    }
    if (bothZero(kFervixPositive, kFervixNegative)) {
        SetPositiveBlend(1, 0);
        SetFractalScale(kFervixRepairFractalScale, 0);
        changed = 1;
    }
    return changed;
}

AColor FervixTex::PatternColor(ShadeContext& sc, float u, float v) {
    const auto [prime, back] = SlotColors(sc, cache_.primeColor, cache_.backColor);
    return FervixMixColor(cache_, FervixWeight(cache_, u, v), back, prime);
}

float FervixTex::PatternMono(ShadeContext& sc, float u, float v) {
    const auto [prime, back] = SlotMonos(sc, cache_.primeColor, cache_.backColor, FervixColorMono);
    return FervixMixMono(cache_, FervixWeight(cache_, u, v), back, prime);
}

AColor FervixTex::PatternPreview(float u, float v) {
    return FervixMixColor(cache_, FervixWeight(cache_, u, v), cache_.backColor, cache_.primeColor);
}

void FervixTex::PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                  AColor* out) {
    Color prime[loom::kTexBatchMax], back[loom::kTexBatchMax];
    SlotColorsBatch(pts, cache_.primeColor, cache_.backColor, prime, back);
    float w[loom::kTexBatchMax];
    FervixWeightBatch(cache_, u, v, pts.count, w);
    FervixMixColorBatch(cache_, w, back, prime, pts.count, out);
}

void FervixTex::PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                 float* out) {
    float prime[loom::kTexBatchMax], back[loom::kTexBatchMax];
    SlotMonosBatch(pts, cache_.primeColor, FervixColorMono, cache_.backColor, FervixColorMono,
                   prime, back);
    float w[loom::kTexBatchMax];
    FervixWeightBatch(cache_, u, v, pts.count, w);
    for (int i = 0; i < pts.count; ++i) out[i] = FervixMixMono(cache_, w[i], back[i], prime[i]);
}

void FervixTex::PatternPreviewBatch(const float* u, const float* v, int n, AColor* out) {
    float w[loom::kTexBatchMax];
    FervixWeightBatch(cache_, u, v, n, w);
    for (int i = 0; i < n; ++i) {
        out[i] = FervixMixColor(cache_, w[i], cache_.backColor, cache_.primeColor);
    }
}

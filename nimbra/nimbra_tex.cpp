#include "nimbra/nimbra_tex.h"

#include "nimbra/pattern.h"

AColor NimbraTex::PatternColor(ShadeContext& sc, float u, float v) {
    const auto [cloud, sky] = SlotColors(sc, cache_.cloudColor, cache_.skyColor);
    return NimbraMixColor(cache_, CloudPattern(cache_, u, v), cloud, sky);
}

float NimbraTex::PatternMono(ShadeContext& sc, float u, float v) {
    const auto [cloud, sky] =
        SlotMonos(sc, cache_.cloudColor, NimbraCloudMono, cache_.skyColor, NimbraSkyMono);
    return NimbraMixMono(cache_, CloudPattern(cache_, u, v), cloud, sky);
}

AColor NimbraTex::PatternPreview(float u, float v) {
    return NimbraMixColor(cache_, CloudPatternPreview(cache_, u, v), cache_.cloudColor,
                          cache_.skyColor);
}

void NimbraTex::PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                  AColor* out) {
    Color cloud[loom::kTexBatchMax], sky[loom::kTexBatchMax];
    SlotColorsBatch(pts, cache_.cloudColor, cache_.skyColor, cloud, sky);
    float t[loom::kTexBatchMax];
    CloudPatternBatch(cache_, u, v, pts.count, t);
    NimbraMixColorBatch(cache_, t, cloud, sky, pts.count, out);
}

void NimbraTex::PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                 float* out) {
    float cloud[loom::kTexBatchMax], sky[loom::kTexBatchMax];
    SlotMonosBatch(pts, cache_.cloudColor, NimbraCloudMono, cache_.skyColor, NimbraSkyMono, cloud,
                   sky);
    float t[loom::kTexBatchMax];
    CloudPatternBatch(cache_, u, v, pts.count, t);
    for (int i = 0; i < pts.count; ++i) out[i] = NimbraMixMono(cache_, t[i], cloud[i], sky[i]);
}

void NimbraTex::PatternPreviewBatch(const float* u, const float* v, int n, AColor* out) {
    float t[loom::kTexBatchMax];
    CloudPatternPreviewBatch(cache_, u, v, n, t);
    for (int i = 0; i < n; ++i) {
        out[i] = NimbraMixColor(cache_, t[i], cache_.cloudColor, cache_.skyColor);
    }
}

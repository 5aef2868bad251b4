#include "weft_tex.h"

#include "pattern.h"

AColor WeftTex::PatternColor(ShadeContext& sc, float u, float v) {
    const auto [warp, weft] = SlotColors(sc, cache_.warpColor, cache_.weftColor);
    return WeftMixColor(WeftWeight(cache_, u, v), warp, weft);
}

float WeftTex::PatternMono(ShadeContext& sc, float u, float v) {
    const auto [warp, weft] = SlotMonos(sc, cache_.warpColor, cache_.weftColor, WeftMono);
    return WeftMixMono(WeftWeight(cache_, u, v), warp, weft);
}

AColor WeftTex::PatternPreview(float u, float v) {
    return WeftMixColor(WeftWeight(cache_, u, v), cache_.warpColor, cache_.weftColor);
}

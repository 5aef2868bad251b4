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

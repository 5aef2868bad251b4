#include "voltrane/voltrane_tex.h"

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

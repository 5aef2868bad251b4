#include "lumidot/lumidot_tex.h"

#include "lumidot/panel.h"
#include "lumidot/pattern.h"

LumidotTex::LumidotTex() : TexFrame(kLumidotInfo, &cache_) { Construct(); }

ParamDlg* LumidotTex::CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) {
    return loom::TexPanelBase::Open<LumidotDlg>(this, hwMtlEdit, imp);
}

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
    // Sub-map 1 (Low) is evaluated before sub-map 0 (High); both always, whatever the weight.
    Color low = cache_.lowColor;
    if (Texmap* map = subTex_[1]) {
        AColor s = map->EvalColor(sc);
        low = Color(s.r, s.g, s.b);
    }
    Color high = cache_.highColor;
    if (Texmap* map = subTex_[0]) {
        AColor s = map->EvalColor(sc);
        high = Color(s.r, s.g, s.b);
    }
    return LumidotMixColor(cache_, LumidotWeight(cache_, u, v), low, high);
}

float LumidotTex::PatternMono(ShadeContext& sc, float u, float v) {
    const float low = subTex_[1] ? subTex_[1]->EvalMono(sc) : LumidotColorMono(cache_.lowColor);
    const float high = subTex_[0] ? subTex_[0]->EvalMono(sc) : LumidotColorMono(cache_.highColor);
    return LumidotMixMono(cache_, LumidotWeight(cache_, u, v), low, high);
}

AColor LumidotTex::PatternPreview(float u, float v) {
    return LumidotMixColor(cache_, LumidotWeight(cache_, u, v), cache_.lowColor, cache_.highColor);
}

#include "fervix/fervix_tex.h"

#include "fervix/panel.h"
#include "fervix/pattern.h"

FervixTex::FervixTex() : TexFrame(kFervixInfo, &cache_) { Construct(); }

ParamDlg* FervixTex::CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) {
    return loom::TexPanelBase::Open<FervixDlg>(this, hwMtlEdit, imp);
}

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
    // Sub-map 1 (Back) is evaluated before sub-map 0 (Prime); both always, whatever the
    // weight.
    Color back = cache_.backColor;
    if (Texmap* map = subTex_[1]) {
        AColor s = map->EvalColor(sc);
        back = Color(s.r, s.g, s.b);
    }
    Color prime = cache_.primeColor;
    if (Texmap* map = subTex_[0]) {
        AColor s = map->EvalColor(sc);
        prime = Color(s.r, s.g, s.b);
    }
    return FervixMixColor(cache_, FervixWeight(cache_, u, v), back, prime);
}

float FervixTex::PatternMono(ShadeContext& sc, float u, float v) {
    const float back = subTex_[1] ? subTex_[1]->EvalMono(sc) : FervixColorMono(cache_.backColor);
    const float prime = subTex_[0] ? subTex_[0]->EvalMono(sc) : FervixColorMono(cache_.primeColor);
    return FervixMixMono(cache_, FervixWeight(cache_, u, v), back, prime);
}

AColor FervixTex::PatternPreview(float u, float v) {
    return FervixMixColor(cache_, FervixWeight(cache_, u, v), cache_.backColor, cache_.primeColor);
}

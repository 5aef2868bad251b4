#include "nimbra/nimbra_tex.h"

#include "nimbra/panel.h"
#include "nimbra/pattern.h"

NimbraTex::NimbraTex() : TexFrame(kNimbraInfo, &cache_) { Construct(); }

ParamDlg* NimbraTex::CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) {
    return loom::TexPanelBase::Open<NimbraDlg>(this, hwMtlEdit, imp);
}

AColor NimbraTex::PatternColor(ShadeContext& sc, float u, float v) {
    // Sub-map 1 is evaluated before sub-map 0; both always, whatever the weight.
    Color c1 = cache_.skyColor;
    if (Texmap* sky = subTex_[1]) {
        AColor s = sky->EvalColor(sc);
        c1 = Color(s.r, s.g, s.b);
    }
    Color c0 = cache_.cloudColor;
    if (Texmap* cloud = subTex_[0]) {
        AColor s = cloud->EvalColor(sc);
        c0 = Color(s.r, s.g, s.b);
    }
    return NimbraMixColor(cache_, CloudPattern(cache_, u, v), c0, c1);
}

float NimbraTex::PatternMono(ShadeContext& sc, float u, float v) {
    const Color& sky = cache_.skyColor;
    const Color& cloud = cache_.cloudColor;
    float m1 =
        subTex_[1]
            ? subTex_[1]->EvalMono(sc)
            : static_cast<float>((Widen(sky.r) + Widen(sky.g) + Widen(sky.b)) * Widen(0.33333334f));
    float m0 = subTex_[0] ? subTex_[0]->EvalMono(sc)
                          : static_cast<float>((Widen(cloud.g) + Widen(cloud.b) + Widen(cloud.r)) *
                                               Widen(0.33333334f));
    return NimbraMixMono(cache_, CloudPattern(cache_, u, v), m0, m1);
}

AColor NimbraTex::PatternPreview(float u, float v) {
    return NimbraMixColor(cache_, CloudPatternPreview(cache_, u, v), cache_.cloudColor,
                          cache_.skyColor);
}

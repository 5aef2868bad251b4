#pragma once
/// The Weft texture: a plain weave of two colours, each replaceable by a map.

#include "foundation/texframe/tex_class.h"
#include "panel.h"
#include "params.h"

class WeftTex final : public loom::TexClass<WeftTex, WeftCache, kWeftInfo, WeftDlg> {
  public:
    void SetColor(int index, const Color& c, TimeValue t) { SetColorParam(index, c, t); }
    void SetThreads(float v, TimeValue t) { SetFloatParam(kWeftThreads, v, t); }
    void SetWidth(float v, TimeValue t) { SetFloatParam(kWeftWidth, v, t); }
    void SetGap(float v, TimeValue t) { SetFloatParam(kWeftGap, v, t); }

    AColor PatternColor(ShadeContext& sc, float u, float v) override;
    float PatternMono(ShadeContext& sc, float u, float v) override;
    AColor PatternPreview(float u, float v) override;
};

#pragma once
/// The Nimbra cloud texture.

#include "foundation/texframe/tex_frame.h"
#include "nimbra/params.h"

class NimbraTex final : public loom::TexFrame {
  public:
    NimbraTex();

    void SetColor(int index, const Color& c, TimeValue t) { SetColorParam(index, c, t); }
    void SetContrast(float v, TimeValue t) { SetFloatParam(kNimbraContrast, v, t); }
    void SetDetail(float v, TimeValue t) { SetFloatParam(kNimbraDetail, v, t); }
    void SetDensity(float v, TimeValue t) { SetFloatParam(kNimbraDensity, v, t); }
    void SetSoftening(float v, TimeValue t) { SetFloatParam(kNimbraSoftening, v, t); }
    void SetUScale(float v, TimeValue t) { SetFloatParam(kNimbraUScale, v, t); }
    void SetVScale(float v, TimeValue t) { SetFloatParam(kNimbraVScale, v, t); }
    void SetUShift(float v, TimeValue t) { SetFloatParam(kNimbraUShift, v, t); }
    void SetVShift(float v, TimeValue t) { SetFloatParam(kNimbraVShift, v, t); }
    void SetUWaveform(float v, TimeValue t) { SetFloatParam(kNimbraUWaveform, v, t); }
    void SetVWaveform(float v, TimeValue t) { SetFloatParam(kNimbraVWaveform, v, t); }
    void SetPositiveBlend(int v, TimeValue t) { SetIntParam(kNimbraPositive, v, t); }
    void SetNegativeBlend(int v, TimeValue t) { SetIntParam(kNimbraNegative, v, t); }

    const NimbraCache& Cache() const { return cache_; }

    ParamDlg* CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) override;

    AColor PatternColor(ShadeContext& sc, float u, float v) override;
    float PatternMono(ShadeContext& sc, float u, float v) override;
    AColor PatternPreview(float u, float v) override;

  protected:
    loom::TexFrame* NewSameClass() override { return new NimbraTex(); }
    void CopyCacheFrom(const loom::TexFrame& from) override {
        cache_ = static_cast<const NimbraTex&>(from).cache_;
    }

  private:
    NimbraCache cache_;
};

#pragma once
/// The Nimbra cloud texture.

#include "foundation/texframe/tex_class.h"
#include "nimbra/panel.h"
#include "nimbra/params.h"

class NimbraTex final : public loom::TexClass<NimbraTex, NimbraCache, kNimbraInfo, NimbraDlg> {
  public:
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

    AColor PatternColor(ShadeContext& sc, float u, float v) override;
    float PatternMono(ShadeContext& sc, float u, float v) override;
    AColor PatternPreview(float u, float v) override;
    void PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                           AColor* out) override;
    void PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                          float* out) override;
    void PatternPreviewBatch(const float* u, const float* v, int n, AColor* out) override;
    /// A seed shifts the phases of the octaves (NimbraOctavePhase); it needs no tables.
    unsigned PatternSeedUse() const override { return kSeedWavePhases; }
};

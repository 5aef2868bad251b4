#pragma once
/// The Nimbra cloud texture.

#include "foundation/texframe/two_slot_tex.h"
#include "nimbra/panel.h"
#include "nimbra/params.h"
#include "nimbra/pattern.h"

/// Cloud (slot 0) and Sky (slot 1) mixed by the cloud pattern; the viewport takes the
/// preview's sum.
struct NimbraPattern {
    static constexpr Color NimbraCache::*kColor0 = &NimbraCache::cloudColor;
    static constexpr Color NimbraCache::*kColor1 = &NimbraCache::skyColor;
    static constexpr auto Weight = CloudPattern;
    static constexpr auto WeightBatch = CloudPatternBatch;
    static constexpr auto PreviewWeight = CloudPatternPreview;
    static constexpr auto PreviewWeightBatch = CloudPatternPreviewBatch;
    static constexpr auto MixColor = NimbraMixColor;
    static constexpr auto MixColorBatch = NimbraMixColorBatch;
    static constexpr auto MixMono = NimbraMixMono;
    static constexpr auto Mono0 = NimbraCloudMono;
    static constexpr auto Mono1 = NimbraSkyMono;
};

class NimbraTex final
    : public loom::TwoSlotTexClass<NimbraTex, NimbraCache, kNimbraInfo, NimbraDlg, NimbraPattern> {
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

    /// A seed shifts the phases of the octaves (NimbraOctavePhase); it needs no tables.
    unsigned PatternSeedUse() const override { return kSeedWavePhases; }
};

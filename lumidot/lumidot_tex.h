#pragma once
/// The Lumidot wave-band texture.

#include "foundation/texframe/two_slot_tex.h"
#include "lumidot/panel.h"
#include "lumidot/params.h"
#include "lumidot/pattern.h"

/// High (slot 0) and Low (slot 1) mixed by the wave bands' weight.
struct LumidotPattern {
    static constexpr Color LumidotCache::*kColor0 = &LumidotCache::highColor;
    static constexpr Color LumidotCache::*kColor1 = &LumidotCache::lowColor;
    static constexpr auto Weight = LumidotWeight;
    static constexpr auto WeightBatch = LumidotWeightBatch;
    static constexpr auto MixColor = LumidotMixColor;
    static constexpr auto MixColorBatch = LumidotMixColorBatch;
    static constexpr auto MixMono = LumidotMixMono;
    static constexpr auto Mono0 = LumidotColorMono;
    static constexpr auto Mono1 = LumidotColorMono;
};

class LumidotTex final : public loom::TwoSlotTexClass<LumidotTex, LumidotCache, kLumidotInfo,
                                                      LumidotDlg, LumidotPattern> {
  public:
    /// Colour 0 is High, colour 1 is Low.
    void SetColor(int index, const Color& c, TimeValue t) { SetColorParam(index, c, t); }
    void SetHorizontalPhase(float v, TimeValue t) { SetFloatParam(kLumidotHorizontalPhase, v, t); }
    void SetHorizontalIteration(float v, TimeValue t) {
        SetFloatParam(kLumidotHorizontalIteration, v, t);
    }
    void SetVerticalPhase(float v, TimeValue t) { SetFloatParam(kLumidotVerticalPhase, v, t); }
    void SetVerticalIteration(float v, TimeValue t) {
        SetFloatParam(kLumidotVerticalIteration, v, t);
    }
    void SetVerticalHighThreshold(float v, TimeValue t) {
        SetFloatParam(kLumidotVerticalHighThreshold, v, t);
    }
    void SetVerticalLowThreshold(float v, TimeValue t) {
        SetFloatParam(kLumidotVerticalLowThreshold, v, t);
    }
    void SetHorizontalHighThreshold(float v, TimeValue t) {
        SetFloatParam(kLumidotHorizontalHighThreshold, v, t);
    }
    void SetHorizontalLowThreshold(float v, TimeValue t) {
        SetFloatParam(kLumidotHorizontalLowThreshold, v, t);
    }
    void SetVerticalSine(int v, TimeValue t) { SetIntParam(kLumidotVerticalSine, v, t); }
    void SetVerticalCosine(int v, TimeValue t) { SetIntParam(kLumidotVerticalCosine, v, t); }
    void SetHorizontalSine(int v, TimeValue t) { SetIntParam(kLumidotHorizontalSine, v, t); }
    void SetHorizontalCosine(int v, TimeValue t) { SetIntParam(kLumidotHorizontalCosine, v, t); }
    void SetVerticalPinch(int v, TimeValue t) { SetIntParam(kLumidotVerticalPinch, v, t); }
    void SetHorizontalPinch(int v, TimeValue t) { SetIntParam(kLumidotHorizontalPinch, v, t); }
    void SetNegativeBlend(int v, TimeValue t) { SetIntParam(kLumidotNegative, v, t); }
    void SetPositiveBlend(int v, TimeValue t) { SetIntParam(kLumidotPositive, v, t); }
    void SetUseVerticalColour(int v, TimeValue t) { SetIntParam(kLumidotUseVerticalColour, v, t); }
    void SetUseHorizontalColour(int v, TimeValue t) {
        SetIntParam(kLumidotUseHorizontalColour, v, t);
    }

    /// After loading: when Vertical Sine and Vertical Cosine are both 0 at time 0 (a
    /// version 11 scene, whose converted block starts those rows at 0), sets every row that
    /// layout lacked to its default. Current scenes in that state are reset the same way.
    /// Returns 1 when it changed something.
    int FixLegacyParams() override;
};

#pragma once
/// The Fervix gradient texture with plasma, fractal and turbulence overlays.

#include "fervix/panel.h"
#include "fervix/params.h"
#include "fervix/pattern.h"
#include "foundation/noise/noise.h"
#include "foundation/texframe/two_slot_tex.h"

/// Prime (slot 0) and Back (slot 1) mixed by the gradient's weight.
struct FervixPattern {
    static constexpr Color FervixCache::*kColor0 = &FervixCache::primeColor;
    static constexpr Color FervixCache::*kColor1 = &FervixCache::backColor;
    static constexpr auto Weight = FervixWeight;
    static constexpr auto WeightBatch = FervixWeightBatch;
    static constexpr auto MixColor = FervixMixColor;
    static constexpr auto MixColorBatch = FervixMixColorBatch;
    static constexpr auto MixMono = FervixMixMono;
    static constexpr auto Mono0 = FervixColorMono;
    static constexpr auto Mono1 = FervixColorMono;
};

class FervixTex final
    : public loom::TwoSlotTexClass<FervixTex, FervixCache, kFervixInfo, FervixDlg, FervixPattern> {
  public:
    /// Colour 0 is Prime, colour 1 is Back.
    void SetColor(int index, const Color& c, TimeValue t) { SetColorParam(index, c, t); }
    void SetUScale(float v, TimeValue t) { SetFloatParam(kFervixUScale, v, t); }
    void SetVScale(float v, TimeValue t) { SetFloatParam(kFervixVScale, v, t); }
    void SetUOffset(float v, TimeValue t) { SetFloatParam(kFervixUOffset, v, t); }
    void SetVOffset(float v, TimeValue t) { SetFloatParam(kFervixVOffset, v, t); }
    void SetPhase(float v, TimeValue t) { SetFloatParam(kFervixPhase, v, t); }
    void SetIntensity(float v, TimeValue t) { SetFloatParam(kFervixIntensity, v, t); }
    void SetFallOff(float v, TimeValue t) { SetFloatParam(kFervixFallOff, v, t); }
    void SetHorizontalRadial(int v, TimeValue t) { SetIntParam(kFervixHorizontalRadial, v, t); }
    void SetHorizontalLinear(int v, TimeValue t) { SetIntParam(kFervixHorizontalLinear, v, t); }
    void SetVerticalRadial(int v, TimeValue t) { SetIntParam(kFervixVerticalRadial, v, t); }
    void SetVerticalLinear(int v, TimeValue t) { SetIntParam(kFervixVerticalLinear, v, t); }
    void SetUsePlasma(int v, TimeValue t) { SetIntParam(kFervixUsePlasma, v, t); }
    void SetShiftX(float v, TimeValue t) { SetFloatParam(kFervixShiftX, v, t); }
    void SetShiftY(float v, TimeValue t) { SetFloatParam(kFervixShiftY, v, t); }
    void SetUseFractalDetail(int v, TimeValue t) { SetIntParam(kFervixUseFractalDetail, v, t); }
    void SetTurbulenceScale(float v, TimeValue t) { SetFloatParam(kFervixTurbulenceScale, v, t); }
    void SetUseTurbulence(int v, TimeValue t) { SetIntParam(kFervixUseTurbulence, v, t); }
    void SetPlasmaAdd(int v, TimeValue t) { SetIntParam(kFervixPlasmaAdd, v, t); }
    void SetPlasmaSub(int v, TimeValue t) { SetIntParam(kFervixPlasmaSub, v, t); }
    void SetFractalAdd(int v, TimeValue t) { SetIntParam(kFervixFractalAdd, v, t); }
    void SetFractalSub(int v, TimeValue t) { SetIntParam(kFervixFractalSub, v, t); }
    void SetTurbulenceAdd(int v, TimeValue t) { SetIntParam(kFervixTurbulenceAdd, v, t); }
    void SetTurbulenceSub(int v, TimeValue t) { SetIntParam(kFervixTurbulenceSub, v, t); }
    void SetFractalScale(float v, TimeValue t) { SetFloatParam(kFervixFractalScale, v, t); }
    void SetPositiveBlend(int v, TimeValue t) { SetIntParam(kFervixPositive, v, t); }
    void SetNegativeBlend(int v, TimeValue t) { SetIntParam(kFervixNegative, v, t); }

    /// After loading, at time 0: each ADD/SUB pair with both flags 0 gets its ADD flag;
    /// with both blend flags 0, Positive Blend is set and Fractal Scale becomes 2.0 (rows
    /// that older layouts lacked start at 0). Returns 1 when it changed something.
    int FixLegacyParams() override;

    /// A seed gives the noise its own tables.
    unsigned PatternSeedUse() const override { return kSeedNoiseTables; }
    std::shared_ptr<const void> MakeSeedState(std::uint32_t seed) override {
        return loom::noise::SeededNoiseTables(seed);
    }
    const char* PatternTileNote() const override { return FervixTileNote(cache_); }
};

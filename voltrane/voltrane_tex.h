#pragma once
/// The Voltrane sweeping-edge texture: three colours or sub-maps (body, edge band,
/// background) over a region split computed by the pattern.

#include "foundation/noise/noise.h"
#include "foundation/texframe/tex_class.h"
#include "voltrane/panel.h"
#include "voltrane/params.h"
#include "voltrane/pattern.h"

class VoltraneTex final
    : public loom::TexClass<VoltraneTex, VoltraneCache, kVoltraneInfo, VoltraneDlg> {
  public:
    /// Colour `index` 0 body, 1 edge, 2 background.
    void SetColor(int index, const Color& c, TimeValue t) { SetColorParam(index, c, t); }
    void SetEdgeNoise(float v, TimeValue t) { SetFloatParam(kVoltraneEdgeNoise, v, t); }
    void SetSweepPhase(int v, TimeValue t) { SetIntParam(kVoltraneSweepPhase, v, t); }
    void SetEdgeSize(float v, TimeValue t) { SetFloatParam(kVoltraneEdgeSize, v, t); }
    void SetEdgeDensity(float v, TimeValue t) { SetFloatParam(kVoltraneEdgeDensity, v, t); }
    void SetWave1Size(float v, TimeValue t) { SetFloatParam(kVoltraneWave1Size, v, t); }
    void SetWave1Sync(float v, TimeValue t) { SetFloatParam(kVoltraneWave1Sync, v, t); }
    void SetWave1Mult(float v, TimeValue t) { SetFloatParam(kVoltraneWave1Mult, v, t); }
    void SetWave2Size(float v, TimeValue t) { SetFloatParam(kVoltraneWave2Size, v, t); }
    void SetWave2Sync(float v, TimeValue t) { SetFloatParam(kVoltraneWave2Sync, v, t); }
    void SetWave2Mult(float v, TimeValue t) { SetFloatParam(kVoltraneWave2Mult, v, t); }
    void SetApplyWave(int v, TimeValue t) { SetIntParam(kVoltraneApplyWave, v, t); }
    void SetInvertWave(int v, TimeValue t) { SetIntParam(kVoltraneInvertWave, v, t); }
    void SetBeginAtEdge(int v, TimeValue t) { SetIntParam(kVoltraneBeginAtEdge, v, t); }
    void SetAdditive(int v, TimeValue t) { SetIntParam(kVoltraneAdditive, v, t); }
    void SetSubtractive(int v, TimeValue t) { SetIntParam(kVoltraneSubtractive, v, t); }
    void SetBodyOpacityR(float v, TimeValue t) { SetFloatParam(kVoltraneBodyOpacityR, v, t); }
    void SetBodyOpacityG(float v, TimeValue t) { SetFloatParam(kVoltraneBodyOpacityG, v, t); }
    void SetBodyOpacityB(float v, TimeValue t) { SetFloatParam(kVoltraneBodyOpacityB, v, t); }
    void SetEdgeOpacityR(float v, TimeValue t) { SetFloatParam(kVoltraneEdgeOpacityR, v, t); }
    void SetEdgeOpacityG(float v, TimeValue t) { SetFloatParam(kVoltraneEdgeOpacityG, v, t); }
    void SetEdgeOpacityB(float v, TimeValue t) { SetFloatParam(kVoltraneEdgeOpacityB, v, t); }
    void SetShear(float v, TimeValue t) { SetFloatParam(kVoltraneShear, v, t); }
    void SetRadialU(float v, TimeValue t) { SetFloatParam(kVoltraneRadialU, v, t); }
    void SetRadialV(float v, TimeValue t) { SetFloatParam(kVoltraneRadialV, v, t); }
    void SetLinearH(int v, TimeValue t) { SetIntParam(kVoltraneLinearH, v, t); }
    void SetLinearV(int v, TimeValue t) { SetIntParam(kVoltraneLinearV, v, t); }
    void SetRadial(int v, TimeValue t) { SetIntParam(kVoltraneRadial, v, t); }
    void SetShockwave(int v, TimeValue t) { SetIntParam(kVoltraneShockwave, v, t); }
    void SetEncase(int v, TimeValue t) { SetIntParam(kVoltraneEncase, v, t); }
    void SetDiagonal(int v, TimeValue t) { SetIntParam(kVoltraneDiagonal, v, t); }
    void SetRandomStatic(int v, TimeValue t) { SetIntParam(kVoltraneRandomStatic, v, t); }
    void SetCubic(int v, TimeValue t) { SetIntParam(kVoltraneCubic, v, t); }
    void SetGoo(int v, TimeValue t) { SetIntParam(kVoltraneGoo, v, t); }
    void SetWave1Sin(int v, TimeValue t) { SetIntParam(kVoltraneWave1Sin, v, t); }
    void SetWave1Cos(int v, TimeValue t) { SetIntParam(kVoltraneWave1Cos, v, t); }
    void SetWave2Sin(int v, TimeValue t) { SetIntParam(kVoltraneWave2Sin, v, t); }
    void SetWave2Cos(int v, TimeValue t) { SetIntParam(kVoltraneWave2Cos, v, t); }
    void SetGooPhase(float v, TimeValue t) { SetFloatParam(kVoltraneGooPhase, v, t); }
    void SetGooUScale(float v, TimeValue t) { SetFloatParam(kVoltraneGooUScale, v, t); }
    void SetGooVScale(float v, TimeValue t) { SetFloatParam(kVoltraneGooVScale, v, t); }
    void SetGooUShift(float v, TimeValue t) { SetFloatParam(kVoltraneGooUShift, v, t); }
    void SetGooVShift(float v, TimeValue t) { SetFloatParam(kVoltraneGooVShift, v, t); }

    /// After loading: a wave whose sine and cosine selectors are both 0 gets its usual
    /// waveform back (wave 1 sine, wave 2 cosine), written to the block at time 0.
    /// Non-zero when something changed.
    int FixLegacyParams() override;

    /// Background: the background map (all four channels) or colour. Body and edge: the
    /// background first, then the G-buffer ID set to 0, then the region's map or colour,
    /// mixed per channel by the region's opacity; alpha 1.
    AColor PatternColor(ShadeContext& sc, float u, float v) override;
    /// As PatternColor with mono values; only the red opacity takes part.
    float PatternMono(ShadeContext& sc, float u, float v) override;
    /// The region's plain colour, alpha 1: no maps, no opacity.
    AColor PatternPreview(float u, float v) override;
    void PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                           AColor* out) override;
    void PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                          float* out) override;
    void PatternPreviewBatch(const float* u, const float* v, int n, AColor* out) override;
    /// The jitter draws for every sample.
    bool PatternDrawsRandom() const override { return true; }
    /// A seed gives the Goo noise its own tables; the renderer mixes it into the draws.
    unsigned PatternSeedUse() const override { return kSeedNoiseTables | kSeedRandomDraws; }
    std::shared_ptr<const void> MakeSeedState(std::uint32_t seed) override {
        return loom::noise::SeededNoiseTables(seed);
    }
    const char* PatternTileNote() const override { return VoltraneTileNote(cache_); }
};

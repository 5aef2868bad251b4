#pragma once
/// The Weft texture: a plain weave of two colours, each replaceable by a map.

#include "foundation/texframe/two_slot_tex.h"
#include "panel.h"
#include "params.h"
#include "pattern.h"

/// Warp (slot 0) and weft (slot 1) mixed by the weave's weight. The frame makes the six
/// pattern functions from these; a pattern with batch forms of its weight and mix names
/// them here too (WeightBatch, MixColorBatch) and renders faster.
struct WeftPattern {
    static constexpr Color WeftCache::*kColor0 = &WeftCache::warpColor;
    static constexpr Color WeftCache::*kColor1 = &WeftCache::weftColor;
    static constexpr auto Weight = WeftWeight;
    static constexpr auto MixColor = WeftMixColor;
    static constexpr auto MixMono = WeftMixMono;
    static constexpr auto Mono0 = WeftMono;
    static constexpr auto Mono1 = WeftMono;
};

class WeftTex final
    : public loom::TwoSlotTexClass<WeftTex, WeftCache, kWeftInfo, WeftDlg, WeftPattern> {
  public:
    void SetColor(int index, const Color& c, TimeValue t) { SetColorParam(index, c, t); }
    void SetThreads(float v, TimeValue t) { SetFloatParam(kWeftThreads, v, t); }
    void SetWidth(float v, TimeValue t) { SetFloatParam(kWeftWidth, v, t); }
    void SetGap(float v, TimeValue t) { SetFloatParam(kWeftGap, v, t); }
};

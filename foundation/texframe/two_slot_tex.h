#pragma once
/// The frame of a two-colour texture: a weight computed at each point mixes colour 0 and
/// colour 1, each replaced by its sub-map where one is assigned. The texture supplies its
/// pattern as a struct of static functions and gets all six pattern functions:
///
///     struct OndraPattern {
///         static constexpr Color OndraCache::*kColor0 = &OndraCache::firstColor;
///         static constexpr Color OndraCache::*kColor1 = &OndraCache::secondColor;
///         static float Weight(const OndraCache& c, float u, float v) noexcept;
///         static AColor MixColor(const OndraCache& c, float w, const Color& slot0,
///                                const Color& slot1) noexcept;
///         static float MixMono(const OndraCache& c, float w, float slot0, float slot1) noexcept;
///         static float Mono0(const Color& c) noexcept;  // slot 0's plain colour as mono
///         static float Mono1(const Color& c) noexcept;
///     };
///     class OndraTex final
///         : public loom::TwoSlotTexClass<OndraTex, OndraCache, kOndraInfo, OndraDlg, OndraPattern>
///         {
///         ... setters ...
///     };
///
/// (A member may equally be a constexpr function pointer: `static constexpr auto Weight =
/// OndraWeight;`.) Optional members make the batch paths faster, each bit for bit equal to
/// its per-sample form:
///     WeightBatch(c, u, v, n, w)               w[i] = Weight(c, u[i], v[i])
///     MixColorBatch(c, w, slot0, slot1, n, out) out[i] = MixColor(c, w[i], slot0[i], slot1[i])
///     PreviewWeight(c, u, v), PreviewWeightBatch(c, u, v, n, w)
///                                              the viewport's weight, when it is not Weight
/// Without WeightBatch the frame's per-sample batch paths are kept.
///
/// Every path takes the slots first (slot 1's map before slot 0's, both always), then the
/// weight, then the mix, with the slots in the order slot 0, slot 1.

#include <concepts>

#include "foundation/texframe/tex_class.h"

namespace loom {

template <class P, class CacheT>
concept TwoSlotPattern = requires(const CacheT& c, float x, const Color& col) {
    { c.*P::kColor0 } -> std::convertible_to<const Color&>;
    { c.*P::kColor1 } -> std::convertible_to<const Color&>;
    { P::Weight(c, x, x) } -> std::same_as<float>;
    { P::MixColor(c, x, col, col) } -> std::same_as<AColor>;
    { P::MixMono(c, x, x, x) } -> std::same_as<float>;
    { P::Mono0(col) } -> std::same_as<float>;
    { P::Mono1(col) } -> std::same_as<float>;
};

template <class Self, class CacheT, const TextureInfo& kInfo, class PanelClass, class Pattern>
requires TwoSlotPattern<Pattern, CacheT>
class TwoSlotTexClass : public TexClass<Self, CacheT, kInfo, PanelClass> {
    using Base = TexClass<Self, CacheT, kInfo, PanelClass>;

    static constexpr bool kHasWeightBatch = requires(const CacheT& c, const float* x, float* w) {
        Pattern::WeightBatch(c, x, x, 1, w);
    };
    static constexpr bool kHasMixColorBatch =
        requires(const CacheT& c, const float* w, const Color* s, AColor* out) {
        Pattern::MixColorBatch(c, w, s, s, 1, out);
    };
    static constexpr bool kHasPreviewWeight = requires(const CacheT& c, float x) {
        Pattern::PreviewWeight(c, x, x);
    };
    static constexpr bool kHasPreviewWeightBatch =
        requires(const CacheT& c, const float* x, float* w) {
        Pattern::PreviewWeightBatch(c, x, x, 1, w);
    };
    static_assert(kHasPreviewWeight || !kHasPreviewWeightBatch,
                  "PreviewWeightBatch goes with PreviewWeight");
    static_assert(!kHasPreviewWeight || !kHasWeightBatch || kHasPreviewWeightBatch,
                  "a pattern with WeightBatch and PreviewWeight needs PreviewWeightBatch");

  public:
    AColor PatternColor(ShadeContext& sc, float u, float v) override {
        const auto [slot0, slot1] = this->SlotColors(sc, Color0(), Color1());
        return Pattern::MixColor(this->cache_, Pattern::Weight(this->cache_, u, v), slot0, slot1);
    }

    float PatternMono(ShadeContext& sc, float u, float v) override {
        const auto [slot0, slot1] =
            this->SlotMonos(sc, Color0(), Pattern::Mono0, Color1(), Pattern::Mono1);
        return Pattern::MixMono(this->cache_, Pattern::Weight(this->cache_, u, v), slot0, slot1);
    }

    AColor PatternPreview(float u, float v) override {
        return Pattern::MixColor(this->cache_, PreviewWeight(u, v), Color0(), Color1());
    }

    void PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                           AColor* out) override {
        if constexpr (kHasWeightBatch) {
            Color slot0[kTexBatchMax], slot1[kTexBatchMax];
            this->SlotColorsBatch(pts, Color0(), Color1(), slot0, slot1);
            float w[kTexBatchMax];
            Pattern::WeightBatch(this->cache_, u, v, pts.count, w);
            MixColors(w, slot0, slot1, pts.count, out);
        } else {
            Base::PatternColorBatch(pts, u, v, out);
        }
    }

    void PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                          float* out) override {
        if constexpr (kHasWeightBatch) {
            float slot0[kTexBatchMax], slot1[kTexBatchMax];
            this->SlotMonosBatch(pts, Color0(), Pattern::Mono0, Color1(), Pattern::Mono1, slot0,
                                 slot1);
            float w[kTexBatchMax];
            Pattern::WeightBatch(this->cache_, u, v, pts.count, w);
            for (int i = 0; i < pts.count; ++i) {
                out[i] = Pattern::MixMono(this->cache_, w[i], slot0[i], slot1[i]);
            }
        } else {
            Base::PatternMonoBatch(pts, u, v, out);
        }
    }

    void PatternPreviewBatch(const float* u, const float* v, int n, AColor* out) override {
        if constexpr (kHasWeightBatch) {
            float w[kTexBatchMax];
            if constexpr (kHasPreviewWeightBatch) {
                Pattern::PreviewWeightBatch(this->cache_, u, v, n, w);
            } else {
                Pattern::WeightBatch(this->cache_, u, v, n, w);
            }
            for (int i = 0; i < n; ++i) {
                out[i] = Pattern::MixColor(this->cache_, w[i], Color0(), Color1());
            }
        } else {
            Base::PatternPreviewBatch(u, v, n, out);
        }
    }

  private:
    const Color& Color0() const { return this->cache_.*Pattern::kColor0; }
    const Color& Color1() const { return this->cache_.*Pattern::kColor1; }

    float PreviewWeight(float u, float v) const {
        if constexpr (kHasPreviewWeight) {
            return Pattern::PreviewWeight(this->cache_, u, v);
        } else {
            return Pattern::Weight(this->cache_, u, v);
        }
    }

    void MixColors(const float* w, const Color* slot0, const Color* slot1, int n, AColor* out) {
        if constexpr (kHasMixColorBatch) {
            Pattern::MixColorBatch(this->cache_, w, slot0, slot1, n, out);
        } else {
            for (int i = 0; i < n; ++i)
                out[i] = Pattern::MixColor(this->cache_, w[i], slot0[i], slot1[i]);
        }
    }
};

}  // namespace loom

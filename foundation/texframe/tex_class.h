#pragma once
/// The frame bound to one texture class: a texture declares itself as
///
///     class VoltraneTex final : public loom::TexClass<VoltraneTex, VoltraneCache,
///                                                     kVoltraneInfo, VoltraneDlg> { ... };
///
/// and supplies only its pattern functions (and, when older layouts need it, its repair).
/// The frame owns the cache, the sub-map slots, cloning, the parameter table and the panel.

#include <type_traits>

#include "foundation/texframe/tex_frame.h"

namespace loom {

/// The values of slots 0 and 1 of a two-slot texture.
template <class T>
struct SlotPair {
    T slot0;
    T slot1;
};

/// `Self` is the texture class, `CacheT` the struct its rows bind to, `kInfo` its table and
/// identity, `PanelClass` its panel class (a TexPanelBase made by TexPanelBase::Open), or void
/// for none. `Self` adds no data members: everything the pattern reads is in the cache.
template <class Self, class CacheT, const TextureInfo& kInfo, class PanelClass = void>
class TexClass : public TexFrame {
    // The frame stores rows into the cache by byte offset and copies it whole.
    static_assert(std::is_trivially_copyable_v<CacheT>,
                  "a texture cache must be trivially copyable");
    static_assert(std::is_standard_layout_v<CacheT>, "a texture cache must be standard-layout");

  public:
    /// The class's table and identity, without an object.
    static const TextureInfo& ClassInfo() { return kInfo; }

    /// The values as of the last Update or setter.
    const CacheT& Cache() const { return cache_; }

    /// The class's panel, attached to this texture; null for a class without one.
    ParamDlg* CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) override {
        if constexpr (std::is_void_v<PanelClass>) {
            return TexFrame::CreateParamDlg(hwMtlEdit, imp);
        } else {
            // Spelled through PanelClass so that this header needs no panel header.
            return PanelClass::template Open<PanelClass>(this, hwMtlEdit, imp);
        }
    }

  private:
    /// The cache's seed and tile, when the cache has them.
    static PatternVariation* VariationOf(CacheT& cache) {
        if constexpr (requires { cache.variation; }) {
            static_assert(std::is_same_v<decltype(cache.variation), PatternVariation>);
            return &cache.variation;
        } else {
            return nullptr;
        }
    }

  protected:
    TexClass() : TexFrame(kInfo, &cache_, VariationOf(cache_)) { Construct(); }

    TexFrame* NewSameClass() override {
        // Construct and Clone know only the frame and the cache.
        static_assert(sizeof(Self) == sizeof(TexClass), "a texture keeps its state in its cache");
        return new Self();
    }
    void CopyCacheFrom(const TexFrame& from) override {
        cache_ = static_cast<const TexClass&>(from).cache_;
    }

    /// Slot `slot`'s colour: its sub-map's RGB when one is assigned, else `plain`.
    Color SlotColor(ShadeContext& sc, int slot, const Color& plain) {
        if (Texmap* map = subTex_[slot]) {
            const AColor s = map->EvalColor(sc);
            return Color(s.r, s.g, s.b);
        }
        return plain;
    }

    /// Slot `slot`'s mono value: its sub-map's EvalMono when one is assigned, else
    /// monoOf(plain) (not called when the map answers).
    template <class MonoOf>
    float SlotMono(ShadeContext& sc, int slot, const Color& plain, MonoOf monoOf) {
        return subTex_[slot] ? subTex_[slot]->EvalMono(sc) : monoOf(plain);
    }

    /// Colours of a two-slot texture: each sub-map replaces its slot's colour. Slot 1's map
    /// is evaluated before slot 0's, and both always, whatever the pattern then weighs.
    SlotPair<Color> SlotColors(ShadeContext& sc, const Color& plain0, const Color& plain1) {
        const Color c1 = SlotColor(sc, 1, plain1);
        const Color c0 = SlotColor(sc, 0, plain0);
        return {c0, c1};
    }

    /// Mono values of a two-slot texture, in the order of SlotColors; a slot without a map
    /// answers monoOf0(plain0) or monoOf1(plain1).
    template <class MonoOf0, class MonoOf1>
    SlotPair<float> SlotMonos(ShadeContext& sc, const Color& plain0, MonoOf0 monoOf0,
                              const Color& plain1, MonoOf1 monoOf1) {
        const float m1 = SlotMono(sc, 1, plain1, monoOf1);
        const float m0 = SlotMono(sc, 0, plain0, monoOf0);
        return {m0, m1};
    }
    /// As above, one mono function for both slots.
    template <class MonoOf>
    SlotPair<float> SlotMonos(ShadeContext& sc, const Color& plain0, const Color& plain1,
                              MonoOf monoOf) {
        return SlotMonos(sc, plain0, monoOf, plain1, monoOf);
    }

    /// SlotColor of every sample of a batch (at most kTexBatchMax), the map batched.
    void SlotColorBatch(const TexBatchPoints& pts, int slot, const Color& plain, Color* out) {
        if (Texmap* map = subTex_[slot]) {
            AColor s[kTexBatchMax];
            loom::EvalColorBatch(map, pts, s);
            for (int i = 0; i < pts.count; ++i) out[i] = Color(s[i].r, s[i].g, s[i].b);
        } else {
            for (int i = 0; i < pts.count; ++i) out[i] = plain;
        }
    }

    /// SlotMono of every sample of a batch (at most kTexBatchMax), the map batched.
    template <class MonoOf>
    void SlotMonoBatch(const TexBatchPoints& pts, int slot, const Color& plain, MonoOf monoOf,
                       float* out) {
        if (Texmap* map = subTex_[slot]) {
            loom::EvalMonoBatch(map, pts, out);
        } else {
            const float m = monoOf(plain);
            for (int i = 0; i < pts.count; ++i) out[i] = m;
        }
    }

    /// SlotColors for a batch: slot 1's map over the whole batch, then slot 0's.
    void SlotColorsBatch(const TexBatchPoints& pts, const Color& plain0, const Color& plain1,
                         Color* c0, Color* c1) {
        SlotColorBatch(pts, 1, plain1, c1);
        SlotColorBatch(pts, 0, plain0, c0);
    }

    /// SlotMonos for a batch, in the order of SlotColorsBatch.
    template <class MonoOf0, class MonoOf1>
    void SlotMonosBatch(const TexBatchPoints& pts, const Color& plain0, MonoOf0 monoOf0,
                        const Color& plain1, MonoOf1 monoOf1, float* m0, float* m1) {
        SlotMonoBatch(pts, 1, plain1, monoOf1, m1);
        SlotMonoBatch(pts, 0, plain0, monoOf0, m0);
    }

    CacheT cache_;
};

}  // namespace loom

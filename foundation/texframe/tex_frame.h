#pragma once
/// The frame every texture plug-in is built on: references (UV generator, parameter
/// block, sub-maps), the parameter cache and its validity, change handling, evaluation
/// through the UV generator and the texture's PatternSampler, cloning, storage and the
/// viewport display bitmap. A texture supplies its TextureInfo, its cache and its three
/// pattern functions.

#include <cstdint>
#include <memory>
#include <span>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/texmap_batch.h"
#include "foundation/host/sdk/texmap_variation.h"
#include "foundation/host/sdk/uvgen.h"
#include "foundation/texframe/param_table.h"
#include "foundation/texframe/pattern_variation.h"

namespace loom {

inline constexpr int kMaxSubTex = 3;
inline constexpr int kUVGenRef = 0;
inline constexpr int kPBlockRef = 1;
inline constexpr int kFirstSubTexRef = 2;
/// Samples a texture evaluates together; longer batches are taken in pieces of this size,
/// so every working array lives on the stack.
inline constexpr int kTexBatchMax = 64;
/// Scene chunk of a texture's seed, written only when the seed is not the default one (so
/// a scene without a seed keeps its bytes, and an old scene loads with the default).
inline constexpr USHORT kTexSeedChunk = 0x4010;

/// Some samples of a batch (at most kTexBatchMax) gathered into a batch of their own, so
/// that a sub-map can be evaluated at just those samples.
class BatchSubset {
  public:
    /// Samples index[0], ..., index[count - 1] of `pts`, in that order.
    BatchSubset(const TexBatchPoints& pts, const int* index, int count);
    BatchSubset(const BatchSubset&) = delete;
    BatchSubset& operator=(const BatchSubset&) = delete;
    const TexBatchPoints& Points() const { return pts_; }

  private:
    TexBatchPoints pts_;
    float u_[kTexBatchMax], v_[kTexBatchMax], du_[kTexBatchMax], dv_[kTexBatchMax];
    Point3 dpdu_[kTexBatchMax], dpdv_[kTexBatchMax], dpdw_[kTexBatchMax], p_[kTexBatchMax],
        normal_[kTexBatchMax];
};

/// Everything that tells one texture class from another, as data.
struct TextureInfo {
    const char* className;     ///< descriptor class name (Windows-1252)
    const char* internalName;  ///< GetClassName answer
    Class_ID classId;
    const char* tempBitmapName;  ///< name of the viewport display bitmap
    std::span<const ParamRow> rows;
    std::span<const int> resetOrder;         ///< row indices in the order Reset sets them
    std::span<const int> colorRows;          ///< row of colour 0, 1 (and 2)
    std::span<const char* const> slotNames;  ///< one per sub-map
    DWORD version;                           ///< current layout version
    std::span<const ParamBlockDescID> currentLayout;
    std::span<const ParamVersionDesc> olderLayouts;
    bool hasLegacyFixup;  ///< registers a repair that runs after the layout converter
};

class TexFrame;

/// The four-operation callback a texture hands to its UV generator; forwards to the
/// texture's pattern functions. Filter widths are passed along and not used.
class PatternSampler final : public MapSampler {
  public:
    explicit PatternSampler(TexFrame* tex) : tex_(tex) {}
    AColor Sample(ShadeContext& sc, float u, float v) override;
    AColor SampleFilter(ShadeContext& sc, float u, float v, float du, float dv) override;
    float SampleMono(ShadeContext& sc, float u, float v) override;
    float SampleMonoFilter(ShadeContext& sc, float u, float v, float du, float dv) override;

  private:
    TexFrame* tex_;
};

/// Hooks the frame needs from an open parameter panel.
class TexPanel : public ParamDlg {
  public:
    /// True while the panel is inside its own message handling.
    virtual bool IsActive() const = 0;
    /// Marks the controls stale and asks for a repaint, which reloads them.
    virtual void Invalidate() = 0;
    virtual void UpdateSubTexNames() = 0;
    /// The texture is going away: forget it.
    virtual void ForgetTexture() = 0;
};

class TexFrame : public Texmap, public ITexmapBatch, public ITexmapVariation {
  public:
    ~TexFrame() override;

    // Identity and object model.
    Class_ID ClassID() override { return info_.classId; }
    void GetClassName(TSTR& s) override { s = info_.internalName; }
    void DeleteThis() override { delete this; }
    int NumSubs() override { return NumRefs(); }
    Animatable* SubAnim(int i) override;
    TSTR SubAnimName(int i) override;
    int NumRefs() override { return kFirstSubTexRef + NumSubTexmaps(); }
    RefTargetHandle GetReference(int i) override;
    void SetReference(int i, RefTargetHandle target) override;
    RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                               RefMessage message) override;
    RefTargetHandle Clone(RemapDir& remap) override;
    IOResult Save(ISave* isave) override;
    IOResult Load(ILoad* iload) override;

    // Maps.
    ULONG LocalRequirements(int subMtlNum) override;
    int NumSubTexmaps() override { return static_cast<int>(info_.slotNames.size()); }
    Texmap* GetSubTexmap(int i) override;
    void SetSubTexmap(int i, Texmap* map) override;
    TSTR GetSubTexmapSlotName(int i) override;

    // Cache.
    void Update(TimeValue t, Interval& valid) override;
    void Reset() override;
    Interval Validity(TimeValue t) override;
    ParamDlg* CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) override;

    // Evaluation.
    AColor EvalColor(ShadeContext& sc) override;
    float EvalMono(ShadeContext& sc) override;
    Point3 EvalNormalPerturb(ShadeContext& sc) override;

    // Batch evaluation (texmap_batch.h): the UV generator maps each sample as in the
    // per-sample calls, the pattern runs on the whole batch, and the generator's result
    // for each sample is formed from the pattern's values exactly as it would be from
    // single calls. A tree with more than one random-drawing map, or a generator that does
    // not sample once per point (four times for the derivative), runs sample by sample.
    void* GetInterface(ULONG id) override;
    void EvalColorBatch(const TexBatchPoints& pts, AColor* out) noexcept override;
    void EvalMonoBatch(const TexBatchPoints& pts, float* out) noexcept override;
    void EvalNormalPerturbBatch(const TexBatchPoints& pts, Point3* out) noexcept override;
    int RandomDrawingMaps() noexcept override;
    const char* BatchIsaName() noexcept override;

    // Seed and tile (texmap_variation.h), kept in the cache's `variation` member for the
    // pattern functions; the seed is saved with the texture and copied by Clone.
    unsigned SeedUse() noexcept override { return PatternSeedUse(); }
    bool SetSeed(std::uint32_t seed) noexcept override;
    std::uint32_t Seed() noexcept override { return seed_; }
    void SetTiled(bool tiled) noexcept override;
    bool Tiled() noexcept override { return tiled_; }
    const char* TileNote() noexcept override { return PatternTileNote(); }

    // Viewport display.
    BOOL SupportTexDisplay() override { return TRUE; }
    void ActivateTexDisplay(BOOL onOff) override;
    DWORD_PTR GetActiveTexHandle(TimeValue t, TexHandleMaker& maker) override;
    void GetUVTransform(Matrix3& uvtrans) override;
    int GetTextureTiling() override;
    void InitSlotType(int type) override;

    /// A square bitmap of size x size filled by PatternPreview; null for size <= 0 or
    /// when the bitmap cannot be made. The caller deletes it.
    Bitmap* BuildDisplayBitmap(int size);
    void DiscardTexHandle();

    /// Exchanges colours 0 and 1, sub-maps 0 and 1 and the two colour rows' tracks.
    void Swap();

    /// Sets row `row` through its cache field and the block at time t.
    void SetParam(int row, const ParamValue& v, TimeValue t);
    void SetFloatParam(int row, float v, TimeValue t);
    void SetIntParam(int row, int v, TimeValue t);
    /// Sets colour `index` (0, 1 or 2).
    void SetColorParam(int index, const Color& c, TimeValue t);
    /// The value row `row` holds in the cache (as of the last Update or setter).
    ParamValue CachedValue(int row) const;

    /// Repairs values that older layouts lacked; non-zero when it changed something.
    virtual int FixLegacyParams() { return 0; }

    // The texture's pattern functions (read only the cache; called from render threads).
    virtual AColor PatternColor(ShadeContext& sc, float u, float v) = 0;
    virtual float PatternMono(ShadeContext& sc, float u, float v) = 0;
    virtual AColor PatternPreview(float u, float v) = 0;
    /// PatternColor at the mapped points (u[i], v[i]) of the samples `pts` (at most
    /// kTexBatchMax); sub-maps are evaluated at `pts`. The default calls PatternColor.
    virtual void PatternColorBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                   AColor* out);
    /// PatternMono of a batch, as PatternColorBatch.
    virtual void PatternMonoBatch(const TexBatchPoints& pts, const float* u, const float* v,
                                  float* out);
    /// out[i] = PatternPreview(u[i], v[i]) for i < n (at most kTexBatchMax), in turn. The
    /// default calls PatternPreview.
    virtual void PatternPreviewBatch(const float* u, const float* v, int n, AColor* out);
    /// Whether the pattern itself (not its sub-maps) draws from crt::rand().
    virtual bool PatternDrawsRandom() const { return false; }
    /// What a seed changes in the pattern (TexSeedUse flags); the default: nothing.
    virtual unsigned PatternSeedUse() const { return kSeedChangesNothing; }
    /// What the pattern needs for `seed` (not the default one), e.g. its noise tables,
    /// shared by every texture of that seed; null when it needs nothing. May throw
    /// std::bad_alloc.
    virtual std::shared_ptr<const void> MakeSeedState(std::uint32_t seed) {
        return (void)seed, nullptr;
    }
    /// TileNote for the cached settings; the default: the pattern tiles seamlessly.
    virtual const char* PatternTileNote() const { return nullptr; }

    const TextureInfo& Info() const { return info_; }
    IParamBlock* ParamBlock() const { return pblock_; }
    UVGen* UVGenerator() const { return uvGen_; }
    TexPanel* Panel() const { return paramDlg_; }
    /// Called by a panel as it attaches to (or detaches from, with null) this texture.
    void SetPanel(TexPanel* panel) { paramDlg_ = panel; }
    const Interval& CacheValidity() const { return ivalid_; }

  protected:
    /// `cache` points at the derived texture's cache struct the rows' offsets refer to;
    /// `variation` at its `variation` member (null for a cache without one, whose pattern
    /// then ignores seeds and tiles).
    TexFrame(const TextureInfo& info, void* cache, PatternVariation* variation = nullptr);
    /// Creates a fresh object of the same class (used by Clone).
    virtual TexFrame* NewSameClass() = 0;
    /// Copies the cache struct from another object of the same class.
    virtual void CopyCacheFrom(const TexFrame& from) = 0;
    /// Constructor's last step; runs Reset.
    void Construct();

    Texmap* subTex_[kMaxSubTex] = {nullptr, nullptr, nullptr};

  private:
    void StoreInCache(int row, const ParamValue& v);
    /// Sets the seed without telling dependents (loading); false when it cannot.
    bool ApplySeed(std::uint32_t seed) noexcept;

    const TextureInfo& info_;
    void* cache_;
    UVGen* uvGen_ = nullptr;
    IParamBlock* pblock_ = nullptr;
    TexHandle* texHandle_ = nullptr;
    Interval ivalid_;
    PatternSampler sampler_{this};
    TexPanel* paramDlg_ = nullptr;
    ParamVersionDesc currentVersion_;
    PatternVariation* variation_ = nullptr;
    std::uint32_t seed_ = kDefaultTexSeed;
    bool tiled_ = false;
    std::shared_ptr<const void> seedState_;
};

}  // namespace loom

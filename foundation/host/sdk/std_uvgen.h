#pragma once
/// The host's standard UV generator: offset, tiling, angle about (0.5, 0.5) and wrap or
/// mirror per axis, kept in a parameter block; identity by default. Its panel (the
/// "Coordinates" rollup of stdmaps/uvgen_panel.h) needs the window system, which this layer
/// does not: the panel's layer registers a factory, and without one the generator has none.

#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/texmap_batch.h"
#include "foundation/host/sdk/uvgen.h"

namespace loom {

class StdUVGen;

inline constexpr Class_ID kStdUVGenClassId(0x0000100, 0);

/// What the generator tells its open panel.
class StdUVGenView {
  public:
    /// The generator's block changed from outside the panel's own handling.
    virtual void OutsideChange() = 0;
    /// The generator is being destroyed while the panel is open.
    virtual void GeneratorGone(StdUVGen* gen) = 0;

  protected:
    ~StdUVGenView() = default;
};

/// Makes the panel of `gen` for a material editor: null when it cannot.
using StdUVGenPanelFactory = ParamDlg* (*)(StdUVGen* gen, IMtlParams* imp);
/// Sets the factory StdUVGen::CreateParamDlg calls (null: no panel). Set once, during
/// start-up, by the layer that owns the panel.
void SetStdUVGenPanelFactory(StdUVGenPanelFactory factory);

class StdUVGen final : public UVGen, public IUVGenBatch {
  public:
    StdUVGen();

    Class_ID ClassID() override { return kStdUVGenClassId; }
    void GetClassName(TSTR& s) override { s = "StdUVGen"; }
    int NumRefs() override { return 1; }
    RefTargetHandle GetReference(int i) override { return i == 0 ? pblock_ : nullptr; }
    void SetReference(int i, RefTargetHandle t) override;
    int NumSubs() override { return 1; }
    Animatable* SubAnim(int i) override { return i == 0 ? pblock_ : nullptr; }
    TSTR SubAnimName(int i) override { return i == 0 ? "Parameters" : ""; }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage msg) override;

    void Reset() override;
    void Update(TimeValue t, Interval& valid) override;
    Interval Validity(TimeValue t) override;
    ParamDlg* CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) override;

    AColor EvalUVMap(ShadeContext& sc, MapSampler* samp, BOOL filter) override;
    float EvalUVMapMono(ShadeContext& sc, MapSampler* samp, BOOL filter) override;
    Point2 EvalDeriv(ShadeContext& sc, MapSampler* samp, BOOL filter) override;
    void GetBumpDP(ShadeContext& sc, Point3& dPdu, Point3& dPdv) override;
    int SymFlags() override { return sym_; }
    void SetSymFlags(int flags) override;
    void GetUVTransform(Matrix3& m) override;
    int GetTextureTiling() override { return sym_; }
    RefTargetHandle Clone(RemapDir& remap) override;
    void* GetInterface(ULONG id) override;
    void MapBatch(const TexBatchPoints& pts, float* u, float* v) noexcept override;

    IParamBlock* ParamBlock() const { return pblock_; }
    /// The open panel, told when the block changes from outside it; null when closed.
    void SetPanel(StdUVGenView* panel) { panel_ = panel; }
    StdUVGenView* Panel() const { return panel_; }
    ~StdUVGen() override;

  private:
    void Map(ShadeContext& sc, float& u, float& v) const;
    void MapPoint(float x, float y, float& u, float& v) const noexcept;

    IParamBlock* pblock_ = nullptr;
    StdUVGenView* panel_ = nullptr;
    Interval valid_;
    float offU_ = 0.0f, offV_ = 0.0f, tileU_ = 1.0f, tileV_ = 1.0f, angle_ = 0.0f;
    int sym_ = 0;
    bool identity_ = true;
    double cosA_ = 1.0, sinA_ = 0.0;
};

}  // namespace loom

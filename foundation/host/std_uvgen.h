#pragma once
/// The host's standard UV generator: offset, tiling, angle about (0.5, 0.5) and wrap or
/// mirror per axis, kept in a parameter block; identity by default. Its panel is the
/// "Coordinates" rollup (uvgen_panel.h).

#include "foundation/host/pblock.h"
#include "foundation/host/texmap_batch.h"
#include "foundation/host/uvgen.h"

namespace loom {

class StdUVGenPanel;

inline constexpr Class_ID kStdUVGenClassId(0x0000100, 0);

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
    void SetPanel(StdUVGenPanel* panel) { panel_ = panel; }
    StdUVGenPanel* Panel() const { return panel_; }
    ~StdUVGen() override;

  private:
    void Map(ShadeContext& sc, float& u, float& v) const;
    void MapPoint(float x, float y, float& u, float& v) const noexcept;

    IParamBlock* pblock_ = nullptr;
    StdUVGenPanel* panel_ = nullptr;
    Interval valid_;
    float offU_ = 0.0f, offV_ = 0.0f, tileU_ = 1.0f, tileV_ = 1.0f, angle_ = 0.0f;
    int sym_ = 0;
    bool identity_ = true;
    double cosA_ = 1.0, sinA_ = 0.0;
};

}  // namespace loom

#include "foundation/host/sdk/uvgen.h"

#include <atomic>
#include <cmath>

#include "foundation/host/base/animate.h"
#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/std_uvgen.h"

namespace {

// clang-format off
const ParamBlockDescID kStdUVRows[] = {
    {TYPE_FLOAT, nullptr, TRUE, 0},   // U offset
    {TYPE_FLOAT, nullptr, TRUE, 1},   // V offset
    {TYPE_FLOAT, nullptr, TRUE, 2},   // U tiling
    {TYPE_FLOAT, nullptr, TRUE, 3},   // V tiling
    {TYPE_FLOAT, nullptr, TRUE, 4},   // angle
    {TYPE_INT,   nullptr, FALSE, 5},  // symmetry flags
};
// clang-format on
constexpr DWORD kStdUVVersion = 1;

float Fold(float c, bool wrap, bool mirror) {
    if (mirror) {
        float m = c - 2.0f * std::floor(c * 0.5f);
        return m > 1.0f ? 2.0f - m : m;
    }
    if (wrap) return c - std::floor(c);
    return c;
}

std::atomic<loom::StdUVGenPanelFactory> gPanelFactory{nullptr};

}  // namespace

namespace loom {

void SetStdUVGenPanelFactory(StdUVGenPanelFactory factory) { gPanelFactory.store(factory); }

StdUVGen::StdUVGen() { Reset(); }

StdUVGen::~StdUVGen() {
    if (panel_) panel_->GeneratorGone(this);
}

void StdUVGen::SetReference(int i, RefTargetHandle t) {
    if (i == 0) pblock_ = dynamic_cast<IParamBlock*>(t);
}

RefResult StdUVGen::NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage msg) {
    if (msg == REFMSG_CHANGE) {
        valid_.SetEmpty();
        if (panel_) panel_->OutsideChange();
    }
    return REF_SUCCEED;
}

void StdUVGen::Reset() {
    AnimateSuspend noKeys;
    ReplaceReference(0, CreateParameterBlock(kStdUVRows, kUVParamCount, kStdUVVersion));
    pblock_->SetValue(kUVTilingU, 0, 1.0f);
    pblock_->SetValue(kUVTilingV, 0, 1.0f);
    valid_.SetEmpty();
}

void StdUVGen::Update(TimeValue t, Interval& valid) {
    if (!valid_.InInterval(t)) {
        valid_ = FOREVER;
        if (pblock_) {
            pblock_->GetValue(kUVOffsetU, t, offU_, valid_);
            pblock_->GetValue(kUVOffsetV, t, offV_, valid_);
            pblock_->GetValue(kUVTilingU, t, tileU_, valid_);
            pblock_->GetValue(kUVTilingV, t, tileV_, valid_);
            pblock_->GetValue(kUVAngle, t, angle_, valid_);
            pblock_->GetValue(kUVSymFlags, t, sym_, valid_);
        }
        identity_ = offU_ == 0.0f && offV_ == 0.0f && tileU_ == 1.0f && tileV_ == 1.0f &&
                    angle_ == 0.0f && sym_ == 0;
        double rad = static_cast<double>(angle_) * 3.14159265358979323846 / 180.0;
        cosA_ = std::cos(rad);
        sinA_ = std::sin(rad);
    }
    valid &= valid_;
}

Interval StdUVGen::Validity(TimeValue t) {
    Interval v = FOREVER;
    Update(t, v);
    return v;
}

ParamDlg* StdUVGen::CreateParamDlg(HWND, IMtlParams* imp) {
    StdUVGenPanelFactory factory = gPanelFactory.load();
    return imp && factory ? factory(this, imp) : nullptr;
}

AColor StdUVGen::EvalUVMap(ShadeContext& sc, MapSampler* samp, BOOL filter) {
    float u, v;
    Map(sc, u, v);
    if (filter) {
        Point3 d = sc.DUVW(1);
        return samp->SampleFilter(sc, u, v, d.x * tileU_, d.y * tileV_);
    }
    return samp->Sample(sc, u, v);
}

float StdUVGen::EvalUVMapMono(ShadeContext& sc, MapSampler* samp, BOOL filter) {
    float u, v;
    Map(sc, u, v);
    if (filter) {
        Point3 d = sc.DUVW(1);
        return samp->SampleMonoFilter(sc, u, v, d.x * tileU_, d.y * tileV_);
    }
    return samp->SampleMono(sc, u, v);
}

Point2 StdUVGen::EvalDeriv(ShadeContext& sc, MapSampler* samp, BOOL) {
    // Central difference of the mono sample; point samples on both sides.
    float u, v;
    Map(sc, u, v);
    const float h = kDerivStep;
    float du = (samp->SampleMono(sc, u + h, v) - samp->SampleMono(sc, u - h, v)) / (2.0f * h);
    float dv = (samp->SampleMono(sc, u, v + h) - samp->SampleMono(sc, u, v - h)) / (2.0f * h);
    return {du, dv};
}

void StdUVGen::GetBumpDP(ShadeContext& sc, Point3& dPdu, Point3& dPdv) {
    Point3 dP[3];
    sc.DPdUVW(dP, 1);
    dPdu = dP[0];
    dPdv = dP[1];
}

void StdUVGen::SetSymFlags(int flags) {
    if (pblock_) pblock_->SetValue(kUVSymFlags, 0, flags);
    NotifyDependents(FOREVER, PART_ALL, REFMSG_UV_SYM_CHANGE);
}

void StdUVGen::GetUVTransform(Matrix3& m) {
    m.IdentityMatrix();
    m.m[0] = Point3(tileU_, 0, 0);
    m.m[1] = Point3(0, tileV_, 0);
    m.m[3] = Point3(offU_, offV_, 0);
}

RefTargetHandle StdUVGen::Clone(RemapDir& remap) {
    auto* copy = new StdUVGen();
    *static_cast<MtlBase*>(copy) = *this;
    copy->ReplaceReference(0, remap.CloneRef(pblock_));
    remap.AddEntry(this, copy);
    return copy;
}

void StdUVGen::Map(ShadeContext& sc, float& u, float& v) const {
    const Point3 uvw = sc.UVW(1);
    MapPoint(uvw.x, uvw.y, u, v);
}

void* StdUVGen::GetInterface(ULONG id) {
    return id == I_UVGEN_BATCH ? static_cast<IUVGenBatch*>(this) : UVGen::GetInterface(id);
}

void StdUVGen::MapBatch(const TexBatchPoints& pts, float* u, float* v) noexcept {
    for (int i = 0; i < pts.count; ++i) MapPoint(pts.u[i], pts.v[i], u[i], v[i]);
}

void StdUVGen::MapPoint(float px, float py, float& u, float& v) const noexcept {
    if (identity_) {
        u = px;
        v = py;
        return;
    }
    double x = Widen(px), y = Widen(py);
    if (angle_ != 0.0f) {
        double cx = x - 0.5, cy = y - 0.5;
        x = cx * cosA_ - cy * sinA_ + 0.5;
        y = cx * sinA_ + cy * cosA_ + 0.5;
    }
    u = Fold(static_cast<float>(x * Widen(tileU_) + Widen(offU_)), sym_ & U_WRAP, sym_ & U_MIRROR);
    v = Fold(static_cast<float>(y * Widen(tileV_) + Widen(offV_)), sym_ & V_WRAP, sym_ & V_MIRROR);
}

}  // namespace loom

namespace {

class StdUVGenClassDesc : public ClassDesc {
  public:
    int IsPublic() override { return 0; }
    void* Create(BOOL) override { return new loom::StdUVGen(); }
    const TCHAR* ClassName() override { return "StdUVGen"; }
    SClass_ID SuperClassID() override { return UVGEN_CLASS_ID; }
    Class_ID ClassID() override { return loom::kStdUVGenClassId; }
    const TCHAR* Category() override { return ""; }
};
StdUVGenClassDesc gStdUVGenDesc;
const bool gRegistered = loom::RegisterClass(&gStdUVGenDesc);

}  // namespace

UVGen* GetNewDefaultUVGen() {
    (void)gRegistered;
    return new loom::StdUVGen();
}

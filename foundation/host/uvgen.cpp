#include "foundation/host/uvgen.h"

#include <cmath>

#include "foundation/host/animate.h"
#include "foundation/host/classdesc.h"
#include "foundation/host/pblock.h"

namespace {

constexpr Class_ID kStdUVGenClassId(0x0000100, 0);

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

class StdUVGen final : public UVGen {
  public:
    StdUVGen() { Reset(); }

    Class_ID ClassID() override { return kStdUVGenClassId; }
    void GetClassName(TSTR& s) override { s = "StdUVGen"; }
    int NumRefs() override { return 1; }
    RefTargetHandle GetReference(int i) override { return i == 0 ? pblock_ : nullptr; }
    void SetReference(int i, RefTargetHandle t) override {
        if (i == 0) pblock_ = dynamic_cast<IParamBlock*>(t);
    }
    int NumSubs() override { return 1; }
    Animatable* SubAnim(int i) override { return i == 0 ? pblock_ : nullptr; }
    TSTR SubAnimName(int i) override { return i == 0 ? "Parameters" : ""; }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage msg) override {
        if (msg == REFMSG_CHANGE) valid_.SetEmpty();
        return REF_SUCCEED;
    }

    void Reset() override {
        AnimateSuspend noKeys;
        ReplaceReference(0, CreateParameterBlock(kStdUVRows, loom::kUVParamCount, kStdUVVersion));
        pblock_->SetValue(loom::kUVTilingU, 0, 1.0f);
        pblock_->SetValue(loom::kUVTilingV, 0, 1.0f);
        valid_.SetEmpty();
    }

    void Update(TimeValue t, Interval& valid) override {
        if (!valid_.InInterval(t)) {
            valid_ = FOREVER;
            if (pblock_) {
                pblock_->GetValue(loom::kUVOffsetU, t, offU_, valid_);
                pblock_->GetValue(loom::kUVOffsetV, t, offV_, valid_);
                pblock_->GetValue(loom::kUVTilingU, t, tileU_, valid_);
                pblock_->GetValue(loom::kUVTilingV, t, tileV_, valid_);
                pblock_->GetValue(loom::kUVAngle, t, angle_, valid_);
                pblock_->GetValue(loom::kUVSymFlags, t, sym_, valid_);
            }
            identity_ = offU_ == 0.0f && offV_ == 0.0f && tileU_ == 1.0f && tileV_ == 1.0f &&
                        angle_ == 0.0f && sym_ == 0;
            double rad = static_cast<double>(angle_) * 3.14159265358979323846 / 180.0;
            cosA_ = std::cos(rad);
            sinA_ = std::sin(rad);
        }
        valid &= valid_;
    }
    Interval Validity(TimeValue t) override {
        Interval v = FOREVER;
        Update(t, v);
        return v;
    }
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }

    AColor EvalUVMap(ShadeContext& sc, MapSampler* samp, BOOL filter) override {
        float u, v;
        Map(sc, u, v);
        if (filter) {
            Point3 d = sc.DUVW(1);
            return samp->SampleFilter(sc, u, v, d.x * tileU_, d.y * tileV_);
        }
        return samp->Sample(sc, u, v);
    }
    float EvalUVMapMono(ShadeContext& sc, MapSampler* samp, BOOL filter) override {
        float u, v;
        Map(sc, u, v);
        if (filter) {
            Point3 d = sc.DUVW(1);
            return samp->SampleMonoFilter(sc, u, v, d.x * tileU_, d.y * tileV_);
        }
        return samp->SampleMono(sc, u, v);
    }
    Point2 EvalDeriv(ShadeContext& sc, MapSampler* samp, BOOL) override {
        // Central difference of the mono sample; point samples on both sides.
        float u, v;
        Map(sc, u, v);
        const float h = loom::kDerivStep;
        float du = (samp->SampleMono(sc, u + h, v) - samp->SampleMono(sc, u - h, v)) / (2.0f * h);
        float dv = (samp->SampleMono(sc, u, v + h) - samp->SampleMono(sc, u, v - h)) / (2.0f * h);
        return {du, dv};
    }
    void GetBumpDP(ShadeContext& sc, Point3& dPdu, Point3& dPdv) override {
        Point3 dP[3];
        sc.DPdUVW(dP, 1);
        dPdu = dP[0];
        dPdv = dP[1];
    }
    int SymFlags() override { return sym_; }
    void SetSymFlags(int flags) override {
        if (pblock_) pblock_->SetValue(loom::kUVSymFlags, 0, flags);
        NotifyDependents(FOREVER, PART_ALL, REFMSG_UV_SYM_CHANGE);
    }
    void GetUVTransform(Matrix3& m) override {
        m.IdentityMatrix();
        m.m[0] = Point3(tileU_, 0, 0);
        m.m[1] = Point3(0, tileV_, 0);
        m.m[3] = Point3(offU_, offV_, 0);
    }
    int GetTextureTiling() override { return sym_; }

    RefTargetHandle Clone(RemapDir& remap) override {
        auto* copy = new StdUVGen();
        *static_cast<MtlBase*>(copy) = *this;
        copy->ReplaceReference(0, remap.CloneRef(pblock_));
        remap.AddEntry(this, copy);
        return copy;
    }

  private:
    void Map(ShadeContext& sc, float& u, float& v) const {
        Point3 uvw = sc.UVW(1);
        if (identity_) {
            u = uvw.x;
            v = uvw.y;
            return;
        }
        double x = Widen(uvw.x), y = Widen(uvw.y);
        if (angle_ != 0.0f) {
            double cx = x - 0.5, cy = y - 0.5;
            x = cx * cosA_ - cy * sinA_ + 0.5;
            y = cx * sinA_ + cy * cosA_ + 0.5;
        }
        u = Fold(static_cast<float>(x * Widen(tileU_) + Widen(offU_)), sym_ & U_WRAP,
                 sym_ & U_MIRROR);
        v = Fold(static_cast<float>(y * Widen(tileV_) + Widen(offV_)), sym_ & V_WRAP,
                 sym_ & V_MIRROR);
    }

    IParamBlock* pblock_ = nullptr;
    Interval valid_;
    float offU_ = 0.0f, offV_ = 0.0f, tileU_ = 1.0f, tileV_ = 1.0f, angle_ = 0.0f;
    int sym_ = 0;
    bool identity_ = true;
    double cosA_ = 1.0, sinA_ = 0.0;
};

class StdUVGenClassDesc : public ClassDesc {
  public:
    int IsPublic() override { return 0; }
    void* Create(BOOL) override { return new StdUVGen(); }
    const TCHAR* ClassName() override { return "StdUVGen"; }
    SClass_ID SuperClassID() override { return UVGEN_CLASS_ID; }
    Class_ID ClassID() override { return kStdUVGenClassId; }
    const TCHAR* Category() override { return ""; }
};
StdUVGenClassDesc gStdUVGenDesc;
const bool gRegistered = loom::RegisterClass(&gStdUVGenDesc);

}  // namespace

UVGen* GetNewDefaultUVGen() {
    (void)gRegistered;
    return new StdUVGen();
}

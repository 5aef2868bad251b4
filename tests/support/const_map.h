#pragma once
// A texture returning one fixed colour and mono value, for sub-map tests.

#include "foundation/host/sdk/mtl.h"

namespace loomtest {

class ConstMap final : public Texmap {
  public:
    ConstMap(AColor c, float mono) : color_(c), mono_(mono) {}
    Class_ID ClassID() override { return Class_ID(0x7E570001, 1); }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    AColor EvalColor(ShadeContext&) override {
        ++evaluations;
        return color_;
    }
    float EvalMono(ShadeContext&) override {
        ++evaluations;
        return mono_;
    }
    Point3 EvalNormalPerturb(ShadeContext&) override { return Point3(); }
    void Update(TimeValue, Interval&) override { ++updates; }
    void Reset() override {}
    Interval Validity(TimeValue) override { return FOREVER; }
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }
    RefTargetHandle Clone(RemapDir& remap) override {
        auto* c = new ConstMap(color_, mono_);
        remap.AddEntry(this, c);
        return c;
    }

    int evaluations = 0;
    int updates = 0;

  private:
    AColor color_;
    float mono_;
};

}  // namespace loomtest

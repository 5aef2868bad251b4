#pragma once
// What the texture tests share: a texture held by a scene, evaluation through the host
// path, stored values, a scene round trip with the class registered, and a sub-map that
// logs the order of its evaluations.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/texframe/tex_class_desc.h"

namespace loomtest {

/// A constant map that notes its name in a shared log each time it is evaluated, followed
/// by ":" and the G-buffer ID it was shaded with when `noteGBuffer` is set.
class LoggingMap final : public Texmap {
  public:
    LoggingMap(std::string name, AColor c, float mono, std::vector<std::string>* log)
        : name_(std::move(name)), color_(c), mono_(mono), log_(log) {}
    Class_ID ClassID() override { return Class_ID(0x7E570003, 1); }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    AColor EvalColor(ShadeContext& sc) override {
        Note(sc);
        return color_;
    }
    float EvalMono(ShadeContext& sc) override {
        Note(sc);
        return mono_;
    }
    Point3 EvalNormalPerturb(ShadeContext&) override { return Point3(); }
    void Update(TimeValue, Interval&) override {}
    void Reset() override {}
    Interval Validity(TimeValue) override { return FOREVER; }
    ParamDlg* CreateParamDlg(HWND, IMtlParams*) override { return nullptr; }
    RefTargetHandle Clone(RemapDir&) override { return nullptr; }

    bool noteGBuffer = false;

  private:
    void Note(const ShadeContext& sc) {
        log_->push_back(noteGBuffer ? name_ + ":" + std::to_string(sc.gbufId) : name_);
    }
    std::string name_;
    AColor color_;
    float mono_;
    std::vector<std::string>* log_;
};

/// A fresh texture of class `Tex` (described by `Info`) held by a scene.
template <class Tex, const loom::TextureInfo& Info>
class TextureFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        tex = new Tex();
        scene.Add("tex", tex);
    }
    static AColor ColorAt(Tex* t, float u, float v, TimeValue time = 0) {
        Interval valid = FOREVER;
        t->Update(time, valid);
        loom::PlaneShadeContext sc;
        sc.Set(u, v);
        return t->EvalColor(sc);
    }
    static float MonoAt(Tex* t, float u, float v, TimeValue time = 0) {
        Interval valid = FOREVER;
        t->Update(time, valid);
        loom::PlaneShadeContext sc;
        sc.Set(u, v);
        return t->EvalMono(sc);
    }
    static ParamValue Stored(Tex* t, int row, TimeValue time = 0) {
        Interval v = FOREVER;
        return t->ParamBlock()->GetRaw(row, time, v);
    }
    /// Saves `scene` and loads it into `loaded`; the loaded texture, or null.
    Tex* RoundTrip(loom::SceneLoadReport& report) {
        static loom::TexClassDesc desc(Info, []() -> Texmap* { return new Tex(); });
        static bool registered = loom::RegisterClass(&desc);
        (void)registered;
        std::vector<std::uint8_t> bytes = loom::SaveSceneBytes(scene);
        std::string err;
        EXPECT_TRUE(loom::LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, err)) << err;
        return loaded.Count() ? dynamic_cast<Tex*>(loaded.Object(0)) : nullptr;
    }

    loom::SceneHolder scene;
    loom::SceneHolder loaded;
    Tex* tex = nullptr;
};

}  // namespace loomtest

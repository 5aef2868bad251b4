// The SDK layer on its own: this program links the host's base and SDK objects and nothing
// of the window system, the custom controls or the standard maps' panels. A scene with the
// standard UV generator saves and loads, and the generator makes a panel only through the
// factory the panel's layer registers (none here).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/host/sdk/classdesc.h"
#include "foundation/host/sdk/pblock.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/std_uvgen.h"
#include "foundation/host/sdk/uvgen.h"

using namespace loom;

namespace {

float Value(StdUVGen* gen, int row) {
    float v = 0.0f;
    Interval valid = FOREVER;
    gen->ParamBlock()->GetValue(row, 0, v, valid);
    return v;
}

TEST(SdkAlone, GeneratorSavesAndLoadsWithoutTheWindowSystem) {
    ASSERT_NE(FindClass(UVGEN_CLASS_ID, kStdUVGenClassId), nullptr);  // registered by sdk
    SceneHolder scene;
    auto* gen = static_cast<StdUVGen*>(GetNewDefaultUVGen());
    scene.Add("coords", gen);
    gen->ParamBlock()->SetValue(kUVOffsetU, 0, 0.25f);
    gen->ParamBlock()->SetValue(kUVTilingV, 0, 3.0f);
    gen->ParamBlock()->SetValue(kUVAngle, 0, 30.0f);
    gen->SetSymFlags(U_MIRROR | V_WRAP);
    std::vector<std::uint8_t> bytes = SaveSceneBytes(scene);

    SceneHolder loaded;
    SceneLoadReport report;
    std::string error;
    ASSERT_TRUE(LoadSceneBytes(bytes.data(), bytes.size(), loaded, report, error)) << error;
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.Name(0), "coords");
    auto* back = dynamic_cast<StdUVGen*>(loaded.Object(0));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Value(back, kUVOffsetU), 0.25f);
    EXPECT_EQ(Value(back, kUVTilingV), 3.0f);
    EXPECT_EQ(Value(back, kUVAngle), 30.0f);
    Interval valid = FOREVER;
    back->Update(0, valid);
    EXPECT_EQ(back->SymFlags(), U_MIRROR | V_WRAP);
    EXPECT_EQ(SaveSceneBytes(loaded), bytes);
}

StdUVGen* gAskedFor = nullptr;
IMtlParams* gAskedWith = nullptr;
ParamDlg* gAnswer = nullptr;

ParamDlg* RecordingFactory(StdUVGen* gen, IMtlParams* imp) {
    gAskedFor = gen;
    gAskedWith = imp;
    return gAnswer;
}

TEST(SdkAlone, GeneratorPanelComesOnlyFromTheRegisteredFactory) {
    SceneHolder scene;
    auto* gen = static_cast<StdUVGen*>(GetNewDefaultUVGen());
    scene.Add("coords", gen);
    // Only compared, never used: the factory stands in for the panel.
    int editorStandIn = 0;
    int panelStandIn = 0;
    auto* imp = reinterpret_cast<IMtlParams*>(&editorStandIn);
    gAnswer = reinterpret_cast<ParamDlg*>(&panelStandIn);

    EXPECT_EQ(gen->CreateParamDlg(nullptr, imp), nullptr);  // no panel layer linked

    SetStdUVGenPanelFactory(RecordingFactory);
    EXPECT_EQ(gen->CreateParamDlg(nullptr, nullptr), nullptr);  // no editor: not asked
    EXPECT_EQ(gAskedFor, nullptr);
    EXPECT_EQ(gen->CreateParamDlg(nullptr, imp), gAnswer);
    EXPECT_EQ(gAskedFor, gen);
    EXPECT_EQ(gAskedWith, imp);

    SetStdUVGenPanelFactory(nullptr);
    gAskedFor = nullptr;
    EXPECT_EQ(gen->CreateParamDlg(nullptr, imp), nullptr);
    EXPECT_EQ(gAskedFor, nullptr);
}

}  // namespace

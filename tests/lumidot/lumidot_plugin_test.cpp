// lumidot.so loaded through its entry points, as the host application loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "app/loader/plugin_loader.h"
#include "foundation/host/mtl.h"
#include "foundation/host/scene_io.h"
#include "foundation/host/shade.h"

TEST(LumidotPlugin, LoadsAndEvaluatesTheDefaults) {
    loom::PluginLoader loader;
    std::string err;
    ASSERT_TRUE(loader.Load(LUMIDOT_SO, err)) << err;
    const loom::LoadedPlugin& p = loader.Plugins().at(0);
    EXPECT_EQ(p.description, "Lumidot 2.0 -- Tessaly Loomworks Collection (TLC)");
    EXPECT_EQ(p.version, 110u);
    ASSERT_EQ(p.classes.size(), 1u);
    ClassDesc* cd = p.classes[0];
    EXPECT_STREQ(cd->ClassName(), "Loomwork \xB7 Lumidot 2.0");
    EXPECT_EQ(cd->ClassID(), Class_ID(0x0AD22FBE, 0x44F54C8D));
    EXPECT_EQ(cd->SuperClassID(), 0xC10u);
    EXPECT_STREQ(cd->Category(), TEXMAP_CAT_2D);
    EXPECT_EQ(loader.FindClassByName("lumidot"), cd);
    auto* classDesc = reinterpret_cast<LibClassDescProc>(dlsym(p.handle, "LibClassDesc"));
    ASSERT_NE(classDesc, nullptr);
    EXPECT_EQ(classDesc(1), nullptr);
    EXPECT_EQ(classDesc(-1), nullptr);
    // No noise in this plug-in, so nothing of it is exported.
    EXPECT_EQ(dlsym(p.handle, "_Z6noise1f"), nullptr);

    loom::SceneHolder scene;  // destroyed before the loader closes the library
    auto* tex = static_cast<Texmap*>(cd->Create(FALSE));
    ASSERT_NE(tex, nullptr);
    scene.Add("tex", tex);
    Interval valid = FOREVER;
    tex->Update(0, valid);
    loom::PlaneShadeContext sc;
    sc.Set(0.0f, 0.0f);
    AColor c = tex->EvalColor(sc);
    EXPECT_NEAR(c.r, 0.916270, 1e-6);
    EXPECT_NEAR(c.g, 0.083730, 1e-6);
    EXPECT_NEAR(c.b, 0.293056, 1e-6);
    EXPECT_EQ(c.a, 1.0f);
    sc.Set(0.25f, 0.75f);
    c = tex->EvalColor(sc);
    EXPECT_NEAR(c.r, 0.449205, 1e-6);
    EXPECT_NEAR(c.g, 0.550795, 1e-6);
    EXPECT_EQ(c.b, 1.0f);
    EXPECT_EQ(c.a, 1.0f);
}

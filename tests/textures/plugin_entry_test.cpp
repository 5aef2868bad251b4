// The four texture plug-ins loaded through their entry points into one process, as the
// host application loads them: what each says of itself, what it exports, and a texture it
// creates evaluating a worked default.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "app/core/loader/plugin_loader.h"
#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/plugin_api.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/shade.h"

namespace {

struct PluginCase {
    const char* lib;  ///< the name the host finds the class by
    const char* path;
    const char* description;
    const char* className;
    Class_ID classId;
    bool carriesNoise;  ///< links the noise library, whose shaping functions it exports
    float u, v;         ///< a point with a worked colour for the defaults
    AColor color;
};

const PluginCase kPlugins[] = {
    {"voltrane", VOLTRANE_SO, "Voltrane 2.7 -- Tessaly Loomworks Collection (TLC)",
     "Loomwork \xB7 Voltrane 2.7", Class_ID(0x159366D3, 0x01987927), true, 0.5f, 0.5f,
     AColor(0, 0, 0, 1)},
    {"fervix", FERVIX_SO, "Fervix 2.0 -- Tessaly Loomworks Collection (TLC)",
     "Loomwork \xB7 Fervix 2.0", Class_ID(0x05F23E1C, 0x515D5C8A), true, 0.5f, 0.5f,
     AColor(0.0f, 0.54f, 0.62f, 1)},
    {"lumidot", LUMIDOT_SO, "Lumidot 2.0 -- Tessaly Loomworks Collection (TLC)",
     "Loomwork \xB7 Lumidot 2.0", Class_ID(0x0AD22FBE, 0x44F54C8D), false, 0.0f, 0.0f,
     AColor(0.916270f, 0.083730f, 0.293056f, 1)},
    {"nimbra", NIMBRA_SO, "Nimbra 1.0 -- Tessaly Loomworks Collection (TLC)",
     "Loomwork \xB7 Nimbra 1.0", Class_ID(0x5E655D34, 0x28AE6F01), false, 0.0f, 0.0f,
     AColor(0.425875f, 0.425875f, 1.0f, 1)},
};

class TexturePlugin : public ::testing::TestWithParam<PluginCase> {};

TEST_P(TexturePlugin, DescribesItselfAndCreatesItsTexture) {
    const PluginCase& k = GetParam();
    loom::PluginLoader loader;
    std::string err;
    ASSERT_TRUE(loader.Load(k.path, err)) << err;
    const loom::LoadedPlugin& p = loader.Plugins().at(0);
    EXPECT_EQ(p.description, k.description);
    EXPECT_EQ(p.version, 110u);
    ASSERT_EQ(p.classes.size(), 1u);
    ClassDesc* cd = p.classes[0];
    EXPECT_STREQ(cd->ClassName(), k.className);
    EXPECT_EQ(cd->ClassID(), k.classId);
    EXPECT_EQ(cd->SuperClassID(), TEXMAP_CLASS_ID);
    EXPECT_STREQ(cd->Category(), TEXMAP_CAT_2D);
    EXPECT_EQ(loader.FindClassByName(k.lib), cd);
    auto* classDesc = reinterpret_cast<LibClassDescProc>(dlsym(p.handle, "LibClassDesc"));
    ASSERT_NE(classDesc, nullptr);
    EXPECT_EQ(classDesc(0), cd);
    EXPECT_EQ(classDesc(1), nullptr);
    EXPECT_EQ(classDesc(-1), nullptr);

    loom::SceneHolder scene;  // destroyed before the loader closes the library
    auto* tex = static_cast<Texmap*>(cd->Create(FALSE));
    ASSERT_NE(tex, nullptr);
    scene.Add("tex", tex);
    Interval valid = FOREVER;
    tex->Update(0, valid);
    loom::PlaneShadeContext sc;
    sc.Set(k.u, k.v);
    const AColor c = tex->EvalColor(sc);
    EXPECT_NEAR(c.r, k.color.r, 1e-6);
    EXPECT_NEAR(c.g, k.color.g, 1e-6);
    EXPECT_NEAR(c.b, k.color.b, 1e-6);
    EXPECT_EQ(c.a, 1.0f);
}

TEST_P(TexturePlugin, ExportsTheShapingFunctionsOnlyWithTheNoise) {
    const PluginCase& k = GetParam();
    void* h = dlopen(k.path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    using Fn2 = float (*)(float, float);
    using Fn1 = float (*)(float);
    auto* biasFn = reinterpret_cast<Fn2>(dlsym(h, "_Z4biasff"));
    auto* gainFn = reinterpret_cast<Fn2>(dlsym(h, "_Z4gainff"));
    auto* noise1Fn = reinterpret_cast<Fn1>(dlsym(h, "_Z6noise1f"));
    if (k.carriesNoise) {
        ASSERT_NE(biasFn, nullptr);
        ASSERT_NE(gainFn, nullptr);
        ASSERT_NE(noise1Fn, nullptr);
        EXPECT_FLOAT_EQ(biasFn(0.3f, 0.5f), 0.3f);
        EXPECT_EQ(gainFn(0.5f, 0.5f), 0.5f);
        EXPECT_EQ(gainFn(0.0005f, 0.7f), 0.0f);
        EXPECT_EQ(noise1Fn(3.0f), 0.0f);  // whole numbers are lattice points
    } else {
        EXPECT_EQ(biasFn, nullptr);
        EXPECT_EQ(gainFn, nullptr);
        EXPECT_EQ(noise1Fn, nullptr);
    }
    // The rest of the noise library stays hidden.
    for (const char* hidden :
         {"_Z6noise2PKf", "_Z6noise3PKf", "_Z6noiseNPKfi", "_Z10turbulencePKff"}) {
        EXPECT_EQ(dlsym(h, hidden), nullptr) << hidden;
    }
    dlclose(h);
}

TEST_P(TexturePlugin, ExportsNothingElse) {
    const PluginCase& k = GetParam();
    FILE* nm =
        popen((std::string("nm -D --defined-only '") + k.path + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, nm)) > 0) out.append(buf, n);
    if (pclose(nm) != 0 || out.empty()) GTEST_SKIP() << "nm is not available";
    std::set<std::string> names;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) continue;
        // Sanitizer builds add their own bookkeeping symbols.
        if (name.rfind("__", 0) == 0) continue;
        names.insert(name);
    }
    std::set<std::string> expected = {"DllMain", "LibClassDesc", "LibDescription",
                                      "LibNumberClasses", "LibVersion"};
    if (k.carriesNoise) expected.insert({"_Z4biasff", "_Z4gainff", "_Z6noise1f"});
    EXPECT_EQ(names, expected);
}

INSTANTIATE_TEST_SUITE_P(All, TexturePlugin, ::testing::ValuesIn(kPlugins),
                         [](const auto& p) { return std::string(p.param.lib); });

}  // namespace

// fervix.so loaded through its entry points, as the host application loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "app/loader/plugin_loader.h"
#include "foundation/host/mtl.h"
#include "foundation/host/scene_io.h"
#include "foundation/host/shade.h"

TEST(FervixPlugin, LoadsAndEvaluatesTheDefaults) {
    loom::PluginLoader loader;
    std::string err;
    ASSERT_TRUE(loader.Load(FERVIX_SO, err)) << err;
    const loom::LoadedPlugin& p = loader.Plugins().at(0);
    EXPECT_EQ(p.description, "Fervix 2.0 -- Tessaly Loomworks Collection (TLC)");
    EXPECT_EQ(p.version, 110u);
    ASSERT_EQ(p.classes.size(), 1u);
    ClassDesc* cd = p.classes[0];
    EXPECT_STREQ(cd->ClassName(), "Loomwork \xB7 Fervix 2.0");
    EXPECT_EQ(cd->ClassID(), Class_ID(0x05F23E1C, 0x515D5C8A));
    EXPECT_EQ(cd->SuperClassID(), 0xC10u);
    EXPECT_EQ(loader.FindClassByName("fervix"), cd);
    auto* classDesc = reinterpret_cast<LibClassDescProc>(dlsym(p.handle, "LibClassDesc"));
    ASSERT_NE(classDesc, nullptr);
    EXPECT_EQ(classDesc(1), nullptr);

    loom::SceneHolder scene;  // destroyed before the loader closes the library
    auto* tex = static_cast<Texmap*>(cd->Create(FALSE));
    ASSERT_NE(tex, nullptr);
    scene.Add("tex", tex);
    Interval valid = FOREVER;
    tex->Update(0, valid);
    loom::PlaneShadeContext sc;
    sc.Set(0.5f, 0.5f);
    AColor c = tex->EvalColor(sc);
    EXPECT_EQ(c.r, 0.0f);
    EXPECT_NEAR(c.g, 0.54, 1e-6);
    EXPECT_NEAR(c.b, 0.62, 1e-6);
    EXPECT_EQ(c.a, 1.0f);
}

TEST(FervixPlugin, ExportsTheShapingFunctionsAndNoOtherNoise) {
    void* h = dlopen(FERVIX_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    using Fn2 = float (*)(float, float);
    using Fn1 = float (*)(float);
    auto* biasFn = reinterpret_cast<Fn2>(dlsym(h, "_Z4biasff"));
    auto* gainFn = reinterpret_cast<Fn2>(dlsym(h, "_Z4gainff"));
    auto* noise1Fn = reinterpret_cast<Fn1>(dlsym(h, "_Z6noise1f"));
    ASSERT_NE(biasFn, nullptr);
    ASSERT_NE(gainFn, nullptr);
    ASSERT_NE(noise1Fn, nullptr);
    EXPECT_FLOAT_EQ(biasFn(0.3f, 0.5f), 0.3f);
    EXPECT_EQ(gainFn(0.5f, 0.5f), 0.5f);
    EXPECT_EQ(gainFn(0.0005f, 0.7f), 0.0f);
    EXPECT_EQ(noise1Fn(3.0f), 0.0f);  // whole numbers are lattice points
    // The rest of the noise library stays hidden.
    for (const char* hidden :
         {"_Z6noise2PKf", "_Z6noise3PKf", "_Z6noiseNPKfi", "_Z10turbulencePKff"}) {
        EXPECT_EQ(dlsym(h, hidden), nullptr) << hidden;
    }
    dlclose(h);
}

TEST(FervixPlugin, ExportsNothingElse) {
    FILE* nm = popen("nm -D --defined-only '" FERVIX_SO "' 2>/dev/null", "r");
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
    EXPECT_EQ(names, (std::set<std::string>{"DllMain", "LibClassDesc", "LibDescription",
                                            "LibNumberClasses", "LibVersion", "_Z4biasff",
                                            "_Z4gainff", "_Z6noise1f"}));
}

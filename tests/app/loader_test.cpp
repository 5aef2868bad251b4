#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/controls.h"

using namespace loom;

TEST(Loader, LoadsATextureThroughItsEntryPoints) {
    PluginLoader loader;
    std::string err;
    ASSERT_TRUE(loader.Load(NIMBRA_SO, err)) << err;
    ASSERT_EQ(loader.Plugins().size(), 1u);
    const LoadedPlugin& p = loader.Plugins()[0];
    EXPECT_EQ(p.description, "Nimbra 1.0 -- Tessaly Loomworks Collection (TLC)");
    EXPECT_EQ(p.version, 110u);
    ASSERT_EQ(p.classes.size(), 1u);
    EXPECT_STREQ(p.classes[0]->ClassName(), "Loomwork \xB7 Nimbra 1.0");
    EXPECT_EQ(p.classes[0]->SuperClassID(), 0xC10u);
    EXPECT_EQ(p.classes[0]->ClassID(), Class_ID(0x5E655D34, 0x28AE6F01));
    EXPECT_EQ(p.classes[0]->IsPublic(), 1);
    EXPECT_EQ(FindClass(0xC10, Class_ID(0x5E655D34, 0x28AE6F01)), p.classes[0]);
    EXPECT_EQ(loader.FindClassByName("nimbra"), p.classes[0]);
    EXPECT_EQ(loader.FindClassByName("Loomwork \xC2\xB7 Nimbra 1.0"), p.classes[0]);
    EXPECT_TRUE(CommonControlsInitialised());
    EXPECT_GE(CustomControlModules(), 1);
    // LibClassDesc answers null for every other index.
    auto* classDesc = reinterpret_cast<LibClassDescProc>(dlsym(p.handle, "LibClassDesc"));
    ASSERT_NE(classDesc, nullptr);
    EXPECT_EQ(classDesc(1), nullptr);
    EXPECT_EQ(classDesc(-1), nullptr);
}

TEST(Loader, RefusesLibrariesThatAreNotPluginsOrRepeatAClass) {
    PluginLoader loader;
    std::string err;
    EXPECT_FALSE(loader.Load(HOST_SO, err));
    EXPECT_NE(err.find("missing an entry point"), std::string::npos) << err;
    EXPECT_FALSE(loader.Load("/nonexistent/x.so", err));
    EXPECT_NE(err.find("/nonexistent/x.so"), std::string::npos);
    ASSERT_TRUE(loader.Load(NIMBRA_SO, err)) << err;
    PluginLoader second;
    EXPECT_FALSE(second.Load(NIMBRA_SO, err));
    EXPECT_NE(err.find("already taken"), std::string::npos) << err;
}

TEST(Loader, UnloadingUnregistersTheClasses) {
    {
        PluginLoader loader;
        std::string err;
        ASSERT_TRUE(loader.Load(NIMBRA_SO, err)) << err;
    }
    EXPECT_EQ(FindClass(0xC10, Class_ID(0x5E655D34, 0x28AE6F01)), nullptr);
}

TEST(TextureSetup, SetsValuesSubMapsAndKeysByName) {
    PluginLoader loader;
    std::string err;
    ASSERT_TRUE(loader.Load(NIMBRA_SO, err)) << err;
    SceneHolder scene;
    Texmap* tex = CreateTexture(loader, "nimbra");
    scene.Add("t", tex);
    ApplySet(loader, tex, "Detail=3", 0);
    ApplySet(loader, tex, "sky = 0.1, 0.2 ,0.3", 0);  // names fold case, spaces are fine
    ApplySet(loader, tex, "Cloud=map:nimbra", 0);
    ApplySet(loader, tex, "Cloud.Contrast=4", 0);
    ApplyKey(loader, tex, "U Shift@10=5");
    IParamBlock* pb = ParamBlockOf(tex);
    Interval v = FOREVER;
    float f;
    pb->GetValue(FindParam(tex, "Detail"), 0, f, v);
    EXPECT_EQ(f, 3.0f);
    Color c;
    pb->GetValue(FindParam(tex, "Sky"), 0, c, v);
    EXPECT_EQ(c, Color(0.1f, 0.2f, 0.3f));
    Texmap* sub = tex->GetSubTexmap(0);
    ASSERT_NE(sub, nullptr);
    ParamBlockOf(sub)->GetValue(FindParam(sub, "Contrast"), 0, f, v);
    EXPECT_EQ(f, 4.0f);
    EXPECT_EQ(pb->Keys(FindParam(tex, "U Shift"))[0].time, 10 * kTicksPerFrame);
    ApplySet(loader, tex, "Cloud=none", 0);
    EXPECT_EQ(tex->GetSubTexmap(0), nullptr);

    for (const char* bad : {"Nope=1", "Detail", "Detail=1x", "Sky=1,2", "Positive=0.5",
                            "Detail=nan", "Sky.Contrast=1", "Cloud=map:unknown"}) {
        EXPECT_THROW(ApplySet(loader, tex, bad, 0), std::runtime_error) << bad;
    }
    EXPECT_THROW(ApplyKey(loader, tex, "Positive@1=1"), std::runtime_error);  // not animatable
    EXPECT_THROW(ApplyKey(loader, tex, "Detail=1"), std::runtime_error);
}

// The plug-in search path, over a made-up file tree: an installed prefix, a build tree and
// a user's data folder.
class PluginFolderSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        char pattern[] = "/tmp/loom_pluginsearch_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        installedBin_ = root_ / "prefix" / "bin";
        installedPlugins_ = (installedBin_ / InstalledPluginDir()).lexically_normal();
        buildBin_ = root_ / "build" / "bin";
        userData_ = root_ / "data";
        for (const fs::path& d :
             {installedBin_, installedPlugins_, buildBin_, root_ / "build" / "plugins",
              userData_ / "loomwork" / "plugins", root_ / "home"}) {
            fs::create_directories(d);
        }
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::filesystem::path root_, installedBin_, installedPlugins_, buildBin_, userData_;
};

TEST_F(PluginFolderSearch, OrdersVariableUserAndOwnFolders) {
    PluginSearchEnv env;
    env.executable = installedBin_ / "loomhost";
    env.xdgDataHome = userData_.string();
    env.pluginsVar = "/opt/a::/opt/b:";
    const std::string user = (userData_ / "loomwork" / "plugins").string();
    EXPECT_EQ(PluginFolders({}, env),
              (std::vector<std::string>{"/opt/a", "/opt/b", user, installedPlugins_.string()}));
    // --plugins replaces the whole search.
    EXPECT_EQ(PluginFolders({"/x"}, env), std::vector<std::string>{"/x"});
    // A folder named again (here through "..") is searched once, at its first place.
    env.pluginsVar = (installedBin_ / ".." / "lib" / "loomwork" / "plugins").string();
    EXPECT_EQ(PluginFolders({}, env), (std::vector<std::string>{env.pluginsVar, user}));
}

TEST_F(PluginFolderSearch, OwnFoldersOfAFrontEndTakeThePlaceOfTheProgramsFolder) {
    // Python's process is the interpreter: its package names its own folder, searched
    // after the variable's and the user's as the program's own would be.
    PluginSearchEnv env;
    env.executable = installedBin_ / "loomhost";
    env.xdgDataHome = userData_.string();
    env.pluginsVar = "/opt/a";
    env.ownFolders = {"/pkg/plugins"};
    const std::string user = (userData_ / "loomwork" / "plugins").string();
    EXPECT_EQ(PluginFolders({}, env), (std::vector<std::string>{"/opt/a", user, "/pkg/plugins"}));
}

TEST_F(PluginFolderSearch, FindsTheUserFolderFromXdgOrHome) {
    PluginSearchEnv env;
    env.home = (root_ / "home").string();
    EXPECT_EQ(UserPluginFolder(env), (root_ / "home/.local/share/loomwork/plugins").string());
    env.xdgDataHome = "relative/data";  // not absolute: ignored
    EXPECT_EQ(UserPluginFolder(env), (root_ / "home/.local/share/loomwork/plugins").string());
    env.xdgDataHome = userData_.string();
    EXPECT_EQ(UserPluginFolder(env), (userData_ / "loomwork/plugins").string());
    EXPECT_EQ(UserPluginFolder(PluginSearchEnv{}), "");
    // A user folder that does not exist is not searched.
    env.xdgDataHome = (root_ / "nowhere").string();
    env.executable = installedBin_ / "loomhost";
    EXPECT_EQ(PluginFolders({}, env), std::vector<std::string>{installedPlugins_.string()});
}

TEST_F(PluginFolderSearch, BuildTreeUsesTheNearestPluginsFolder) {
    PluginSearchEnv env;
    env.executable = buildBin_ / "loomhost";
    EXPECT_EQ(PluginFolders({}, env),
              std::vector<std::string>{(root_ / "build" / "plugins").string()});
    env.executable = root_ / "elsewhere" / "loomhost";  // no plugins folder above
    std::filesystem::create_directories(root_ / "elsewhere");
    EXPECT_TRUE(PluginFolders({}, env).empty());
}

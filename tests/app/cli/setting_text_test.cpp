// The text of --set and --key read into the model's values: names fold case, sub-map
// paths, map and image values, and every refusal in the command line's words.
#include "app/cli/setting_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/app_fixture.h"

using namespace loom;

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

TEST(SettingText, RefusalsNameTheTextTheOptionAndTheCause) {
    loomtest::PluginTexture plugin;
    plugin.Make(NIMBRA_SO, "nimbra");
    PluginLoader& loader = plugin.loader;
    Texmap* tex = plugin.tex;
    struct Case {
        const char* text;
        const char* message;
    };
    // Each message begins as the case says (some go on with the system's words).
    const auto expectRefused = [](const Case& c, auto apply) {
        SCOPED_TRACE(c.text);
        const std::string message = loomtest::MessageOf(apply);
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
    };
    for (const Case& c : {
             Case{"Detail", "--set 'Detail': expected NAME=VALUE"},
             Case{"Nope=1", "--set 'Nope=1': no parameter called 'Nope' (see 'loomhost params')"},
             Case{"detail=1x", "--set detail: '1x' is not a number"},
             Case{"Sky=1,2", "--set Sky: '1,2' is not a colour (expected R,G,B)"},
             Case{"Sky=1,x,2", "--set Sky: 'x' is not a number"},
             Case{"Positive=0.50", "--set Positive: '0.50' is not a whole number"},
             Case{"Positive=1e10", "--set Positive: '1e10' is out of range ("},
             Case{"Detail=1e39", "--set Detail: '1e39' is out of range"},
             Case{"Moon.Detail=1", "no sub-map slot 'Moon'"},
             Case{"Cloud.Detail=1", "sub-map slot 'Cloud' is empty"},
             Case{"Detail=image:x.png", "--set 'Detail=image:x.png': 'Detail' is not a map slot"},
             Case{"Cloud=image:/nonexistent/x.png", "--set 'Cloud=image:/nonexistent/x.png': "},
             Case{"Cloud=map:marble", "unknown class 'marble' (see 'loomhost list')"},
         }) {
        expectRefused(c, [&] { ApplySet(loader, tex, c.text, 0); });
    }
    for (const Case& c : {
             Case{"Detail=1", "--key 'Detail=1': expected NAME@FRAME=VALUE"},
             Case{"Nope@1=1", "--key 'Nope@1=1': no parameter called 'Nope'"},
             Case{"Positive@1=1", "--key 'Positive@1=1': 'Positive' cannot be animated"},
             Case{"U Shift@x=1", "--key 'U Shift@x=1': frame: 'x' is not a number"},
             Case{"u shift@1=y", "--key u shift: 'y' is not a number"},
             Case{"Moon.Detail@1=1", "no sub-map slot 'Moon'"},
         }) {
        expectRefused(c, [&] { ApplyKey(loader, tex, c.text); });
    }
    // Nothing was changed by a refusal: the slots are empty, no key was added.
    EXPECT_EQ(tex->GetSubTexmap(0), nullptr);
    EXPECT_TRUE(ParamBlockOf(tex)->Keys(FindParam(tex, "U Shift")).empty());
}

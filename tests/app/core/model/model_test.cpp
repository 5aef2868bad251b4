// The typed model: values of each kind reach their rows, sub-maps are made, shared,
// emptied or refused, keys land at their times, and unknown names say whose they are.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/support/app_fixture.h"

using namespace loom;

namespace {

class Model : public ::testing::Test {
  protected:
    void SetUp() override { plugin.Make(NIMBRA_SO, "nimbra"); }
    ParamValue Raw(Texmap* owner, const char* name, TimeValue t = 0) {
        Interval valid = FOREVER;
        return ParamBlockOf(owner)->GetRaw(FindParam(owner, name), t, valid);
    }
    template <class F>
    static std::string Thrown(F f) {
        return loomtest::MessageOf(f);
    }
    loomtest::PluginTexture plugin;
    PluginLoader& loader = plugin.loader;
    Texmap*& tex = plugin.tex;
};

TEST_F(Model, EachKindOfValueReachesItsRow) {
    SetParam(loader, tex, "detail", ModelValue::Number(2.5), 0);
    EXPECT_EQ(Raw(tex, "Detail").v[0], 2.5f);
    SetParam(loader, tex, "Positive", ModelValue::Flag(false), 0);
    EXPECT_EQ(Raw(tex, "Positive").AsInt(), 0);
    SetParam(loader, tex, "Positive", ModelValue::Number(1.0), 0);
    EXPECT_EQ(Raw(tex, "Positive").AsInt(), 1);
    SetParam(loader, tex, "Sky", ModelValue::Colour({0.1, 0.2, 0.3}), 0);
    const ParamValue sky = Raw(tex, "Sky");
    EXPECT_EQ(sky.v[0], 0.1f);
    EXPECT_EQ(sky.v[2], 0.3f);
    // A value set at a time other than 0 is that time's.
    SetKey(tex, "U Shift", 30 * kTicksPerFrame, ModelValue::Number(3.0));
    EXPECT_EQ(Raw(tex, "U Shift", 30 * kTicksPerFrame).v[0], 3.0f);
}

TEST_F(Model, ValuesOutsideTheirRowAreRefusedShowingTheValue) {
    struct Case {
        const char* path;
        ModelValue value;
        const char* message;
    };
    for (const Case& c : {
             Case{"Positive", ModelValue::Number(1.5),
                  "--set Positive: '1.5' is not a whole number"},
             Case{"Positive", ModelValue::Number(1e10, "10000000000"),
                  "--set Positive: '10000000000' is out of range (-2147483648..2147483647)"},
             Case{"Detail", ModelValue::Number(std::nan("")),
                  "--set Detail: 'nan' is not a number"},
             Case{"Detail", ModelValue::Number(-1e39),
                  "--set Detail: '-9.9999999999999994e+38' is out of range"},
             Case{"Detail", ModelValue::Colour({1, 2, 3}), "--set Detail: '1,2,3' is not a number"},
             Case{"Sky", ModelValue::Colour({1, 2}),
                  "--set Sky: '1,2' is not a colour (expected R,G,B)"},
             Case{"Sky", ModelValue::Number(1), "--set Sky: '1' is not a colour (expected R,G,B)"},
             Case{"Detail", ModelValue::Image("x.png"), "'Detail' is not a map slot"},
         }) {
        SCOPED_TRACE(c.message);
        const ParamValue before = Raw(tex, c.path);
        EXPECT_EQ(Thrown([&] { SetParam(loader, tex, c.path, c.value, 0); }), c.message);
        EXPECT_EQ(Raw(tex, c.path).v[0], before.v[0]);
    }
    EXPECT_EQ(Thrown([&] { SetKey(tex, "Positive", 0, ModelValue::Number(1)); }),
              "'Positive' cannot be animated");
}

TEST_F(Model, SubMapsAreMadeSharedEmptiedOrRefused) {
    SetMap(loader, tex, "Cloud", ModelValue::NewMap("nimbra"));
    Texmap* cloud = tex->GetSubTexmap(FindSlot(tex, "Cloud"));
    ASSERT_NE(cloud, nullptr);
    // A path reaches into the sub-map.
    SetParam(loader, tex, "Cloud.Contrast", ModelValue::Number(4.0), 0);
    EXPECT_EQ(Raw(cloud, "Contrast").v[0], 4.0f);
    // An existing map is shared, not copied.
    SetMap(loader, tex, "Sky", ModelValue::Map(cloud));
    EXPECT_EQ(tex->GetSubTexmap(FindSlot(tex, "Sky")), cloud);
    // A map cannot hold itself; the slot keeps what it had.
    EXPECT_THROW(SetMap(loader, cloud, "Sky", ModelValue::Map(tex)), MapAssignError);
    EXPECT_EQ(cloud->GetSubTexmap(FindSlot(cloud, "Sky")), nullptr);
    EXPECT_THROW(SetMap(loader, tex, "Cloud", ModelValue::Image("/nonexistent/x.png")),
                 SettingError);
    EXPECT_EQ(tex->GetSubTexmap(FindSlot(tex, "Cloud")), cloud);
    SetMap(loader, tex, "Cloud", ModelValue::None());
    EXPECT_EQ(tex->GetSubTexmap(FindSlot(tex, "Cloud")), nullptr);
    EXPECT_EQ(tex->GetSubTexmap(FindSlot(tex, "Sky")), cloud);
}

TEST_F(Model, UnknownNamesSayWhoseTheyAre) {
    SetMap(loader, tex, "Cloud", ModelValue::NewMap("nimbra"));
    Texmap* cloud = tex->GetSubTexmap(FindSlot(tex, "Cloud"));
    try {
        SetParam(loader, tex, "Cloud.Nope", ModelValue::Number(1), 0);
        FAIL() << "no error";
    } catch (const UnknownNameError& e) {
        EXPECT_EQ(e.owner, cloud);
        EXPECT_EQ(e.name, "Nope");
        EXPECT_FALSE(e.slot);
        EXPECT_STREQ(e.what(), "no parameter called 'Nope'");
    }
    try {
        SetMap(loader, tex, "Cloud.Moon", ModelValue::None());
        FAIL() << "no error";
    } catch (const UnknownNameError& e) {
        EXPECT_EQ(e.owner, cloud);
        EXPECT_TRUE(e.slot);
    }
    EXPECT_EQ(Thrown([&] { SetParam(loader, tex, "Sky.Detail", ModelValue::Number(1), 0); }),
              "sub-map slot 'Sky' is empty");
}

}  // namespace

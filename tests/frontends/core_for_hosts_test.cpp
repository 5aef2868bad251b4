// What the plug-ins for other programs take from the core: pixels made whole numbers as
// the picture files hold them, and each texture's parameters described from its panel.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "app/core/filter/image16.h"
#include "app/core/jobs/texture_render.h"
#include "app/core/loader/plugin_loader.h"
#include "app/core/model/param_info.h"
#include "app/core/render/quantize.h"

namespace loom {
namespace {

std::string Scratch(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("loom_hosts_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

/// Values where rounding is decided: both sides of every half step of both scales near
/// the ends and in the middle, the ends themselves, out of range and not a number.
std::vector<float> HardValues() {
    std::vector<float> v = {0.0f,
                            1.0f,
                            -0.5f,
                            2.0f,
                            0.5f,
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            1e-30f};
    for (float scale : {255.0f, 65535.0f}) {
        for (int k : {0, 1, 2, 100, 127, 128, 254, 32767, 65533, 65534}) {
            const float half = (static_cast<float>(k) + 0.5f) / scale;
            if (half > 1.0f) continue;
            v.push_back(half);
            v.push_back(std::nextafter(half, 0.0f));
            v.push_back(std::nextafter(half, 1.0f));
        }
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> any(0.0f, 1.0f);
    while (v.size() % 4 != 0 || v.size() < 4000) v.push_back(any(rng));
    return v;
}

TEST(Quantize, GivesThePixelsOfEightAndSixteenBitFiles) {
    const std::vector<float> values = HardValues();
    FloatImage img;
    img.width = static_cast<int>(values.size() / 4);
    img.height = 1;
    img.rgba = values;
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        const std::string path = Scratch(bits == 8 ? "q8.png" : "q16.png");
        std::string err;
        ASSERT_TRUE(WriteImage(path, img, bits, err)) << err;
        Image16 back;
        ASSERT_TRUE(ReadImage16(path, back, err)) << err;
        std::filesystem::remove(path);
        ASSERT_EQ(back.pixels.size(), values.size() / 4);
        std::vector<std::uint16_t> q16(values.size());
        std::vector<std::uint8_t> q8(values.size());
        QuantizePixels16(values.data(), values.size() / 4, q16.data());
        QuantizePixels8(values.data(), values.size() / 4, q8.data());
        for (size_t i = 0; i < values.size(); ++i) {
            const BMM_Color_64& p = back.pixels[i / 4];
            const WORD stored = i % 4 == 0 ? p.r : i % 4 == 1 ? p.g : i % 4 == 2 ? p.b : p.a;
            const WORD ours = bits == 16 ? q16[i] : static_cast<WORD>(q8[i] * 257);
            ASSERT_EQ(ours, stored) << "value " << values[i] << " (#" << i << ")";
        }
    }
}

TEST(Quantize, NarrowsSixteenBitsAsEightBitFilesDo) {
    Image16 all;
    all.width = 65536 / 4;
    all.height = 1;
    all.bits = 16;
    all.hasAlpha = true;
    for (std::uint32_t v = 0; v < 65536; v += 4) {
        all.pixels.push_back({WORD(v), WORD(v + 1), WORD(v + 2), WORD(v + 3)});
    }
    const std::string path = Scratch("narrow.png");
    std::string err;
    ASSERT_TRUE(WriteImage(path, all, 8, err)) << err;
    Image16 back;
    ASSERT_TRUE(ReadImage16(path, back, err)) << err;
    std::filesystem::remove(path);
    ASSERT_EQ(back.pixels.size(), all.pixels.size());
    for (size_t i = 0; i < all.pixels.size(); ++i) {
        const BMM_Color_64& in = all.pixels[i];
        const BMM_Color_64& out = back.pixels[i];
        ASSERT_EQ(NarrowChannel(in.r) * 257, out.r) << in.r;
        ASSERT_EQ(NarrowChannel(in.a) * 257, out.a) << in.a;
    }
}

class ParamKindsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        loader = new PluginLoader;
        std::vector<std::string> errors;
        loader->LoadFolder(PLUGIN_DIR, errors);
    }
    static void TearDownTestSuite() {
        delete loader;
        loader = nullptr;
    }
    static const ParamInfo& Find(const std::vector<ParamInfo>& params, const std::string& name) {
        for (const ParamInfo& p : params) {
            if (p.name == name) return p;
        }
        ADD_FAILURE() << "no parameter " << name;
        return params.front();
    }
    static PluginLoader* loader;
};
PluginLoader* ParamKindsTest::loader = nullptr;

// The kinds and ranges the GEGL properties and frei0r parameters are made from.
TEST_F(ParamKindsTest, FollowThePanelsControls) {
    const std::vector<ParamInfo> nimbra = DescribeTextureClass(*loader, "nimbra").params;
    const ParamInfo& density = Find(nimbra, "Density");  // a spinner 0..2
    EXPECT_EQ(KindOf(density), ParamKind::kNumber);
    EXPECT_EQ(RangeMin(density), 0.0);
    EXPECT_EQ(RangeMax(density), 2.0);
    EXPECT_EQ(RangeMax(Find(nimbra, "U Scale")), 100.0);  // a slider
    EXPECT_EQ(KindOf(Find(nimbra, "Positive")), ParamKind::kFlag);
    EXPECT_EQ(RangeMax(Find(nimbra, "Positive")), 1.0);
    EXPECT_EQ(KindOf(Find(nimbra, "Cloud")), ParamKind::kColour);
    const std::vector<ParamInfo> voltrane = DescribeTextureClass(*loader, "voltrane").params;
    EXPECT_EQ(KindOf(Find(voltrane, "Sweep Phase")), ParamKind::kInteger);  // a slider
    EXPECT_LT(RangeMin(Find(voltrane, "Sweep Phase")), 0.0);
    // Every flag of the four textures is an int row, and every range holds its default.
    for (const char* name : {"nimbra", "fervix", "lumidot", "voltrane"}) {
        SCOPED_TRACE(name);
        for (const ParamInfo& p : DescribeTextureClass(*loader, name).params) {
            SCOPED_TRACE(p.name);
            if (KindOf(p) == ParamKind::kFlag) {
                EXPECT_EQ(p.type, TYPE_INT);
            } else if (KindOf(p) != ParamKind::kColour) {
                const double def =
                    p.type == TYPE_INT ? p.defaultValue.AsInt() : p.defaultValue.v[0];
                EXPECT_GE(def, RangeMin(p));
                EXPECT_LE(def, RangeMax(p));
            }
        }
    }
}

}  // namespace
}  // namespace loom

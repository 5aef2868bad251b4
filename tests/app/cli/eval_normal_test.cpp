// `loomhost eval --normal` prints what EvalNormalPerturb answers through the host path:
// the same plug-ins loaded in this process give the same numbers, to the last bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/setting_text.h"
#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/shade.h"
#include "tests/support/cli_fixture.h"

namespace {

using Cli = loomtest::CliFixture;

/// Every number of the output, read back as the float it was printed from (%.9g
/// round-trips a float exactly).
std::vector<float> Floats(const std::string& text) {
    std::vector<float> out;
    std::istringstream in(text);
    std::string word;
    while (in >> word) out.push_back(std::strtof(word.c_str(), nullptr));
    return out;
}

struct NormalCase {
    const char* name;
    std::vector<std::string> sets;  ///< NAME=VALUE, as given to --set
};

const NormalCase kCases[] = {
    {"voltrane", {"Sweep Phase=75"}},
    {"fervix", {}},
    {"fervix", {"Use Turbulence=1", "U Scale=9"}},
    {"lumidot", {}},
    {"nimbra", {}},
    {"nimbra", {"Detail=12"}},
};

}  // namespace

TEST_F(Cli, EvalNormalPrintsWhatTheTextureAnswers) {
    loom::PluginLoader loader;
    std::vector<std::string> errors;
    loader.LoadFolder(PLUGIN_DIR, errors);
    ASSERT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
    for (const char* name : {"voltrane", "fervix", "lumidot", "nimbra"}) {
        ASSERT_NE(loader.FindClassByName(name), nullptr) << name;
    }
    // Near Voltrane's region boundaries (where its bump is not zero) and anywhere else.
    const float points[][2] = {
        {0.4805f, 0.3f}, {0.4998f, 0.7f}, {0.1f, 0.2f}, {0.62f, 0.31f}, {-0.25f, 1.5f}};
    std::string pointArgs;
    for (const auto& p : points) {
        char buf[64];
        std::snprintf(buf, sizeof buf, " %.9g,%.9g", static_cast<double>(p[0]),
                      static_cast<double>(p[1]));
        pointArgs += buf;
    }
    for (const NormalCase& c : kCases) {
        std::string setArgs;
        for (const std::string& set : c.sets) setArgs += " --set '" + set + "'";
        SCOPED_TRACE(c.name + setArgs);
        loomtest::CliResult r =
            Run(std::string("eval ") + c.name + setArgs + " --normal" + pointArgs);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<float> printed = Floats(r.out);
        ASSERT_EQ(printed.size(), 3 * std::size(points)) << r.out;

        // Evaluated on a thread of its own: the C runtime's generator is per thread and
        // starts at the same seed there as in a new loomhost, and the random draws a
        // texture makes (Voltrane's jitter, the noise tables built at the first noise
        // call) come from that stream.
        std::vector<Point3> normals;
        std::string error;
        std::thread([&] {
            try {
                loom::SceneHolder scene;
                Texmap* tex = loom::CreateTexture(loader, c.name);
                if (!tex) return;
                scene.Add("tex", tex);
                for (const std::string& set : c.sets) loom::ApplySet(loader, tex, set, 0);
                Interval valid = FOREVER;
                tex->Update(0, valid);
                for (const auto& p : points) {
                    loom::PlaneShadeContext sc;
                    sc.Set(p[0], p[1]);
                    normals.push_back(tex->EvalNormalPerturb(sc));
                }
            } catch (const std::exception& e) {
                error = e.what();
            }
        }).join();
        ASSERT_EQ(error, "");
        ASSERT_EQ(normals.size(), std::size(points));
        int nonZero = 0;
        for (size_t i = 0; i < std::size(points); ++i) {
            SCOPED_TRACE(i);
            const Point3& n = normals[i];
            EXPECT_EQ(printed[3 * i], n.x);
            EXPECT_EQ(printed[3 * i + 1], n.y);
            EXPECT_EQ(printed[3 * i + 2], n.z);
            nonZero += n.x != 0.0f || n.y != 0.0f;
        }
        EXPECT_GT(nonZero, 0) << "every normal is zero: the comparison would show nothing";
    }
}

TEST_F(Cli, EvalNormalFollowsTheTimeAndRefusesMono) {
    // Keyed values: the printed normal at frame 15 is the one at that time, not at 0.
    const std::string key = " --key Detail@0=7 --key Detail@30=20";
    const std::string atStart = Run("eval nimbra --normal" + key + " 0.3,0.7").out;
    const std::string atHalf = Run("eval nimbra --normal --time 15" + key + " 0.3,0.7").out;
    const std::string halfSet = Run("eval nimbra --normal --set Detail=13.5 0.3,0.7").out;
    EXPECT_NE(atHalf, atStart);
    EXPECT_EQ(atHalf, halfSet);  // Detail 7 at 0 and 20 at frame 30 give 13.5 at 15
    loomtest::CliResult both = Run("eval nimbra --normal --mono 0,0");
    EXPECT_NE(both.status, 0);
    EXPECT_EQ(both.out, "");
}

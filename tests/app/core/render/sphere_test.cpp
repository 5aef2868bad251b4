// The host's lit sample sphere, the stereo source of the anaglyph demonstrations.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/render/renderer.h"
#include "app/core/render/sphere.h"
#include "tests/support/app_fixture.h"

namespace {

double Dot(const Point3& a, const Point3& b) {
    return Widen(a.x) * Widen(b.x) + Widen(a.y) * Widen(b.y) + Widen(a.z) * Widen(b.z);
}

constexpr int kFreshWidth = 24, kFreshHeight = 256;
constexpr const char* kFreshOrderVar = "LOOM_TEST_FRESH_SPHERE_ORDER";
constexpr const char* kFreshOutVar = "LOOM_TEST_FRESH_SPHERE_OUT";

// In the re-executed test binary: renders Fervix on the sphere (after a sample on the plane
// first when `planeFirst`) and writes the colour floats to `path`.
[[noreturn]] void RenderFreshSphereAndExit(bool planeFirst, const char* path) {
    loomtest::PluginTexture plugin;
    plugin.Make(FERVIX_SO, "fervix");
    loom::RenderOptions opt;
    loom::RenderImages out;
    if (planeFirst) {
        opt.width = opt.height = 4;
        opt.threads = 1;
        if (!loom::RenderTexture(plugin.tex, opt, out)) _exit(1);
    }
    opt.width = kFreshWidth;
    opt.height = kFreshHeight;
    opt.sphere = true;
    opt.threads = 2;
    if (!loom::RenderTexture(plugin.tex, opt, out)) _exit(1);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.color.rgba.data()),
               static_cast<std::streamsize>(out.color.rgba.size() * sizeof(float)));
    _exit(file.good() ? 0 : 1);
}

// Renders Fervix on the sphere in a new process that has not used the plug-in before (so
// its noise tables are built during this render) and returns the colour floats. The
// process is this test binary again, started afresh rather than forked: a fork of a
// process with threads cannot start threads of its own under ThreadSanitizer. The picture
// is tall enough that the first band of rows misses the sphere: the first sample that
// needs the tables then falls in another band than the first.
std::vector<float> FreshSphere(bool planeFirst) {
    const std::string path = testing::TempDir() + "fresh_sphere_" + std::to_string(getpid()) +
                             (planeFirst ? "_plane" : "_sphere");
    const std::string filter =
        std::string("--gtest_filter=") +
        testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
        testing::UnitTest::GetInstance()->current_test_info()->name();
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.push_back(std::string(kFreshOrderVar) + "=" + (planeFirst ? "plane" : "sphere"));
    env.push_back(std::string(kFreshOutVar) + "=" + path);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe";
    char* argv[] = {exe.data(), const_cast<char*>(filter.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return {};
    int status = 0;
    waitpid(pid, &status, 0);
    const size_t count = size_t{kFreshWidth} * kFreshHeight * 4;
    std::vector<float> rgba(count);
    std::ifstream file(path, std::ios::binary);
    file.read(reinterpret_cast<char*>(rgba.data()),
              static_cast<std::streamsize>(count * sizeof(float)));
    const bool whole = file.gcount() == static_cast<std::streamsize>(count * sizeof(float));
    file.close();
    std::remove(path.c_str());
    if (!whole || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return rgba;
}

}  // namespace

// Tables a texture builds on its first sample draw from the generator of the thread that
// takes it; on the sphere that sample must still be the calling thread's, as on the plane,
// or the picture depends on which worker reaches the sphere first.
TEST(SampleSphere, ATexturesFirstUseTablesAreThoseOfAPlaneRender) {
    if (const char* order = std::getenv(kFreshOrderVar))
        if (const char* out = std::getenv(kFreshOutVar))
            RenderFreshSphereAndExit(std::strcmp(order, "plane") == 0, out);
    const std::vector<float> sphereFirst = FreshSphere(false);
    const std::vector<float> planeFirst = FreshSphere(true);
    ASSERT_FALSE(sphereFirst.empty());
    ASSERT_FALSE(planeFirst.empty());
    EXPECT_TRUE(sphereFirst == planeFirst);
}

TEST(SampleSphere, CoordinatesLightAndDerivatives) {
    struct Case {
        Point3 p;
        float u, v;
    };
    const Case cases[] = {{{0, 0, 1}, 0.5f, 0.5f},   {{1, 0, 0}, 0.75f, 0.5f},
                          {{-1, 0, 0}, 0.25f, 0.5f}, {{0, 1, 0}, 0.5f, 1.0f},
                          {{0, -1, 0}, 0.5f, 0.0f},  {{0, 0.70710677f, 0.70710677f}, 0.5f, 0.75f}};
    loom::SphereShadeContext sc;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p.x << "," << c.p.y << "," << c.p.z);
        sc.Set(c.p, 0.01f, 0.01f);
        EXPECT_NEAR(sc.UVW(1).x, c.u, 1e-6);
        EXPECT_NEAR(sc.UVW(1).y, c.v, 1e-6);
        EXPECT_EQ(sc.Normal(), c.p);
        Point3 dP[3];
        sc.DPdUVW(dP, 1);
        EXPECT_NEAR(Dot(dP[0], c.p), 0.0, 1e-6);  // both tangent to the sphere
        EXPECT_NEAR(Dot(dP[1], c.p), 0.0, 1e-6);
    }
    // dP/du and dP/dv agree with a finite step of the mapping at a general point.
    Point3 p(0.36f, 0.48f, 0.8f);
    sc.Set(p, 0, 0);
    Point3 dP[3];
    sc.DPdUVW(dP, 1);
    const double pi = 3.14159265358979323846;
    const double lon = std::atan2(0.36, 0.8), lat = std::asin(0.48), h = 1e-6;
    auto x = [&](double l) { return std::cos(lat) * std::sin(l); };
    auto z = [&](double l) { return std::cos(lat) * std::cos(l); };
    // u grows by h when the longitude grows by 2 pi h.
    EXPECT_NEAR((x(lon + 2 * pi * h) - x(lon)) / h, Widen(dP[0].x), 1e-4);
    EXPECT_NEAR((z(lon + 2 * pi * h) - z(lon)) / h, Widen(dP[0].z), 1e-4);
    EXPECT_NEAR(Widen(dP[1].y), pi * std::cos(lat), 1e-5);
    sc.Set(loom::SphereShadeContext::kLightDir, 0, 0);
    EXPECT_NEAR(sc.Lighting(), 1.0f, 1e-6);
    sc.Set(Point3(0.4558423f, -0.5698029f, -0.6837635f), 0, 0);
    EXPECT_EQ(sc.Lighting(), 0.15f);
}

TEST(SampleSphere, EyesApartSeeTheFrontShiftedAgainstTheirOffset) {
    loom::RenderOptions opt;
    opt.width = opt.height = 200;
    Point3 hit;
    ASSERT_TRUE(loom::SphereHit(opt, 100, 100, hit));
    EXPECT_NEAR(hit.z, 1.0f, 1e-6);
    EXPECT_FALSE(loom::SphereHit(opt, 0.5, 0.5, hit));
    EXPECT_FALSE(loom::SphereHit(opt, 199.5, 100, hit));
    for (float eye : {-0.2f, 0.15f}) {
        opt.eyeOffset = eye;
        // The front point (0, 0, 1) lies a quarter of the way from the window to the eye,
        // so it shows at -eye/4 in the window, 80 pixels per unit here.
        double px = 100 - Widen(eye) / 4 * 80;
        ASSERT_TRUE(loom::SphereHit(opt, px, 100, hit)) << eye;
        EXPECT_NEAR(hit.x, 0.0f, 1e-6) << eye;
        EXPECT_NEAR(hit.z, 1.0f, 1e-6) << eye;
        // The silhouette moves with the eye: the sphere's centre stays at the window's
        // centre (zero parallax there), the edge it shows shifts.
        ASSERT_TRUE(loom::SphereHit(opt, 100, 100, hit));
        EXPECT_GT(hit.z, 0.9f);
    }
}

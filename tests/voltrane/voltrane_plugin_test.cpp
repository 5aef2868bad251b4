// The built voltrane plug-in as loomhost runs it: evaluation and renders.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/cli/setting_text.h"
#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "app/core/render/renderer.h"
#include "foundation/host/sdk/scene_io.h"

namespace fs = std::filesystem;

namespace {

std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int st = pclose(p);
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::string Host(const std::string& args, int* status = nullptr) {
    return RunCommand(std::string(LOOMHOST_BIN) + " --plugins " + PLUGIN_DIR + " " + args + " 2>&1",
                      status);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(VoltraneHost, EvalSplitsBodyEdgeAndBackgroundAtPhase75) {
    int status = -1;
    const std::string out = Host(
        "eval voltrane --set \"Sweep Phase=75\" 0.47,0.5 0.479,0.5 0.481,0.5 0.499,0.5 "
        "0.5,0.5 0.9,0.5",
        &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(out,
              "0.699999988 0.300000012 0.800000012 1\n"
              "0.699999988 0.300000012 0.800000012 1\n"
              "1 1 1 1\n"
              "1 1 1 1\n"
              "0 0 0 1\n"
              "0 0 0 1\n");
}

TEST(VoltraneHost, RenderedFilesDoNotDependOnTheThreadCount) {
    const fs::path dir = fs::temp_directory_path() / ("voltrane_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Goo with jitter: the noise tables come from the stream after the first sample's draw.
    const std::string look =
        " --size 48x40 --output color,mono,normal --set Goo=1 --set \"Linear Horizontal=0\" "
        "--set \"Sweep Phase=10\" --set \"Edge Noise=3\" --set \"Edge Size=0.05\" "
        "--set \"Apply Waveform=1\"";
    std::string files[2];
    for (int threads = 1; threads <= 2; ++threads) {
        const fs::path file = dir / ("goo" + std::to_string(threads) + ".png");
        int status = -1;
        const std::string out = Host(
            "render voltrane -o " + file.string() + look + " --threads " + std::to_string(threads),
            &status);
        ASSERT_EQ(status, 0) << out;
        files[threads - 1] =
            ReadFile(file) + ReadFile(dir / ("goo" + std::to_string(threads) + "_mono.png"));
        files[threads - 1] += ReadFile(dir / ("goo" + std::to_string(threads) + "_normal.png"));
    }
    EXPECT_FALSE(files[0].empty());
    EXPECT_EQ(files[0], files[1]);
    fs::remove_all(dir);
}

TEST(VoltraneHost, InProcessRendersAgreeAcrossThreadCounts) {
    loom::PluginLoader loader;
    std::string err;
    ASSERT_TRUE(loader.Load(VOLTRANE_SO, err)) << err;
    loom::SceneHolder scene;
    Texmap* tex = loom::CreateTexture(loader, "voltrane");
    scene.Add("t", tex);
    for (const char* set : {"RandomStatic=1", "Linear Horizontal=0", "Sweep Phase=60",
                            "Edge Noise=2", "Edge Size=0.1"}) {
        loom::ApplySet(loader, tex, set, 0);
    }
    loom::RenderOptions opt;
    opt.width = 33;
    opt.height = 37;
    opt.mono = true;
    loom::RenderImages one, two;
    opt.threads = 1;
    ASSERT_TRUE(loom::RenderTexture(tex, opt, one));
    opt.threads = 2;
    ASSERT_TRUE(loom::RenderTexture(tex, opt, two));
    EXPECT_EQ(one.color.rgba, two.color.rgba);
    EXPECT_EQ(one.mono.rgba, two.mono.rgba);
}

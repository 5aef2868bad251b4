#pragma once
// Runs another program (gegl, ffmpeg, melt) and loomhost in a scratch folder, and compares
// their pictures pixel for pixel. The test target defines LOOMHOST_BIN and PLUGIN_DIR.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/core/filter/image16.h"
#include "tests/support/cli_fixture.h"

namespace loomtest {

struct ShellResult {
    bool signalled = false;  ///< the program was ended by a signal (a crash)
    int status = -1;
    std::string err;
};

class HostFixture : public CliFixture {
  protected:
    /// Runs `command` through the shell in the scratch folder; stdout is discarded.
    ShellResult Shell(const std::string& command) {
        const std::string errFile = Path("shell_stderr.txt");
        const std::string full =
            "cd '" + dir.string() + "' && " + command + " >/dev/null 2>'" + errFile + "'";
        const int st = std::system(full.c_str());
        ShellResult r;
        // The shell reports a child's signal as 128 + its number.
        r.signalled = WIFSIGNALED(st) || (WIFEXITED(st) && WEXITSTATUS(st) > 128);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        std::ifstream e(errFile);
        std::stringstream ss;
        ss << e.rdbuf();
        r.err = ss.str();
        return r;
    }

    /// Runs loomhost and expects success.
    void Loomhost(const std::string& args) {
        const CliResult r = Run(args);
        ASSERT_EQ(r.status, 0) << "loomhost " << args << "\n" << r.err;
    }

    /// Whether the two files hold the same picture (both read, same size and pixels).
    bool SamePixels(const std::string& a, const std::string& b) {
        loom::Image16 ia, ib;
        std::string err;
        return loom::ReadImage16(Path(a), ia, err) && loom::ReadImage16(Path(b), ib, err) &&
               ia.width == ib.width && ia.height == ib.height && ia.pixels == ib.pixels;
    }

    /// Expects the two files to hold the same picture: size, channels' values, alpha.
    void ExpectSamePixels(const std::string& a, const std::string& b) {
        loom::Image16 ia, ib;
        std::string err;
        ASSERT_TRUE(loom::ReadImage16(Path(a), ia, err)) << err;
        ASSERT_TRUE(loom::ReadImage16(Path(b), ib, err)) << err;
        ASSERT_EQ(ia.width, ib.width) << a << " and " << b;
        ASSERT_EQ(ia.height, ib.height) << a << " and " << b;
        EXPECT_EQ(ia.bits, ib.bits) << a << " and " << b;
        size_t differ = 0, first = 0;
        for (size_t i = 0; i < ia.pixels.size(); ++i) {
            if (!(ia.pixels[i] == ib.pixels[i]) && differ++ == 0) first = i;
        }
        EXPECT_EQ(differ, 0u) << a << " and " << b << " differ in " << differ
                              << " pixels, first at (" << first % static_cast<size_t>(ia.width)
                              << ", " << first / static_cast<size_t>(ia.width)
                              << "): " << ia.pixels[first].r << "," << ia.pixels[first].g << ","
                              << ia.pixels[first].b << "," << ia.pixels[first].a << " against "
                              << ib.pixels[first].r << "," << ib.pixels[first].g << ","
                              << ib.pixels[first].b << "," << ib.pixels[first].a;
    }
};

}  // namespace loomtest

#pragma once
// Runs loomhost as a user runs it, in a scratch folder of its own per test.
// The test target defines LOOMHOST_BIN and PLUGIN_DIR.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temp_folder.h"

namespace loomtest {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

class CliFixture : public TempFolderTest {
  protected:
    /// Runs `loomhost --plugins PLUGIN_DIR ARGS` through the shell.
    CliResult Run(const std::string& args) {
        std::string errFile = (dir / "stderr.txt").string();
        std::string cmd =
            std::string(LOOMHOST_BIN) + " --plugins " + PLUGIN_DIR + " " + args + " 2>" + errFile;
        FILE* p = popen(cmd.c_str(), "r");
        CliResult r{-1, "", ""};
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        int st = pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        std::ifstream e(errFile);
        std::stringstream ss;
        ss << e.rdbuf();
        r.err = ss.str();
        return r;
    }
    std::string Path(const std::string& name) { return P(name); }
};

}  // namespace loomtest

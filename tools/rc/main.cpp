// loom_rc: compiles a Win32 resource script into C++ that registers the dialogs, string
// tables and bitmaps with the host under the instance handle of the module it is linked
// into.
//
//   loom_rc --rc FILE.rc --out GENERATED.cpp [--include DIR]... [--depfile FILE.d]

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/rc/codegen.h"
#include "tools/rc/compiler.h"
#include "tools/rc/rc_error.h"
#include "tools/rc/source_provider.h"

namespace {

// Make-style escaping of a path in a dependency file.
std::string DepfileEscape(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

// Writes `content` to `path` through a temporary file, so a failed run leaves no
// half-written output behind.
void WriteFile(const std::string& path, const std::string& content) {
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("cannot write '" + temp + "'");
        out << content;
        out.close();
        if (!out) throw std::runtime_error("cannot write '" + temp + "'");
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw std::runtime_error("cannot write '" + path + "'");
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Compiles a Win32 resource script into C++ for the Loom host."};
    std::string rcPath, outPath, depfilePath;
    std::vector<std::string> includeDirs;
    app.add_option("--rc", rcPath, "the resource script (.rc)")->required();
    app.add_option("--out", outPath, "the C++ file to write")->required();
    app.add_option("--include", includeDirs, "folder searched for #include files and bitmaps");
    app.add_option("--depfile", depfilePath, "also write a make-style dependency file");
    CLI11_PARSE(app, argc, argv);

    try {
        loom::rc::FileSystemProvider files;
        loom::rc::CompiledResources result = loom::rc::CompileResources(files, rcPath, includeDirs);
        WriteFile(outPath, loom::rc::GenerateCpp(result.bundle, rcPath));
        if (!depfilePath.empty()) {
            std::string deps = DepfileEscape(outPath) + ":";
            for (const std::string& dep : result.dependencies)
                deps += " \\\n  " + DepfileEscape(dep);
            WriteFile(depfilePath, deps + "\n");
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}

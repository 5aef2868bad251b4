// Feeds arbitrary bytes to the resource compiler. The input is split at the first two
// "\n#--\n" markers into a script, the header it may include, and a bitmap file it may
// name; everything is served from memory, so no file is touched. Bad input must end in
// RcError (or BmpError from the bitmap reader alone); any other exception or a crash is a
// finding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/rc/bmp_reader.h"
#include "tools/rc/codegen.h"
#include "tools/rc/compiler.h"
#include "tools/rc/rc_error.h"
#include "tools/rc/source_provider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view kMarker = "\n#--\n";
    std::string_view parts[3];
    int filled = 0;
    for (; filled < 2; ++filled) {
        std::size_t at = input.find(kMarker);
        if (at == std::string_view::npos) break;
        parts[filled] = input.substr(0, at);
        input.remove_prefix(at + kMarker.size());
    }
    parts[filled] = input;

    try {
        loom::rc::DecodeBmp(parts[2]);
    } catch (const loom::rc::BmpError&) {
    }

    loom::rc::MemoryProvider files;
    files.Add("f/t.rc", std::string(parts[0]));
    files.Add("f/resource.h", std::string(parts[1]));
    files.Add("f/a.bmp", std::string(parts[2]));
    try {
        loom::rc::CompiledResources r = loom::rc::CompileResources(files, "f/t.rc", {"inc"});
        std::string code = loom::rc::GenerateCpp(r.bundle, "f/t.rc");
        if (code.empty()) __builtin_trap();
    } catch (const loom::rc::RcError&) {
    }
    return 0;
}

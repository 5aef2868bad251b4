#include "tools/rc/compiler.h"

#include "tools/rc/bmp_reader.h"
#include "tools/rc/parser.h"
#include "tools/rc/rc_error.h"

namespace loom::rc {

CompiledResources CompileResources(SourceProvider& provider, const std::string& rcPath,
                                   const std::vector<std::string>& includeDirs) {
    ParsedScript script = ParseScript(provider, rcPath, includeDirs);
    CompiledResources out;
    out.bundle = std::move(script.bundle);
    out.dependencies = std::move(script.filesRead);
    for (const BitmapReference& ref : script.bitmaps) {
        std::optional<std::string> content;
        std::string path;
        for (const std::string& candidate : ref.candidates) {
            content = provider.Read(candidate);
            if (content) {
                path = candidate;
                break;
            }
        }
        if (!content) throw RcError(ref.where, "cannot open bitmap file '" + ref.name + "'");
        BitmapResource bitmap;
        try {
            bitmap = DecodeBmp(*content);
        } catch (const BmpError& e) {
            throw RcError(ref.where, "bitmap file '" + ref.name + "': " + e.what());
        }
        bitmap.id = ref.id;
        out.bundle.bitmaps.push_back(std::move(bitmap));
        out.dependencies.push_back(path);
    }
    return out;
}

}  // namespace loom::rc

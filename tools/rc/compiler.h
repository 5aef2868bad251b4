#pragma once
/// The whole compilation of one resource script: parse it, read and decode its bitmaps.

#include <string>
#include <vector>

#include "foundation/host/win32/resources.h"
#include "tools/rc/source_provider.h"

namespace loom::rc {

struct CompiledResources {
    ResourceBundle bundle;
    /// Every file the result depends on: the script, its includes, its bitmaps.
    std::vector<std::string> dependencies;
};

/// Compiles the script at `rcPath` (see ParseScript for the lookup rules). Throws RcError,
/// located at the statement, for bad input, missing files and undecodable bitmaps.
CompiledResources CompileResources(SourceProvider& provider, const std::string& rcPath,
                                   const std::vector<std::string>& includeDirs);

}  // namespace loom::rc

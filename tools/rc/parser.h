#pragma once
/// Reads the statements of a resource script: DIALOG and DIALOGEX templates with their
/// controls, STRINGTABLE blocks and BITMAP file references. LANGUAGE is accepted and
/// ignored, as are the blocks that only the Windows development tools use (VERSIONINFO,
/// TEXTINCLUDE, DESIGNINFO, AFX_DIALOG_LAYOUT, DLGINIT). Anything else is an error.

#include <string>
#include <vector>

#include "foundation/host/win32/resources.h"
#include "tools/rc/rc_error.h"
#include "tools/rc/source_provider.h"

namespace loom::rc {

/// A BITMAP statement; the file is read later.
struct BitmapReference {
    int id = 0;
    std::string name;                     ///< file name as written
    std::vector<std::string> candidates;  ///< paths to try, in order
    Location where;                       ///< the statement
};

struct ParsedScript {
    ResourceBundle bundle;  ///< dialogs and strings; no bitmaps yet
    std::vector<BitmapReference> bitmaps;
    std::vector<std::string> filesRead;  ///< the script and every file it included
};

/// Parses the script at `rcPath`. Bitmap files are looked up beside the file that names
/// them, then beside `rcPath`, then in `includeDirs`. Throws RcError on bad input.
ParsedScript ParseScript(SourceProvider& provider, const std::string& rcPath,
                         const std::vector<std::string>& includeDirs);

}  // namespace loom::rc

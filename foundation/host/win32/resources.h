#pragma once
/// Module resources: dialog templates, bitmaps and string tables of a loaded library,
/// looked up by instance handle as a Win32 program would.
///
/// A module's resources are compiled by `loom_rc` into C++ that builds one
/// `ResourceBundle` and registers it from a static initializer when the module is
/// loaded (and unregisters it from the matching static destructor when it unloads).
/// The host identifies a module by the real path of its file, so the handle that the
/// plug-in loader passes to a library's entry routine (`ModuleHandleForPath`) is the
/// handle under which its resources are found.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/host/base/core.h"
#include "foundation/host/base/win32_types.h"
#include "foundation/host/win32/win32_styles.h"

namespace loom {

/// One control of a dialog template, in template (tab) order.
struct DialogControl {
    int id = -1;            ///< control ID; -1 (IDC_STATIC) for controls without one
    std::string className;  ///< "Button", "Static", "Edit", "ComboBox", "ListBox",
                            ///< "ScrollBar", "msctls_trackbar32", or a custom class as written
    std::string text;       ///< caption bytes as written (Windows-1252, not transcoded)
    /// When the text was given as a resource number (picture statics: the bitmap or icon
    /// ID), that number, and `text` is empty; -1 otherwise.
    int textOrdinal = -1;
    DWORD style = 0;  ///< full window style, WS_CHILD | WS_VISIBLE and statement defaults included
    DWORD exStyle = 0;                   ///< extended style
    short x = 0, y = 0, cx = 0, cy = 0;  ///< rectangle in dialog units
};

/// A DIALOG or DIALOGEX template.
struct DialogTemplate {
    int id = 0;
    DWORD style = 0;  ///< WS_CAPTION included when a caption was given, DS_SETFONT with a font
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;  ///< dialog units
    std::string caption;                 ///< empty when the template has none
    std::string className;               ///< CLASS statement; usually empty
    std::string fontName;                ///< empty when the template has no FONT statement
    int fontSize = 0;                    ///< points
    int fontWeight = 0;                  ///< DIALOGEX only; 0 when not given
    bool fontItalic = false;             ///< DIALOGEX only
    int fontCharset = 1;                 ///< DIALOGEX only; DEFAULT_CHARSET when not given
    bool extended = false;               ///< true for DIALOGEX
    std::vector<DialogControl> controls;
};

/// A BITMAP resource, decoded at build time.
struct BitmapResource {
    int id = 0;
    int width = 0, height = 0;
    int bitsPerPixel = 0;  ///< depth of the file it came from (1, 4, 8, 16, 24 or 32)
    /// width * height pixels of 8-bit R, G, B, A, top row first; alpha is 255.
    std::vector<std::uint8_t> rgba;
};

/// Everything one resource script defines.
struct ResourceBundle {
    std::vector<DialogTemplate> dialogs;
    std::vector<BitmapResource> bitmaps;
    std::map<UINT, std::string> strings;  ///< string table: ID -> bytes (Windows-1252)
};

/// Registers `bundle` for the module that contains the address `anchor` (found with
/// dladdr and realpath). Called from the static initializer of generated resource code;
/// the bundle must stay alive until `UnregisterModuleResources(anchor)`. A module may
/// register several bundles; lookups search them in registration order.
/// Thread-safe. Does nothing if the module cannot be identified.
void RegisterModuleResources(const void* anchor, const ResourceBundle* bundle) noexcept;

/// Removes the bundle registered with `anchor`; called from the static destructor of
/// generated resource code when the module unloads. Thread-safe; unknown anchors are
/// ignored.
void UnregisterModuleResources(const void* anchor) noexcept;

/// The instance handle of the module file at `path` (symbolic links and relative
/// paths resolved). The same file always gives the same handle, before, during and after
/// it is loaded. Null if the file does not exist.
HINSTANCE ModuleHandleForPath(const char* path) noexcept;

/// The instance handle of the module (shared library or executable) that contains
/// `address`; null if the address belongs to no loaded module.
HINSTANCE ModuleHandleForAddress(const void* address) noexcept;

/// The dialog template `id` of module `instance`, or null. The pointer stays valid while
/// the module stays loaded.
const DialogTemplate* FindDialog(HINSTANCE instance, int id) noexcept;

/// The bitmap `id` of module `instance`, or null. Valid while the module stays loaded.
const BitmapResource* FindBitmap(HINSTANCE instance, int id) noexcept;

/// String `id` of module `instance`'s string table, or null. Valid while the module
/// stays loaded.
const std::string* FindString(HINSTANCE instance, UINT id) noexcept;

}  // namespace loom

/// Win32 LoadString: copies string `id` of module `instance` into `buffer`, at most
/// `cchBufferMax` - 1 bytes followed by a NUL, and returns the number of bytes copied
/// (0 if the string does not exist or is empty; the buffer then holds an empty string).
/// With `cchBufferMax` 0, stores a read-only `const char*` to the resource text
/// (NUL-terminated, valid while the module stays loaded) into the pointer-sized space at
/// `buffer` and returns the text's length. A null `buffer` returns 0.
int LoadString(HINSTANCE instance, UINT id, char* buffer, int cchBufferMax) noexcept;
/// Same as LoadString (the ANSI name of the Win32 function).
int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int cchBufferMax) noexcept;

#pragma once
/// Writes a resource bundle as C++: the data as static constants, a bundle built from
/// them at load, and a static object that registers it with the host for the module it
/// is linked into (and unregisters it when the module unloads).

#include <string>

#include "foundation/host/win32/resources.h"

namespace loom::rc {

/// The C++ source for `bundle`; `sourceName` is named in the header comment only.
std::string GenerateCpp(const ResourceBundle& bundle, const std::string& sourceName);

/// `text` as a C++ string literal. Bytes outside printable ASCII are written as
/// three-digit octal escapes, so every byte (NUL and Windows-1252 included) survives.
std::string CppStringLiteral(const std::string& text);

}  // namespace loom::rc

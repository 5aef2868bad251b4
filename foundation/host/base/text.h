#pragma once
/// Plain-text helpers every layer shares.

#include <cctype>
#include <string>
#include <string_view>

namespace loom {

/// `s` with its letters in lower case, byte by byte as the C locale's tolower does: for
/// names, extensions and keywords compared without regard to case.
inline std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace loom

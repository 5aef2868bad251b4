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

/// `s` without the spaces and tabs at its ends.
inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace loom

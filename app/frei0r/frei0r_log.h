#pragma once
/// How the frei0r effects report: frei0r gives a plug-in no channel back to its host, so a
/// failure is one line on stderr, "EFFECT: reason", and the effect goes on with a
/// documented fallback (a transparent frame, a value kept).

#include <string>

namespace loom::frei0r {

void Log(const std::string& effect, const std::string& message) noexcept;

}  // namespace loom::frei0r

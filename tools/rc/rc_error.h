#pragma once
/// The error the resource compiler raises for bad input: a location and a reason.
/// Used only inside the build-time tool; `loom_rc`'s main catches it.

#include <stdexcept>
#include <string>

namespace loom::rc {

/// Where a token or statement came from: the file as it was opened, and a 1-based line.
struct Location {
    std::string file;
    int line = 0;
};

/// Bad input. `what()` reads "FILE:LINE: reason" (just "reason" without a location).
class RcError : public std::runtime_error {
  public:
    RcError(const Location& where, const std::string& reason)
        : std::runtime_error(Format(where, reason)), where_(where), reason_(reason) {}

    const Location& where() const { return where_; }
    const std::string& reason() const { return reason_; }

  private:
    static std::string Format(const Location& where, const std::string& reason) {
        if (where.file.empty()) return reason;
        return where.file + ":" + std::to_string(where.line) + ": " + reason;
    }

    Location where_;
    std::string reason_;
};

}  // namespace loom::rc

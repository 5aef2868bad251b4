#pragma once
/// The one exception the editor's pieces throw for a request they refuse.

#include <stdexcept>
#include <string>

namespace loom::web {

/// A request the editor refuses: the HTTP status and one line saying why.
class ApiError : public std::runtime_error {
  public:
    ApiError(int status, const std::string& what) : std::runtime_error(what), status_(status) {}
    int Status() const { return status_; }

  private:
    int status_;
};

}  // namespace loom::web

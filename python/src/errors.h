#pragma once
/// The failures the Python module tells apart, each raised as its own Python exception:
/// a name that is not there (KeyError), a file that cannot be read or written (OSError).
/// Every other std::runtime_error is a bad value (ValueError). Messages are the command
/// line's.

#include <stdexcept>
#include <string>

namespace loomwork {

/// An unknown class, parameter, sub-map slot or scene entry; raised as KeyError.
class NameError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// A file that cannot be read or written; raised as OSError.
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace loomwork

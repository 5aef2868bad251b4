#pragma once
/// The failures the Python module tells apart, each raised as its own Python exception:
/// a name that is not there (KeyError), a file that cannot be read or written (OSError).
/// Every other std::runtime_error is a bad value (ValueError). Messages name arguments as
/// Python code does (ArgumentNamed), not as the command line's options.

#include <stdexcept>
#include <string>
#include <utility>

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

/// Calls `f`, a parser shared with the command line, so that its ValueError names the
/// keyword `argument` where it names the option `option` ("--method 'x'": "method 'x'").
template <class F>
auto ArgumentNamed(const std::string& option, const std::string& argument, F&& f) {
    try {
        return std::forward<F>(f)();
    } catch (const NameError&) {
        throw;
    } catch (const FileError&) {
        throw;
    } catch (const std::runtime_error& e) {
        std::string message = e.what();
        for (size_t at = message.find(option); at != std::string::npos;
             at = message.find(option, at + argument.size())) {
            message.replace(at, option.size(), argument);
        }
        throw std::runtime_error(message);
    }
}

}  // namespace loomwork

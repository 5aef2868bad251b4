#pragma once
/// Where the resource compiler reads its input from: the file system for `loom_rc`, a
/// map of names to contents for tests and the fuzzer.

#include <map>
#include <optional>
#include <string>

namespace loom::rc {

class SourceProvider {
  public:
    virtual ~SourceProvider() = default;
    /// The whole content of `path` as bytes, or nothing if it cannot be read.
    virtual std::optional<std::string> Read(const std::string& path) = 0;
};

/// Reads real files.
class FileSystemProvider final : public SourceProvider {
  public:
    std::optional<std::string> Read(const std::string& path) override;
};

/// Serves files from memory, by exact path; touches no files.
class MemoryProvider final : public SourceProvider {
  public:
    void Add(const std::string& path, std::string content) { files_[path] = std::move(content); }
    std::optional<std::string> Read(const std::string& path) override;

  private:
    std::map<std::string, std::string> files_;
};

/// Folder part of `path` ("" for a bare name), without the trailing slash.
std::string DirectoryOf(const std::string& path);

/// `name` taken relative to `dir`: `name` itself when it is absolute or `dir` is empty.
/// Backslashes in `name` (Windows separators) become slashes.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace loom::rc

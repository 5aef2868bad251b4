#pragma once
/// Checks that keep a command's outputs away from its inputs, and the cleaning of temporary
/// files for writers that make their own (as SaveFile does for its). Nothing here throws.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace loom {

/// Whether `a` and `b` name one file (the same device and inode, so also through hard or
/// symbolic links and different spellings of a path). False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

/// Files known by identity (device and inode), for checking many outputs against many
/// inputs: each file is looked at once.
class FileSet {
  public:
    /// Adds the file at `path` (links followed); nothing when it does not exist.
    void Add(const std::string& path);
    /// The path under which the file at `path` was added, or null.
    const std::string* Find(const std::string& path) const;

  private:
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> files_;
};

/// Refuses writing `output` when it is the same file as one of `inputs`: false with
/// `error` "OUTPUT: is also an input (INPUT); choose another output".
bool CheckOutputIsNoInput(const std::string& output, const FileSet& inputs, std::string& error);
bool CheckOutputIsNoInput(const std::string& output, const std::vector<std::string>& inputs,
                          std::string& error);

/// Removes temporary files that earlier saves of `path` (a final symbolic link followed)
/// left beside it, as SaveFile does before saving: those whose process is gone, or older
/// than a day.
void RemoveStaleTemporaries(const std::string& path);

}  // namespace loom

#pragma once
/// Files in and out. Every file the host saves (images, scenes, filter configurations)
/// goes through SaveFile, and every file it reads in whole through ReadRegularFile, so that
/// a save never leaves a damaged or half-written file behind and a read never blocks on a
/// pipe or runs on without end. Nothing here throws; errors name the file and the system's
/// reason.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace loom {

/// How a save may go.
struct SaveOptions {
    /// Replace an existing file that has no write permission (the user asked for it).
    bool force = false;
    /// When raised (Ctrl-C) the save stops before the file is replaced and fails; the
    /// earlier file stays as it was. May be null.
    const std::atomic<bool>* interrupt = nullptr;
};

/// `--no-overwrite` for the whole process: every later output check and save refuses a
/// file that exists, and leaves it as it is.
void SetKeepExistingFiles(bool keep);
bool KeepExistingFiles();

/// The marker in the names of temporary files: ".<name>.loomtmp.<pid>.<random>".
inline constexpr const char* kTemporaryMarker = ".loomtmp.";

/// Checks, before any work is done, that `path` could be saved: its folder exists and can be
/// written to, it is not a folder or another non-regular file, and an existing file is not
/// read-only (unless `options.force`). A final symbolic link is followed, as SaveFile does.
bool CheckOutputFile(const std::string& path, const SaveOptions& options, std::string& error);

/// Replaces the file at `path` with `size` bytes at `data`, or leaves it untouched:
/// the bytes go to a temporary file created exclusively in the target's own folder (never
/// through a symbolic link at its name), each write is checked, the data is flushed to
/// disk, and the temporary is renamed over the target and the folder flushed. On any
/// failure the temporary is removed. When `path` is a symbolic link the file it points to
/// is replaced and the link kept. An existing file keeps its permission bits (and group
/// where allowed); a new one gets 0666 less the umask. A read-only file is refused unless
/// `options.force`. Temporary files that an earlier save of the same file left behind (its
/// process killed) are removed. Safe to call from several threads for different targets.
bool SaveFile(const std::string& path, const void* data, std::size_t size,
              const SaveOptions& options, std::string& error);

/// Reads the whole of the regular file at `path` into `bytes`. Anything else (a folder, a
/// pipe, a device) is refused without blocking, as is a file longer than `maxBytes` (only
/// `maxBytes + 1` bytes are ever read, even if the file grows meanwhile).
bool ReadRegularFile(const std::string& path, std::size_t maxBytes,
                     std::vector<std::uint8_t>& bytes, std::string& error);

/// "path: what: strerror(code)".
std::string SystemError(const std::string& path, const std::string& what, int code);

}  // namespace loom

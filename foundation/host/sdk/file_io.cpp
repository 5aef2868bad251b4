#include "foundation/host/sdk/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "foundation/host/sdk/file_safety.h"

namespace loom {
namespace {

// Temporaries older than this are removed whoever made them: a process id can be reused.
constexpr std::time_t kStaleSeconds = 24 * 60 * 60;
// The target's name as kept in a temporary's name, so that the whole stays within the
// 255 bytes a file name may have.
constexpr std::size_t kNameInTemporary = 200;
// Writes go out in pieces so that an interrupt is noticed during a long write.
constexpr std::size_t kWritePiece = std::size_t{1} << 20;
// Symbolic links followed at most, as the system itself does.
constexpr int kMaxLinks = 40;

struct Target {
    std::string path;    // the file that is replaced (final symbolic links followed)
    std::string folder;  // its folder ("." when the path has none)
    std::string name;    // its name within the folder
    bool exists = false;
    struct stat st {};
};

std::string FolderOf(const std::string& p) {
    const std::size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string NameOf(const std::string& p) {
    const std::size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

/// Follows symbolic links at `path` to the file a save replaces, and looks at it.
bool ResolveTarget(const std::string& path, Target& t, std::string& error) {
    if (path.empty()) {
        error = "no output file named";
        return false;
    }
    std::string p = path;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT && errno != ENOTDIR) {
                error = SystemError(path, "cannot look at the file", errno);
                return false;
            }
            t.exists = false;
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            t.exists = true;
            t.st = st;
            break;
        }
        if (links == kMaxLinks) {
            error = SystemError(path, "cannot follow the link", ELOOP);
            return false;
        }
        std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(p.c_str(), to.data(), to.size());
        if (n < 0) {
            error = SystemError(path, "cannot follow the link", errno);
            return false;
        }
        to.resize(static_cast<std::size_t>(n));
        p = (to.empty() || to[0] == '/') ? to : FolderOf(p) + "/" + to;
    }
    if (!p.empty() && p.back() == '/') {
        error = path + ": names a folder, not a file";
        return false;
    }
    t.path = p;
    t.folder = FolderOf(p);
    t.name = NameOf(p);
    if (t.name.empty() || t.name == "." || t.name == "..") {
        error = path + ": names a folder, not a file";
        return false;
    }
    return true;
}

/// The checks CheckOutputFile names, on a resolved target.
bool CheckTarget(const std::string& path, const Target& t, const SaveOptions& options,
                 std::string& error) {
    const std::string shown = t.path == path ? path : path + " (" + t.path + ")";
    struct stat folder {};
    if (::stat(t.folder.c_str(), &folder) != 0) {
        error = errno == ENOENT ? shown + ": folder '" + t.folder + "' does not exist"
                                : SystemError(shown, "folder '" + t.folder + "'", errno);
        return false;
    }
    if (!S_ISDIR(folder.st_mode)) {
        error = shown + ": '" + t.folder + "' is not a folder";
        return false;
    }
    if (::access(t.folder.c_str(), W_OK | X_OK) != 0) {
        error = SystemError(shown, "cannot write in folder '" + t.folder + "'", errno);
        return false;
    }
    if (!t.exists) return true;
    if (KeepExistingFiles()) {
        error = shown + ": exists already; kept as it is (--no-overwrite)";
        return false;
    }
    if (S_ISDIR(t.st.st_mode)) {
        error = shown + ": is a folder, not a file";
        return false;
    }
    if (!S_ISREG(t.st.st_mode)) {
        error = shown + ": is not a regular file (a pipe, device or socket)";
        return false;
    }
    // Permission bits decide, not access(): a privileged user may write anything, but a
    // file someone made read-only is still not replaced by accident.
    const bool readOnly = (t.st.st_mode & 0222) == 0 || ::access(t.path.c_str(), W_OK) != 0;
    if (readOnly && !options.force) {
        error = shown + ": the file is read-only (replace it with --force)";
        return false;
    }
    return true;
}

std::string TemporaryPrefix(const std::string& name) {
    // Appended piece by piece: GCC 12 at -O3 misreads `"." + std::string` as an
    // overlapping copy (-Wrestrict).
    std::string prefix(1, '.');
    prefix.append(name, 0, kNameInTemporary);
    prefix += kTemporaryMarker;
    return prefix;
}

std::string RandomSuffix() {
    std::uint64_t r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) {
        static std::atomic<std::uint64_t> counter{0};
        r = static_cast<std::uint64_t>(
                std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (++counter * 0x9E3779B97F4A7C15ull);
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(r));
    return buf;
}

/// Removes temporaries of an earlier save of `name` in the folder `dir` whose process is
/// gone, or that are older than a day. Another live process's fresh temporary is left.
void RemoveStaleTemporaries(int dir, const std::string& name) {
    const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    const std::string prefix = TemporaryPrefix(name);
    const std::time_t now = std::time(nullptr);
    while (const dirent* e = ::readdir(d)) {
        const std::string entry = e->d_name;
        if (entry.compare(0, prefix.size(), prefix) != 0) continue;
        // The rest is "<pid>.<random>".
        const std::string rest = entry.substr(prefix.size());
        const std::size_t dot = rest.find('.');
        if (dot == 0 || dot == std::string::npos || dot > 10) continue;
        if (rest.find_first_not_of("0123456789") != dot) continue;
        const long pid = std::strtol(rest.substr(0, dot).c_str(), nullptr, 10);
        struct stat st {};
        if (::fstatat(dir, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) continue;
        const bool dead = pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
        const bool old = now - st.st_mtime > kStaleSeconds;
        if (dead || old) ::unlinkat(dir, entry.c_str(), 0);
    }
    ::closedir(d);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, const SaveOptions& options,
              const std::string& path, std::string& error) {
    while (size > 0) {
        if (options.interrupt && options.interrupt->load()) {
            error = path + ": interrupted; the file was not replaced";
            return false;
        }
        const std::size_t piece = size < kWritePiece ? size : kWritePiece;
        const ssize_t n = ::write(fd, data, piece);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = SystemError(path, "cannot write", errno);
            return false;
        }
        if (n == 0) {
            error = SystemError(path, "cannot write", ENOSPC);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string SystemError(const std::string& path, const std::string& what, int code) {
    return path + ": " + (what.empty() ? "" : what + ": ") + std::strerror(code);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void FileSet::Add(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return;
    files_.emplace(std::make_pair(static_cast<std::uint64_t>(st.st_dev),
                                  static_cast<std::uint64_t>(st.st_ino)),
                   path);
}

const std::string* FileSet::Find(const std::string& path) const {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return nullptr;
    const auto it = files_.find(std::make_pair(static_cast<std::uint64_t>(st.st_dev),
                                               static_cast<std::uint64_t>(st.st_ino)));
    return it == files_.end() ? nullptr : &it->second;
}

bool CheckOutputIsNoInput(const std::string& output, const FileSet& inputs, std::string& error) {
    const std::string* input = inputs.Find(output);
    if (!input) return true;
    error = output + ": is also an input" + (*input == output ? "" : " (" + *input + ")") +
            "; choose another output";
    return false;
}

bool CheckOutputIsNoInput(const std::string& output, const std::vector<std::string>& inputs,
                          std::string& error) {
    FileSet set;
    for (const std::string& input : inputs) set.Add(input);
    return CheckOutputIsNoInput(output, set, error);
}

void RemoveStaleTemporaries(const std::string& path) {
    Target t;
    std::string ignored;
    if (!ResolveTarget(path, t, ignored)) return;
    const int dir = ::open(t.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    RemoveStaleTemporaries(dir, t.name);
    ::close(dir);
}

namespace {
std::atomic<bool> gKeepExistingFiles{false};
}  // namespace

void SetKeepExistingFiles(bool keep) { gKeepExistingFiles = keep; }
bool KeepExistingFiles() { return gKeepExistingFiles; }

bool CheckOutputFile(const std::string& path, const SaveOptions& options, std::string& error) {
    Target t;
    return ResolveTarget(path, t, error) && CheckTarget(path, t, options, error);
}

bool SaveFile(const std::string& path, const void* data, std::size_t size,
              const SaveOptions& options, std::string& error) {
    Target t;
    if (!ResolveTarget(path, t, error) || !CheckTarget(path, t, options, error)) return false;
    const int dir = ::open(t.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        error = SystemError(path, "cannot open folder '" + t.folder + "'", errno);
        return false;
    }
    RemoveStaleTemporaries(dir, t.name);

    // A new file starts as the umask allows; an existing one's bits are put back below,
    // and until then nobody else may read the temporary.
    const mode_t createMode = t.exists ? 0600 : 0666;
    const std::string prefix = TemporaryPrefix(t.name) + std::to_string(::getpid()) + ".";
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = prefix + RandomSuffix();
        // O_EXCL refuses any existing name, a planted symbolic link included.
        fd = ::openat(dir, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      createMode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = SystemError(path, "cannot create a temporary file in '" + t.folder + "'", errno);
        ::close(dir);
        return false;
    }

    bool ok = WriteAll(fd, static_cast<const std::uint8_t*>(data), size, options, path, error);
    if (ok && t.exists) {
        // Keep owner and group where the system lets us; the permission bits always.
        if (::fchown(fd, t.st.st_uid, t.st.st_gid) != 0) {
            [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), t.st.st_gid);
        }
        if (::fchmod(fd, t.st.st_mode & 0777) != 0) {
            error = SystemError(path, "cannot set the permissions", errno);
            ok = false;
        }
    }
    if (ok && ::fsync(fd) != 0) {
        error = SystemError(path, "cannot write", errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = SystemError(path, "cannot write", errno);
        ok = false;
    }
    if (ok && options.interrupt && options.interrupt->load()) {
        error = path + ": interrupted; the file was not replaced";
        ok = false;
    }
    if (ok && KeepExistingFiles()) {
        // A file made since the check is kept too: the rename refuses to replace it.
        if (::renameat2(dir, tmp.c_str(), dir, t.name.c_str(), RENAME_NOREPLACE) != 0) {
            error = errno == EEXIST ? path + ": exists already; kept as it is (--no-overwrite)"
                                    : SystemError(path, "cannot create the file", errno);
            ok = false;
        }
    } else if (ok && ::renameat(dir, tmp.c_str(), dir, t.name.c_str()) != 0) {
        error = SystemError(path, "cannot replace the file", errno);
        ok = false;
    }
    if (!ok) {
        ::unlinkat(dir, tmp.c_str(), 0);
        ::close(dir);
        return false;
    }
    // The rename itself reaches the disk with the folder.
    if (::fsync(dir) != 0 && errno != EINVAL && errno != EROFS) {
        error = SystemError(path, "written, but its folder could not be flushed", errno);
        ::close(dir);
        return false;
    }
    ::close(dir);
    return true;
}

bool ReadRegularFile(const std::string& path, std::size_t maxBytes,
                     std::vector<std::uint8_t>& bytes, std::string& error) {
    bytes.clear();
    // Never block on opening a pipe; a pipe or device is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemError(path, "cannot open", errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = SystemError(path, "cannot open", errno);
        ::close(fd);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = path + ": is a folder, not a file";
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": is not a regular file (a pipe, device or socket)";
        ::close(fd);
        return false;
    }
    const auto tooLarge = [&] {
        error = path + ": too large (more than " + std::to_string(maxBytes) + " bytes)";
        ::close(fd);
        bytes.clear();
        return false;
    };
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes) {
        return tooLarge();
    }
    // One byte past the limit tells a file that grew meanwhile.
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > maxBytes) return tooLarge();
            bytes.resize(std::min(maxBytes + 1, have + (have / 2) + 4096));
        }
        const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = SystemError(path, "cannot read", errno);
            ::close(fd);
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (have > maxBytes) {
        bytes.clear();
        error = path + ": too large (more than " + std::to_string(maxBytes) + " bytes)";
        return false;
    }
    bytes.resize(have);
    return true;
}

}  // namespace loom

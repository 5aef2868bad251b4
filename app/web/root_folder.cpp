#include "app/web/root_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "app/web/api_error.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/stdmaps/bitmap_tex.h"

namespace loom::web {
namespace fs = std::filesystem;
namespace {

bool Under(const fs::path& root, const fs::path& real) {
    auto [r, p] = std::mismatch(root.begin(), root.end(), real.begin(), real.end());
    return r == root.end() && p != real.end();
}

/// `path` with every link resolved, the last one included even when it names nothing yet
/// (weakly_canonical leaves a dangling last link as it is).
fs::path Resolved(fs::path path, std::error_code& ec) {
    path = fs::absolute(path, ec);
    for (int hops = 0; !ec && hops < 40; ++hops) {
        const fs::path real = fs::weakly_canonical(path, ec);
        if (ec) return real;
        // A path that names nothing (a missing image) is as real as it gets: not an error.
        std::error_code missing;
        if (!fs::is_symlink(fs::symlink_status(real, missing))) return real;
        const fs::path target = fs::read_symlink(real, ec);
        path = target.is_absolute() ? target : real.parent_path() / target;
    }
    if (!ec) ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return path;
}

void CheckImages(Texmap* tex, const RootFolder& folder, const fs::path& base, int depth) {
    if (!tex || depth > 64) return;
    if (auto* bm = dynamic_cast<BitmapTex*>(tex); bm && !bm->FileName().empty()) {
        fs::path image(bm->FileName());
        if (image.is_relative()) image = base / image;
        if (!folder.Holds(image)) {
            throw ApiError(
                400, "the scene names an image outside the editor's folder: " + bm->FileName());
        }
    }
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) {
        CheckImages(tex->GetSubTexmap(i), folder, base, depth + 1);
    }
}

}  // namespace

RootFolder::RootFolder(const fs::path& root) {
    std::error_code ec;
    real_ = fs::canonical(root, ec);
    if (ec || !fs::is_directory(real_, ec)) {
        throw std::runtime_error("'" + root.string() + "' is not a folder" +
                                 (ec ? ": " + ec.message() : std::string()));
    }
}

bool RootFolder::Holds(const fs::path& path) const {
    std::error_code ec;
    const fs::path real = Resolved(path, ec);
    return !ec && Under(real_, real);
}

fs::path RootFolder::Lexical(const std::string& relative) const {
    if (relative.empty()) throw ApiError(400, "a path is needed");
    if (relative.find('\0') != std::string::npos) throw ApiError(400, "the path holds a NUL byte");
    fs::path p(relative);
    if (p.is_absolute()) {
        throw ApiError(400, "paths are relative to the editor's folder: " + relative);
    }
    for (const auto& part : p) {
        if (part == "..") {
            throw ApiError(400, "paths may not leave the editor's folder: " + relative);
        }
    }
    return real_ / p;
}

fs::path RootFolder::FileToRead(const std::string& relative) const {
    const fs::path p = Lexical(relative);
    std::error_code ec;
    const fs::path real = fs::canonical(p, ec);
    if (ec) {
        const int status = ec == std::errc::no_such_file_or_directory ? 404 : 400;
        throw ApiError(status, relative + ": cannot open: " + ec.message());
    }
    if (real != real_ && !Under(real_, real)) {
        throw ApiError(400, relative + " leads out of the editor's folder (a link)");
    }
    const fs::file_status st = fs::status(real, ec);
    if (fs::is_directory(st)) throw ApiError(400, relative + " is a folder, not a file");
    if (!fs::is_regular_file(st)) throw ApiError(400, relative + " is not a regular file");
    return real;
}

fs::path RootFolder::FileToWrite(const std::string& relative) const {
    const fs::path p = Lexical(relative);
    if (!p.has_filename() || p.filename() == ".") {
        throw ApiError(400, "the path names no file: " + relative);
    }
    std::error_code ec;
    const fs::path folder = fs::canonical(p.parent_path(), ec);
    if (ec || !fs::is_directory(folder, ec)) {
        throw ApiError(409, "there is no folder for " + relative);
    }
    if (folder != real_ && !Under(real_, folder)) {
        throw ApiError(400, relative + " leads out of the editor's folder (a link)");
    }
    fs::path target = folder / p.filename();
    const fs::file_status own = fs::symlink_status(target, ec);
    if (!fs::exists(own)) return target;
    if (fs::is_symlink(own)) {
        const fs::path linked = Resolved(target, ec);
        if (ec || !Under(real_, linked)) {
            throw ApiError(400, relative + " leads out of the editor's folder (a link)");
        }
        target = linked;
    }
    const fs::file_status st = fs::status(target, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        throw ApiError(400, relative + (fs::is_directory(st) ? " is a folder, not a file"
                                                             : " is not a regular file"));
    }
    return target;
}

bool RootFolder::IsSceneFile(const fs::path& real) {
    const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    char head[sizeof kSceneFileMagic] = {};
    const bool scene = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                       ::read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head) &&
                       std::memcmp(head, kSceneFileMagic, sizeof head) == 0;
    ::close(fd);
    return scene;
}

RootFolder::Target RootFolder::SaveTarget(const fs::path& real) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(real, ec))) return Target::kNew;
    return IsSceneFile(real) ? Target::kScene : Target::kOther;
}

void RootFolder::CheckSceneImages(const SceneHolder& scene, const fs::path& sceneFile) const {
    const fs::path base = sceneFile.parent_path();
    for (int i = 0; i < scene.Count(); ++i) {
        CheckImages(dynamic_cast<Texmap*>(scene.Object(i)), *this, base, 0);
    }
}

}  // namespace loom::web

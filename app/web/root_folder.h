#pragma once
/// The folder the editor's page names files relative to. Every path is resolved to its real
/// path (symbolic links followed) and must stay under the folder's own real path, so that a
/// link inside the folder cannot lead the editor out of it; only regular files are read or
/// replaced. Refusals throw ApiError with the path and the reason.

#include <filesystem>
#include <string>

namespace loom {
class SceneHolder;
}

namespace loom::web {

class RootFolder {
  public:
    /// `root` must be an existing folder (std::runtime_error otherwise).
    explicit RootFolder(const std::filesystem::path& root);
    /// The folder's real path.
    const std::filesystem::path& Real() const { return real_; }

    /// True when `path` (absolute, or relative to the working folder) resolves to a place
    /// under the folder.
    bool Holds(const std::filesystem::path& path) const;

    /// An existing regular file to read, named relative to the folder: its real path.
    /// ApiError 400 for paths that leave the folder or are no regular file, 404 when missing.
    std::filesystem::path FileToRead(const std::string& relative) const;
    /// A file to write, named relative to the folder: its folder must exist under the root;
    /// an existing target must be a regular file under the root (a link is resolved to the
    /// file it names). Answers the real path to write.
    std::filesystem::path FileToWrite(const std::string& relative) const;

    /// What a save to `real` (a FileToWrite answer) would replace.
    enum class Target { kNew, kScene, kOther };
    static Target SaveTarget(const std::filesystem::path& real);
    /// True when the regular file at `real` starts as a scene file does.
    static bool IsSceneFile(const std::filesystem::path& real);

    /// Every image a loaded scene names (relative ones taken from the folder of the scene
    /// file at `sceneFile`) must lie under the folder: ApiError 400 naming the first that
    /// does not.
    void CheckSceneImages(const SceneHolder& scene, const std::filesystem::path& sceneFile) const;

  private:
    std::filesystem::path Lexical(const std::string& relative) const;
    std::filesystem::path real_;
};

}  // namespace loom::web

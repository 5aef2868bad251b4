#pragma once
/// What the web editor works on: one scene in a root folder, its material editor
/// (MaterialSession) and its video post (VideoPostSession), and what the two share: the
/// windows the page draws and acts on, the pictures they show, undo and redo, Auto Key.
/// Window-thread only; every operation reports a person's mistake by throwing ApiError.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "app/web/api_error.h"
#include "app/web/material_session.h"
#include "app/web/root_folder.h"
#include "app/web/video_post_session.h"
#include "foundation/host/sdk/scene_io.h"

namespace loom::web {

/// A window the page draws and may act on.
struct EditorWindow {
    HWND hwnd;
    std::string title;  ///< UTF-8
    bool rollup;        ///< a page of the material editor; otherwise a dialog
};

class EditorSession {
  public:
    /// `root`: the folder scene and image paths are taken relative to.
    EditorSession(PluginLoader& loader, std::filesystem::path root);
    ~EditorSession();
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    MaterialSession& Materials() { return *materials_; }
    const MaterialSession& Materials() const { return *materials_; }
    VideoPostSession& VideoPost() { return *videoPost_; }
    const VideoPostSession& VideoPost() const { return *videoPost_; }

    /// Shorthands for the material editor's most used operations.
    Texmap* Current() const { return materials_->Current(); }
    MaterialEditor& Editor() { return materials_->Editor(); }
    void OpenClass(const std::string& name) { materials_->OpenClass(name); }
    /// See VideoPostSession::SetDeferrer.
    void SetDeferrer(VideoPostSession::Deferrer deferrer) {
        videoPost_->SetDeferrer(std::move(deferrer));
    }

    /// Files the page may name, relative to the root folder: the folder and its subfolders
    /// two levels down, hidden ones left out, sorted, at most kMaxListedFiles of each kind.
    struct RootFiles {
        std::vector<std::string> images;  ///< what the map browser's image slot can read
        std::vector<std::string> scenes;  ///< *.loom
    };
    static constexpr size_t kMaxListedFiles = 500;
    RootFiles Files() const;

    /// The root folder every path the page names is resolved in.
    const RootFolder& Folder() const { return folder_; }

    /// Scene files, relative to the root folder (see RootFolder). A loaded scene whose
    /// images lie outside the root folder is refused, and so is loading while a filter
    /// dialog is open. Loading opens the new scene's first texture.
    void SaveScene(const std::string& path);
    /// Answers what the user must be told (older data converted, missing image maps),
    /// one line each; empty when the scene loaded as saved.
    std::vector<std::string> LoadScene(const std::string& path);
    SceneHolder& Scene() { return *scene_; }

    /// The rollup pages, then the dialogs that are open.
    std::vector<EditorWindow> Windows() const;
    /// One of Windows(), or ApiError 404.
    HWND FindWindow(std::uint64_t handle) const;

    void SetAutoKey(bool on);
    bool AutoKey() const;
    /// Undo and redo redraw the sample and the viewport (a change notification reaches
    /// them as it reaches any other change).
    void Undo();
    void Redo();

    /// Types `text` into edit field `id` of `dlg`. When the field belongs to a spinner the
    /// text must be a number within the spinner's limits: ApiError 409 otherwise, naming
    /// the allowed range, and the field keeps its value.
    void TypeValue(HWND dlg, int id, const std::string& text);

    /// Any picture a window of Windows() shows: bitmaps of statics and buttons, images of
    /// custom buttons. ApiError 404 for any other handle.
    std::vector<std::uint8_t> BitmapImage(std::uint64_t handle) const;
    std::vector<std::uint8_t> ImageListImage(std::uint64_t handle, int index) const;

  private:
    std::filesystem::path root_;
    RootFolder folder_;
    std::unique_ptr<SceneHolder> scene_;
    std::unique_ptr<MaterialSession> materials_;
    std::unique_ptr<VideoPostSession> videoPost_;
};

}  // namespace loom::web

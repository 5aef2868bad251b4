#pragma once
/// What the web editor works on: one scene, the material editor showing one of its
/// textures, the sample and viewport images, the editor's time and Auto Key, undo and
/// redo, the map browser's open question, and the video post's stereo filter with its two
/// modal dialogs. Window-thread only; every operation reports a person's mistake by
/// throwing ApiError.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/loader/plugin_loader.h"
#include "app/web/root_folder.h"
#include "foundation/host/bitmap.h"
#include "foundation/host/filters.h"
#include "foundation/host/mtl_editor.h"
#include "foundation/host/scene_io.h"

namespace loom::web {

/// A request the editor refuses: the HTTP status and one line saying why.
class ApiError : public std::runtime_error {
  public:
    ApiError(int status, const std::string& what) : std::runtime_error(what), status_(status) {}
    int Status() const { return status_; }

  private:
    int status_;
};

struct TextureClass {
    std::string name;   ///< what OpenClass and the map browser take ("nimbra")
    std::string label;  ///< the class's own name, UTF-8
};

/// A window the page draws and may act on.
struct EditorWindow {
    HWND hwnd;
    std::string title;  ///< UTF-8
    bool rollup;        ///< a page of the material editor; otherwise a dialog
};

/// One step down from a scene entry's texture to the sub-map whose panel is open.
struct MapStep {
    int slot;
    std::string slotName;  ///< the slot's name in its owner, UTF-8
    std::string mapName;   ///< the sub-map's full name, UTF-8
};

/// The map browser's open question: which map goes into `slot` of `owner`.
struct MapQuestion {
    Texmap* owner;
    int slot;
    std::string slotName;
};

class EditorSession {
  public:
    /// Frames of the time slider: 0..kLastFrame, 30 per second.
    static constexpr int kLastFrame = 100;

    /// `root`: the folder scene and image paths are taken relative to.
    EditorSession(PluginLoader& loader, std::filesystem::path root);
    ~EditorSession();
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    const std::vector<TextureClass>& TextureClasses() const { return classes_; }
    /// A new texture of the class, added to the scene and opened.
    void OpenClass(const std::string& name);
    /// Opens the scene's texture entry `name`.
    void OpenEntry(const std::string& name);
    std::vector<std::string> Entries() const;
    const std::string& CurrentEntry() const { return entry_; }
    /// The texture whose panel is open: the entry's texture or one of its sub-maps.
    Texmap* Current() const { return editor_->Current(); }

    /// Opens the panel of the sub-map in `slot` of the open texture. ApiError 409 when the
    /// slot is empty or its map has no panel (the open panel then stays). A click on the
    /// map button of an assigned slot does the same.
    void OpenSubMap(int slot);
    /// Goes back up to the map `depth` steps below the entry's texture (0: the texture
    /// itself); ApiError 400 unless depth is above the open map's.
    void OpenParent(size_t depth);
    /// The steps from the entry's texture down to the open map (empty at the texture).
    std::vector<MapStep> MapPath() const;
    /// Goes up to the open sub-map's owner and asks the map browser for that slot, so
    /// that an assigned map can be replaced or cleared. ApiError 409 at the entry's texture.
    void AskReplaceMap();
    MaterialEditor& Editor() { return *editor_; }

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
    /// images lie outside the root folder is refused.
    void SaveScene(const std::string& path);
    /// Answers what the user must be told (older data converted, missing image maps),
    /// one line each; empty when the scene loaded as saved.
    std::vector<std::string> LoadScene(const std::string& path);
    SceneHolder& Scene() { return *scene_; }

    /// The rollup pages, then the dialogs that are open.
    std::vector<EditorWindow> Windows() const;
    /// One of Windows(), or ApiError 404.
    HWND FindWindow(std::uint64_t handle) const;

    void SetFrame(double frame);
    double Frame() const;
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

    const std::optional<MapQuestion>& MapBrowser() const { return question_; }
    /// Answers the map browser: kind "class" (value a class name), "image" (a path
    /// relative to the root) or "none".
    void ChooseMap(const std::string& kind, const std::string& value);
    void CancelMap();

    /// The sample (sphere or plane) and the viewport bitmap as BMP files, rendered when
    /// something changed since the last time they were asked for.
    const std::vector<std::uint8_t>& SampleImage();
    const std::vector<std::uint8_t>& ViewportImage();
    void SetSampleSphere(bool sphere);
    bool SampleSphere() const { return sphere_; }
    /// Grows whenever the sample or viewport picture may have changed: after every change
    /// the open texture notifies (a panel's sliders included), undo, redo, time.
    std::uint64_t SampleVersion() const { return sampleVersion_; }
    int RenderCount() const { return renders_; }

    /// The video post's stereo filter (null when its plug-in is not loaded).
    ImageFilter* Filter() const { return filter_.get(); }
    std::string FilterSettings() const;
    /// Opens the filter's setup or about dialog from the message loop, after the current
    /// request is answered: both are modal and run until the page closes them.
    void ShowSetupLater();
    void ShowAboutLater();
    /// How dialogs are opened later: the server's window thread runs them from its loop.
    /// Without one they are posted to the session's own window.
    using Deferrer = std::function<void(std::function<void()>)>;
    void SetDeferrer(Deferrer deferrer) { deferrer_ = std::move(deferrer); }
    /// A filter dialog is open (or about to open).
    bool FilterDialogOpen() const { return dialogBusy_; }
    /// How the last setup dialog ended: 1 accepted, 0 cancelled, -1 none yet.
    int LastSetupResult() const { return lastSetup_; }

    /// Any picture a window of Windows() shows: bitmaps of statics and buttons, images of
    /// custom buttons. ApiError 404 for any other handle.
    std::vector<std::uint8_t> BitmapImage(std::uint64_t handle) const;
    std::vector<std::uint8_t> ImageListImage(std::uint64_t handle, int index) const;

  private:
    /// A dependent of the open texture: each change it notifies makes the previews stale,
    /// also changes made without a redraw request (sliders, undo).
    class PreviewWatcher final : public ReferenceMaker {
      public:
        explicit PreviewWatcher(EditorSession& session) : session_(session) {}
        int NumRefs() override { return 1; }
        RefTargetHandle GetReference(int) override { return target_; }
        void SetReference(int, RefTargetHandle t) override { target_ = t; }
        SClass_ID SuperClassID() override { return 0; }
        RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage msg) override;

      private:
        EditorSession& session_;
        RefTargetHandle target_ = nullptr;
    };

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Open(Texmap* tex, const std::string& entry);
    /// Opens the panel of `tex` and watches `tex` for changes; false, with no panel open,
    /// when it has none.
    bool OpenPanel(Texmap* tex);
    Texmap* EntryTexture() const;
    /// The map at `depth` steps of the path (0: the entry's texture); null when the path
    /// no longer leads anywhere.
    Texmap* MapAt(size_t depth) const;
    /// Follows a click on the map button of an assigned slot.
    void OnSubMapButton(Texmap* owner, int slot);
    void SampleChanged();
    void RunSetup();
    void RunAbout();
    void ApplyFilterEntry();

    PluginLoader& loader_;
    std::filesystem::path root_;
    RootFolder folder_;
    std::vector<TextureClass> classes_;
    std::unique_ptr<SceneHolder> scene_;
    std::unique_ptr<MaterialEditor> editor_;
    std::string entry_;
    std::vector<int> mapPath_;  ///< slots from the entry's texture down to the open map
    HWND hwnd_ = nullptr;
    PreviewWatcher watcher_{*this};

    std::optional<MapQuestion> question_;

    bool sphere_ = true;
    bool sampleDirty_ = true;
    std::uint64_t sampleVersion_ = 1;
    int renders_ = 0;
    std::vector<std::uint8_t> sample_;
    std::vector<std::uint8_t> viewport_;
    ViewportHandleMaker viewportMaker_{64};

    std::unique_ptr<ImageFilter> filter_;
    ClassDesc* filterClass_ = nullptr;
    Deferrer deferrer_;
    bool dialogBusy_ = false;
    int lastSetup_ = -1;
};

}  // namespace loom::web

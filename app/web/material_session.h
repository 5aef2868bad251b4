#pragma once
/// The material editor's half of the web editor: the texture classes the plug-ins offer,
/// the panel of one scene entry's texture or of one of its sub-maps, the map browser's
/// open question, the editor's time, and the sample and viewport previews of the open
/// texture. Window-thread only; a person's mistake is reported by throwing ApiError.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "app/web/api_error.h"
#include "app/web/preview_renderer.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/mtl_editor.h"

namespace loom::web {

class RootFolder;

struct TextureClass {
    std::string name;   ///< what OpenClass and the map browser take ("nimbra")
    std::string label;  ///< the class's own name, UTF-8
    Class_ID id;        ///< tells an open texture's class
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

class MaterialSession {
  public:
    /// Frames of the time slider: 0..kLastFrame, 30 per second.
    static constexpr int kLastFrame = 100;

    /// Works on `scene` (see UseScene); image maps are read from `folder`. Both, and
    /// `loader`, must outlive the session.
    MaterialSession(PluginLoader& loader, const RootFolder& folder, SceneHolder& scene);
    ~MaterialSession();
    MaterialSession(const MaterialSession&) = delete;
    MaterialSession& operator=(const MaterialSession&) = delete;

    /// Closes the panel and forgets the open entry, its map path and the map browser's
    /// question: before the scene is replaced (let the closing finish first).
    void Close();
    /// Works on `scene` from now on; it must outlive that use.
    void UseScene(SceneHolder& scene);
    /// Opens the scene's first texture entry, or shows an empty sample when it has none.
    void OpenFirstEntry();

    const std::vector<TextureClass>& TextureClasses() const { return classes_; }
    /// The name (as OpenClass takes it) of the open texture's class; empty with none open
    /// or when no loaded class made it.
    std::string OpenClassName() const;
    /// A new texture of the class, added to the scene and opened.
    void OpenClass(const std::string& name);
    /// Opens the scene's texture entry `name`.
    void OpenEntry(const std::string& name);
    std::vector<std::string> Entries() const;
    const std::string& CurrentEntry() const { return entry_; }
    /// The texture whose panel is open: the entry's texture or one of its sub-maps.
    Texmap* Current() const { return editor_->Current(); }
    MaterialEditor& Editor() { return *editor_; }
    const MaterialEditor& Editor() const { return *editor_; }

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

    const std::optional<MapQuestion>& MapBrowser() const { return question_; }
    /// Answers the map browser: kind "class" (value a class name), "image" (a path
    /// relative to the root folder) or "none".
    void ChooseMap(const std::string& kind, const std::string& value);
    void CancelMap();

    /// ApiError 400 outside 0..kLastFrame.
    void SetFrame(double frame);
    double Frame() const;

    /// The sample (sphere or plane) and the viewport bitmap are drawn on a thread of their
    /// own (PreviewRenderer) from a copy of the open texture's tree: SubmitPreview hands
    /// the latest change over, and the pictures come from Previews().
    PreviewRenderer& Previews() { return previews_; }
    /// Hands the open texture's state to the preview renderer when something changed
    /// since the last time; call once a request has been handled. A tree that cannot be
    /// copied is drawn here and now, on the window thread.
    void SubmitPreview();
    void SetSampleSphere(bool sphere);
    bool SampleSphere() const { return sphere_; }
    /// Shows the plane sample as a seamless tile (two by two).
    void SetSampleTile(bool tile);
    bool SampleTile() const { return tile_; }
    /// Sets the seed of the open texture and its sub-maps (saved with the scene); throws
    /// ApiError for a seed out of range or with no texture open.
    void SetSeed(double seed);
    /// The open texture's seed (0 with none open) and whether a seed changes anything in
    /// its tree.
    std::uint32_t Seed() const;
    bool SeedMatters() const;
    /// Pixels per unit of the page's layout (1, or 2 on a high-density screen): the sample
    /// is kSampleSide times that wide. ApiError 400 outside 0.5..8.
    void SetPixelDensity(double density);
    int SampleSize() const { return sampleSize_; }
    /// Grows whenever the sample or viewport picture may have changed: after every change
    /// the open texture notifies (a panel's sliders included), undo, redo, time.
    std::uint64_t SampleVersion() const { return sampleVersion_; }
    /// Marks the previews stale: for changes the open texture does not notify itself.
    void SampleChanged();

    /// Side of the sample in the page's layout units: small enough to redraw after every
    /// change.
    static constexpr int kSampleSide = 128;
    /// Side of the viewport bitmap in pixels.
    static constexpr int kViewportSide = 64;

  private:
    /// A dependent of the open texture: each change it notifies makes the previews stale,
    /// also changes made without a redraw request (sliders, undo).
    class PreviewWatcher final : public ReferenceMaker {
      public:
        explicit PreviewWatcher(MaterialSession& session) : session_(session) {}
        int NumRefs() override { return 1; }
        RefTargetHandle GetReference(int) override { return target_; }
        void SetReference(int, RefTargetHandle t) override { target_ = t; }
        SClass_ID SuperClassID() override { return 0; }
        RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage msg) override;

      private:
        MaterialSession& session_;
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

    PluginLoader& loader_;
    const RootFolder& folder_;
    SceneHolder* scene_;
    std::vector<TextureClass> classes_;
    std::unique_ptr<MaterialEditor> editor_;
    std::string entry_;
    std::vector<int> mapPath_;  ///< slots from the entry's texture down to the open map
    HWND hwnd_ = nullptr;
    PreviewWatcher watcher_{*this};

    std::optional<MapQuestion> question_;

    bool sphere_ = true;
    bool tile_ = false;
    int sampleSize_ = kSampleSide;
    bool sampleDirty_ = true;
    std::uint64_t sampleVersion_ = 1;
    /// Last: its worker stops before anything it could read goes.
    PreviewRenderer previews_;
};

}  // namespace loom::web

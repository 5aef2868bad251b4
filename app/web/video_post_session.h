#pragma once
/// The video post's half of the web editor: the stereo image filter, its settings as the
/// page shows them, and its two modal dialogs, opened after the request that asks for
/// them is answered. An accepted setup is kept in the scene's filter entry. Window-thread
/// only; a person's mistake is reported by throwing ApiError.

#include <functional>
#include <memory>
#include <string>

#include "app/core/loader/plugin_loader.h"
#include "app/web/api_error.h"
#include "foundation/host/sdk/filters.h"
#include "foundation/host/sdk/scene_io.h"

namespace loom::web {

class VideoPostSession {
  public:
    /// Takes the first image filter `loader` offers; keeps its choices in `scene` (see
    /// UseScene), which must outlive the session.
    VideoPostSession(PluginLoader& loader, SceneHolder& scene);
    ~VideoPostSession();
    VideoPostSession(const VideoPostSession&) = delete;
    VideoPostSession& operator=(const VideoPostSession&) = delete;

    /// Works on `scene` from now on and takes up the settings its filter entry holds.
    /// Only while no dialog is open (DialogOpen): a setup dialog writes to the scene.
    void UseScene(SceneHolder& scene);

    /// The stereo filter (null when its plug-in is not loaded).
    ImageFilter* Filter() const { return filter_.get(); }
    /// "left red 0.5, right blue 0.5"; empty without a filter.
    std::string Settings() const;
    /// Opens the filter's setup or about dialog from the message loop, after the current
    /// request is answered: both are modal and run until the page closes them.
    void ShowSetupLater();
    void ShowAboutLater();
    /// How dialogs are opened later: the server's window thread runs them from its loop.
    /// Without one they are posted to the session's own window.
    using Deferrer = std::function<void(std::function<void()>)>;
    void SetDeferrer(Deferrer deferrer) { deferrer_ = std::move(deferrer); }
    /// A filter dialog is open (or about to open).
    bool DialogOpen() const { return dialogBusy_; }
    /// How the last setup dialog ended: 1 accepted, 0 cancelled, -1 none yet.
    int LastSetupResult() const { return lastSetup_; }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void RunSetup();
    void RunAbout();

    SceneHolder* scene_;
    HWND hwnd_ = nullptr;
    std::unique_ptr<ImageFilter> filter_;
    ClassDesc* filterClass_ = nullptr;
    Deferrer deferrer_;
    bool dialogBusy_ = false;
    int lastSetup_ = -1;
};

}  // namespace loom::web

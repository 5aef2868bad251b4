#pragma once
/// The material editor: shows one texture's panel as rollup pages, keeps the editor's
/// time, answers the map-button message through a map browser, and schedules the sample
/// redraw when the material changes. Window-thread only.

#include <functional>
#include <string>
#include <vector>

#include "foundation/host/sdk/mtl.h"
#include "foundation/host/ui/imtl.h"

namespace loom {

class MaterialEditor final : public IMtlParams {
  public:
    /// Chooses the map for slot `slot` of `owner` (null to leave the slot as it is).
    using MapBrowser = std::function<Texmap*(Texmap* owner, int slot)>;
    /// Called from the pump once after one or more MtlChanged calls.
    using SampleRedraw = std::function<void()>;

    MaterialEditor();
    ~MaterialEditor() override;
    MaterialEditor(const MaterialEditor&) = delete;
    MaterialEditor& operator=(const MaterialEditor&) = delete;

    /// Opens the panel of `tex` (closing the one open before); false when the texture
    /// makes no panel.
    bool Open(Texmap* tex);
    /// Deletes the open panel and its rollup pages.
    void Close();
    Texmap* Current() const { return current_; }
    ParamDlg* Panel() const { return panel_; }
    HWND Window() const { return hwnd_; }

    struct Page {
        HWND hwnd;
        std::string title;
    };
    const std::vector<Page>& Pages() const { return pages_; }

    /// Moves the editor to time t and tells the open panel.
    void SetTime(TimeValue t);
    void SetMapBrowser(MapBrowser browser) { browser_ = std::move(browser); }
    void SetSampleRedraw(SampleRedraw redraw) { redraw_ = std::move(redraw); }
    /// How many times the material was reported changed, and redrawn.
    int ChangeCount() const { return changes_; }
    int RedrawCount() const { return redraws_; }
    int MouseMessages() const { return mouse_; }

    // IMtlParams
    void MtlChanged() override;
    HWND AddRollupPage(HINSTANCE hInst, const char* dlgTemplate, DLGPROC dlgProc, const char* title,
                       LPARAM param = 0, DWORD flags = 0, int category = -1) override;
    void DeleteRollupPage(HWND hRollup) override;
    void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) override;
    TimeValue GetTime() override { return time_; }

  private:
    static LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void OnMapButton(WPARAM slot, LPARAM texture);
    bool IsEditedMap(Texmap* tex) const;

    HWND hwnd_ = nullptr;
    Texmap* current_ = nullptr;
    ParamDlg* panel_ = nullptr;
    std::vector<Page> pages_;
    TimeValue time_ = 0;
    MapBrowser browser_;
    SampleRedraw redraw_;
    bool redrawPosted_ = false;
    int changes_ = 0;
    int redraws_ = 0;
    int mouse_ = 0;
};

}  // namespace loom

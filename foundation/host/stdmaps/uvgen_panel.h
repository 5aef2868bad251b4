#pragma once
/// The standard UV generator's panel: the "Coordinates" rollup a texture's panel opens
/// above its own. Spinner edits are undoable ("Parameter Change"), the wrap and mirror
/// boxes set the symmetry flags, and every change redraws the editor's sample. Like the
/// texture panels it reloads at its next paint when its block changes from outside.
/// Window-thread only.

#include <array>

#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/std_uvgen.h"
#include "foundation/host/ui/controls.h"
#include "foundation/host/ui/imtl.h"
#include "foundation/host/ui/panel_dialog.h"

namespace loom {

class StdUVGenPanel final : public ParamDlg, public StdUVGenView {
  public:
    StdUVGenPanel(StdUVGen* gen, IMtlParams* imp);

    Class_ID ClassID() override;
    void SetThing(ReferenceTarget* m) override;
    ReferenceTarget* GetThing() override;
    void SetTime(TimeValue t) override;
    void ReloadDialog() override;
    void DeleteThis() override;
    void ActivateDlg(BOOL) override {}

    /// The generator's block changed: unless the change comes from this panel's own
    /// handling, reload at the next paint.
    void OutsideChange() override;
    /// The generator is being destroyed while the panel is open.
    void GeneratorGone(StdUVGen* gen) override;
    HWND Window() const { return hPanel_; }

  private:
    ~StdUVGenPanel() override = default;
    template <class P>
    friend INT_PTR CALLBACK PanelDialogProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    INT_PTR PanelProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void InitControls(HWND hWnd);
    void LoadDialog();
    void Changed();

    StdUVGen* gen_;
    IMtlParams* imp_;
    HWND hPanel_ = nullptr;
    TimeValue curTime_ = 0;
    std::array<ISpinnerControl*, 5> spinners_{};
    bool active_ = false;
    bool valid_ = false;
};

}  // namespace loom

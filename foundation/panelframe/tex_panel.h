#pragma once
/// The parameter panel every texture shows in the material editor: a rollup page built
/// from the texture's dialog template and bound to the texture's parameters through the
/// host's custom controls. What a panel holds (spinners, swatches, map buttons, button
/// groups, presets, mutations) is data in a PanelInfo; a texture's panel class adds only
/// what is its own (sliders, image buttons) through the hooks.
///
/// All panel code runs on the window thread.

#include <span>
#include <vector>

#include "foundation/host/ui/controls.h"
#include "foundation/host/ui/imtl.h"
#include "foundation/host/ui/panel_dialog.h"
#include "foundation/texframe/tex_frame.h"

namespace loom {

/// A spinner and its edit field bound to a float (or int) parameter row.
struct SpinnerBinding {
    int spinId;
    int editId;
    int row;
    float min;
    float max;
    float start;      ///< value at creation; LoadDialog replaces it at once
    float scale;      ///< step given at creation
    float fineScale;  ///< step set right after creation, or 0 for none
    bool isInt;       ///< made with SetupIntSpinner
};

/// A colour swatch showing colour `colorIndex`; its picker title is that slot's name.
struct SwatchBinding {
    int ctrlId;
    int colorIndex;
};

struct MapButtonBinding {
    int ctrlId;
    int slot;
};

/// Buttons read together: a click on any of them reads every one with GetCheckBox and
/// sets each one's int row (radio pairs, on/off check buttons).
struct ButtonGroup {
    std::span<const int> ids;
    std::span<const int> rows;
};

struct PresetValue {
    int row;
    ParamValue value;
};

/// A button that sets fixed values, in order.
struct Preset {
    int buttonId;
    std::span<const PresetValue> values;
};

/// One draw of a mutation: rand() * 3.0518509e-05 * factor into `row` (a colour row's
/// channel 0, 1 or 2).
struct MutationDraw {
    int row;
    int channel;
    float factor;
};

/// A button that seeds the generator with the calendar time and draws values in order.
struct Mutation {
    int buttonId;
    std::span<const MutationDraw> draws;
};

struct PanelInfo {
    int templateId;
    const char* title;
    std::span<const SpinnerBinding> spinners;
    std::span<const SwatchBinding> swatches;
    std::span<const MapButtonBinding> mapButtons;
    int swapId;  ///< 0 when the panel has no "Swap" button
    std::span<const ButtonGroup> groups;
    std::span<const Preset> presets;
    std::span<const Mutation> mutations;
};

/// Win32 colour of a cached colour: each channel c * 255 + 0.5 truncated, kept to 0..255.
COLORREF PackColor(const Color& c);
/// Parts of the texture named in the change notification a panel edit sends.
inline constexpr PartID kPanelChangeParts = 0x9FF;
/// A swatch colour back as a Color (channel / 255).
Color UnpackColor(COLORREF c);

class TexPanelBase : public TexPanel {
  public:
    // ParamDlg
    Class_ID ClassID() override;
    void SetThing(ReferenceTarget* m) override;
    ReferenceTarget* GetThing() override { return tex_; }
    void SetTime(TimeValue t) override;
    void ReloadDialog() override;
    void DeleteThis() override;
    void ActivateDlg(BOOL onOff) override;

    // TexPanel
    bool IsActive() const override { return active_ != 0; }
    void Invalidate() override;
    void UpdateSubTexNames() override;
    void ForgetTexture() override { tex_ = nullptr; }

    /// Puts the texture's cached values into every control (no notifications).
    void LoadDialog(BOOL draw);
    HWND Window() const { return hPanel_; }
    TimeValue CurrentTime() const { return curTime_; }
    bool Valid() const { return valid_ != 0; }

    /// Creates the panel for `tex`, attaches it and loads it; what CreateParamDlg answers.
    template <class Panel>
    static ParamDlg* Open(TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp) {
        auto* panel = new Panel(tex, hwMtlEdit, imp);
        panel->Attach();
        return panel;
    }

  protected:
    TexPanelBase(TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp, const PanelInfo& info,
                 HINSTANCE hInst);
    ~TexPanelBase() override;

    /// Handles what the data does not cover; answers TRUE when it took the message.
    virtual BOOL HandleExtra(HWND, UINT, WPARAM, LPARAM, INT_PTR& result) {
        (void)result;
        return FALSE;
    }
    /// Sets up controls of the panel's own on WM_INITDIALOG.
    virtual void InitExtra(HWND) {}
    /// Loads controls of the panel's own (after the frame's controls).
    virtual void LoadExtra() {}
    /// Releases what InitExtra made.
    virtual void ReleaseExtra() {}

    /// The texture notifies its dependents of a change over all time, parts
    /// kPanelChangeParts.
    void NotifyChanged();
    /// Drops the viewport handle and tells the editor the material changed.
    void UpdateMtlDisplay();

    TexFrame* Texture() const { return tex_; }
    IMtlParams* MtlParams() const { return imp_; }
    HWND EditorWindow() const { return hwMtlEdit_; }

  private:
    template <class P>
    friend INT_PTR CALLBACK PanelDialogProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    INT_PTR PanelProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Attach();
    void InitControls(HWND hWnd);
    void OnCommand(int id);
    void SetFromSpinner(const SpinnerBinding& b, ISpinnerControl* spin);
    int SwatchIndexOf(int ctrlId) const;

    HWND hwMtlEdit_;
    IMtlParams* imp_;
    TexFrame* tex_;
    HWND hPanel_ = nullptr;
    const PanelInfo& info_;
    HINSTANCE hInst_;
    std::vector<ISpinnerControl*> spinners_;
    std::vector<IColorSwatch*> swatches_;
    TimeValue curTime_ = 0;
    ParamDlg* uvPanel_ = nullptr;
    int active_ = 0;
    int valid_ = 0;
};

}  // namespace loom

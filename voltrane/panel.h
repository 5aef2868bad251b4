#pragma once
/// The Voltrane panel: the frame's spinners (one of them an integer spinner), three
/// swatches, three map buttons and the shape and wave-option buttons as data, plus what is
/// its own: the image button "Apply WaveForms..." (a check button that reports its toggle
/// with message 0x11F), the two Sine/Cosine button pairs that flip a wave between its two
/// forms, the Additive/Algorithmic pair and the colour edits recorded as "Color Change".

#include "foundation/panelframe/tex_panel.h"

class VoltraneDlg final : public loom::TexPanelBase {
  public:
    VoltraneDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp);

    /// The message the apply button sends instead of WM_COMMAND.
    static constexpr UINT kApplyToggled = 0x11F;

  protected:
    BOOL HandleExtra(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void InitExtra(HWND hWnd) override;
    void LoadExtra() override;
    void ReleaseExtra() override;

  private:
    /// Sets one wave's sine and cosine rows after a click on either of its buttons and
    /// shows the new pair.
    void FlipWave(int clicked, int sinId, int cosId, int sinRow, int cosRow);
    void SetAddSub(int clicked);
    void OnColorChange(WPARAM wParam, LPARAM lParam);
    ICustButton* Button(int id) const;

    HIMAGELIST images_ = nullptr;
    /// Apply, wave 1 sine, wave 1 cosine, wave 2 sine, wave 2 cosine.
    ICustButton* buttons_[5] = {};
};

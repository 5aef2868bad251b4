#pragma once
/// The Nimbra panel: the frame's spinners, swatches, map buttons, blend buttons, presets,
/// palettes and mutations as data, plus the six sliders with their readouts.

#include "foundation/panelframe/tex_panel.h"

class NimbraDlg final : public loom::TexPanelBase {
  public:
    NimbraDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp);

  protected:
    BOOL HandleExtra(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void InitExtra(HWND hWnd) override;
    void LoadExtra() override;

  private:
    void ShowReadout(size_t slider);
};

/// The panel's slider readout text: the slider value times its unit, "%.1f".
std::string NimbraReadout(float sliderValue, float unit);

#pragma once
/// The Lumidot panel: eight spinners, the High and Low swatches and map buttons, "Swap",
/// the wave-shape, pinch, band and blend buttons, three presets and two mutation buttons,
/// all as data for the panel frame.

#include "foundation/panelframe/tex_panel.h"

class LumidotDlg final : public loom::TexPanelBase {
  public:
    LumidotDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp);
};

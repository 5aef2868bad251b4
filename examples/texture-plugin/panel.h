#pragma once
/// The Weft panel: spinners, swatches, map buttons, the swap button and presets, all as
/// data for the panel frame; nothing of its own.

#include "foundation/panelframe/tex_panel.h"

class WeftDlg final : public loom::TexPanelBase {
  public:
    WeftDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp);
};

#pragma once
/// The Fervix panel: eleven spinners, the Prime and Back swatches and map buttons, "Swap",
/// the overlay switches and radio pairs, six presets and two mutation buttons, all as data
/// for the panel frame.

#include "foundation/panelframe/tex_panel.h"

class FervixDlg final : public loom::TexPanelBase {
  public:
    FervixDlg(loom::TexFrame* tex, HWND hwMtlEdit, IMtlParams* imp);
};

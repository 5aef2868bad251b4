#pragma once
/// A texture's panel opened in a material editor, for the command line: clicking buttons
/// by text or ID, spinning spinners, moving sliders, picking colours, and listing the
/// controls with their states. Every action goes through `interact`, as a person's would.

#include <memory>
#include <string>
#include <vector>

#include "foundation/host/ui/mtl_editor.h"

namespace loom {

class PanelSession {
  public:
    /// Opens the panel of `tex`; throws std::runtime_error when it has none.
    explicit PanelSession(Texmap* tex);
    ~PanelSession();
    /// Clicks the control whose text (or numeric ID) is `what`; throws when there is none
    /// a person could click, and when several reachable controls have that text (the
    /// message lists their IDs).
    void Click(const std::string& what);
    /// Types VALUE into spinner ID's edit field: "ID=VALUE".
    void Spin(const std::string& assignment);
    /// Drags slider (trackbar) ID to POSITION: "ID=POSITION", a whole number within the
    /// slider's range (throws otherwise, giving the range).
    void Slide(const std::string& assignment);
    /// Picks the colour R,G,B (whole numbers 0..255) in colour swatch ID's picker and
    /// accepts it: "ID=R,G,B".
    void Color(const std::string& assignment);
    /// The texture's presets: the push buttons inside a group box whose caption names
    /// presets ("Fervix Presets", "Preset Lumidots"), but the mutation buttons, which draw
    /// random values. In the panel's order (top to bottom, left to right); UTF-8.
    std::vector<std::string> PresetNames() const;
    /// One line per control: ID, class, text and state.
    std::string Describe() const;
    /// The texture's own rollup page.
    HWND Page() const;

  private:
    /// Every rollup page, the texture's own first.
    std::vector<HWND> PagesTextureFirst() const;

    std::unique_ptr<MaterialEditor> editor_;
};

}  // namespace loom

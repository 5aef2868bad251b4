#pragma once
/// A texture's panel opened in a material editor, for the command line: clicking buttons
/// by text or ID, spinning spinners, and listing the controls with their states.

#include <memory>
#include <string>
#include <vector>

#include "foundation/host/mtl_editor.h"

namespace loom {

class PanelSession {
  public:
    /// Opens the panel of `tex`; throws std::runtime_error when it has none.
    explicit PanelSession(Texmap* tex);
    ~PanelSession();
    /// Clicks the control whose text (or numeric ID) is `what`; throws when there is none
    /// a person could click.
    void Click(const std::string& what);
    /// Types VALUE into spinner ID's edit field: "ID=VALUE".
    void Spin(const std::string& assignment);
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

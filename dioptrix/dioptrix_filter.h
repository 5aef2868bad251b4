#pragma once
/// The Dioptrix stereo filter: from a left-eye view (the source) and a right-eye view
/// (the foreground) it composes one anaglyph picture into the source, the left view's
/// brightness in the left eye's channel and the right view's in the right eye's, corrected
/// for the leakage of the glasses' colour filters.

#include "dioptrix/config.h"
#include "foundation/host/sdk/filters.h"

class ISpinnerControl;

/// Class identity of the filter.
inline constexpr Class_ID kDioptrixClassId{0x5B301A8A, 0x71787E6A};

class DioptrixFilter final : public ImageFilter {
  public:
    /// A filter with the default configuration (red, green, -0.1, -0.1).
    DioptrixFilter() = default;

    // The host's entry points into the filter are noexcept: a failure answers as the
    // interface says (FALSE, -1, null), and no exception reaches the host.
    const TCHAR* Description() noexcept override;       ///< string 3
    const TCHAR* AuthorName() noexcept override;        ///< string 5
    const TCHAR* CopyrightMessage() noexcept override;  ///< string 6
    UINT Version() override { return 100; }
    /// A setup dialog, and a foreground composed onto the source (10).
    DWORD Capability() override { return IMGFLT_CONTROL | IMGFLT_COMPOSITOR; }
    /// The about box (dialog 101), modal over `parent`: 1 after OK, 0 after Cancel, -1 when
    /// it cannot be shown.
    INT_PTR ShowAbout(HWND parent) noexcept override;
    /// The setup dialog (102), modal over `parent`: TRUE after OK (every change kept),
    /// FALSE after Cancel (the configuration as the dialog brought it into range on
    /// opening) or when a setup dialog is open already.
    BOOL ShowControl(HWND parent) noexcept override;
    /// The setup dialog's handler of its messages (dialogs.cpp).
    INT_PTR DucktestMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    /// A click on eye colour button `n`: 0..2 the left eye's red, green, blue, 3..5 the
    /// right eye's; the other eye gives up the colour by taking this eye's old one.
    void SelectEyeColor(HWND dlg, int n);
    /// Composes the anaglyph into the source bitmap line by line, each line in strips that
    /// stay in the first-level cache (strip_composition.h). Sends FLT_PROGRESS to
    /// `hWnd` before every eighth line (the line, the source height - 1) and FLT_CHECKABORT
    /// before every line; answers TRUE when every line was composed and written, FALSE on
    /// an abort, a missing bitmap, a failed allocation, read or write (the lines written
    /// before stay composed). A source without pixels answers TRUE at once. Works on a copy
    /// of the configuration brought into range (ConfigInRange); the stored one is left as
    /// loaded. FALSE too when anything the render calls throws.
    BOOL Render(HWND hWnd) noexcept override;
    /// 12, the size of the configuration record.
    DWORD EvaluateConfigure() noexcept override { return kDioptrixConfigBytes; }
    /// Takes the 12 bytes at `ptr` as they are; FALSE for a null pointer.
    BOOL LoadConfigure(void* ptr) noexcept override;
    /// Writes the 12 bytes (reserved bytes 0) to `ptr`; FALSE for a null pointer.
    BOOL SaveConfigure(void* ptr) noexcept override;

    // Valid only while the setup dialog is open.
    ISpinnerControl* leftEyeSpin = nullptr;
    ISpinnerControl* rightEyeSpin = nullptr;
    DioptrixConfig config;

  private:
    /// Render's work, which may throw.
    BOOL ComposeLines(HWND hWnd);
};

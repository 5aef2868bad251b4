#pragma once
/// Inspection of the live window tree: everything an inspector, the command line's panel
/// listing or the web editor needs to draw a dialog and its controls as they are now.
///
/// Window-thread only: the tree is read on the thread that owns the windows.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/host/win32/win32.h"

namespace loom {

struct TrackbarInfo {
    int min = 0;
    int max = 100;
    int pos = 0;
    int pageSize = 20;
    int lineSize = 1;
    int ticFreq = 1;
};

struct SpinnerInfo {
    bool isInteger = false;
    float value = 0.0f;  ///< a float spinner's value
    int intValue = 0;    ///< an integer spinner's value
    float min = 0.0f;
    float max = 0.0f;
    float scale = 0.1f;
    int editId = 0;  ///< control ID of the linked edit field, 0 when none
};

struct SwatchInfo {
    COLORREF color = 0;
    std::string name;  ///< the picker's title
    bool active = false;
};

struct CustButtonInfo {
    int type = 0;  ///< CBT_PUSH or CBT_CHECK
    bool checked = false;
    bool pressed = false;  ///< held down by the mouse right now
    COLORREF highlight = 0;
    UINT notifyMessage = WM_COMMAND;
    HIMAGELIST images = nullptr;
    int imageIndex = -1;  ///< the image shown in the current state, -1 for none
    int imageWidth = 0;
    int imageHeight = 0;
};

/// One window and, in creation (tab) order, its children (WS_CHILD windows; the popups it
/// owns are trees of their own).
struct WindowNode {
    HWND hwnd = nullptr;
    std::string className;  ///< as the class was registered ("Button", "CustEdit", ...)
    int id = 0;             ///< control ID (-1 for template controls without one)
    std::string text;       ///< bytes as kept (Windows-1252)
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect;  ///< window rectangle in pixels, in the parent's client coordinates
                ///< (screen coordinates for a window that is not a child)
    bool hasDialogUnits = false;  ///< made from a template: the rectangle below is set
    short dluX = 0, dluY = 0, dluCx = 0, dluCy = 0;
    bool enabled = true;
    bool visible = true;  ///< its own WS_VISIBLE
    bool focused = false;
    /// Check state (BST_*) of check boxes, radio buttons and check-type custom buttons;
    /// -1 for every other window.
    int check = -1;
    std::optional<TrackbarInfo> trackbar;
    std::optional<SpinnerInfo> spinner;
    std::optional<SwatchInfo> swatch;
    std::optional<CustButtonInfo> custButton;
    /// The bitmap a picture static or a bitmap button shows, or null.
    HBITMAP image = nullptr;
    /// False when `image` names a bitmap that has been deleted (it then shows nothing).
    bool imageLive = false;
    std::uint64_t revision = 0;  ///< WindowSystemRevision() at the window's last change
    std::vector<WindowNode> children;
};

/// The tree under `root` (itself included). An empty node (null hwnd) for a window that
/// is stale or belongs to another thread.
WindowNode DescribeWindowTree(HWND root);

/// The tree as JSON: one object per window with "hwnd", "class", "id", "text" (UTF-8),
/// "style", "exStyle", "rect" [left, top, right, bottom], "dlu" [x, y, cx, cy] or null,
/// "enabled", "visible", "focused", "check" and, where they apply, "trackbar", "spinner",
/// "swatch" (colour as "#rrggbb"), "custButton", "image" (handle or null), and "children".
std::string WindowTreeToJson(const WindowNode& node);

/// Windows-1252 bytes as UTF-8 (bytes the code page leaves undefined become U+FFFD).
std::string Cp1252ToUtf8(const std::string& text);

}  // namespace loom

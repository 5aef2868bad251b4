#pragma once
/// The one door through which a person acts on the window system, whether the person sits
/// at the command line, in the web editor or in a test. Each action produces exactly the
/// messages the real control would produce for that person, in the real order, and then
/// pumps the calling thread's messages (posted ones, then paints) after every step, as the
/// message loop would between two mouse or key events.
///
/// An action answers false and sends nothing when its control does not exist, is of the
/// wrong kind, or cannot be reached by a person: hidden (no WS_VISIBLE of its own), or
/// disabled itself or through an ancestor up to and including its top-level window (the
/// owner of a running modal dialog is disabled, so its panel cannot be touched).
///
/// Window-thread only. Inside a modal dialog, act from the modal idle hook (ModalScript).

#include <functional>
#include <string>
#include <vector>

#include "foundation/host/win32/win32.h"

namespace loom::interact {

/// A mouse click on control `id` of `dlg`: push buttons, check boxes and radio buttons
/// (automatic ones change their check first; plain ones change nothing), custom buttons
/// (a check-type one toggles, then notifies once), statics with SS_NOTIFY, and edit fields
/// (which take the focus). Group boxes and other statics take no click.
bool Click(HWND dlg, int id);

/// Presses spinner `spinId`, drags it through `values` (each clamped to its limits; a
/// step that leaves the value unchanged sends nothing) and lets go: accepted (high word 1)
/// or cancelled with the value put back (high word 0).
bool DragSpinner(HWND dlg, int spinId, const std::vector<float>& values, bool accept);

/// Types `text` into edit field `editId`. A custom edit field (CustEdit) then gets Enter:
/// its linked spinner takes the text as its value (clamped; an integer spinner rounds) and
/// sends CC_SPINNER_CHANGE, then the field sends WM_CUSTEDIT_ENTER. A standard edit sends
/// EN_UPDATE and EN_CHANGE. False when the text is not a number for a linked spinner
/// (the field then shows the old value again; WM_CUSTEDIT_ENTER is still sent).
bool TypeValue(HWND dlg, int editId, const std::string& text);

/// Opens the colour picker of swatch `swatchId`, passes through `dragValues` and closes it:
/// accepted (the last colour stays) or cancelled (the old colour comes back).
bool PickColor(HWND dlg, int swatchId, const std::vector<COLORREF>& dragValues, bool accept);

/// Drags the thumb of trackbar `id` to `pos` (clamped to its range): TB_THUMBTRACK when
/// the position changes, then TB_THUMBPOSITION and TB_ENDTRACK, in WM_HSCROLL (WM_VSCROLL
/// for TBS_VERT) with lParam the trackbar.
bool MoveSlider(HWND dlg, int id, int pos);
/// The same through several positions: one TB_THUMBTRACK per change.
bool DragSlider(HWND dlg, int id, const std::vector<int>& positions);
/// A click in the channel beside the thumb: TB_PAGEDOWN (towards the maximum) or TB_PAGEUP,
/// then TB_ENDTRACK.
bool PageSlider(HWND dlg, int id, bool towardsMax);

/// A key pressed in dialog `dlg`: VK_RETURN clicks the focused push button, else the
/// default button (DM_GETDEFID; nothing when that button is disabled), else sends IDOK;
/// VK_ESCAPE sends IDCANCEL; VK_SPACE clicks the focused button; VK_TAB moves the focus to
/// the next enabled, visible tab stop. False for other keys.
bool PressKey(HWND dlg, int vk);

/// The close box of `dlg`: WM_CLOSE, which a dialog turns into IDCANCEL.
bool CloseDialog(HWND dlg);

/// The first child of `dlg` whose text is `text`; failing that, the first whose text
/// matches ignoring case, '&' marks, surrounding spaces and a trailing ':'. Null when none.
HWND FindControlByText(HWND dlg, const std::string& text);
/// Every child of `dlg` whose text is `text`, in child order; failing any, every one that
/// matches as FindControlByText allows. Lets a caller see that a text is ambiguous.
std::vector<HWND> FindControlsByText(HWND dlg, const std::string& text);

/// Every child of `dlg` of window class `className` (any case), in child order: the order
/// of the dialog's template, so that controls without text are told apart by place.
std::vector<HWND> FindControlsByClass(HWND dlg, const std::string& className);

/// True when a person could act on `hwnd` now (see above).
bool Reachable(HWND hwnd);

/// Drives modal dialogs while it lives: each time a modal loop of this thread is idle, the
/// next action runs with that dialog. When the actions have run out and a dialog is still
/// open, it is ended with -1 (as a failed dialog) and the overrun is recorded, so that a
/// script that misses its closing action cannot hang its caller. Installs itself as the
/// modal idle hook and puts the previous hook back when destroyed.
class ModalScript {
  public:
    using Action = std::function<void(HWND dialog)>;
    explicit ModalScript(std::vector<Action> actions);
    ~ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    /// Every action ran.
    bool Finished() const { return next_ >= actions_.size(); }
    /// A dialog outlived the actions and was ended with -1.
    bool Overran() const { return overran_; }
    /// The dialogs the actions ran on, in order.
    const std::vector<HWND>& Dialogs() const { return dialogs_; }

  private:
    bool Idle(HWND dialog);

    std::vector<Action> actions_;
    std::size_t next_ = 0;
    bool overran_ = false;
    std::vector<HWND> dialogs_;
    ModalIdleHook previous_;
};

}  // namespace loom::interact

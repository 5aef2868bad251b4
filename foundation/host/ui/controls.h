#pragma once
/// The host's custom controls ("CustEdit", "SpinnerControl", "ColorSwatch", "CustButton"),
/// the helpers that bind them in a dialog, and the notifications they send to it.
///
/// A control is reached through an interface (`GetISpinner`, `GetIColorSwatch`,
/// `GetICustEdit`, `GetICustButton`) that is given back with the matching release. The
/// interface stays valid until it is released, even when its window is destroyed first;
/// it then does nothing and answers its last values. Window-thread only.
///
/// Notifications go to the control's parent, with the control ID in the low word of
/// wParam:
///
/// | message | value | high word of wParam | lParam |
/// |---|---|---|---|
/// | CC_SPINNER_BUTTONDOWN | 0x659 | 0 | the ISpinnerControl* |
/// | CC_SPINNER_CHANGE | 0x658 | 1 while the mouse drags it, 0 otherwise | the ISpinnerControl* |
/// | CC_SPINNER_BUTTONUP | 0x65A | 1 accepted, 0 cancelled | the ISpinnerControl* |
/// | WM_CUSTEDIT_ENTER | 0x6AD | 0 (low word: the edit's ID) | the edit's HWND |
/// | CC_COLOR_BUTTONDOWN | 0x65E | 0 | the IColorSwatch* |
/// | CC_COLOR_CHANGE | 0x65B | 0 while the picker drags, 1 for the final colour | the IColorSwatch*
/// | | CC_COLOR_BUTTONUP | 0x65F | 1 accepted, 0 cancelled | the IColorSwatch* | | WM_COMMAND (or
/// the button's own message) | 0x111 | BN_CLICKED | the button's HWND |
///
/// A spinner drag sends BUTTONDOWN, one CHANGE for every step that changes the value, then
/// BUTTONUP; a cancelled drag puts the value back (without a CHANGE) before its BUTTONUP.
/// A value typed into a spinner's edit field and confirmed with Enter sends CHANGE (high
/// word 0) and then WM_CUSTEDIT_ENTER. A colour pick sends BUTTONDOWN, one CHANGE (high 0)
/// per colour the picker passes through, then CHANGE (high 1) and BUTTONUP (high 1); a
/// cancelled pick puts the old colour back and sends BUTTONUP (high 0). A custom button
/// sends one notification per click; a check-type button toggles before it notifies.
/// Values set from code (SetValue, SetColor, SetCheck with notify FALSE) notify nobody.

#include "foundation/host/win32/win32.h"

inline constexpr UINT CC_SPINNER_CHANGE = WM_USER + 600;      // 0x658
inline constexpr UINT CC_SPINNER_BUTTONDOWN = WM_USER + 601;  // 0x659
inline constexpr UINT CC_SPINNER_BUTTONUP = WM_USER + 602;    // 0x65A
inline constexpr UINT CC_COLOR_CHANGE = WM_USER + 603;        // 0x65B
inline constexpr UINT CC_COLOR_BUTTONDOWN = WM_USER + 606;    // 0x65E
inline constexpr UINT CC_COLOR_BUTTONUP = WM_USER + 607;      // 0x65F
inline constexpr UINT WM_CUSTEDIT_ENTER = WM_USER + 685;      // 0x6AD

/// What a spinner's edit field holds (LinkToEdit). The integer kinds make an integer
/// spinner; the others a float spinner.
inline constexpr int EDITTYPE_INT = 0;
inline constexpr int EDITTYPE_FLOAT = 1;
inline constexpr int EDITTYPE_UNIVERSE = 2;
inline constexpr int EDITTYPE_POS_INT = 3;
inline constexpr int EDITTYPE_POS_FLOAT = 4;
inline constexpr int EDITTYPE_POS_UNIVERSE = 5;
inline constexpr int EDITTYPE_TIME = 6;

/// Custom button kinds.
inline constexpr int CBT_PUSH = 0;
inline constexpr int CBT_CHECK = 1;

/// What every custom control offers.
class ICustomControl {
  public:
    virtual HWND GetHwnd() = 0;  ///< null once the window is gone
    virtual void Enable(BOOL onOff = TRUE) = 0;
    virtual void Disable() = 0;
    virtual BOOL IsEnabled() = 0;

  protected:
    virtual ~ICustomControl() = default;  // given back with the release functions
};

/// A one-line edit field.
class ICustEdit : public ICustomControl {
  public:
    /// Copies at most `ct` - 1 bytes of the text and a NUL.
    virtual void GetText(char* text, int ct) = 0;
    virtual void SetText(const char* text) = 0;
    virtual void SetText(int i) = 0;
    /// The float with `precision` decimals.
    virtual void SetText(float f, int precision = 3) = 0;
    /// The text as a number; `valid` says whether all of it was one.
    virtual int GetInt(BOOL* valid = nullptr) = 0;
    virtual float GetFloat(BOOL* valid = nullptr) = 0;
};

/// A spinner: a value within limits, changed by dragging its arrows or by typing into the
/// edit field it is linked to, which always shows the value ("%d" for an integer spinner;
/// for a float spinner "%.3f" without trailing zeros but with at least one decimal, so
/// 0.1 reads "0.1", 30 reads "30.0" and 0.005 reads "0.005").
class ISpinnerControl : public ICustomControl {
  public:
    virtual float GetFVal() = 0;
    /// An integer spinner's value; a float spinner's rounded to the nearest integer.
    virtual int GetIVal() = 0;
    /// How far one pixel of mouse travel moves the value.
    virtual void SetScale(float s) = 0;
    virtual float GetScale() = 0;
    virtual void SetAutoScale(BOOL on = TRUE) = 0;
    /// Sets the value, clamped to the limits (NaN counts as 0; an integer spinner rounds to
    /// the nearest integer). With `notify` non-zero the parent gets CC_SPINNER_CHANGE with
    /// high word 0.
    virtual void SetValue(float v, int notify) = 0;
    virtual void SetValue(int v, int notify) = 0;
    void SetValue(double v, int notify) { SetValue(static_cast<float>(v), notify); }
    /// Sets the limits; with `limitCurValue` non-zero the value is clamped to them at once
    /// (without notification).
    virtual void SetLimits(int min, int max, int limitCurValue = TRUE) = 0;
    virtual void SetLimits(float min, float max, int limitCurValue = TRUE) = 0;
    void SetLimits(double min, double max, int limitCurValue = TRUE) {
        SetLimits(static_cast<float>(min), static_cast<float>(max), limitCurValue);
    }
    /// Links the edit field (a "CustEdit" or "Edit"); `type` is an EDITTYPE_* value and
    /// decides whether the spinner is an integer one. The field shows the value at once.
    virtual void LinkToEdit(HWND edit, int type) = 0;
    virtual BOOL IsInteger() = 0;
    virtual void SetIndeterminate(BOOL on = TRUE) = 0;
    virtual BOOL IsIndeterminate() = 0;
    /// The value a right click on the arrows would restore.
    virtual void SetResetValue(float v) = 0;
    virtual void SetResetValue(int v) = 0;
};

/// A colour swatch: shows a colour and opens the colour picker titled with its name.
class IColorSwatch : public ICustomControl {
  public:
    /// Sets the colour and answers the previous one. With `notify` non-zero the parent gets
    /// CC_COLOR_CHANGE with high word 1.
    virtual COLORREF SetColor(COLORREF c, int notify = FALSE) = 0;
    virtual COLORREF GetColor() = 0;
    /// Makes the swatch the one the open colour picker edits (non-zero) or not.
    virtual void Activate(int onOff) = 0;
    /// The picker's title.
    virtual const char* Name() = 0;
    virtual void SetName(const char* name) = 0;
};

/// A button drawn by the host: a push or check button with text or images from an image
/// list and a colour for its pressed state.
class ICustButton : public ICustomControl {
  public:
    virtual void GetText(char* text, int ct) = 0;
    virtual void SetText(const char* text) = 0;
    /// Images of `list` for out/in (released/pressed) and enabled/disabled, `w` by `h`
    /// pixels. The list stays the caller's; the button only shows it.
    virtual void SetImage(HIMAGELIST list, int outEn, int inEn, int outDis, int inDis, int w,
                          int h) = 0;
    /// CBT_PUSH or CBT_CHECK.
    virtual void SetType(int type) = 0;
    virtual void SetCheck(BOOL checked) = 0;
    virtual BOOL IsChecked() = 0;
    /// The colour of a pressed check button (yellow until set).
    virtual void SetHighlightColor(COLORREF c) = 0;
    virtual COLORREF GetHighlightColor() = 0;
    /// The message a click sends to the parent instead of WM_COMMAND, with the same
    /// parameters: MAKEWPARAM(id, BN_CLICKED) and the button's HWND. WM_COMMAND restores
    /// the default.
    virtual void SetNotifyMessage(UINT msg) = 0;
    virtual UINT GetNotifyMessage() = 0;
};

/// Registers the host's custom control classes; the first call (for any module) does it
/// for the process. The registry remembers each module once.
void InitCustomControls(HINSTANCE hInst);
/// Registers the common control classes (trackbars; image lists need nothing).
void InitCommonControls();

/// The interface of a control of the matching class, or null for any other window.
ISpinnerControl* GetISpinner(HWND hwnd);
void ReleaseISpinner(ISpinnerControl* spinner);
ICustEdit* GetICustEdit(HWND hwnd);
void ReleaseICustEdit(ICustEdit* edit);
/// The swatch's interface after setting its colour (without notification) and its name.
IColorSwatch* GetIColorSwatch(HWND hwnd, COLORREF col, const char* name);
IColorSwatch* GetIColorSwatch(HWND hwnd);
void ReleaseIColorSwatch(IColorSwatch* swatch);
ICustButton* GetICustButton(HWND hwnd);
void ReleaseICustButton(ICustButton* button);

/// Binds spinner `idSpin` of `hwnd` to edit `idEdit` as a float spinner with the limits,
/// value (no notification) and scale given. Null when `idSpin` is not a spinner.
ISpinnerControl* SetupFloatSpinner(HWND hwnd, int idSpin, int idEdit, float min, float max,
                                   float val, float scale = 0.1f);
/// The same for an integer spinner (scale 1).
ISpinnerControl* SetupIntSpinner(HWND hwnd, int idSpin, int idEdit, int min, int max, int val);

/// The check state of button `id` of dialog `hw`: a standard check box or radio button
/// (TRUE when checked) or a custom button (IsChecked). FALSE for anything else.
BOOL GetCheckBox(HWND hw, int id);
/// Sets it without notification.
void SetCheckBox(HWND hw, int id, BOOL b);

/// Moves `child` so that its centre is the centre of `parent` (of the screen when `parent`
/// is null), kept on the screen.
void CenterWindow(HWND child, HWND parent);

namespace loom {
/// How many distinct modules have registered custom controls (for the host's checks).
int CustomControlModules();
bool CommonControlsInitialised();
/// Interfaces handed out by the Get functions and not released yet (for leak checks).
int CustomControlReferences();
}  // namespace loom

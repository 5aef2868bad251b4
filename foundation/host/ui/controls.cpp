#include "foundation/host/ui/controls.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/host/win32/win32_internal.h"
#include "foundation/host/win32/window_tree.h"

namespace {

std::mutex gMutex;
std::vector<HINSTANCE> gModules;
bool gCommon = false;
std::atomic<int> gReferences{0};

// ---- Shared machinery ---------------------------------------------------------------------

// Base of every interface object: a count of references (the window holds one while it
// lives, every Get adds one) and the window, cleared when the window is destroyed.
template <typename Interface>
class Control : public Interface {
  public:
    explicit Control(HWND h) : hwnd_(h) {}
    HWND GetHwnd() override { return hwnd_; }
    void Enable(BOOL onOff) override {
        if (hwnd_) EnableWindow(hwnd_, onOff);
    }
    void Disable() override { Enable(FALSE); }
    BOOL IsEnabled() override { return hwnd_ && IsWindowEnabled(hwnd_) ? TRUE : FALSE; }

    void AddRef() { ++refs_; }
    void Release() {
        if (--refs_ == 0) delete this;
    }
    /// The window is going: the object lives on for the interfaces still handed out.
    void Detach() {
        hwnd_ = nullptr;
        Release();
    }

  protected:
    ~Control() override = default;

    /// Sends `msg` to the parent with MAKEWPARAM(id, high) and `lParam`. The parent may
    /// destroy the window (and release interfaces) meanwhile; callers hold a Keep.
    void Notify(UINT msg, WORD high, LPARAM lParam) {
        if (!hwnd_) return;
        HWND parent = GetParent(hwnd_);
        WORD id = static_cast<WORD>(GetDlgCtrlID(hwnd_));
        SendMessageA(parent, msg, MAKEWPARAM(id, high), lParam);
    }
    void Redraw() {
        if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
    }

    HWND hwnd_;
    int refs_ = 1;  // the window's
};

// Keeps an object alive across calls that may release it.
template <typename T>
class Keep {
  public:
    explicit Keep(T* t) : t_(t) { t_->AddRef(); }
    ~Keep() { t_->Release(); }
    Keep(const Keep&) = delete;
    Keep& operator=(const Keep&) = delete;

  private:
    T* t_;
};

// Creates the object at WM_NCCREATE and detaches it at WM_NCDESTROY; answers the object
// for every other message (null when the window has none).
template <typename T>
T* Lifecycle(HWND h, UINT msg) {
    if (msg == WM_NCCREATE) {
        auto* t = new T(h);
        loom::detail::SetExtra(h, t);
        return t;
    }
    auto* t = static_cast<T*>(loom::detail::GetExtra(h));
    if (msg == WM_NCDESTROY && t) {
        loom::detail::SetExtra(h, nullptr);
        t->Detach();
        return nullptr;
    }
    return t;
}

// The object of a window of class `cls` (lower case), with a reference added.
template <typename T>
T* Acquire(HWND h, const char* cls) {
    if (loom::detail::ClassNameOf(h) != cls) return nullptr;
    auto* t = static_cast<T*>(loom::detail::GetExtra(h));
    if (!t) return nullptr;
    t->AddRef();
    ++gReferences;
    return t;
}

template <typename T, typename I>
void GiveBack(I* i) {
    if (!i) return;
    --gReferences;
    static_cast<T*>(i)->Release();
}

// Parses all of `text` (spaces around allowed, a leading '+' too) as a finite number.
bool ParseNumber(const char* text, double* out) {
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '+') ++p;
    const char* end = p + std::strlen(p);
    while (end > p && (end[-1] == ' ' || end[-1] == '\t')) --end;
    if (p == end) return false;
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(p, end, v);
    if (ec != std::errc() || ptr != end || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// The nearest int, NaN as 0, out-of-range values at the ends of the int range.
int RoundToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(std::lround(v));
}

// "%.3f" without trailing zeros but with at least one decimal; never "-0.0".
std::string FormatFloat(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", Widen(v));
    std::string s = buf;
    while (s.size() > 1 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
    if (s == "-0.0") s = "0.0";
    return s;
}

// ---- CustEdit -----------------------------------------------------------------------------

class EditImpl final : public Control<ICustEdit> {
  public:
    using Control::Control;
    void GetText(char* text, int ct) override {
        if (!text || ct <= 0) return;
        text[0] = '\0';
        if (hwnd_) GetWindowTextA(hwnd_, text, ct);
    }
    void SetText(const char* text) override {
        if (hwnd_) SetWindowTextA(hwnd_, text);
    }
    void SetText(int i) override { SetText(std::to_string(i).c_str()); }
    void SetText(float f, int precision) override {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", std::clamp(precision, 0, 20), Widen(f));
        SetText(buf);
    }
    int GetInt(BOOL* valid) override {
        double v = 0.0;
        bool ok = ParseNumber(Text().c_str(), &v) && v == std::floor(v);
        if (valid) *valid = ok ? TRUE : FALSE;
        return ok ? RoundToInt(v) : 0;
    }
    float GetFloat(BOOL* valid) override {
        double v = 0.0;
        bool ok = ParseNumber(Text().c_str(), &v);
        if (valid) *valid = ok ? TRUE : FALSE;
        return ok ? static_cast<float>(v) : 0.0f;
    }
    std::string Text() {
        char buf[256];
        GetText(buf, sizeof buf);
        return buf;
    }

    HWND spinner = nullptr;  // the spinner linked to this field, if any
};

// ---- SpinnerControl ---------------------------------------------------------------------------

class SpinnerImpl final : public Control<ISpinnerControl> {
  public:
    using Control::Control;
    using ISpinnerControl::SetLimits;
    using ISpinnerControl::SetValue;

    float GetFVal() override { return isInt_ ? static_cast<float>(ival_) : fval_; }
    int GetIVal() override { return isInt_ ? ival_ : RoundToInt(Widen(fval_)); }
    void SetScale(float s) override { scale_ = s; }
    float GetScale() override { return scale_; }
    void SetAutoScale(BOOL on) override { autoScale_ = on != FALSE; }

    void SetValue(float v, int notify) override {
        Keep<SpinnerImpl> keep(this);
        Store(v);
        indeterminate_ = false;
        Show();
        if (notify) Notify(CC_SPINNER_CHANGE, 0, Self());
    }
    void SetValue(int v, int notify) override {
        if (!isInt_) {
            SetValue(static_cast<float>(v), notify);
            return;
        }
        Keep<SpinnerImpl> keep(this);
        ival_ = std::clamp(v, std::min(imin_, imax_), imax_);
        indeterminate_ = false;
        Show();
        if (notify) Notify(CC_SPINNER_CHANGE, 0, Self());
    }
    void SetLimits(int min, int max, int limitCurValue) override {
        imin_ = min;
        imax_ = max;
        fmin_ = static_cast<float>(min);
        fmax_ = static_cast<float>(max);
        if (limitCurValue) Reclamp();
    }
    void SetLimits(float min, float max, int limitCurValue) override {
        fmin_ = min;
        fmax_ = max;
        imin_ = RoundToInt(Widen(min));
        imax_ = RoundToInt(Widen(max));
        if (limitCurValue) Reclamp();
    }
    void LinkToEdit(HWND edit, int type) override {
        bool toInt = type == EDITTYPE_INT || type == EDITTYPE_POS_INT || type == EDITTYPE_TIME;
        if (toInt && !isInt_) ival_ = RoundToInt(Widen(fval_));
        if (!toInt && isInt_) fval_ = static_cast<float>(ival_);
        isInt_ = toInt;
        edit_ = edit;
        if (loom::detail::ClassNameOf(edit) == "custedit") {
            if (auto* e = static_cast<EditImpl*>(loom::detail::GetExtra(edit))) e->spinner = hwnd_;
        }
        Show();
    }
    BOOL IsInteger() override { return isInt_ ? TRUE : FALSE; }
    void SetIndeterminate(BOOL on) override {
        indeterminate_ = on != FALSE;
        Show();
    }
    BOOL IsIndeterminate() override { return indeterminate_ ? TRUE : FALSE; }
    void SetResetValue(float v) override { resetF_ = v; }
    void SetResetValue(int v) override { resetI_ = v; }

    // What a person does.
    void Press() {
        if (dragging_ || !hwnd_) return;
        Keep<SpinnerImpl> keep(this);
        dragging_ = true;
        beforeF_ = fval_;
        beforeI_ = ival_;
        Notify(CC_SPINNER_BUTTONDOWN, 0, Self());
    }
    void Drag(float v) {
        if (!dragging_) return;
        Keep<SpinnerImpl> keep(this);
        float oldF = fval_;
        int oldI = ival_;
        Store(v);
        if (oldF == fval_ && oldI == ival_) return;  // a step that changes nothing is silent
        Show();
        Notify(CC_SPINNER_CHANGE, 1, Self());
    }
    void LetGo(bool accept) {
        if (!dragging_) return;
        Keep<SpinnerImpl> keep(this);
        dragging_ = false;
        if (!accept) {
            fval_ = beforeF_;
            ival_ = beforeI_;
            Show();
        }
        Notify(CC_SPINNER_BUTTONUP, accept ? 1 : 0, Self());
    }
    /// Enter in the linked field: the text becomes the value, or the field shows the value
    /// again when the text is not a number.
    bool TakeText(const std::string& text) {
        Keep<SpinnerImpl> keep(this);
        double v = 0.0;
        if (!ParseNumber(text.c_str(), &v)) {
            Show();
            return false;
        }
        if (isInt_) {
            ival_ = std::clamp(RoundToInt(v), std::min(imin_, imax_), imax_);
        } else {
            Store(static_cast<float>(std::clamp(v, -3.4e38, 3.4e38)));
        }
        indeterminate_ = false;
        Show();
        Notify(CC_SPINNER_CHANGE, 0, Self());
        return true;
    }
    void Describe(loom::WindowNode* node) {
        loom::SpinnerInfo s;
        s.isInteger = isInt_;
        s.value = fval_;
        s.intValue = ival_;
        s.min = isInt_ ? static_cast<float>(imin_) : fmin_;
        s.max = isInt_ ? static_cast<float>(imax_) : fmax_;
        s.scale = scale_;
        s.editId = edit_ && IsWindow(edit_) ? GetDlgCtrlID(edit_) : 0;
        node->spinner = s;
    }

  private:
    LPARAM Self() { return reinterpret_cast<LPARAM>(static_cast<ISpinnerControl*>(this)); }
    void Store(float v) {
        if (isInt_) {
            ival_ = std::clamp(RoundToInt(Widen(v)), std::min(imin_, imax_), imax_);
        } else {
            float f = std::isnan(v) ? 0.0f : v;
            fval_ = std::max(std::min(f, fmax_), fmin_);
        }
    }
    void Reclamp() {
        if (isInt_) {
            ival_ = std::clamp(ival_, std::min(imin_, imax_), imax_);
        } else {
            fval_ = std::max(std::min(fval_, fmax_), fmin_);
        }
        Show();
    }
    void Show() {
        if (!edit_ || !IsWindow(edit_)) return;
        std::string text;
        if (!indeterminate_) text = isInt_ ? std::to_string(ival_) : FormatFloat(fval_);
        SetWindowTextA(edit_, text.c_str());
        Redraw();
    }

    bool isInt_ = false;
    float fval_ = 0.0f;
    int ival_ = 0;
    // Unlimited until SetLimits.
    float fmin_ = -3.4e38f;
    float fmax_ = 3.4e38f;
    int imin_ = INT_MIN;
    int imax_ = INT_MAX;
    float scale_ = 0.1f;
    bool autoScale_ = false;
    HWND edit_ = nullptr;
    bool indeterminate_ = false;
    float resetF_ = 0.0f;
    int resetI_ = 0;
    bool dragging_ = false;
    float beforeF_ = 0.0f;
    int beforeI_ = 0;
};

// ---- ColorSwatch ------------------------------------------------------------------------------

class SwatchImpl final : public Control<IColorSwatch> {
  public:
    using Control::Control;
    COLORREF SetColor(COLORREF c, int notify) override {
        Keep<SwatchImpl> keep(this);
        COLORREF old = color_;
        color_ = c;
        Redraw();
        if (notify) Notify(CC_COLOR_CHANGE, 1, Self());
        return old;
    }
    COLORREF GetColor() override { return color_; }
    void Activate(int onOff) override {
        active_ = onOff != 0;
        Redraw();
    }
    const char* Name() override { return name_.c_str(); }
    void SetName(const char* name) override { name_ = name ? name : ""; }

    void Press() {
        if (picking_ || !hwnd_) return;
        Keep<SwatchImpl> keep(this);
        picking_ = true;
        before_ = color_;
        Notify(CC_COLOR_BUTTONDOWN, 0, Self());
    }
    void Drag(COLORREF c) {
        if (!picking_) return;
        Keep<SwatchImpl> keep(this);
        color_ = c;
        Redraw();
        Notify(CC_COLOR_CHANGE, 0, Self());
    }
    void LetGo(bool accept) {
        if (!picking_) return;
        Keep<SwatchImpl> keep(this);
        picking_ = false;
        if (accept) {
            Notify(CC_COLOR_CHANGE, 1, Self());
            Notify(CC_COLOR_BUTTONUP, 1, Self());
            return;
        }
        color_ = before_;
        Redraw();
        Notify(CC_COLOR_BUTTONUP, 0, Self());
    }
    void Describe(loom::WindowNode* node) {
        node->swatch = loom::SwatchInfo{color_, name_, active_};
    }

  private:
    LPARAM Self() { return reinterpret_cast<LPARAM>(static_cast<IColorSwatch*>(this)); }

    COLORREF color_ = 0;
    std::string name_;
    bool active_ = false;
    bool picking_ = false;
    COLORREF before_ = 0;
};

// ---- CustButton -------------------------------------------------------------------------------

class ButtonImpl final : public Control<ICustButton> {
  public:
    using Control::Control;
    void GetText(char* text, int ct) override {
        if (!text || ct <= 0) return;
        text[0] = '\0';
        if (hwnd_) GetWindowTextA(hwnd_, text, ct);
    }
    void SetText(const char* text) override {
        if (hwnd_) SetWindowTextA(hwnd_, text);
    }
    void SetImage(HIMAGELIST list, int outEn, int inEn, int outDis, int inDis, int w,
                  int h) override {
        list_ = list;
        outEn_ = outEn;
        inEn_ = inEn;
        outDis_ = outDis;
        inDis_ = inDis;
        w_ = w;
        h_ = h;
        Redraw();
    }
    void SetType(int type) override {
        type_ = type == CBT_CHECK ? CBT_CHECK : CBT_PUSH;
        if (type_ == CBT_PUSH) checked_ = false;
        Redraw();
    }
    void SetCheck(BOOL checked) override {
        if (type_ != CBT_CHECK) return;
        checked_ = checked != FALSE;
        Redraw();
    }
    BOOL IsChecked() override { return checked_ ? TRUE : FALSE; }
    void SetHighlightColor(COLORREF c) override {
        highlight_ = c;
        Redraw();
    }
    COLORREF GetHighlightColor() override { return highlight_; }
    void SetNotifyMessage(UINT msg) override { notify_ = msg; }
    UINT GetNotifyMessage() override { return notify_; }

    void MouseDown() {
        pressed_ = true;
        Redraw();
    }
    void MouseUp() {
        if (!pressed_) return;
        Keep<ButtonImpl> keep(this);
        pressed_ = false;
        if (type_ == CBT_CHECK) checked_ = !checked_;
        Redraw();
        Notify(notify_, BN_CLICKED, reinterpret_cast<LPARAM>(hwnd_));
    }
    void Describe(loom::WindowNode* node) {
        loom::CustButtonInfo b;
        b.type = type_;
        b.checked = checked_;
        b.pressed = pressed_;
        b.highlight = highlight_;
        b.notifyMessage = notify_;
        b.images = list_;
        bool in = checked_ || pressed_;
        if (list_) b.imageIndex = IsEnabled() ? (in ? inEn_ : outEn_) : (in ? inDis_ : outDis_);
        b.imageWidth = w_;
        b.imageHeight = h_;
        node->custButton = b;
        node->check = checked_ ? 1 : 0;
    }

  private:
    int type_ = CBT_PUSH;
    bool checked_ = false;
    bool pressed_ = false;
    COLORREF highlight_ = RGB(255, 255, 0);
    HIMAGELIST list_ = nullptr;
    int outEn_ = -1, inEn_ = -1, outDis_ = -1, inDis_ = -1, w_ = 0, h_ = 0;
    UINT notify_ = WM_COMMAND;
};

// ---- Window procedures ------------------------------------------------------------------------

LRESULT EditProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    EditImpl* e = Lifecycle<EditImpl>(h, msg);
    if (!e) return DefWindowProcA(h, msg, wParam, lParam);
    switch (msg) {
        case loom::detail::kUserTypeMessage:
            DefWindowProcA(h, WM_SETTEXT, 0, lParam);
            return TRUE;
        case loom::detail::kUserEnterMessage: {
            Keep<EditImpl> keep(e);
            bool ok = true;
            if (e->spinner && IsWindow(e->spinner)) {
                if (auto* s = static_cast<SpinnerImpl*>(loom::detail::GetExtra(e->spinner))) {
                    ok = s->TakeText(e->Text());
                }
            }
            if (IsWindow(h)) {
                SendMessageA(GetParent(h), WM_CUSTEDIT_ENTER, static_cast<WORD>(GetDlgCtrlID(h)),
                             reinterpret_cast<LPARAM>(h));
            }
            return ok ? TRUE : FALSE;
        }
        case WM_LBUTTONDOWN:
            SetFocus(h);
            return 0;
        case loom::detail::kDescribeMessage:
            return 0;
        default:
            return DefWindowProcA(h, msg, wParam, lParam);
    }
}

LRESULT SpinnerProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    SpinnerImpl* s = Lifecycle<SpinnerImpl>(h, msg);
    if (!s) return DefWindowProcA(h, msg, wParam, lParam);
    switch (msg) {
        case loom::detail::kSpinnerPressMessage:
            s->Press();
            return TRUE;
        case loom::detail::kSpinnerDragMessage:
            if (lParam) s->Drag(*reinterpret_cast<const float*>(lParam));
            return TRUE;
        case loom::detail::kSpinnerReleaseMessage:
            s->LetGo(wParam != 0);
            return TRUE;
        case loom::detail::kDescribeMessage:
            s->Describe(reinterpret_cast<loom::WindowNode*>(lParam));
            return 0;
        default:
            return DefWindowProcA(h, msg, wParam, lParam);
    }
}

LRESULT SwatchProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    SwatchImpl* s = Lifecycle<SwatchImpl>(h, msg);
    if (!s) return DefWindowProcA(h, msg, wParam, lParam);
    switch (msg) {
        case loom::detail::kSwatchPressMessage:
            s->Press();
            return TRUE;
        case loom::detail::kSwatchDragMessage:
            s->Drag(static_cast<COLORREF>(lParam));
            return TRUE;
        case loom::detail::kSwatchReleaseMessage:
            s->LetGo(wParam != 0);
            return TRUE;
        case loom::detail::kDescribeMessage:
            s->Describe(reinterpret_cast<loom::WindowNode*>(lParam));
            return 0;
        default:
            return DefWindowProcA(h, msg, wParam, lParam);
    }
}

LRESULT CustButtonProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    ButtonImpl* b = Lifecycle<ButtonImpl>(h, msg);
    if (!b) return DefWindowProcA(h, msg, wParam, lParam);
    switch (msg) {
        case WM_LBUTTONDOWN:
            b->MouseDown();
            return 0;
        case WM_LBUTTONUP:
            b->MouseUp();
            return 0;
        case loom::detail::kDescribeMessage:
            b->Describe(reinterpret_cast<loom::WindowNode*>(lParam));
            return 0;
        default:
            return DefWindowProcA(h, msg, wParam, lParam);
    }
}

void Register(const char* name, WNDPROC proc) {
    WNDCLASSA wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    loom::detail::RegisterHostClass(wc);
}

}  // namespace

void InitCustomControls(HINSTANCE hInst) {
    static std::once_flag once;
    std::call_once(once, [] {
        Register("CustEdit", EditProc);
        Register("SpinnerControl", SpinnerProc);
        Register("ColorSwatch", SwatchProc);
        Register("CustButton", CustButtonProc);
    });
    std::lock_guard lock(gMutex);
    if (std::find(gModules.begin(), gModules.end(), hInst) == gModules.end()) {
        gModules.push_back(hInst);
    }
}

void InitCommonControls() {
    loom::detail::RegisterTrackbarClass();
    std::lock_guard lock(gMutex);
    gCommon = true;
}

ISpinnerControl* GetISpinner(HWND hwnd) { return Acquire<SpinnerImpl>(hwnd, "spinnercontrol"); }
void ReleaseISpinner(ISpinnerControl* spinner) { GiveBack<SpinnerImpl>(spinner); }

ICustEdit* GetICustEdit(HWND hwnd) { return Acquire<EditImpl>(hwnd, "custedit"); }
void ReleaseICustEdit(ICustEdit* edit) { GiveBack<EditImpl>(edit); }

IColorSwatch* GetIColorSwatch(HWND hwnd, COLORREF col, const char* name) {
    IColorSwatch* s = GetIColorSwatch(hwnd);
    if (!s) return nullptr;
    s->SetColor(col, FALSE);
    s->SetName(name);
    return s;
}
IColorSwatch* GetIColorSwatch(HWND hwnd) { return Acquire<SwatchImpl>(hwnd, "colorswatch"); }
void ReleaseIColorSwatch(IColorSwatch* swatch) { GiveBack<SwatchImpl>(swatch); }

ICustButton* GetICustButton(HWND hwnd) { return Acquire<ButtonImpl>(hwnd, "custbutton"); }
void ReleaseICustButton(ICustButton* button) { GiveBack<ButtonImpl>(button); }

ISpinnerControl* SetupFloatSpinner(HWND hwnd, int idSpin, int idEdit, float min, float max,
                                   float val, float scale) {
    ISpinnerControl* s = GetISpinner(GetDlgItem(hwnd, idSpin));
    if (!s) return nullptr;
    s->SetLimits(min, max, FALSE);
    s->SetScale(scale);
    s->LinkToEdit(GetDlgItem(hwnd, idEdit), EDITTYPE_FLOAT);
    s->SetValue(val, FALSE);
    return s;
}

ISpinnerControl* SetupIntSpinner(HWND hwnd, int idSpin, int idEdit, int min, int max, int val) {
    ISpinnerControl* s = GetISpinner(GetDlgItem(hwnd, idSpin));
    if (!s) return nullptr;
    s->SetLimits(min, max, FALSE);
    s->SetScale(1.0f);
    s->LinkToEdit(GetDlgItem(hwnd, idEdit), EDITTYPE_INT);
    s->SetValue(val, FALSE);
    return s;
}

BOOL GetCheckBox(HWND hw, int id) {
    HWND item = GetDlgItem(hw, id);
    std::string cls = loom::detail::ClassNameOf(item);
    if (cls == "button") {
        return SendMessageA(item, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED) ? TRUE
                                                                                          : FALSE;
    }
    if (cls == "custbutton") {
        auto* b = static_cast<ButtonImpl*>(loom::detail::GetExtra(item));
        return b ? b->IsChecked() : FALSE;
    }
    return FALSE;
}

void SetCheckBox(HWND hw, int id, BOOL b) {
    HWND item = GetDlgItem(hw, id);
    std::string cls = loom::detail::ClassNameOf(item);
    if (cls == "button") {
        SendMessageA(item, BM_SETCHECK, b ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (cls == "custbutton") {
        if (auto* button = static_cast<ButtonImpl*>(loom::detail::GetExtra(item))) {
            button->SetCheck(b);
        }
    }
}

void CenterWindow(HWND child, HWND parent) {
    RECT rc;
    if (!GetWindowRect(child, &rc)) return;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT pr;
    if (parent && GetWindowRect(parent, &pr)) area = pr;
    int w = rc.right - rc.left;
    int h = rc.bottom - rc.top;
    int x = area.left + ((area.right - area.left) - w) / 2;
    int y = area.top + ((area.bottom - area.top) - h) / 2;
    // Kept on the screen (its top-left corner first when it is larger than the screen).
    x = std::max(0, std::min(x, GetSystemMetrics(SM_CXSCREEN) - w));
    y = std::max(0, std::min(y, GetSystemMetrics(SM_CYSCREEN) - h));
    POINT p{x, y};
    if (loom::detail::StyleOf(child) & WS_CHILD) ScreenToClient(GetParent(child), &p);
    SetWindowPos(child, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

namespace loom {
int CustomControlModules() {
    std::lock_guard lock(gMutex);
    return static_cast<int>(gModules.size());
}
bool CommonControlsInitialised() {
    std::lock_guard lock(gMutex);
    return gCommon;
}
int CustomControlReferences() { return gReferences.load(); }
}  // namespace loom

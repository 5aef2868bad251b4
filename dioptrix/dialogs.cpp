#include "dioptrix/dialogs.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "dioptrix/composite.h"
#include "dioptrix/dioptrix_filter.h"
#include "dioptrix/library.h"
#include "dioptrix/resource.h"
#include "foundation/host/sdk/plugin_api.h"
#include "foundation/host/ui/controls.h"

namespace {

// The setup dialog's state, once per library.
DioptrixFilter* dialogFilter = nullptr;
DioptrixConfig savedConfig;
HBITMAP previewBitmap = nullptr;

// The calibration pictures, read from the library's bitmaps the first time they are needed.
std::uint8_t leftDuckImage[kDuckPixels];
std::uint8_t rightDuckImage[kDuckPixels];
bool ducksLoaded = false;
bool ducksPresent = false;

constexpr int kLeftButtons[3] = {IDC_LEFT_RED, IDC_LEFT_GREEN, IDC_LEFT_BLUE};
constexpr int kRightButtons[3] = {IDC_RIGHT_RED, IDC_RIGHT_GREEN, IDC_RIGHT_BLUE};

// Grey levels of a 128 x 128 bitmap resource, bottom row first (its red channel: the
// pictures are grey).
bool ReadDuck(int id, std::uint8_t* out) {
    HBITMAP bmp = LoadBitmapA(DioptrixInstance(), MAKEINTRESOURCEA(id));
    if (!bmp) return false;
    loom::BitmapPixels px;
    const bool ok = loom::ReadBitmap(bmp, &px) && px.width == kDuckSize && px.height == kDuckSize;
    DeleteObject(bmp);
    if (!ok) return false;
    for (int row = 0; row < kDuckSize; ++row) {
        const std::uint8_t* src = px.rgba.data() + static_cast<size_t>(kDuckSize - 1 - row) *
                                                       static_cast<size_t>(kDuckSize) * 4;
        for (int x = 0; x < kDuckSize; ++x) out[row * kDuckSize + x] = src[x * 4];
    }
    return true;
}

void LoadDucks() {
    if (ducksLoaded && ducksPresent) return;
    ducksLoaded = true;
    ducksPresent =
        ReadDuck(IDB_LEFT_DUCK, leftDuckImage) && ReadDuck(IDB_RIGHT_DUCK, rightDuckImage);
    if (!ducksPresent) {
        std::memset(leftDuckImage, 0, sizeof leftDuckImage);
        std::memset(rightDuckImage, 0, sizeof rightDuckImage);
    }
}

std::uint8_t RoundToByte(double v) {
    double q = std::floor(v + 0.5);
    if (q > 255.0) q = 255.0;
    if (q < 0.0) q = 0.0;
    return static_cast<std::uint8_t>(q);
}

// Repaints the calibration picture of control 1027 from the filter's configuration.
void DuckPreview(HWND dlg, const DioptrixConfig& config) {
    LoadDucks();
    std::unique_ptr<std::uint8_t[]> bits(new (std::nothrow) std::uint8_t[kDuckPreviewBytes]());
    if (!bits) return;
    ComposeDuckPreview(config, leftDuckImage, rightDuckImage, bits.get());
    BITMAPINFO info;
    BITMAPINFOHEADER& h = info.bmiHeader;
    h.biSize = 40;
    h.biWidth = kDuckSize;
    h.biHeight = kDuckSize;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    h.biSizeImage = kDuckPreviewBytes;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    HWND preview = GetDlgItem(dlg, IDC_PREVIEW);
    HDC dc = GetDC(preview);
    HBITMAP fresh = CreateDIBitmap(dc, &h, CBM_INIT, bits.get(), &info, DIB_RGB_COLORS);
    ReleaseDC(preview, dc);
    if (!fresh) return;
    // The control shows the new picture before the old one goes, so it never shows a
    // deleted bitmap.
    HBITMAP old = previewBitmap;
    previewBitmap = fresh;
    SendDlgItemMessageA(dlg, IDC_PREVIEW, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(fresh));
    if (old) DeleteObject(old);
}

void CloseDucktest(HWND dlg, DioptrixFilter& filter, INT_PTR result) {
    SendDlgItemMessageA(dlg, IDC_PREVIEW, STM_SETIMAGE, IMAGE_BITMAP, 0);
    if (previewBitmap) {
        DeleteObject(previewBitmap);
        previewBitmap = nullptr;
    }
    ReleaseISpinner(filter.leftEyeSpin);
    ReleaseISpinner(filter.rightEyeSpin);
    filter.leftEyeSpin = nullptr;
    filter.rightEyeSpin = nullptr;
    dialogFilter = nullptr;
    EndDialog(dlg, result);
}

void SetCheck(HWND dlg, int id, bool on) {
    SendDlgItemMessageA(dlg, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

void ComposeDuckPreview(const DioptrixConfig& config, const std::uint8_t* left,
                        const std::uint8_t* right, std::uint8_t* bgr) noexcept {
    const int li = 2 - config.leftEyeColor % 3;
    const int ri = 2 - config.rightEyeColor % 3;
    const float cL = config.leftCompensation;
    const float cR = config.rightCompensation;
    const CrossCorrection k = StereoCoefficients(cL, cR, 255.0);
    double eL = 0.0;
    double eR = 0.0;
    for (int i = 0; i < kDuckPixels; ++i) {
        std::uint8_t* px = bgr + static_cast<size_t>(i) * 3;
        px[0] = px[1] = px[2] = 0;
        const float iL = static_cast<float>(Widen(k.aL) * left[i] + Widen(k.bL));
        const float iR = static_cast<float>(Widen(k.aR) * right[i] + Widen(k.bR));
        const double vL = Widen(cL) * Widen(iR) + eL + Widen(iL);
        const std::uint8_t qL = RoundToByte(vL);
        px[li] = qL;
        eL = vL - qL;
        const double vR = Widen(cR) * Widen(iL) + eR + Widen(iR);
        const std::uint8_t qR = RoundToByte(vR);
        px[ri] = qR;
        eR = vR - qR;
    }
}

const std::uint8_t* LeftDuckImage() noexcept {
    LoadDucks();
    return ducksPresent ? leftDuckImage : nullptr;
}

const std::uint8_t* RightDuckImage() noexcept {
    LoadDucks();
    return ducksPresent ? rightDuckImage : nullptr;
}

HBITMAP DuckPreviewBitmap() noexcept { return previewBitmap; }

INT_PTR CALLBACK DucktestDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_INITDIALOG) dialogFilter = reinterpret_cast<DioptrixFilter*>(lParam);
    if (!dialogFilter) return 0;
    return loom::NoThrowCall<INT_PTR>(
        0, [&] { return dialogFilter->DucktestMessage(hWnd, message, wParam, lParam); });
}

INT_PTR CALLBACK AboutDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM) noexcept {
    return loom::NoThrowCall<INT_PTR>(0, [&]() -> INT_PTR {
        switch (message) {
            case WM_INITDIALOG:
                CenterWindow(hWnd, GetParent(hWnd));
                SetCursor(LoadCursorA(nullptr, IDC_ARROW));
                return 1;
            case WM_COMMAND:
                if (LOWORD(wParam) == IDOK) EndDialog(hWnd, 1);
                if (LOWORD(wParam) == IDCANCEL) EndDialog(hWnd, 0);
                return 1;
            default:
                return 0;
        }
    });
}

INT_PTR DioptrixFilter::ShowAbout(HWND parent) noexcept {
    // A box that cannot be shown answers as a dialog box that failed: -1.
    return loom::NoThrowCall<INT_PTR>(-1, [&] {
        return DialogBoxParamA(DioptrixInstance(), MAKEINTRESOURCEA(IDD_ABOUT), parent,
                               AboutDlgProc, reinterpret_cast<LPARAM>(this));
    });
}

BOOL DioptrixFilter::ShowControl(HWND parent) noexcept {
    // Only one setup dialog at a time: its state exists once per library.
    if (dialogFilter) return FALSE;
    // A dialog that cannot be shown (-1) keeps nothing, as Cancel does.
    const INT_PTR r = loom::NoThrowCall<INT_PTR>(-1, [&] {
        return DialogBoxParamA(DioptrixInstance(), MAKEINTRESOURCEA(IDD_DUCKTEST), parent,
                               DucktestDlgProc, reinterpret_cast<LPARAM>(this));
    });
    if (dialogFilter == this) {
        // Ended from outside (neither OK nor Cancel): nothing is kept, nothing is left over.
        config = savedConfig;
        if (previewBitmap) DeleteObject(previewBitmap);
        previewBitmap = nullptr;
        ReleaseISpinner(leftEyeSpin);
        ReleaseISpinner(rightEyeSpin);
        leftEyeSpin = nullptr;
        rightEyeSpin = nullptr;
        dialogFilter = nullptr;
    }
    return r == 1 ? TRUE : FALSE;
}

void DioptrixFilter::SelectEyeColor(HWND dlg, int n) {
    if (n < 0 || n > 5) return;
    const int oldLeft = config.leftEyeColor;
    const int oldRight = config.rightEyeColor;
    int newLeft = oldLeft;
    int newRight = oldRight;
    if (n < 3) {
        newLeft = n;
        if (oldRight == n) newRight = oldLeft;
    } else {
        newRight = n - 3;
        if (oldLeft == n - 3) newLeft = oldRight;
    }
    if (newLeft != oldLeft) {
        if (oldLeft < 3) SetCheck(dlg, kLeftButtons[oldLeft], false);
        config.leftEyeColor = static_cast<std::uint8_t>(newLeft);
        SetCheck(dlg, kLeftButtons[newLeft], true);
    }
    if (newRight != oldRight) {
        if (oldRight < 3) SetCheck(dlg, kRightButtons[oldRight], false);
        config.rightEyeColor = static_cast<std::uint8_t>(newRight);
        SetCheck(dlg, kRightButtons[newRight], true);
    }
    if (newLeft != oldLeft || newRight != oldRight) DuckPreview(dlg, config);
}

INT_PTR DioptrixFilter::DucktestMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            config = ConfigInRange(config);
            savedConfig = config;
            for (int i = 0; i < 3; ++i) {
                SetCheck(hWnd, kLeftButtons[i], i == config.leftEyeColor);
                SetCheck(hWnd, kRightButtons[i], i == config.rightEyeColor);
            }
            CenterWindow(hWnd, GetParent(hWnd));
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
            leftEyeSpin = SetupFloatSpinner(hWnd, IDC_LEFT_SPIN, IDC_LEFT_EDIT, -0.5f, 0.0f,
                                            config.leftCompensation, 0.01f);
            rightEyeSpin = SetupFloatSpinner(hWnd, IDC_RIGHT_SPIN, IDC_RIGHT_EDIT, -0.5f, 0.0f,
                                             config.rightCompensation, 0.01f);
            DuckPreview(hWnd, config);
            return 1;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_LEFT_RED:
                    SelectEyeColor(hWnd, 0);
                    break;
                case IDC_LEFT_GREEN:
                    SelectEyeColor(hWnd, 1);
                    break;
                case IDC_LEFT_BLUE:
                    SelectEyeColor(hWnd, 2);
                    break;
                case IDC_RIGHT_RED:
                    SelectEyeColor(hWnd, 3);
                    break;
                case IDC_RIGHT_GREEN:
                    SelectEyeColor(hWnd, 4);
                    break;
                case IDC_RIGHT_BLUE:
                    SelectEyeColor(hWnd, 5);
                    break;
                case IDOK:
                    CloseDucktest(hWnd, *this, 1);
                    break;
                case IDCANCEL:
                    config = savedConfig;
                    CloseDucktest(hWnd, *this, 0);
                    break;
                default:
                    break;
            }
            return 1;
        case CC_SPINNER_CHANGE: {
            auto* spin = reinterpret_cast<ISpinnerControl*>(lParam);
            if (!spin) return 0;
            const int id = LOWORD(wParam);
            if (id == IDC_LEFT_SPIN) {
                config.leftCompensation = spin->GetFVal();
            } else if (id == IDC_RIGHT_SPIN) {
                config.rightCompensation = spin->GetFVal();
            } else {
                return 0;
            }
            DuckPreview(hWnd, config);
            return 0;
        }
        default:
            return 0;
    }
}

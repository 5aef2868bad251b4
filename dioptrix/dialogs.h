#pragma once
/// The filter's two modal dialogs: the calibration setup ("Ducktest", dialog 102) and the
/// about box (dialog 101), and the calibration preview they paint.
///
/// The setup dialog's state exists once per library (the filter it edits, the
/// configuration as it stood when the dialog opened, the preview bitmap), so only one
/// setup dialog is open at a time. Window-thread only.

#include <cstdint>

#include "dioptrix/config.h"
#include "foundation/host/win32/win32.h"
#include "foundation/host/win32/win32_gdi.h"

/// Side of the square calibration pictures and of the preview, in pixels.
inline constexpr int kDuckSize = 128;
/// Pixels of one calibration picture.
inline constexpr int kDuckPixels = kDuckSize * kDuckSize;
/// Bytes of the preview's 24-bit pixels (rows of 384 bytes need no padding).
inline constexpr int kDuckPreviewBytes = kDuckPixels * 3;

/// Procedure of the setup dialog: keeps the filter given with WM_INITDIALOG and hands it
/// every message from then on; answers 0 before that, and for a message whose handling
/// throws (the window system's answer for a message not handled).
INT_PTR CALLBACK DucktestDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
/// Procedure of the about box; 0 for a message whose handling throws.
INT_PTR CALLBACK AboutDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

/// Composes the calibration preview: the left picture in the left eye's byte, the right
/// picture in the right eye's byte (blue, green, red order), corrected for the glasses
/// with full scale 255, rounded and clamped to 0..255 with the rounding error carried on
/// through the whole picture; the third byte 0. `left` and `right` hold kDuckPixels grey
/// bytes, `bgr` receives kDuckPreviewBytes. `config` must be in range (ConfigInRange).
void ComposeDuckPreview(const DioptrixConfig& config, const std::uint8_t* left,
                        const std::uint8_t* right, std::uint8_t* bgr) noexcept;

/// The two calibration pictures, bottom row first; null when the library's resources hold
/// none.
const std::uint8_t* LeftDuckImage() noexcept;
const std::uint8_t* RightDuckImage() noexcept;

/// The preview bitmap the open setup dialog shows; null when no dialog is open.
HBITMAP DuckPreviewBitmap() noexcept;

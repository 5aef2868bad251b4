#pragma once
/// Graphics objects of the window system: bitmaps (from module resources or from
/// device-independent bits), device contexts, image lists and cursors, and the host's
/// read access to their pixels for inspectors and the web editor.
///
/// Bitmaps, image lists and device contexts live in process-wide tables guarded by a
/// lock, so any thread may create, read and delete them. Handles are never reused: a
/// deleted object's handle fails every call (0, null or -1) and is never confused with a
/// later object. Every bitmap is kept as 8-bit RGBA, top row first, whatever it was made
/// from.

#include <cstdint>
#include <vector>

#include "foundation/host/base/win32_types.h"

using HGDIOBJ = void*;
using HANDLE = void*;

/// A Win32 colour value: red in the low byte, then green, then blue.
using COLORREF = DWORD;
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

struct RGBQUAD {
    BYTE rgbBlue = 0;
    BYTE rgbGreen = 0;
    BYTE rgbRed = 0;
    BYTE rgbReserved = 0;
};

struct BITMAPINFOHEADER {
    DWORD biSize = 40;
    LONG biWidth = 0;
    LONG biHeight = 0;  ///< positive: rows bottom-up; negative: top-down
    WORD biPlanes = 1;
    WORD biBitCount = 0;
    DWORD biCompression = 0;  ///< BI_RGB
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;  ///< palette entries of an 8-bit DIB; 0 means 256
    DWORD biClrImportant = 0;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];  ///< the palette of an 8-bit DIB continues past this entry
};

/// What GetObjectA reports of a bitmap.
struct BITMAP {
    LONG bmType = 0;
    LONG bmWidth = 0;
    LONG bmHeight = 0;
    LONG bmWidthBytes = 0;
    WORD bmPlanes = 1;
    WORD bmBitsPixel = 32;
    LPVOID bmBits = nullptr;
};

inline constexpr DWORD BI_RGB = 0;
inline constexpr DWORD CBM_INIT = 0x04;
inline constexpr UINT DIB_RGB_COLORS = 0;
inline constexpr UINT DIB_PAL_COLORS = 1;

/// Image list flags.
inline constexpr UINT ILC_MASK = 0x0001;
inline constexpr UINT ILC_COLOR = 0x0000;
inline constexpr UINT ILC_COLORDDB = 0x00FE;
inline constexpr UINT ILC_COLOR4 = 0x0004;
inline constexpr UINT ILC_COLOR8 = 0x0008;
inline constexpr UINT ILC_COLOR16 = 0x0010;
inline constexpr UINT ILC_COLOR24 = 0x0018;
inline constexpr UINT ILC_COLOR32 = 0x0020;

/// Standard cursors (LoadCursorA with a null instance).
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_CROSS MAKEINTRESOURCEA(32515)
#define IDC_SIZEWE MAKEINTRESOURCEA(32644)
#define IDC_SIZENS MAKEINTRESOURCEA(32645)
#define IDC_NO MAKEINTRESOURCEA(32648)
#define IDC_HAND MAKEINTRESOURCEA(32649)

// ---- Bitmaps -------------------------------------------------------------------------------

/// Loads BITMAP resource `name` (MAKEINTRESOURCE(id) or "#id") of module `instance` into a
/// new bitmap the caller deletes with DeleteObject. Null when there is no such resource.
HBITMAP LoadBitmapA(HINSTANCE instance, const char* name);
inline HBITMAP LoadBitmap(HINSTANCE instance, const char* name) {
    return LoadBitmapA(instance, name);
}
/// Makes a bitmap of the header's size. With CBM_INIT it takes its pixels from `bits`,
/// described by `info` (BI_RGB; 24 or 32 bits per pixel, or 8 with `info`'s palette; rows
/// padded to 4 bytes; bottom-up for a positive height, top-down for a negative one;
/// DIB_RGB_COLORS); otherwise it starts black. `hdc` is not needed. Null for a missing
/// header, a size of 0 or below, or bits it cannot read.
HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage);
/// Deletes a bitmap. A window that still shows it shows nothing from then on (its handle
/// is stale), so callers set a new image first and delete the old one after. FALSE for a
/// handle that is not a live bitmap.
BOOL DeleteObject(HGDIOBJ object);
/// Fills a BITMAP for a live bitmap and answers the bytes written; with a null buffer
/// answers the size needed. 0 for anything else or a buffer too small.
int GetObjectA(HANDLE object, int size, LPVOID buffer);
inline int GetObject(HANDLE object, int size, LPVOID buffer) {
    return GetObjectA(object, size, buffer);
}

// ---- Device contexts ------------------------------------------------------------------------

/// A drawing context for a window of the calling thread (null: the screen); give it back
/// with ReleaseDC. Null for a stale window.
HDC GetDC(HWND hwnd);
/// Answers 1 when `hdc` came from GetDC for `hwnd` and is now released, 0 otherwise.
int ReleaseDC(HWND hwnd, HDC hdc);

// ---- Image lists -----------------------------------------------------------------------------

/// An empty list of images of `cx` by `cy` pixels. `initial` and `grow` are capacity hints.
/// Null for a size of 0 or below.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
/// Adds the images of `image`, cut left to right into pieces `cx` wide (a narrower bitmap
/// adds nothing; missing rows stay black). With ILC_MASK and a mask, a mask pixel that is
/// not black makes the image pixel transparent. The list copies the pixels; the caller
/// still owns both bitmaps. Answers the index of the first image added, or -1.
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
BOOL ImageList_Destroy(HIMAGELIST list);

// ---- Cursors -------------------------------------------------------------------------------

/// A standard cursor (null instance, IDC_*); null for anything else.
HCURSOR LoadCursorA(HINSTANCE instance, const char* name);
inline HCURSOR LoadCursor(HINSTANCE instance, const char* name) {
    return LoadCursorA(instance, name);
}
/// Makes `cursor` the current cursor and answers the previous one.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();

namespace loom {

/// Pixels of a bitmap or an image: 8-bit R, G, B, A, top row first.
struct BitmapPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

/// Copies a live bitmap's pixels; false for a stale or unknown handle.
bool ReadBitmap(HBITMAP bitmap, BitmapPixels* out);
/// Copies image `index` of a live image list (transparent pixels have alpha 0).
bool ReadImageListImage(HIMAGELIST list, int index, BitmapPixels* out);
/// Live bitmaps, image lists and device contexts (for leak checks).
int GdiObjectCount();
int ImageListCount();
int DeviceContextCount();
/// The standard cursor ID of a cursor handle (32512 for IDC_ARROW), 0 for none.
int CursorId(HCURSOR cursor);

}  // namespace loom

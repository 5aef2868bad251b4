// Bitmaps, device contexts, image lists and cursors.
#include "foundation/host/win32/win32_gdi.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "foundation/host/win32/resources.h"
#include "foundation/host/win32/win32.h"
#include "foundation/host/win32/win32_internal.h"

namespace {

struct BitmapObject {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // top row first
};

struct ImageListObject {
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    std::vector<std::vector<std::uint8_t>> images;  // cx * cy RGBA each
};

struct DeviceContext {
    HWND window = nullptr;  // null: the screen
};

// Handles of every kind come from one counter, so that no two objects ever share one.
struct Gdi {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, BitmapObject> bitmaps;
    std::unordered_map<std::uintptr_t, ImageListObject> lists;
    std::unordered_map<std::uintptr_t, DeviceContext> dcs;
    std::uintptr_t next = 0x7E0000;
};

Gdi& G() {
    static Gdi* g = new Gdi;  // leaked: objects may be deleted from static destructors
    return *g;
}

std::uintptr_t NewHandleLocked() {
    std::uintptr_t h = G().next;
    G().next += 4;
    return h;
}

template <typename H>
std::uintptr_t Key(H h) {
    return reinterpret_cast<std::uintptr_t>(h);
}

HBITMAP AddBitmap(BitmapObject bm) {
    std::lock_guard lock(G().mutex);
    std::uintptr_t h = NewHandleLocked();
    G().bitmaps.emplace(h, std::move(bm));
    return reinterpret_cast<HBITMAP>(h);
}

// The bitmap ID named by MAKEINTRESOURCE(id) or "#id"; -1 for anything else.
int ResourceId(const char* name) {
    if (!name) return -1;
    if (IS_INTRESOURCE(name)) return static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
    if (name[0] != '#' || name[1] == '\0') return -1;
    char* end = nullptr;
    long v = std::strtol(name + 1, &end, 10);
    return (*end == '\0' && v >= 0 && v <= 0xFFFF) ? static_cast<int>(v) : -1;
}

// Standard cursors are fixed handles: a base plus the cursor ID.
constexpr std::uintptr_t kCursorBase = 0x7C0000;
constexpr int kCursorIds[] = {32512, 32513, 32514, 32515, 32644, 32645, 32648, 32649};
std::atomic<HCURSOR> gCursor{reinterpret_cast<HCURSOR>(kCursorBase + 32512)};

}  // namespace

// ---- Device contexts of windows ---------------------------------------------------------------

namespace {

HDC OpenWindowDC(HWND hwnd) {
    std::lock_guard lock(G().mutex);
    std::uintptr_t h = NewHandleLocked();
    G().dcs.emplace(h, DeviceContext{hwnd});
    return reinterpret_cast<HDC>(h);
}

bool CloseWindowDC(HWND hwnd, HDC hdc) {
    std::lock_guard lock(G().mutex);
    auto it = G().dcs.find(Key(hdc));
    if (it == G().dcs.end() || it->second.window != hwnd) return false;
    G().dcs.erase(it);
    return true;
}

}  // namespace

// ---- Bitmaps
// --------------------------------------------------------------------------------------

HBITMAP LoadBitmapA(HINSTANCE instance, const char* name) {
    const loom::BitmapResource* res = loom::FindBitmap(instance, ResourceId(name));
    if (!res || res->width <= 0 || res->height <= 0) return nullptr;
    BitmapObject bm;
    bm.width = res->width;
    bm.height = res->height;
    bm.rgba = res->rgba;
    return AddBitmap(std::move(bm));
}

HBITMAP CreateDIBitmap(HDC, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage) {
    if (!header || header->biWidth <= 0 || header->biHeight == 0) return nullptr;
    const long long width = header->biWidth;
    const long long height =
        header->biHeight < 0 ? -static_cast<long long>(header->biHeight) : header->biHeight;
    if (width * height > (1LL << 28)) return nullptr;  // far beyond any panel picture
    BitmapObject bm;
    bm.width = static_cast<int>(width);
    bm.height = static_cast<int>(height);
    bm.rgba.assign(static_cast<std::size_t>(width * height) * 4, 0);
    for (std::size_t i = 3; i < bm.rgba.size(); i += 4) bm.rgba[i] = 255;
    if (init & CBM_INIT) {
        if (!bits || !info || usage != DIB_RGB_COLORS) return nullptr;
        const BITMAPINFOHEADER& src = info->bmiHeader;
        const int bpp = src.biBitCount;
        if (src.biCompression != BI_RGB || src.biWidth <= 0 || src.biHeight == 0) return nullptr;
        if (bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
        const long long srcW = src.biWidth;
        const bool topDown = src.biHeight < 0;
        const long long srcH = topDown ? -static_cast<long long>(src.biHeight) : src.biHeight;
        const long long stride = (srcW * bpp + 31) / 32 * 4;
        const DWORD colours = bpp == 8 ? (src.biClrUsed ? src.biClrUsed : 256) : 0;
        if (colours > 256) return nullptr;
        const auto* in = static_cast<const std::uint8_t*>(bits);
        for (long long y = 0; y < height && y < srcH; ++y) {
            const long long row = topDown ? y : srcH - 1 - y;
            const std::uint8_t* p = in + row * stride;
            for (long long x = 0; x < width && x < srcW; ++x) {
                std::uint8_t* out = &bm.rgba[static_cast<std::size_t>((y * width + x) * 4)];
                if (bpp == 8) {
                    const std::uint8_t index = p[x];
                    if (index >= colours) continue;  // outside the palette: black
                    const RGBQUAD& q = info->bmiColors[index];
                    out[0] = q.rgbRed;
                    out[1] = q.rgbGreen;
                    out[2] = q.rgbBlue;
                } else {
                    const std::uint8_t* px = p + x * (bpp / 8);
                    out[0] = px[2];  // DIB pixels are blue, green, red
                    out[1] = px[1];
                    out[2] = px[0];
                }
            }
        }
    }
    return AddBitmap(std::move(bm));
}

BOOL DeleteObject(HGDIOBJ object) {
    std::lock_guard lock(G().mutex);
    return G().bitmaps.erase(Key(object)) ? TRUE : FALSE;
}

int GetObjectA(HANDLE object, int size, LPVOID buffer) {
    std::lock_guard lock(G().mutex);
    auto it = G().bitmaps.find(Key(object));
    if (it == G().bitmaps.end()) return 0;
    if (!buffer) return static_cast<int>(sizeof(BITMAP));
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP bm;
    bm.bmWidth = it->second.width;
    bm.bmHeight = it->second.height;
    bm.bmWidthBytes = it->second.width * 4;
    std::memcpy(buffer, &bm, sizeof bm);
    return static_cast<int>(sizeof(BITMAP));
}

// ---- Device contexts --------------------------------------------------------------------------

HDC GetDC(HWND hwnd) {
    if (hwnd && !IsWindow(hwnd)) return nullptr;
    if (hwnd) {
        // Only the window's own thread may draw on it.
        RECT r;
        if (!GetWindowRect(hwnd, &r)) return nullptr;
    }
    return OpenWindowDC(hwnd);
}

int ReleaseDC(HWND hwnd, HDC hdc) { return CloseWindowDC(hwnd, hdc) ? 1 : 0; }

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    if (!ps) return nullptr;
    bool erase = false;
    RECT update;
    if (!loom::detail::TakeUpdateRegion(hwnd, &update, &erase)) return nullptr;
    *ps = PAINTSTRUCT{};
    ps->hdc = OpenWindowDC(hwnd);
    ps->rcPaint = update;
    if (erase) {
        ps->fErase =
            SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(ps->hdc), 0) ? FALSE : TRUE;
    }
    return ps->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (!ps) return FALSE;
    CloseWindowDC(hwnd, ps->hdc);
    return TRUE;
}

// ---- Image lists ------------------------------------------------------------------------------

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int) {
    if (cx <= 0 || cy <= 0 || initial < 0) return nullptr;
    std::lock_guard lock(G().mutex);
    std::uintptr_t h = NewHandleLocked();
    ImageListObject list;
    list.cx = cx;
    list.cy = cy;
    list.flags = flags;
    list.images.reserve(static_cast<std::size_t>(initial));
    G().lists.emplace(h, std::move(list));
    return reinterpret_cast<HIMAGELIST>(h);
}

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
    std::lock_guard lock(G().mutex);
    auto li = G().lists.find(Key(list));
    auto bi = G().bitmaps.find(Key(image));
    if (li == G().lists.end() || bi == G().bitmaps.end()) return -1;
    ImageListObject& l = li->second;
    const BitmapObject& bm = bi->second;
    const BitmapObject* m = nullptr;
    if (l.flags & ILC_MASK) {
        auto mi = G().bitmaps.find(Key(mask));
        if (mi != G().bitmaps.end()) m = &mi->second;
    }
    int count = bm.width / l.cx;
    if (count == 0) return -1;
    int first = static_cast<int>(l.images.size());
    for (int k = 0; k < count; ++k) {
        std::vector<std::uint8_t> px(static_cast<std::size_t>(l.cx) * l.cy * 4, 0);
        for (int y = 0; y < l.cy; ++y) {
            for (int x = 0; x < l.cx; ++x) {
                std::uint8_t* out = &px[(static_cast<std::size_t>(y) * l.cx + x) * 4];
                out[3] = 255;
                if (y >= bm.height) continue;
                const int sx = k * l.cx + x;
                const std::uint8_t* in =
                    &bm.rgba[(static_cast<std::size_t>(y) * bm.width + sx) * 4];
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                if (m && y < m->height && sx < m->width) {
                    const std::uint8_t* mp =
                        &m->rgba[(static_cast<std::size_t>(y) * m->width + sx) * 4];
                    if (mp[0] | mp[1] | mp[2]) out[3] = 0;
                }
            }
        }
        l.images.push_back(std::move(px));
    }
    return first;
}

int ImageList_GetImageCount(HIMAGELIST list) {
    std::lock_guard lock(G().mutex);
    auto it = G().lists.find(Key(list));
    return it == G().lists.end() ? 0 : static_cast<int>(it->second.images.size());
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
    std::lock_guard lock(G().mutex);
    auto it = G().lists.find(Key(list));
    if (it == G().lists.end() || !cx || !cy) return FALSE;
    *cx = it->second.cx;
    *cy = it->second.cy;
    return TRUE;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
    std::lock_guard lock(G().mutex);
    return G().lists.erase(Key(list)) ? TRUE : FALSE;
}

// ---- Cursors ---------------------------------------------------------------------------------

HCURSOR LoadCursorA(HINSTANCE instance, const char* name) {
    if (instance || !name || !IS_INTRESOURCE(name)) return nullptr;
    int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
    for (int known : kCursorIds) {
        if (known == id) return reinterpret_cast<HCURSOR>(kCursorBase + static_cast<unsigned>(id));
    }
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) { return gCursor.exchange(cursor); }

HCURSOR GetCursor() { return gCursor.load(); }

namespace loom {

bool ReadBitmap(HBITMAP bitmap, BitmapPixels* out) {
    if (!out) return false;
    std::lock_guard lock(G().mutex);
    auto it = G().bitmaps.find(Key(bitmap));
    if (it == G().bitmaps.end()) return false;
    out->width = it->second.width;
    out->height = it->second.height;
    out->rgba = it->second.rgba;
    return true;
}

bool ReadImageListImage(HIMAGELIST list, int index, BitmapPixels* out) {
    if (!out) return false;
    std::lock_guard lock(G().mutex);
    auto it = G().lists.find(Key(list));
    if (it == G().lists.end() || index < 0 || index >= static_cast<int>(it->second.images.size())) {
        return false;
    }
    out->width = it->second.cx;
    out->height = it->second.cy;
    out->rgba = it->second.images[static_cast<std::size_t>(index)];
    return true;
}

int GdiObjectCount() {
    std::lock_guard lock(G().mutex);
    return static_cast<int>(G().bitmaps.size());
}

int ImageListCount() {
    std::lock_guard lock(G().mutex);
    return static_cast<int>(G().lists.size());
}

int DeviceContextCount() {
    std::lock_guard lock(G().mutex);
    return static_cast<int>(G().dcs.size());
}

int CursorId(HCURSOR cursor) {
    auto v = reinterpret_cast<std::uintptr_t>(cursor);
    for (int known : kCursorIds) {
        if (v == kCursorBase + static_cast<unsigned>(known)) return known;
    }
    return 0;
}

}  // namespace loom

#include "dioptrix/dioptrix_filter.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "dioptrix/composite.h"
#include "dioptrix/library.h"
#include "dioptrix/resource.h"
#include "foundation/host/sdk/plugin_api.h"
#include "foundation/host/win32/win32.h"

namespace {

/// A line of pixels that starts on a cache line, so that no 64-byte load or store of the
/// composition, or of the host's conversions into and out of it, straddles two.
struct AlignedLineDelete {
    void operator()(BMM_Color_64* line) const noexcept {
        ::operator delete[](line, std::align_val_t{64});
    }
};
using Line = std::unique_ptr<BMM_Color_64[], AlignedLineDelete>;

/// A line of `width` black pixels; null when the memory cannot be had.
Line NewLine(int width) {
    const size_t count = static_cast<size_t>(width);
    void* bytes =
        ::operator new[](count * sizeof(BMM_Color_64), std::align_val_t{64}, std::nothrow);
    if (!bytes) return nullptr;
    auto* line = static_cast<BMM_Color_64*>(bytes);
    std::uninitialized_value_construct_n(line, count);
    return Line(line);
}

}  // namespace

const TCHAR* DioptrixFilter::Description() noexcept { return LoadLibString(IDS_DESCRIPTION); }
const TCHAR* DioptrixFilter::AuthorName() noexcept { return LoadLibString(IDS_AUTHOR); }
const TCHAR* DioptrixFilter::CopyrightMessage() noexcept { return LoadLibString(IDS_COPYRIGHT); }

BOOL DioptrixFilter::LoadConfigure(void* ptr) noexcept {
    if (!ptr) return FALSE;
    config = DecodeConfig(static_cast<const std::uint8_t*>(ptr));
    return TRUE;
}

BOOL DioptrixFilter::SaveConfigure(void* ptr) noexcept {
    if (!ptr) return FALSE;
    EncodeConfig(config, static_cast<std::uint8_t*>(ptr));
    return TRUE;
}

BOOL DioptrixFilter::Render(HWND hWnd) noexcept {
    return loom::NoThrowCall<BOOL>(FALSE, [&] { return ComposeLines(hWnd); });
}

BOOL DioptrixFilter::ComposeLines(HWND hWnd) {
    // Foreign data may hold any bytes; render as the setup dialog would show them.
    const LineComposer composer = MakeLineComposer(ConfigInRange(config));
    if (!srcmap || !frgmap) return FALSE;
    const int ws = loom::StorageWidth(srcmap);
    const int hs = loom::StorageHeight(srcmap);
    if (ws == 0 || hs == 0) return TRUE;
    const Line a = NewLine(ws);
    const Line b = NewLine(ws);
    if (!a || !b) return FALSE;
    const int wf = std::min(ws, loom::StorageWidth(frgmap));
    const int hf = loom::StorageHeight(frgmap);
    std::int32_t abortFlag = 0;
    for (int y = 0; y < hs; ++y) {
        if (y % 8 == 0) SendMessage(hWnd, FLT_PROGRESS, static_cast<WPARAM>(y), hs - 1);
        SendMessage(hWnd, FLT_CHECKABORT, 0, reinterpret_cast<LPARAM>(&abortFlag));
        if (abortFlag != 0) return FALSE;
        if (srcmap->GetPixels(0, y, ws, a.get()) != 1) return FALSE;
        if (y < hf) {
            // Pixels from wf on are never read: a narrower foreground is black there.
            if (frgmap->GetPixels(0, y, wf, b.get()) != 1) return FALSE;
        } else if (y == hf) {
            // Below the foreground, black. Composition never writes to b, so one fill
            // serves every line from here on.
            std::fill(b.get(), b.get() + ws, BMM_Color_64{});
        }
        // Two lines ahead: the next line's reads would find their read-ahead still on its
        // way from memory (16-bit packed frames composed about 3% slower).
        const ReadAhead next{loom::StorageLine(srcmap, y + 2), loom::StorageLine(frgmap, y + 2)};
        ComposeLine(composer, a.get(), b.get(), ws, next);
        if (srcmap->PutPixels(0, y, ws, a.get()) != 1) return FALSE;
    }
    return TRUE;
}

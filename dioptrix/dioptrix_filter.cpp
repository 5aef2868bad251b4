#include "dioptrix/dioptrix_filter.h"

#include <algorithm>
#include <cstdint>

#include "dioptrix/composite.h"
#include "dioptrix/library.h"
#include "dioptrix/resource.h"
#include "dioptrix/strip_composition.h"
#include "foundation/host/sdk/plugin_api.h"
#include "foundation/host/win32/win32.h"

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
    StripLines lines(ws, StripPixels());
    if (!lines.Ready()) return FALSE;
    std::int32_t abortFlag = 0;
    for (int y = 0; y < hs; ++y) {
        if (y % 8 == 0) SendMessage(hWnd, FLT_PROGRESS, static_cast<WPARAM>(y), hs - 1);
        SendMessage(hWnd, FLT_CHECKABORT, 0, reinterpret_cast<LPARAM>(&abortFlag));
        if (abortFlag != 0) return FALSE;
        if (!ComposeLineInStrips(composer, *srcmap, frgmap, y, lines)) return FALSE;
    }
    return TRUE;
}

#include "params.h"

namespace {

// clang-format off
constexpr loom::ParamRow kRows[] = {
    LOOM_COLOR_ROW(kWeftWarp,    WeftCache, warpColor, "Warp",    true, 0.15f, 0.2f, 0.45f),
    LOOM_COLOR_ROW(kWeftWeft,    WeftCache, weftColor, "Weft",    true, 0.9f, 0.8f, 0.55f),
    LOOM_FLOAT_ROW(kWeftThreads, WeftCache, threads,   "Threads", true, 8.0f),
    LOOM_FLOAT_ROW(kWeftWidth,   WeftCache, width,     "Width",   true, 0.8f),
    LOOM_FLOAT_ROW(kWeftGap,     WeftCache, gap,       "Gap",     true, 0.5f),
};
// clang-format on
static_assert(loom::RowsInEnumOrder(kRows, kWeftParamCount));

constexpr int kResetOrder[] = {kWeftWarp, kWeftWeft, kWeftThreads, kWeftWidth, kWeftGap};
static_assert(std::size(kResetOrder) == kWeftParamCount);

constexpr int kColorRows[] = {kWeftWarp, kWeftWeft};
constexpr const char* kSlotNames[] = {"Warp", "Weft"};

constexpr auto kLayout1 = loom::MakeLayout<kWeftParamCount>(kRows);

}  // namespace

const loom::TextureInfo kWeftInfo = {
    "Example \xB7 Weft 1.0",
    "Weft",
    Class_ID(0x2D7A41C3, 0x6B1E0F55),
    "WeftTemp",
    kRows,
    kResetOrder,
    kColorRows,
    kSlotNames,
    kWeftVersion,
    kLayout1,
    {},
    false,
};

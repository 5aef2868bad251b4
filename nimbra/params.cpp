#include "nimbra/params.h"

namespace {

using C = NimbraCache;

// clang-format off
constexpr loom::ParamRow kRows[] = {
    LOOM_COLOR_ROW(kNimbraCloud,     C, cloudColor,    "Cloud",      true, 9.0f, 9.0f, 1.0f),
    LOOM_COLOR_ROW(kNimbraSky,       C, skyColor,      "Sky",        true, 0.4f, 0.4f, 1.0f),
    LOOM_FLOAT_ROW(kNimbraContrast,  C, contrast,      "Contrast",   true, 1.0f),
    LOOM_FLOAT_ROW(kNimbraDetail,    C, detail,        "Detail",     true, 7.0f),
    LOOM_FLOAT_ROW(kNimbraDensity,   C, density,       "Density",    true, 0.6f),
    LOOM_FLOAT_ROW(kNimbraSoftening, C, softening,     "Softening",  true, 0.5f),
    LOOM_FLOAT_ROW(kNimbraUScale,    C, uScale,        "U Scale",    true, 25.0f),
    LOOM_FLOAT_ROW(kNimbraVScale,    C, vScale,        "V Scale",    true, 25.0f),
    LOOM_FLOAT_ROW(kNimbraUShift,    C, uShift,        "U Shift",    true, 0.0f),
    LOOM_FLOAT_ROW(kNimbraVShift,    C, vShift,        "V Shift",    true, 0.0f),
    LOOM_FLOAT_ROW(kNimbraUWaveform, C, uWaveform,     "U Waveform", true, 25.0f),
    LOOM_FLOAT_ROW(kNimbraVWaveform, C, vWaveform,     "V Waveform", true, 25.0f),
    LOOM_INT_ROW(kNimbraPositive,    C, positiveBlend, "Positive",   false, 1),
    LOOM_INT_ROW(kNimbraNegative,    C, negativeBlend, "Negative",   false, 0),
};
static_assert(loom::RowsInEnumOrder(kRows, kNimbraParamCount));

constexpr int kResetOrder[] = {
    kNimbraCloud, kNimbraSky, kNimbraContrast, kNimbraDetail, kNimbraDensity, kNimbraSoftening,
    kNimbraPositive, kNimbraNegative, kNimbraUScale, kNimbraVScale, kNimbraUShift, kNimbraVShift,
    kNimbraUWaveform, kNimbraVWaveform,
};
// clang-format on
static_assert(std::size(kResetOrder) == kNimbraParamCount);

constexpr int kColorRows[] = {kNimbraCloud, kNimbraSky};
constexpr const char* kSlotNames[] = {"Cloud", "Sky"};

constexpr auto kLayout12 = loom::MakeLayout<kNimbraParamCount>(kRows);
constexpr auto kLayout11 = loom::MakeLayout<kNimbraVersion11Rows>(kRows);
const ParamVersionDesc kOlderLayouts[] = {
    {kLayout11.data(), kNimbraVersion11Rows, kNimbraVersion11},
};

}  // namespace

const loom::TextureInfo kNimbraInfo = {
    "Loomwork \xB7 Nimbra 1.0",
    "TLC Nimbra",
    Class_ID(0x5E655D34, 0x28AE6F01),
    "NimbraTemp",
    kRows,
    kResetOrder,
    kColorRows,
    kSlotNames,
    kNimbraVersion,
    kLayout12,
    kOlderLayouts,
    false,
};

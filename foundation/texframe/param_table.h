#pragma once
/// A texture's parameter table as data: one row per parameter block row, in row order,
/// each declared with its row enum and bound to the cache field Update copies it into.
/// Both are checked at compile time: a float row can only name a float field, and
/// `static_assert(loom::RowsInEnumOrder(kRows, kOndraParamCount))` holds only when row i
/// is the one declared for enum value i and the enum counts the rows.

#include <array>
#include <cstddef>
#include <span>
#include <type_traits>

#include "foundation/host/base/core.h"
#include "foundation/host/sdk/pblock.h"

namespace loom {

struct ParamRow {
    int key;           ///< the row enum value it was declared for
    const char* name;  ///< the name answered to the host's name query
    ParamType type;
    bool animatable;
    ParamValue def;  ///< default: floats and ints in v[0], colours in v[0..2]
    size_t offset;   ///< byte offset of the cache field
};

/// One older layout of the block and its version number.
struct ParamLayout {
    std::span<const ParamBlockDescID> rows;
    DWORD version;
};

template <bool Matches>
constexpr size_t CheckedOffset(size_t offset) {
    static_assert(Matches, "the cache field's type does not match its parameter row");
    return offset;
}

}  // namespace loom

#define LOOM_FIELD(Cache, field, Type) \
    ::loom::CheckedOffset<std::is_same_v<decltype(Cache::field), Type>>(offsetof(Cache, field))

/// Row makers: LOOM_FLOAT_ROW(kOndraScale, Cache, field, "Name", animatable, default).
#define LOOM_FLOAT_ROW(key, Cache, field, name, anim, def)                                \
    ::loom::ParamRow {                                                                    \
        key, name, TYPE_FLOAT, anim, {{def, 0.0f, 0.0f}}, LOOM_FIELD(Cache, field, float) \
    }
#define LOOM_INT_ROW(key, Cache, field, name, anim, def)                    \
    ::loom::ParamRow {                                                      \
        key, name, TYPE_INT, anim, {{static_cast<float>(def), 0.0f, 0.0f}}, \
            LOOM_FIELD(Cache, field, int)                                   \
    }
#define LOOM_COLOR_ROW(key, Cache, field, name, anim, r, g, b) \
    ::loom::ParamRow { key, name, TYPE_RGBA, anim, {{r, g, b}}, LOOM_FIELD(Cache, field, Color) }

namespace loom {

/// True when there are `count` rows and row i was declared for row enum value i.
constexpr bool RowsInEnumOrder(std::span<const ParamRow> rows, int count) {
    if (rows.size() != static_cast<size_t>(count)) return false;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].key != static_cast<int>(i)) return false;
    }
    return true;
}

/// The host's row table for the first N rows of a parameter table.
template <size_t N>
constexpr std::array<ParamBlockDescID, N> MakeLayout(std::span<const ParamRow> rows) {
    std::array<ParamBlockDescID, N> out{};
    for (size_t i = 0; i < N; ++i) {
        out[i] = {rows[i].type, nullptr, rows[i].animatable ? TRUE : FALSE, static_cast<DWORD>(i)};
    }
    return out;
}

}  // namespace loom

#pragma once
/// Weft's parameters: the cache the pattern reads and the parameter table.

#include "foundation/texframe/tex_frame.h"

/// Values copied from the parameter block at Update.
struct WeftCache {
    Color warpColor;
    Color weftColor;
    float threads = 0.0f;  ///< threads across one unit of U and of V
    float width = 0.0f;    ///< a thread's width as a part of its cell, 0..1
    float gap = 0.0f;      ///< weight of the colours' mix seen between threads, 0..1
};

/// Row indices of the parameter block (each row's ID equals its index).
enum WeftParam { kWeftWarp = 0, kWeftWeft, kWeftThreads, kWeftWidth, kWeftGap, kWeftParamCount };

/// Colour indices of the colour setter and sub-map slots.
enum WeftSlot { kWeftWarpSlot = 0, kWeftWeftSlot = 1 };

inline constexpr DWORD kWeftVersion = 1;

/// Identity, table and layout of the class.
extern const loom::TextureInfo kWeftInfo;
inline constexpr const char* kWeftLibDescription = "Weft 1.0 -- example texture for loomhost";

#pragma once
/// Nimbra's parameters: the cache the pattern reads and the parameter table.

#include <array>
#include <span>

#include "foundation/texframe/pattern_variation.h"
#include "foundation/texframe/tex_frame.h"

/// Values copied from the parameter block at Update, in the order the texture keeps them.
struct NimbraCache {
    Color cloudColor;
    Color skyColor;
    float contrast = 0.0f;
    float detail = 0.0f;
    float softening = 0.0f;
    float density = 0.0f;
    float uScale = 0.0f;
    float vScale = 0.0f;
    float uShift = 0.0f;
    float vShift = 0.0f;
    float uWaveform = 0.0f;
    float vWaveform = 0.0f;
    int positiveBlend = 0;
    int negativeBlend = 0;
    /// Seed (the phases of the octaves) and tile; not a parameter row.
    loom::PatternVariation variation;
};

/// Row indices of the parameter block (each row's ID equals its index).
enum NimbraParam {
    kNimbraCloud = 0,
    kNimbraSky,
    kNimbraContrast,
    kNimbraDetail,
    kNimbraDensity,
    kNimbraSoftening,
    kNimbraUScale,
    kNimbraVScale,
    kNimbraUShift,
    kNimbraVShift,
    kNimbraUWaveform,
    kNimbraVWaveform,
    kNimbraPositive,
    kNimbraNegative,
    kNimbraParamCount
};

/// Colour indices of the colour setter and sub-map slots.
enum NimbraSlot { kNimbraCloudSlot = 0, kNimbraSkySlot = 1 };

inline constexpr DWORD kNimbraVersion = 12;
inline constexpr DWORD kNimbraVersion11 = 11;
inline constexpr int kNimbraVersion11Rows = 12;

/// Identity, table and layouts of the class.
extern const loom::TextureInfo kNimbraInfo;
inline constexpr const char* kNimbraLibDescription =
    "Nimbra 1.0 -- Tessaly Loomworks Collection (TLC)";

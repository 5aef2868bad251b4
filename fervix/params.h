#pragma once
/// Fervix's parameters: the cache the pattern reads and the parameter table with its five
/// layouts.

#include <array>
#include <span>

#include "foundation/texframe/pattern_variation.h"
#include "foundation/texframe/tex_frame.h"

/// Values copied from the parameter block at Update, in the order the texture keeps them.
struct FervixCache {
    Color primeColor;
    Color backColor;
    float uScale = 0.0f;
    float vScale = 0.0f;
    float phase = 0.0f;
    float intensity = 0.0f;
    float uOffset = 0.0f;
    float vOffset = 0.0f;
    float fallOff = 0.0f;
    float shiftX = 0.0f;
    float shiftY = 0.0f;
    float turbulenceScale = 0.0f;
    float fractalScale = 0.0f;
    int usePlasma = 0;
    int horizontalRadial = 0;
    int horizontalLinear = 0;
    int verticalRadial = 0;
    int verticalLinear = 0;
    int useFractalDetail = 0;
    int useTurbulence = 0;
    int plasmaAdd = 0;
    int plasmaSub = 0;
    int fractalAdd = 0;
    int fractalSub = 0;
    int turbulenceAdd = 0;
    int turbulenceSub = 0;
    int positiveBlend = 0;
    int negativeBlend = 0;
    /// Seed (its noise tables) and tile; not a parameter row.
    loom::PatternVariation variation;
};

/// Row indices of the parameter block (each row's ID equals its index).
enum FervixParam {
    kFervixPrime = 0,
    kFervixBack,
    kFervixUScale,
    kFervixVScale,
    kFervixUOffset,
    kFervixVOffset,
    kFervixPhase,
    kFervixIntensity,
    kFervixFallOff,
    kFervixHorizontalRadial,
    kFervixHorizontalLinear,
    kFervixVerticalRadial,
    kFervixVerticalLinear,
    kFervixUsePlasma,
    kFervixShiftX,
    kFervixShiftY,
    kFervixUseFractalDetail,
    kFervixTurbulenceScale,
    kFervixUseTurbulence,
    kFervixPlasmaAdd,
    kFervixPlasmaSub,
    kFervixFractalAdd,
    kFervixFractalSub,
    kFervixTurbulenceAdd,
    kFervixTurbulenceSub,
    kFervixFractalScale,
    kFervixPositive,
    kFervixNegative,
    kFervixParamCount
};

/// Colour indices of the colour setter and sub-map slots.
enum FervixSlot { kFervixPrimeSlot = 0, kFervixBackSlot = 1 };

/// The current layout's version; older scenes hold versions 1 to 4.
inline constexpr DWORD kFervixVersion = 5;

/// Row counts of the layouts of versions 1 to 5.
inline constexpr int kFervixLayoutRows[] = {14, 16, 19, 26, 28};

/// Fractal Scale given to scenes that lacked the blend flags.
inline constexpr float kFervixRepairFractalScale = 2.0f;

/// Identity, table and layouts of the class.
extern const loom::TextureInfo kFervixInfo;
inline constexpr const char* kFervixLibDescription =
    "Fervix 2.0 -- Tessaly Loomworks Collection (TLC)";

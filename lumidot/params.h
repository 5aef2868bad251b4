#pragma once
/// Lumidot's parameters: the cache the pattern reads and the parameter table.

#include <array>
#include <span>

#include "foundation/texframe/pattern_variation.h"
#include "foundation/texframe/tex_frame.h"

/// Values copied from the parameter block at Update, in the order the texture keeps them.
/// The wave across u reads the Horizontal phase and iteration with the Vertical shape,
/// thresholds and switch; the wave across v the other way round (each wave is named after
/// the bands it draws, its phase after the coordinate it runs along).
struct LumidotCache {
    Color highColor;
    Color lowColor;
    float horizontalPhase = 0.0f;
    float horizontalIteration = 0.0f;
    float verticalPhase = 0.0f;
    float verticalIteration = 0.0f;
    float verticalLowThreshold = 0.0f;
    float verticalHighThreshold = 0.0f;
    float horizontalHighThreshold = 0.0f;
    float horizontalLowThreshold = 0.0f;
    int verticalCosine = 0;
    int verticalSine = 0;
    int verticalPinch = 0;
    int horizontalCosine = 0;
    int horizontalSine = 0;
    int horizontalPinch = 0;
    int negativeBlend = 0;
    int positiveBlend = 0;
    int useVerticalColour = 0;
    int useHorizontalColour = 0;
    /// Tile (Lumidot has nothing random, so the seed changes nothing); not a row.
    loom::PatternVariation variation;
};

/// Row indices of the parameter block (each row's ID equals its index).
enum LumidotParam {
    kLumidotHigh = 0,
    kLumidotLow,
    kLumidotHorizontalPhase,
    kLumidotHorizontalIteration,
    kLumidotVerticalPhase,
    kLumidotVerticalIteration,
    kLumidotVerticalHighThreshold,
    kLumidotVerticalLowThreshold,
    kLumidotHorizontalHighThreshold,
    kLumidotHorizontalLowThreshold,
    kLumidotVerticalSine,
    kLumidotVerticalCosine,
    kLumidotHorizontalSine,
    kLumidotHorizontalCosine,
    kLumidotVerticalPinch,
    kLumidotHorizontalPinch,
    kLumidotNegative,
    kLumidotPositive,
    kLumidotUseVerticalColour,
    kLumidotUseHorizontalColour,
    kLumidotParamCount
};

/// Colour indices of the colour setter and sub-map slots.
enum LumidotSlot { kLumidotHighSlot = 0, kLumidotLowSlot = 1 };

inline constexpr DWORD kLumidotVersion = 12;
inline constexpr DWORD kLumidotVersion11 = 11;
inline constexpr int kLumidotVersion11Rows = 6;

/// The rows the repair after loading sets back to their defaults, in the order it sets
/// them: every row that the version 11 layout lacks.
inline constexpr int kLumidotRepairOrder[] = {
    kLumidotHorizontalLowThreshold,
    kLumidotHorizontalHighThreshold,
    kLumidotVerticalHighThreshold,
    kLumidotVerticalLowThreshold,
    kLumidotVerticalPinch,
    kLumidotHorizontalPinch,
    kLumidotVerticalSine,
    kLumidotVerticalCosine,
    kLumidotHorizontalSine,
    kLumidotHorizontalCosine,
    kLumidotPositive,
    kLumidotNegative,
    kLumidotUseVerticalColour,
    kLumidotUseHorizontalColour,
};

/// Identity, table and layouts of the class.
extern const loom::TextureInfo kLumidotInfo;
inline constexpr const char* kLumidotLibDescription =
    "Lumidot 2.0 -- Tessaly Loomworks Collection (TLC)";

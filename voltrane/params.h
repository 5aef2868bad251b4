#pragma once
/// Voltrane's parameters: the cache the pattern reads and the parameter table.

#include <array>
#include <span>

#include "foundation/texframe/pattern_variation.h"
#include "foundation/texframe/tex_frame.h"

/// Values copied from the parameter block at Update, in the order the texture keeps them.
/// Flags hold 0 or 1 and count as set only at exactly 1. Opacities are per channel and may
/// go beyond 1 (the result extrapolates away from the background).
struct VoltraneCache {
    Color bodyColor;
    Color edgeColor;
    Color backColor;
    int sweepPhase = 0;  ///< edge position in units of 1/150
    int applyWave = 0;
    int invertWave = 0;
    int beginAtEdge = 0;
    int additive = 0;
    int subtractive = 0;  ///< the "Algorithmic" combination
    float edgeNoise = 0.0f;
    float edgeSize = 0.0f;
    float edgeDensity = 0.0f;
    float wave1Size = 0.0f;
    float wave1Sync = 0.0f;
    float wave1Mult = 0.0f;
    float wave2Size = 0.0f;
    float wave2Sync = 0.0f;
    float wave2Mult = 0.0f;
    Color edgeOpacity;
    Color bodyOpacity;
    float radialU = 0.0f;
    float radialV = 0.0f;
    float shear = 0.0f;  ///< percent; exactly 1 switches the shear terms off
    int linearH = 0;
    int linearV = 0;
    int radial = 0;
    int shockwave = 0;
    int encase = 0;
    int diagonal = 0;
    int randomStatic = 0;
    float gooUScale = 0.0f;
    float gooVScale = 0.0f;
    float gooUShift = 0.0f;
    float gooVShift = 0.0f;
    float gooPhase = 0.0f;
    int cubic = 0;
    int goo = 0;
    int wave1Sin = 0;
    int wave1Cos = 0;
    int wave2Sin = 0;
    int wave2Cos = 0;
    /// Seed (the Goo noise's tables; the renderer seeds the draws) and tile; not a row.
    loom::PatternVariation variation;
};

/// Row indices of the parameter block (each row's ID equals its index).
enum VoltraneParam {
    kVoltraneEdgeNoise = 0,
    kVoltraneBodyColor,
    kVoltraneEdgeColor,
    kVoltraneBackColor,
    kVoltraneSweepPhase,
    kVoltraneEdgeSize,
    kVoltraneEdgeDensity,
    kVoltraneWave1Size,
    kVoltraneWave1Sync,
    kVoltraneWave1Mult,
    kVoltraneWave2Size,
    kVoltraneWave2Sync,
    kVoltraneWave2Mult,
    kVoltraneApplyWave,
    kVoltraneInvertWave,
    kVoltraneBeginAtEdge,
    kVoltraneAdditive,
    kVoltraneSubtractive,
    kVoltraneBodyOpacityR,
    kVoltraneBodyOpacityG,
    kVoltraneBodyOpacityB,
    kVoltraneEdgeOpacityR,
    kVoltraneEdgeOpacityG,
    kVoltraneEdgeOpacityB,
    kVoltraneShear,
    kVoltraneRadialU,
    kVoltraneRadialV,
    kVoltraneLinearH,
    kVoltraneLinearV,
    kVoltraneRadial,
    kVoltraneShockwave,
    kVoltraneEncase,
    kVoltraneDiagonal,
    kVoltraneRandomStatic,
    kVoltraneCubic,
    kVoltraneGoo,
    kVoltraneWave1Sin,
    kVoltraneWave1Cos,
    kVoltraneWave2Sin,
    kVoltraneWave2Cos,
    kVoltraneGooPhase,
    kVoltraneGooUScale,
    kVoltraneGooVScale,
    kVoltraneGooUShift,
    kVoltraneGooVShift,
    kVoltraneParamCount
};

/// Colour indices of the colour setter and sub-map slots.
enum VoltraneSlot { kVoltraneBody = 0, kVoltraneEdge = 1, kVoltraneBack = 2 };

inline constexpr DWORD kVoltraneVersion = 270;
/// The older layout: rows 0..33 only, every row animatable.
inline constexpr DWORD kVoltraneVersion200 = 200;
inline constexpr int kVoltraneVersion200Rows = 34;

/// Identity, table and layouts of the class.
extern const loom::TextureInfo kVoltraneInfo;
inline constexpr const char* kVoltraneLibDescription =
    "Voltrane 2.7 -- Tessaly Loomworks Collection (TLC)";

#pragma once
// The four texture classes as the shared frame tests see them: the class, what a user sees
// of it (class name, sub-map slots, first parameter's name), and settings that reach the
// branches of its pattern where evaluation does the most work.

#include <span>

#include "fervix/fervix_tex.h"
#include "foundation/texframe/tex_class_desc.h"
#include "lumidot/lumidot_tex.h"
#include "nimbra/nimbra_tex.h"
#include "voltrane/voltrane_tex.h"

namespace loomtest {

/// One row set to one value before sampling.
struct RowSetting {
    int row = -1;  ///< -1: no setting
    float value = 0.0f;
};

struct VoltraneKind {
    using Tex = VoltraneTex;
    static constexpr const loom::TextureInfo& kInfo = kVoltraneInfo;
    static constexpr const char* kClassName = "TLC Voltrane";
    static constexpr const char* kSlots[] = {"Body Color", "Edge Color", "Background"};
    static constexpr const char* kFirstParamName = "Edge Noise";
    /// Each shape alone, with the waveforms on and a noisy edge: goo builds the noise tables.
    static constexpr RowSetting kBusy[][5] = {
        {{kVoltraneSweepPhase, 70}, {kVoltraneEdgeNoise, 5}, {kVoltraneApplyWave, 1}},
        {{kVoltraneLinearH, 0}, {kVoltraneRadial, 1}, {kVoltraneSweepPhase, 70}},
        {{kVoltraneLinearH, 0}, {kVoltraneRandomStatic, 1}, {kVoltraneSweepPhase, 70}},
        {{kVoltraneLinearH, 0}, {kVoltraneGoo, 1}, {kVoltraneSweepPhase, 70}},
        {{kVoltraneLinearH, 0}, {kVoltraneEncase, 1}, {kVoltraneShear, 50}},
    };
};

struct FervixKind {
    using Tex = FervixTex;
    static constexpr const loom::TextureInfo& kInfo = kFervixInfo;
    static constexpr const char* kClassName = "TLC Fervix";
    static constexpr const char* kSlots[] = {"Prime", "Back"};
    static constexpr const char* kFirstParamName = "Prime";
    static constexpr RowSetting kBusy[][5] = {
        {{kFervixUseFractalDetail, 1}, {kFervixUseTurbulence, 1}, {kFervixTurbulenceScale, 8}},
        {{kFervixHorizontalRadial, 0}, {kFervixHorizontalLinear, 1}, {kFervixNegative, 1}},
    };
};

struct LumidotKind {
    using Tex = LumidotTex;
    static constexpr const loom::TextureInfo& kInfo = kLumidotInfo;
    static constexpr const char* kClassName = "TLC Lumidot";
    static constexpr const char* kSlots[] = {"High", "Low"};
    static constexpr const char* kFirstParamName = "High";
    static constexpr RowSetting kBusy[][5] = {
        {{kLumidotHorizontalPinch, 1}, {kLumidotVerticalPinch, 1}},
        {{kLumidotNegative, 1}, {kLumidotHorizontalHighThreshold, 0.2f}},
    };
};

struct NimbraKind {
    using Tex = NimbraTex;
    static constexpr const loom::TextureInfo& kInfo = kNimbraInfo;
    static constexpr const char* kClassName = "TLC Nimbra";
    static constexpr const char* kSlots[] = {"Cloud", "Sky"};
    static constexpr const char* kFirstParamName = "Cloud";
    static constexpr RowSetting kBusy[][5] = {
        {{kNimbraDetail, 15}, {kNimbraUShift, 25}},
        {{kNimbraNegative, 1}, {kNimbraContrast, 3}},
    };
};

}  // namespace loomtest

#pragma once
/// What a texture class's parameters are, for front-ends that build their own controls
/// (the Python module, the Blender add-on): each row's name, type, default and, where the
/// texture's panel edits it, the range its control offers. The parameter block knows
/// names, types and defaults; ranges live only in the panel, so they are found by opening
/// the panel of a scratch texture and working each control as a person would, watching
/// which row it moves.

#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "foundation/host/sdk/pblock.h"

namespace loom {

/// The panel control that edits a row.
enum class ParamControl { kNone, kSpinner, kSlider, kButton, kSwatch };

struct ParamInfo {
    std::string name;
    ParamType type = TYPE_FLOAT;
    bool animatable = false;
    ParamValue defaultValue;  ///< a new texture's value at time 0
    ParamControl control = ParamControl::kNone;
    /// The values the control reaches (colours: 0..1 per channel). Meaningful with a control.
    float min = 0.0f;
    float max = 0.0f;
    /// One step of the control in the row's units (a spinner's drag step, a slider's
    /// position), 0 when there is none.
    float step = 0.0f;
};

struct TextureInfo {
    std::vector<ParamInfo> params;  ///< in row order
    /// The texts of the panel's push buttons that change parameters when clicked (presets,
    /// palettes, mutations, "Swap"), in tab order.
    std::vector<std::string> buttons;
    std::vector<std::string> maps;  ///< sub-map slot names
};

/// Describes the class `className` from a scratch texture of it. Runs on the calling
/// thread, which owns the panel's windows while it works; uses the C runtime's generator
/// (mutation buttons draw from it), so callers that care keep their own state apart.
/// Throws std::runtime_error for an unknown class or one without a parameter block.
TextureInfo DescribeTextureClass(const PluginLoader& loader, const std::string& className);

/// "float", "int" or "color".
const char* ParamTypeName(ParamType type);

}  // namespace loom

#pragma once
/// A texture's parameters as a program that shows them in its own way needs them (GEGL
/// properties, frei0r parameters): name, kind, default and the range its panel offers.
/// The kinds and ranges are read from the texture's own panel, through the host's
/// interfaces only: each row is changed in turn on a texture made for the purpose and the
/// control that shows the change is looked at (a spinner's limits, a slider's range, a
/// check button).

#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/pblock.h"

namespace loom {

enum class ParamKind {
    kNumber,   ///< a float row
    kInteger,  ///< an int row shown by a spinner or a slider
    kFlag,     ///< an int row shown by a check or radio button: 0 or 1
    kColour,   ///< an RGB row, each channel 0..1 on the panel's swatch
};

struct ParamInfo {
    int row = 0;
    std::string name;  ///< as the texture answers it (the name --set takes)
    ParamType type = TYPE_FLOAT;
    ParamKind kind = ParamKind::kNumber;
    bool animatable = false;
    ParamValue def;  ///< the value of a new texture
    /// The panel's range; for rows no control shows, kUnboundedParam either way. Flags
    /// 0..1; colours 0..1 a channel.
    double min = 0.0, max = 0.0;
    bool rangeFromPanel = false;
};

/// The range given to a number no control of the panel shows.
inline constexpr double kUnboundedParam = 1e6;

/// The parameters of a new texture of class `className`, in row order (not of sub-maps).
/// Makes and deletes a texture of its own. Runs on the calling thread's window system;
/// callers hold the model lock (process_plugins.h) where there is one. Throws
/// std::runtime_error for an unknown class.
std::vector<ParamInfo> DescribeParams(const PluginLoader& loader, const std::string& className);

}  // namespace loom

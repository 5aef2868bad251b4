#pragma once
/// One picture of a texture from typed settings, for the front-ends inside other programs
/// (GEGL operations, frei0r sources): exactly what
/// `loomhost render CLASS --size WxH --time T --set NAME=VALUE ... [--seed N] [--tile]
/// [--tiles CxR]` writes, a fresh process's generator included.

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/jobs/tile_jobs.h"
#include "app/core/loader/plugin_loader.h"
#include "app/core/model/param_info.h"
#include "foundation/host/sdk/bitmap.h"

namespace loom {

/// How a front-end shows a row with controls of its own.
enum class ParamKind {
    kNumber,   ///< a float row
    kInteger,  ///< an int row edited by a spinner or a slider, or by no control
    kFlag,     ///< an int row edited by a check or radio button: 0 or 1
    kColour,   ///< an RGB row
};
ParamKind KindOf(const ParamInfo& p);

/// The range given to a number no control of the panel edits.
inline constexpr double kUnboundedParam = 1e6;
/// The range of a row: its control's (flags 0..1, colours 0..1 a channel), else
/// -kUnboundedParam..kUnboundedParam.
double RangeMin(const ParamInfo& p);
double RangeMax(const ParamInfo& p);

struct TextureSettings {
    std::string className;
    /// One value a row of `params` (DescribeTextureClass); a row whose value equals the new
    /// texture's is left alone, the others are set in row order, at frame 0.
    std::vector<ParamValue> values;
    int width = 256, height = 256;
    double frame = 0.0;  ///< the time rendered, in frames (30 a second)
    int threads = 1;
    /// The seed of every map of the tree, 0..kMaxTexSeed (`--seed`); 0, the default, keeps
    /// the maps' own.
    std::int64_t seed = 0;
    /// A seamless tile (`--tile`); with more than one copy (`--tiles CxR`, which implies the
    /// tile) the picture holds columns x rows copies of a tile of width / columns x
    /// height / rows pixels, and its size must hold whole tiles.
    bool tile = false;
    TileRepeat tiles;
};

/// The settings of a new texture: every row at its default.
TextureSettings DefaultTextureSettings(const std::string& className,
                                       const std::vector<ParamInfo>& params);

/// The `--set` text that gives row `info` the value `v` ("Name=1.5", "Name=0.1,0.2,0.3").
std::string SetText(const ParamInfo& info, const ParamValue& v);

/// Renders the colour output. Callers hold the model lock (process_plugins.h). Throws
/// std::runtime_error for a size outside 1..32768, a bad value, time, seed or tile count, a
/// size that holds no whole tiles, or when the memory cannot be had.
FloatImage RenderTextureSettings(const PluginLoader& loader, const std::vector<ParamInfo>& params,
                                 const TextureSettings& settings);

}  // namespace loom

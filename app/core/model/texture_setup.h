#pragma once
/// Creating textures by class name and setting their parameters, keys and sub-maps from
/// command-line text, through the host interfaces only (class descriptors, parameter
/// names answered by the texture, the parameter block, SetSubTexmap).

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/loader/plugin_loader.h"
#include "foundation/host/base/core.h"
#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/pblock.h"

namespace loom {

/// A new texture of the named class; throws std::runtime_error with a clear message.
Texmap* CreateTexture(const PluginLoader& loader, const std::string& className);

/// The texture's parameter block (its first reference that is one), or null.
IParamBlock* ParamBlockOf(Texmap* tex);
/// The name the texture answers for row i (empty when it answers none).
std::string ParamName(Texmap* tex, int i);
/// Row of the parameter called `name` (exact, then case-insensitive), or -1.
int FindParam(Texmap* tex, const std::string& name);
/// Index of the sub-map slot called `name`, or -1.
int FindSlot(Texmap* tex, const std::string& name);

/// Parses a value for a row of type `type`: a number, an integer, or "r,g,b".
ParamValue ParseParamValue(ParamType type, const std::string& text, const std::string& what);
/// Formats a row value for display.
std::string FormatParamValue(ParamType type, const ParamValue& v);

/// Applies "NAME=VALUE" at time t. NAME may be "Slot.NAME" to reach into a sub-map;
/// VALUE "map:CLASS" puts a new texture in a slot, "none" empties it. Throws
/// std::runtime_error on any mistake, before changing anything.
void ApplySet(const PluginLoader& loader, Texmap* tex, const std::string& text, TimeValue t);
/// Applies "NAME@FRAME=VALUE": a key at that frame (30 frames per second).
void ApplyKey(const PluginLoader& loader, Texmap* tex, const std::string& text);

/// Parses a seed: a whole number 0..kMaxTexSeed (texmap_variation.h). Throws
/// std::runtime_error naming `what`, the text and the range.
std::uint32_t ParseSeed(const std::string& text, const std::string& what);

/// Strict number parsing: the whole text must be one finite number.
double ParseNumber(const std::string& text, const std::string& what);

/// The last frame whose time fits the host's 32-bit ticks (kTicksPerFrame per frame); times
/// in frames (`--time`, `--key`) are limited to -kMaxFrame..kMaxFrame.
inline constexpr int kMaxFrame = 2147483647 / kTicksPerFrame;
/// Frames (may be fractional) to host ticks, rounded to the nearest tick. Throws
/// std::runtime_error giving the range when |frames| exceeds kMaxFrame.
TimeValue FramesToTicks(double frames);

}  // namespace loom

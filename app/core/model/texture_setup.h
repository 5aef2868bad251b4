#pragma once
/// Creating textures by class name and setting their parameters, keys and sub-maps from
/// typed values, through the host interfaces only (class descriptors, parameter names
/// answered by the texture, the parameter block, SetSubTexmap). Text such as `--set
/// NAME=VALUE` is read by the front-ends (app/cli/setting_text.h).

#include <cstdint>
#include <stdexcept>
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

/// A value the model sets. For a parameter: a number, a colour or a flag (0 or 1). For a
/// sub-map slot: a new texture of a class, an existing texture (shared, not copied), an
/// image file (a bitmap texture reading it), or nothing (the slot emptied).
struct ModelValue {
    enum class Kind { kNumber, kColour, kFlag, kNewMap, kMap, kImage, kNone };
    Kind kind = Kind::kNone;
    double number = 0.0;
    /// kColour: the components, R, G, B (a colour row takes exactly three).
    std::vector<double> colour;
    bool flag = false;
    std::string name;       ///< kNewMap: the class; kImage: the file
    Texmap* map = nullptr;  ///< kMap: the texture, not owned
    /// The value as the person wrote it, for messages (empty: the number, formatted).
    std::string given;

    static ModelValue Number(double d, std::string given = {});
    static ModelValue Colour(std::vector<double> components, std::string given = {});
    static ModelValue Flag(bool on);
    static ModelValue NewMap(std::string className);
    static ModelValue Map(Texmap* tex);
    static ModelValue Image(std::string path);
    static ModelValue None();
    /// Whether the value goes into a sub-map slot rather than a parameter.
    bool IsMap() const { return kind >= Kind::kNewMap; }
};

/// A parameter or sub-map slot that `owner` does not have. `slot`: a slot was named.
class UnknownNameError : public std::runtime_error {
  public:
    UnknownNameError(Texmap* owner, std::string name, bool slot);
    Texmap* owner;
    std::string name;
    bool slot;
};

/// A setting refused for what it is: an image that cannot be read, a parameter that
/// cannot be animated, a map value for a parameter. Front-ends add what they were asked.
class SettingError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// A map that its slot refused (a texture cannot hold itself).
class MapAssignError : public SettingError {
  public:
    using SettingError::SettingError;
};

/// Follows "A.B.C" through sub-map slots: the texture that owns the last part, which goes
/// to `last`. Throws UnknownNameError for a slot that is not there, std::runtime_error for
/// an empty one.
Texmap* WalkPath(Texmap* tex, const std::string& path, std::string& last);

/// The row value of `v` for a row of `type`: a colour for colour rows; a number (a flag as
/// 0 or 1) otherwise, whole and within range for integer rows. Throws std::runtime_error
/// naming `what` and the value as given otherwise.
ParamValue RowValue(ParamType type, const ModelValue& v, const std::string& what);

/// A parameter found by path: the texture owning it and its row.
struct ParamRow {
    Texmap* owner = nullptr;
    int row = -1;
    std::string name;  ///< the last part of the path, as given
};
/// The parameter `path` names. Throws UnknownNameError (std::runtime_error for an empty
/// slot on the way), and SettingError when `animated` asks for a parameter that can be
/// animated and it cannot.
ParamRow FindParamRow(Texmap* tex, const std::string& path, bool animated = false);

/// Sets parameter `path` ("Name", or "Slot.Name" inside a sub-map) of `tex` to `value` at
/// time t; a map value goes to SetMap. Messages name the value as `--set NAME` does, so that
/// every front-end reports alike. Throws UnknownNameError, SettingError or
/// std::runtime_error before changing anything.
void SetParam(const PluginLoader& loader, Texmap* tex, const std::string& path,
              const ModelValue& value, TimeValue t);
/// Puts `value` (a map, an image or nothing) into sub-map slot `path` of `tex`. Throws
/// UnknownNameError, SettingError (MapAssignError when the slot refuses the map) or
/// std::runtime_error (an unknown class) before changing anything.
void SetMap(const PluginLoader& loader, Texmap* tex, const std::string& path,
            const ModelValue& value);
/// SetMap for slot `slot` of `owner`.
void SetSlot(const PluginLoader& loader, Texmap* owner, int slot, const ModelValue& value);
/// Adds a key: parameter `path` takes `value` at time t. Throws as SetParam, and
/// SettingError for a parameter that cannot be animated.
void SetKey(Texmap* tex, const std::string& path, TimeValue t, const ModelValue& value);

/// Formats a row value for display.
std::string FormatParamValue(ParamType type, const ParamValue& v);

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

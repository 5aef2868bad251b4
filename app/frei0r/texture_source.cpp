#include "app/frei0r/texture_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/core/jobs/texture_render.h"
#include "app/core/jobs/tile_jobs.h"
#include "app/core/loader/process_plugins.h"
#include "app/core/model/param_info.h"
#include "app/core/model/rand_stream.h"
#include "app/core/model/texture_setup.h"
#include "app/core/render/quantize.h"
#include "app/frei0r/frei0r_log.h"

namespace loom::frei0r {
namespace {

constexpr int kMaxSide = 32768;

/// The parameters after the texture's own: loomhost render's --seed, --tile and --tiles.
enum VariationParam { kSeed, kTile, kTiles, kVariationParams };

const f0r_param_info_t kVariationInfo[kVariationParams] = {
    {"Seed", F0R_PARAM_STRING,
     "a whole number 0..2147483647, as loomhost render --seed; 0 (the default) keeps the "
     "texture's built-in pattern"},
    {"Tile", F0R_PARAM_BOOL, "a seamless tile, as loomhost render --tile; default off"},
    {"Tiles", F0R_PARAM_STRING,
     "CxR, as loomhost render --tiles: the frame holds C x R copies of a seamless tile (its "
     "size a whole number of pixels a tile); default 1x1"},
};

/// What this library knows of its class once initialised.
struct ClassInfo {
    std::once_flag once;
    std::string effectName;  ///< "loomwork_nimbra"
    std::string explanation;
    std::vector<ParamInfo> params;  ///< empty when the plug-ins could not be loaded
    std::vector<std::string> explanations;
};

ClassInfo& Info() {
    static ClassInfo info;
    return info;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

std::string Explain(const ParamInfo& p) {
    switch (KindOf(p)) {
        case ParamKind::kNumber:
        case ParamKind::kInteger:
            return p.name + ": 0..1 spread over " + Number(RangeMin(p)) + ".." +
                   Number(RangeMax(p)) +
                   ((p.control != ParamControl::kNone) ? " (the panel's range"
                                                       : " (no control of the panel shows it") +
                   (KindOf(p) == ParamKind::kInteger ? ", rounded to a whole number)" : ")") +
                   "; default " + FormatParamValue(p.type, p.defaultValue);
        case ParamKind::kFlag:
            return p.name + ": on or off; default " + (p.defaultValue.AsInt() != 0 ? "on" : "off");
        case ParamKind::kColour:
            return p.name + ": a colour, each channel 0..1; default " +
                   FormatParamValue(p.type, p.defaultValue);
    }
    return p.name;
}

/// Loads the plug-ins and the class's parameters once; false when they are not there.
bool Ready(const char* className) {
    ClassInfo& info = Info();
    std::call_once(info.once, [&] {
        info.effectName = std::string("loomwork_") + className;
        info.explanation = std::string("The ") + className +
                           " texture, rendered as loomhost renders it; time in seconds at 30 "
                           "frames a second";
        std::string error;
        const PluginLoader* loader = PluginsNearCore(info.effectName.c_str(), error);
        if (!loader) {
            Log(info.effectName, error);
            return;
        }
        try {
            std::lock_guard<std::recursive_mutex> model(ModelLock());
            RandStream scratch;  // the panel's buttons draw from the generator
            RandStream::Use use(scratch);
            info.params = DescribeTextureClass(*loader, className).params;
            for (const ParamInfo& p : info.params) info.explanations.push_back(Explain(p));
        } catch (const std::exception& e) {
            info.params.clear();
            info.explanations.clear();
            Log(info.effectName, e.what());
        }
    });
    return !Info().params.empty();
}

struct Instance {
    std::mutex mutex;
    TextureSettings settings;
    std::string seedText = "0", tilesText = "1x1";  ///< as GetParam hands them out
    bool rendered = false;
    double renderedFrame = 0.0;
    std::vector<std::uint8_t> frame;  ///< the last frame, RGBA8888
};

double Spread(const ParamInfo& p, double d) {
    return RangeMin(p) + d * (RangeMax(p) - RangeMin(p));
}

double Unspread(const ParamInfo& p, double v) {
    return RangeMax(p) > RangeMin(p) ? (v - RangeMin(p)) / (RangeMax(p) - RangeMin(p)) : 0.0;
}

size_t ParamCount() { return Info().params.size() + kVariationParams; }

bool BadIndex(int index) {
    if (index >= 0 && static_cast<size_t>(index) < ParamCount()) return false;
    Log(Info().effectName, "no parameter " + std::to_string(index) + " (there are " +
                               std::to_string(ParamCount()) + ")");
    return true;
}

/// The variation parameter at `index`, or -1 for one of the texture's own.
int VariationIndex(int index) {
    const auto own = static_cast<int>(Info().params.size());
    return index >= own ? index - own : -1;
}

/// Sets a seed or tile parameter; a value that is not one is logged and left.
void SetVariation(Instance& in, int which, f0r_param_t param) {
    TextureSettings& s = in.settings;
    try {
        if (which == kTile) {
            const bool tile = *static_cast<const f0r_param_bool*>(param) >= 0.5;
            if (tile != s.tile) in.rendered = false;
            s.tile = tile;
            return;
        }
        const char* text = *static_cast<const f0r_param_string*>(param);
        if (!text) throw std::runtime_error("no text");
        if (which == kSeed) {
            const std::uint32_t seed = ParseSeed(text, kVariationInfo[kSeed].name);
            if (seed != s.seed) in.rendered = false;
            s.seed = seed;
            in.seedText = std::to_string(seed);
            return;
        }
        const TileRepeat tiles = ParseTileRepeat(text, kVariationInfo[kTiles].name);
        if (tiles.columns != s.tiles.columns || tiles.rows != s.tiles.rows) in.rendered = false;
        s.tiles = tiles;
        in.tilesText = std::to_string(tiles.columns) + "x" + std::to_string(tiles.rows);
    } catch (const std::exception& e) {
        Log(Info().effectName, std::string(e.what()) + "; the value is kept");
    }
}

}  // namespace

double FramesOfTime(double seconds) noexcept {
    const double frames = seconds * 30.0;
    const double whole = std::round(frames);
    return std::fabs(frames - whole) <= 0.03 ? whole : frames;
}

int TextureInit(const char* className) noexcept {
    Ready(className);
    return 1;  // a source without its plug-in still runs (and logs): the host goes on
}

void TextureInfo(const char* className, f0r_plugin_info_t* info) noexcept {
    if (!info) return;
    Ready(className);
    const ClassInfo& c = Info();
    info->name = c.effectName.c_str();
    info->author = "Loomwork";
    info->plugin_type = F0R_PLUGIN_TYPE_SOURCE;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = c.params.empty() ? 0 : static_cast<int>(ParamCount());
    info->explanation = c.explanation.c_str();
}

void TextureParamInfo(const char* className, f0r_param_info_t* info, int index) noexcept {
    if (!info || !Ready(className) || BadIndex(index)) return;
    if (VariationIndex(index) >= 0) {
        *info = kVariationInfo[VariationIndex(index)];
        return;
    }
    const ParamInfo& p = Info().params[static_cast<size_t>(index)];
    info->name = p.name.c_str();
    info->type = KindOf(p) == ParamKind::kColour ? F0R_PARAM_COLOR
                 : KindOf(p) == ParamKind::kFlag ? F0R_PARAM_BOOL
                                                 : F0R_PARAM_DOUBLE;
    info->explanation = Info().explanations[static_cast<size_t>(index)].c_str();
}

f0r_instance_t TextureConstruct(const char* className, unsigned width, unsigned height) noexcept {
    if (!Ready(className)) return nullptr;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        Log(Info().effectName, "frame size " + std::to_string(width) + "x" +
                                   std::to_string(height) + ": width and height must be 1.." +
                                   std::to_string(kMaxSide));
        return nullptr;
    }
    try {
        auto* in = new Instance;
        in->settings = DefaultTextureSettings(className, Info().params);
        in->settings.width = static_cast<int>(width);
        in->settings.height = static_cast<int>(height);
        in->settings.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        return in;
    } catch (const std::exception& e) {
        Log(Info().effectName, e.what());
        return nullptr;
    }
}

void TextureDestruct(f0r_instance_t instance) noexcept { delete static_cast<Instance*>(instance); }

void TextureSetParam(f0r_instance_t instance, f0r_param_t param, int index) noexcept {
    if (!instance || !param || BadIndex(index)) return;
    auto& in = *static_cast<Instance*>(instance);
    std::lock_guard<std::mutex> lock(in.mutex);
    if (VariationIndex(index) >= 0) return SetVariation(in, VariationIndex(index), param);
    const ParamInfo& p = Info().params[static_cast<size_t>(index)];
    ParamValue& v = in.settings.values[static_cast<size_t>(index)];
    ParamValue next = v;
    switch (KindOf(p)) {
        case ParamKind::kNumber: {
            const double d = *static_cast<const f0r_param_double*>(param);
            if (!std::isfinite(d)) {
                Log(Info().effectName, p.name + ": not a number; the value is kept");
                return;
            }
            next.v[0] = static_cast<float>(Spread(p, std::clamp(d, 0.0, 1.0)));
            break;
        }
        case ParamKind::kInteger: {
            const double d = *static_cast<const f0r_param_double*>(param);
            if (!std::isfinite(d)) {
                Log(Info().effectName, p.name + ": not a number; the value is kept");
                return;
            }
            next = ParamValue::Int(
                static_cast<std::int32_t>(std::lround(Spread(p, std::clamp(d, 0.0, 1.0)))));
            break;
        }
        case ParamKind::kFlag:
            next = ParamValue::Int(*static_cast<const f0r_param_bool*>(param) >= 0.5 ? 1 : 0);
            break;
        case ParamKind::kColour: {
            const auto* c = static_cast<const f0r_param_color_t*>(param);
            for (float channel : {c->r, c->g, c->b}) {
                if (!std::isfinite(channel)) {
                    Log(Info().effectName, p.name + ": not a colour; the value is kept");
                    return;
                }
            }
            next.v[0] = c->r;
            next.v[1] = c->g;
            next.v[2] = c->b;
            break;
        }
    }
    if (!(next == v)) in.rendered = false;
    v = next;
}

void TextureGetParam(f0r_instance_t instance, f0r_param_t param, int index) noexcept {
    if (!instance || !param || BadIndex(index)) return;
    auto& in = *static_cast<Instance*>(instance);
    std::lock_guard<std::mutex> lock(in.mutex);
    switch (VariationIndex(index)) {
        case kSeed:
            *static_cast<f0r_param_string*>(param) = const_cast<char*>(in.seedText.c_str());
            return;
        case kTile:
            *static_cast<f0r_param_bool*>(param) = in.settings.tile ? 1.0 : 0.0;
            return;
        case kTiles:
            *static_cast<f0r_param_string*>(param) = const_cast<char*>(in.tilesText.c_str());
            return;
        default:
            break;
    }
    const ParamInfo& p = Info().params[static_cast<size_t>(index)];
    const ParamValue& v = in.settings.values[static_cast<size_t>(index)];
    switch (KindOf(p)) {
        case ParamKind::kNumber:
            *static_cast<f0r_param_double*>(param) = Unspread(p, static_cast<double>(v.v[0]));
            break;
        case ParamKind::kInteger:
            *static_cast<f0r_param_double*>(param) = Unspread(p, v.AsInt());
            break;
        case ParamKind::kFlag:
            *static_cast<f0r_param_bool*>(param) = v.AsInt() != 0 ? 1.0 : 0.0;
            break;
        case ParamKind::kColour:
            *static_cast<f0r_param_color_t*>(param) = {v.v[0], v.v[1], v.v[2]};
            break;
    }
}

void TextureUpdate(f0r_instance_t instance, double time, std::uint32_t* out) noexcept {
    if (!instance || !out) return;
    auto& in = *static_cast<Instance*>(instance);
    std::lock_guard<std::mutex> lock(in.mutex);
    const size_t pixels =
        static_cast<size_t>(in.settings.width) * static_cast<size_t>(in.settings.height);
    try {
        const double frame = FramesOfTime(time);
        if (!std::isfinite(frame) || std::fabs(frame) > kMaxFrame) {
            throw std::runtime_error("time " + Number(time) + " s is out of range");
        }
        if (!in.rendered || in.renderedFrame != frame) {
            in.settings.frame = frame;
            FloatImage img;
            {
                std::lock_guard<std::recursive_mutex> model(ModelLock());
                img = RenderTextureSettings(ProcessPlugins(), Info().params, in.settings);
            }
            in.frame.resize(pixels * 4);
            QuantizePixels8(img.rgba.data(), pixels, in.frame.data());
            in.rendered = true;
            in.renderedFrame = frame;
        }
        std::memcpy(out, in.frame.data(), pixels * 4);
        return;
    } catch (const std::bad_alloc&) {
        Log(Info().effectName, "not enough memory for a frame");
    } catch (const std::exception& e) {
        Log(Info().effectName, e.what());
    }
    in.rendered = false;
    std::memset(out, 0, pixels * 4);  // a transparent frame, the host goes on
}

}  // namespace loom::frei0r

#include "app/core/jobs/texture_render.h"

#include <new>
#include <stdexcept>

#include "app/core/model/rand_stream.h"
#include "app/core/model/texture_setup.h"
#include "app/core/render/renderer.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/sdk/texmap_variation.h"

namespace loom {
namespace {

constexpr int kMaxSide = 32768;

/// A row's value as the model takes it: a colour's three components, an integer row's
/// whole number, a float row's number (single precision, so exact).
ModelValue ValueOf(const ParamInfo& info, const ParamValue& v) {
    if (info.type == TYPE_RGBA) {
        return ModelValue::Colour({static_cast<double>(v.v[0]), static_cast<double>(v.v[1]),
                                   static_cast<double>(v.v[2])});
    }
    if (info.type == TYPE_INT) return ModelValue::Number(static_cast<double>(v.AsInt()));
    return ModelValue::Number(static_cast<double>(v.v[0]));
}

}  // namespace

ParamKind KindOf(const ParamInfo& p) {
    if (p.type == TYPE_RGBA) return ParamKind::kColour;
    if (p.type == TYPE_INT) {
        return p.control == ParamControl::kButton ? ParamKind::kFlag : ParamKind::kInteger;
    }
    return ParamKind::kNumber;
}

double RangeMin(const ParamInfo& p) {
    if (KindOf(p) == ParamKind::kFlag) return 0.0;
    return p.control == ParamControl::kNone ? -kUnboundedParam : static_cast<double>(p.min);
}

double RangeMax(const ParamInfo& p) {
    if (KindOf(p) == ParamKind::kFlag) return 1.0;
    return p.control == ParamControl::kNone ? kUnboundedParam : static_cast<double>(p.max);
}

TextureSettings DefaultTextureSettings(const std::string& className,
                                       const std::vector<ParamInfo>& params) {
    TextureSettings s;
    s.className = className;
    for (const ParamInfo& p : params) s.values.push_back(p.defaultValue);
    return s;
}

FloatImage RenderTextureSettings(const PluginLoader& loader, const std::vector<ParamInfo>& params,
                                 const TextureSettings& settings) {
    if (settings.width < 1 || settings.height < 1 || settings.width > kMaxSide ||
        settings.height > kMaxSide) {
        throw std::runtime_error("size " + std::to_string(settings.width) + "x" +
                                 std::to_string(settings.height) +
                                 ": width and height must be 1.." + std::to_string(kMaxSide));
    }
    if (settings.values.size() != params.size()) {
        throw std::runtime_error("the settings do not match the parameters of '" +
                                 settings.className + "'");
    }
    const TileRepeat& tiles = settings.tiles;
    if (tiles.columns < 1 || tiles.columns > kMaxTileRepeat || tiles.rows < 1 ||
        tiles.rows > kMaxTileRepeat) {
        throw std::runtime_error("tiles " + std::to_string(tiles.columns) + "x" +
                                 std::to_string(tiles.rows) + ": each count must be 1.." +
                                 std::to_string(kMaxTileRepeat));
    }
    CheckTileFits(tiles, settings.width, settings.height);
    if (settings.seed < 0 || settings.seed > static_cast<std::int64_t>(kMaxTexSeed)) {
        throw std::runtime_error("seed " + std::to_string(settings.seed) + " is out of range (0.." +
                                 std::to_string(kMaxTexSeed) + ")");
    }
    RenderOptions ro;
    ro.width = settings.width / tiles.columns;
    ro.height = settings.height / tiles.rows;
    ro.tile = settings.tile || tiles.columns > 1 || tiles.rows > 1;
    ro.threads = settings.threads;
    ro.time = FramesToTicks(settings.frame);
    // A new process's generator, from the texture's creation through the first sample.
    RandStream stream;
    RandStream::Use use(stream);
    SceneHolder holder;
    Texmap* tex = CreateTexture(loader, settings.className);
    holder.Add(settings.className, tex);
    for (size_t i = 0; i < params.size(); ++i) {
        if (settings.values[i] == params[i].defaultValue) continue;
        SetParam(loader, tex, params[i].name, ValueOf(params[i], settings.values[i]), 0);
    }
    if (settings.seed != 0 && !SetTreeSeed(tex, static_cast<std::uint32_t>(settings.seed))) {
        throw std::runtime_error("seed " + std::to_string(settings.seed) +
                                 ": no memory for its noise tables");
    }
    RenderImages images;
    try {
        RenderTexture(tex, ro, images);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("size " + std::to_string(settings.width) + "x" +
                                 std::to_string(settings.height) + ": out of memory");
    }
    if (tiles.columns == 1 && tiles.rows == 1) return std::move(images.color);
    return RepeatTile(images.color, tiles);
}

}  // namespace loom

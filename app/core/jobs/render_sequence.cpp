#include "app/core/jobs/render_sequence.h"

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/bitmap.h"

namespace loom {
namespace {

/// Every parameter of `tex` and its sub-maps at `time`, in the command line's notation, and
/// the class of each sub-map by slot.
void AddParameters(Texmap* tex, TimeValue time, const std::string& prefix, nlohmann::json& out,
                   nlohmann::json& maps, int depth) {
    IParamBlock* pb = ParamBlockOf(tex);
    for (int i = 0; pb && i < pb->NumParams(); ++i) {
        Interval valid = FOREVER;
        out[Utf8FromCp1252(prefix + ParamName(tex, i))] =
            FormatParamValue(pb->GetParameterType(i), pb->GetRaw(i, time, valid));
    }
    // Sub-maps nest only as deep as a scene lets them; the bound keeps a loop finite.
    if (depth >= 16) return;
    for (int s = 0; s < tex->NumSubTexmaps(); ++s) {
        if (Texmap* sub = tex->GetSubTexmap(s)) {
            const std::string slot = prefix + tex->GetSubTexmapSlotName(s);
            TSTR cls;
            sub->GetClassName(cls);
            maps[Utf8FromCp1252(slot)] = Utf8FromCp1252(cls);
            AddParameters(sub, time, slot + ".", out, maps, depth + 1);
        }
    }
}

}  // namespace

std::string SequencePattern(const std::string& base, const std::string& suffix) {
    const std::filesystem::path p(base);
    std::string stem = p.stem().string() + suffix;
    // A '%' of the name itself is written twice, as printf reads it.
    std::string escaped;
    for (char c : stem) escaped += c == '%' ? std::string("%%") : std::string(1, c);
    return (p.parent_path() / (escaped + "_%04d" + p.extension().string())).string();
}

std::string RenderManifestJson(const RenderManifest& m, Texmap* tex, TimeValue time) {
    nlohmann::json j;
    j["format"] = "loomhost render manifest";
    j["version"] = 1;
    j["command"] = m.command;
    if (!m.scene.empty()) {
        j["scene"] = m.scene;
        j["entry"] = m.entry;
    } else {
        j["class"] = m.className;
    }
    j["size"] = {m.width, m.height};
    j["outputs"] = m.outputs;
    j["bits"] = m.bits;
    j["frames"] = {{"first", m.firstFrame}, {"last", m.lastFrame}};
    if (m.sharded) j["shard"] = {{"index", m.shardIndex}, {"count", m.shardCount}};
    j["seed"] = m.seed;
    if (m.tile) {
        j["tile"] = {{"columns", m.tileColumns}, {"rows", m.tileRows}, {"loop", m.loop}};
    }
    j["presets"] = m.presets;
    j["sets"] = m.sets;
    j["keys"] = m.keys;
    nlohmann::json params = nlohmann::json::object();
    nlohmann::json maps = nlohmann::json::object();
    AddParameters(tex, time, "", params, maps, 0);
    j["parameters"] = params;
    j["maps"] = maps;
    j["rendered"] = {{"first", m.runFirst}, {"last", m.runLast}};
    nlohmann::json files = nlohmann::json::object();
    for (size_t i = 0; i < m.outputs.size() && i < m.files.size(); ++i)
        files[m.outputs[i]] = m.files[i];
    j["files"] = files;
    // Invalid UTF-8 in a path or a name is replaced rather than refused.
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool ImageComplete(const std::string& path, int width, int height, std::string& why) {
    FloatImage image;
    int bits = 0;
    if (!ReadImage(path, image, bits, why)) return false;
    if (image.width != width || image.height != height) {
        why = path + ": " + std::to_string(image.width) + "x" + std::to_string(image.height) +
              ", not " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    return true;
}

}  // namespace loom

#include "app/core/jobs/render_sequence.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/texmap_variation.h"

namespace loom {
namespace {

/// A key's time in frames, as `--key NAME@FRAME=VALUE` takes it.
std::string KeyFrameText(TimeValue time) {
    if (time % kTicksPerFrame == 0) return std::to_string(time / kTicksPerFrame);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(time) / kTicksPerFrame);
    return buf;
}

/// Every parameter of `tex` and its sub-maps at `time`, in the command line's notation, the
/// keys of those animated, and the class of each sub-map by slot.
void AddParameters(Texmap* tex, TimeValue time, const std::string& prefix, nlohmann::json& out,
                   nlohmann::json& keys, nlohmann::json& maps, int depth) {
    IParamBlock* pb = ParamBlockOf(tex);
    for (int i = 0; pb && i < pb->NumParams(); ++i) {
        Interval valid = FOREVER;
        const std::string name = prefix + ParamName(tex, i);
        const ParamType type = pb->GetParameterType(i);
        out[Utf8FromCp1252(name)] = FormatParamValue(type, pb->GetRaw(i, time, valid));
        for (const ParamKey& key : pb->Keys(i)) {
            keys.push_back(Utf8FromCp1252(name + "@" + KeyFrameText(key.time) + "=" +
                                          FormatParamValue(type, key.value)));
        }
    }
    // Sub-maps nest only as deep as a scene lets them; the bound keeps a loop finite.
    if (depth >= 16) return;
    for (int s = 0; s < tex->NumSubTexmaps(); ++s) {
        if (Texmap* sub = tex->GetSubTexmap(s)) {
            const std::string slot = prefix + tex->GetSubTexmapSlotName(s);
            TSTR cls;
            sub->GetClassName(cls);
            maps[Utf8FromCp1252(slot)] = Utf8FromCp1252(cls);
            AddParameters(sub, time, slot + ".", out, keys, maps, depth + 1);
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
    if (!m.frameList.empty()) j["frames"]["list"] = m.frameList;
    if (m.sharded) j["shard"] = {{"index", m.shardIndex}, {"count", m.shardCount}};
    j["seed"] = m.seed;
    if (m.tile) {
        j["tile"] = {{"columns", m.tileColumns}, {"rows", m.tileRows}, {"loop", m.loop}};
    }
    j["presets"] = m.presets;
    j["sets"] = m.sets;
    nlohmann::json params = nlohmann::json::object();
    nlohmann::json keys = nlohmann::json::array();
    nlohmann::json maps = nlohmann::json::object();
    AddParameters(tex, time, "", params, keys, maps, 0);
    j["keys"] = keys;
    j["parameters"] = params;
    j["maps"] = maps;
    nlohmann::json plugins = nlohmann::json::object();
    for (const auto& [file, version] : m.plugins) plugins[file] = version;
    j["plugins"] = plugins;
    j["rendered"] = {{"first", m.runFirst}, {"last", m.runLast}};
    if (!m.runList.empty()) j["rendered"]["list"] = m.runList;
    nlohmann::json files = nlohmann::json::object();
    for (size_t i = 0; i < m.outputs.size() && i < m.files.size(); ++i)
        files[m.outputs[i]] = m.files[i];
    j["files"] = files;
    // Invalid UTF-8 in a path or a name is replaced rather than refused.
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

namespace {

constexpr const char* kManifestFormat = "loomhost render manifest";
constexpr int kManifestVersion = 1;
constexpr std::size_t kMaxManifestBytes = std::size_t{16} << 20;

/// Reads the fields of a manifest's JSON; each failure throws the field's name and what
/// was wrong, which ParseRenderManifest turns into one error naming the file.
class ManifestFields {
  public:
    explicit ManifestFields(const nlohmann::json& j) : j_(j) {}

    const nlohmann::json& Field(const nlohmann::json& in, const char* key,
                                const std::string& where) const {
        const auto it = in.find(key);
        if (it == in.end()) throw std::runtime_error("no \"" + where + key + "\"");
        return *it;
    }
    int Int(const nlohmann::json& in, const char* key, const std::string& where = "") const {
        const nlohmann::json& v = Field(in, key, where);
        if (!v.is_number_integer() || v.get<long long>() < INT_MIN ||
            v.get<long long>() > INT_MAX) {
            throw std::runtime_error("\"" + where + key + "\" is not a whole number");
        }
        return v.get<int>();
    }
    std::string Text(const nlohmann::json& in, const char* key,
                     const std::string& where = "") const {
        const nlohmann::json& v = Field(in, key, where);
        if (!v.is_string()) throw std::runtime_error("\"" + where + key + "\" is not text");
        return v.get<std::string>();
    }
    std::vector<std::string> Texts(const char* key) const {
        const nlohmann::json& v = Field(j_, key, "");
        if (!v.is_array()) throw std::runtime_error(std::string("\"") + key + "\" is not a list");
        std::vector<std::string> out;
        for (const nlohmann::json& e : v) {
            if (!e.is_string()) {
                throw std::runtime_error(std::string("\"") + key + "\" holds something not text");
            }
            out.push_back(e.get<std::string>());
        }
        return out;
    }
    /// A JSON object of text values, in its order.
    std::vector<std::pair<std::string, std::string>> TextMap(const char* key) const {
        const nlohmann::json& v = Field(j_, key, "");
        if (!v.is_object()) {
            throw std::runtime_error(std::string("\"") + key + "\" is not an object");
        }
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& [name, value] : v.items()) {
            if (!value.is_string()) {
                throw std::runtime_error(std::string("\"") + key + "." + name + "\" is not text");
            }
            out.emplace_back(name, value.get<std::string>());
        }
        return out;
    }
    const nlohmann::json& Object(const nlohmann::json& in, const char* key) const {
        const nlohmann::json& v = Field(in, key, "");
        if (!v.is_object()) {
            throw std::runtime_error(std::string("\"") + key + "\" is not an object");
        }
        return v;
    }

  private:
    const nlohmann::json& j_;
};

}  // namespace

bool ParseRenderManifest(const std::string& name, const std::string& text,
                         RecordedManifest& recorded, std::string& error) {
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        error = name + ": damaged render manifest: not JSON";
        return false;
    }
    if (!j.is_object() || !j.contains("format") || j["format"] != kManifestFormat) {
        error = name + ": not a render manifest of this program (no \"format\": \"" +
                kManifestFormat + "\")";
        return false;
    }
    if (!j.contains("version") || j["version"] != kManifestVersion) {
        error = name + ": a render manifest of another version than " +
                std::to_string(kManifestVersion) + " of this program";
        return false;
    }
    try {
        const ManifestFields f(j);
        RecordedManifest out;
        RenderManifest& m = out.manifest;
        m.command = f.Texts("command");
        if (j.contains("scene")) {
            m.scene = f.Text(j, "scene");
            m.entry = f.Text(j, "entry");
        } else {
            m.className = f.Text(j, "class");
        }
        const nlohmann::json& size = f.Field(j, "size", "");
        if (!size.is_array() || size.size() != 2 || !size[0].is_number_integer() ||
            !size[1].is_number_integer() || size[0].get<long long>() <= 0 ||
            size[1].get<long long>() <= 0 || size[0].get<long long>() > INT_MAX ||
            size[1].get<long long>() > INT_MAX) {
            throw std::runtime_error("\"size\" is not two positive whole numbers");
        }
        m.width = size[0].get<int>();
        m.height = size[1].get<int>();
        m.outputs = f.Texts("outputs");
        m.bits = f.Int(j, "bits");
        const nlohmann::json& frames = f.Object(j, "frames");
        m.firstFrame = f.Int(frames, "first", "frames.");
        m.lastFrame = f.Int(frames, "last", "frames.");
        const nlohmann::json& rendered = f.Object(j, "rendered");
        m.runFirst = f.Int(rendered, "first", "rendered.");
        m.runLast = f.Int(rendered, "last", "rendered.");
        if (frames.contains("list")) m.frameList = f.Text(frames, "list", "frames.");
        if (rendered.contains("list")) m.runList = f.Text(rendered, "list", "rendered.");
        if (m.lastFrame < m.firstFrame || m.runFirst < m.firstFrame || m.runLast > m.lastFrame ||
            m.runLast < m.runFirst) {
            throw std::runtime_error("its frames do not lie within the range it names");
        }
        if (j.contains("shard")) {
            const nlohmann::json& shard = f.Object(j, "shard");
            m.sharded = true;
            m.shardIndex = f.Int(shard, "index", "shard.");
            m.shardCount = f.Int(shard, "count", "shard.");
            if (m.shardCount < 1 || m.shardIndex < 0 || m.shardIndex >= m.shardCount) {
                throw std::runtime_error("\"shard\" is not part K of N");
            }
        }
        const int seed = f.Int(j, "seed");
        if (seed < 0) throw std::runtime_error("\"seed\" is below 0");
        m.seed = static_cast<std::uint32_t>(seed);
        if (j.contains("tile")) {
            const nlohmann::json& tile = f.Object(j, "tile");
            m.tile = true;
            m.tileColumns = f.Int(tile, "columns", "tile.");
            m.tileRows = f.Int(tile, "rows", "tile.");
            const auto loop = tile.find("loop");
            if (loop == tile.end() || !loop->is_boolean()) {
                throw std::runtime_error("\"tile.loop\" is not true or false");
            }
            m.loop = loop->get<bool>();
        }
        m.presets = f.Texts("presets");
        m.sets = f.Texts("sets");
        m.keys = f.Texts("keys");
        const auto files = f.TextMap("files");
        for (const std::string& output : m.outputs) {
            const auto it = std::find_if(files.begin(), files.end(),
                                         [&](const auto& e) { return e.first == output; });
            if (it == files.end()) {
                throw std::runtime_error("\"files\" names no file for output \"" + output + "\"");
            }
            m.files.push_back(it->second);
        }
        // Manifests written before plug-in versions were recorded have none.
        if (j.contains("plugins")) m.plugins = f.TextMap("plugins");
        out.parameters = f.TextMap("parameters");
        out.maps = f.TextMap("maps");
        recorded = std::move(out);
    } catch (const std::exception& e) {
        error = name + ": damaged render manifest: " + e.what();
        return false;
    }
    return true;
}

bool ReadRenderManifest(const std::string& path, RecordedManifest& manifest, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadRegularFile(path, kMaxManifestBytes, bytes, error)) return false;
    return ParseRenderManifest(path, std::string(bytes.begin(), bytes.end()), manifest, error);
}

std::vector<std::pair<std::string, std::string>> PluginVersions(const PluginLoader& loader,
                                                                Texmap* tex) {
    std::vector<std::pair<std::string, std::string>> out;
    ForEachMapInTree(tex, [&](Texmap* map) {
        const Class_ID id = map->ClassID();
        for (const LoadedPlugin& plugin : loader.Plugins()) {
            const bool holds = std::any_of(plugin.classes.begin(), plugin.classes.end(),
                                           [&](ClassDesc* cd) { return cd->ClassID() == id; });
            const std::string file = std::filesystem::path(plugin.path).filename().string();
            if (holds && std::none_of(out.begin(), out.end(),
                                      [&](const auto& e) { return e.first == file; })) {
                out.emplace_back(file, std::to_string(plugin.version));
            }
        }
    });
    return out;
}

namespace {

/// "a, b" for a list of names.
std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text.empty() ? "none" : text;
}

using NamedValues = std::vector<std::pair<std::string, std::string>>;

/// The differences between two lists of named values: changed, gone and new names, but
/// none whose name `skip` says is accounted for.
void NamedDifferences(const std::string& what, const NamedValues& recorded,
                      const NamedValues& asked, std::vector<std::string>& out,
                      const std::function<bool(const std::string&)>& skip = {}) {
    auto find = [](const auto& list, const std::string& name) {
        return std::find_if(list.begin(), list.end(),
                            [&](const auto& e) { return e.first == name; });
    };
    for (const auto& [name, value] : recorded) {
        if (skip && skip(name)) continue;
        const auto it = find(asked, name);
        if (it == asked.end()) {
            out.push_back(what + name + ": " + value + " -> none");
        } else if (it->second != value) {
            out.push_back(what + name + ": " + value + " -> " + it->second);
        }
    }
    for (const auto& [name, value] : asked) {
        if (skip && skip(name)) continue;
        if (find(recorded, name) == recorded.end()) {
            out.push_back(what + name + ": none -> " + value);
        }
    }
}

}  // namespace

std::vector<std::string> ManifestDifferences(const RecordedManifest& recorded,
                                             const RecordedManifest& asked) {
    const RenderManifest& r = recorded.manifest;
    const RenderManifest& a = asked.manifest;
    std::vector<std::string> out;
    auto differ = [&out](const std::string& what, const std::string& was, const std::string& now) {
        if (was != now) out.push_back(what + ": " + was + " -> " + now);
    };
    differ("class", r.className.empty() ? "none" : r.className,
           a.className.empty() ? "none" : a.className);
    differ("scene entry", r.entry.empty() ? "none" : r.entry, a.entry.empty() ? "none" : a.entry);
    differ("size", std::to_string(r.width) + "x" + std::to_string(r.height),
           std::to_string(a.width) + "x" + std::to_string(a.height));
    differ("bits", std::to_string(r.bits), std::to_string(a.bits));
    differ("outputs", JoinNames(r.outputs), JoinNames(a.outputs));
    differ("files", JoinNames(r.files), JoinNames(a.files));
    differ("seed", std::to_string(r.seed), std::to_string(a.seed));
    auto tile = [](const RenderManifest& m) {
        if (!m.tile) return std::string("none");
        return std::to_string(m.tileColumns) + "x" + std::to_string(m.tileRows) +
               (m.loop ? " looping" : "");
    };
    differ("tile", tile(r), tile(a));
    // A loop's shift depends on where each frame lies in the whole range.
    if (r.loop && a.loop) {
        auto span = [](const RenderManifest& m) {
            return m.frameList.empty()
                       ? std::to_string(m.firstFrame) + "-" + std::to_string(m.lastFrame)
                       : m.frameList;
        };
        differ("looping frames", span(r), span(a));
    }
    NamedDifferences("map ", recorded.maps, asked.maps, out);
    differ("keys", JoinNames(r.keys), JoinNames(a.keys));
    // The parameters of a sub-map that is not the same class on both sides are said by
    // the map's difference alone.
    std::vector<std::string> otherMaps;
    for (const auto& [slot, cls] : recorded.maps) {
        const auto it = std::find_if(asked.maps.begin(), asked.maps.end(),
                                     [&slot = slot](const auto& e) { return e.first == slot; });
        if (it == asked.maps.end() || it->second != cls) otherMaps.push_back(slot + ".");
    }
    for (const auto& [slot, cls] : asked.maps) {
        const auto it = std::find_if(recorded.maps.begin(), recorded.maps.end(),
                                     [&slot = slot](const auto& e) { return e.first == slot; });
        if (it == recorded.maps.end()) otherMaps.push_back(slot + ".");
    }
    NamedDifferences("", recorded.parameters, asked.parameters, out, [&](const std::string& name) {
        return std::any_of(otherMaps.begin(), otherMaps.end(),
                           [&](const std::string& prefix) { return name.rfind(prefix, 0) == 0; });
    });
    // An older manifest that names no plug-ins says nothing of their versions.
    if (!r.plugins.empty()) NamedDifferences("plug-in ", r.plugins, a.plugins, out);
    return out;
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

#include "app/cli/setting_text.h"
#include "foundation/host/base/text.h"

#include <stdexcept>
#include <vector>

namespace loom {
namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

ModelValue ParseSetting(ParamType type, const std::string& text, const std::string& what) {
    if (type != TYPE_RGBA) return ModelValue::Number(ParseNumber(text, what), text);
    std::vector<std::string> parts;
    for (size_t pos = 0;;) {
        const size_t comma = text.find(',', pos);
        parts.push_back(text.substr(pos, comma == std::string::npos ? comma : comma - pos));
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    if (parts.size() != 3) {
        throw std::runtime_error(what + ": '" + text + "' is not a colour (expected R,G,B)");
    }
    std::vector<double> components;
    for (const std::string& part : parts) components.push_back(ParseNumber(part, what));
    return ModelValue::Colour(std::move(components), text);
}

void ApplySet(const PluginLoader& loader, Texmap* tex, const std::string& text, TimeValue t) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        throw std::runtime_error("--set '" + text + "': expected NAME=VALUE");
    }
    const std::string where = "--set '" + text + "': ";
    const std::string path = std::string(Trim(text.substr(0, eq)));
    std::string name;
    Texmap* owner = WalkPath(tex, path, name);
    const std::string value = std::string(Trim(text.substr(eq + 1)));
    const int slot = FindSlot(owner, name);
    const bool isImage = StartsWith(value, "image:");
    if (slot >= 0 && (StartsWith(value, "map:") || isImage || value == "none")) {
        const ModelValue map = isImage           ? ModelValue::Image(value.substr(6))
                               : value == "none" ? ModelValue::None()
                                                 : ModelValue::NewMap(value.substr(4));
        try {
            SetSlot(loader, owner, slot, map);
        } catch (const SettingError& e) {
            throw std::runtime_error(where + e.what());
        }
        return;
    }
    if (isImage) throw std::runtime_error(where + "'" + name + "' is not a map slot");
    const int row = FindParam(owner, name);
    if (row < 0) {
        throw std::runtime_error(where + "no parameter called '" + name +
                                 "' (see 'loomhost params')");
    }
    const ParamType type = ParamBlockOf(owner)->GetParameterType(row);
    SetParam(loader, tex, path, ParseSetting(type, value, "--set " + name), t);
}

void ApplyKey(const PluginLoader&, Texmap* tex, const std::string& text) {
    const size_t at = text.find('@');
    const size_t eq = text.find('=', at == std::string::npos ? 0 : at);
    if (at == std::string::npos || eq == std::string::npos || at == 0) {
        throw std::runtime_error("--key '" + text + "': expected NAME@FRAME=VALUE");
    }
    const std::string where = "--key '" + text + "': ";
    const std::string path = std::string(Trim(text.substr(0, at)));
    ParamRow p;
    try {
        p = FindParamRow(tex, path, true);
    } catch (const UnknownNameError& e) {
        if (e.slot) throw;  // a slot on the way, named as --set names it
        throw std::runtime_error(where + e.what());
    } catch (const SettingError& e) {
        throw std::runtime_error(where + e.what());
    }
    TimeValue t = 0;
    try {
        t = FramesToTicks(ParseNumber(text.substr(at + 1, eq - at - 1), "frame"));
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(where + e.what());
    }
    const ParamType type = ParamBlockOf(p.owner)->GetParameterType(p.row);
    SetKey(tex, path, t, ParseSetting(type, text.substr(eq + 1), "--key " + p.name));
}

}  // namespace loom

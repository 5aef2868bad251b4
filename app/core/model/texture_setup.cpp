#include "app/core/model/texture_setup.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "foundation/host/base/text.h"
#include "foundation/host/sdk/texmap_variation.h"
#include "foundation/host/stdmaps/bitmap_tex.h"

namespace loom {
namespace {

/// A number as messages show it: all the digits a double needs.
std::string NumberText(double d) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", d);
    return text;
}

/// The value as the person gave it, for messages.
std::string Shown(const ModelValue& v) {
    if (!v.given.empty()) return v.given;
    switch (v.kind) {
        case ModelValue::Kind::kNumber:
            return NumberText(v.number);
        case ModelValue::Kind::kFlag:
            return v.flag ? "1" : "0";
        case ModelValue::Kind::kColour: {
            std::string text;
            for (double c : v.colour) text += (text.empty() ? "" : ",") + NumberText(c);
            return text;
        }
        case ModelValue::Kind::kNewMap:
            return "map:" + v.name;
        case ModelValue::Kind::kImage:
            return "image:" + v.name;
        case ModelValue::Kind::kMap:
            return "a map";
        case ModelValue::Kind::kNone:
            return "none";
    }
    return {};
}

std::string UnknownNameMessage(const std::string& name, bool slot) {
    return slot ? "no sub-map slot '" + name + "'" : "no parameter called '" + name + "'";
}

}  // namespace

double ParseNumber(const std::string& text, const std::string& what) {
    const std::string t(Trim(text));
    double v = 0.0;
    const char* first = t.data();
    const char* lastc = t.data() + t.size();
    if (!t.empty() && *first == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, lastc, v);
    if (t.empty() || ec != std::errc() || ptr != lastc || !std::isfinite(v)) {
        throw std::runtime_error(what + ": '" + text + "' is not a number");
    }
    return v;
}

TimeValue FramesToTicks(double frames) {
    // Checked in frames, before any product or conversion can overflow.
    if (!(std::fabs(frames) <= static_cast<double>(kMaxFrame))) {
        char text[64];
        std::snprintf(text, sizeof text, "%.9g", frames);
        throw std::runtime_error(std::string("time ") + text + " is out of range (frames -" +
                                 std::to_string(kMaxFrame) + ".." + std::to_string(kMaxFrame) +
                                 ")");
    }
    return static_cast<TimeValue>(std::round(frames * kTicksPerFrame));
}

Texmap* CreateTexture(const PluginLoader& loader, const std::string& className) {
    ClassDesc* cd = loader.FindClassByName(className);
    if (!cd) throw std::runtime_error("unknown class '" + className + "' (see 'loomhost list')");
    if (cd->SuperClassID() != TEXMAP_CLASS_ID) {
        throw std::runtime_error("'" + className + "' is not a texture map");
    }
    auto* tex = static_cast<Texmap*>(cd->Create(FALSE));
    if (!tex) throw std::runtime_error("class '" + className + "' could not create an object");
    return tex;
}

IParamBlock* ParamBlockOf(Texmap* tex) {
    for (int i = 0; tex && i < tex->NumRefs(); ++i) {
        if (auto* pb = dynamic_cast<IParamBlock*>(tex->GetReference(i))) return pb;
    }
    return nullptr;
}

std::string ParamName(Texmap* tex, int i) {
    GetParamName query{std::string(), i};
    PartID part = reinterpret_cast<PartID>(&query);
    tex->NotifyRefChanged(FOREVER, ParamBlockOf(tex), part, REFMSG_GET_PARAM_NAME);
    return query.name;
}

int FindParam(Texmap* tex, const std::string& name) {
    IParamBlock* pb = ParamBlockOf(tex);
    if (!pb) return -1;
    for (int i = 0; i < pb->NumParams(); ++i) {
        if (ParamName(tex, i) == name) return i;
    }
    for (int i = 0; i < pb->NumParams(); ++i) {
        if (Lower(ParamName(tex, i)) == Lower(name)) return i;
    }
    return -1;
}

int FindSlot(Texmap* tex, const std::string& name) {
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) {
        if (tex->GetSubTexmapSlotName(i) == name) return i;
    }
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) {
        if (Lower(tex->GetSubTexmapSlotName(i)) == Lower(name)) return i;
    }
    return -1;
}

ModelValue ModelValue::Number(double d, std::string given) {
    ModelValue v;
    v.kind = Kind::kNumber;
    v.number = d;
    v.given = std::move(given);
    return v;
}

ModelValue ModelValue::Colour(std::vector<double> components, std::string given) {
    ModelValue v;
    v.kind = Kind::kColour;
    v.colour = std::move(components);
    v.given = std::move(given);
    return v;
}

ModelValue ModelValue::Flag(bool on) {
    ModelValue v;
    v.kind = Kind::kFlag;
    v.flag = on;
    return v;
}

ModelValue ModelValue::NewMap(std::string className) {
    ModelValue v;
    v.kind = Kind::kNewMap;
    v.name = std::move(className);
    return v;
}

ModelValue ModelValue::Map(Texmap* tex) {
    ModelValue v;
    v.kind = Kind::kMap;
    v.map = tex;
    return v;
}

ModelValue ModelValue::Image(std::string path) {
    ModelValue v;
    v.kind = Kind::kImage;
    v.name = std::move(path);
    return v;
}

ModelValue ModelValue::None() { return ModelValue(); }

UnknownNameError::UnknownNameError(Texmap* owner_, std::string name_, bool slot_)
    : std::runtime_error(UnknownNameMessage(name_, slot_)),
      owner(owner_),
      name(std::move(name_)),
      slot(slot_) {}

Texmap* WalkPath(Texmap* tex, const std::string& path, std::string& last) {
    std::string rest = path;
    for (size_t dot; (dot = rest.find('.')) != std::string::npos;) {
        const std::string slotName = rest.substr(0, dot);
        const int slot = FindSlot(tex, slotName);
        if (slot < 0) throw UnknownNameError(tex, slotName, true);
        Texmap* sub = tex->GetSubTexmap(slot);
        if (!sub) throw std::runtime_error("sub-map slot '" + slotName + "' is empty");
        tex = sub;
        rest = rest.substr(dot + 1);
    }
    last = rest;
    return tex;
}

ParamValue RowValue(ParamType type, const ModelValue& value, const std::string& what) {
    ParamValue v;
    const std::string shown = Shown(value);
    if (type == TYPE_RGBA) {
        if (value.kind != ModelValue::Kind::kColour || value.colour.size() != 3) {
            throw std::runtime_error(what + ": '" + shown + "' is not a colour (expected R,G,B)");
        }
        for (int c = 0; c < 3; ++c) {
            v.v[c] = static_cast<float>(value.colour[static_cast<size_t>(c)]);
        }
        return v;
    }
    double d = 0.0;
    if (value.kind == ModelValue::Kind::kNumber) {
        d = value.number;
    } else if (value.kind == ModelValue::Kind::kFlag) {
        d = value.flag ? 1.0 : 0.0;
    }
    if ((value.kind != ModelValue::Kind::kNumber && value.kind != ModelValue::Kind::kFlag) ||
        !std::isfinite(d)) {
        throw std::runtime_error(what + ": '" + shown + "' is not a number");
    }
    if (type == TYPE_INT) {
        if (d != std::floor(d)) {
            throw std::runtime_error(what + ": '" + shown + "' is not a whole number");
        }
        if (!FitsInt(d)) {
            throw std::runtime_error(what + ": '" + shown + "' is out of range (" + kIntRowRange +
                                     ")");
        }
        return ParamValue::Int(static_cast<std::int32_t>(d));
    } else if (std::fabs(d) > 3.4e38) {
        throw std::runtime_error(what + ": '" + shown + "' is out of range");
    }
    v.v[0] = static_cast<float>(d);
    return v;
}

ParamRow FindParamRow(Texmap* tex, const std::string& path, bool animated) {
    std::string name;
    Texmap* owner = WalkPath(tex, path, name);
    const int row = FindParam(owner, name);
    if (row < 0) throw UnknownNameError(owner, name, false);
    if (animated && !ParamBlockOf(owner)->IsAnimatable(row)) {
        throw SettingError("'" + name + "' cannot be animated");
    }
    return {owner, row, name};
}

void SetSlot(const PluginLoader& loader, Texmap* owner, int slot, const ModelValue& value) {
    Texmap* sub = nullptr;
    bool made = true;
    switch (value.kind) {
        case ModelValue::Kind::kImage: {
            auto* bm = new BitmapTex();
            std::string err;
            bool read = false;
            try {
                read = bm->SetFileName(value.name, err);
            } catch (const std::bad_alloc&) {
                err = value.name + ": not enough memory to read the image";
            }
            if (!read) {
                DeleteUnreferenced(bm);
                throw SettingError(err);
            }
            sub = bm;
            break;
        }
        case ModelValue::Kind::kNewMap:
            sub = CreateTexture(loader, value.name);
            break;
        case ModelValue::Kind::kMap:
            sub = value.map;
            made = false;
            break;
        case ModelValue::Kind::kNone:
            break;
        default:
            throw SettingError("a sub-map slot takes a map, an image or nothing");
    }
    owner->SetSubTexmap(slot, sub);
    if (sub && owner->GetSubTexmap(slot) != sub) {
        if (made) DeleteUnreferenced(sub);
        throw MapAssignError("the map could not be assigned");
    }
}

void SetMap(const PluginLoader& loader, Texmap* tex, const std::string& path,
            const ModelValue& value) {
    std::string name;
    Texmap* owner = WalkPath(tex, path, name);
    const int slot = FindSlot(owner, name);
    if (slot < 0) throw UnknownNameError(owner, name, true);
    SetSlot(loader, owner, slot, value);
}

void SetParam(const PluginLoader& loader, Texmap* tex, const std::string& path,
              const ModelValue& value, TimeValue t) {
    if (value.IsMap()) {
        std::string name;
        Texmap* owner = WalkPath(tex, path, name);
        const int slot = FindSlot(owner, name);
        if (slot < 0) throw SettingError("'" + name + "' is not a map slot");
        SetSlot(loader, owner, slot, value);
        return;
    }
    const ParamRow p = FindParamRow(tex, path);
    IParamBlock* pb = ParamBlockOf(p.owner);
    const ParamValue v = RowValue(pb->GetParameterType(p.row), value, "--set " + p.name);
    pb->SetRaw(p.row, t, v);
}

void SetKey(Texmap* tex, const std::string& path, TimeValue t, const ModelValue& value) {
    const ParamRow p = FindParamRow(tex, path, true);
    IParamBlock* pb = ParamBlockOf(p.owner);
    const ParamValue v = RowValue(pb->GetParameterType(p.row), value, "--key " + p.name);
    pb->SetKey(p.row, t, v);
}

std::string FormatParamValue(ParamType type, const ParamValue& v) {
    char buf[96];
    if (type == TYPE_RGBA) {
        std::snprintf(buf, sizeof buf, "%.9g,%.9g,%.9g", Widen(v.v[0]), Widen(v.v[1]),
                      Widen(v.v[2]));
    } else if (type == TYPE_INT) {
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v.AsInt()));
    } else {
        std::snprintf(buf, sizeof buf, "%.9g", Widen(v.v[0]));
    }
    return buf;
}

std::uint32_t ParseSeed(const std::string& text, const std::string& what) {
    const std::string range = "0.." + std::to_string(kMaxTexSeed);
    double d = 0.0;
    try {
        d = ParseNumber(text, what);
    } catch (const std::runtime_error&) {
        throw std::runtime_error(what + " '" + text + "': expected a whole number " + range);
    }
    if (d != std::floor(d) || d < 0 || d > static_cast<double>(kMaxTexSeed)) {
        throw std::runtime_error(what + " '" + text + "': out of range (a whole number " + range +
                                 ")");
    }
    return static_cast<std::uint32_t>(d);
}

}  // namespace loom

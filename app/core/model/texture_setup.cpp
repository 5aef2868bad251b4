#include "app/core/model/texture_setup.h"

#include "foundation/host/sdk/texmap_variation.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "foundation/host/stdmaps/bitmap_tex.h"

namespace loom {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t");
    size_t b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

/// Follows "A.B.C" through sub-map slots; returns the texture that owns the last part.
Texmap* Walk(Texmap* tex, const std::string& path, std::string& last) {
    std::string rest = path;
    for (;;) {
        size_t dot = rest.find('.');
        if (dot == std::string::npos) break;
        std::string slotName = rest.substr(0, dot);
        int slot = FindSlot(tex, slotName);
        if (slot < 0) throw std::runtime_error("no sub-map slot '" + slotName + "'");
        Texmap* sub = tex->GetSubTexmap(slot);
        if (!sub) throw std::runtime_error("sub-map slot '" + slotName + "' is empty");
        tex = sub;
        rest = rest.substr(dot + 1);
    }
    last = rest;
    return tex;
}

}  // namespace

double ParseNumber(const std::string& text, const std::string& what) {
    std::string t = Trim(text);
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

ParamValue ParseParamValue(ParamType type, const std::string& text, const std::string& what) {
    ParamValue v;
    if (type == TYPE_RGBA) {
        std::vector<std::string> parts;
        size_t pos = 0;
        for (;;) {
            size_t comma = text.find(',', pos);
            parts.push_back(text.substr(pos, comma == std::string::npos ? comma : comma - pos));
            if (comma == std::string::npos) break;
            pos = comma + 1;
        }
        if (parts.size() != 3) {
            throw std::runtime_error(what + ": '" + text + "' is not a colour (expected R,G,B)");
        }
        for (int c = 0; c < 3; ++c) {
            v.v[c] = static_cast<float>(ParseNumber(parts[static_cast<size_t>(c)], what));
        }
        return v;
    }
    double d = ParseNumber(text, what);
    if (type == TYPE_INT) {
        if (d != std::floor(d)) {
            throw std::runtime_error(what + ": '" + text + "' is not a whole number");
        }
        if (!FitsInt(d)) {
            throw std::runtime_error(what + ": '" + text + "' is out of range (" + kIntRowRange +
                                     ")");
        }
        return ParamValue::Int(static_cast<std::int32_t>(d));
    } else if (std::fabs(d) > 3.4e38) {
        throw std::runtime_error(what + ": '" + text + "' is out of range");
    }
    v.v[0] = static_cast<float>(d);
    return v;
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

void ApplySet(const PluginLoader& loader, Texmap* tex, const std::string& text, TimeValue t) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        throw std::runtime_error("--set '" + text + "': expected NAME=VALUE");
    }
    std::string name;
    Texmap* owner = Walk(tex, Trim(text.substr(0, eq)), name);
    std::string value = Trim(text.substr(eq + 1));
    int slot = FindSlot(owner, name);
    bool isImage = value.rfind("image:", 0) == 0;
    if (slot >= 0 && (value.rfind("map:", 0) == 0 || isImage || value == "none")) {
        Texmap* sub = nullptr;
        if (isImage) {
            auto* bm = new BitmapTex();
            std::string err;
            bool read = false;
            try {
                read = bm->SetFileName(value.substr(6), err);
            } catch (const std::bad_alloc&) {
                err = value.substr(6) + ": not enough memory to read the image";
            }
            if (!read) {
                DeleteUnreferenced(bm);
                throw std::runtime_error("--set '" + text + "': " + err);
            }
            sub = bm;
        } else if (value != "none") {
            sub = CreateTexture(loader, value.substr(4));
        }
        owner->SetSubTexmap(slot, sub);
        if (sub && owner->GetSubTexmap(slot) != sub) {
            DeleteUnreferenced(sub);
            throw std::runtime_error("--set '" + text + "': the map could not be assigned");
        }
        return;
    }
    if (isImage) throw std::runtime_error("--set '" + text + "': '" + name + "' is not a map slot");
    int row = FindParam(owner, name);
    if (row < 0) {
        throw std::runtime_error("--set '" + text + "': no parameter called '" + name +
                                 "' (see 'loomhost params')");
    }
    IParamBlock* pb = ParamBlockOf(owner);
    ParamValue v = ParseParamValue(pb->GetParameterType(row), value, "--set " + name);
    pb->SetRaw(row, t, v);
}

void ApplyKey(const PluginLoader&, Texmap* tex, const std::string& text) {
    size_t at = text.find('@');
    size_t eq = text.find('=', at == std::string::npos ? 0 : at);
    if (at == std::string::npos || eq == std::string::npos || at == 0) {
        throw std::runtime_error("--key '" + text + "': expected NAME@FRAME=VALUE");
    }
    std::string name;
    Texmap* owner = Walk(tex, Trim(text.substr(0, at)), name);
    int row = FindParam(owner, name);
    if (row < 0) {
        throw std::runtime_error("--key '" + text + "': no parameter called '" + name + "'");
    }
    IParamBlock* pb = ParamBlockOf(owner);
    if (!pb->IsAnimatable(row)) {
        throw std::runtime_error("--key '" + text + "': '" + name + "' cannot be animated");
    }
    TimeValue t = 0;
    try {
        t = FramesToTicks(ParseNumber(text.substr(at + 1, eq - at - 1), "frame"));
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("--key '" + text + "': " + e.what());
    }
    ParamValue v = ParseParamValue(pb->GetParameterType(row), text.substr(eq + 1), "--key " + name);
    pb->SetKey(row, t, v);
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

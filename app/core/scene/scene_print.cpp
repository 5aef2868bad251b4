#include "app/core/scene/scene_print.h"

#include "app/core/filter/stereo_settings.h"
#include "app/core/loader/plugin_loader.h"
#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/texmap_variation.h"
#include "foundation/host/stdmaps/bitmap_tex.h"

namespace loom {
namespace {

std::string ClassLabel(ReferenceTarget* t) {
    if (ClassDesc* cd = FindClass(t->SuperClassID(), t->ClassID())) {
        return Utf8FromCp1252(cd->ClassName());
    }
    TSTR name;
    t->GetClassName(name);
    return name;
}

void DescribeTexture(Texmap* tex, const std::string& indent, std::string& out) {
    out += ClassLabel(tex);
    if (auto* bm = dynamic_cast<BitmapTex*>(tex)) {
        if (bm->FileName().empty()) {
            out += " (no file)";
        } else {
            out += " '" + bm->FileName() + "'";
            if (bm->Width() == 0) out += " (missing)";
        }
    }
    // The default seed is not shown, so listings of scenes without seeds read as before.
    if (const std::uint32_t seed = SeedOf(tex); seed != kDefaultTexSeed) {
        out += " (seed " + std::to_string(seed) + ")";
    }
    out += "\n";
    if (IParamBlock* pb = ParamBlockOf(tex)) {
        for (int i = 0; i < pb->NumParams(); ++i) {
            ParamType type = pb->GetParameterType(i);
            out += indent + "  " + ParamName(tex, i) + " = ";
            if (pb->NumKeys(i) == 0) {
                Interval scratch = FOREVER;
                out += FormatParamValue(type, pb->GetRaw(i, 0, scratch));
            } else {
                out += "keys";
                for (const ParamKey& k : pb->Keys(i)) {
                    char frame[32];
                    std::snprintf(frame, sizeof frame, " %g@",
                                  static_cast<double>(k.time) / kTicksPerFrame);
                    out += frame + FormatParamValue(type, k.value);
                }
            }
            out += "\n";
        }
    }
    for (int i = 0; i < tex->NumSubTexmaps(); ++i) {
        out += indent + "  [" + tex->GetSubTexmapSlotName(i) + "] ";
        if (Texmap* sub = tex->GetSubTexmap(i)) {
            DescribeTexture(sub, indent + "    ", out);
        } else {
            out += "none\n";
        }
    }
}

/// "filter 'NAME': CLASS[: settings]" and the stored bytes in hex (at most 64 shown).
void DescribeFilter(const FilterEntry& f, ClassDesc* stereoFilter, std::string& out) {
    out += "filter '" + f.name + "': ";
    char buf[64];
    if (ClassDesc* cd = FindClass(f.superClass, f.classId)) {
        out += Utf8FromCp1252(cd->ClassName());
    } else {
        std::snprintf(buf, sizeof buf, "class 0x%08X 0x%08X (plug-in missing)",
                      static_cast<unsigned>(f.classId.PartA()),
                      static_cast<unsigned>(f.classId.PartB()));
        out += buf;
    }
    if (stereoFilter && f.superClass == stereoFilter->SuperClassID() &&
        f.classId == stereoFilter->ClassID() && f.configuration.size() == kStereoRecordBytes) {
        out += ": " + DescribeStereoSettings(DecodeStereoSettings(f.configuration));
    }
    out += "\n  bytes (" + std::to_string(f.configuration.size()) + "):";
    constexpr size_t kShown = 64;
    for (size_t i = 0; i < f.configuration.size() && i < kShown; ++i) {
        std::snprintf(buf, sizeof buf, " %02x", f.configuration[i]);
        out += buf;
    }
    if (f.configuration.size() > kShown) out += " ...";
    out += "\n";
}

}  // namespace

std::string DescribeScene(SceneHolder& scene, ClassDesc* stereoFilter) {
    std::string out;
    for (int i = 0; i < scene.Count(); ++i) {
        out += "entry '" + scene.Name(i) + "': ";
        ReferenceTarget* obj = scene.Object(i);
        if (auto* tex = dynamic_cast<Texmap*>(obj)) {
            DescribeTexture(tex, "", out);
        } else {
            out += obj ? ClassLabel(obj) + "\n" : "empty\n";
        }
    }
    for (const FilterEntry& f : scene.Filters()) DescribeFilter(f, stereoFilter, out);
    return out;
}

}  // namespace loom

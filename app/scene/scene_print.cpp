#include "app/scene/scene_print.h"

#include "app/cli/texture_setup.h"
#include "app/loader/plugin_loader.h"
#include "foundation/host/classdesc.h"

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
    out += ClassLabel(tex) + "\n";
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

}  // namespace

std::string DescribeScene(SceneHolder& scene) {
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
    return out;
}

}  // namespace loom

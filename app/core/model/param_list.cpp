#include "app/core/model/param_list.h"

#include <cmath>
#include <functional>
#include <map>

#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/window_tree.h"

namespace loom {
namespace {

/// What a control shows, by control ID, over every page of the panel.
struct Shown {
    const WindowNode* node;
    float value;
    int intValue;
    int pos;
    int check;
};

void Collect(const WindowNode& n, std::map<std::pair<HWND, int>, WindowNode>& out) {
    if (n.spinner || n.trackbar || n.check >= 0) out[{n.hwnd, n.id}] = n;
    for (const WindowNode& c : n.children) Collect(c, out);
}

std::map<std::pair<HWND, int>, WindowNode> Snapshot(const MaterialEditor& editor) {
    std::map<std::pair<HWND, int>, WindowNode> out;
    for (const MaterialEditor::Page& p : editor.Pages()) Collect(DescribeWindowTree(p.hwnd), out);
    return out;
}

bool Differs(const WindowNode& a, const WindowNode& b) {
    if (a.check != b.check) return true;
    if (a.trackbar && b.trackbar && a.trackbar->pos != b.trackbar->pos) return true;
    if (a.spinner && b.spinner &&
        (a.spinner->value != b.spinner->value || a.spinner->intValue != b.spinner->intValue)) {
        return true;
    }
    return false;
}

/// Sets row `row` to `v`, brings the texture and its panel up to date and answers the
/// controls that changed.
std::vector<WindowNode> ControlsShowing(Texmap* tex, IParamBlock* pb, MaterialEditor& editor,
                                        int row, const ParamValue& v) {
    const auto before = Snapshot(editor);
    pb->SetRaw(row, 0, v);
    Interval valid = FOREVER;
    tex->Update(0, valid);
    if (editor.Panel()) editor.Panel()->ReloadDialog();
    PumpMessages();
    std::vector<WindowNode> changed;
    for (const auto& [key, node] : Snapshot(editor)) {
        auto it = before.find(key);
        if (it != before.end() && Differs(it->second, node)) changed.push_back(node);
    }
    return changed;
}

void FromControls(const std::vector<WindowNode>& changed, ParamInfo& info) {
    for (const WindowNode& n : changed) {
        if (n.spinner) {
            info.min = n.spinner->min;
            info.max = n.spinner->max;
            info.rangeFromPanel = true;
            return;
        }
        if (n.trackbar) {
            info.min = n.trackbar->min;
            info.max = n.trackbar->max;
            info.rangeFromPanel = true;
            return;
        }
    }
    for (const WindowNode& n : changed) {
        if (n.check >= 0 && info.type == TYPE_INT) {
            info.kind = ParamKind::kFlag;
            info.min = 0.0;
            info.max = 1.0;
            info.rangeFromPanel = true;
            return;
        }
    }
}

}  // namespace

std::vector<ParamInfo> DescribeParams(const PluginLoader& loader, const std::string& className) {
    SceneHolder holder;  // deletes the texture made for the purpose
    Texmap* tex = CreateTexture(loader, className);
    holder.Add(className, tex);
    std::vector<ParamInfo> params;
    IParamBlock* pb = ParamBlockOf(tex);
    if (!pb) return params;
    for (int row = 0; row < pb->NumParams(); ++row) {
        ParamInfo info;
        info.row = row;
        info.name = ParamName(tex, row);
        info.type = pb->GetParameterType(row);
        info.animatable = pb->IsAnimatable(row) != FALSE;
        Interval valid = FOREVER;
        info.def = pb->GetRaw(row, 0, valid);
        info.kind = info.type == TYPE_RGBA  ? ParamKind::kColour
                    : info.type == TYPE_INT ? ParamKind::kInteger
                                            : ParamKind::kNumber;
        info.min = info.kind == ParamKind::kColour ? 0.0 : -kUnboundedParam;
        info.max = info.kind == ParamKind::kColour ? 1.0 : kUnboundedParam;
        params.push_back(info);
    }
    MaterialEditor editor;
    if (!editor.Open(tex)) return params;
    PumpMessages();
    for (ParamInfo& info : params) {
        if (info.kind == ParamKind::kColour) continue;
        // Changes a control would show whatever its range: either side of the value, a
        // whole step for sliders and integer spinners.
        std::vector<ParamValue> probes;
        if (info.type == TYPE_INT) {
            const std::int32_t v = info.def.AsInt();
            probes = {ParamValue::Int(v == 0 ? 1 : 0), ParamValue::Int(v + 2)};
        } else {
            for (float d : {1.0f, -1.0f, 0.25f, -0.25f}) {
                ParamValue p = info.def;
                p.v[0] += d;
                probes.push_back(p);
            }
        }
        for (const ParamValue& p : probes) {
            const std::vector<WindowNode> changed = ControlsShowing(tex, pb, editor, info.row, p);
            ControlsShowing(tex, pb, editor, info.row, info.def);
            if (changed.empty()) continue;
            FromControls(changed, info);
            if (info.rangeFromPanel) break;
        }
    }
    editor.Close();
    PumpMessages();
    return params;
}

}  // namespace loom

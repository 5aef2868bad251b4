#include "app/core/model/param_info.h"

#include <strings.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/window_tree.h"

namespace loom {
namespace {

bool SameClass(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

/// Every row's value at time 0.
std::vector<ParamValue> Snapshot(IParamBlock* pb) {
    std::vector<ParamValue> values;
    for (int i = 0; i < pb->NumParams(); ++i) {
        Interval scratch = FOREVER;
        values.push_back(pb->GetRaw(i, 0, scratch));
    }
    return values;
}

std::vector<int> ChangedRows(const std::vector<ParamValue>& before,
                             const std::vector<ParamValue>& after) {
    std::vector<int> rows;
    for (size_t i = 0; i < before.size(); ++i) {
        if (!(before[i] == after[i])) rows.push_back(static_cast<int>(i));
    }
    return rows;
}

/// Puts back the rows a probe moved, so that the next control starts from the defaults.
void Restore(IParamBlock* pb, const std::vector<ParamValue>& values) {
    const std::vector<ParamValue> now = Snapshot(pb);
    for (int row : ChangedRows(values, now)) pb->SetRaw(row, 0, values[static_cast<size_t>(row)]);
    PumpMessages();
}

std::string Number(float v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

/// Records for each row the control moves the values it reaches at the control's two ends.
/// `toLow` and `toHigh` put the control at its lower and upper end; the lower end is
/// visited twice (low, high, low), so a control already at an end still sends a change.
void ProbeRange(IParamBlock* pb, std::vector<ParamInfo>& params, ParamControl control,
                float controlStep, float controlSpan, const std::function<void()>& toLow,
                const std::function<void()>& toHigh) {
    const std::vector<ParamValue> start = Snapshot(pb);
    toLow();
    toHigh();
    const std::vector<ParamValue> high = Snapshot(pb);
    toLow();
    const std::vector<ParamValue> low = Snapshot(pb);
    for (int row : ChangedRows(low, high)) {
        ParamInfo& p = params[static_cast<size_t>(row)];
        if (p.control != ParamControl::kNone || p.type == TYPE_RGBA) continue;
        const float a = low[static_cast<size_t>(row)].v[0];
        const float b = high[static_cast<size_t>(row)].v[0];
        p.control = control;
        p.min = std::min(a, b);
        p.max = std::max(a, b);
        // The control's step in the row's units: the row may be the control's value scaled.
        p.step = controlSpan > 0.0f ? controlStep * (p.max - p.min) / controlSpan : 0.0f;
    }
    Restore(pb, start);
}

}  // namespace

const char* ParamTypeName(ParamType type) {
    switch (type) {
        case TYPE_INT:
            return "int";
        case TYPE_RGBA:
            return "color";
        default:
            return "float";
    }
}

TextureInfo DescribeTextureClass(const PluginLoader& loader, const std::string& className) {
    SceneHolder holder;  // owns the scratch texture
    Texmap* tex = CreateTexture(loader, className);
    holder.Add(className, tex);
    IParamBlock* pb = ParamBlockOf(tex);
    if (!pb) throw std::runtime_error("'" + className + "' has no parameter block");

    TextureInfo info;
    const std::vector<ParamValue> defaults = Snapshot(pb);
    for (int i = 0; i < pb->NumParams(); ++i) {
        ParamInfo p;
        p.name = ParamName(tex, i);
        p.type = pb->GetParameterType(i);
        p.animatable = pb->IsAnimatable(i) != FALSE;
        p.defaultValue = defaults[static_cast<size_t>(i)];
        if (p.type == TYPE_RGBA) {
            p.max = 1.0f;
            p.step = 1.0f / 255.0f;
        }
        info.params.push_back(p);
    }
    for (int i = 0; i < tex->NumSubTexmaps(); ++i)
        info.maps.push_back(tex->GetSubTexmapSlotName(i));

    MaterialEditor editor;
    if (!editor.Open(tex) || editor.Pages().empty()) return info;
    PumpMessages();
    for (const MaterialEditor::Page& page : editor.Pages()) {
        const HWND dlg = page.hwnd;
        for (const WindowNode& n : DescribeWindowTree(dlg).children) {
            if (!interact::Reachable(n.hwnd)) continue;
            if (n.spinner && n.spinner->editId != 0) {
                const SpinnerInfo s = *n.spinner;
                auto to = [&](float v) {
                    return [&, v] { interact::TypeValue(dlg, s.editId, Number(v)); };
                };
                ProbeRange(pb, info.params, ParamControl::kSpinner, s.isInteger ? 1.0f : s.scale,
                           s.max - s.min, to(s.min), to(s.max));
            } else if (n.trackbar) {
                const TrackbarInfo t = *n.trackbar;
                auto to = [&](int pos) {
                    return [&, pos] { interact::MoveSlider(dlg, n.id, pos); };
                };
                ProbeRange(pb, info.params, ParamControl::kSlider, 1.0f,
                           static_cast<float>(t.max - t.min), to(t.min), to(t.max));
            } else if (n.swatch) {
                // Colour rows are known by type; nothing to learn from the picker.
            } else if (SameClass(n.className, "Button") || SameClass(n.className, "CustButton")) {
                const DWORD kind = n.style & 0x000Fu;                               // BS_TYPEMASK
                const bool isPush = n.check < 0 && (kind == 0x0u || kind == 0x1u);  // (DEF)PUSH
                if (SameClass(n.className, "Button") && n.check < 0 && !isPush) continue;
                const std::vector<ParamValue> before = Snapshot(pb);
                interact::Click(dlg, n.id);
                PumpMessages();
                const std::vector<int> changed = ChangedRows(before, Snapshot(pb));
                if (n.check >= 0) {
                    // A check or radio button: the int rows it sets are flags.
                    for (int row : changed) {
                        ParamInfo& p = info.params[static_cast<size_t>(row)];
                        if (p.type != TYPE_INT || p.control != ParamControl::kNone) continue;
                        p.control = ParamControl::kButton;
                        p.min = 0.0f;
                        p.max = 1.0f;
                        p.step = 1.0f;
                    }
                } else if (!changed.empty() && !n.text.empty()) {
                    info.buttons.push_back(Utf8FromCp1252(n.text));
                }
                Restore(pb, before);
            }
        }
    }
    for (ParamInfo& p : info.params) {
        if (p.type == TYPE_RGBA) p.control = ParamControl::kSwatch;
    }
    editor.Close();
    PumpMessages();
    return info;
}

}  // namespace loom

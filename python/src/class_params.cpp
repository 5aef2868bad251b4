#include "python/src/class_params.h"

#include <pybind11/stl.h>

#include <map>

#include "app/core/model/param_info.h"
#include "python/src/errors.h"
#include "python/src/model_hold.h"
#include "python/src/plugins.h"
#include "python/src/texture.h"

namespace py = pybind11;

namespace loomwork {
namespace {

/// The description of a class, made once a process: it opens a panel and works its
/// controls, which takes a few milliseconds.
const loom::TextureInfo& Described(const std::string& className) {
    static std::map<std::string, loom::TextureInfo> described;
    const loom::PluginLoader& plugins = Plugins();
    ModelHold hold;
    ClassDesc* cd = plugins.FindClassByName(className);
    if (!cd || cd->SuperClassID() != TEXMAP_CLASS_ID) {
        throw NameError("unknown texture class '" + className + "' (see loomwork.classes())");
    }
    auto found = described.find(className);
    if (found == described.end()) {
        // The probe's mutation buttons draw random numbers: from a stream of their own,
        // so that the calling thread's generator is as it was.
        RandStream scratch;
        RandStream::Use use(scratch);
        found = described.emplace(className, loom::DescribeTextureClass(plugins, className)).first;
    }
    return found->second;
}

py::object Value(ParamType type, const ParamValue& v) {
    if (type == TYPE_RGBA) {
        return py::make_tuple(static_cast<double>(v.v[0]), static_cast<double>(v.v[1]),
                              static_cast<double>(v.v[2]));
    }
    if (type == TYPE_INT) return py::int_(v.AsInt());
    return py::float_(static_cast<double>(v.v[0]));
}

py::object Bound(const loom::ParamInfo& p, float bound) {
    if (p.control == loom::ParamControl::kNone) return py::none();
    if (p.type == TYPE_INT) return py::int_(static_cast<int>(bound));
    return py::float_(static_cast<double>(bound));
}

const char* ControlName(loom::ParamControl c) {
    switch (c) {
        case loom::ParamControl::kSpinner:
            return "spinner";
        case loom::ParamControl::kSlider:
            return "slider";
        case loom::ParamControl::kButton:
            return "button";
        case loom::ParamControl::kSwatch:
            return "swatch";
        default:
            return "none";
    }
}

}  // namespace

void BindClassParams(py::module_& m) {
    py::class_<loom::ParamInfo>(m, "ParamInfo", "A parameter of a texture class.")
        .def_readonly("name", &loom::ParamInfo::name, "The name tex[name] takes")
        .def_property_readonly(
            "type", [](const loom::ParamInfo& p) { return loom::ParamTypeName(p.type); },
            "'float', 'int' or 'color'")
        .def_property_readonly(
            "default", [](const loom::ParamInfo& p) { return Value(p.type, p.defaultValue); },
            "A new texture's value: float, int or (R, G, B)")
        .def_readonly("animatable", &loom::ParamInfo::animatable, "Whether key() may key it")
        .def_property_readonly(
            "control", [](const loom::ParamInfo& p) { return ControlName(p.control); },
            "The panel control that edits it: 'spinner', 'slider', 'button' (a flag), "
            "'swatch' (a colour) or 'none'")
        .def_property_readonly(
            "min", [](const loom::ParamInfo& p) { return Bound(p, p.min); },
            "The least value the panel's control offers (None without a control); values "
            "outside the panel's range may still be set")
        .def_property_readonly(
            "max", [](const loom::ParamInfo& p) { return Bound(p, p.max); },
            "The greatest value the panel's control offers (None without a control)")
        .def_property_readonly(
            "step", [](const loom::ParamInfo& p) { return Bound(p, p.step); },
            "One step of the control (a spinner's drag step, a slider's notch)")
        .def("__repr__", [](const loom::ParamInfo& p) {
            return "ParamInfo(name='" + p.name + "', type='" + loom::ParamTypeName(p.type) +
                   "', default=" + py::repr(Value(p.type, p.defaultValue)).cast<std::string>() +
                   ", min=" + py::repr(Bound(p, p.min)).cast<std::string>() +
                   ", max=" + py::repr(Bound(p, p.max)).cast<std::string>() + ")";
        });
    m.def(
        "parameters", [](const std::string& className) { return Described(className).params; },
        py::arg("class_name"),
        "The parameters of a texture class in row order, with type, default and the range "
        "of the panel control that edits each (found once a process from its panel).");
    m.def(
        "panel_buttons", [](const std::string& className) { return Described(className).buttons; },
        py::arg("class_name"),
        "The texts of the buttons of a texture class's panel that set values when clicked "
        "(presets, palettes, mutations, Swap): each is a name Texture.preset() takes.");
}

}  // namespace loomwork

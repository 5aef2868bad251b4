#pragma once
/// loomwork.parameters() and loomwork.panel_buttons(): what a texture class's parameters
/// are (type, default, the range its panel offers) and which buttons of its panel set
/// values, for programs that build their own controls.

#include <pybind11/pybind11.h>

namespace loomwork {

void BindClassParams(pybind11::module_& m);

}  // namespace loomwork

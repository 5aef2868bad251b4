#pragma once
/// Stereo pairs adjusted before they are composed (alignment, parallax, crop), for Python.

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "app/core/stereo/pair_adjust.h"

namespace loomwork {

/// The adjustment the keyword arguments align=, parallax= and crop= ask for: align None or
/// False (off), True or "apply", "report", "try"; parallax None, a number of pixels or
/// "auto"; crop None, "auto", "none" or "W:H". Throws std::runtime_error for bad values.
loom::stereo::AdjustOptions AdjustFromArguments(const pybind11::object& align,
                                                const pybind11::object& parallax,
                                                const std::optional<std::string>& crop, bool swap);

/// A dict of what AdjustPair found (the --report fields).
pybind11::dict AdjustDict(const loom::stereo::AdjustResult& result);

/// Adds loomwork.align.
void AddStereoFunctions(pybind11::module_& m);

}  // namespace loomwork

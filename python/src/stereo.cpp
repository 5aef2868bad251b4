#include "python/src/stereo.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <stdexcept>

#include "python/src/arrays.h"
#include "python/src/errors.h"

namespace py = pybind11;

namespace loomwork {

loom::stereo::AdjustOptions AdjustFromArguments(const py::object& align, const py::object& parallax,
                                                const std::optional<std::string>& crop, bool swap) {
    loom::stereo::AdjustOptions o;
    o.swap = swap;
    if (py::isinstance<py::bool_>(align)) {
        o.align =
            align.cast<bool>() ? loom::stereo::AlignMode::kApply : loom::stereo::AlignMode::kOff;
    } else if (py::isinstance<py::str>(align)) {
        const std::string mode = align.cast<std::string>();
        if (mode != "apply" && mode != "report" && mode != "try" && mode != "on" && mode != "off" &&
            !mode.empty()) {
            throw std::runtime_error("align '" + mode +
                                     "': use True, False, \"report\" or \"try\"");
        }
        o.align = loom::stereo::ParseAlignMode(mode);
    } else if (!align.is_none()) {
        throw std::runtime_error("align takes True, False, \"report\" or \"try\"");
    }
    if (py::isinstance<py::str>(parallax)) {
        ArgumentNamed("--parallax", "parallax",
                      [&] { loom::stereo::ParseParallax(parallax.cast<std::string>(), o); });
    } else if (py::isinstance<py::int_>(parallax) || py::isinstance<py::float_>(parallax)) {
        ArgumentNamed("--parallax", "parallax", [&] {
            loom::stereo::ParseParallax(py::str(parallax).cast<std::string>(), o);
        });
    } else if (!parallax.is_none()) {
        throw std::runtime_error("parallax takes a number of pixels or \"auto\"");
    }
    if (crop) ArgumentNamed("--crop", "crop", [&] { loom::stereo::ParseCrop(*crop, o); });
    return o;
}

py::dict AdjustDict(const loom::stereo::AdjustResult& result) {
    py::dict d;
    d["aligned"] = result.aligned;
    if (result.alignment) {
        const loom::stereo::Alignment& a = *result.alignment;
        d["dy_px"] = a.dyPx;
        d["rotation_deg"] = a.rotationDeg;
        d["scale"] = a.scale;
        d["keystone"] = a.keystone;
        d["matches"] = a.matches;
        d["residual_median_px"] = a.residualMedianPx;
        d["residual_p95_px"] = a.residualP95Px;
        d["residual_median_before_px"] = a.residualMedianBeforePx;
        d["correction"] =
            py::make_tuple(py::make_tuple(a.correction[0], a.correction[1], a.correction[2]),
                           py::make_tuple(a.correction[3], a.correction[4], a.correction[5]),
                           py::make_tuple(a.correction[6], a.correction[7], a.correction[8]));
    }
    d["parallax_px"] = result.parallaxPx;
    d["crop"] = py::make_tuple(result.crop.x, result.crop.y, result.crop.width, result.crop.height);
    d["align_seconds"] = result.seconds;
    d["warnings"] = result.warnings;
    return d;
}

void AddStereoFunctions(py::module_& m) {
    m.def(
        "align",
        [](const py::object& leftArg, const py::object& rightArg, const py::object& apply,
           const py::object& parallax, const std::optional<std::string>& crop, bool swap) {
            loom::stereo::AdjustOptions o = AdjustFromArguments(apply, parallax, crop, swap);
            if (o.align == loom::stereo::AlignMode::kOff)
                o.align = loom::stereo::AlignMode::kReport;
            loom::Image16 l = Image16FromArray(ArrayArg(leftArg, "left"), "left");
            loom::Image16 r = Image16FromArray(ArrayArg(rightArg, "right"), "right");
            loom::stereo::AdjustResult result;
            {
                py::gil_scoped_release release;
                try {
                    result = loom::stereo::AdjustPair(o, l, r);
                } catch (const std::invalid_argument& e) {
                    throw std::runtime_error(e.what());
                }
            }
            return py::make_tuple(AdjustDict(result), ArrayFromImage16(l), ArrayFromImage16(r));
        },
        py::arg("left"), py::arg("right"), py::arg("apply") = true,
        py::arg("parallax") = py::none(), py::arg("crop") = py::none(), py::arg("swap") = false,
        R"(Aligns the right view of a stereo pair to the left, as `loomhost anaglyph --align`:
the vertical offset, rotation, scale (and keystone) found from matched features.
left and right: arrays as anaglyph() takes them, the same size.
apply: True resamples the right view, False or "report" only measures, "try" leaves
pairs that cannot be matched as they are (with a warning) instead of raising ValueError.
parallax: pixels to shift the right view to the right, or "auto"; crop: "auto" (the
default when the views move), "none" or "W:H".
Returns (info, left, right): info a dict with dy_px, rotation_deg, scale, keystone,
matches, residual_median_px, residual_p95_px, parallax_px, crop (x, y, width, height),
align_seconds, correction (3x3) and warnings; the views as uint16 arrays.)");
}

}  // namespace loomwork

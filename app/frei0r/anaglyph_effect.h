#pragma once
/// The stereo filter as frei0r effects: a mixer of two inputs (the left view first, the
/// right second: a transition in MLT) and a filter of side-by-side frames (the left view
/// on the left; a frei0r filter keeps the frame's size, so each half is widened to the
/// full width, as half-width side-by-side video is shown, and the anaglyph fills the
/// frame; an odd width's last column repeats the one before). Frames are composed by the
/// core as `loomhost anaglyph` composes 8-bit video frames: alpha is not read, the result
/// is opaque.
///
/// Parameters: Method (a string: grey, half-colour, colour, dubois), Glasses (none,
/// red-cyan, green-magenta, amber-blue; none: the eyes below, red-cyan for the colour
/// methods), Left eye and Right eye (red, green, blue: the grey method's channels), Left
/// compensation and Right compensation (doubles 0..1 spread over -0.5..0; default 0.8, that
/// is -0.1).

#include "app/frei0r/frei0r_api.h"

#include <cstdint>

namespace loom::frei0r {

enum class AnaglyphForm { kMixer, kSideBySide };

int AnaglyphInit(AnaglyphForm form) noexcept;
void AnaglyphInfo(AnaglyphForm form, f0r_plugin_info_t* info) noexcept;
void AnaglyphParamInfo(f0r_param_info_t* info, int index) noexcept;
f0r_instance_t AnaglyphConstruct(AnaglyphForm form, unsigned width, unsigned height) noexcept;
void AnaglyphDestruct(f0r_instance_t instance) noexcept;
void AnaglyphSetParam(f0r_instance_t instance, f0r_param_t param, int index) noexcept;
void AnaglyphGetParam(f0r_instance_t instance, f0r_param_t param, int index) noexcept;
/// `second` is null for the side-by-side filter.
void AnaglyphUpdate(f0r_instance_t instance, const std::uint32_t* first,
                    const std::uint32_t* second, std::uint32_t* out) noexcept;

}  // namespace loom::frei0r

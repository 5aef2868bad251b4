#pragma once
/// A texture as a frei0r source: one library per texture class, each parameter of the
/// texture's panel a frei0r parameter. Numbers are doubles 0..1 spread over the panel's
/// range (value = min + d * (max - min); whole numbers rounded), flags booleans, colours
/// colours; each parameter's explanation gives its range. Three parameters follow the
/// texture's own: Seed (text, a whole number, as `loomhost render --seed`), Tile (a boolean,
/// `--tile`) and Tiles (text "CxR", `--tiles`). The frame's time (seconds) is
/// the texture's time at 30 frames a second, as `loomhost render --time` counts it; a time
/// within a millisecond of a whole frame is that frame (FFmpeg gives times to the
/// millisecond). Frames are 8-bit RGBA exactly as `loomhost render --bits 8` writes them.
///
/// Instances are independent; calls on one instance come from one thread at a time, as
/// frei0r requires; the host objects they share are guarded by the core's model lock.

#include "app/frei0r/frei0r_api.h"

#include <cstdint>

namespace loom::frei0r {

/// The frei0r entry points of the source for texture class `className`; every one catches
/// everything and reports on stderr.
int TextureInit(const char* className) noexcept;
void TextureInfo(const char* className, f0r_plugin_info_t* info) noexcept;
void TextureParamInfo(const char* className, f0r_param_info_t* info, int index) noexcept;
f0r_instance_t TextureConstruct(const char* className, unsigned width, unsigned height) noexcept;
void TextureDestruct(f0r_instance_t instance) noexcept;
void TextureSetParam(f0r_instance_t instance, f0r_param_t param, int index) noexcept;
void TextureGetParam(f0r_instance_t instance, f0r_param_t param, int index) noexcept;
void TextureUpdate(f0r_instance_t instance, double time, std::uint32_t* out) noexcept;

/// Frames (30 a second) of a frame time in seconds, a whole frame when within a
/// millisecond of one.
double FramesOfTime(double seconds) noexcept;

}  // namespace loom::frei0r

#pragma once
// Stereo test pictures, how each layout packs them, and the anaglyph the still-picture path
// makes of them (the stereo filter with its default configuration, through RunCompositor).

#include <string>
#include <vector>

#include "dioptrix/config.h"
#include "foundation/host/sdk/bitmap.h"

namespace videotest {

using loom::Image16;

/// A view of busy pixels (neighbours differ) that depend on `seed`; values are whole steps of
/// `depth` bits (steps of 65535 / (2^depth - 1), rounded).
Image16 View(int w, int h, int seed, int depth = 8);

/// The frame a layout (by name) makes of two views: full layouts place them beside or
/// above each other; half layouts keep every second column or row of each.
Image16 Pack(const std::string& layout, const Image16& left, const Image16& right);

/// The views a player recovers from a frame of that layout: full ones as they were, half
/// ones stretched back by linear interpolation between pixel centres.
void Unpack(const std::string& layout, const Image16& left, const Image16& right, Image16& outLeft,
            Image16& outRight);

/// The still path's anaglyph of a pair, by the filter in `config` (default: the filter's).
Image16 StillAnaglyph(const Image16& left, const Image16& right, const DioptrixConfig& config = {});

}  // namespace videotest

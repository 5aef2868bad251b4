#pragma once
/// How a file holds a stereo pair, and why it is believed: stereo photos by their container
/// (MPO pictures, a JPS descriptor), video by the stereo data FFmpeg's libraries give
/// (Matroska StereoMode, MP4 st3d, H.264/H.265 frame-packing messages), then the file
/// name's markers (_sbs, -lr, _tb, -ou, ...).

#include <optional>
#include <string>
#include <vector>

#include "app/core/stereo/stereo_layout.h"

namespace loom {

struct LayoutProbe {
    std::string kind;           ///< "MPO stereo photo", "JPS stereo photo", "video", "picture"
    int width = 0, height = 0;  ///< of the picture or frame
    /// How one picture or frame holds both views; nothing for an MPO (two pictures) or
    /// when nothing says.
    std::optional<StereoLayout> layout;
    bool twoPictures = false;           ///< an MPO: the views are pictures of their own
    std::vector<std::string> evidence;  ///< what was found, in the order looked at
};

/// Looks at `path` (a regular file). Throws std::runtime_error naming the file when it
/// cannot be read.
LayoutProbe ProbeLayout(const std::string& path);

/// The layout the first frame of a video's stream carries in its stereo side data (the
/// frame-packing messages of H.264 and H.265), with a description; nothing when none.
std::optional<StereoLayout> FramePackingLayout(const std::string& path, std::string& description);

/// The probe as lines for people: what the file is, what was found, the layout chosen.
std::string DescribeProbe(const std::string& path, const LayoutProbe& probe);

}  // namespace loom

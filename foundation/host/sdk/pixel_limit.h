#pragma once
/// The most pixels a picture read from a file may have. The image readers (image maps,
/// stereo inputs and photos, video frames) refuse larger ones before taking memory for
/// them; the command line's --max-pixels sets it for the process.

#include <cstddef>

namespace loom {

/// The default: 2^27 pixels (a 1 GiB picture at 64 bits a pixel, several times that while
/// it is decoded and composed), suited to a desktop.
inline constexpr long long kDefaultMaxImagePixels = 1LL << 27;

/// The limit now: kDefaultMaxImagePixels unless changed; never above kMaxImagePixels (the
/// largest picture made). Thread-safe.
long long MaxImagePixels();
/// Changes the limit for the process: 1 .. kMaxImagePixels; false, leaving it, otherwise.
bool SetMaxImagePixels(long long pixels);
/// The largest image file read: a picture at the limit uncompressed at four 32-bit
/// channels, with room for its headers.
std::size_t MaxImageFileBytes();

}  // namespace loom

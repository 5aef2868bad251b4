#pragma once
/// Stereo photo files as a camera writes them: MPO (two or more JPEG pictures in one file,
/// listed by the multi-picture index in the first picture's APP2 "MPF" segment) and JPS (one
/// JPEG holding both views side by side, the right view in the left half). The parsers
/// walk the JPEG segments by their declared lengths and check every offset and length
/// against the bytes they have; they never scan for markers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "app/core/filter/image16.h"
#include "app/core/stereo/stereo_layout.h"

namespace loom::stereo {

/// A run of bytes within a file.
struct ByteRange {
    std::size_t offset = 0;
    std::size_t size = 0;
};

/// The left and right pictures of an MPO file's bytes: the first picture (the file's start,
/// as long as the index says) and the next one the index lists that is not a thumbnail.
/// False with `why` (the cause, without a file name) when the first picture has no
/// multi-picture index, the index is damaged or lies outside its segment, it lists fewer
/// than two pictures, or a listed picture lies outside the file, overlaps the first one
/// or does not begin as a JPEG.
bool FindMpoPictures(const std::uint8_t* data, std::size_t size, ByteRange& left, ByteRange& right,
                     std::string& why);

/// The EXIF orientation (1..8) in a JPEG's APP1 segment; 1 when there is none or it
/// cannot be read.
int JpegOrientation(const std::uint8_t* data, std::size_t size) noexcept;

/// Turns `image` upright for EXIF orientation `orientation` (1..8; others leave it as it
/// is): 2 mirrors left-right, 3 turns a half turn, 4 mirrors top-bottom, 5 transposes, 6
/// turns a quarter clockwise, 7 transposes across the other diagonal, 8 turns a quarter
/// anticlockwise.
void ApplyOrientation(Image16& image, int orientation);

/// A JPS file's own stereo descriptor (its APP3 "_JPSJPS_" segment), when it has one.
struct JpsDescriptor {
    bool found = false;
    /// The views' layout; nothing when the descriptor gives no two views in one picture
    /// (mono, interleaved or anaglyph).
    std::optional<StereoLayout> layout;
    std::string description;  ///< "stereo, side by side, left first, half width", ...
};

/// The descriptor of a JPS file's bytes (among the segments before the first scan).
JpsDescriptor ReadJpsDescriptor(const std::uint8_t* data, std::size_t size);

/// Whether `path` names a stereo photo file, by its extension: ".mpo" or ".jps" (any case).
bool IsStereoPhoto(const std::string& path);

/// Reads an MPO or JPS file (by extension) as a pair, each picture turned upright by its
/// own EXIF orientation (a JPS is turned before it is split). A JPS is split as its
/// descriptor says, or side by side with the right view first when it has none. False with `error`
/// naming the file and the cause.
bool ReadStereoPhoto(const std::string& path, Image16& left, Image16& right, std::string& error);

/// ReadStereoPhoto on a file's bytes; `name`'s extension says MPO or JPS.
bool DecodeStereoPhoto(const std::string& name, const std::uint8_t* data, std::size_t size,
                       Image16& left, Image16& right, std::string& error);

}  // namespace loom::stereo

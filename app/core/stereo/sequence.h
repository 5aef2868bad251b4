#pragma once
/// Many pairs at once: numbered frame files named by a printf-style pattern
/// ("left_%04d.png"), and folders of pictures whose left and right views are matched by
/// name. Only names are worked out here; nothing is read.

#include <string>
#include <vector>

namespace loom::stereo {

/// Whether the file-name part of `path` holds a frame number pattern: "%d" or "%0Nd"
/// (N 1..9). "%%" is a plain percent sign.
bool IsFramePattern(const std::string& path);

/// The path of frame `frame` (0 or more) of `pattern`, the number padded with zeros to the
/// pattern's width. Throws std::runtime_error unless the file-name part holds exactly
/// one pattern and no other '%' than "%%".
std::string FramePath(const std::string& pattern, int frame);

/// The frame numbers whose files exist in the pattern's folder (names that the pattern
/// makes for that number), ascending. Throws std::runtime_error when the folder cannot be
/// read.
std::vector<int> FramesOnDisk(const std::string& pattern);

/// A left and a right picture, and the name (without extension) their anaglyph takes.
struct NamedPair {
    std::string left, right, name;
};

/// Whether `name` has an image file extension the reader knows (.png, .jpg, .jpeg,
/// .tif, .tiff, .exr, .bmp; any case).
bool HasImageExtension(const std::string& name);

/// Pictures of two folders paired by name: each picture of `leftFolder` with the picture
/// of `rightFolder` of the same name without extension; the pair takes that name. Throws
/// std::runtime_error naming the first picture that has no partner, or when a folder
/// holds no pictures or cannot be read. Sorted by name.
std::vector<NamedPair> PairFolders(const std::string& leftFolder, const std::string& rightFolder);

/// Pictures of one folder paired by a left/right word in their names: the last part of
/// a name (parts are separated by '_', '-', '.' or ' ') that reads "l" or "left" pairs with
/// the name that has "r" or "right" there and is otherwise the same (any case:
/// "shot_L.png" with "shot_R.png", "left-07.png" with "right-07.png"). The pair takes the
/// name without that part and its separator. Pictures without such a word are not
/// paired. Stereo photos (.mpo, .jps) are pairs of their own (`right` empty), named by
/// their names without extension. Throws std::runtime_error naming a picture whose partner
/// is missing, two pairs that take the same name, or when no pair is found. Sorted by
/// name.
std::vector<NamedPair> PairInFolder(const std::string& folder);

}  // namespace loom::stereo

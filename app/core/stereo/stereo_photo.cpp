#include "app/core/stereo/stereo_photo.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/core/filter/filter_run.h"
#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/pixel_limit.h"

namespace loom::stereo {
namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kApp2 = 0xE2;

std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

/// Reads 16- and 32-bit numbers of a TIFF-structured block (EXIF, the MP index) in the
/// block's byte order, at offsets from the block's start; every read is checked.
class TiffBlock {
  public:
    TiffBlock(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    /// Reads the header: byte order and the first IFD's offset.
    bool Open(std::uint32_t& firstIfd) {
        if (size_ < 8) return false;
        if (data_[0] == 'I' && data_[1] == 'I') {
            little_ = true;
        } else if (data_[0] == 'M' && data_[1] == 'M') {
            little_ = false;
        } else {
            return false;
        }
        std::uint16_t magic = 0;
        return U16(2, magic) && magic == 42 && U32(4, firstIfd);
    }
    bool Fits(std::size_t at, std::size_t n) const { return at <= size_ && n <= size_ - at; }
    bool U16(std::size_t at, std::uint16_t& v) const {
        if (!Fits(at, 2)) return false;
        const std::uint8_t* p = data_ + at;
        v = little_ ? static_cast<std::uint16_t>(p[0] | p[1] << 8)
                    : static_cast<std::uint16_t>(p[0] << 8 | p[1]);
        return true;
    }
    bool U32(std::size_t at, std::uint32_t& v) const {
        if (!Fits(at, 4)) return false;
        const std::uint8_t* p = data_ + at;
        v = little_ ? (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                       std::uint32_t{p[3]} << 24)
                    : (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                       std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]});
        return true;
    }
    std::size_t Size() const { return size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    bool little_ = true;
};

/// One IFD entry: tag, type, count and the offset of its 4-byte value field.
struct IfdEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::size_t valueAt = 0;
};

/// The entries of the IFD at `at`; false when the IFD does not lie within the block.
bool ReadIfd(const TiffBlock& block, std::size_t at, std::vector<IfdEntry>& entries) {
    std::uint16_t n = 0;
    if (!block.U16(at, n) || !block.Fits(at + 2, std::size_t{n} * 12)) return false;
    entries.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t e = at + 2 + i * 12;
        IfdEntry entry;
        block.U16(e, entry.tag);
        block.U16(e + 2, entry.type);
        block.U32(e + 4, entry.count);
        entry.valueAt = e + 8;
        entries.push_back(entry);
    }
    return true;
}

/// The application segment `app` whose data begins with `id` (`idSize` bytes), among the
/// segments before the first scan: the range of the data after the identifier. Segments
/// are followed by their lengths; a segment running past the end stops the walk.
enum class SegmentSearch { kFound, kAbsent, kDamaged };
SegmentSearch FindSegment(const std::uint8_t* data, std::size_t size, std::uint8_t app,
                          const char* id, std::size_t idSize, ByteRange& found) {
    if (size < 4 || data[0] != kMarker || data[1] != kStartOfImage) {
        return SegmentSearch::kDamaged;
    }
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != kMarker) return SegmentSearch::kDamaged;
        const std::uint8_t marker = data[at + 1];
        if (marker == kMarker) {  // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == kStartOfScan || marker == kEndOfImage) return SegmentSearch::kAbsent;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
            at += 2;
            continue;
        }
        const std::size_t length = Be16(data + at + 2);
        if (length < 2 || length > size - at - 2) return SegmentSearch::kDamaged;
        const std::size_t body = at + 4, bodySize = length - 2;
        if (marker == app && bodySize >= idSize && std::memcmp(data + body, id, idSize) == 0) {
            found = {body + idSize, bodySize - idSize};
            return SegmentSearch::kFound;
        }
        at += 2 + length;
    }
    return SegmentSearch::kDamaged;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

/// Decodes one JPEG picture; errors begin with `label` instead of the decoder's name.
bool DecodeJpeg(const std::string& label, const std::uint8_t* data, std::size_t size,
                Image16& image, std::string& error) {
    static const std::string kName = "picture.jpg";  // the extension picks the JPEG reader
    if (DecodeImage16(kName, data, size, image, error)) {
        ApplyOrientation(image, JpegOrientation(data, size));
        return true;
    }
    if (error.rfind(kName, 0) == 0) error = label + error.substr(kName.size());
    return false;
}

// Multi-picture index tags and the picture types that are not views.
constexpr std::uint16_t kTagNumberOfImages = 0xB001;
constexpr std::uint16_t kTagMpEntry = 0xB002;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeUndefined = 7;
constexpr std::size_t kMpEntryBytes = 16;
constexpr std::uint32_t kTypeCodeMask = 0x00FFFFFF;
constexpr std::uint32_t kLargeThumbnailVga = 0x010001;
constexpr std::uint32_t kLargeThumbnailHd = 0x010002;
constexpr std::uint32_t kFormatMask = 0x07000000;  // 0: JPEG

}  // namespace

bool FindMpoPictures(const std::uint8_t* data, std::size_t size, ByteRange& left, ByteRange& right,
                     std::string& why) {
    ByteRange seg;
    switch (FindSegment(data, size, kApp2, "MPF\0", 4, seg)) {
        case SegmentSearch::kDamaged:
            why = "not a JPEG, or its segments are damaged";
            return false;
        case SegmentSearch::kAbsent:
            why = "the first picture has no multi-picture index (APP2 MPF segment)";
            return false;
        case SegmentSearch::kFound:
            break;
    }
    // Offsets of the index, and of the pictures after the first, count from the start of
    // the index's header.
    const std::size_t header = seg.offset;
    TiffBlock block(data + header, seg.size);
    std::uint32_t ifd = 0;
    std::vector<IfdEntry> entries;
    if (!block.Open(ifd) || !ReadIfd(block, ifd, entries)) {
        why = "the multi-picture index is damaged or runs past its segment";
        return false;
    }
    std::uint32_t count = 0, listAt = 0, listBytes = 0;
    bool haveCount = false, haveList = false;
    for (const IfdEntry& e : entries) {
        if (e.tag == kTagNumberOfImages && e.type == kTypeLong && e.count == 1) {
            haveCount = block.U32(e.valueAt, count);
        } else if (e.tag == kTagMpEntry && e.type == kTypeUndefined) {
            listBytes = e.count;
            haveList = block.U32(e.valueAt, listAt);
        }
    }
    if (!haveList || !haveCount || listBytes != std::uint64_t{count} * kMpEntryBytes ||
        !block.Fits(listAt, listBytes)) {
        why = "the multi-picture index lists its pictures wrongly or outside its segment";
        return false;
    }
    if (count < 2) {
        why = "the file holds one picture, not a stereo pair";
        return false;
    }
    bool haveRight = false;
    for (std::uint32_t i = 0; i < count && !haveRight; ++i) {
        const std::size_t e = listAt + i * kMpEntryBytes;
        std::uint32_t attribute = 0, bytes = 0, offset = 0;
        block.U32(e, attribute);
        block.U32(e + 4, bytes);
        block.U32(e + 8, offset);
        if (i == 0) {
            // The first picture is the one holding the index: it starts the file.
            if (offset != 0 || bytes < 4 || bytes > size || header >= bytes) {
                why = "the index places the first picture wrongly";
                return false;
            }
            left = {0, bytes};
            continue;
        }
        const std::uint32_t type = attribute & kTypeCodeMask;
        if (type == kLargeThumbnailVga || type == kLargeThumbnailHd ||
            (attribute & kFormatMask) != 0) {
            continue;
        }
        const std::string which = "picture " + std::to_string(i + 1);
        // Each picture after the first lies wholly after it, within the file.
        if (offset == 0 || offset > size - header || bytes < 4 || bytes > size - header - offset ||
            header + offset < left.size) {
            why = which + " of the index lies outside the file or over the first picture";
            return false;
        }
        const std::size_t at = header + offset;
        if (data[at] != kMarker || data[at + 1] != kStartOfImage) {
            why = which + " of the index does not begin as a JPEG picture";
            return false;
        }
        right = {at, bytes};
        haveRight = true;
    }
    if (!haveRight) {
        why = "the index lists no second view (only thumbnails or pictures not in JPEG)";
        return false;
    }
    return true;
}

int JpegOrientation(const std::uint8_t* data, std::size_t size) noexcept {
    constexpr std::uint16_t kTagOrientation = 0x0112;
    constexpr std::uint16_t kTypeShort = 3;
    ByteRange seg;
    if (FindSegment(data, size, kApp1, "Exif\0\0", 6, seg) != SegmentSearch::kFound) return 1;
    TiffBlock block(data + seg.offset, seg.size);
    std::uint32_t ifd = 0;
    std::vector<IfdEntry> entries;
    try {
        if (!block.Open(ifd) || !ReadIfd(block, ifd, entries)) return 1;
    } catch (...) {  // the entry list's allocation; an unreadable tag counts as absent
        return 1;
    }
    for (const IfdEntry& e : entries) {
        std::uint16_t v = 0;
        if (e.tag == kTagOrientation && e.type == kTypeShort && e.count == 1 &&
            block.U16(e.valueAt, v) && v >= 1 && v <= 8) {
            return v;
        }
    }
    return 1;
}

void ApplyOrientation(Image16& image, int orientation) {
    if (orientation < 2 || orientation > 8) return;
    const int w = image.width, h = image.height;
    const bool swaps = orientation >= 5;
    Image16 out = image;
    out.width = swaps ? h : w;
    out.height = swaps ? w : h;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
                case 2:
                    sx = w - 1 - x;
                    break;
                case 3:
                    sx = w - 1 - x;
                    sy = h - 1 - y;
                    break;
                case 4:
                    sy = h - 1 - y;
                    break;
                case 5:
                    sx = y;
                    sy = x;
                    break;
                case 6:
                    sx = y;
                    sy = h - 1 - x;
                    break;
                case 7:
                    sx = w - 1 - y;
                    sy = h - 1 - x;
                    break;
                case 8:
                    sx = w - 1 - y;
                    sy = x;
                    break;
                default:
                    break;
            }
            out.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) +
                       static_cast<std::size_t>(x)] =
                image.pixels[static_cast<std::size_t>(sy) * static_cast<std::size_t>(w) +
                             static_cast<std::size_t>(sx)];
        }
    }
    image = std::move(out);
}

JpsDescriptor ReadJpsDescriptor(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint8_t kApp3 = 0xE3;
    JpsDescriptor d;
    ByteRange seg;
    // "_JPSJPS_", then the descriptor block's length (16 bits) and the 32-bit descriptor:
    // separation, flags, layout, media type (the most significant byte first).
    if (FindSegment(data, size, kApp3, "_JPSJPS_", 8, seg) != SegmentSearch::kFound ||
        seg.size < 6) {
        return d;
    }
    d.found = true;
    const std::uint8_t* b = data + seg.offset + 2;
    const std::uint8_t flags = b[1], layout = b[2], type = b[3];
    if (type != 1) {
        d.description = "mono";
        return d;
    }
    const bool halfHeight = flags & 1, halfWidth = flags & 2, leftFirst = flags & 4;
    const char* const kLayouts[] = {"unknown layout", "interleaved", "side by side", "over-under",
                                    "anaglyph"};
    d.description = std::string("stereo, ") + kLayouts[layout <= 4 ? layout : 0] +
                    (leftFirst ? ", left first" : ", right first") +
                    (halfWidth ? ", half width" : "") + (halfHeight ? ", half height" : "");
    if (layout == 2) {
        d.layout = halfWidth ? (leftFirst ? StereoLayout::kSideBySideHalfLeftFirst
                                          : StereoLayout::kSideBySideHalfRightFirst)
                             : (leftFirst ? StereoLayout::kSideBySideLeftFirst
                                          : StereoLayout::kSideBySideRightFirst);
    } else if (layout == 3) {
        d.layout = halfHeight ? (leftFirst ? StereoLayout::kTopBottomHalfLeftTop
                                           : StereoLayout::kTopBottomHalfLeftBottom)
                              : (leftFirst ? StereoLayout::kTopBottomLeftTop
                                           : StereoLayout::kTopBottomLeftBottom);
    }
    return d;
}

bool IsStereoPhoto(const std::string& path) {
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    return ext == ".mpo" || ext == ".jps";
}

bool DecodeStereoPhoto(const std::string& name, const std::uint8_t* data, std::size_t size,
                       Image16& left, Image16& right, std::string& error) {
    const std::string ext = Lower(std::filesystem::path(name).extension().string());
    if (ext == ".jps") {
        Image16 both;
        if (!DecodeJpeg(name, data, size, both, error)) return false;
        const JpsDescriptor descriptor = ReadJpsDescriptor(data, size);
        if (descriptor.found && !descriptor.layout) {
            error = name + ": its JPS descriptor gives no pair of views (" +
                    descriptor.description + ")";
            return false;
        }
        if (descriptor.layout && *descriptor.layout != StereoLayout::kSideBySideRightFirst) {
            int w = 0, h = 0;
            if (!ViewSize(*descriptor.layout, both.width, both.height, w, h, error)) {
                error = name + ": " + error;
                return false;
            }
            SplitViews(*descriptor.layout, both, left, right);
            return true;
        }
        // A JPS holds the right view first (for crossed eyes) unless it says otherwise.
        if (!SplitSideBySide(both, right, left, error)) {
            error = name + ": " + error;
            return false;
        }
        return true;
    }
    ByteRange l, r;
    std::string why;
    if (!FindMpoPictures(data, size, l, r, why)) {
        error = name + ": not a stereo MPO file: " + why;
        return false;
    }
    if (!DecodeJpeg(name + ": left picture", data + l.offset, l.size, left, error) ||
        !DecodeJpeg(name + ": right picture", data + r.offset, r.size, right, error)) {
        return false;
    }
    if (left.width != right.width || left.height != right.height) {
        error = name + ": the pictures differ in size: left " + std::to_string(left.width) + "x" +
                std::to_string(left.height) + ", right " + std::to_string(right.width) + "x" +
                std::to_string(right.height);
        return false;
    }
    return true;
}

bool ReadStereoPhoto(const std::string& path, Image16& left, Image16& right, std::string& error) {
    std::vector<std::uint8_t> bytes;
    return ReadRegularFile(path, MaxImageFileBytes(), bytes, error) &&
           DecodeStereoPhoto(path, bytes.data(), bytes.size(), left, right, error);
}

}  // namespace loom::stereo

#include "foundation/host/image/image_checks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace loom {
namespace {

/// Little- and big-endian fields of bytes already known to hold them.
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int32_t Le32s(const std::uint8_t* p) { return static_cast<std::int32_t>(Le32(p)); }
std::uint32_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}
std::uint32_t Be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}
std::uint32_t Be16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 8 | static_cast<std::uint32_t>(p[1]);
}

/// "name: image too large (WxH, at most N pixels)".
bool TooLarge(const std::string& name, long long w, long long h, long long maxPixels,
              std::string& error) {
    error = name + ": image too large (" + std::to_string(w) + "x" + std::to_string(h) +
            ", at most " + std::to_string(maxPixels) + " pixels)";
    return false;
}

bool WithinLimit(long long w, long long h, long long maxPixels) {
    return w <= maxPixels && h <= maxPixels && w * h <= maxPixels;
}

/// The most bytes Deflate makes of one byte (a 258-byte match in two bits, and a little).
constexpr double kMostDeflate = 1033;
/// Data that any small picture may take without its compression being looked at.
constexpr double kSlackBytes = 65536;

/// "name: cannot read image: damaged FORMAT (its header claims WxH pixels, more than its N
/// bytes of data can hold)".
bool Implausible(const std::string& name, const char* format, long long w, long long h,
                 long long bytes, std::string& error) {
    error = name + ": cannot read image: damaged " + format + " (its header claims " +
            std::to_string(w) + "x" + std::to_string(h) + " pixels, more than its " +
            std::to_string(bytes) + " bytes of data can hold)";
    return false;
}

/// A PNG cut short is refused here: the PNG library would print its own complaint before
/// the reader's error, and it allocates each chunk at its declared length before reading it.
bool CheckPng(const std::string& name, const std::uint8_t* data, std::size_t size,
              long long maxPixels, std::string& error) {
    const auto damaged = [&](const char* why) {
        error = name + ": cannot read image: damaged PNG (" + why + ")";
        return false;
    };
    if (size < 33 || std::memcmp(data + 12, "IHDR", 4) != 0) {
        return damaged("the header is incomplete");
    }
    const long long w = Be32(data + 16), h = Be32(data + 20);
    bool ended = false;
    long long compressed = 0;  // bytes of image data
    for (std::size_t at = 8; size - at >= 8;) {
        const long long length = Be32(data + at);
        if (length > static_cast<long long>(size - at) - 12) {
            return damaged("a chunk runs past the end");
        }
        if (std::memcmp(data + at + 4, "IDAT", 4) == 0) compressed += length;
        at += static_cast<std::size_t>(length) + 12;
        if (std::memcmp(data + at - length - 8, "IEND", 4) == 0) {
            ended = true;
            break;
        }
    }
    if (!ended) return damaged("it ends before its last chunk");
    if (!WithinLimit(w, h, maxPixels)) return TooLarge(name, w, h, maxPixels, error);
    // The pixels' bytes (each line led by its filter byte) as the header describes them;
    // Deflate makes at most kMostDeflate bytes of one, so a header claiming more than the
    // data could hold is refused before the library allocates the picture.
    const int depth = data[24];
    int samples = 0;
    switch (data[25]) {
        case 0:
        case 3:
            samples = 1;
            break;
        case 4:
            samples = 2;
            break;
        case 2:
            samples = 3;
            break;
        case 6:
            samples = 4;
            break;
        default:
            return damaged("unknown colour type");
    }
    const long long raw = h * (1 + (w * samples * depth + 7) / 8);
    if (raw > kMostDeflate * compressed + kSlackBytes) {
        return Implausible(name, "PNG", w, h, compressed, error);
    }
    return true;
}

/// TIFF: the first image's layout and where its data lies.
struct TiffLayout {
    long long width = 0, height = 0, bitsPerSample = 1, samples = 1, compression = 1;
    /// Offsets and lengths of the strips or tiles.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> pieces;
};

/// Reads a TIFF (or BigTIFF) file's first directory within the bytes. False with `why`.
class TiffWalk {
  public:
    TiffWalk(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Run(TiffLayout& layout, std::string& why) {
        little_ = data_[0] == 'I';
        big_ = U16(2) == 43;
        std::uint64_t at = big_ ? (size_ >= 16 ? U64(8) : 0) : (size_ >= 8 ? U32(4) : 0);
        const std::uint64_t entrySize = big_ ? 20 : 12;
        const std::uint64_t countSize = big_ ? 8 : 2;
        if (at < 8 || at > size_ || size_ - at < countSize) {
            why = "its first directory lies outside the file";
            return false;
        }
        const std::uint64_t entries = big_ ? U64(at) : U16(at);
        at += countSize;
        if (entries > (size_ - at) / entrySize) {
            why = "its first directory runs past the end";
            return false;
        }
        std::vector<std::uint64_t> offsets, counts;
        for (std::uint64_t i = 0; i < entries; ++i, at += entrySize) {
            const std::uint32_t tag = U16(at);
            std::vector<std::uint64_t>* list = nullptr;
            long long* single = nullptr;
            switch (tag) {
                case 256:
                    single = &layout.width;
                    break;
                case 257:
                    single = &layout.height;
                    break;
                case 258:
                    single = &layout.bitsPerSample;
                    break;
                case 259:
                    single = &layout.compression;
                    break;
                case 277:
                    single = &layout.samples;
                    break;
                case 273:
                case 324:
                    list = &offsets;
                    break;
                case 279:
                case 325:
                    list = &counts;
                    break;
                default:
                    continue;
            }
            std::vector<std::uint64_t> values;
            if (!Values(at, values, why)) return false;
            if (values.empty()) continue;
            if (single) {
                *single = static_cast<long long>(std::min<std::uint64_t>(values[0], 1ull << 40));
            } else {
                *list = std::move(values);
            }
        }
        if (offsets.size() != counts.size()) {
            why = "its strip offsets and lengths disagree";
            return false;
        }
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            if (offsets[i] > size_ || counts[i] > size_ - offsets[i]) {
                why = "a strip or tile runs past the end";
                return false;
            }
            layout.pieces.emplace_back(offsets[i], counts[i]);
        }
        return true;
    }

  private:
    std::uint32_t U16(std::uint64_t at) const {
        const std::uint8_t* p = data_ + at;
        return little_ ? Le16(p) : Be16(p);
    }
    std::uint32_t U32(std::uint64_t at) const {
        const std::uint8_t* p = data_ + at;
        return little_ ? Le32(p) : Be32(p);
    }
    std::uint64_t U64(std::uint64_t at) const {
        const std::uint64_t a = U32(at), b = U32(at + 4);
        return little_ ? (b << 32 | a) : (a << 32 | b);
    }

    /// The values of the SHORT, LONG or LONG8 entry at `entry`.
    bool Values(std::uint64_t entry, std::vector<std::uint64_t>& values, std::string& why) {
        const std::uint32_t type = U16(entry + 2);
        const std::uint64_t count = big_ ? U64(entry + 4) : U32(entry + 4);
        const std::uint64_t width = type == 3 ? 2 : type == 4 ? 4 : (type == 16 ? 8 : 0);
        if (width == 0) return true;  // a type these tags never have: the library decides
        const std::uint64_t inline_ = big_ ? 8 : 4;
        std::uint64_t at = big_ ? entry + 12 : entry + 8;
        if (count > size_ / width) {
            why = "a directory entry runs past the end";
            return false;
        }
        if (count * width > inline_) {
            at = big_ ? U64(at) : U32(at);
            if (at > size_ || count * width > size_ - at) {
                why = "a directory entry runs past the end";
                return false;
            }
        }
        values.reserve(static_cast<std::size_t>(count));
        for (std::uint64_t i = 0; i < count; ++i, at += width) {
            values.push_back(width == 2 ? U16(at) : width == 4 ? U32(at) : U64(at));
        }
        return true;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    bool little_ = true;
    bool big_ = false;
};

/// Whether `data` is one whole zlib stream whose check value matches: the TIFF library
/// stops inflating a strip once it has its bytes, and so never sees a damaged stream's
/// check value.
bool WholeZlibStream(const std::uint8_t* data, std::size_t size) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    std::uint8_t out[16384];
    z.next_in = const_cast<Bytef*>(data);
    int ret = Z_OK;
    std::size_t left = size;
    while (ret == Z_OK) {
        const uInt piece = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
        z.next_in = const_cast<Bytef*>(data + (size - left));
        z.avail_in = piece;
        z.next_out = out;
        z.avail_out = sizeof out;
        ret = inflate(&z, Z_NO_FLUSH);
        left -= piece - z.avail_in;
        if (ret == Z_BUF_ERROR && left > 0) ret = Z_OK;  // only out of output room
    }
    inflateEnd(&z);
    return ret == Z_STREAM_END;
}

/// The most bytes one compressed byte can give: TIFF compressions by their code; -1 for
/// those without a useful bound (the pixel limit alone then applies).
double TiffMostRatio(long long compression) {
    switch (compression) {
        case 1:  // none
            return 1;
        case 32773:  // PackBits: 128 bytes from 2
            return 64;
        case 5:  // LZW: a 12-bit code gives at most 4094 bytes
            return 2731;
        case 8:
        case 32946:  // Deflate
            return kMostDeflate;
        default:
            return -1;
    }
}

/// A TIFF's first image: its strips or tiles within the file, no more pixels than allowed
/// or than its data can hold, and every Deflate stream whole (damage is an error, not
/// wrong pixels).
bool CheckTiff(const std::string& name, const std::uint8_t* data, std::size_t size,
               long long maxPixels, std::string& error) {
    TiffLayout layout;
    std::string why;
    if (size < 8 || !TiffWalk(data, size).Run(layout, why)) {
        error = name + ": cannot read image: damaged TIFF (" +
                (why.empty() ? "the header is incomplete" : why) + ")";
        return false;
    }
    const long long w = layout.width, h = layout.height;
    if (!WithinLimit(w, h, maxPixels)) return TooLarge(name, w, h, maxPixels, error);
    long long compressed = 0;
    for (const auto& piece : layout.pieces) compressed += static_cast<long long>(piece.second);
    const double ratio = TiffMostRatio(layout.compression);
    const double raw = static_cast<double>(w) * static_cast<double>(h) *
                       static_cast<double>(std::max(1LL, layout.samples)) *
                       static_cast<double>(std::max(1LL, layout.bitsPerSample)) / 8.0;
    if (ratio > 0 && raw > ratio * static_cast<double>(compressed) + kSlackBytes) {
        return Implausible(name, "TIFF", w, h, compressed, error);
    }
    if (layout.compression == 8 || layout.compression == 32946) {
        for (std::size_t i = 0; i < layout.pieces.size(); ++i) {
            const auto& [offset, count] = layout.pieces[i];
            if (count > 0 && !WholeZlibStream(data + offset, static_cast<std::size_t>(count))) {
                error = name +
                        ": cannot read image: damaged TIFF (the Deflate data of strip or "
                        "tile " +
                        std::to_string(i) + " is damaged)";
                return false;
            }
        }
    }
    return true;
}

/// Pixels one byte of JPEG data can give at most, by frame type: Huffman-coded sequential
/// frames spend at least two bits on each 8x8 block (its DC and the end of its ACs),
/// progressive ones at least one bit on each block's DC, lossless ones a bit a sample.
/// Arithmetic coding has no useful bound: only the pixel limit applies (-1).
double JpegMostPixelsPerByte(std::uint8_t marker) {
    switch (marker) {
        case 0xC0:
        case 0xC1:
            return 4 * 64;
        case 0xC2:
            return 8 * 64;
        case 0xC3:
            return 8;
        default:
            return -1;
    }
}

/// A JPEG may not claim more pixels than its data can hold (JpegMostPixelsPerByte).
bool CheckJpegSize(const std::string& name, const std::uint8_t* data, std::size_t size,
                   long long maxPixels, std::string& error) {
    for (std::size_t at = 2; at + 9 < size;) {
        if (data[at] != 0xFF) {
            ++at;
            continue;
        }
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF || marker == 0x00 || marker == 0x01 ||
            (marker >= 0xD0 && marker <= 0xD9)) {
            ++at;
            continue;
        }
        if (marker == 0xDA) break;  // a scan before any frame: the library says so
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            const long long h = Be16(data + at + 5), w = Be16(data + at + 7);
            if (!WithinLimit(w, h, maxPixels)) return TooLarge(name, w, h, maxPixels, error);
            const double ratio = JpegMostPixelsPerByte(marker);
            const double most = ratio * static_cast<double>(size) + kSlackBytes;
            if (ratio > 0 && static_cast<double>(w) * static_cast<double>(h) > most) {
                return Implausible(name, "JPEG", w, h, static_cast<long long>(size), error);
            }
            return true;
        }
        at += 2 + Be16(data + at + 2);
    }
    return true;
}

/// True when the set bits of `mask` are one run.
bool Contiguous(std::uint32_t mask) {
    if (mask == 0) return false;
    while ((mask & 1u) == 0) mask >>= 1;
    return (mask & (mask + 1)) == 0;
}

/// The BMP reader trusts the header: its palette, compression and pixel offset decide what
/// it reads and where it writes, so the whole layout is checked against the file's bytes.
bool CheckBmp(const std::string& name, const std::uint8_t* data, std::size_t size,
              long long maxPixels, std::string& error) {
    const auto damaged = [&](const std::string& why) {
        error = name + ": cannot read image: damaged or unsupported BMP (" + why + ")";
        return false;
    };
    constexpr std::size_t kFileHeader = 14;
    if (size < kFileHeader + 4) return damaged("the header is incomplete");
    const std::uint32_t pixelOffset = Le32(data + 10);
    const std::uint32_t headerSize = Le32(data + 14);
    const bool os2 = headerSize == 12;
    if (!os2 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
        headerSize != 124) {
        return damaged("unknown header of " + std::to_string(headerSize) + " bytes");
    }
    if (size - kFileHeader < headerSize) return damaged("the header is incomplete");
    const std::uint8_t* info = data + kFileHeader;
    long long w = 0, h = 0;
    std::uint32_t planes = 0, bits = 0, compression = 0, colours = 0;
    if (os2) {
        w = Le16(info + 4);
        h = Le16(info + 6);
        planes = Le16(info + 8);
        bits = Le16(info + 10);
    } else {
        w = Le32s(info + 4);
        h = Le32s(info + 8);
        planes = Le16(info + 12);
        bits = Le16(info + 14);
        compression = Le32(info + 16);
        colours = Le32(info + 32);
    }
    const bool topDown = h < 0;
    h = topDown ? -h : h;  // from a 32-bit field: cannot overflow in 64 bits
    if (w <= 0 || h <= 0) return damaged("no pixels");
    if (planes != 1) return damaged(std::to_string(planes) + " planes");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return damaged(std::to_string(bits) + " bits a pixel");
    }
    constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
    const bool rle = compression == kRle8 || compression == kRle4;
    const bool compressionFits = compression == kRgb ||
                                 (compression == kRle8 && bits == 8 && !topDown) ||
                                 (compression == kRle4 && bits == 4 && !topDown) ||
                                 (compression == kBitFields && (bits == 16 || bits == 32));
    if (!compressionFits || (os2 && compression != kRgb)) {
        return damaged("compression " + std::to_string(compression) + " with " +
                       std::to_string(bits) + " bits a pixel");
    }
    if (!WithinLimit(w, h, maxPixels)) return TooLarge(name, w, h, maxPixels, error);

    // Colour masks follow a 40-byte header; larger headers hold them.
    std::size_t tables = kFileHeader + headerSize;
    if (compression == kBitFields) {
        if (headerSize == 40) {
            if (size - tables < 12) return damaged("the colour masks are missing");
            tables += 12;
        }
        const std::uint8_t* masks = info + 40;
        const std::uint32_t limit = bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t mask = Le32(masks + 4 * c);
            if (!Contiguous(mask) || mask > limit) {
                return damaged("colour mask " + std::to_string(mask));
            }
        }
    }
    const std::uint32_t maxColours = bits <= 8 ? 1u << bits : 256u;
    if (colours > maxColours) return damaged(std::to_string(colours) + " palette colours");
    if (bits <= 8 && colours == 0) colours = maxColours;
    const std::size_t paletteEnd = tables + static_cast<std::size_t>(colours) * (os2 ? 3 : 4);
    if (paletteEnd > size) return damaged("the palette runs past the end");
    if (pixelOffset < tables || pixelOffset >= size) {
        return damaged("pixels at offset " + std::to_string(pixelOffset));
    }
    if (!rle) {
        const long long rowBytes = (w * bits + 31) / 32 * 4;
        if (rowBytes * h > static_cast<long long>(size - pixelOffset)) {
            return damaged("the pixels run past the end");
        }
    }
    return true;
}

/// The OpenEXR attribute types whose value the library reads at a fixed size whatever the
/// attribute's declared size says; 0 for the types read at their declared size.
std::uint32_t ExrFixedSize(std::string_view type) {
    struct Fixed {
        std::string_view type;
        std::uint32_t size;
    };
    // clang-format off
    static constexpr Fixed kFixed[] = {
        {"box2i", 16}, {"box2f", 16}, {"compression", 1}, {"lineOrder", 1}, {"envmap", 1},
        {"deepImageState", 1}, {"int", 4}, {"float", 4}, {"double", 8}, {"v2i", 8},
        {"v2f", 8}, {"v2d", 16}, {"v3i", 12}, {"v3f", 12}, {"v3d", 24}, {"m33f", 36},
        {"m33d", 72}, {"m44f", 64}, {"m44d", 128}, {"chromaticities", 32}, {"keycode", 28},
        {"timecode", 8}, {"rational", 8}, {"tiledesc", 9}};
    // clang-format on
    for (const Fixed& f : kFixed) {
        if (f.type == type) return f.size;
    }
    return 0;
}

/// What one OpenEXR header says about the memory its reader will take.
struct ExrPart {
    bool hasWindow = false;
    long long xMin = 0, yMin = 0, width = 0, height = 0;
    int compression = -1;
    bool tiled = false;
    bool hasTiles = false;
    std::uint32_t tileWidth = 0, tileHeight = 0, levelMode = 0, roundingMode = 0;
    bool deep = false;
    long long chunkCount = -1;
    int channels = 0;
};

/// Levels of a mip-map over `n` pixels, as the library counts them.
int ExrLevels(long long n, std::uint32_t roundingMode) {
    int levels = 1;
    long long left = n;
    bool rest = false;
    while (left > 1) {
        rest = rest || (left & 1) != 0;
        left >>= 1;
        ++levels;
    }
    return roundingMode == 1 && rest ? levels + 1 : levels;
}

long long ExrLevelSize(long long n, int level, std::uint32_t roundingMode) {
    const long long size = roundingMode == 1 ? (n + (1LL << level) - 1) >> level : n >> level;
    return std::max(size, 1LL);
}

/// The chunks (line blocks, or tiles when the part has a tile size) of a part, counted up to
/// just beyond `cap`.
long long ExrChunks(const ExrPart& part, long long cap) {
    // Scan lines a chunk holds, by compression (none, RLE, ZIPS, ZIP, PIZ, PXR24, B44, B44A,
    // DWAA, DWAB).
    static constexpr int kLines[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};
    const int lines = part.compression < 0 ? 1 : kLines[part.compression];
    const long long lineBlocks = (part.height + lines - 1) / lines;
    if (!part.hasTiles) return lineBlocks;
    // Tiles of a part not marked tiled: the larger of the two readings.
    const long long blocks = part.tiled ? 0 : lineBlocks;
    const auto tiles = [&](long long w, long long h) {
        return ((w + part.tileWidth - 1) / part.tileWidth) *
               ((h + part.tileHeight - 1) / part.tileHeight);
    };
    if (part.levelMode == 0) return std::max(blocks, tiles(part.width, part.height));
    long long total = 0;
    if (part.levelMode == 1) {
        const int levels = ExrLevels(std::max(part.width, part.height), part.roundingMode);
        for (int l = 0; l < levels && total <= cap; ++l) {
            total += tiles(ExrLevelSize(part.width, l, part.roundingMode),
                           ExrLevelSize(part.height, l, part.roundingMode));
        }
        return std::max(blocks, total);
    }
    const int xLevels = ExrLevels(part.width, part.roundingMode);
    const int yLevels = ExrLevels(part.height, part.roundingMode);
    for (int ly = 0; ly < yLevels && total <= cap; ++ly) {
        for (int lx = 0; lx < xLevels && total <= cap; ++lx) {
            total += tiles(ExrLevelSize(part.width, lx, part.roundingMode),
                           ExrLevelSize(part.height, ly, part.roundingMode));
        }
    }
    return std::max(blocks, total);
}

/// OpenEXR allocates what a header's attributes claim (it reads a known type at its own
/// size whatever the declared size says, and an unknown one at the declared size), its
/// chunk table at the count the data window and tiles imply, and tile buffers at the tile
/// size, all before anyone can look at them. So every header is walked here: attributes
/// within the bytes and of their type's size, lists within their attribute, the data
/// window and tiles within `maxPixels`, the chunk tables within the file, no deep data.
class ExrHeaderCheck {
  public:
    ExrHeaderCheck(const std::string& name, const std::uint8_t* data, std::size_t size,
                   long long maxPixels, std::string& error)
        : name_(name), data_(data), size_(size), maxPixels_(maxPixels), error_(error) {}

    bool Run() {
        constexpr std::uint32_t kTiled = 0x200, kLongNames = 0x400, kDeep = 0x800,
                                kMultipart = 0x1000;
        if (size_ < 8) return Damaged("cut short");
        const std::uint32_t version = Le32(data_ + 4);
        const bool multipart = (version & kMultipart) != 0;
        if ((version & kDeep) != 0) return Damaged("deep data is not read");
        nameLimit_ = (version & kLongNames) != 0 ? 255 : 31;
        at_ = 8;
        std::vector<ExrPart> parts;
        for (;;) {
            if (at_ >= size_) return Damaged("cut short");
            if (data_[at_] == 0 && !parts.empty()) {
                ++at_;  // the empty header that ends a multi-part list
                break;
            }
            ExrPart part;
            if (!ReadHeader(part)) return false;
            // A single part says it is tiled in the version field, each of several parts in
            // its type; either makes the tile attribute required.
            part.tiled = part.tiled || (!multipart && (version & kTiled) != 0);
            if (!CheckPart(part, multipart)) return false;
            parts.push_back(part);
            if (!multipart) break;
        }
        // Each part's chunk table (8 bytes a chunk) follows the headers.
        long long tableBytes = 0;
        const long long room = static_cast<long long>(size_ - std::min(at_, size_));
        for (const ExrPart& part : parts) {
            const long long chunks = std::max(ExrChunks(part, room / 8 + 1), part.chunkCount);
            tableBytes += chunks * 8;
            if (tableBytes > room) return Damaged("the chunk table runs past the end");
        }
        return true;
    }

  private:
    bool Damaged(const std::string& why) {
        error_ = name_ + ": cannot read image: damaged or unsupported EXR (" + why + ")";
        return false;
    }

    /// The length of the text at `at_` within `limit` bytes, ending in a zero inside the data;
    /// npos otherwise.
    std::size_t Text(std::size_t limit) const {
        const std::size_t room = std::min(size_ - at_, limit + 1);
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(data_ + at_, 0, room));
        return end ? static_cast<std::size_t>(end - (data_ + at_)) : std::string::npos;
    }

    bool ReadHeader(ExrPart& part) {
        for (;;) {
            if (at_ >= size_) return Damaged("cut short");
            const std::size_t nameLength = Text(nameLimit_);
            if (nameLength == std::string::npos) return Damaged("an attribute name is too long");
            if (nameLength == 0) {
                ++at_;
                return true;
            }
            const std::string_view attribute(reinterpret_cast<const char*>(data_ + at_),
                                             nameLength);
            at_ += nameLength + 1;
            if (at_ >= size_) return Damaged("cut short");
            const std::size_t typeLength = Text(nameLimit_);
            if (typeLength == std::string::npos) return Damaged("a type name is too long");
            const std::string_view type(reinterpret_cast<const char*>(data_ + at_), typeLength);
            at_ += typeLength + 1;
            if (size_ - at_ < 4) return Damaged("cut short");
            const std::uint32_t length = Le32(data_ + at_);
            at_ += 4;
            if (length > size_ - at_) return Damaged("an attribute runs past the end");
            if (!CheckValue(part, attribute, type, data_ + at_, length)) return false;
            at_ += length;
        }
    }

    bool CheckValue(ExrPart& part, std::string_view attribute, std::string_view type,
                    const std::uint8_t* value, std::uint32_t length) {
        const std::string what(attribute);
        const std::uint32_t fixed = ExrFixedSize(type);
        if (fixed != 0 && length != fixed) return Damaged(what + " has the wrong size");
        if (type == "chlist") return CheckChannels(part, value, length);
        if (type == "preview") {
            if (length < 8) return Damaged(what + " has the wrong size");
            const long long pixels = static_cast<long long>(Le32(value)) * Le32(value + 4);
            if (pixels * 4 + 8 != length) return Damaged(what + " has the wrong size");
        } else if (type == "stringvector") {
            for (std::uint32_t at = 0; at < length;) {
                if (length - at < 4) return Damaged(what + " has the wrong size");
                const std::int32_t n = Le32s(value + at);
                at += 4;
                if (n < 0 || static_cast<std::uint32_t>(n) > length - at) {
                    return Damaged(what + " has the wrong size");
                }
                at += static_cast<std::uint32_t>(n);
            }
        } else if (type == "floatvector" && length % 4 != 0) {
            return Damaged(what + " has the wrong size");
        }
        if (attribute == "dataWindow" && type == "box2i") {
            part.hasWindow = true;
            part.xMin = Le32s(value);
            part.yMin = Le32s(value + 4);
            part.width = static_cast<long long>(Le32s(value + 8)) - part.xMin + 1;
            part.height = static_cast<long long>(Le32s(value + 12)) - part.yMin + 1;
        } else if (attribute == "compression" && type == "compression") {
            part.compression = value[0];
        } else if (attribute == "tiles" && type == "tiledesc") {
            part.hasTiles = true;
            part.tileWidth = Le32(value);
            part.tileHeight = Le32(value + 4);
            part.levelMode = value[8] & 0x0F;
            part.roundingMode = value[8] >> 4;
        } else if (attribute == "type" && type == "string") {
            const std::string_view kind(reinterpret_cast<const char*>(value), length);
            part.deep = kind.rfind("deep", 0) == 0;
            part.tiled = kind == "tiledimage";
        } else if (attribute == "chunkCount" && type == "int") {
            part.chunkCount = Le32s(value);
            if (part.chunkCount < 0) return Damaged("negative chunk count");
        }
        return true;
    }

    /// A channel list: names and 16 bytes each, ending in an empty name at its very end.
    bool CheckChannels(ExrPart& part, const std::uint8_t* value, std::uint32_t length) {
        constexpr int kMaxChannels = 1024;
        for (std::uint32_t at = 0;;) {
            if (at >= length) return Damaged("channel list cut short");
            const std::size_t room = std::min<std::size_t>(length - at, 256);
            const auto* end = static_cast<const std::uint8_t*>(std::memchr(value + at, 0, room));
            if (!end) return Damaged("channel list cut short");
            const std::uint32_t nameLength = static_cast<std::uint32_t>(end - (value + at));
            at += nameLength + 1;
            if (nameLength == 0) {
                if (at != length) return Damaged("channel list has the wrong size");
                return true;
            }
            if (length - at < 16) return Damaged("channel list cut short");
            const std::uint32_t pixelType = Le32(value + at);
            const std::int32_t xSampling = Le32s(value + at + 8);
            const std::int32_t ySampling = Le32s(value + at + 12);
            if (pixelType > 2 || xSampling < 1 || ySampling < 1) {
                return Damaged("channel of unknown type or sampling");
            }
            at += 16;
            if (++part.channels > kMaxChannels) return Damaged("too many channels");
        }
    }

    bool CheckPart(ExrPart& part, bool multipart) {
        if (part.deep) return Damaged("deep data is not read");
        if (!part.hasWindow) return Damaged("no data window");
        if (part.width <= 0 || part.height <= 0) return Damaged("empty data window");
        if (!WithinLimit(part.width, part.height, maxPixels_)) {
            return TooLarge(name_, part.width, part.height, maxPixels_, error_);
        }
        if (part.compression > 9) return Damaged("unknown compression");
        if (multipart && part.chunkCount < 0) return Damaged("no chunk count");
        if (part.tiled && !part.hasTiles) return Damaged("tiled without a tile size");
        if (part.hasTiles) {
            // A tile buffer is allocated at the tile's size, however small the picture.
            const long long tileLimit = std::max(maxPixels_, 1LL << 16);
            if (part.tileWidth == 0 || part.tileHeight == 0 ||
                !WithinLimit(part.tileWidth, part.tileHeight, tileLimit)) {
                return Damaged("tiles of " + std::to_string(part.tileWidth) + "x" +
                               std::to_string(part.tileHeight));
            }
            if (part.levelMode > 2 || part.roundingMode > 1) return Damaged("unknown levels");
        }
        return true;
    }

    const std::string& name_;
    const std::uint8_t* data_;
    std::size_t size_;
    long long maxPixels_;
    std::string& error_;
    std::size_t at_ = 0;
    std::size_t nameLimit_ = 31;
};

}  // namespace

ImageFormat SniffImageFormat(const std::uint8_t* data, std::size_t size) {
    const auto starts = [&](std::initializer_list<std::uint8_t> magic) {
        return size >= magic.size() && std::equal(magic.begin(), magic.end(), data);
    };
    if (starts({0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'})) return ImageFormat::kPng;
    if (starts({0xFF, 0xD8, 0xFF})) return ImageFormat::kJpeg;
    if (starts({0x76, 0x2f, 0x31, 0x01})) return ImageFormat::kOpenExr;
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42}) || starts({'I', 'I', 43, 0}) ||
        starts({'M', 'M', 0, 43})) {
        return ImageFormat::kTiff;
    }
    if (starts({'B', 'M'})) return ImageFormat::kBmp;
    return ImageFormat::kUnknown;
}

const char* LibraryFormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::kPng:
            return "png";
        case ImageFormat::kTiff:
            return "tiff";
        case ImageFormat::kOpenExr:
            return "openexr";
        case ImageFormat::kJpeg:
            return "jpeg";
        case ImageFormat::kBmp:
            return "bmp";
        case ImageFormat::kUnknown:
            break;
    }
    return nullptr;
}

bool CheckImageHeader(const std::string& name, ImageFormat format, const std::uint8_t* data,
                      std::size_t size, long long maxPixels, std::string& error) {
    switch (format) {
        case ImageFormat::kPng:
            return CheckPng(name, data, size, maxPixels, error);
        case ImageFormat::kBmp:
            return CheckBmp(name, data, size, maxPixels, error);
        case ImageFormat::kOpenExr:
            return ExrHeaderCheck(name, data, size, maxPixels, error).Run();
        case ImageFormat::kTiff:
            return CheckTiff(name, data, size, maxPixels, error);
        case ImageFormat::kJpeg:
            return CheckJpegSize(name, data, size, maxPixels, error);
        case ImageFormat::kUnknown:
            break;
    }
    return true;
}

bool StripJpegMetadata(const std::string& name, const std::uint8_t* data, std::size_t size,
                       std::vector<std::uint8_t>& out, std::string& error) {
    const auto damaged = [&](const char* why) {
        error = name + ": cannot read image: damaged JPEG (" + why + ")";
        return false;
    };
    out.clear();
    out.reserve(size);
    out.insert(out.end(), data, data + std::min<std::size_t>(size, 2));  // start of image
    std::size_t at = 2;
    for (;;) {
        // The decoder skips stray bytes and fill bytes before a marker; so does this walk, so
        // that both see the same segments (the stray bytes are not copied).
        while (at < size && data[at] != 0xFF) ++at;
        while (at + 1 < size && data[at + 1] == 0xFF) ++at;
        if (size - std::min(at, size) < 2) return damaged("it ends before its first scan");
        const std::uint8_t marker = data[at + 1];
        if (marker == 0x00) {
            at += 2;  // a stuffed zero is no marker: the decoder skips it as stray bytes
            continue;
        }
        const bool standalone = marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
        if (standalone) {
            out.insert(out.end(), data + at, data + at + 2);
            at += 2;
            if (marker == 0xD9) break;  // end of image before a scan: the decoder says so
            continue;
        }
        if (size - at < 4) return damaged("a segment runs past the end");
        const std::size_t length = Be16(data + at + 2);
        if (length < 2 || length > size - at - 2) return damaged("a segment runs past the end");
        if (marker == 0xDA) break;  // the first scan: the rest is copied as it is
        const bool metadata =
            (marker >= 0xE1 && marker <= 0xEF && marker != 0xEE) || marker == 0xFE;
        if (!metadata) out.insert(out.end(), data + at, data + at + 2 + length);
        at += 2 + length;
    }
    out.insert(out.end(), data + at, data + size);
    return true;
}

}  // namespace loom

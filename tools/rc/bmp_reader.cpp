#include "tools/rc/bmp_reader.h"

#include <cstdint>
#include <string>

namespace loom::rc {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;

class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    std::uint32_t U8(std::size_t at) const { return Byte(at); }
    std::uint32_t U16(std::size_t at) const { return Byte(at) | (Byte(at + 1) << 8); }
    std::uint32_t U32(std::size_t at) const { return U16(at) | (U16(at + 2) << 16); }
    std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    std::size_t Size() const { return bytes_.size(); }

  private:
    std::uint32_t Byte(std::size_t at) const {
        if (at >= bytes_.size()) throw BmpError("file is truncated");
        return static_cast<unsigned char>(bytes_[at]);
    }
    std::string_view bytes_;
};

// One channel of a bit-field pixel scaled to 0..255.
std::uint8_t Channel(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    std::uint64_t max = mask >> shift;
    std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>((v * 255u + max / 2) / max);
}

bool Contiguous(std::uint32_t mask) {
    if (mask == 0) return true;
    while ((mask & 1u) == 0) mask >>= 1;
    return (mask & (mask + 1)) == 0;
}

}  // namespace

BitmapResource DecodeBmp(std::string_view bytes) {
    Reader r(bytes);
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') throw BmpError("not a BMP file");
    std::uint32_t dataOffset = r.U32(10);
    std::uint32_t headerSize = r.U32(14);

    std::int64_t width = 0, height = 0;
    std::uint32_t planes = 0, bpp = 0, compression = kBiRgb, colorsUsed = 0;
    std::size_t paletteEntrySize = 4;
    std::uint32_t masks[3] = {0, 0, 0};
    std::size_t paletteAt = 14 + static_cast<std::size_t>(headerSize);
    if (headerSize == 12) {
        width = r.U16(18);
        height = r.U16(20);
        planes = r.U16(22);
        bpp = r.U16(24);
        paletteEntrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 124) {
        width = r.I32(18);
        height = r.I32(22);
        planes = r.U16(26);
        bpp = r.U16(28);
        compression = r.U32(30);
        colorsUsed = r.U32(46);
        if (compression == kBiBitfields) {
            // Masks follow a version 1 header and are part of later ones.
            for (int i = 0; i < 3; ++i) masks[i] = r.U32(54 + 4 * static_cast<std::size_t>(i));
            if (headerSize == 40) paletteAt += 12;
        }
    } else {
        throw BmpError("unsupported header size " + std::to_string(headerSize));
    }

    if (compression == kBiRle8 || compression == kBiRle4)
        throw BmpError("run-length compressed bitmaps are not supported");
    if (compression != kBiRgb && compression != kBiBitfields)
        throw BmpError("unsupported compression " + std::to_string(compression));
    if (planes != 1) throw BmpError("plane count must be 1");
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        throw BmpError("unsupported depth of " + std::to_string(bpp) + " bits per pixel");
    if (compression == kBiBitfields && bpp != 16 && bpp != 32)
        throw BmpError("bit fields need 16 or 32 bits per pixel");
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide)
        throw BmpError("bad size " + std::to_string(width) + " x " + std::to_string(height));

    if (compression == kBiRgb && bpp == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    if (compression == kBiRgb && bpp == 32) {
        masks[0] = 0x00FF0000;
        masks[1] = 0x0000FF00;
        masks[2] = 0x000000FF;
    }
    for (std::uint32_t m : masks) {
        if (!Contiguous(m)) throw BmpError("bit-field masks must be contiguous");
    }

    // Palette.
    std::uint32_t paletteSize = 0;
    std::uint8_t palette[256][3] = {};
    if (bpp <= 8) {
        std::uint32_t maxColors = 1u << bpp;
        paletteSize = colorsUsed != 0 ? colorsUsed : maxColors;
        if (paletteSize > maxColors) throw BmpError("palette larger than the depth allows");
        for (std::uint32_t i = 0; i < paletteSize; ++i) {
            std::size_t at = paletteAt + i * paletteEntrySize;
            palette[i][2] = static_cast<std::uint8_t>(r.U8(at));  // stored blue, green, red
            palette[i][1] = static_cast<std::uint8_t>(r.U8(at + 1));
            palette[i][0] = static_cast<std::uint8_t>(r.U8(at + 2));
        }
    }

    auto w = static_cast<std::size_t>(width);
    auto h = static_cast<std::size_t>(height);
    std::size_t stride = (w * bpp + 31) / 32 * 4;
    std::size_t lastRowBytes = (w * bpp + 7) / 8;
    if (dataOffset < 14 + 12 || dataOffset > bytes.size() ||
        bytes.size() - dataOffset < stride * (h - 1) + lastRowBytes)
        throw BmpError("file is truncated");

    BitmapResource out;
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    out.bitsPerPixel = static_cast<int>(bpp);
    out.rgba.resize(w * h * 4);
    for (std::size_t row = 0; row < h; ++row) {
        std::size_t fileRow = topDown ? row : h - 1 - row;
        std::size_t at = dataOffset + fileRow * stride;
        std::uint8_t* dst = &out.rgba[row * w * 4];
        for (std::size_t x = 0; x < w; ++x, dst += 4) {
            dst[3] = 255;
            if (bpp <= 8) {
                std::size_t bit = x * bpp;
                std::uint32_t byte = r.U8(at + bit / 8);
                std::uint32_t shift = 8 - bpp - static_cast<std::uint32_t>(bit % 8);
                std::uint32_t index = (byte >> shift) & ((1u << bpp) - 1);
                if (index >= paletteSize)
                    throw BmpError("pixel " + std::to_string(x) + "," + std::to_string(row) +
                                   " uses colour " + std::to_string(index) + " of a palette of " +
                                   std::to_string(paletteSize));
                dst[0] = palette[index][0];
                dst[1] = palette[index][1];
                dst[2] = palette[index][2];
            } else if (bpp == 24) {
                dst[2] = static_cast<std::uint8_t>(r.U8(at + x * 3));
                dst[1] = static_cast<std::uint8_t>(r.U8(at + x * 3 + 1));
                dst[0] = static_cast<std::uint8_t>(r.U8(at + x * 3 + 2));
            } else {
                std::uint32_t pixel = bpp == 16 ? r.U16(at + x * 2) : r.U32(at + x * 4);
                dst[0] = Channel(pixel, masks[0]);
                dst[1] = Channel(pixel, masks[1]);
                dst[2] = Channel(pixel, masks[2]);
            }
        }
    }
    return out;
}

}  // namespace loom::rc

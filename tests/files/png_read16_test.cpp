// PNG files read as 16-bit RGBA: every colour type and depth the PNG library expands gives
// the pixels the other readers give (8-bit values times 257, grey to all three colours,
// palettes and their transparency as RGBA), RGB and RGBA of 8 and 16 bits alike from a PNG
// and from a TIFF of the same picture.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/filter/image16.h"
#include "foundation/host/sdk/bitmap.h"
#include "tests/files/file_helpers.h"

using namespace loom;

namespace {

void Put32(std::string& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out += static_cast<char>((v >> s) & 0xff);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    Put32(out, static_cast<std::uint32_t>(
                   crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

/// A PNG of `w` x `h` of the colour type and depth given, from rows of raw samples (each
/// row's filter byte 0 added here), with extra chunks (PLTE, tRNS) before the data.
std::string MakePng(int w, int h, int depth, int colourType, const std::vector<std::string>& rows,
                    const std::string& extra = "") {
    std::string out = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    Put32(ihdr, static_cast<std::uint32_t>(w));
    Put32(ihdr, static_cast<std::uint32_t>(h));
    ihdr += {static_cast<char>(depth), static_cast<char>(colourType), 0, 0, 0};
    Chunk(out, "IHDR", ihdr);
    out += extra;
    std::string raw;
    for (const std::string& row : rows) raw += '\0' + row;
    uLongf packed = compressBound(raw.size());
    std::string z(packed, '\0');
    compress(reinterpret_cast<Bytef*>(z.data()), &packed,
             reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    z.resize(packed);
    Chunk(out, "IDAT", z);
    Chunk(out, "IEND", "");
    return out;
}

Image16 Read(const std::string& path) {
    Image16 img;
    std::string err;
    EXPECT_TRUE(ReadImage16(path, img, err)) << err;
    return img;
}

bool Same(const BMM_Color_64& a, const BMM_Color_64& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

TEST(PngRead16, ColourTypesAndDepthsExpandAsTheOtherReadersDo) {
    loomtest::TempFolder dir;
    struct Case {
        const char* name;
        std::string png;
        BMM_Color_64 first, second;
        int bits;
        bool alpha;
    } cases[] = {
        {"grey8",
         MakePng(2, 1, 8, 0, {"\x10\xff"}),
         {0x1010, 0x1010, 0x1010, 65535},
         {65535, 65535, 65535, 65535},
         8,
         false},
        {"grey1",
         MakePng(2, 1, 1, 0, {"\x40"}),
         {0, 0, 0, 65535},
         {65535, 65535, 65535, 65535},
         8,
         false},
        {"greyalpha8",
         MakePng(2, 1, 8, 4, {std::string("\x20\x80\x00\x01", 4)}),
         {0x2020, 0x2020, 0x2020, 0x8080},
         {0, 0, 0, 257},
         8,
         true},
        {"grey16",
         MakePng(2, 1, 16, 0, {"\x12\x34\xab\xcd"}),
         {0x1234, 0x1234, 0x1234, 65535},
         {0xabcd, 0xabcd, 0xabcd, 65535},
         16,
         false},
        {"rgba16",
         MakePng(2, 1, 16, 6,
                 {std::string("\x00\x01\x00\x02\x00\x03\x80\x00"
                              "\xff\xff\x12\x34\x56\x78\x00\x00",
                              16)}),
         {1, 2, 3, 0x8000},
         {65535, 0x1234, 0x5678, 0},
         16,
         true},
        {"palette",
         [] {
             std::string extra;
             Chunk(extra, "PLTE", "\x01\x02\x03\xfa\xfb\xfc");
             Chunk(extra, "tRNS", "\x40");
             return MakePng(2, 1, 8, 3, {std::string("\x00\x01", 2)}, extra);
         }(),
         {257, 514, 771, 0x4040},
         {0xfafa, 0xfbfb, 0xfcfc, 65535},
         8,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".png");
        loomtest::Spit(path, c.png);
        const Image16 img = Read(path);
        ASSERT_EQ(img.width, 2);
        ASSERT_EQ(img.height, 1);
        ASSERT_EQ(img.pixels.size(), 2u);
        EXPECT_TRUE(Same(img.pixels[0], c.first));
        EXPECT_TRUE(Same(img.pixels[1], c.second));
        EXPECT_EQ(img.bits, c.bits);
        EXPECT_EQ(img.hasAlpha, c.alpha);
    }
}

TEST(PngRead16, RgbAndRgbaReadAsFromATiffOfThePicture) {
    loomtest::TempFolder dir;
    Image16 picture;
    picture.width = 7;
    picture.height = 5;
    for (int i = 0; i < 35; ++i) {
        const auto v = static_cast<WORD>(i * 1871 + 13);
        picture.pixels.push_back({v, static_cast<WORD>(65535 - v), static_cast<WORD>(v * 7),
                                  static_cast<WORD>(v ^ 0x5a5a)});
    }
    for (const int bits : {8, 16}) {
        for (const bool alpha : {false, true}) {
            SCOPED_TRACE(std::to_string(bits) + (alpha ? " bits with alpha" : " bits"));
            picture.hasAlpha = alpha;
            std::string err;
            const std::string png = dir.File("p.png"), tif = dir.File("p.tif");
            ASSERT_TRUE(WriteImage(png, picture, bits, err, SaveOptions{true, nullptr})) << err;
            ASSERT_TRUE(WriteImage(tif, picture, bits, err, SaveOptions{true, nullptr})) << err;
            const Image16 a = Read(png), b = Read(tif);
            ASSERT_EQ(a.pixels.size(), b.pixels.size());
            int differ = 0;
            for (std::size_t i = 0; i < a.pixels.size(); ++i)
                differ += !Same(a.pixels[i], b.pixels[i]);
            EXPECT_EQ(differ, 0);
            EXPECT_EQ(a.bits, b.bits);
            EXPECT_EQ(a.hasAlpha, b.hasAlpha);
        }
    }
}

}  // namespace

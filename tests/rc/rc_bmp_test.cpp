// BMP decoding: depths, palettes, row order and the files it must refuse.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/rc/rc_test_support.h"
#include "tools/rc/bmp_reader.h"
#include "tools/rc/source_provider.h"

namespace loom::rc {
namespace {

using Rgb = std::array<int, 3>;

Rgb PixelAt(const BitmapResource& b, int x, int y) {
    const std::uint8_t* p = &b.rgba[(static_cast<std::size_t>(y) * b.width + x) * 4];
    EXPECT_EQ(p[3], 255) << "alpha at " << x << "," << y;
    return {p[0], p[1], p[2]};
}

BitmapResource DecodeFile(const std::string& name) {
    FileSystemProvider files;
    auto bytes = files.Read(test::kDataDir + "/res/" + name);
    EXPECT_TRUE(bytes.has_value()) << name;
    return DecodeBmp(bytes.value_or(""));
}

TEST(RcBmp, PaletteFileRowsComeOutTopDown) {
    BitmapResource b = DecodeFile("pal4.bmp");
    ASSERT_EQ(b.width, 3);
    ASSERT_EQ(b.height, 2);
    EXPECT_EQ(b.bitsPerPixel, 4);
    const Rgb orange{255, 128, 0}, blue{0, 64, 255}, black{0, 0, 0};
    EXPECT_EQ(PixelAt(b, 0, 0), orange);  // top row: 1 1 2 (stored last in the file)
    EXPECT_EQ(PixelAt(b, 1, 0), orange);
    EXPECT_EQ(PixelAt(b, 2, 0), blue);
    EXPECT_EQ(PixelAt(b, 0, 1), blue);  // bottom row: 2 1 0
    EXPECT_EQ(PixelAt(b, 1, 1), orange);
    EXPECT_EQ(PixelAt(b, 2, 1), black);
}

TEST(RcBmp, MonochromeRowsCrossByteBoundaries) {
    BitmapResource b = DecodeFile("mono.bmp");
    ASSERT_EQ(b.width, 9);
    ASSERT_EQ(b.height, 2);
    const Rgb white{255, 255, 255}, black{0, 0, 0};
    for (int x = 0; x < 9; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(PixelAt(b, x, 0), x % 2 == 0 ? white : black);
        EXPECT_EQ(PixelAt(b, x, 1), x == 8 ? white : black);
    }
}

TEST(RcBmp, TopDownTrueColourFileKeepsItsOrder) {
    BitmapResource b = DecodeFile("rgb24.bmp");
    ASSERT_EQ(b.width, 2);
    ASSERT_EQ(b.height, 2);
    EXPECT_EQ(b.bitsPerPixel, 24);
    EXPECT_EQ(PixelAt(b, 0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(PixelAt(b, 1, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(PixelAt(b, 0, 1), (Rgb{0, 0, 255}));
    EXPECT_EQ(PixelAt(b, 1, 1), (Rgb{10, 20, 30}));
}

// A BMP file with a 40-byte header; `rows` in file order, padded here.
struct BmpPicture {
    int width = 1, height = 1, bpp = 24;
    std::uint32_t compression = 0;
    std::vector<Rgb> palette;
    std::vector<std::string> rows;
    std::vector<std::uint32_t> masks;  // written after the header (bit fields)
};

void Put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

std::string MakeBmp(const BmpPicture& picture) {
    std::size_t stride =
        (static_cast<std::size_t>(std::abs(picture.width)) * picture.bpp + 31) / 32 * 4;
    std::string pixels;
    for (const std::string& row : picture.rows)
        pixels += row + std::string(row.size() < stride ? stride - row.size() : 0, '\0');
    std::string pal;
    for (const Rgb& c : picture.palette) {
        pal += static_cast<char>(c[2]);
        pal += static_cast<char>(c[1]);
        pal += static_cast<char>(c[0]);
        pal += '\0';
    }
    std::uint32_t offset =
        14 + 40 + static_cast<std::uint32_t>(picture.masks.size() * 4 + pal.size());
    std::string s = "BM";
    Put32(s, offset + static_cast<std::uint32_t>(pixels.size()));
    Put32(s, 0);
    Put32(s, offset);
    Put32(s, 40);
    Put32(s, static_cast<std::uint32_t>(picture.width));
    Put32(s, static_cast<std::uint32_t>(picture.height));
    Put16(s, 1);
    Put16(s, static_cast<std::uint32_t>(picture.bpp));
    Put32(s, picture.compression);
    Put32(s, static_cast<std::uint32_t>(pixels.size()));
    Put32(s, 0);
    Put32(s, 0);
    Put32(s, static_cast<std::uint32_t>(picture.palette.size()));
    Put32(s, 0);
    for (std::uint32_t m : picture.masks) Put32(s, m);
    return s + pal + pixels;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

TEST(RcBmp, SixteenAndThirtyTwoBitPixels) {
    BmpPicture s16;
    s16.width = 2;
    s16.bpp = 16;
    s16.rows = {Bytes({0x00, 0x7C, 0x1F, 0x00})};  // 5-5-5: pure red, pure blue
    BitmapResource b16 = DecodeBmp(MakeBmp(s16));
    EXPECT_EQ(PixelAt(b16, 0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(PixelAt(b16, 1, 0), (Rgb{0, 0, 255}));

    BmpPicture s32;
    s32.bpp = 32;
    s32.rows = {Bytes({30, 20, 10, 0})};  // the unused fourth byte does not become alpha
    EXPECT_EQ(PixelAt(DecodeBmp(MakeBmp(s32)), 0, 0), (Rgb{10, 20, 30}));

    BmpPicture fields = s16;  // 5-6-5 bit fields
    fields.compression = 3;
    fields.masks = {0xF800, 0x07E0, 0x001F};
    fields.rows = {Bytes({0xE0, 0x07, 0x1F, 0xF8})};  // green, then red + blue
    BitmapResource bf = DecodeBmp(MakeBmp(fields));
    EXPECT_EQ(PixelAt(bf, 0, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(PixelAt(bf, 1, 0), (Rgb{255, 0, 255}));
}

TEST(RcBmp, RefusesWhatItCannotDecode) {
    BmpPicture ok;
    ok.width = 2;
    ok.height = 2;
    ok.bpp = 8;
    ok.palette = {{1, 2, 3}, {4, 5, 6}};
    ok.rows = {Bytes({0, 1}), Bytes({1, 0})};
    EXPECT_EQ(PixelAt(DecodeBmp(MakeBmp(ok)), 1, 0), (Rgb{1, 2, 3}));

    struct Case {
        const char* what;
        std::string bytes;
        const char* reason;
    };
    BmpPicture badIndex = ok;
    badIndex.rows[0] = Bytes({0, 2});
    BmpPicture rle = ok;
    rle.compression = 1;
    BmpPicture zero = ok;
    zero.width = 0;
    BmpPicture huge = ok;
    huge.height = -(kMaxBitmapSide + 1);
    BmpPicture depth = ok;
    depth.bpp = 2;
    std::string truncated = MakeBmp(ok);
    truncated.resize(truncated.size() - 3);
    std::string badHeader = MakeBmp(ok);
    badHeader[14] = 20;
    const Case cases[] = {
        {"magic", "GIF89a", "not a BMP file"},
        {"short header", "BM\x10", "file is truncated"},
        {"truncated pixels", truncated, "file is truncated"},
        {"palette index", MakeBmp(badIndex), "pixel 1,1 uses colour 2 of a palette of 2"},
        {"rle", MakeBmp(rle), "run-length compressed bitmaps are not supported"},
        {"zero width", MakeBmp(zero), "bad size 0 x 2"},
        {"too tall", MakeBmp(huge), "bad size 2 x 16385"},
        {"depth", MakeBmp(depth), "unsupported depth of 2 bits per pixel"},
        {"header size", badHeader, "unsupported header size 20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            DecodeBmp(c.bytes);
            ADD_FAILURE() << "accepted";
        } catch (const BmpError& e) {
            EXPECT_EQ(std::string(e.what()), c.reason);
        }
    }
}

}  // namespace
}  // namespace loom::rc

// JPEG files read without the image library give the image library's pixels: colour
// subsampled (4:2:0) and not (4:4:4), grey, progressive, with restart markers and with an
// EXIF orientation (left for the caller to apply); CMYK files go to the image library;
// damaged and oversized files are refused naming the file.
#include <gtest/gtest.h>

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
// clang-format on

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/core/filter/image16.h"
#include "foundation/host/image/direct_read.h"
#include "foundation/host/sdk/image_codec.h"

namespace {

struct JpegOptions {
    int components = 3;  ///< 1 grey, 3 RGB, 4 CMYK
    bool fullChroma = false;
    bool progressive = false;
    int restartRows = 0;
    int orientation = 0;  ///< written as an EXIF segment when not 0
    int quality = 85;
};

/// The APP1 segment of an EXIF block holding only the orientation (big-endian TIFF).
std::vector<std::uint8_t> ExifOrientation(int orientation) {
    return {'E',  'x',  'i', 'f', 0, 0, 'M', 'M', 0, 42,
            0,    0,    0,   8,  // TIFF header
            0,    1,             // one entry
            0x01, 0x12, 0,   3,   0, 0, 0,   1,   0, static_cast<std::uint8_t>(orientation),
            0,    0,    0,   0,   0, 0};
}

/// A JPEG of `w` x `h` with edges and gradients (a picture that exercises upsampling).
std::vector<std::uint8_t> MakeJpeg(int w, int h, const JpegOptions& o) {
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = o.components;
    c.in_color_space = o.components == 1 ? JCS_GRAYSCALE : o.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.fullChroma && o.components == 3) {
        for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    }
    if (o.progressive) jpeg_simple_progression(&c);
    c.restart_in_rows = o.restartRows;
    jpeg_start_compress(&c, TRUE);
    if (o.orientation) {
        const std::vector<std::uint8_t> exif = ExifOrientation(o.orientation);
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * o.components);
    while (c.next_scanline < c.image_height) {
        const int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            for (int k = 0; k < o.components; ++k) {
                const double v = 128 + 90 * std::sin(x * 0.09 + k) * std::cos(y * 0.05) +
                                 (((x / 7 + y / 5) % 2) ? 30 : -30);
                row[static_cast<std::size_t>(x) * o.components + k] =
                    static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

/// The image library's own read of the bytes.
loom::Image16 LibraryRead(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string why, error;
    const loom::ImageCodec* codec = loom::LoadImageCodec(why);
    EXPECT_NE(codec, nullptr) << why;
    loom::Image16 image;
    if (codec) {
        EXPECT_TRUE(codec->decode16(name, bytes.data(), bytes.size(), 1LL << 30, image, error))
            << error;
    }
    return image;
}

void ExpectSamePixels(const loom::Image16& a, const loom::Image16& b, const std::string& what) {
    ASSERT_EQ(a.width, b.width) << what;
    ASSERT_EQ(a.height, b.height) << what;
    EXPECT_EQ(a.bits, b.bits) << what;
    EXPECT_EQ(a.hasAlpha, b.hasAlpha) << what;
    ASSERT_EQ(a.pixels.size(), b.pixels.size()) << what;
    std::size_t differ = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const BMM_Color_64 &p = a.pixels[i], &q = b.pixels[i];
        if (p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a) ++differ;
    }
    EXPECT_EQ(differ, 0u) << what << ": pixels differ from the image library's";
}

TEST(JpegRead, GivesTheImageLibrarysPixelsForEveryKindOfJpeg) {
    struct Case {
        const char* name;
        int w, h;
        JpegOptions options;
    };
    const Case cases[] = {
        {"colour 4:2:0", 61, 37, {}},
        {"colour 4:4:4", 40, 24, {3, true}},
        {"grey", 33, 17, {1}},
        {"progressive", 64, 48, {3, false, true}},
        {"restart markers", 50, 50, {3, false, false, 1}},
        {"orientation 6", 48, 32, {3, false, false, 0, 6}},
        {"high quality 4:4:4 progressive", 30, 70, {3, true, true, 0, 0, 98}},
    };
    for (const Case& k : cases) {
        const std::vector<std::uint8_t> bytes = MakeJpeg(k.w, k.h, k.options);
        loom::Image16 direct;
        std::string error;
        ASSERT_EQ(loom::DecodeImage16Directly(k.name, bytes.data(), bytes.size(), 1LL << 30, direct,
                                              error),
                  loom::DirectRead::kDone)
            << k.name << ": " << error;
        // The orientation is the caller's to apply: the file's own rows, as stored.
        EXPECT_EQ(direct.width, k.w) << k.name;
        ExpectSamePixels(direct, LibraryRead("case.jpg", bytes), k.name);
    }
}

TEST(JpegRead, CmykGoesToTheImageLibrary) {
    const std::vector<std::uint8_t> bytes = MakeJpeg(24, 16, {4});
    loom::Image16 direct;
    std::string error;
    EXPECT_EQ(loom::DecodeImage16Directly("cmyk.jpg", bytes.data(), bytes.size(), 1LL << 30, direct,
                                          error),
              loom::DirectRead::kNotHandled);
    loom::Image16 read;
    ASSERT_TRUE(loom::DecodeImage16("cmyk.jpg", bytes.data(), bytes.size(), read, error)) << error;
    ExpectSamePixels(read, LibraryRead("cmyk.jpg", bytes), "cmyk");
}

TEST(JpegRead, RefusesDamagedAndOversizedFilesNamingThem) {
    const std::vector<std::uint8_t> whole = MakeJpeg(64, 64, {});
    loom::Image16 image;
    std::string error;
    // Cut short in the middle of its data: the decoder would fill the rest with grey.
    std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + whole.size() * 2 / 3);
    EXPECT_FALSE(loom::DecodeImage16("cut.jpg", cut.data(), cut.size(), image, error));
    EXPECT_EQ(error.rfind("cut.jpg: ", 0), 0u) << error;
    // A broken marker inside the data.
    std::vector<std::uint8_t> broken = whole;
    for (std::size_t i = broken.size() / 2; i < broken.size() / 2 + 40; i += 2) {
        broken[i] = 0xFF;
        broken[i + 1] = 0xD0 + static_cast<std::uint8_t>(i % 5);
    }
    error.clear();
    EXPECT_FALSE(loom::DecodeImage16("broken.jpg", broken.data(), broken.size(), image, error));
    EXPECT_EQ(error.rfind("broken.jpg: ", 0), 0u) << error;
    // More pixels than allowed: refused before the picture is allocated.
    error.clear();
    EXPECT_FALSE(
        loom::DecodeImage16("big.jpg", whole.data(), whole.size(), image, error, 64 * 64 - 1));
    EXPECT_EQ(error.rfind("big.jpg: ", 0), 0u) << error;
    error.clear();
    EXPECT_TRUE(loom::DecodeImage16("fits.jpg", whole.data(), whole.size(), image, error, 64 * 64))
        << error;
}

}  // namespace

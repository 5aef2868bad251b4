// PNG files written without the image library are the image library's bytes for the same
// pixels: RGB and RGBA, 8 and 16 bits, every 16-bit value narrowed to 8 bits alike.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/host/image/png_write.h"
#include "foundation/host/sdk/image_codec.h"

namespace {

/// A picture of `w` x `h` whose pixels run through every 16-bit value (and then again).
loom::Image16 Ramp(int w, int h, bool alpha) {
    loom::Image16 image;
    image.width = w;
    image.height = h;
    image.hasAlpha = alpha;
    image.bits = 16;
    image.pixels.resize(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const auto v = static_cast<WORD>(i * 3);
        image.pixels[i] = {static_cast<WORD>(i), v, static_cast<WORD>(65535 - i),
                           static_cast<WORD>(alpha ? i * 7 : 65535)};
    }
    return image;
}

TEST(PngWrite, WritesTheImageLibrarysBytes) {
    std::string why;
    const loom::ImageCodec* codec = loom::LoadImageCodec(why);
    ASSERT_NE(codec, nullptr) << why;
    struct Case {
        int w, h;
        bool alpha;
        int bits;
    };
    for (const Case& k : {Case{256, 256, false, 8}, Case{256, 256, true, 8},
                          Case{97, 31, false, 16}, Case{64, 40, true, 16}, Case{1, 1, false, 8}}) {
        const loom::Image16 image = Ramp(k.w, k.h, k.alpha);
        std::vector<std::uint8_t> direct, library;
        std::string error;
        ASSERT_TRUE(loom::EncodePngDirectly("out.png", image, k.bits, direct, error)) << error;
        ASSERT_TRUE(codec->encode16("out.png", image, k.bits, library, error)) << error;
        EXPECT_EQ(direct, library)
            << k.w << "x" << k.h << (k.alpha ? " RGBA " : " RGB ") << k.bits
            << " bits: " << direct.size() << " bytes against " << library.size();
    }
}

TEST(PngWrite, RefusesEmptyPicturesAndOtherDepths) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(loom::EncodePngDirectly("e.png", loom::Image16{}, 8, bytes, error));
    EXPECT_EQ(error.rfind("e.png: ", 0), 0u) << error;
    EXPECT_FALSE(loom::EncodePngDirectly("d.png", Ramp(4, 4, false), 12, bytes, error));
    EXPECT_EQ(error.rfind("d.png: ", 0), 0u) << error;
}

}  // namespace

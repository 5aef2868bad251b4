#include "app/web/bmp.h"

#include <cmath>
#include <functional>

namespace loom::web {
namespace {

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

/// `rgb(x, y, px)` fills px with red, green, blue of pixel (x, y), y counted from the top.
std::vector<std::uint8_t> Encode(int width, int height,
                                 const std::function<void(int, int, std::uint8_t*)>& rgb) {
    if (width <= 0 || height <= 0) return {};
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = stride * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> out;
    out.reserve(54 + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + pixelBytes);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);  // BITMAPINFOHEADER
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));  // positive: bottom line first
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);  // BI_RGB
    Put32(out, pixelBytes);
    Put32(out, 2835);  // 72 dots per inch
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const size_t lineStart = out.size();
        for (int x = 0; x < width; ++x) {
            std::uint8_t px[3];
            rgb(x, y, px);
            out.push_back(px[2]);  // blue, green, red
            out.push_back(px[1]);
            out.push_back(px[0]);
        }
        out.resize(lineStart + stride, 0);
    }
    return out;
}

std::uint8_t FromUnit(float v) {
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 1.0f) return 255;
    return static_cast<std::uint8_t>(std::lround(static_cast<double>(v) * 255.0));
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const FloatImage& image) {
    if (image.rgba.size() < static_cast<size_t>(image.width > 0 ? image.width : 0) *
                                static_cast<size_t>(image.height > 0 ? image.height : 0) * 4) {
        return {};
    }
    return Encode(image.width, image.height, [&](int x, int y, std::uint8_t* px) {
        const size_t i =
            (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) *
            4;
        for (int c = 0; c < 3; ++c) px[c] = FromUnit(image.rgba[i + static_cast<size_t>(c)]);
    });
}

std::vector<std::uint8_t> EncodeBmp(const BitmapPixels& pixels, COLORREF background) {
    if (pixels.rgba.size() < static_cast<size_t>(pixels.width > 0 ? pixels.width : 0) *
                                 static_cast<size_t>(pixels.height > 0 ? pixels.height : 0) * 4) {
        return {};
    }
    const std::uint8_t bg[3] = {GetRValue(background), GetGValue(background),
                                GetBValue(background)};
    return Encode(pixels.width, pixels.height, [&](int x, int y, std::uint8_t* px) {
        const size_t i =
            (static_cast<size_t>(y) * static_cast<size_t>(pixels.width) + static_cast<size_t>(x)) *
            4;
        const unsigned a = pixels.rgba[i + 3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = pixels.rgba[i + static_cast<size_t>(c)];
            px[c] = static_cast<std::uint8_t>((v * a + bg[c] * (255 - a) + 127) / 255);
        }
    });
}

std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap) {
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    const auto& pixels = bitmap.Pixels();
    if (w <= 0 || h <= 0 || pixels.size() < static_cast<size_t>(w) * static_cast<size_t>(h)) {
        return {};
    }
    return Encode(w, h, [&](int x, int y, std::uint8_t* px) {
        const BMM_Color_64& p =
            pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)];
        px[0] = static_cast<std::uint8_t>((p.r * 255u + 32767u) / 65535u);
        px[1] = static_cast<std::uint8_t>((p.g * 255u + 32767u) / 65535u);
        px[2] = static_cast<std::uint8_t>((p.b * 255u + 32767u) / 65535u);
    });
}

}  // namespace loom::web

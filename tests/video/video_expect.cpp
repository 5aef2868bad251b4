#include "tests/video/video_expect.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/core/filter/filter_run.h"
#include "dioptrix/dioptrix_filter.h"

namespace videotest {
namespace {

bool Half(const std::string& layout) { return layout.find("half") != std::string::npos; }
bool Sbs(const std::string& layout) { return layout.rfind("sbs", 0) == 0; }
bool RightFirst(const std::string& layout) {
    return layout.size() >= 5 && layout.compare(layout.size() - 5, 5, "right") == 0;
}

BMM_Color_64& At(Image16& img, int x, int y) {
    return img
        .pixels[static_cast<size_t>(y) * static_cast<size_t>(img.width) + static_cast<size_t>(x)];
}
const BMM_Color_64& At(const Image16& img, int x, int y) {
    return img
        .pixels[static_cast<size_t>(y) * static_cast<size_t>(img.width) + static_cast<size_t>(x)];
}

Image16 Blank(int w, int h, int bits) {
    Image16 img;
    img.width = w;
    img.height = h;
    img.bits = bits;
    img.pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h),
                      BMM_Color_64{0, 0, 0, 65535});
    return img;
}

// Every second column (or row) of a view.
Image16 Squeeze(const Image16& v, bool columns) {
    Image16 out = Blank(columns ? v.width / 2 : v.width, columns ? v.height : v.height / 2, v.bits);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x)
            At(out, x, y) = At(v, columns ? 2 * x : x, columns ? y : 2 * y);
    }
    return out;
}

// Output sample i of a stretched line sits at source position i / 2 - 1/4: 3/4 of the
// nearer source sample, 1/4 of the other neighbour (clamped at the ends).
Image16 Stretch(const Image16& v, bool columns) {
    Image16 out = Blank(columns ? v.width * 2 : v.width, columns ? v.height : v.height * 2, v.bits);
    auto mix = [](WORD a, WORD b) { return static_cast<WORD>((3 * a + b + 2) / 4); };
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const int i = columns ? x : y;
            const int n = columns ? v.width : v.height;
            const int near = i / 2;
            const int far = std::clamp(i % 2 == 0 ? near - 1 : near + 1, 0, n - 1);
            const BMM_Color_64& a = columns ? At(v, near, y) : At(v, x, near);
            const BMM_Color_64& b = columns ? At(v, far, y) : At(v, x, far);
            At(out, x, y) = {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)};
        }
    }
    return out;
}

}  // namespace

Image16 View(int w, int h, int seed, int depth) {
    Image16 img = Blank(w, h, depth == 8 ? 8 : 16);
    const int levels = depth == 8 ? 256 : 1024;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            auto v = [&](int k) {
                const int step = (x * 37 + y * 91 + seed * 53 + k * 101 + x * y * 7) % levels;
                return static_cast<WORD>((step * 65535 + (levels - 1) / 2) / (levels - 1));
            };
            At(img, x, y) = {v(1), v(2), v(3), 65535};
        }
    }
    return img;
}

Image16 Pack(const std::string& layout, const Image16& left, const Image16& right) {
    const bool sbs = Sbs(layout);
    const Image16 a = Half(layout) ? Squeeze(RightFirst(layout) ? right : left, sbs)
                                   : (RightFirst(layout) ? right : left);
    const Image16 b = Half(layout) ? Squeeze(RightFirst(layout) ? left : right, sbs)
                                   : (RightFirst(layout) ? left : right);
    Image16 frame = Blank(sbs ? a.width * 2 : a.width, sbs ? a.height : a.height * 2, a.bits);
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            At(frame, x, y) = At(a, x, y);
            At(frame, sbs ? x + a.width : x, sbs ? y : y + a.height) = At(b, x, y);
        }
    }
    return frame;
}

void Unpack(const std::string& layout, const Image16& left, const Image16& right, Image16& outLeft,
            Image16& outRight) {
    if (!Half(layout)) {
        outLeft = left;
        outRight = right;
        return;
    }
    const bool sbs = Sbs(layout);
    outLeft = Stretch(Squeeze(left, sbs), sbs);
    outRight = Stretch(Squeeze(right, sbs), sbs);
}

Image16 StillAnaglyph(const Image16& left, const Image16& right, const DioptrixConfig& config) {
    DioptrixFilter filter;
    filter.config = config;
    loom::FilterProgressWindow window("test", nullptr, false);
    Image16 out;
    std::string err;
    EXPECT_EQ(loom::RunCompositor(filter, left, right, window, nullptr, out, err),
              loom::FilterOutcome::kDone)
        << err;
    return out;
}

}  // namespace videotest

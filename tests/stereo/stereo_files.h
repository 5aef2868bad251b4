#pragma once
// Stereo photo files made by the tests: JPEG pictures encoded by the image library, an
// MPO joined from two of them with a multi-picture index, an EXIF orientation segment.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/filter/image16.h"
#include "foundation/host/sdk/image_codec.h"

namespace stereotest {

using Bytes = std::vector<std::uint8_t>;

/// A picture with a different colour in every pixel; 8-bit values.
inline loom::Image16 Picture(int w, int h, int seed) {
    loom::Image16 img;
    img.width = w;
    img.height = h;
    img.bits = 8;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            auto v = [&](int k) {
                return static_cast<WORD>(((x * 37 + y * 11 + seed * 53 + k * 91) % 256) * 257);
            };
            img.pixels.push_back({v(0), v(1), v(2), 65535});
        }
    }
    return img;
}

inline Bytes EncodeJpeg(const loom::Image16& img) {
    std::string why, err;
    const loom::ImageCodec* codec = loom::LoadImageCodec(why);
    EXPECT_NE(codec, nullptr) << why;
    Bytes bytes;
    if (codec) {
        EXPECT_TRUE(codec->encode16("picture.jpg", img, 8, bytes, err)) << err;
    }
    return bytes;
}

inline void Put16(Bytes& b, std::size_t at, unsigned v) {  // little-endian
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

/// Offsets within the MPO that Mpo() makes, for tests that damage it.
struct MpoLayout {
    std::size_t segment = 2;  ///< the APP2 marker
    std::size_t header = 0;   ///< the index's byte-order mark; its offsets count from here
    std::size_t ifd = 0;      ///< the index IFD's entry count
    std::size_t entries = 0;  ///< the first 16-byte picture entry
    std::size_t second = 0;   ///< where the second picture begins
};

/// An APP2 "MPF" segment listing `sizes.size()` pictures at `offsets` (from the header).
inline Bytes MpfSegment(const std::vector<std::uint32_t>& sizes,
                        const std::vector<std::uint32_t>& offsets) {
    const std::size_t n = sizes.size();
    const std::size_t listAt = 8 + 2 + 3 * 12 + 4;  // after header, IFD and next-IFD link
    Bytes seg(4 + 4 + listAt + 16 * n, 0);
    seg[0] = 0xFF;
    seg[1] = 0xE2;
    const std::size_t length = seg.size() - 2;
    seg[2] = static_cast<std::uint8_t>(length >> 8);
    seg[3] = static_cast<std::uint8_t>(length);
    std::copy_n("MPF", 4, seg.begin() + 4);  // with its terminating zero
    const std::size_t h = 8;
    seg[h] = 'I';
    seg[h + 1] = 'I';
    Put16(seg, h + 2, 42);
    Put32(seg, h + 4, 8);
    Put16(seg, h + 8, 3);
    const std::size_t e = h + 10;
    Put16(seg, e, 0xB000);  // version "0100"
    Put16(seg, e + 2, 7);
    Put32(seg, e + 4, 4);
    std::copy_n("0100", 4, seg.begin() + static_cast<long>(e + 8));
    Put16(seg, e + 12, 0xB001);  // number of pictures
    Put16(seg, e + 14, 4);
    Put32(seg, e + 16, 1);
    Put32(seg, e + 20, static_cast<std::uint32_t>(n));
    Put16(seg, e + 24, 0xB002);  // the picture entries
    Put16(seg, e + 26, 7);
    Put32(seg, e + 28, static_cast<std::uint32_t>(16 * n));
    Put32(seg, e + 32, static_cast<std::uint32_t>(listAt));
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = h + listAt + 16 * i;
        // Multi-frame disparity pictures; the first is the representative one.
        Put32(seg, at, (i == 0 ? 0x20000000u : 0u) | 0x020002u);
        Put32(seg, at + 4, sizes[i]);
        Put32(seg, at + 8, offsets[i]);
    }
    return seg;
}

/// Two JPEGs joined into an MPO: the index goes right after the first picture's start.
inline Bytes Mpo(const Bytes& first, const Bytes& second, MpoLayout* layout = nullptr) {
    const std::size_t segBytes = MpfSegment({0, 0}, {0, 0}).size();
    const std::uint32_t firstSize = static_cast<std::uint32_t>(first.size() + segBytes);
    const std::uint32_t header = 2 + 8;
    Bytes seg =
        MpfSegment({firstSize, static_cast<std::uint32_t>(second.size())}, {0, firstSize - header});
    Bytes out = first;
    out.insert(out.begin() + 2, seg.begin(), seg.end());
    out.insert(out.end(), second.begin(), second.end());
    if (layout) {
        layout->header = header;
        layout->ifd = header + 8;
        layout->entries = header + 8 + 2 + 3 * 12 + 4;
        layout->second = firstSize;
    }
    return out;
}

/// `jpeg` with an APP1 EXIF segment holding orientation `o` after its start.
inline Bytes WithOrientation(const Bytes& jpeg, int o) {
    Bytes seg(2 + 2 + 6 + 8 + 2 + 12 + 4, 0);
    seg[0] = 0xFF;
    seg[1] = 0xE1;
    seg[3] = static_cast<std::uint8_t>(seg.size() - 2);
    std::copy_n("Exif\0", 6, seg.begin() + 4);
    const std::size_t h = 10;
    // Big-endian this time, so that both byte orders are read.
    seg[h] = 'M';
    seg[h + 1] = 'M';
    seg[h + 3] = 42;
    seg[h + 7] = 8;
    seg[h + 9] = 1;  // one entry
    seg[h + 10] = 0x01;
    seg[h + 11] = 0x12;
    seg[h + 13] = 3;  // SHORT
    seg[h + 17] = 1;  // count
    seg[h + 19] = static_cast<std::uint8_t>(o);
    Bytes out = jpeg;
    out.insert(out.begin() + 2, seg.begin(), seg.end());
    return out;
}

}  // namespace stereotest

// Images whose headers claim more than their data holds, and images whose compressed data
// is damaged: refused with the file named, the first before memory is taken for the
// pixels (measured as the process's peak resident size), the second instead of read as
// wrong pixels.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "app/core/filter/image16.h"
#include "app/core/stereo/stereo_photo.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/pixel_limit.h"
#include "tests/files/file_helpers.h"

using namespace loom;
using loomtest::Slurp;
using loomtest::Spit;
using loomtest::TempFolder;

namespace {

/// A field of /proc/self/status ("VmHWM", "VmRSS") in MiB.
double StatusMiB(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024;
    }
    return -1;
}

/// How much the process's resident size grew at its peak while `work` ran, in MiB (the
/// peak is reset before).
double PeakGrowthMiB(const std::function<void()>& work) {
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = StatusMiB("VmRSS");
    work();
    return StatusMiB("VmHWM") - before;
}

std::string BigEndian(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}
std::string Le16(std::uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string PngChunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    return BigEndian(static_cast<std::uint32_t>(data.size())) + body + BigEndian(crc);
}

/// A PNG of `w` x `h` pixels of `depth`-bit grey whose data is `lines` zero lines,
/// compressed (all of them: a valid picture; fewer: one cut short).
std::string GreyPng(std::uint32_t w, std::uint32_t h, int depth, std::uint32_t lines) {
    const std::string ihdr =
        BigEndian(w) + BigEndian(h) + std::string{static_cast<char>(depth), 0, 0, 0, 0};
    const std::size_t raw = static_cast<std::size_t>(lines) * (1 + (w * depth + 7) / 8);
    const std::string zeros(raw, '\0');
    uLongf size = compressBound(static_cast<uLong>(raw));
    std::string z(size, '\0');
    compress2(reinterpret_cast<Bytef*>(z.data()), &size,
              reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uLong>(raw), 9);
    z.resize(size);
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) + PngChunk("IDAT", z) +
           PngChunk("IEND", "");
}

/// A little-endian TIFF of `w` x `h` 8-bit RGB pixels in one strip of `strip` bytes,
/// compressed by `compression` (1 none, 8 Deflate).
std::string RgbTiff(std::uint32_t w, std::uint32_t h, int compression, const std::string& strip) {
    struct Entry {
        std::uint32_t tag, type, count, value;
    };
    const std::uint32_t entries = 10, ifd = 8, bitsAt = ifd + 2 + entries * 12 + 4;
    const std::uint32_t stripAt = bitsAt + 6;
    const Entry e[] = {{256, 4, 1, w},
                       {257, 4, 1, h},
                       {258, 3, 3, bitsAt},
                       {259, 3, 1, static_cast<std::uint32_t>(compression)},
                       {262, 3, 1, 2},
                       {273, 4, 1, stripAt},
                       {277, 3, 1, 3},
                       {278, 4, 1, h},
                       {279, 4, 1, static_cast<std::uint32_t>(strip.size())},
                       {284, 3, 1, 1}};
    std::string out = std::string("II*\0", 4) + Le32(ifd) + Le16(entries);
    for (const Entry& x : e) {
        out += Le16(x.tag) + Le16(x.type) + Le32(x.count);
        out += x.type == 3 && x.count == 1 ? Le16(x.value) + Le16(0) : Le32(x.value);
    }
    out += Le32(0) + Le16(8) + Le16(8) + Le16(8) + strip;
    return out;
}

/// A small JPEG of the library's own making whose frame header then claims `w` x `h`.
std::string ClaimingJpeg(const TempFolder& dir, std::uint16_t w, std::uint16_t h) {
    Image16 small;
    small.width = small.height = 8;
    small.pixels.assign(64, BMM_Color_64{30000, 20000, 10000, 65535});
    std::string err;
    EXPECT_TRUE(WriteImage(dir.File("small.jpg"), small, 8, err)) << err;
    std::string bytes = Slurp(dir.File("small.jpg"));
    const std::size_t sof = bytes.find("\xFF\xC0");
    EXPECT_NE(sof, std::string::npos);
    bytes[sof + 5] = static_cast<char>(h >> 8);
    bytes[sof + 6] = static_cast<char>(h);
    bytes[sof + 7] = static_cast<char>(w >> 8);
    bytes[sof + 8] = static_cast<char>(w);
    return bytes;
}

}  // namespace

TEST(ImageMemory, HeadersClaimingMoreThanTheirDataHoldsTakeNoMemoryForThePixels) {
    TempFolder dir;
    {  // The image library is loaded first, so that what follows measures the refusals.
        Spit(dir.File("warm.png"), GreyPng(4, 4, 8, 4));
        Image16 warm;
        std::string err;
        ASSERT_TRUE(ReadImage16(dir.File("warm.png"), warm, err)) << err;
    }
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        // Beyond the pixel limit (2^28 pixels were read before it was lowered), ...
        {"limit.png", GreyPng(16384, 16384, 8, 1)},
        {"bomb.png", GreyPng(16384, 16384, 1, 16384)},  // every line there: a valid picture
        {"limit.tif", RgbTiff(16384, 16384, 1, std::string(64, '\x7f'))},
        {"limit.jpg", ClaimingJpeg(dir, 16384, 16384)},
        // ... and within it, but more than the file's data could ever hold.
        {"short.png", GreyPng(11000, 11000, 8, 1)},
        {"short.tif", RgbTiff(11000, 11000, 1, std::string(64, '\x7f'))},
        {"deflate.tif",
         RgbTiff(11000, 11000, 8, std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8))},
        {"short.jpg", ClaimingJpeg(dir, 11000, 11000)},
        {"short.jps", ClaimingJpeg(dir, 22000, 6000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        Spit(path, c.bytes);
        std::string mapErr, inputErr, photoErr;
        bool read = true;
        const double grew = PeakGrowthMiB([&] {
            FloatImage f;
            int bits = 0;
            Image16 i, left, right;
            read = ReadImage(path, f, bits, mapErr) || ReadImage16(path, i, inputErr) ||
                   (stereo::IsStereoPhoto(path) &&
                    stereo::ReadStereoPhoto(path, left, right, photoErr));
        });
        EXPECT_FALSE(read);
        EXPECT_EQ(mapErr.find(path), 0u) << mapErr;
        EXPECT_EQ(inputErr.find(path), 0u) << inputErr;
        EXPECT_LT(grew, 64.0) << c.bytes.size() << " bytes";
    }
    // A picture the data does hold is read, and a lower limit refuses it.
    Spit(dir.File("held.png"), GreyPng(600, 500, 1, 500));
    Image16 held;
    std::string err;
    EXPECT_TRUE(ReadImage16(dir.File("held.png"), held, err)) << err;
    EXPECT_EQ(held.width, 600);
    const std::string bytes = Slurp(dir.File("held.png"));
    EXPECT_FALSE(DecodeImage16("held.png", reinterpret_cast<const std::uint8_t*>(bytes.data()),
                               bytes.size(), held, err, 299999));
    EXPECT_NE(err.find("too large"), std::string::npos) << err;
}

TEST(ImageMemory, ThePixelLimitHoldsOnEveryReadPathAndIsBounded) {
    EXPECT_EQ(MaxImagePixels(), kDefaultMaxImagePixels);
    EXPECT_FALSE(SetMaxImagePixels(0));
    EXPECT_FALSE(SetMaxImagePixels(kMaxImagePixels + 1));
    TempFolder dir;
    Image16 img;
    img.width = 20;
    img.height = 10;
    img.pixels.assign(200, BMM_Color_64{1000, 2000, 3000, 65535});
    std::string err;
    ASSERT_TRUE(WriteImage(dir.File("p.png"), img, 8, err)) << err;
    ASSERT_TRUE(SetMaxImagePixels(199));
    Image16 back;
    FloatImage f;
    int bits = 0;
    EXPECT_FALSE(ReadImage16(dir.File("p.png"), back, err));
    EXPECT_NE(err.find("at most 199 pixels"), std::string::npos) << err;
    EXPECT_FALSE(ReadImage(dir.File("p.png"), f, bits, err));
    ASSERT_TRUE(SetMaxImagePixels(200));
    EXPECT_TRUE(ReadImage16(dir.File("p.png"), back, err)) << err;
    EXPECT_TRUE(ReadImage(dir.File("p.png"), f, bits, err)) << err;
    ASSERT_TRUE(SetMaxImagePixels(kDefaultMaxImagePixels));
}

TEST(ImageRead, DamagedDeflateDataInATiffIsAnErrorNamingTheFile) {
    TempFolder dir;
    // Noise does not compress: the strip's bytes fill most of the file.
    std::mt19937 rng(3);
    std::string raw(64 * 48 * 3, '\0');
    for (char& c : raw) c = static_cast<char>(rng());
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string z(size, '\0');
    compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 6);
    z.resize(size);
    const std::string whole = RgbTiff(64, 48, 8, z);
    Spit(dir.File("whole.tif"), whole);
    Image16 img;
    std::string err;
    ASSERT_TRUE(ReadImage16(dir.File("whole.tif"), img, err)) << err;
    EXPECT_EQ(img.pixels[0].r, static_cast<unsigned char>(raw[0]) * 257);
    // The strip starts past the header (8 + 2 + 10 * 12 + 4 + 6 bytes).
    const std::size_t strip = 140;
    struct Damage {
        const char* what;
        std::size_t at, length;
        char value;
    };
    for (const Damage& d : {Damage{"zeroed middle", strip + z.size() / 2, 64, '\0'},
                            Damage{"altered byte", strip + z.size() / 3, 1, '\x5a'},
                            Damage{"zeroed whole", strip, z.size(), '\0'},
                            Damage{"altered check value", strip + z.size() - 2, 1, '\x01'}}) {
        SCOPED_TRACE(d.what);
        std::string bytes = whole;
        for (std::size_t i = 0; i < d.length; ++i) {
            bytes[d.at + i] = d.value == '\x5a'   ? static_cast<char>(bytes[d.at + i] ^ 0x5a)
                              : d.value == '\x01' ? static_cast<char>(bytes[d.at + i] ^ 0x01)
                                                  : d.value;
        }
        const std::string path = dir.File("damaged.tif");
        Spit(path, bytes);
        FloatImage f;
        int bits = 0;
        std::string mapErr;
        EXPECT_FALSE(ReadImage16(path, img, err));
        EXPECT_EQ(err.find(path), 0u) << err;
        EXPECT_FALSE(ReadImage(path, f, bits, mapErr));
        EXPECT_EQ(mapErr.find(path), 0u) << mapErr;
    }
}

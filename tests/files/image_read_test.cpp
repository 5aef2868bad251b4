// Image, scene and configuration files read as hostile input: truncated files, pictures
// that claim more pixels than allowed, and files that are not regular files are refused
// with the file named, on every read path; image writes that fail leave the old file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <stdexcept>

#include "app/core/filter/image16.h"
#include "app/core/filter/stereo_settings.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/scene_io.h"
#include "tests/files/file_helpers.h"

using namespace loom;
using loomtest::Slurp;
using loomtest::Spit;
using loomtest::TempFolder;
using loomtest::WithFileSizeLimit;

namespace {

/// Noise, so that every format's file is mostly pixel data.
FloatImage Noise(int w, int h) {
    FloatImage img;
    img.width = w;
    img.height = h;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    img.rgba.resize(static_cast<std::size_t>(w) * h * 4);
    for (float& v : img.rgba) v = u(rng);
    return img;
}

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

std::string BigEndian(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

std::string Chunk(const std::string& type, const std::string& data) {
    return BigEndian(static_cast<std::uint32_t>(data.size())) + type + data +
           BigEndian(Crc32(type + data));
}

/// A small PNG whose header claims `w` x `h` pixels of 8-bit RGB.
std::string ClaimingPng(std::uint32_t w, std::uint32_t h) {
    const std::string ihdr = BigEndian(w) + BigEndian(h) + std::string("\x08\x02\x00\x00\x00", 5);
    // One stored (uncompressed) deflate block holding the first line of a 1x1 picture.
    const std::string idat("\x78\x01\x01\x04\x00\xfb\xff\x00\x00\x00\x00\x00\x04\x00\x01", 15);
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + Chunk("IDAT", idat) +
           Chunk("IEND", "");
}

/// Both read paths: image maps (floats) and the stereo filter's inputs (16-bit).
std::string ReadBothWays(const std::string& path, bool& mapRead, bool& inputRead) {
    FloatImage f;
    int bits = 0;
    std::string mapErr, inputErr;
    mapRead = ReadImage(path, f, bits, mapErr);
    Image16 i;
    inputRead = ReadImage16(path, i, inputErr);
    return mapErr + "\n" + inputErr;
}

}  // namespace

TEST(ImageRead, TruncatedFilesOfEveryFormatAreRefused) {
    TempFolder dir;
    const FloatImage img = Noise(96, 80);
    for (const char* ext : {".png", ".tif", ".jpg", ".exr"}) {
        const std::string whole = dir.File(std::string("whole") + ext);
        std::string err;
        ASSERT_TRUE(WriteImage(whole, img, 8, err)) << err;
        bool mapRead = false, inputRead = false;
        ReadBothWays(whole, mapRead, inputRead);
        EXPECT_TRUE(mapRead && inputRead) << ext;
        const std::string bytes = Slurp(whole);
        for (double keep : {0.5, 0.8, 0.97}) {
            SCOPED_TRACE(std::string(ext) + " cut to " + std::to_string(keep));
            const std::string cut = dir.File(std::string("cut") + ext);
            Spit(cut, bytes.substr(0, static_cast<std::size_t>(bytes.size() * keep)));
            const std::string errors = ReadBothWays(cut, mapRead, inputRead);
            EXPECT_FALSE(mapRead);
            EXPECT_FALSE(inputRead);
            EXPECT_EQ(errors.find(cut), 0u) << errors;
            EXPECT_NE(errors.find("\n" + cut), std::string::npos) << errors;
        }
    }
}

// PNG files cut at a chunk boundary or inside the header are refused by the reader's own
// check, before the PNG library (which would print its own complaint) sees them.
TEST(ImageRead, PngsCutAtAChunkOrInTheHeaderAreRefusedByTheProjectsCheck) {
    TempFolder dir;
    const std::string whole = dir.File("whole.png");
    std::string err;
    ASSERT_TRUE(WriteImage(whole, Noise(16, 8), 8, err)) << err;
    const std::string bytes = Slurp(whole);
    ASSERT_EQ(bytes.substr(bytes.size() - 8, 4), "IEND");
    const std::pair<std::size_t, const char*> cuts[] = {
        {bytes.size() - 12, "it ends before its last chunk"},
        {21, "the header is incomplete"},
        {8, "the header is incomplete"}};
    for (const auto& [keep, why] : cuts) {
        SCOPED_TRACE(keep);
        const std::string cut = dir.File("cut.png");
        Spit(cut, bytes.substr(0, keep));
        bool mapRead = true, inputRead = true;
        const std::string errors = ReadBothWays(cut, mapRead, inputRead);
        EXPECT_FALSE(mapRead || inputRead);
        EXPECT_NE(errors.find(cut + ": cannot read image: damaged PNG (" + why + ")"),
                  std::string::npos)
            << errors;
    }
}

// A BMP whose header places its pixels before the start of the file (offset -62): read
// from memory, the library would copy from before the buffer. It is refused as damaged on
// both read paths, with nothing read outside the file's bytes.
TEST(ImageRead, ABmpWhosePixelsLieBeforeTheFileIsRefused) {
    const std::uint8_t bmp[] = {0x42, 0x4d, 0xf6, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xc2,
                                0xff, 0xff, 0xff, 0x28, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
                                0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x18, 0x00, 0x00, 0x00, 0x00,
                                0x00, 0x40, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x08, 0xff,
                                0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                0x7d, 0xaa, 0x88, 0x82, 0xaa, 0x99, 0x88, 0x00, 0xff, 0x00};
    std::string err;
    Image16 input;
    EXPECT_FALSE(DecodeImage16("before.bmp", bmp, sizeof bmp, input, err));
    EXPECT_EQ(err.rfind("before.bmp: ", 0), 0u) << err;
    FloatImage map;
    int bits = 0;
    err.clear();
    EXPECT_FALSE(DecodeImage("before.bmp", bmp, sizeof bmp, map, bits, err));
    EXPECT_EQ(err.rfind("before.bmp: ", 0), 0u) << err;
}

TEST(ImageRead, DeclaredSizesBeyondTheLimitAreRefusedBeforeAllocating) {
    TempFolder dir;
    const struct {
        std::uint32_t w, h;
    } claims[] = {{20000, 20000}, {2147483647u, 1}, {1, 2147483647u}};
    // The image library is loaded first, so that the times below are the refusals' alone.
    Spit(dir.File("warm.png"), ClaimingPng(1, 1));
    {
        Image16 warm;
        std::string warmErr;
        ASSERT_TRUE(ReadImage16(dir.File("warm.png"), warm, warmErr)) << warmErr;
    }
    for (const auto& c : claims) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        const std::string path = dir.File("claim.png");
        Spit(path, ClaimingPng(c.w, c.h));
        const auto start = std::chrono::steady_clock::now();
        bool mapRead = true, inputRead = true;
        const std::string errors = ReadBothWays(path, mapRead, inputRead);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_FALSE(mapRead);
        EXPECT_FALSE(inputRead);
        EXPECT_EQ(errors.find(path), 0u) << errors;
        EXPECT_LT(seconds, 2.0);
    }
    // A chunk that claims two gigabytes in a file of a hundred bytes.
    std::string chunkClaim = ClaimingPng(1, 1);
    chunkClaim.insert(33, BigEndian(0x7FFFFFF0u) + "tEXt" + "Comment");
    Spit(dir.File("chunk.png"), chunkClaim);
    {
        const auto start = std::chrono::steady_clock::now();
        bool mapRead = true, inputRead = true;
        const std::string errors = ReadBothWays(dir.File("chunk.png"), mapRead, inputRead);
        EXPECT_FALSE(mapRead || inputRead);
        EXPECT_EQ(errors.find(dir.File("chunk.png")), 0u) << errors;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  1.0);
    }
    // Within the limit the same kind of file is read (the guard is not a blanket refusal).
    Spit(dir.File("small.png"), ClaimingPng(1, 1));
    Image16 one;
    std::string err;
    EXPECT_TRUE(ReadImage16(dir.File("small.png"), one, err)) << err;
    const std::string guard = dir.File("claim.png");
    Spit(guard, ClaimingPng(20000, 20000));
    EXPECT_FALSE(ReadImage16(guard, one, err));
    EXPECT_NE(err.find("too large"), std::string::npos) << err;
}

TEST(ImageRead, NonRegularFilesAreRefusedOnEveryReadPath) {
    TempFolder dir;
    ASSERT_EQ(::mkfifo(dir.File("pipe.png").c_str(), 0600), 0);
    for (const std::string& path :
         {dir.File("pipe.png"), std::string("/dev/zero"), dir.path.string()}) {
        SCOPED_TRACE(path);
        bool mapRead = true, inputRead = true;
        const std::string errors = ReadBothWays(path, mapRead, inputRead);
        EXPECT_FALSE(mapRead || inputRead);
        EXPECT_EQ(errors.find(path), 0u) << errors;
        SceneHolder scene;
        SceneLoadReport report;
        std::string err;
        EXPECT_FALSE(LoadSceneFile(path, scene, report, err));
        EXPECT_EQ(err.find(path), 0u) << err;
        try {
            ReadStereoRecord(path);
            ADD_FAILURE() << "a stereo record was read from " << path;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).find(path), 0u) << e.what();
        }
    }
    // A configuration file longer than a record is refused, not cut to 12 bytes.
    Spit(dir.File("long.cfg"), std::string(4096, '\0'));
    EXPECT_THROW(ReadStereoRecord(dir.File("long.cfg")), std::runtime_error);
}

TEST(ImageWrite, AFullDiskLeavesTheEarlierImage) {
    TempFolder dir;
    for (const char* ext : {".png", ".jpg", ".tif", ".exr"}) {
        SCOPED_TRACE(ext);
        const std::string path = dir.File(std::string("out") + ext);
        std::string err;
        ASSERT_TRUE(WriteImage(path, Noise(8, 8), 8, err)) << err;
        const std::string before = Slurp(path);
        ASSERT_LT(before.size(), 8192u);
        const std::string message = WithFileSizeLimit(8192, [&] {
            std::string e;
            Image16 big;
            big.width = big.height = 200;
            big.pixels.resize(40000);
            std::mt19937 rng(11);
            for (BMM_Color_64& p : big.pixels) {
                p = {WORD(rng()), WORD(rng()), WORD(rng()), WORD(rng())};
            }
            const bool a = WriteImage(path, Noise(200, 200), 16, e);
            const std::string first = e;
            const bool b = WriteImage(path, big, 16, e);
            return (a || b) ? std::string("saved") : first + "\n" + e;
        });
        EXPECT_EQ(message.find(path), 0u) << message;
        EXPECT_NE(message.find("\n" + path), std::string::npos) << message;
        EXPECT_NE(message.find(std::strerror(EFBIG)), std::string::npos) << message;
        EXPECT_TRUE(Slurp(path) == before) << "the earlier file changed";
    }
}

TEST(ImageWrite, JpegBeyondItsSizeIsRefusedWithoutEndingTheProcess) {
    TempFolder dir;
    Image16 wide;
    wide.width = 70000;
    wide.height = 1;
    wide.pixels.resize(70000);
    std::string err;
    EXPECT_FALSE(WriteImage(dir.File("wide.jpg"), wide, 8, err));
    EXPECT_NE(err.find("65500"), std::string::npos) << err;
    EXPECT_TRUE(WriteImage(dir.File("wide.png"), wide, 8, err)) << err;
}

namespace {

std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}
std::string Le16(std::uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }

/// Reads `bytes` as a file named `file` in `dir` and from memory, as image maps and as
/// stereo inputs; answers the four errors (empty for a read), one a line.
std::string ReadEveryWay(const TempFolder& dir, const std::string& file, const std::string& bytes,
                         Image16* image = nullptr) {
    const std::string path = dir.File(file);
    Spit(path, bytes);
    bool mapRead = false, inputRead = false;
    std::string errors = ReadBothWays(path, mapRead, inputRead);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    Image16 input;
    std::string err;
    if (DecodeImage16(file, data, bytes.size(), input, err)) {
        if (image) *image = input;
    } else {
        errors += "\n" + err;
    }
    FloatImage map;
    int bits = 0;
    err.clear();
    if (!DecodeImage(file, data, bytes.size(), map, bits, err)) errors += "\n" + err;
    return mapRead && inputRead ? errors : errors + "\n(not read from the file)";
}

/// True when every read way refused `bytes` with an error that begins with the file's name
/// and mentions `what`.
::testing::AssertionResult RefusedEveryWay(const TempFolder& dir, const std::string& file,
                                           const std::string& bytes, const std::string& what) {
    const std::string path = dir.File(file);
    Spit(path, bytes);
    bool mapRead = true, inputRead = true;
    const std::string fileErrors = ReadBothWays(path, mapRead, inputRead);
    if (mapRead || inputRead) return ::testing::AssertionFailure() << "read from the file";
    std::string lines = fileErrors + "\n";
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    Image16 input;
    FloatImage map;
    int bits = 0;
    std::string inputErr, mapErr;
    if (DecodeImage16(file, data, bytes.size(), input, inputErr) ||
        DecodeImage(file, data, bytes.size(), map, bits, mapErr)) {
        return ::testing::AssertionFailure() << "read from memory";
    }
    lines += inputErr + "\n" + mapErr;
    std::istringstream in(lines);
    int count = 0;
    for (std::string line; std::getline(in, line); ++count) {
        const std::string name = count < 2 ? path : file;
        if (line.rfind(name + ": ", 0) != 0 || line.find(what) == std::string::npos) {
            return ::testing::AssertionFailure() << "error " << count << ": " << line;
        }
    }
    if (count != 4) return ::testing::AssertionFailure() << "errors: " << lines;
    return ::testing::AssertionSuccess();
}

/// The 40-byte BMP header.
std::string BmpInfo(std::int32_t w, std::int32_t h, std::uint32_t bits, std::uint32_t compression,
                    std::uint32_t colours = 0) {
    return Le32(40) + Le32(static_cast<std::uint32_t>(w)) + Le32(static_cast<std::uint32_t>(h)) +
           Le16(1) + Le16(bits) + Le32(compression) + Le32(0) + Le32(2835) + Le32(2835) +
           Le32(colours) + Le32(0);
}

/// A BMP file: `info`, then `tables` (colour masks, palette), then `pixels`.
std::string Bmp(const std::string& info, const std::string& tables, const std::string& pixels) {
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + info.size() + tables.size());
    return "BM" + Le32(offset + static_cast<std::uint32_t>(pixels.size())) + Le32(0) +
           Le32(offset) + info + tables + pixels;
}

// Two by two pixels: red, green on the top row; blue, white below.
const std::string kRed("\x00\x00\xff", 3), kGreen("\x00\xff\x00", 3), kBlue("\xff\x00\x00", 3),
    kWhite("\xff\xff\xff", 3), kPad("\x00\x00", 2);

std::string Bmp24(bool topDown) {
    const std::string top = kRed + kGreen + kPad, bottom = kBlue + kWhite + kPad;
    return Bmp(BmpInfo(2, topDown ? -2 : 2, 24, 0), "", topDown ? top + bottom : bottom + top);
}

/// Red, green, blue, white as 16-bit pixels in reading order.
bool IsTheFourColours(const Image16& image) {
    const BMM_Color_64 want[] = {{65535, 0, 0, 65535},
                                 {0, 65535, 0, 65535},
                                 {0, 0, 65535, 65535},
                                 {65535, 65535, 65535, 65535}};
    if (image.width != 2 || image.height != 2 || image.pixels.size() != 4) return false;
    for (int i = 0; i < 4; ++i) {
        const BMM_Color_64& p = image.pixels[static_cast<std::size_t>(i)];
        if (p.r != want[i].r || p.g != want[i].g || p.b != want[i].b) return false;
    }
    return true;
}

}  // namespace

// The BMP layouts people write are read with their pixels in place: the header check in
// front of the library refuses none of them.
TEST(ImageRead, BmpLayoutsInUseAreReadWithTheirPixels) {
    TempFolder dir;
    // Palette entries are blue, green, red, 0; indices rows are padded to four bytes.
    const std::string colours =
        std::string("\x00\x00\xff\x00", 4) + std::string("\x00\xff\x00\x00", 4) +
        std::string("\xff\x00\x00\x00", 4) + std::string("\xff\xff\xff\x00", 4);
    const std::string indexed =
        Bmp(BmpInfo(2, 2, 8, 0, 4), colours, std::string("\x02\x03\x00\x00\x00\x01\x00\x00", 8));
    // 32 bits with explicit colour masks after the header.
    const std::string masks = Le32(0x00FF0000) + Le32(0x0000FF00) + Le32(0x000000FF);
    const std::string fields =
        Bmp(BmpInfo(2, 2, 32, 3), masks,
            Le32(0x0000FF) + Le32(0xFFFFFF) + Le32(0xFF0000) + Le32(0x00FF00));
    // Run-length coded indices: two literal runs a row, end of line, end of picture.
    const std::string runs =
        Bmp(BmpInfo(2, 2, 8, 1, 4), colours, std::string("\1\2\1\3\0\0\1\0\1\1\0\1", 12));
    // The oldest header: 12 bytes, 16-bit sizes.
    const std::string rows = Bmp24(false).substr(54);
    const std::string os2 = Bmp(Le32(12) + Le16(2) + Le16(2) + Le16(1) + Le16(24), "", rows);
    const std::pair<const char*, std::string> layouts[] = {
        {"bottom-up 24 bits", Bmp24(false)}, {"12-byte header", os2},
        {"run-length 8 bits", runs},         {"top-down 24 bits", Bmp24(true)},
        {"8-bit palette", indexed},          {"32-bit bit fields", fields}};
    for (const auto& [what, bytes] : layouts) {
        SCOPED_TRACE(what);
        Image16 image;
        const std::string errors = ReadEveryWay(dir, "layout.bmp", bytes, &image);
        EXPECT_EQ(errors, "\n") << errors;
        EXPECT_TRUE(IsTheFourColours(image));
    }
}

// A header that does not agree with itself or with the file's size is refused before the
// library reads pixels by it (a 24-bit picture marked run-length encoded made the library
// write outside its line).
TEST(ImageRead, BmpHeadersThatDisagreeWithTheFileAreRefused) {
    TempFolder dir;
    // 16x4 pixels of 24 bits marked run-length coded, with no palette: the library faulted
    // reading its pixels.
    const std::uint8_t runLength[] = {
        0x42, 0x4d, 0xf6, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x00, 0x00,
        0x00, 0x28, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
        0x01, 0x00, 0x18, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4d,
        0x65, 0x6d, 0x46, 0x72, 0x65, 0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00};
    const std::string runLengthOn24Bits(reinterpret_cast<const char*>(runLength), sizeof runLength);
    const std::string good = Bmp24(false);
    const std::string rows = good.substr(54);
    const auto withInfo = [&](const std::string& info) { return Bmp(info, "", rows); };
    std::string pixelsInHeader = good;
    pixelsInHeader.replace(10, 4, Le32(20));
    std::string pixelsPastTheEnd = good;
    pixelsPastTheEnd.replace(10, 4, Le32(4000));
    std::string bigHeader = good;
    bigHeader.replace(14, 4, Le32(64));
    const std::pair<const char*, std::string> cases[] = {
        {"run-length 8-bit code on 24-bit pixels", runLengthOn24Bits},
        {"unknown header size", bigHeader},
        {"two planes",
         [&] {
             std::string b = good;
             b.replace(26, 2, Le16(2));
             return b;
         }()},
        {"7 bits a pixel", withInfo(BmpInfo(2, 2, 7, 0))},
        {"a zero colour mask",
         Bmp(BmpInfo(2, 2, 32, 3), Le32(0) + Le32(0xFF00) + Le32(0xFF), std::string(16, '\0'))},
        {"a mask wider than 16-bit pixels",
         Bmp(BmpInfo(2, 2, 16, 3), Le32(0x1F0000) + Le32(0x3E0) + Le32(0x1F),
             std::string(8, '\0'))},
        {"300 palette colours",
         Bmp(BmpInfo(2, 2, 8, 0, 300), std::string(1200, '\0'), std::string(8, '\0'))},
        {"a palette past the end", Bmp(BmpInfo(2, 2, 8, 0), std::string(64, '\0'), "")},
        {"pixels inside the header", pixelsInHeader},
        {"pixels past the end", pixelsPastTheEnd},
        {"rows cut short", good.substr(0, good.size() - 4)},
        {"no columns", withInfo(BmpInfo(0, 2, 24, 0))},
        {"no rows", withInfo(BmpInfo(2, 0, 24, 0))},
        {"run-length top-down",
         Bmp(BmpInfo(2, -2, 8, 1), std::string(1024, '\0'), std::string("\x00\x01", 2))},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(RefusedEveryWay(dir, "bad.bmp", bytes, "BMP"));
    }
    // The most negative height, top-down, has no positive counterpart in 32 bits.
    EXPECT_TRUE(RefusedEveryWay(dir, "tall.bmp", withInfo(BmpInfo(2, INT32_MIN, 24, 0)),
                                "too large (2x2147483648"));
}

// JPEG metadata the project never uses is dropped before the library parses it: an IPTC
// record claiming more bytes than its segment holds (the library read past the segment),
// and EXIF and comment segments of garbage. The picture itself reads as without them.
TEST(ImageRead, JpegMetadataSegmentsAreDroppedBeforeTheLibraryParsesThem) {
    TempFolder dir;
    std::string err;
    ASSERT_TRUE(WriteImage(dir.File("plain.jpg"), Noise(16, 8), 8, err)) << err;
    const std::string plain = Slurp(dir.File("plain.jpg"));
    ASSERT_EQ(plain.substr(0, 2), "\xff\xd8");
    Image16 expected;
    ASSERT_EQ(ReadEveryWay(dir, "plain.jpg", plain, &expected), "\n");

    const auto segment = [](char marker, const std::string& body) {
        const std::size_t n = body.size() + 2;
        return std::string("\xff") + marker + static_cast<char>(n >> 8) + static_cast<char>(n) +
               body;
    };
    const std::string iptc = segment('\xed', std::string("Photoshop 3.0\0008BIM\x04\x04\0\0", 22) +
                                                 Le32(0x4e000000) + "\x1c\x02\x41\x00\x49Op");
    const std::string exif = segment('\xe1', std::string("Exif\0\0II*\0\xff\xff\xff\x7f", 14));
    const std::string comment = segment('\xfe', "a comment");
    // Stray bytes and a stuffed zero before a marker are skipped by the decoder; the segment
    // walk skips them the same way, so the IPTC segment after them is seen and dropped.
    const std::string stray("\x01\x02\xff\xff\x00\x00", 6);
    for (const std::string& before : {std::string(), stray}) {
        SCOPED_TRACE(before.empty() ? "segments back to back" : "stray bytes before IPTC");
        const std::string withMetadata =
            "\xff\xd8" + exif + before + iptc + comment + plain.substr(2);
        Image16 read;
        EXPECT_EQ(ReadEveryWay(dir, "metadata.jpg", withMetadata, &read), "\n");
        EXPECT_TRUE(read.pixels == expected.pixels);
    }

    // A segment whose length runs past the file is refused by the walk over the segments.
    EXPECT_TRUE(RefusedEveryWay(dir, "cut.jpg",
                                "\xff\xd8" + exif.substr(0, 2) + "\x7f\xff" + exif.substr(4),
                                "damaged JPEG"));
}

namespace {

std::string ExrAttribute(const std::string& name, const std::string& type,
                         const std::string& value) {
    return name + '\0' + type + '\0' + Le32(static_cast<std::uint32_t>(value.size())) + value;
}

std::string Box(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    return Le32(static_cast<std::uint32_t>(x0)) + Le32(static_cast<std::uint32_t>(y0)) +
           Le32(static_cast<std::uint32_t>(x1)) + Le32(static_cast<std::uint32_t>(y1));
}

/// An uncompressed scan-line EXR of one half-float channel, Y, `w` x `h` pixels all 0.5,
/// with `extra` attributes in its header; `window` replaces the data window's value.
std::string Exr(int w, int h, const std::string& extra = "", std::string window = "",
                std::uint32_t flags = 0) {
    if (window.empty()) window = Box(0, 0, w - 1, h - 1);
    const std::string channels = std::string("Y\0", 2) + Le32(1) + std::string(4, '\0') + Le32(1) +
                                 Le32(1) + std::string(1, '\0');
    const std::string header = ExrAttribute("channels", "chlist", channels) +
                               ExrAttribute("compression", "compression", std::string(1, '\0')) +
                               ExrAttribute("dataWindow", "box2i", window) +
                               ExrAttribute("displayWindow", "box2i", Box(0, 0, w - 1, h - 1)) +
                               ExrAttribute("lineOrder", "lineOrder", std::string(1, '\0')) +
                               ExrAttribute("pixelAspectRatio", "float", Le32(0x3f800000)) +
                               ExrAttribute("screenWindowCenter", "v2f", Le32(0) + Le32(0)) +
                               ExrAttribute("screenWindowWidth", "float", Le32(0x3f800000)) +
                               extra + '\0';
    std::string file = std::string("\x76\x2f\x31\x01", 4) + Le32(2 | flags) + header;
    const std::size_t table = file.size();
    const std::uint32_t lineBytes = static_cast<std::uint32_t>(w) * 2;
    for (int y = 0; y < h; ++y) file += std::string(8, '\0');
    std::string line;
    for (int x = 0; x < w; ++x) line += std::string("\x00\x38", 2);  // 0.5 as a half
    for (int y = 0; y < h; ++y) {
        const std::uint64_t offset = file.size();
        file.replace(table + 8 * static_cast<std::size_t>(y), 8,
                     Le32(static_cast<std::uint32_t>(offset)) + Le32(0));
        file += Le32(static_cast<std::uint32_t>(y)) + Le32(lineBytes) + line;
    }
    return file;
}

}  // namespace

// OpenEXR allocates what its header claims before anything can look at it: attribute
// values read at their type's size whatever their declared size, chunk tables of the data
// window's height, tile buffers of the tile size, deep data. A header claiming more than
// its file holds is refused before the library sees it, quickly; a sound one is read.
TEST(ImageRead, ExrHeadersClaimingMoreThanTheFileHoldsAreRefused) {
    TempFolder dir;
    Image16 image;
    EXPECT_EQ(ReadEveryWay(dir, "sound.exr", Exr(3, 2), &image), "\n");
    ASSERT_EQ(image.pixels.size(), 6u);
    EXPECT_EQ(image.pixels[5].r, 32768);
    const std::string tiles = ExrAttribute("tiles", "tiledesc", Le32(1u << 30) + Le32(1) + '\0');
    const std::pair<const char*, std::string> cases[] = {
        // The library reads one byte of a compression and takes the rest for an attribute
        // of 1.8 GB.
        {"a typed attribute of the wrong size",
         Exr(2, 2,
             ExrAttribute(
                 "level", "compression",
                 std::string("\0x\0opaque\0", 10) + Le32(0x70000000) + std::string(247, '\0')))},
        // (one column, so that the picture stays within the pixel limit)
        {"a chunk table of 2^26 lines in a small file", Exr(1, 1, "", Box(0, 0, 0, (1 << 26) - 1))},
        {"tiles of 2^30 pixels", Exr(2, 2, tiles, "", 0x200)},
        {"deep data", Exr(2, 2, ExrAttribute("type", "string", "deepscanline"))},
        {"a preview larger than its attribute",
         Exr(2, 2, ExrAttribute("preview", "preview", Le32(60000) + Le32(60000) + "rgba"))},
        {"a string list claiming 2 GB",
         Exr(2, 2, ExrAttribute("views", "stringvector", Le32(0x7ffffff0) + "left"))},
        {"a data window ending before it begins", Exr(2, 2, "", Box(0, 0, -5, 1))},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const auto start = std::chrono::steady_clock::now();
        // The project's own words: refused before the library read the header.
        EXPECT_TRUE(RefusedEveryWay(dir, "bad.exr", bytes, "damaged or unsupported EXR ("));
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  1.0);
    }
}

// The reader is picked by the bytes' signature, not the name: a misnamed file reads as what
// it is, and bytes of no format the project reads are refused without trying every reader.
TEST(ImageRead, TheSignaturePicksTheReader) {
    TempFolder dir;
    const FloatImage img = Noise(8, 6);
    std::string err;
    for (const char* ext : {".png", ".tif", ".exr", ".jpg"}) {
        SCOPED_TRACE(ext);
        const std::string real = dir.File(std::string("real") + ext);
        ASSERT_TRUE(WriteImage(real, img, 16, err)) << err;
        Image16 expected, misnamed;
        ASSERT_TRUE(ReadImage16(real, expected, err)) << err;
        const std::string other = std::string(ext) == ".png" ? "named.jpg" : "named.png";
        EXPECT_EQ(ReadEveryWay(dir, other, Slurp(real), &misnamed), "\n");
        EXPECT_TRUE(misnamed.pixels == expected.pixels);
    }
    EXPECT_TRUE(RefusedEveryWay(dir, "text.png", "plain text, not a picture",
                                "not a PNG, TIFF, OpenEXR, JPEG or BMP file"));
}

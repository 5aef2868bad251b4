// Image, scene and configuration files read as hostile input: truncated files, pictures
// that claim more pixels than allowed, and files that are not regular files are refused
// with the file named, on every read path; image writes that fail leave the old file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>

#include "app/filter/image16.h"
#include "app/filter/stereo_settings.h"
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
            const bool b = WriteImage16(path, big, 16, e);
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
    EXPECT_FALSE(WriteImage16(dir.File("wide.jpg"), wide, 8, err));
    EXPECT_NE(err.find("65500"), std::string::npos) << err;
    EXPECT_TRUE(WriteImage16(dir.File("wide.png"), wide, 8, err)) << err;
}

#include "foundation/host/sdk/packed_pixels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/filters.h"

using namespace loom;

namespace {

// Lengths that leave every remainder of the vector forms' sixteen-pixel steps.
constexpr std::size_t kLengths[] = {0, 1, 15, 16, 17, 31, 32, 40, 48, 63, 1920, 1921};

}  // namespace

TEST(PackedPixels, EveryValueWidensAndPacksAsDefined) {
    // Every 16-bit value in every channel, in runs of every length, through the form this
    // processor picks and the plain one.
    std::vector<BMM_Color_64> wide(65536 + 5);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const auto v = static_cast<WORD>(i);
        wide[i] = {v, static_cast<WORD>(65535 - v), static_cast<WORD>(v * 7919u), v};
    }
    std::vector<std::uint8_t> picked(wide.size() * 3), plain(wide.size() * 3);
    PackRgb24(wide.data(), picked.data(), wide.size());
    PackRgb24Portable(wide.data(), plain.data(), wide.size());
    EXPECT_EQ(picked, plain);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const WORD channels[3] = {wide[i].r, wide[i].g, wide[i].b};
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(plain[3 * i + c], (channels[c] + 128u) / 257u) << "value " << channels[c];
        }
    }
    // Rounding to nearest: the values next to each half-way point.
    const std::uint8_t at[] = {0, 1, 1, 255, 255, 254};
    const BMM_Color_64 edges[2] = {{128, 129, 385, 0}, {65535, 65407, 65406, 0}};
    std::uint8_t packedEdges[6];
    PackRgb24(edges, packedEdges, 2);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(packedEdges[i], at[i]) << i;

    for (std::size_t n : kLengths) {
        std::vector<std::uint8_t> bytes(n * 3 + 1, 0xAB);
        for (std::size_t i = 0; i < n * 3; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + n);
        std::vector<BMM_Color_64> a(n + 1, BMM_Color_64{1, 2, 3, 4}), b = a;
        WidenRgb24(bytes.data(), a.data(), n);
        WidenRgb24Portable(bytes.data(), b.data(), n);
        ASSERT_EQ(a, b) << n << " pixels";
        EXPECT_EQ(a[n], (BMM_Color_64{1, 2, 3, 4})) << "written past " << n << " pixels";
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(a[i], (BMM_Color_64{static_cast<WORD>(bytes[3 * i] * 257),
                                          static_cast<WORD>(bytes[3 * i + 1] * 257),
                                          static_cast<WORD>(bytes[3 * i + 2] * 257), 65535}));
        }
        // Packing what was widened gives the bytes back, and nothing past them.
        std::vector<std::uint8_t> again(n * 3 + 1, 0xCD);
        PackRgb24(a.data(), again.data(), n);
        EXPECT_EQ(again[n * 3], 0xCD) << "written past " << n << " pixels";
        again[n * 3] = 0xAB;
        EXPECT_EQ(again, bytes) << n << " pixels";
    }
}

TEST(PackedPixels, SixteenBitPixelsPackAsTheyAreAndWidenOpaque) {
    std::mt19937 random(5);
    for (std::size_t n : kLengths) {
        std::vector<BMM_Color_64> wide(n + 1);
        for (BMM_Color_64& p : wide) {
            p = {static_cast<WORD>(random()), static_cast<WORD>(random()),
                 static_cast<WORD>(random()), static_cast<WORD>(random())};
        }
        std::vector<std::uint8_t> picked(n * 6 + 1, 0xEE), plain(n * 6 + 1, 0xEE);
        PackRgb48(wide.data(), picked.data(), n);
        PackRgb48Portable(wide.data(), plain.data(), n);
        ASSERT_EQ(picked, plain) << n << " pixels";
        EXPECT_EQ(picked[n * 6], 0xEE) << "written past " << n << " pixels";
        std::vector<BMM_Color_64> back(n + 1, BMM_Color_64{1, 2, 3, 4}), backPlain = back;
        WidenRgb48(picked.data(), back.data(), n);
        WidenRgb48Portable(picked.data(), backPlain.data(), n);
        ASSERT_EQ(back, backPlain) << n << " pixels";
        EXPECT_EQ(back[n], (BMM_Color_64{1, 2, 3, 4})) << "written past " << n << " pixels";
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(back[i], (BMM_Color_64{wide[i].r, wide[i].g, wide[i].b, 65535})) << i;
        }
    }
}

TEST(PackedPixels, RgbaFramesPackWithoutAlphaAndWidenOpaque) {
    // Runs that leave every remainder of the vector forms' steps of sixty-four and sixteen.
    std::mt19937 random(9);
    for (std::size_t n : {0, 1, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 1920, 1937}) {
        std::vector<std::uint8_t> rgba(n * 4 + 4);
        for (std::uint8_t& b : rgba) b = static_cast<std::uint8_t>(random());
        std::vector<std::uint8_t> picked(n * 3 + 1, 0xEE), plain = picked;
        PackRgb24FromRgba32(rgba.data(), picked.data(), n);
        PackRgb24FromRgba32Portable(rgba.data(), plain.data(), n);
        ASSERT_EQ(picked, plain) << n << " pixels";
        EXPECT_EQ(picked[n * 3], 0xEE) << "written past " << n << " pixels";
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t c = 0; c < 3; ++c) ASSERT_EQ(plain[3 * i + c], rgba[4 * i + c]) << i;
        }
        std::vector<std::uint8_t> back(n * 4 + 4, 0xDD), backPlain = back;
        WidenRgb24ToRgba32(picked.data(), back.data(), n);
        WidenRgb24ToRgba32Portable(picked.data(), backPlain.data(), n);
        ASSERT_EQ(back, backPlain) << n << " pixels";
        EXPECT_EQ(back[n * 4], 0xDD) << "written past " << n << " pixels";
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t c = 0; c < 3; ++c) ASSERT_EQ(back[4 * i + c], rgba[4 * i + c]) << i;
            ASSERT_EQ(back[4 * i + 3], 255) << i;
        }
    }
}

TEST(PackedPixels, PixelCopiesMoveEveryPixelOnceEvenWhereTheRangesOverlap) {
    for (std::size_t n : kLengths) {
        std::vector<BMM_Color_64> line(2 * n + 16);
        for (std::size_t i = 0; i < line.size(); ++i) {
            line[i] = {static_cast<WORD>(i), static_cast<WORD>(3 * i), static_cast<WORD>(~i), 7};
        }
        // Apart, then overlapping with the copy ahead of its source and behind it.
        for (std::ptrdiff_t shift :
             {std::ptrdiff_t(n + 8), std::ptrdiff_t{3}, std::ptrdiff_t{-3}}) {
            std::vector<BMM_Color_64> got = line, want = line;
            const std::size_t from = 8, to = static_cast<std::size_t>(8 + shift);
            CopyPixels(got.data() + from, got.data() + to, n);
            std::memmove(want.data() + to, want.data() + from, n * sizeof(BMM_Color_64));
            ASSERT_EQ(got, want) << n << " pixels moved by " << shift;
        }
    }
}

TEST(PackedPixels, LargeBlocksAreWholeAlignedPagesAndUsable) {
    LargeBlockAllocator<std::uint8_t> allocator;
    for (std::size_t bytes : {std::size_t{100}, std::size_t{2} << 20, (std::size_t{5} << 20) + 3}) {
        std::uint8_t* block = allocator.allocate(bytes);
        ASSERT_NE(block, nullptr);
        if (bytes >= (std::size_t{2} << 20) && LargeBlocksInHugePages()) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % (std::size_t{2} << 20), 0u);
        }
        block[0] = 1;
        block[bytes - 1] = 2;
        EXPECT_EQ(block[0] + block[bytes - 1], 3);
        allocator.deallocate(block, bytes);
    }
    EXPECT_THROW((void)allocator.allocate(~std::size_t{0}), std::bad_alloc);
    EXPECT_THROW((void)allocator.allocate((std::size_t{1} << 40) + 1), std::bad_alloc);
    PackedRgb frame(1920 * 1080 * 3, 7);  // a vector of them starts zeroed or filled as asked
    EXPECT_EQ(frame.front(), 7);
    EXPECT_EQ(frame.back(), 7);
}

TEST(PackedPixels, PackedBitmapsReadAndWriteAsTheirSixteenBitTwins) {
    for (PixelStorage storage : {PixelStorage::kPackedRgb24, PixelStorage::kPackedRgb48}) {
        const bool eight = storage == PixelStorage::kPackedRgb24;
        SCOPED_TRACE(eight ? "8 bits" : "16 bits");
        std::mt19937 random(11);
        BitmapInfo bi;
        bi.SetWidth(37);
        bi.SetHeight(3);
        bi.SetStorage(storage);
        Bitmap* packed = TheManager->Create(&bi);
        ASSERT_NE(packed, nullptr);
        EXPECT_EQ(packed->Storage(), storage);
        EXPECT_TRUE(packed->Pixels().empty());
        ASSERT_EQ(packed->Packed().size(), 37u * 3 * (eight ? 3 : 6));
        // A filter sees the same size, and reads ahead in the packed lines.
        EXPECT_EQ(StorageWidth(packed), 37);
        EXPECT_EQ(StorageHeight(packed), 3);
        const size_t pixelBytes = eight ? 3 : 6;
        EXPECT_EQ(StorageLine(packed, 2).bytes, packed->Packed().data() + 2 * 37 * pixelBytes);
        EXPECT_EQ(StorageLine(packed, 2).pixelBytes, static_cast<int>(pixelBytes));
        EXPECT_EQ(StorageLine(packed, 3).bytes, nullptr);
        // ... and may work on them where they lie.
        EXPECT_EQ(StoredPackedLine(packed, 2), packed->Packed().data() + 2 * 37 * pixelBytes);
        EXPECT_EQ(StoredPackedLine(static_cast<const Bitmap*>(packed), 0), packed->Packed().data());
        EXPECT_EQ(StoredPackedLine(packed, 3), nullptr);
        EXPECT_EQ(StoredPackedLine(packed, -1), nullptr);
        EXPECT_EQ(StoredPixels(packed, 0), nullptr);

        std::vector<BMM_Color_64> line(30);
        for (BMM_Color_64& p : line) {
            p = {static_cast<WORD>(random()), static_cast<WORD>(random()),
                 static_cast<WORD>(random()), static_cast<WORD>(random())};
        }
        ASSERT_EQ(packed->PutPixels(5, 2, 30, line.data()), 1);
        EXPECT_EQ(packed->PutPixels(8, 2, 30, line.data()), 0);  // past the line
        EXPECT_EQ(packed->GetPixels(0, 3, 1, line.data()), 0);   // past the bitmap
        std::vector<BMM_Color_64> back(30);
        ASSERT_EQ(packed->GetPixels(5, 2, 30, back.data()), 1);
        const auto kept = [eight](WORD v) {
            return eight ? static_cast<WORD>((v + 128u) / 257u * 257u) : v;
        };
        for (int i = 0; i < 30; ++i) {
            EXPECT_EQ(back[i],
                      (BMM_Color_64{kept(line[i].r), kept(line[i].g), kept(line[i].b), 65535}))
                << i;
        }
        // What the storage holds goes through unchanged.
        ASSERT_EQ(packed->PutPixels(0, 0, 30, back.data()), 1);
        std::vector<BMM_Color_64> twice(30);
        ASSERT_EQ(packed->GetPixels(0, 0, 30, twice.data()), 1);
        EXPECT_EQ(twice, back);
        // A bitmap whose packed memory was taken (the video path trades buffers) refuses
        // rather than reads past it.
        PackedRgb taken;
        taken.swap(packed->Packed());
        EXPECT_EQ(packed->GetPixels(0, 0, 30, twice.data()), 0);
        EXPECT_EQ(packed->PutPixels(0, 0, 30, twice.data()), 0);
        EXPECT_EQ(StorageLine(packed, 0).bytes, nullptr);
        EXPECT_EQ(StoredPackedLine(packed, 0), nullptr);
        // Nor does it point a read-ahead or a filter past a shorter buffer traded in.
        packed->Packed().resize(37 * pixelBytes);
        EXPECT_NE(StorageLine(packed, 0).bytes, nullptr);
        EXPECT_EQ(StorageLine(packed, 1).bytes, nullptr);
        EXPECT_EQ(StoredPackedLine(packed, 0), packed->Packed().data());
        EXPECT_EQ(StoredPackedLine(packed, 1), nullptr);
        packed->DeleteThis();
    }
}

TEST(PackedPixels, UnpackWidensAndLeavesOtherImagesAlone) {
    Image16 image;
    image.width = 2;
    image.height = 1;
    image.packed = {0, 128, 255, 1, 2, 3};
    ASSERT_TRUE(IsPacked(image));
    Unpack(image);
    EXPECT_FALSE(IsPacked(image));
    EXPECT_TRUE(image.packed.empty());
    ASSERT_EQ(image.pixels.size(), 2u);
    EXPECT_EQ(image.pixels[0], (BMM_Color_64{0, 128 * 257, 65535, 65535}));
    EXPECT_EQ(image.pixels[1], (BMM_Color_64{257, 514, 771, 65535}));
    Unpack(image);  // not packed: untouched
    EXPECT_EQ(image.pixels[1], (BMM_Color_64{257, 514, 771, 65535}));

    Image16 deep;
    deep.width = 1;
    deep.height = 1;
    deep.bits = 16;
    const WORD rgb[3] = {1, 40000, 65535};
    deep.packed.resize(6);
    std::memcpy(deep.packed.data(), rgb, 6);
    Unpack(deep);
    ASSERT_EQ(deep.pixels.size(), 1u);
    EXPECT_EQ(deep.pixels[0], (BMM_Color_64{1, 40000, 65535, 65535}));
}

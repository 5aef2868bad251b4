// The render's strip composition against the whole line composed at once: every line
// kernel, every pair of eye channels, compensations in and beyond the dialog's range,
// widths that are no multiple of the strip or of a kernel's step, in every pixel storage,
// with foregrounds narrower, wider and shorter than the source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "dioptrix/composite.h"
#include "dioptrix/strip_composition.h"
#include "tests/support/alloc_counter.h"

namespace {

using BitmapPtr = std::unique_ptr<Bitmap, void (*)(Bitmap*)>;
using loom::PixelStorage;

struct Compensation {
    float left, right;
};

// Both ends of the dialog's range, ordinary values, a magnitude that needs double-precision
// intensities, and sums past the channel (clamped) from compensations beyond the range.
const Compensation kCompensations[] = {{-0.1f, -0.1f},   {0.0f, 0.0f},     {-0.5f, -0.5f},
                                       {-0.37f, -0.01f}, {-1e-10f, -0.2f}, {0.5f, 0.5f},
                                       {-0.9f, 0.3f}};

std::vector<ComposeKernel> Kernels() {
    std::vector<ComposeKernel> kernels;
    for (ComposeKernel k : {ComposeKernel::kScalar, ComposeKernel::kAvx2, ComposeKernel::kAvx512}) {
        if (k <= FastestComposeKernel()) kernels.push_back(k);
    }
    return kernels;
}

/// Widths around the strip `strip`, below a kernel's step, and a 4K line plus three.
std::vector<int> Widths(int strip) { return {1, 7, strip - 1, strip + 1, 3843}; }

LineComposer Composer(int left, int right, Compensation c, ComposeKernel kernel) {
    DioptrixConfig config;
    config.leftEyeColor = static_cast<std::uint8_t>(left);
    config.rightEyeColor = static_cast<std::uint8_t>(right);
    config.leftCompensation = c.left;
    config.rightCompensation = c.right;
    LineComposer s = MakeLineComposer(config);
    s.kernel = kernel;
    return s;
}

/// A bitmap of random 16-bit pixels drawn from `seed`.
BitmapPtr RandomBitmap(int width, int height, PixelStorage storage, std::uint64_t seed) {
    BitmapInfo bi;
    bi.SetWidth(width);
    bi.SetHeight(height);
    bi.SetStorage(storage);
    BitmapPtr bm(TheManager->Create(&bi), [](Bitmap* b) {
        if (b) b->DeleteThis();
    });
    if (!bm) return bm;
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    std::vector<BMM_Color_64> line(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (BMM_Color_64& p : line) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            p = {static_cast<WORD>(state), static_cast<WORD>(state >> 16),
                 static_cast<WORD>(state >> 32), static_cast<WORD>(state >> 48)};
        }
        if (bm->PutPixels(0, y, width, line.data()) != 1) return {nullptr, bm.get_deleter()};
    }
    return bm;
}

BitmapPtr Copy(const Bitmap& from) {
    BitmapPtr bm(new Bitmap(from), [](Bitmap* b) {
        if (b) b->DeleteThis();
    });
    return bm;
}

/// The composition as it was before strips: each line whole, the foreground read up to its
/// width and black beyond it and below its last line.
void ComposeWholeLines(const LineComposer& s, Bitmap& source, const Bitmap& foreground) {
    const int width = source.Width();
    const int foregroundWidth = std::min(width, foreground.Width());
    std::vector<BMM_Color_64> a(static_cast<size_t>(width)), b(a.size());
    for (int y = 0; y < source.Height(); ++y) {
        ASSERT_EQ(source.GetPixels(0, y, width, a.data()), 1);
        std::fill(b.begin(), b.end(), BMM_Color_64{});
        if (y < foreground.Height()) {
            ASSERT_EQ(foreground.GetPixels(0, y, foregroundWidth, b.data()), 1);
        }
        ComposeLine(s, a.data(), b.data(), width);
        ASSERT_EQ(source.PutPixels(0, y, width, a.data()), 1);
    }
}

/// Composes `source` with `foreground` in strips of `strip` pixels and line by line, and
/// expects the same stored bytes.
void ExpectStripsMatchWholeLines(const LineComposer& s, const Bitmap& source,
                                 const Bitmap& foreground, int strip) {
    BitmapPtr inStrips = Copy(source), whole = Copy(source);
    StripLines lines(source.Width(), strip);
    ASSERT_TRUE(lines.Ready());
    for (int y = 0; y < source.Height(); ++y) {
        ASSERT_TRUE(ComposeLineInStrips(s, *inStrips, &foreground, y, lines)) << "line " << y;
    }
    ComposeWholeLines(s, *whole, foreground);
    ASSERT_EQ(inStrips->Pixels().size(), whole->Pixels().size());
    for (size_t i = 0; i < whole->Pixels().size(); ++i) {
        ASSERT_EQ(inStrips->Pixels()[i], whole->Pixels()[i])
            << "pixel " << i % static_cast<size_t>(source.Width()) << " of line "
            << i / static_cast<size_t>(source.Width());
    }
    ASSERT_TRUE(inStrips->Packed() == whole->Packed());
    // The composition changed the picture: a strip left out would show.
    EXPECT_FALSE(inStrips->Pixels() == source.Pixels() && inStrips->Packed() == source.Packed());
}

}  // namespace

TEST(StripWidth, FitsItsWorkInAQuarterOfTheFirstLevelCache) {
    for (std::size_t cache : {std::size_t{0}, std::size_t{1024}, std::size_t{16} << 10,
                              std::size_t{32} << 10, std::size_t{48} << 10, std::size_t{80} << 10,
                              std::size_t{1} << 20, std::size_t{1} << 40}) {
        SCOPED_TRACE(cache);
        const int strip = StripPixelsForCache(cache);
        EXPECT_EQ(strip % 64, 0);
        EXPECT_GE(strip, 128);
        EXPECT_LE(strip, 4096);
        const std::size_t known = cache == 0 ? std::size_t{32} << 10 : cache;
        // Two working lines and both bitmaps' strips, 8 bytes a pixel each.
        const std::size_t bytes = 4 * sizeof(BMM_Color_64) * static_cast<std::size_t>(strip);
        if (strip > 128) {
            EXPECT_LE(bytes, known / 4);
        }
        if (strip < 4096) {  // one step wider would not fit
            EXPECT_GT(bytes + 4 * sizeof(BMM_Color_64) * 64, known / 4);
        }
    }
    EXPECT_EQ(StripPixelsForCache(48 << 10), 384);
    EXPECT_EQ(StripPixels(), StripPixels());  // asked once, the same for every render
}

TEST(ComposeKernelsInStrips, EveryEyePairAndCompensationMatchesTheWholeLine) {
    // Strips of this processor's width and of an odd one (strip ends off every kernel's step).
    for (const int strip : {StripPixels(), 100}) {
        for (const int width : Widths(strip)) {
            const BitmapPtr source = RandomBitmap(width, 3, PixelStorage::kRgba64, 1);
            const BitmapPtr foreground = RandomBitmap(width, 3, PixelStorage::kRgba64, 2);
            ASSERT_TRUE(source && foreground);
            for (ComposeKernel kernel : Kernels()) {
                for (int left = 0; left < 3; ++left) {
                    for (int right = 0; right < 3; ++right) {
                        for (const Compensation& c : kCompensations) {
                            SCOPED_TRACE(testing::Message()
                                         << "strip " << strip << ", width " << width << ", kernel "
                                         << static_cast<int>(kernel) << ", eyes " << left << right
                                         << ", compensations " << c.left << " " << c.right);
                            ExpectStripsMatchWholeLines(Composer(left, right, c, kernel), *source,
                                                        *foreground, strip);
                            if (HasFatalFailure()) return;
                        }
                    }
                }
            }
        }
    }
}

TEST(ComposeKernelsInStrips, PackedFramesMatchTheWholeLine) {
    // Video frames stay packed and are composed where they lie by the AVX-512 kernels (8-bit
    // ones where the processor has VBMI), through the host's conversions at the other levels
    // and for equal eye channels. Either way, the bytes of the whole line composed between
    // the conversions: every eye pair and every branch of the kernels.
    for (PixelStorage storage : {PixelStorage::kPackedRgb48, PixelStorage::kPackedRgb24}) {
        const bool deep = storage == PixelStorage::kPackedRgb48;
        for (const int strip : {StripPixels(), 100}) {
            for (const int width : Widths(strip)) {
                const BitmapPtr source = RandomBitmap(width, 3, storage, 3);
                const BitmapPtr foreground = RandomBitmap(width, 3, storage, 4);
                ASSERT_TRUE(source && foreground);
                for (ComposeKernel kernel : Kernels()) {
                    for (int eyes = 0; eyes < 9; ++eyes) {
                        const int left = eyes / 3, right = eyes % 3;
                        for (const Compensation& c : kCompensations) {
                            if (!deep && c.left != kCompensations[0].left &&
                                c.left != kCompensations[3].left) {
                                continue;
                            }
                            SCOPED_TRACE(testing::Message()
                                         << "storage " << static_cast<int>(storage) << ", strip "
                                         << strip << ", width " << width << ", kernel "
                                         << static_cast<int>(kernel) << ", eyes " << left << right
                                         << ", compensations " << c.left << " " << c.right);
                            ExpectStripsMatchWholeLines(Composer(left, right, c, kernel), *source,
                                                        *foreground, strip);
                            if (HasFatalFailure()) return;
                        }
                    }
                }
            }
        }
    }
}

TEST(ComposeKernelsInStrips, StoredAndPackedViewsMixAndASourceMayBeItsOwnForeground) {
    // 16-bit views are composed where they lie, packed ones through the host's conversions:
    // either may meet the other.
    constexpr int kStrip = 100;
    const int width = 2 * kStrip + 37;
    const std::pair<PixelStorage, PixelStorage> mixes[] = {
        {PixelStorage::kRgba64, PixelStorage::kPackedRgb48},
        {PixelStorage::kPackedRgb48, PixelStorage::kRgba64},
        {PixelStorage::kRgba64, PixelStorage::kPackedRgb24}};
    for (const auto& [sourceStorage, foregroundStorage] : mixes) {
        const BitmapPtr source = RandomBitmap(width, 3, sourceStorage, 13);
        const BitmapPtr foreground = RandomBitmap(width - 20, 2, foregroundStorage, 14);
        ASSERT_TRUE(source && foreground);
        for (ComposeKernel kernel : Kernels()) {
            SCOPED_TRACE(testing::Message() << "storages " << static_cast<int>(sourceStorage) << " "
                                            << static_cast<int>(foregroundStorage) << ", kernel "
                                            << static_cast<int>(kernel));
            ExpectStripsMatchWholeLines(Composer(0, 1, {-0.2f, -0.1f}, kernel), *source,
                                        *foreground, kStrip);
            if (HasFatalFailure()) return;
        }
    }
    // A source composed against itself sees each strip's pixels as they were before it.
    for (PixelStorage storage :
         {PixelStorage::kPackedRgb48, PixelStorage::kPackedRgb24, PixelStorage::kRgba64}) {
        const BitmapPtr source = RandomBitmap(width, 2, storage, 15);
        ASSERT_TRUE(source);
        for (ComposeKernel kernel : Kernels()) {
            const LineComposer s = Composer(2, 1, {-0.3f, -0.2f}, kernel);
            BitmapPtr itself = Copy(*source), whole = Copy(*source);
            StripLines lines(width, kStrip);
            for (int y = 0; y < 2; ++y)
                ASSERT_TRUE(ComposeLineInStrips(s, *itself, itself.get(), y, lines));
            ComposeWholeLines(s, *whole, *source);
            EXPECT_EQ(itself->Pixels(), whole->Pixels()) << "kernel " << static_cast<int>(kernel);
            EXPECT_TRUE(itself->Packed() == whole->Packed())
                << "kernel " << static_cast<int>(kernel);
        }
    }
    const BitmapPtr source = RandomBitmap(width, 2, PixelStorage::kRgba64, 15);
    ASSERT_TRUE(source);
    // Pixels the host swapped for a shorter buffer are not reached for: the line fails.
    BitmapPtr shortened = Copy(*source);
    shortened->Pixels().resize(static_cast<size_t>(width) + 5);
    StripLines lines(width, kStrip);
    const LineComposer s = Composer(0, 1, {-0.1f, -0.1f}, FastestComposeKernel());
    EXPECT_TRUE(ComposeLineInStrips(s, *shortened, source.get(), 0, lines));
    EXPECT_FALSE(ComposeLineInStrips(s, *shortened, source.get(), 1, lines));
    EXPECT_FALSE(ComposeLineInStrips(s, *Copy(*source), shortened.get(), 1, lines));
}

TEST(ComposeKernelsInStrips, ForegroundsOfAnotherSizeMeetBlackAsOnTheWholeLine) {
    // Narrower (ending inside a strip, at a strip's end, or in the first strip), wider, and
    // shorter foregrounds; lines after the foreground's last follow lines that read it, so
    // a strip left holding foreground pixels would show.
    // Packed views too: the AVX-512 kernels compose them where they lie only where the
    // foreground spans the source's line.
    constexpr int kStrip = 100;
    const int width = 3 * kStrip + 17;
    for (PixelStorage storage :
         {PixelStorage::kRgba64, PixelStorage::kPackedRgb48, PixelStorage::kPackedRgb24}) {
        const BitmapPtr source = RandomBitmap(width, 5, storage, 5);
        ASSERT_TRUE(source);
        for (const int foregroundWidth :
             {1, kStrip / 2, kStrip, 2 * kStrip + 3, width, width + 9}) {
            for (const int foregroundHeight : {1, 3, 5, 8}) {
                const BitmapPtr foreground =
                    RandomBitmap(foregroundWidth, foregroundHeight, storage, 6);
                ASSERT_TRUE(foreground);
                for (ComposeKernel kernel : Kernels()) {
                    SCOPED_TRACE(testing::Message()
                                 << "storage " << static_cast<int>(storage) << ", foreground "
                                 << foregroundWidth << " x " << foregroundHeight << ", kernel "
                                 << static_cast<int>(kernel));
                    ExpectStripsMatchWholeLines(Composer(0, 1, {-0.1f, -0.1f}, kernel), *source,
                                                *foreground, kStrip);
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
}

TEST(ComposeKernelsInStrips, WithoutAForegroundTheRightViewIsBlack) {
    const BitmapPtr source = RandomBitmap(250, 2, PixelStorage::kRgba64, 7);
    BitmapInfo none;
    const Bitmap empty(none);  // no pixel storage
    for (const Bitmap* foreground : {static_cast<const Bitmap*>(nullptr), &empty}) {
        BitmapPtr inStrips = Copy(*source);
        StripLines lines(250, 64);
        ASSERT_TRUE(ComposeLineInStrips(Composer(1, 2, {-0.2f, -0.3f}, FastestComposeKernel()),
                                        *inStrips, foreground, 1, lines));
        const BitmapPtr black = RandomBitmap(1, 1, PixelStorage::kRgba64, 8);
        black->Pixels()[0] = BMM_Color_64{};
        BitmapPtr whole = Copy(*source);
        ComposeWholeLines(Composer(1, 2, {-0.2f, -0.3f}, FastestComposeKernel()), *whole,
                          *black);  // one black pixel: black beyond it and below line 0
        // Line 0 was not asked for: it stays as it was.
        EXPECT_TRUE(std::equal(source->Pixels().begin(), source->Pixels().begin() + 250,
                               inStrips->Pixels().begin()));
        EXPECT_TRUE(std::equal(whole->Pixels().begin() + 250, whole->Pixels().end(),
                               inStrips->Pixels().begin() + 250));
    }
}

TEST(ComposeKernelsInStrips, ALineOutsideTheSourceFailsAndWritesNothing) {
    const BitmapPtr source = RandomBitmap(300, 2, PixelStorage::kRgba64, 9);
    const BitmapPtr foreground = RandomBitmap(300, 2, PixelStorage::kRgba64, 10);
    BitmapPtr target = Copy(*source);
    StripLines lines(300, 128);
    const LineComposer s = Composer(0, 1, {-0.1f, -0.1f}, FastestComposeKernel());
    EXPECT_FALSE(ComposeLineInStrips(s, *target, foreground.get(), 2, lines));
    EXPECT_FALSE(ComposeLineInStrips(s, *target, foreground.get(), -1, lines));
    EXPECT_EQ(target->Pixels(), source->Pixels());
}

TEST(ComposeKernelsInStrips,
     WorkingLinesAreAsWideAsTheStripOrThePictureAndComposingAllocatesNothing) {
    EXPECT_EQ(StripLines(3840, 768).Width(), 768);
    EXPECT_EQ(StripLines(300, 768).Width(), 300);
    EXPECT_EQ(StripLines(0, 768).Width(), 1);
    const BitmapPtr source = RandomBitmap(1000, 4, PixelStorage::kPackedRgb48, 11);
    const BitmapPtr foreground = RandomBitmap(900, 3, PixelStorage::kPackedRgb48, 12);
    StripLines lines(1000, 128);
    const LineComposer s = Composer(0, 2, {-0.1f, -0.3f}, FastestComposeKernel());
    const long before = loomtest::AllocationCount();
    for (int y = 0; y < 4; ++y)
        ASSERT_TRUE(ComposeLineInStrips(s, *source, foreground.get(), y, lines));
    EXPECT_EQ(loomtest::AllocationCount(), before);
}

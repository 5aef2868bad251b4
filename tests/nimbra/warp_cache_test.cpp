#include "nimbra/warp_cache.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "nimbra/pattern.h"
#include "tests/nimbra/nimbra_defaults.h"

namespace {

using nimbratest::Defaults;

NimbraWarpCounts Counts() { return ThisThreadNimbraWarpCache()->Counts(); }

// Rows of an image `width` wide as the renderer samples them (u from the column alone), in
// batches of 64 as the texture frame hands them on, checked bit for bit against each sample
// evaluated alone (which keeps no table). Returns the failures, so threads can report.
int RowFailures(const NimbraCache& c, int width, int rows, bool preview) {
    std::vector<float> u(static_cast<size_t>(width)), v(u.size()), t(u.size());
    for (int x = 0; x < width; ++x) u[static_cast<size_t>(x)] = (x + 0.5f) / width;
    int failures = 0;
    for (int y = 0; y < rows; ++y) {
        const float row = 1.0f - (y + 0.5f) / rows;
        for (float& e : v) e = row;
        for (int first = 0; first < width; first += 64) {
            const int n = std::min(64, width - first);
            const size_t at = static_cast<size_t>(first);
            if (preview) {
                CloudPatternPreviewBatch(c, &u[at], &v[at], n, &t[at]);
            } else {
                CloudPatternBatch(c, &u[at], &v[at], n, &t[at]);
            }
        }
        for (size_t x = 0; x < u.size(); ++x) {
            const float alone =
                preview ? CloudPatternPreview(c, u[x], v[x]) : CloudPattern(c, u[x], v[x]);
            if (std::bit_cast<std::uint32_t>(t[x]) != std::bit_cast<std::uint32_t>(alone)) {
                ++failures;
            }
        }
    }
    return failures;
}

TEST(NimbraWarpCache, RowsRepeatingUTakeTheKeptTablesWithTheBitsOfSingleSamples) {
    NimbraCache c = Defaults();
    c.uShift = 0.37f;  // U no other test of this thread files
    const NimbraWarpCounts before = Counts();
    EXPECT_EQ(RowFailures(c, 300, 4, false), 0);
    const NimbraWarpCounts after = Counts();
    // Five chunks a row (the last 44 wide); the first row files them, the other three find
    // them.
    EXPECT_EQ(after.misses - before.misses, 5u);
    EXPECT_EQ(after.hits - before.hits, 15u);
}

// Each change leaves U as it was, so every chunk's key but the parameters is the same as
// the row before: a table kept under the old parameters must not be served.
TEST(NimbraWarpCache, AChangedParameterIsNeverServedTheOldTable) {
    struct Change {
        const char* what;
        std::function<void(NimbraCache&)> apply;
    };
    const Change changes[] = {
        {"defaults", [](NimbraCache&) {}},
        {"warp factor of u", [](NimbraCache& c) { c.vWaveform = 31.0f; }},
        {"warp factor of u, negative zero", [](NimbraCache& c) { c.vWaveform = -0.0f; }},
        {"warp factor of u, zero", [](NimbraCache& c) { c.vWaveform = 0.0f; }},
        {"scale of u", [](NimbraCache& c) { c.uScale = 24.0f; }},
        {"fewer octaves", [](NimbraCache& c) { c.detail = 5.0f; }},
        {"three groups of octaves", [](NimbraCache& c) { c.detail = 19.5f; }},
        {"shift of u", [](NimbraCache& c) { c.uShift = 0.5f; }},
        {"tile", [](NimbraCache& c) { c.variation.tiled = 1; }},
        {"tile, scale rounding to the same whole cycles",
         [](NimbraCache& c) {
             c.variation.tiled = 1;
             c.uScale = 25.2f;
         }},
        {"seed", [](NimbraCache& c) { c.variation.seed = 1234u; }},
        {"contrast and density (not in the table)",
         [](NimbraCache& c) {
             c.contrast = 0.3f;
             c.density = 0.1f;
         }},
        {"back to the defaults", [](NimbraCache&) {}},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        NimbraCache c = Defaults();
        change.apply(c);
        EXPECT_EQ(RowFailures(c, 256, 2, false), 0);
        EXPECT_EQ(RowFailures(c, 256, 2, true), 0);
    }
}

TEST(NimbraWarpCache, ThePreviewFormSharesTheTablesOfU) {
    const NimbraCache c = Defaults();
    EXPECT_EQ(RowFailures(c, 192, 1, false), 0);
    const NimbraWarpCounts before = Counts();
    EXPECT_EQ(RowFailures(c, 192, 2, true), 0);
    EXPECT_EQ(Counts().hits - before.hits, 6u);  // its warp of v differs, its warp of u not
    EXPECT_EQ(Counts().misses, before.misses);
}

TEST(NimbraWarpCache, ThreadsKeepTablesOfTheirOwn) {
    NimbraCache a = Defaults();
    NimbraCache b = Defaults();
    b.vWaveform = 40.0f;
    b.variation.seed = 9u;
    int failures[2] = {-1, -1};
    std::uint64_t hits[2] = {0, 0};
    // Both threads render rows of the same U, so each would find the other's tables if
    // they shared a cache.
    auto render = [&](int i, const NimbraCache& c) {
        failures[i] = RowFailures(c, 512, 6, false);
        hits[i] = Counts().hits;
    };
    std::thread first(render, 0, std::cref(a));
    std::thread second(render, 1, std::cref(b));
    first.join();
    second.join();
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);
    EXPECT_EQ(hits[0], 40u);  // 8 chunks, 5 rows after the first
    EXPECT_EQ(hits[1], 40u);
}

TEST(NimbraWarpCache, ImagesWiderThanTheCacheStillGiveTheBits) {
    // 8192 x 3 samples at 16 octaves: 256 tables a row against 128 kept.
    NimbraCache c = Defaults();
    c.detail = 16.0f;
    EXPECT_EQ(RowFailures(c, 8192, 3, false), 0);
}

// The cache alone: a key that differs from a kept one in any part, or in one U that the
// hash does not read, is a miss; the same key finds the table as it was filled.
TEST(NimbraWarpCache, EveryPartOfTheKeyTellsTablesApart) {
    auto cache = std::make_unique<NimbraWarpCache>();
    double u[kNimbraChunk];
    for (int i = 0; i < kNimbraChunk; ++i) u[i] = 0.1 * i;
    const NimbraWarpKey base{u, 40, 7, 8, 0.5, 3.0};
    bool found = true;
    double* table = cache->Find(base, found);
    ASSERT_FALSE(found);
    for (int i = 0; i < 7 * 40; ++i) table[i] = std::sqrt(i + 0.25);
    double other[kNimbraChunk];
    std::copy(u, u + kNimbraChunk, other);
    other[17] = std::nextafter(other[17], 10.0);  // not one of those hashed
    struct Variant {
        const char* what;
        NimbraWarpKey key;
    };
    const Variant variants[] = {
        {"one U", {other, 40, 7, 8, 0.5, 3.0}},
        {"count", {u, 39, 7, 8, 0.5, 3.0}},
        {"octaves", {u, 40, 6, 8, 0.5, 3.0}},
        {"lanes", {u, 40, 7, 4, 0.5, 3.0}},
        {"warp factor", {u, 40, 7, 8, std::nextafter(0.5, 1.0), 3.0}},
        {"frequency", {u, 40, 7, 8, 0.5, 6.0}},
    };
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.what);
        found = true;
        double* miss = cache->Find(variant.key, found);
        EXPECT_FALSE(found);
        EXPECT_NE(miss, table);
        // Fill it as a caller must, with values the base's table does not hold.
        for (int i = 0; i < variant.key.count * variant.key.octaves; ++i) miss[i] = -1.0;
    }
    found = false;
    double* again = cache->Find(base, found);
    ASSERT_TRUE(found);
    for (int i = 0; i < 7 * 40; ++i) ASSERT_EQ(again[i], std::sqrt(i + 0.25)) << i;
    // Zeros of either sign and NaNs compare by their bits.
    const NimbraWarpKey zero{u, 40, 7, 8, 0.0, 3.0}, negativeZero{u, 40, 7, 8, -0.0, 3.0};
    cache->Find(zero, found);
    cache->Find(negativeZero, found);
    EXPECT_FALSE(found);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const NimbraWarpKey notANumber{u, 40, 7, 8, nan, 3.0};
    cache->Find(notANumber, found);
    cache->Find(notANumber, found);
    EXPECT_TRUE(found);
}

TEST(NimbraWarpCache, DropsTheLeastRecentlyUsedTableOfASet) {
    auto cache = std::make_unique<NimbraWarpCache>();
    // Sixteen times as many keys as the cache holds, about 64 to a set: a key used after
    // every other one stays (a cache that dropped its oldest filing, or any at random,
    // would drop it), the first ones filed are gone, the last one is kept.
    constexpr int kKept = kNimbraWarpSets * kNimbraWarpWays;
    constexpr int kKeys = 16 * kKept;
    std::vector<double> u((kKeys + 1) * 8);
    for (size_t i = 0; i < u.size(); ++i) u[i] = static_cast<double>(i);
    auto key = [&](int i) { return NimbraWarpKey{&u[static_cast<size_t>(i) * 8], 8, 1, 0, 1, 1}; };
    bool found = false;
    cache->Find(key(kKeys), found);
    int lostTheBusyKey = 0;
    for (int i = 0; i < kKeys; ++i) {
        cache->Find(key(i), found);
        ASSERT_FALSE(found) << i;
        cache->Find(key(kKeys), found);
        lostTheBusyKey += !found;
    }
    EXPECT_EQ(lostTheBusyKey, 0);
    int keptOfFirst = 0;
    for (int i = 0; i < kKept; ++i) {
        cache->Find(key(i), found);
        keptOfFirst += found;
    }
    EXPECT_EQ(keptOfFirst, 0);
    cache->Find(key(kKept - 1), found);
    EXPECT_TRUE(found);
    const NimbraWarpCounts counts = cache->Counts();
    EXPECT_EQ(counts.hits, static_cast<std::uint64_t>(kKeys + 1));
    EXPECT_EQ(counts.misses, static_cast<std::uint64_t>(1 + kKeys + kKept));
}

}  // namespace

#include "app/core/render/render_memory.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <tuple>
#include <vector>

using namespace loom;

TEST(RenderMemory, PeakCountsEveryOutputAndOneWrite) {
    RenderOptions opt;
    opt.width = opt.height = 32768;
    for (const auto& [color, mono, normal, perPixel] :
         std::vector<std::tuple<bool, bool, bool, std::uint64_t>>{{true, false, false, 40},
                                                                  {false, true, false, 40},
                                                                  {true, true, false, 56},
                                                                  {true, true, true, 72}}) {
        opt.color = color;
        opt.mono = mono;
        opt.normal = normal;
        SCOPED_TRACE(perPixel);
        EXPECT_EQ(RenderBytesPerPixel(opt), perPixel);
        EXPECT_EQ(RenderPeakBytes(opt), std::uint64_t{32768} * 32768 * perPixel);
    }
    opt = RenderOptions{};
    opt.width = 7;
    opt.height = 3;
    EXPECT_EQ(RenderPeakBytes(opt), 21u * 40u);
}

TEST(RenderMemory, BytesReadAsPeopleSayThem) {
    for (const auto& [bytes, text] : std::vector<std::tuple<std::uint64_t, const char*>>{
             {0, "0 bytes"},
             {999, "999 bytes"},
             {1000, "1 kB"},
             {163840, "164 kB"},
             {999'600, "1 MB"},
             {42'949'672'960ull, "42.9 GB"},
             {18'446'744'073'709'551'615ull, "18.4 EB"}}) {
        EXPECT_EQ(FormatBytes(bytes), text) << bytes;
    }
}

TEST(RenderMemory, UsableMemoryIsAtMostThePhysicalMemory) {
    const MemoryLimit limit = UsableMemory();
    const auto physical = static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES)) *
                          static_cast<std::uint64_t>(sysconf(_SC_PAGE_SIZE));
    EXPECT_GT(limit.bytes, 0u);
    EXPECT_LE(limit.bytes, physical);
    EXPECT_FALSE(limit.what.empty());
}

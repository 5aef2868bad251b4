#pragma once
// What the anaglyph benchmarks share with compare_ffmpeg.sh: the pair they compose, written
// once as a side-by-side RGB 8-bit raw frame for FFmpeg, and the main that does that on
// --write-frames=FILE or runs the benchmarks otherwise, closing with each figure's ratio to
// its memory bound.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bench/dioptrix/bound_ratio.h"
#include "foundation/host/sdk/bitmap.h"

namespace loombench {

/// Writes two views of `width` x `height` pixels (rows one after the other) as one raw frame
/// twice as wide, left view first; `to8` takes a 16-bit value to 8 bits.
template <class To8>
bool WriteSideBySideRaw(const std::string& path, const BMM_Color_64* left,
                        const BMM_Color_64* right, int width, int height, To8 to8) {
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<size_t>(width) * 2 * static_cast<size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (const BMM_Color_64* view : {left, right}) {
            const BMM_Color_64* row = view + static_cast<size_t>(y) * static_cast<size_t>(width);
            for (int x = 0; x < width; ++x) {
                raw.push_back(to8(row[x].r));
                raw.push_back(to8(row[x].g));
                raw.push_back(to8(row[x].b));
            }
        }
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(raw.data(), 1, raw.size(), f) == raw.size();
    return std::fclose(f) == 0 && ok;
}

/// With --write-frames=FILE, writes the pair through `writeFrames` and exits; otherwise
/// runs the benchmarks named by the other arguments and prints each of `bounds` that ran.
inline int BenchmarksOrFrames(int argc, char** argv, bool (*writeFrames)(const std::string&),
                              int width, int height, std::vector<BoundPair> bounds) {
    const std::string flag = "--write-frames=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag.c_str(), flag.size()) == 0) {
            const char* path = argv[i] + flag.size();
            if (!writeFrames(path)) {
                std::fprintf(stderr, "cannot write %s\n", path);
                return 1;
            }
            std::printf("%s: %dx%d side by side, rgb24\n", path, 2 * width, height);
            return 0;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    BoundRatioReporter reporter(std::move(bounds));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace loombench

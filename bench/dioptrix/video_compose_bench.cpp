// Composition of video frames as `loomhost anaglyph` composes them: a 1920 x 1080 pair of
// decoded frames (8- or 16-bit values, packed) through the stereo filter by the host's
// bitmap path (views into host bitmaps, render, result out), one thread; beside it the same
// pairs as 16-bit RGBA, as frames travelled before they were packed, and the still path's
// RunCompositor on the same 8-bit pair; each video case beside the memory bound of its
// traffic (and the 16-bit packed case beside the still render's bound), and the run
// closes with their ratios.
//
// --write-frames=FILE writes the 8-bit pair as one side-by-side 3840 x 1080 RGB raw frame,
// for compare_ffmpeg.sh, and exits.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/core/filter/filter_run.h"
#include "app/core/video/video_anaglyph.h"
#include "bench/dioptrix/side_by_side_frames.h"
#include "dioptrix/dioptrix_filter.h"
#include "foundation/host/sdk/packed_pixels.h"

namespace {

using loom::Image16;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kDisparity = 16;

// A busy picture of 8- or 16-bit values (8-bit ones widened by 257, as the reader does).
Image16 View(int shift, int bits) {
    Image16 img;
    img.width = kWidth;
    img.height = kHeight;
    img.bits = bits;
    img.pixels.resize(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int u = x + shift;
            auto wave = [](int v, int k) { return ((v * k) ^ (v * 37 >> 3)) & 0xFFFF; };
            auto value = [&](int w) { return static_cast<WORD>(bits == 8 ? (w >> 8) * 257 : w); };
            img.pixels[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] = {
                value(wave(u + y, 29)), value(wave(u * 2 + y, 13)), value(wave(y * 3 + u, 7)),
                65535};
        }
    }
    return img;
}

Image16 Packed(const Image16& wide) {
    Image16 img = wide;
    img.packed.resize(wide.pixels.size() * loom::PackedPixelBytes(wide.bits));
    (wide.bits == 8 ? loom::PackRgb24 : loom::PackRgb48)(wide.pixels.data(), img.packed.data(),
                                                         wide.pixels.size());
    img.pixels.clear();
    return img;
}

void SetRate(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(double{kWidth} * kHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

// The video path's composition (ComposeWithFilter). Arguments: bits of the frames (8 or 16),
// and 1 for packed frames (as the video path hands them over) or 0 for 16-bit RGBA.
void BM_VideoCompose(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    Image16 left = View(0, bits), right = View(kDisparity, bits);
    if (state.range(1) == 1) {
        left = Packed(left);
        right = Packed(right);
    }
    DioptrixFilter filter;
    const loom::ComposeFrame compose = loom::ComposeWithFilter(filter, nullptr);
    Image16 out, l, r;
    std::string err;
    for (auto _ : state) {
        state.PauseTiming();
        l = left;  // the composition takes the views' pixels
        r = right;
        state.ResumeTiming();
        if (!compose(l, r, out, err)) {
            state.SkipWithError(err.c_str());
            break;
        }
        benchmark::DoNotOptimize(out.pixels.data());
    }
    SetRate(state);
}
BENCHMARK(BM_VideoCompose)
    ->Args({8, 1})
    ->Args({8, 0})
    ->Args({16, 1})
    ->Args({16, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The still path's RunCompositor, which makes its host bitmaps on every call.
void BM_StillCompose(benchmark::State& state) {
    const Image16 left = View(0, 8), right = View(kDisparity, 8);
    DioptrixFilter filter;
    loom::FilterProgressWindow window("bench", nullptr, false);
    Image16 out;
    std::string err;
    for (auto _ : state) {
        if (loom::RunCompositor(filter, left, right, window, nullptr, out, err) !=
            loom::FilterOutcome::kDone) {
            state.SkipWithError(err.c_str());
            break;
        }
        benchmark::DoNotOptimize(out.pixels.data());
    }
    SetRate(state);
}
BENCHMARK(BM_StillCompose)->Unit(benchmark::kMillisecond)->UseRealTime();

// The memory bound of each BM_VideoCompose case, with the same arguments: its traffic
// without the arithmetic, per pixel two reads and one write of the frames' pixel size
// (6 or 3 bytes packed, in the huge-page blocks packed frames get; 8 bytes as 16-bit RGBA,
// in ordinary memory), over two 1920 x 1080 frames.
template <class Vector>
void FrameTraffic(benchmark::State& state, size_t pixelBytes) {
    const size_t words = static_cast<size_t>(kWidth) * kHeight * pixelBytes / 8;
    Vector a(words, 0x0123456789ABCDEFull);
    Vector b(words, 0x1111111111111111ull);
    for (auto _ : state) {
        std::uint64_t* pa = a.data();
        const std::uint64_t* pb = b.data();
        for (size_t i = 0; i < words; ++i) pa[i] ^= pb[i];
        benchmark::ClobberMemory();
    }
    SetRate(state);
}

void BM_MemoryBound(benchmark::State& state) {
    const bool packed = state.range(1) == 1;
    if (packed) {
        FrameTraffic<std::vector<std::uint64_t, loom::LargeBlockAllocator<std::uint64_t>>>(
            state, loom::PackedPixelBytes(static_cast<int>(state.range(0))));
    } else {
        FrameTraffic<std::vector<std::uint64_t>>(state, sizeof(BMM_Color_64));
    }
}
BENCHMARK(BM_MemoryBound)
    ->Args({8, 1})
    ->Args({8, 0})
    ->Args({16, 1})
    ->Args({16, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The still render's bound (bench/dioptrix/dioptrix_bench.cpp, BM_MemoryBound), which
// docs/performance.md holds the video composition against too: two 3840 x 2160 pictures
// of 8-byte pixels in ordinary memory, read two and write one per pixel. Frames of 1920 x
// 1080 sit in the last-level cache; these do not.
void BM_StillMemoryBound(benchmark::State& state) {
    constexpr size_t kStillPixels = size_t{3840} * 2160;
    std::vector<std::uint64_t> a(kStillPixels, 0x0123456789ABCDEFull);
    std::vector<std::uint64_t> b(kStillPixels, 0x1111111111111111ull);
    for (auto _ : state) {
        std::uint64_t* pa = a.data();
        const std::uint64_t* pb = b.data();
        for (size_t i = 0; i < kStillPixels; ++i) pa[i] ^= pb[i];
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] = benchmark::Counter(double{kStillPixels} / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_StillMemoryBound)->Unit(benchmark::kMillisecond)->UseRealTime();

bool WriteFrames(const std::string& path) {
    const Image16 left = View(0, 8), right = View(kDisparity, 8);
    return loombench::WriteSideBySideRaw(path, left.pixels.data(), right.pixels.data(), kWidth,
                                         kHeight,
                                         [](WORD v) { return static_cast<std::uint8_t>(v / 257); });
}

}  // namespace

int main(int argc, char** argv) {
    return loombench::BenchmarksOrFrames(argc, argv, WriteFrames, kWidth, kHeight,
                                         {{"BM_VideoCompose/16/1", "BM_MemoryBound/16/1"},
                                          {"BM_VideoCompose/16/1", "BM_StillMemoryBound"},
                                          {"BM_VideoCompose/16/0", "BM_MemoryBound/16/0"},
                                          {"BM_VideoCompose/8/1", "BM_MemoryBound/8/1"},
                                          {"BM_VideoCompose/8/0", "BM_MemoryBound/8/0"}});
}

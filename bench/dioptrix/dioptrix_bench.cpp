// Anaglyph throughput: the filter's render on a 3840 x 2160 pair in host bitmaps (one
// thread, messages to a host window as in a real run), the same render on a band that
// stays in the cache, the bare line composition, and the memory bound of the render's
// traffic (read two 8-byte pixels, write one); the run closes with the render's ratio to
// the bound.
//
// --write-frames=FILE writes the same pair as one side-by-side 7680 x 2160 RGB 8-bit raw
// frame (the 16-bit values' high bytes), for compare_ffmpeg.sh, and exits.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/dioptrix/side_by_side_frames.h"
#include "dioptrix/compose_avx512.h"
#include "dioptrix/composite.h"
#include "dioptrix/dioptrix_filter.h"
#include "foundation/host/sdk/packed_pixels.h"
#include "foundation/host/win32/win32.h"

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr int kDisparity = 24;  // the right view's content stands this much to the left

/// A smooth, busy picture: two interfering ramps per channel.
BMM_Color_64 Pixel(int x, int y) {
    auto wave = [](int v, int k) { return static_cast<WORD>(((v * k) ^ (v * 37 >> 3)) & 0xFFFF); };
    return {wave(x + y, 29), wave(x * 2 + y, 13), wave(y * 3 + x, 7), 65535};
}

std::vector<BMM_Color_64> View(int shift) {
    std::vector<BMM_Color_64> v(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            v[static_cast<size_t>(y) * kWidth + x] = Pixel(x + shift, y);
    }
    return v;
}

using BitmapHandle = std::unique_ptr<Bitmap, void (*)(Bitmap*)>;

BitmapHandle MakeBitmap(const std::vector<BMM_Color_64>& pixels, int width = kWidth,
                        int height = kHeight) {
    BitmapInfo bi;
    bi.SetWidth(width);
    bi.SetHeight(height);
    BitmapHandle bm(TheManager->Create(&bi), [](Bitmap* b) {
        if (b) b->DeleteThis();
    });
    if (bm) bm->Pixels() = pixels;
    return bm;
}

LRESULT HostProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == FLT_PROGRESS) {
        benchmark::DoNotOptimize(w);
        return 0;
    }
    if (m == FLT_CHECKABORT) return 0;  // never abort
    return DefWindowProc(h, m, w, l);
}

HWND HostWindow() {
    static HWND hwnd = [] {
        WNDCLASSA wc;
        wc.lpfnWndProc = HostProc;
        wc.lpszClassName = "DioptrixBenchHost";
        RegisterClassA(&wc);
        return CreateWindowExA(0, "DioptrixBenchHost", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                               nullptr);
    }();
    return hwnd;
}

const char* KernelName(ComposeKernel kernel) {
    return kernel == ComposeKernel::kAvx512 ? "avx512"
           : kernel == ComposeKernel::kAvx2 ? "avx2"
                                            : "scalar";
}

void SetRate(benchmark::State& state, double pixelsPerIteration) {
    state.counters["MP/s"] =
        benchmark::Counter(pixelsPerIteration / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

/// The filter over a pair of host bitmaps of `width` x `height` made from two views.
class FilteredPair {
  public:
    FilteredPair(const std::vector<BMM_Color_64>& left, const std::vector<BMM_Color_64>& right,
                 int width = kWidth, int height = kHeight)
        : source_(MakeBitmap(left, width, height)), foreground_(MakeBitmap(right, width, height)) {
        filter_.SetSource(source_.get());
        filter_.SetForeground(foreground_.get());
    }
    /// False, with the benchmark skipped, when the bitmaps could not be made.
    bool Ready(benchmark::State& state) const {
        if (!source_ || !foreground_) {
            state.SkipWithError("no memory for the bitmaps");
            return false;
        }
        state.SetLabel(KernelName(FastestComposeKernel()));
        return true;
    }
    Bitmap& Source() { return *source_; }
    bool Render() { return filter_.Render(HostWindow()); }

  private:
    BitmapHandle source_, foreground_;
    DioptrixFilter filter_;
};

void BM_AnaglyphRender(benchmark::State& state) {
    const std::vector<BMM_Color_64> left = View(0), right = View(kDisparity);
    FilteredPair pair(left, right);
    if (!pair.Ready(state)) return;
    for (auto _ : state) {
        state.PauseTiming();
        pair.Source().Pixels() = left;  // each run composes the same pair
        state.ResumeTiming();
        if (!pair.Render()) state.SkipWithError("render failed");
        benchmark::ClobberMemory();
    }
    SetRate(state, double{kWidth} * kHeight);
}
BENCHMARK(BM_AnaglyphRender)->Unit(benchmark::kMillisecond)->UseRealTime();

// The render's work without its memory traffic: the same filter on a 3840 x 8 pair, which
// stays in the second-level cache, composed over and over.
void BM_AnaglyphRenderInCache(benchmark::State& state) {
    constexpr int kLines = 8;
    const std::vector<BMM_Color_64> left = View(0), right = View(kDisparity);
    const std::vector<BMM_Color_64> leftBand(left.begin(), left.begin() + kWidth * kLines);
    const std::vector<BMM_Color_64> rightBand(right.begin(), right.begin() + kWidth * kLines);
    FilteredPair pair(leftBand, rightBand, kWidth, kLines);
    if (!pair.Ready(state)) return;
    for (auto _ : state) {
        // Composing the composed picture again takes the same work.
        if (!pair.Render()) state.SkipWithError("render failed");
        benchmark::ClobberMemory();
    }
    SetRate(state, double{kWidth} * kLines);
}
BENCHMARK(BM_AnaglyphRenderInCache)->Unit(benchmark::kMicrosecond);

// Argument: the kernel (0 scalar, 1 AVX2, 2 AVX-512), skipped where the processor lacks it.
void BM_ComposeLine(benchmark::State& state) {
    const std::vector<BMM_Color_64> left = View(0), right = View(kDisparity);
    LineComposer composer = MakeLineComposer(DioptrixConfig{});
    const auto kernel = static_cast<ComposeKernel>(state.range(0));
    if (kernel > FastestComposeKernel()) {
        state.SkipWithError("this processor lacks the kernel");
        return;
    }
    composer.kernel = kernel;
    state.SetLabel(KernelName(kernel));
    std::vector<BMM_Color_64> a(left.begin(), left.begin() + kWidth);
    for (auto _ : state) {
        std::memcpy(a.data(), left.data(), sizeof(BMM_Color_64) * kWidth);
        ComposeLine(composer, a.data(), right.data(), kWidth);
        benchmark::DoNotOptimize(a.data());
    }
    SetRate(state, double{kWidth});
}
BENCHMARK(BM_ComposeLine)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The bare AVX-512 composition of a line of packed 16-bit pixels where they lie (as video
// frames are composed), against the host's conversions around the 16-bit kernel.
// Argument: 1 for the packed kernel, 0 for widening both lines, composing and packing.
void BM_ComposePackedLine(benchmark::State& state) {
    const std::vector<BMM_Color_64> left = View(0), right = View(kDisparity);
    LineComposer composer = MakeLineComposer(DioptrixConfig{});
    if (composer.kernel != ComposeKernel::kAvx512) {
        state.SkipWithError("this processor lacks the kernel");
        return;
    }
    std::vector<std::uint8_t> packedLeft(6 * kWidth), a(6 * kWidth), b(6 * kWidth);
    loom::PackRgb48(left.data(), packedLeft.data(), kWidth);
    loom::PackRgb48(right.data(), b.data(), kWidth);
    std::vector<BMM_Color_64> wideA(kWidth), wideB(kWidth);
    const bool fused = state.range(0) == 1;
    for (auto _ : state) {
        std::memcpy(a.data(), packedLeft.data(), a.size());
        if (fused) {
            ComposePackedLineAvx512(composer, a.data(), b.data(), kWidth);
        } else {
            loom::WidenRgb48(a.data(), wideA.data(), kWidth);
            loom::WidenRgb48(b.data(), wideB.data(), kWidth);
            ComposeLine(composer, wideA.data(), wideB.data(), kWidth);
            loom::PackRgb48(wideA.data(), a.data(), kWidth);
        }
        benchmark::DoNotOptimize(a.data());
    }
    SetRate(state, double{kWidth});
}
BENCHMARK(BM_ComposePackedLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The render's memory traffic without its arithmetic: per pixel two 8-byte reads and one
// 8-byte write, over the same two 3840 x 2160 pictures; in memory as the bitmaps get it, and
// in huge pages as packed video frames get it.
template <class Vector>
void MemoryBound(benchmark::State& state) {
    Vector a(static_cast<size_t>(kWidth) * kHeight, 0x0123456789ABCDEFull);
    Vector b(a.size(), 0x1111111111111111ull);
    for (auto _ : state) {
        std::uint64_t* pa = a.data();
        const std::uint64_t* pb = b.data();
        for (size_t i = 0, n = a.size(); i < n; ++i) pa[i] ^= pb[i];
        benchmark::ClobberMemory();
    }
    SetRate(state, double{kWidth} * kHeight);
}

void BM_MemoryBound(benchmark::State& state) { MemoryBound<std::vector<std::uint64_t>>(state); }
BENCHMARK(BM_MemoryBound)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemoryBoundHugePages(benchmark::State& state) {
    MemoryBound<std::vector<std::uint64_t, loom::LargeBlockAllocator<std::uint64_t>>>(state);
}
BENCHMARK(BM_MemoryBoundHugePages)->Unit(benchmark::kMillisecond)->UseRealTime();

bool WriteFrames(const std::string& path) {
    const std::vector<BMM_Color_64> left = View(0), right = View(kDisparity);
    return loombench::WriteSideBySideRaw(path, left.data(), right.data(), kWidth, kHeight,
                                         [](WORD v) { return static_cast<std::uint8_t>(v >> 8); });
}

}  // namespace

int main(int argc, char** argv) {
    return loombench::BenchmarksOrFrames(argc, argv, WriteFrames, kWidth, kHeight,
                                         {{"BM_AnaglyphRender", "BM_MemoryBound"},
                                          {"BM_AnaglyphRender", "BM_MemoryBoundHugePages"}});
}

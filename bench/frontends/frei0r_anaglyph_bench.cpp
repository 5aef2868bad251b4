// A 1080p anaglyph frame through the frei0r mixer against the same composition inside
// loomhost: the video path (8-bit frames packed, the stereo filter through the host's
// bitmaps, ComposeWithFilter) and the still path (RunCompositor on 16-bit pictures).
// The frei0r figure includes taking the host's RGBA frames in and handing one back. The
// side-by-side filter against loomhost's composition of a decoded half-width side-by-side
// frame (its views widened at 16 bits, then composed); each composes one frame before it is
// timed, as the first frame's set-up (window, bitmaps, first touch of their memory) costs
// several frames' time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "app/core/filter/filter_run.h"
#include "app/core/loader/process_plugins.h"
#include "app/core/stereo/compose_pair.h"
#include "app/core/stereo/stereo_layout.h"
#include "app/core/video/video_anaglyph.h"
#include "app/frei0r/anaglyph_effect.h"

namespace {

constexpr int kW = 1920, kH = 1080;

std::vector<std::uint32_t> RandomFrame(unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> frame(static_cast<size_t>(kW) * kH);
    for (std::uint32_t& px : frame) px = rng() | 0xFF000000u;
    return frame;
}

loom::Image16 Packed(const std::vector<std::uint32_t>& frame) {
    loom::Image16 image;
    image.width = kW;
    image.height = kH;
    image.bits = 8;
    image.packed.resize(frame.size() * 3);
    const auto* from = reinterpret_cast<const std::uint8_t*>(frame.data());
    for (size_t i = 0; i < frame.size(); ++i) {
        for (int c = 0; c < 3; ++c)
            image.packed[i * 3 + static_cast<size_t>(c)] = from[i * 4 + static_cast<size_t>(c)];
    }
    return image;
}

const loom::PluginLoader& Plugins() {
    std::string error;
    const loom::PluginLoader* loader = loom::PluginsNearCore("frei0r_anaglyph_bench", error);
    if (!loader) throw std::runtime_error(error);
    return *loader;
}

void Frei0rMixer(benchmark::State& state) {
    Plugins();
    const auto left = RandomFrame(1), right = RandomFrame(2);
    std::vector<std::uint32_t> out(left.size());
    f0r_instance_t mixer =
        loom::frei0r::AnaglyphConstruct(loom::frei0r::AnaglyphForm::kMixer, kW, kH);
    for (auto _ : state) {
        loom::frei0r::AnaglyphUpdate(mixer, left.data(), right.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    loom::frei0r::AnaglyphDestruct(mixer);
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kW) * kH / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void LoomhostVideoFrames(benchmark::State& state) {
    std::unique_ptr<ImageFilter> filter = loom::stereo::MakeStereoFilter(
        loom::stereo::StereoFilterClass(Plugins()), loom::StereoSettings{});
    loom::ComposeFrame compose = loom::ComposeWithFilter(*filter, nullptr);
    const loom::Image16 decodedLeft = Packed(RandomFrame(1)), decodedRight = Packed(RandomFrame(2));
    loom::Image16 left, right, result;
    std::string error;
    for (auto _ : state) {
        // The decoder writes each frame into the views (the composition trades their
        // buffers with the bitmaps'), as the frei0r effect takes each frame in.
        left = decodedLeft;
        right = decodedRight;
        if (!compose(left, right, result, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(result.packed.data());
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kW) * kH / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void LoomhostStill(benchmark::State& state) {
    std::unique_ptr<ImageFilter> filter = loom::stereo::MakeStereoFilter(
        loom::stereo::StereoFilterClass(Plugins()), loom::StereoSettings{});
    loom::Image16 left = Packed(RandomFrame(1)), right = Packed(RandomFrame(2)), result;
    loom::Unpack(left);
    loom::Unpack(right);
    loom::FilterProgressWindow window("bench", nullptr, false);
    std::string error;
    for (auto _ : state) {
        if (loom::RunCompositor(*filter, left, right, window, nullptr, result, error) !=
            loom::FilterOutcome::kDone) {
            state.SkipWithError(error.c_str());
        }
        benchmark::DoNotOptimize(result.pixels.data());
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kW) * kH / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void Frei0rSideBySide(benchmark::State& state) {
    Plugins();
    const auto frame = RandomFrame(3);
    std::vector<std::uint32_t> out(frame.size());
    f0r_instance_t filter =
        loom::frei0r::AnaglyphConstruct(loom::frei0r::AnaglyphForm::kSideBySide, kW, kH);
    loom::frei0r::AnaglyphUpdate(filter, frame.data(), nullptr, out.data());
    for (auto _ : state) {
        loom::frei0r::AnaglyphUpdate(filter, frame.data(), nullptr, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    loom::frei0r::AnaglyphDestruct(filter);
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kW) * kH / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void LoomhostSideBySideFrames(benchmark::State& state) {
    std::unique_ptr<ImageFilter> filter = loom::stereo::MakeStereoFilter(
        loom::stereo::StereoFilterClass(Plugins()), loom::StereoSettings{});
    const loom::ComposeFrame compose = loom::AnaglyphFrameComposition(
        loom::stereo::AnaglyphSettingsFor(loom::stereo::AnaglyphMethod::kGrey, std::nullopt, 0, 1,
                                          -0.1f, -0.1f),
        filter.get(), nullptr);
    // The decoder hands half-width views' frames over as 16-bit pixels (VideoInput::ReadViews).
    loom::Image16 frame = Packed(RandomFrame(3)), left, right, result;
    loom::Unpack(frame);
    std::string error;
    loom::SplitViews(loom::StereoLayout::kSideBySideHalfLeftFirst, frame, left, right);
    if (!compose(left, right, result, error)) state.SkipWithError(error.c_str());
    for (auto _ : state) {
        loom::SplitViews(loom::StereoLayout::kSideBySideHalfLeftFirst, frame, left, right);
        if (!compose(left, right, result, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(result.pixels.data());
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kW) * kH / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(Frei0rMixer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoomhostVideoFrames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoomhostStill)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Frei0rSideBySide)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoomhostSideBySideFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

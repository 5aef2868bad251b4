#include "app/core/jobs/render_video.h"

#include "app/core/jobs/tile_jobs.h"

#include <algorithm>
#include <stdexcept>

#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/file_io.h"

namespace loom {
namespace {

/// A whole number 1..1000 from all of `text`, or -1.
int Whole(const std::string& text) {
    if (text.empty() || text.size() > 4) return -1;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v >= 1 && v <= 1000 ? v : -1;
}

/// As the picture files are written: v * scale + 0.5 in single precision, cut toward zero.
std::uint16_t Channel(float v, int bits) {
    if (!(v > 0.0f)) return 0;  // NaN too
    if (v >= 1.0f) return 65535;
    if (bits == 8) return static_cast<std::uint16_t>(static_cast<int>(v * 255.0f + 0.5f) * 257);
    return static_cast<std::uint16_t>(v * 65535.0f + 0.5f);
}

}  // namespace

void ParseFrameRate(const std::string& text, const char* option, int& num, int& den) {
    const size_t slash = text.find('/');
    num = Whole(text.substr(0, slash));
    den = slash == std::string::npos ? 1 : Whole(text.substr(slash + 1));
    if (num < 0 || den < 0) {
        throw std::runtime_error(std::string(option) + " '" + text +
                                 "': give frames a second as N or N/D (1..1000, e.g. 30 or "
                                 "30000/1001)");
    }
}

Image16 VideoFrameFromRender(const FloatImage& color, int bits) {
    Image16 frame;
    frame.width = color.width;
    frame.height = color.height;
    frame.bits = bits == 8 ? 8 : 16;
    frame.pixels.resize(static_cast<size_t>(color.width) * static_cast<size_t>(color.height));
    for (size_t i = 0; i < frame.pixels.size(); ++i) {
        const float* px = &color.rgba[i * 4];
        frame.pixels[i] =
            BMM_Color_64{Channel(px[0], bits), Channel(px[1], bits), Channel(px[2], bits), 65535};
    }
    return frame;
}

void RenderToVideo(Texmap* tex, RenderOptions ro, const RenderVideoJob& job,
                   const std::atomic<bool>* abort, ProgressBar& bar, RenderStats& stats) {
    VideoStreamInfo stream;
    stream.width = ro.width;
    stream.height = ro.height;
    ParseFrameRate(job.rate, "--fps", stream.frameRateNum, stream.frameRateDen);
    // One tick of the time base a frame: frame k has time stamp k.
    stream.timeBaseNum = stream.frameRateDen;
    stream.timeBaseDen = stream.frameRateNum;
    stream.sourceDepth = job.bits == 8 ? 8 : 16;
    std::string err;
    if (!CheckOutputFile(job.output, SaveOptions{job.force, nullptr}, err)) {
        throw std::runtime_error(err);
    }
    VideoOutput out;
    if (!out.Open(job.output, stream, stream.sourceDepth, job.encoding, err)) {
        throw std::runtime_error(err);
    }
    ro.color = true;
    ro.mono = ro.normal = false;
    const long long total = static_cast<long long>(job.last) - job.first + 1;
    for (int f = job.first; f <= job.last; ++f) {
        const long long index = static_cast<long long>(f) - job.first;
        ro.time = FramesToTicks(f);
        if (job.loop) {
            ro.shiftX = LoopShift(index, total, ro.width);
            ro.shiftY = LoopShift(index, total, ro.height);
        }
        RenderImages images;
        RenderStats frameStats;
        const bool finished = RenderTexture(
            tex, ro, images,
            [&](int rows, int all) { bar.Update(index * all + rows, total * all); }, abort,
            &frameStats);
        stats.seconds += frameStats.seconds;
        stats.samples += frameStats.samples;
        stats.isa = frameStats.isa;
        if (!finished) throw std::runtime_error(job.output + ": interrupted; nothing written");
        if (!out.WriteFrame(VideoFrameFromRender(images.color, job.bits), index, err)) {
            throw std::runtime_error(err);
        }
    }
    if (abort && *abort) throw std::runtime_error(job.output + ": interrupted; nothing written");
    if (!out.Finish(err)) throw std::runtime_error(err);
}

}  // namespace loom

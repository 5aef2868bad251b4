#include "app/core/video/straight_views.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace loom {

namespace {

constexpr int kFlags = SWS_BICUBIC;  // as the whole frame is converted

// Byte offsets of the sample at (x, y) in each plane of a frame of `d`'s format; false where
// a plane cannot be entered there (packed, paletted or bit-packed formats, or a point
// between two chroma samples).
bool PlaneOffsets(const AVPixFmtDescriptor* d, const int* linesize, int x, int y,
                  std::ptrdiff_t (&offsets)[4]) {
    constexpr unsigned kUnplanar =
        AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL;
    if (!d || !(d->flags & AV_PIX_FMT_FLAG_PLANAR) || (d->flags & kUnplanar)) return false;
    if (x % (1 << d->log2_chroma_w) != 0 || y % (1 << d->log2_chroma_h) != 0) return false;
    for (std::ptrdiff_t& o : offsets) o = 0;
    for (int c = 0; c < d->nb_components; ++c) {
        const AVComponentDescriptor& comp = d->comp[c];
        const bool chroma = !(d->flags & AV_PIX_FMT_FLAG_RGB) && (c == 1 || c == 2);
        const int px = chroma ? x >> d->log2_chroma_w : x;
        const int py = chroma ? y >> d->log2_chroma_h : y;
        offsets[comp.plane] = static_cast<std::ptrdiff_t>(py) * linesize[comp.plane] +
                              static_cast<std::ptrdiff_t>(px) * comp.step;
    }
    return true;
}

SwsContext* Context(SwsContext* old, int format, int width, int height, int target,
                    const int* coefficients, bool fullRange) {
    SwsContext* c =
        sws_getCachedContext(old, width, height, static_cast<AVPixelFormat>(format), width, height,
                             static_cast<AVPixelFormat>(target), kFlags, nullptr, nullptr, nullptr);
    if (c)
        sws_setColorspaceDetails(c, coefficients, fullRange, coefficients, 1, 0, 1 << 16, 1 << 16);
    return c;
}

int PixelBytes(int target) { return target == AV_PIX_FMT_RGB24 ? 3 : 6; }

}  // namespace

StraightViews::~StraightViews() {
    sws_freeContext(view_);
    sws_freeContext(whole_);
}

bool StraightViews::ConvertRegions(const AVFrame& frame, const Key& key,
                                   const ViewPlace (&places)[2]) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(key.format));
    view_ = Context(view_, key.format, key.viewWidth, key.viewHeight, key.target, key.coefficients,
                    key.fullRange);
    if (!view_) return false;
    for (const ViewPlace& place : places) {
        std::ptrdiff_t offsets[4];
        if (!PlaneOffsets(d, frame.linesize, place.x, place.y, offsets)) return false;
        const std::uint8_t* from[4] = {};
        for (int p = 0; p < 4; ++p) from[p] = frame.data[p] ? frame.data[p] + offsets[p] : nullptr;
        std::uint8_t* to[4] = {place.to, nullptr, nullptr, nullptr};
        const int strides[4] = {key.viewWidth * PixelBytes(key.target), 0, 0, 0};
        if (sws_scale(view_, from, frame.linesize, 0, key.viewHeight, to, strides) !=
            key.viewHeight) {
            return false;
        }
    }
    return true;
}

bool StraightViews::SameBytes(const Key& key) {
    // A frame of random samples: values in every sample and at the views' edges, so that a
    // conversion that blends neighbours across the edge shows.
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> trial(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    if (!trial) return false;
    trial->format = key.format;
    trial->width = key.width;
    trial->height = key.height;
    if (av_frame_get_buffer(trial.get(), 0) < 0) return false;
    std::uint32_t state = 0x9E3779B9u;
    for (AVBufferRef* buffer : trial->buf) {
        if (!buffer) continue;
        for (std::size_t i = 0; i < static_cast<std::size_t>(buffer->size); ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            buffer->data[i] = static_cast<std::uint8_t>(state >> 24);
        }
    }
    whole_ = Context(whole_, key.format, key.width, key.height, key.target, key.coefficients,
                     key.fullRange);
    if (!whole_) return false;
    const std::size_t bytes = static_cast<std::size_t>(PixelBytes(key.target));
    const std::size_t wholeRow = static_cast<std::size_t>(key.width) * bytes;
    const std::size_t viewRow = static_cast<std::size_t>(key.viewWidth) * bytes;
    std::vector<std::uint8_t> whole(wholeRow * static_cast<std::size_t>(key.height));
    std::uint8_t* to[4] = {whole.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(wholeRow), 0, 0, 0};
    if (sws_scale(whole_, trial->data, trial->linesize, 0, key.height, to, strides) != key.height) {
        return false;
    }
    std::vector<std::uint8_t> views[2];
    ViewPlace places[2];
    for (int i = 0; i < 2; ++i) {
        views[i].resize(viewRow * static_cast<std::size_t>(key.viewHeight));
        places[i] = {key.x[i], key.y[i], views[i].data()};
    }
    if (!ConvertRegions(*trial, key, places)) return false;
    for (int i = 0; i < 2; ++i) {
        for (int y = 0; y < key.viewHeight; ++y) {
            const std::uint8_t* expected = whole.data() +
                                           static_cast<std::size_t>(key.y[i] + y) * wholeRow +
                                           static_cast<std::size_t>(key.x[i]) * bytes;
            if (std::memcmp(expected, views[i].data() + static_cast<std::size_t>(y) * viewRow,
                            viewRow) != 0) {
                return false;
            }
        }
    }
    return true;
}

bool StraightViews::Convert(const AVFrame& frame, AVPixelFormat target, const int* coefficients,
                            bool fullRange, int viewWidth, int viewHeight,
                            const ViewPlace (&places)[2]) {
    if (target != AV_PIX_FMT_RGB24 && target != AV_PIX_FMT_RGB48) return false;
    Key key;
    key.format = frame.format;
    key.width = frame.width;
    key.height = frame.height;
    key.target = target;
    key.viewWidth = viewWidth;
    key.viewHeight = viewHeight;
    for (int i = 0; i < 2; ++i) {
        key.x[i] = places[i].x;
        key.y[i] = places[i].y;
    }
    key.coefficients = coefficients;
    key.fullRange = fullRange;
    if (!(key == decided_)) {
        decided_ = key;
        straight_ = SameBytes(key);
        // The trial's context is not needed again for this key.
        sws_freeContext(whole_);
        whole_ = nullptr;
    }
    return straight_ && ConvertRegions(frame, key, places);
}

}  // namespace loom

#include "app/core/video/video_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libavutil/stereo3d.h>
#include <libswscale/swscale.h>
}

#include "app/core/video/av_error.h"
#include "app/core/video/straight_views.h"
#include "foundation/host/sdk/pixel_limit.h"

namespace loom {

struct VideoInput::State {
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = nullptr;
    AVPacket* copied = nullptr;
    AVFrame* frame = nullptr;
    SwsContext* sws = nullptr;
    StraightViews straight;  // views converted one at a time, where that is exact
    PackedRgb rgb;
    Image16 whole;  // a frame whose views are taken out afterwards
    bool flushed = false;
    long long lastPts = AV_NOPTS_VALUE;
    /// Packets read ahead while checking where a seek landed, handed out before any more.
    std::deque<AVPacket*> pending;

    /// The stretch of frames Restrict asked for.
    struct Span {
        bool active = false;
        bool byTime = false;  ///< frames known by time stamp, else by count from the start
        bool toEnd = true;    ///< the last frame of the stretch is the file's last
        long long first = 0, last = 0;
        long long startPts = 0, lastPts = 0;  ///< by time: of frames first and last
        long long decoded = 0;                ///< by count: frames decoded so far
        bool ended = false;
    } span;

    ~State() {
        for (AVPacket*& p : pending) av_packet_free(&p);
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&copied);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
    }
};

std::string TimeText(long long pts, int timeBaseNum, int timeBaseDen) {
    if (pts == AV_NOPTS_VALUE || timeBaseDen <= 0) return "unknown time";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f s",
                  static_cast<double>(pts) * timeBaseNum / static_cast<double>(timeBaseDen));
    return buf;
}

VideoInput::VideoInput() = default;

VideoInput::~VideoInput() {
    state_.reset();
    avformat_close_input(&format_);
}

namespace {

// Opens a regular local file's demuxer and finds its best video stream. Only the file
// itself is read: a playlist or a name that looks like a URL reaches nothing else.
bool OpenDemuxer(const std::string& path, AVFormatContext*& format, int& videoIndex,
                 const AVCodec*& codec, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int ret = avformat_open_input(&format, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (ret < 0) {
        error = path + ": cannot read as a video: " + AvErrorText(ret);
        return false;
    }
    for (const char* listing : {"hls", "concat", "dash", "image2", "ffmetadata"}) {
        if (std::strcmp(format->iformat->name, listing) == 0) {
            error = path + ": " + listing + " files are not read as videos";
            return false;
        }
    }
    if ((ret = avformat_find_stream_info(format, nullptr)) < 0) {
        error = path + ": cannot read the streams: " + AvErrorText(ret);
        return false;
    }
    videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (videoIndex == AVERROR_DECODER_NOT_FOUND) {
        std::string codecName = "?";
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            const AVCodecParameters* par = format->streams[i]->codecpar;
            if (par->codec_type == AVMEDIA_TYPE_VIDEO) codecName = avcodec_get_name(par->codec_id);
        }
        error = path + ": this FFmpeg has no decoder for its " + codecName + " video";
        return false;
    }
    if (videoIndex < 0) {
        error = path + ": holds no video stream";
        return false;
    }
    return true;
}

}  // namespace

bool CountVideoFrames(const std::string& path, long long& frames, std::string& error) {
    AVFormatContext* format = nullptr;
    int index = -1;
    const AVCodec* codec = nullptr;
    frames = 0;
    bool ok = OpenDemuxer(path, format, index, codec, error);
    if (ok) {
        AVPacket* packet = av_packet_alloc();
        int ret = 0;
        while (packet && (ret = av_read_frame(format, packet)) >= 0) {
            if (packet->stream_index == index) ++frames;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        if (ret != AVERROR_EOF) {
            error = path + ": cannot read: " + AvErrorText(ret);
            ok = false;
        }
    }
    avformat_close_input(&format);
    return ok;
}

namespace {

// A file with more video packets than this is refused for sharding: each indexed packet
// takes 32 bytes (8.4 million frames are 39 hours at 60 frames a second).
constexpr long long kMaxIndexedFrames = 1LL << 23;

}  // namespace

bool VideoInput::IndexFrames(std::string& error) {
    AVFormatContext* format = nullptr;
    int index = -1;
    const AVCodec* codec = nullptr;
    packets_.clear();
    framePts_.clear();
    indexedFrames_ = 0;
    bool ok = OpenDemuxer(path_, format, index, codec, error);
    bool timed = true;
    AVPacket* packet = ok ? av_packet_alloc() : nullptr;
    if (ok && !packet) {
        error = path_ + ": not enough memory to read it";
        ok = false;
    }
    int ret = 0;
    while (ok && (ret = av_read_frame(format, packet)) >= 0) {
        if (packet->stream_index == index) {
            if (++indexedFrames_ > kMaxIndexedFrames) {
                error = path_ + ": more than " + std::to_string(kMaxIndexedFrames) +
                        " video frames are not split into parts";
                ok = false;
            } else if (timed) {
                timed = packet->pts != AV_NOPTS_VALUE;
                packets_.push_back({packet->pts, packet->dts, packet->pos,
                                    (packet->flags & AV_PKT_FLAG_KEY) != 0});
            }
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    if (ok && ret != AVERROR_EOF) {
        error = path_ + ": cannot read: " + AvErrorText(ret);
        ok = false;
    }
    if (ok && timed) {
        framePts_.reserve(packets_.size());
        for (const IndexedPacket& p : packets_) framePts_.push_back(p.pts);
        std::sort(framePts_.begin(), framePts_.end());
        // Two frames of one time cannot be told apart by it: count them instead.
        timed = std::adjacent_find(framePts_.begin(), framePts_.end()) == framePts_.end();
    }
    if (!ok || !timed) {
        packets_.clear();
        framePts_.clear();
    }
    if (!ok) indexedFrames_ = 0;
    return ok;
}

std::optional<long long> VideoInput::FramePts(long long frame) const {
    if (frame < 0 || static_cast<size_t>(frame) >= framePts_.size()) return std::nullopt;
    return framePts_[static_cast<size_t>(frame)];
}

bool VideoInput::Restrict(long long first, long long last, std::string& error) {
    if (!state_ || first < 0 || last < first || last >= indexedFrames_) {
        error = path_ + ": frames " + std::to_string(first) + "-" + std::to_string(last) +
                " are not among its " + std::to_string(indexedFrames_);
        return false;
    }
    State::Span& span = state_->span;
    span = {};
    span.active = true;
    span.first = first;
    span.last = last;
    span.toEnd = last == indexedFrames_ - 1;
    if (framePts_.empty()) return true;  // counted from the start
    span.byTime = true;
    span.startPts = framePts_[static_cast<size_t>(first)];
    span.lastPts = framePts_[static_cast<size_t>(last)];
    return first == 0 || SeekBefore(first, error);
}

bool VideoInput::SeekBefore(long long frame, std::string& error) {
    const long long target = framePts_[static_cast<size_t>(frame)];
    // The latest key frame at or before the target whose earlier packets (in file order) all
    // show before the target: decoding from it gives every frame from the target on, and
    // frames that would need a key frame before it (an open group's leading frames) show
    // before the target and are dropped.
    long long key = -1;
    long long shownBefore = LLONG_MIN;
    for (size_t i = 0; i < packets_.size(); ++i) {
        const IndexedPacket& p = packets_[i];
        if (p.key && p.pts <= target && shownBefore < target) key = static_cast<long long>(i);
        shownBefore = std::max(shownBefore, p.pts);
    }
    if (key <= 0) return true;  // from the start, as it stands
    const IndexedPacket& from = packets_[static_cast<size_t>(key)];
    // Demuxers seek by presentation or by decoding time; the earlier of the two lands on
    // this key frame or an earlier one, from which decoding is as good.
    const long long seekTo = from.dts != AV_NOPTS_VALUE ? std::min(from.dts, from.pts) : from.pts;
    State& s = *state_;
    avcodec_flush_buffers(s.decoder);
    if (avformat_seek_file(format_, videoIndex_, LLONG_MIN, seekTo, seekTo, 0) < 0) {
        return Reopen(error);
    }
    // Where it landed: the first video packet must be this key frame or an earlier one.
    // Packets of other streams before it are held (a few hundred at most in a sound file;
    // a file with more is read from the start instead).
    constexpr size_t kMaxHeld = 4096;
    while (s.pending.size() < kMaxHeld) {
        AVPacket* p = av_packet_alloc();
        if (!p) {
            error = path_ + ": not enough memory to read it";
            return false;
        }
        if (av_read_frame(format_, p) < 0) {
            av_packet_free(&p);
            break;
        }
        s.pending.push_back(p);
        if (p->stream_index != videoIndex_) continue;
        for (size_t i = 0; i <= static_cast<size_t>(key); ++i) {
            const IndexedPacket& q = packets_[i];
            if (q.pts == p->pts && q.key && (q.pos < 0 || p->pos < 0 || q.pos == p->pos)) {
                return true;
            }
        }
        break;
    }
    return Reopen(error);
}

bool VideoInput::Reopen(std::string& error) {
    State& s = *state_;
    for (AVPacket*& p : s.pending) av_packet_free(&p);
    s.pending.clear();
    avformat_close_input(&format_);
    const AVCodec* codec = nullptr;
    if (!OpenDemuxer(path_, format_, videoIndex_, codec, error)) return false;
    avcodec_flush_buffers(s.decoder);
    return true;
}

bool VideoInput::NextPacket(AVPacket* packet) {
    State& s = *state_;
    if (s.pending.empty()) return false;
    AVPacket* p = s.pending.front();
    s.pending.pop_front();
    av_packet_move_ref(packet, p);
    av_packet_free(&p);
    return true;
}

void VideoInput::PlaceFrame(long long pts, bool& drop, bool& end) {
    State::Span& span = state_->span;
    if (span.byTime) {
        drop = pts < span.startPts;
        end = !span.toEnd && pts > span.lastPts;
    } else {
        const long long n = span.decoded++;
        drop = n < span.first;
        end = !span.toEnd && n > span.last;
    }
    if (end) span.ended = true;
}

bool VideoInput::Open(const std::string& path, std::string& error) {
    path_ = path;
    const AVCodec* codec = nullptr;
    if (!OpenDemuxer(path, format_, videoIndex_, codec, error)) return false;
    AVStream* stream = format_->streams[videoIndex_];
    const AVCodecParameters* par = stream->codecpar;
    info_.codecName = avcodec_get_name(par->codec_id);
    // The pixel limit of pictures (--max-pixels) holds for frames too.
    const long long most = std::min(kMaxVideoFramePixels, MaxImagePixels());
    if (par->width <= 0 || par->height <= 0 ||
        static_cast<long long>(par->width) * par->height > most) {
        error = path + ": video frames of " + std::to_string(par->width) + "x" +
                std::to_string(par->height) + " pixels are not read (at most " +
                std::to_string(most) + " pixels)";
        return false;
    }
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.decoder = avcodec_alloc_context3(codec);
    s.packet = av_packet_alloc();
    s.copied = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (!s.decoder || !s.packet || !s.copied || !s.frame) {
        error = path + ": not enough memory for the decoder";
        return false;
    }
    int ret = 0;
    if ((ret = avcodec_parameters_to_context(s.decoder, par)) >= 0) {
        s.decoder->thread_count = 0;  // as many as the machine has
        s.decoder->pkt_timebase = stream->time_base;
        ret = avcodec_open2(s.decoder, codec, nullptr);
    }
    if (ret < 0) {
        error = path + ": cannot open the " + info_.codecName + " decoder: " + AvErrorText(ret);
        return false;
    }

    info_.width = par->width;
    info_.height = par->height;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(par->format));
    info_.sourceDepth = desc ? desc->comp[0].depth : 8;
    info_.bits = info_.sourceDepth > 8 ? 16 : 8;
    info_.timeBaseNum = stream->time_base.num;
    info_.timeBaseDen = stream->time_base.den;
    const AVRational rate = av_guess_frame_rate(format_, stream, nullptr);
    if (rate.num > 0 && rate.den > 0) {
        info_.frameRateNum = rate.num;
        info_.frameRateDen = rate.den;
    }
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        info_.duration = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    } else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        info_.duration = static_cast<double>(format_->duration) / AV_TIME_BASE;
    }
    if (stream->nb_frames > 0) {
        info_.frames = stream->nb_frames;
        info_.framesDeclared = true;
    } else if (info_.duration > 0) {
        info_.frames = static_cast<long long>(info_.duration * av_q2d(rate) + 0.5);
    }
    info_.colorRange = par->color_range;
    info_.colorPrimaries = par->color_primaries;
    info_.colorTransfer = par->color_trc;
    info_.colorSpace = par->color_space;
    info_.chromaLocation = par->chroma_location;

    size_t size = 0;
    if (const uint8_t* d = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
        d && size >= 9 * sizeof(int32_t)) {
        info_.displayMatrix.assign(d, d + 9 * sizeof(int32_t));
    }
    if (const uint8_t* d = av_stream_get_side_data(stream, AV_PKT_DATA_STEREO3D, &size);
        d && size >= sizeof(AVStereo3D)) {
        const auto* s3d = reinterpret_cast<const AVStereo3D*>(d);
        if (s3d->type == AV_STEREO3D_SIDEBYSIDE || s3d->type == AV_STEREO3D_TOPBOTTOM) {
            info_.packedLayout = LayoutFromPacking(s3d->type == AV_STEREO3D_SIDEBYSIDE,
                                                   (s3d->flags & AV_STEREO3D_FLAG_INVERT) != 0,
                                                   par->width, par->height);
        }
    }
    return true;
}

namespace {

// Takes the region at (x0, y0) of a frame `width` pixels wide, packed at `bits` a channel,
// into `view` (whose size is set), packed as it is or widened.
void TakeRegion(const PackedRgb& rgb, int width, int bits, int x0, int y0, Image16& view) {
    const size_t w = static_cast<size_t>(view.width), bytes = PackedPixelBytes(bits);
    const bool packed = IsPacked(view);
    for (size_t y = 0; y < static_cast<size_t>(view.height); ++y) {
        const uint8_t* from =
            rgb.data() +
            ((static_cast<size_t>(y0) + y) * static_cast<size_t>(width) + static_cast<size_t>(x0)) *
                bytes;
        if (packed) {
            std::memcpy(view.packed.data() + y * w * bytes, from, w * bytes);
        } else {
            (bits == 8 ? WidenRgb24 : WidenRgb48)(from, view.pixels.data() + y * w, w);
        }
    }
}

// Sizes a view for 16-bit pixels, or for packed ones (its 16-bit pixels emptied, their
// memory kept for a later frame).
void SizeView(Image16& view, int w, int h, int bits, bool packed) {
    view.width = w;
    view.height = h;
    view.bits = bits;
    view.hasAlpha = false;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (packed) {
        view.pixels.clear();
        view.packed.resize(count * PackedPixelBytes(bits));
    } else {
        view.packed.clear();
        view.pixels.resize(count);
    }
}

}  // namespace

VideoInput::Next VideoInput::Read(Image16& image, long long& pts, AVPacket*& packet,
                                  std::string& error) {
    return ReadInto(nullptr, image, nullptr, pts, packet, error);
}

VideoInput::Next VideoInput::ReadViews(StereoLayout layout, Image16& left, Image16& right,
                                       long long& pts, AVPacket*& packet, std::string& error) {
    if ((info_.bits == 8 || packedFrames_) && !IsHalf(layout)) {
        return ReadInto(&layout, left, &right, pts, packet, error);
    }
    // Half views are stretched from the whole frame's 16-bit pixels.
    const bool packed = packedFrames_;
    packedFrames_ = false;
    const Next next = ReadInto(nullptr, state_->whole, nullptr, pts, packet, error);
    packedFrames_ = packed;
    if (next == Next::kFrame) SplitViews(layout, state_->whole, left, right);
    return next;
}

VideoInput::Next VideoInput::ReadInto(const StereoLayout* layout, Image16& image, Image16* second,
                                      long long& pts, AVPacket*& packet, std::string& error) {
    State& s = *state_;
    const auto at = [&](long long t) {
        return path_ + ": at " + TimeText(t, info_.timeBaseNum, info_.timeBaseDen) + ": ";
    };
    if (s.span.ended) return Next::kEnd;
    for (;;) {
        int ret = avcodec_receive_frame(s.decoder, s.frame);
        if (ret == 0) {
            AVFrame* f = s.frame;
            pts = f->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE) {
                // A frame without a time stamp follows the one before by one frame.
                const long long ticks =
                    av_rescale_q(1, AVRational{info_.frameRateDen, info_.frameRateNum},
                                 AVRational{info_.timeBaseNum, info_.timeBaseDen});
                pts = s.lastPts == AV_NOPTS_VALUE ? 0 : s.lastPts + std::max(1LL, ticks);
            }
            s.lastPts = pts;
            if (s.span.active) {
                // Frames outside the stretch are neither checked nor converted.
                bool drop = false, end = false;
                PlaceFrame(f->pts != AV_NOPTS_VALUE ? f->pts : pts, drop, end);
                if (drop || end) av_frame_unref(f);
                if (end) return Next::kEnd;
                if (drop) continue;
            }
            if (f->decode_error_flags != 0 || (f->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
                error = at(pts) + "corrupt frame";
                av_frame_unref(f);
                return Next::kError;
            }
            if (f->width != info_.width || f->height != info_.height) {
                error = at(pts) + "the frame size changes from " + std::to_string(info_.width) +
                        "x" + std::to_string(info_.height) + " to " + std::to_string(f->width) +
                        "x" + std::to_string(f->height);
                av_frame_unref(f);
                return Next::kError;
            }
            // 8-bit frames go through RGB24 and are widened by 257 unless kept packed, as
            // 8-bit pictures are read (swscale's conversions of 8-bit YUV to 16-bit RGB are
            // several times slower). Deeper frames go to RGB48 when kept packed or split,
            // else straight into the image's pixels (RGBA at 16 bits in the machine's byte
            // order, BMM_Color_64's layout, opaque alpha).
            const auto format = static_cast<AVPixelFormat>(f->format);
            const bool eight = info_.bits == 8;
            const bool packed = layout || packedFrames_;
            const AVPixelFormat target = eight    ? AV_PIX_FMT_RGB24
                                         : packed ? AV_PIX_FMT_RGB48
                                                  : AV_PIX_FMT_RGBA64;
            s.sws = sws_getCachedContext(s.sws, f->width, f->height, format, f->width, f->height,
                                         target, SWS_BICUBIC, nullptr, nullptr, nullptr);
            if (!s.sws) {
                error = at(pts) + "cannot convert " + av_get_pix_fmt_name(format) + " to RGB";
                av_frame_unref(f);
                return Next::kError;
            }
            const int matrix =
                f->colorspace == AVCOL_SPC_UNSPECIFIED || f->colorspace == AVCOL_SPC_RGB
                    ? SWS_CS_DEFAULT
                    : f->colorspace;
            const int* coefficients = sws_getCoefficients(matrix);
            sws_setColorspaceDetails(s.sws, coefficients, f->color_range == AVCOL_RANGE_JPEG,
                                     coefficients, 1, 0, 1 << 16, 1 << 16);
            const size_t w = static_cast<size_t>(f->width), h = static_cast<size_t>(f->height);
            const size_t bytes = PackedPixelBytes(info_.bits);
            const auto convert = [&](uint8_t* to, size_t stride) {
                uint8_t* planes[4] = {to, nullptr, nullptr, nullptr};
                int strides[4] = {static_cast<int>(stride), 0, 0, 0};
                sws_scale(s.sws, f->data, f->linesize, 0, f->height, planes, strides);
            };
            if (layout) {
                // Full views out of the packed frame, as SplitViews takes them.
                int vw = 0, vh = 0;
                if (!ViewSize(*layout, info_.width, info_.height, vw, vh, error)) {
                    av_frame_unref(f);
                    error = path_ + ": " + error;
                    return Next::kError;
                }
                const bool sbs = IsSideBySide(*layout);
                Image16& first = LeftFirst(*layout) ? image : *second;
                Image16& other = LeftFirst(*layout) ? *second : image;
                SizeView(first, vw, vh, info_.bits, packedFrames_);
                SizeView(other, vw, vh, info_.bits, packedFrames_);
                const int x1 = sbs ? info_.width - info_.width / 2 : 0;
                const int y1 = sbs ? 0 : info_.height - info_.height / 2;
                // Packed views straight out of the decoded frame where that gives the same
                // bytes; else the whole frame is converted and each view copied out.
                const ViewPlace places[2] = {{0, 0, first.packed.data()},
                                             {x1, y1, other.packed.data()}};
                const bool straight =
                    packedFrames_ &&
                    s.straight.Convert(*f, target, coefficients, f->color_range == AVCOL_RANGE_JPEG,
                                       vw, vh, places);
                if (!straight) {
                    s.rgb.resize(w * h * bytes);
                    convert(s.rgb.data(), w * bytes);
                    TakeRegion(s.rgb, info_.width, info_.bits, 0, 0, first);
                    TakeRegion(s.rgb, info_.width, info_.bits, x1, y1, other);
                }
                av_frame_unref(f);
                return Next::kFrame;
            }
            SizeView(image, static_cast<int>(w), static_cast<int>(h), info_.bits, packed);
            if (packed) {
                image.packed.resize(w * h * bytes);
                convert(image.packed.data(), w * bytes);
            } else if (eight) {
                s.rgb.resize(w * h * 3);
                convert(s.rgb.data(), w * 3);
                WidenRgb24(s.rgb.data(), image.pixels.data(), w * h);
            } else {
                convert(reinterpret_cast<uint8_t*>(image.pixels.data()), w * sizeof(BMM_Color_64));
            }
            av_frame_unref(f);
            return Next::kFrame;
        }
        if (ret == AVERROR_EOF) return Next::kEnd;
        if (ret != AVERROR(EAGAIN)) {
            error = at(s.lastPts) + "cannot decode a frame: " + AvErrorText(ret);
            return Next::kError;
        }
        if (s.flushed) return Next::kEnd;
        ret = NextPacket(s.packet) ? 0 : av_read_frame(format_, s.packet);
        if (ret < 0) {
            // The end, or a read error after which nothing more can be trusted: drain.
            s.flushed = true;
            avcodec_send_packet(s.decoder, nullptr);
            if (ret != AVERROR_EOF) {
                error = path_ + ": cannot read on after " +
                        TimeText(s.lastPts, info_.timeBaseNum, info_.timeBaseDen) + ": " +
                        AvErrorText(ret);
                return Next::kError;
            }
            continue;
        }
        const AVStream* stream = format_->streams[s.packet->stream_index];
        if (s.packet->stream_index == videoIndex_) {
            const long long t = s.packet->pts != AV_NOPTS_VALUE ? s.packet->pts : s.packet->dts;
            if (s.packet->flags & AV_PKT_FLAG_CORRUPT) {
                // The demuxer could not read the whole packet: the file was cut short there,
                // or is damaged.
                av_packet_unref(s.packet);
                error = at(t) + "damaged or cut short packet";
                return Next::kError;
            }
            ret = avcodec_send_packet(s.decoder, s.packet);
            av_packet_unref(s.packet);
            if (ret < 0 && ret != AVERROR(EAGAIN)) {
                error = at(t) + "corrupt packet: " + AvErrorText(ret);
                return Next::kError;
            }
        } else if ((stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO ||
                    stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) &&
                   !s.span.active) {
            av_packet_unref(s.copied);
            av_packet_move_ref(s.copied, s.packet);
            packet = s.copied;
            return Next::kPacket;
        } else {
            av_packet_unref(s.packet);
        }
    }
}

}  // namespace loom

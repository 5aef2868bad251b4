#include "app/core/video/video_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "app/core/video/av_error.h"
#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/file_safety.h"

namespace loom {
namespace {

struct CodecChoice {
    const char* name;
    const char* encoder;
};

constexpr CodecChoice kCodecs[] = {
    {"h264", "libx264"},     {"h265", "libx265"}, {"ffv1", "ffv1"},
    {"prores", "prores_ks"}, {"png", "png"},
};

const CodecChoice* FindCodec(const std::string& name) {
    for (const CodecChoice& c : kCodecs) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

std::string TemporaryName(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path p(path);
    std::random_device rd;
    // Appended piece by piece: GCC 12 at -O3 misreports `"." + name` as overlapping copies.
    std::string name(1, '.');
    name += p.filename().string();
    name += kTemporaryMarker;
    name += std::to_string(::getpid());
    name += '.';
    name += std::to_string(rd());
    return (p.parent_path() / name).string();
}

bool IsYuv(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
}

// The 16-bit pixels as RGB48 (`deep`) or as RGB24 rounded to nearest.
void PackPixels(const std::vector<BMM_Color_64>& pixels, bool deep,
                std::vector<std::uint8_t>& rgb) {
    rgb.resize(pixels.size() * PackedPixelBytes(deep ? 16 : 8));
    (deep ? PackRgb48 : PackRgb24)(pixels.data(), rgb.data(), pixels.size());
}

}  // namespace

void FrameFree::operator()(AVFrame* f) const { av_frame_free(&f); }

struct VideoOutput::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* encoder = nullptr;
    AVStream* video = nullptr;
    FramePtr frame;  // WriteFrame's
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    SwsContext* swsPacked = nullptr;  // deep YUV output from packed RGB48 frames
    std::vector<int> streamMap;       // source stream -> output stream, -1 when not copied
    std::vector<AVRational> sourceTimeBase;
    std::vector<std::uint8_t> rgb;
    std::vector<BMM_Color_64> wide;  // a packed frame widened for the 16-bit route
    // The encoder's frame format and colour description, read by the converting thread
    // while the encoder works on another.
    int width = 0, height = 0;
    AVPixelFormat pixFmt = AV_PIX_FMT_NONE;
    AVColorRange colorRange = AVCOL_RANGE_UNSPECIFIED;
    AVColorSpace colorSpace = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries colorPrimaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic colorTransfer = AVCOL_TRC_UNSPECIFIED;
    bool deep = false;
    bool direct = false;  // deep YUV output: converted straight from the 16-bit pixels
    bool headerWritten = false;

    ~State() {
        sws_freeContext(sws);
        sws_freeContext(swsPacked);
        av_packet_free(&packet);
        avcodec_free_context(&encoder);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

std::vector<std::string> VideoCodecNames() {
    std::vector<std::string> names;
    for (const CodecChoice& c : kCodecs) names.emplace_back(c.name);
    return names;
}

std::string AvailableVideoCodecs() {
    std::string s;
    for (const CodecChoice& c : kCodecs) {
        if (!avcodec_find_encoder_by_name(c.encoder)) continue;
        if (!s.empty()) s += ", ";
        s += c.name;
    }
    return s.empty() ? "none" : s;
}

std::string VideoContainerChoices() { return ".mkv, .mp4, .mov, .avi, .nut"; }

bool CheckVideoEncoding(const VideoEncoding& encoding, std::string& error) {
    const CodecChoice* c = FindCodec(encoding.codec);
    if (!c) {
        error =
            "unknown codec '" + encoding.codec + "'; the choices: h264, h265, ffv1, prores, png";
        return false;
    }
    if (!avcodec_find_encoder_by_name(c->encoder)) {
        error = "this FFmpeg has no " + encoding.codec + " encoder (" + c->encoder +
                "); available: " + AvailableVideoCodecs();
        return false;
    }
    if (encoding.crf >= 0 && encoding.codec != "h264" && encoding.codec != "h265") {
        error = "--crf applies to h264 and h265, not " + encoding.codec;
        return false;
    }
    if (encoding.crf > 51) {
        error = "--crf must be 0..51";
        return false;
    }
    if (encoding.crf >= 0 && encoding.bitrate > 0) {
        error = "give either --crf or --bitrate, not both";
        return false;
    }
    if (encoding.bitrate < 0) {
        error = "--bitrate must be positive";
        return false;
    }
    return true;
}

std::string OutputPixelFormat(const std::string& codec, int sourceDepth) {
    if (codec == "h264") return sourceDepth > 8 ? "yuv420p10le" : "yuv420p";
    if (codec == "h265") {
        return sourceDepth > 10 ? "yuv420p12le" : sourceDepth > 8 ? "yuv420p10le" : "yuv420p";
    }
    if (codec == "ffv1") {
        return sourceDepth > 12   ? "gbrp16le"
               : sourceDepth > 10 ? "gbrp12le"
               : sourceDepth > 8  ? "gbrp10le"
                                  : "bgr0";
    }
    if (codec == "prores") return sourceDepth > 10 ? "yuv444p10le" : "yuv422p10le";
    if (codec == "png") return sourceDepth > 8 ? "rgb48be" : "rgb24";
    return "";
}

VideoOutput::VideoOutput() = default;

VideoOutput::~VideoOutput() {
    state_.reset();
    if (!finished_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
}

bool VideoOutput::Open(const std::string& path, const VideoInput& source, int width, int height,
                       int sourceDepth, const VideoEncoding& encoding, bool copyStreams,
                       std::string& error) {
    return OpenStreams(path, source.Info(), copyStreams ? source.Format() : nullptr, source.Path(),
                       width, height, sourceDepth, encoding, error);
}

bool VideoOutput::Open(const std::string& path, const VideoStreamInfo& stream, int sourceDepth,
                       const VideoEncoding& encoding, std::string& error) {
    return OpenStreams(path, stream, nullptr, "", stream.width, stream.height, sourceDepth,
                       encoding, error);
}

namespace {

// A converter from `from` to the encoder's pixel format and size, with the encoder's colour
// matrix and range for YUV output; null when swscale has none.
SwsContext* MakeConverter(const AVCodecContext* enc, AVPixelFormat from) {
    SwsContext* sws = sws_getContext(enc->width, enc->height, from, enc->width, enc->height,
                                     enc->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (sws && IsYuv(enc->pix_fmt)) {
        const int* coefficients = sws_getCoefficients(enc->colorspace);
        sws_setColorspaceDetails(sws, coefficients, 1, coefficients,
                                 enc->color_range == AVCOL_RANGE_JPEG, 0, 1 << 16, 1 << 16);
    }
    return sws;
}

}  // namespace

bool VideoOutput::OpenStreams(const std::string& path, const VideoStreamInfo& info,
                              const AVFormatContext* in, const std::string& sourcePath, int width,
                              int height, int sourceDepth, const VideoEncoding& encoding,
                              std::string& error) {
    path_ = path;
    target_ = path;
    // A symbolic link at the target is kept; the file it points to is replaced, through a
    // temporary file in its folder.
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec) target_ = resolved.string();
    }
    if (!CheckVideoEncoding(encoding, error)) return false;
    const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!container || container->video_codec == AV_CODEC_ID_NONE ||
        (container->flags & AVFMT_NOFILE)) {
        error = path + ": not a video container this program writes; name one of " +
                VideoContainerChoices();
        return false;
    }
    const AVCodec* codec = avcodec_find_encoder_by_name(FindCodec(encoding.codec)->encoder);
    const std::string ext = std::filesystem::path(path).extension().string();
    if (avformat_query_codec(container, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
        error = path + ": a " + ext + " file cannot hold " + encoding.codec + " video";
        return false;
    }
    // The streams copied: the source's audio and subtitles as chosen, then the audio of
    // the other input when it gives the sound (numbered after the source's streams).
    struct Copied {
        const AVStream* stream;
        unsigned index;
        const std::string* path;
    };
    std::vector<Copied> chosen;
    const unsigned own = in ? in->nb_streams : 0;
    const AVFormatContext* other =
        in && copied_.audio && copied_.audioFrom ? copied_.audioFrom->Format() : nullptr;
    const unsigned copied = own + (other ? other->nb_streams : 0);
    for (unsigned i = 0; i < own; ++i) {
        const AVMediaType type = in->streams[i]->codecpar->codec_type;
        if ((type == AVMEDIA_TYPE_AUDIO && copied_.audio && !other) ||
            (type == AVMEDIA_TYPE_SUBTITLE && copied_.subtitles)) {
            chosen.push_back({in->streams[i], i, &sourcePath});
        }
    }
    for (unsigned i = 0; other && i < other->nb_streams; ++i) {
        if (other->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            chosen.push_back({other->streams[i], own + i, &copied_.audioFrom->Path()});
        }
    }
    for (const Copied& c : chosen) {
        const AVCodecParameters* par = c.stream->codecpar;
        if (avformat_query_codec(container, par->codec_id, FF_COMPLIANCE_NORMAL) != 0) continue;
        // Name only containers that can hold it, and the option that leaves it out.
        std::string can;
        for (const char* name : {"matroska", "mp4", "mov"}) {
            const AVOutputFormat* f = av_guess_format(name, nullptr, nullptr);
            if (f && f != container &&
                avformat_query_codec(f, par->codec_id, FF_COMPLIANCE_NORMAL) == 1) {
                can += std::string(can.empty() ? "" : " or ") + "a ." +
                       (std::string(name) == "matroska" ? "mkv" : name) + " file";
            }
        }
        const bool audio = par->codec_type == AVMEDIA_TYPE_AUDIO;
        error = path + ": a " + ext + " file cannot hold the " + avcodec_get_name(par->codec_id) +
                (audio ? " audio" : " subtitle") + " stream " + std::to_string(c.stream->index) +
                " of " + *c.path + " (" + (can.empty() ? "" : can + " can; ") +
                "or leave it out with " + (audio ? "--audio none" : "--subtitles drop") + ")";
        return false;
    }

    state_ = std::make_unique<State>();
    State& s = *state_;
    const AVPixelFormat pixFmt =
        av_get_pix_fmt(OutputPixelFormat(encoding.codec, sourceDepth).c_str());
    s.deep = sourceDepth > 8;
    s.encoder = avcodec_alloc_context3(codec);
    s.packet = av_packet_alloc();
    if (!s.encoder || !s.packet) {
        error = path + ": not enough memory for the encoder";
        return false;
    }
    AVCodecContext* enc = s.encoder;
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = pixFmt;
    enc->time_base = AVRational{info.timeBaseNum, info.timeBaseDen};
    enc->framerate = AVRational{info.frameRateNum, info.frameRateDen};
    enc->sample_aspect_ratio = AVRational{1, 1};
    enc->thread_count = 0;  // as many as the machine has
    if (IsYuv(pixFmt)) {
        // A colour description of YUV sources is kept; RGB or undescribed ones become BT.709.
        const bool described =
            info.colorSpace != AVCOL_SPC_UNSPECIFIED && info.colorSpace != AVCOL_SPC_RGB;
        enc->colorspace = described ? static_cast<AVColorSpace>(info.colorSpace) : AVCOL_SPC_BT709;
        enc->color_range =
            info.colorRange == AVCOL_RANGE_JPEG && described ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        enc->chroma_sample_location = static_cast<AVChromaLocation>(info.chromaLocation);
    } else {
        enc->colorspace = AVCOL_SPC_RGB;
        enc->color_range = AVCOL_RANGE_JPEG;
    }
    enc->color_primaries = static_cast<AVColorPrimaries>(info.colorPrimaries);
    enc->color_trc = static_cast<AVColorTransferCharacteristic>(info.colorTransfer);
    if (encoding.bitrate > 0) enc->bit_rate = encoding.bitrate;
    if (encoding.crf >= 0) av_opt_set_int(enc->priv_data, "crf", encoding.crf, 0);
    if (encoding.codec == "h265") av_opt_set(enc->priv_data, "x265-params", "log-level=error", 0);
    // libx264's lookahead, run on a thread of its own beside frame threads, lets timing into
    // the macroblock tree's rate control: the same frames gave a different file in about
    // half the runs on a busy machine. In the encoding threads' own turn it gives one file.
    if (encoding.codec == "h264") av_opt_set(enc->priv_data, "x264-params", "sync-lookahead=0", 0);

    // Temporaries a killed run left beside the target go first, as image and scene saves
    // do. A new file starts as the umask allows; one that replaces a file is readable by
    // nobody else until it takes that file's mode when it is finished.
    RemoveStaleTemporaries(target_);
    struct stat existing {};
    const mode_t createMode = ::stat(target_.c_str(), &existing) == 0 ? 0600 : 0666;
    tempPath_ = TemporaryName(target_);
    const int fd =
        ::open(tempPath_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, createMode);
    if (fd < 0) {
        error = SystemError(path, "cannot create a temporary file beside it", errno);
        tempPath_.clear();
        return false;
    }
    ::close(fd);
    int ret = avformat_alloc_output_context2(&s.format, container, nullptr, tempPath_.c_str());
    if (ret < 0) {
        error = path + ": cannot start the " + container->name + " file: " + AvErrorText(ret);
        return false;
    }
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The same input gives the same bytes: no library versions, random identifiers or
    // times written into the file.
    s.format->flags |= AVFMT_FLAG_BITEXACT;
    enc->flags |= AV_CODEC_FLAG_BITEXACT;
    if ((ret = avcodec_open2(enc, codec, nullptr)) < 0) {
        error = path + ": cannot open the " + encoding.codec + " encoder: " + AvErrorText(ret);
        return false;
    }
    s.video = avformat_new_stream(s.format, nullptr);
    if (!s.video || avcodec_parameters_from_context(s.video->codecpar, enc) < 0) {
        error = path + ": cannot add the video stream";
        return false;
    }
    s.video->time_base = enc->time_base;
    s.video->avg_frame_rate = enc->framerate;
    s.video->r_frame_rate = enc->framerate;
    if (info.displayMatrix.size() == 9 * sizeof(int32_t)) {
        if (uint8_t* d = av_stream_new_side_data(s.video, AV_PKT_DATA_DISPLAYMATRIX,
                                                 info.displayMatrix.size())) {
            std::memcpy(d, info.displayMatrix.data(), info.displayMatrix.size());
        }
    }
    s.streamMap.assign(copied, -1);
    s.sourceTimeBase.resize(copied);
    for (const Copied& c : chosen) {
        const AVStream* from = c.stream;
        s.sourceTimeBase[c.index] = from->time_base;
        AVStream* to = avformat_new_stream(s.format, nullptr);
        if (!to || avcodec_parameters_copy(to->codecpar, from->codecpar) < 0) {
            error = path + ": cannot add a copy of stream " + std::to_string(from->index) + " of " +
                    *c.path;
            return false;
        }
        to->codecpar->codec_tag = 0;
        to->time_base = from->time_base;
        to->disposition = from->disposition;
        av_dict_copy(&to->metadata, from->metadata, 0);
        s.streamMap[c.index] = to->index;
    }
    if ((ret = avio_open(&s.format->pb, ("file:" + tempPath_).c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = path + ": cannot write: " + AvErrorText(ret);
        return false;
    }
    if ((ret = avformat_write_header(s.format, nullptr)) < 0) {
        error = path + ": cannot write the file's header: " + AvErrorText(ret);
        return false;
    }
    s.headerWritten = true;
    s.width = width;
    s.height = height;
    s.pixFmt = pixFmt;
    s.colorRange = enc->color_range;
    s.colorSpace = enc->colorspace;
    s.colorPrimaries = enc->color_primaries;
    s.colorTransfer = enc->color_trc;
    // 8-bit output goes through RGB24, rounded to nearest here (swscale would cut, and its
    // conversions from 16-bit RGB to 8-bit YUV are several times slower); deep YUV output is
    // converted from the 16-bit pixels as they are (packed RGB48 frames too), deep RGB
    // output through RGB48.
    s.direct = IsYuv(pixFmt) && s.deep;
    const AVPixelFormat from =
        s.direct ? AV_PIX_FMT_RGBA64 : (s.deep ? AV_PIX_FMT_RGB48 : AV_PIX_FMT_RGB24);
    s.sws = MakeConverter(enc, from);
    if (s.direct) s.swsPacked = MakeConverter(enc, AV_PIX_FMT_RGB48);
    if (!s.sws || (s.direct && !s.swsPacked)) {
        error = path + ": cannot convert RGB to " + av_get_pix_fmt_name(pixFmt);
        return false;
    }
    return true;
}

namespace {

// Sends `frame` (null: drains) and writes the packets the encoder gives back.
bool Encode(AVFormatContext* format, AVCodecContext* enc, AVStream* stream, AVFrame* frame,
            AVPacket* packet, const std::string& path, std::string& error) {
    int ret = avcodec_send_frame(enc, frame);
    if (ret < 0) {
        error = path + ": the encoder refused a frame: " + AvErrorText(ret);
        return false;
    }
    for (;;) {
        ret = avcodec_receive_packet(enc, packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
        if (ret < 0) {
            error = path + ": cannot encode: " + AvErrorText(ret);
            return false;
        }
        av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if ((ret = av_interleaved_write_frame(format, packet)) < 0) {
            error = path + ": cannot write: " + AvErrorText(ret);
            return false;
        }
    }
}

}  // namespace

bool VideoOutput::WriteFrame(const Image16& image, long long pts, std::string& error) {
    return ConvertFrame(image, state_->frame, error) && WriteConverted(*state_->frame, pts, error);
}

bool VideoOutput::ConvertFrame(const Image16& image, FramePtr& frame, std::string& error) {
    State& s = *state_;
    const size_t w = static_cast<size_t>(image.width);
    if (image.width != s.width || image.height != s.height) {
        error = path_ + ": a frame of another size";
        return false;
    }
    const size_t pixels = w * static_cast<size_t>(image.height);
    const bool packed = IsPacked(image);
    const size_t packedBytes = PackedPixelBytes(image.bits);
    if (packed ? image.packed.size() != pixels * packedBytes : image.pixels.size() != pixels) {
        error = path_ + ": a frame without all its pixels";
        return false;
    }
    if (!frame) {
        frame.reset(av_frame_alloc());
        if (frame) {
            frame->format = s.pixFmt;
            frame->width = s.width;
            frame->height = s.height;
        }
        if (!frame || av_frame_get_buffer(frame.get(), 0) < 0) {
            frame.reset();
            error = path_ + ": not enough memory for a frame";
            return false;
        }
    }
    // The encoder has let go of a frame it was sent (it copies the picture); were it still
    // holding one, this would copy rather than write under it.
    if (av_frame_make_writable(frame.get()) < 0) {
        error = path_ + ": not enough memory for a frame";
        return false;
    }
    // Packed frames of the output's depth (RGB24 for 8-bit output, RGB48 for deep) go to a
    // converter as they are; others are widened and take the 16-bit route.
    const size_t outputBytes = PackedPixelBytes(s.deep ? 16 : 8);
    const bool straight = packed && packedBytes == outputBytes;
    const size_t rowBytes = w * (s.direct && !straight ? sizeof(BMM_Color_64) : outputBytes);
    const std::vector<BMM_Color_64>* wide = &image.pixels;
    if (packed && !straight) {
        s.wide.resize(pixels);
        (image.bits == 8 ? WidenRgb24 : WidenRgb48)(image.packed.data(), s.wide.data(), pixels);
        wide = &s.wide;
    }
    if (!s.direct && !straight) PackPixels(*wide, s.deep, s.rgb);
    const uint8_t* planes[4] = {straight   ? image.packed.data()
                                : s.direct ? reinterpret_cast<const uint8_t*>(wide->data())
                                           : s.rgb.data(),
                                nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(rowBytes), 0, 0, 0};
    SwsContext* converter = straight && s.direct ? s.swsPacked : s.sws;
    sws_scale(converter, planes, strides, 0, image.height, frame->data, frame->linesize);
    frame->color_range = s.colorRange;
    frame->colorspace = s.colorSpace;
    frame->color_primaries = s.colorPrimaries;
    frame->color_trc = s.colorTransfer;
    return true;
}

bool VideoOutput::WriteConverted(AVFrame& frame, long long pts, std::string& error) {
    State& s = *state_;
    frame.pts = pts;
    if (!Encode(s.format, s.encoder, s.video, &frame, s.packet, path_, error)) return false;
    ++frames_;
    return true;
}

bool VideoOutput::CopyPacket(AVPacket* packet, std::string& error) {
    State& s = *state_;
    const int from = packet->stream_index;
    if (from < 0 || static_cast<size_t>(from) >= s.streamMap.size() || s.streamMap[from] < 0) {
        av_packet_unref(packet);
        return true;
    }
    AVStream* to = s.format->streams[s.streamMap[from]];
    av_packet_rescale_ts(packet, s.sourceTimeBase[from], to->time_base);
    packet->stream_index = to->index;
    packet->pos = -1;
    const int ret = av_interleaved_write_frame(s.format, packet);
    if (ret < 0) {
        error = path_ + ": cannot write: " + AvErrorText(ret);
        return false;
    }
    return true;
}

bool VideoOutput::Finish(std::string& error) {
    State& s = *state_;
    if (!Encode(s.format, s.encoder, s.video, nullptr, s.packet, path_, error)) return false;
    int ret = av_write_trailer(s.format);
    if (ret < 0 || s.format->pb->error < 0) {
        error = path_ +
                ": cannot complete the file: " + AvErrorText(ret < 0 ? ret : s.format->pb->error);
        return false;
    }
    if ((ret = avio_closep(&s.format->pb)) < 0) {
        error = path_ + ": cannot write: " + AvErrorText(ret);
        return false;
    }
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) ::chmod(tempPath_.c_str(), old.st_mode & 07777);
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        error = SystemError(path_, "cannot rename the finished file to", errno);
        return false;
    }
    finished_ = true;
    return true;
}

}  // namespace loom

#include "tests/video/test_clip.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/core/video/video_input.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/stereo3d.h>
}

namespace videotest {
namespace {

constexpr int kSampleRate = 8000;

void Check(int ret, const char* what) { ASSERT_GE(ret, 0) << what << ": " << ret; }

void Fill(AVFrame* f, const Image16& img, int depth) {
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const BMM_Color_64& p = img.pixels[static_cast<size_t>(y * img.width + x)];
            if (depth == 8) {
                uint8_t* d = f->data[0] + y * f->linesize[0] + 4 * x;
                d[0] = static_cast<uint8_t>(p.b / 257);
                d[1] = static_cast<uint8_t>(p.g / 257);
                d[2] = static_cast<uint8_t>(p.r / 257);
                d[3] = 0;
            } else {
                // gbrp planes: G, B, R.
                auto at = [&](int plane) {
                    return reinterpret_cast<uint16_t*>(f->data[plane] + y * f->linesize[plane]) + x;
                };
                *at(0) = static_cast<uint16_t>(p.g >> 6);
                *at(1) = static_cast<uint16_t>(p.b >> 6);
                *at(2) = static_cast<uint16_t>(p.r >> 6);
            }
        }
    }
}

}  // namespace

void WriteClip(const std::string& path, const std::vector<Image16>& frames, const ClipOptions& o) {
    ASSERT_FALSE(frames.empty());
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* fmt = nullptr;
    Check(avformat_alloc_output_context2(&fmt, nullptr, nullptr, path.c_str()), "container");
    const AVCodec* vc = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    AVCodecContext* venc = avcodec_alloc_context3(vc);
    venc->width = frames[0].width;
    venc->height = frames[0].height;
    venc->pix_fmt = o.depth == 8 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_GBRP10LE;
    venc->time_base = AVRational{o.rateDen, o.rateNum};
    venc->framerate = AVRational{o.rateNum, o.rateDen};
    // Version 3 frames carry slice sizes and checksums, so a damaged frame is noticed.
    venc->level = 3;
    if (o.gop > 0) venc->gop_size = o.gop;
    Check(avcodec_open2(venc, vc, nullptr), "ffv1");
    AVStream* vs = avformat_new_stream(fmt, nullptr);
    Check(avcodec_parameters_from_context(vs->codecpar, venc), "video parameters");
    if (o.bt709) {
        vs->codecpar->color_primaries = AVCOL_PRI_BT709;
        vs->codecpar->color_trc = AVCOL_TRC_BT709;
    }
    if (o.rotation != 0) {
        auto* matrix = reinterpret_cast<int32_t*>(
            av_stream_new_side_data(vs, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
        av_display_rotation_set(matrix, o.rotation);
    }
    vs->time_base = venc->time_base;
    vs->avg_frame_rate = venc->framerate;
    if (o.packing != 0) {
        const size_t size = sizeof(AVStereo3D);
        AVStereo3D* s3d = av_stereo3d_alloc();
        s3d->type = o.packing == 1 ? AV_STEREO3D_SIDEBYSIDE : AV_STEREO3D_TOPBOTTOM;
        s3d->flags = o.packingRightFirst ? AV_STEREO3D_FLAG_INVERT : 0;
        Check(av_stream_add_side_data(vs, AV_PKT_DATA_STEREO3D, reinterpret_cast<uint8_t*>(s3d),
                                      size),
              "side data");
    }
    AVCodecContext* aenc = nullptr;
    AVStream* as = nullptr;
    if (o.audio) {
        const AVCodec* ac = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        aenc = avcodec_alloc_context3(ac);
        aenc->sample_fmt = AV_SAMPLE_FMT_S16;
        aenc->sample_rate = kSampleRate;
        av_channel_layout_default(&aenc->ch_layout, 1);
        aenc->time_base = AVRational{1, kSampleRate};
        Check(avcodec_open2(aenc, ac, nullptr), "pcm");
        as = avformat_new_stream(fmt, nullptr);
        Check(avcodec_parameters_from_context(as->codecpar, aenc), "audio parameters");
        as->time_base = aenc->time_base;
    }
    AVStream* ss = nullptr;
    if (o.subtitles) {
        ss = avformat_new_stream(fmt, nullptr);
        ss->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
        ss->codecpar->codec_id = AV_CODEC_ID_SUBRIP;
        ss->time_base = AVRational{1, 1000};
    }
    Check(avio_open(&fmt->pb, path.c_str(), AVIO_FLAG_WRITE), "open");
    AVDictionary* muxerOptions = nullptr;
    if (!o.movFlags.empty()) av_dict_set(&muxerOptions, "movflags", o.movFlags.c_str(), 0);
    Check(avformat_write_header(fmt, &muxerOptions), "header");
    av_dict_free(&muxerOptions);

    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    const int samplesPerFrame = kSampleRate * o.rateDen / o.rateNum;
    uint32_t noise = 12345;
    auto drain = [&](AVCodecContext* enc, AVStream* st, int& index) {
        while (avcodec_receive_packet(enc, pkt) == 0) {
            av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
            pkt->stream_index = st->index;
            if (st == vs && index++ == o.damagedFrame) {
                // The frame cut to a few bytes of garbage.
                av_shrink_packet(pkt, 6);
                for (int i = 0; i < pkt->size; ++i)
                    pkt->data[i] = static_cast<uint8_t>(i * 37 + 11);
            }
            Check(av_interleaved_write_frame(fmt, pkt), "write");
        }
    };
    int videoIndex = 0, audioIndex = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (o.audio) {
            AVFrame* a = av_frame_alloc();
            a->format = AV_SAMPLE_FMT_S16;
            a->sample_rate = kSampleRate;
            av_channel_layout_default(&a->ch_layout, 1);
            a->nb_samples = samplesPerFrame;
            Check(av_frame_get_buffer(a, 0), "audio frame");
            auto* s = reinterpret_cast<int16_t*>(a->data[0]);
            for (int k = 0; k < samplesPerFrame; ++k) {
                noise = noise * 1664525u + 1013904223u;
                s[k] = static_cast<int16_t>(noise >> 16);
            }
            a->pts = static_cast<long long>(i) * samplesPerFrame;
            Check(avcodec_send_frame(aenc, a), "audio encode");
            av_frame_free(&a);
            drain(aenc, as, audioIndex);
        }
        if (ss) {
            // SubRip packets are the text itself, shown for the frame's duration.
            const std::string line = "line " + std::to_string(i);
            AVPacket* sub = av_packet_alloc();
            Check(av_new_packet(sub, static_cast<int>(line.size())), "subtitle packet");
            std::memcpy(sub->data, line.data(), line.size());
            sub->stream_index = ss->index;
            sub->pts = sub->dts = static_cast<long long>(i) * 1000 * o.rateDen / o.rateNum;
            sub->duration = 1000 * o.rateDen / o.rateNum;
            Check(av_interleaved_write_frame(fmt, sub), "write subtitle");
            av_packet_free(&sub);
        }
        av_frame_unref(frame);
        frame->format = venc->pix_fmt;
        frame->width = venc->width;
        frame->height = venc->height;
        Check(av_frame_get_buffer(frame, 0), "video frame");
        Fill(frame, frames[i], o.depth);
        frame->pts = static_cast<long long>(i);
        Check(avcodec_send_frame(venc, frame), "video encode");
        drain(venc, vs, videoIndex);
    }
    avcodec_send_frame(venc, nullptr);
    drain(venc, vs, videoIndex);
    if (aenc) {
        avcodec_send_frame(aenc, nullptr);
        drain(aenc, as, audioIndex);
    }
    Check(av_write_trailer(fmt), "trailer");
    avio_closep(&fmt->pb);
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&venc);
    avcodec_free_context(&aenc);
    avformat_free_context(fmt);
}

std::vector<Image16> DecodeFrames(const std::string& path, std::vector<long long>* times) {
    loom::VideoInput in;
    std::string err;
    std::vector<Image16> frames;
    if (!in.Open(path, err)) {
        ADD_FAILURE() << err;
        return frames;
    }
    Image16 frame;
    long long pts = 0;
    AVPacket* packet = nullptr;
    for (;;) {
        const auto next = in.Read(frame, pts, packet, err);
        if (next == loom::VideoInput::Next::kFrame) {
            frames.push_back(frame);
            if (times) times->push_back(pts);
        }
        if (next == loom::VideoInput::Next::kError) ADD_FAILURE() << err;
        if (next == loom::VideoInput::Next::kEnd || next == loom::VideoInput::Next::kError) break;
    }
    return frames;
}

StreamPackets ReadPackets(const std::string& path, int type) {
    StreamPackets out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return out;
    }
    avformat_find_stream_info(fmt, nullptr);
    const int index = av_find_best_stream(fmt, static_cast<AVMediaType>(type), -1, -1, nullptr, 0);
    if (index >= 0) {
        out.codec = avcodec_get_name(fmt->streams[index]->codecpar->codec_id);
        AVPacket* pkt = av_packet_alloc();
        while (av_read_frame(fmt, pkt) >= 0) {
            if (pkt->stream_index == index) {
                out.bytes.insert(out.bytes.end(), pkt->data, pkt->data + pkt->size);
                out.pts.push_back(
                    av_rescale_q(pkt->pts, fmt->streams[index]->time_base, AVRational{1, 1000000}));
            }
            av_packet_unref(pkt);
        }
        av_packet_free(&pkt);
    }
    avformat_close_input(&fmt);
    return out;
}

VideoFacts ReadVideoFacts(const std::string& path) {
    VideoFacts facts;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return facts;
    }
    avformat_find_stream_info(fmt, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0) {
        ADD_FAILURE() << path << ": no video";
        avformat_close_input(&fmt);
        return facts;
    }
    const AVCodecParameters* par = fmt->streams[index]->codecpar;
    facts.pixelFormat = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
    facts.width = par->width;
    facts.height = par->height;
    facts.primaries = av_color_primaries_name(par->color_primaries);
    facts.transfer = av_color_transfer_name(par->color_trc);
    size_t size = 0;
    if (const uint8_t* m =
            av_stream_get_side_data(fmt->streams[index], AV_PKT_DATA_DISPLAYMATRIX, &size)) {
        facts.rotation = av_display_rotation_get(reinterpret_cast<const int32_t*>(m));
    }
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, par);
    avcodec_open2(dec, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            ++facts.frames;
            facts.pts.push_back(av_rescale_q(frame->best_effort_timestamp,
                                             fmt->streams[index]->time_base,
                                             AVRational{1, 1000000}));
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == index) avcodec_send_packet(dec, pkt);
        av_packet_unref(pkt);
        receive();
    }
    avcodec_send_packet(dec, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return facts;
}

}  // namespace videotest

#include "app/core/video/layout_probe.h"

#include <memory>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/stereo3d.h>
}

#include "app/core/filter/image16.h"
#include "app/core/stereo/stereo_photo.h"
#include "app/core/video/video_anaglyph.h"
#include "app/core/video/video_input.h"
#include "foundation/host/sdk/file_io.h"

namespace loom {
namespace {

std::string PackingText(const AVStereo3D& s3d) {
    return std::string(av_stereo3d_type_name(s3d.type)) +
           ((s3d.flags & AV_STEREO3D_FLAG_INVERT) ? ", right view first" : ", left view first");
}

std::optional<StereoLayout> LayoutOf(const AVStereo3D& s3d, int width, int height) {
    if (s3d.type != AV_STEREO3D_SIDEBYSIDE && s3d.type != AV_STEREO3D_TOPBOTTOM) {
        return std::nullopt;
    }
    return LayoutFromPacking(s3d.type == AV_STEREO3D_SIDEBYSIDE,
                             (s3d.flags & AV_STEREO3D_FLAG_INVERT) != 0, width, height);
}

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

void ProbeVideo(const std::string& path, LayoutProbe& probe) {
    VideoInput input;
    std::string error;
    if (!input.Open(path, error)) throw std::runtime_error(error);
    const VideoStreamInfo& info = input.Info();
    probe.kind = "video (" + info.codecName + ")";
    probe.width = info.width;
    probe.height = info.height;
    const AVFormatContext* format = input.Format();
    const std::string container = format && format->iformat ? format->iformat->name : "";
    const AVStream* stream = format->streams[input.VideoStreamIndex()];
    std::size_t size = 0;
    if (const uint8_t* d = av_stream_get_side_data(stream, AV_PKT_DATA_STEREO3D, &size);
        d && size >= sizeof(AVStereo3D)) {
        const auto& s3d = *reinterpret_cast<const AVStereo3D*>(d);
        const std::string from =
            container.find("matroska") != std::string::npos ? "Matroska StereoMode"
            : container.find("mp4") != std::string::npos    ? "MP4 stereo box (st3d)"
                                                            : "the stream's stereo 3D data";
        probe.evidence.push_back(from + ": " + PackingText(s3d));
        if (!probe.layout) probe.layout = LayoutOf(s3d, info.width, info.height);
    } else {
        probe.evidence.push_back("no stereo 3D data in the container (" + container + ")");
    }
    if (!probe.layout) {
        std::string text;
        if (auto layout = FramePackingLayout(path, text)) probe.layout = layout;
        probe.evidence.push_back(text);
    }
}

}  // namespace

std::optional<StereoLayout> FramePackingLayout(const std::string& path, std::string& description) {
    description = "no frame-packing message in the first frame";
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return std::nullopt;
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return std::nullopt;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0 || !codec) return std::nullopt;
    std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!decoder || !frame || !packet ||
        avcodec_parameters_to_context(decoder.get(), format->streams[index]->codecpar) < 0) {
        return std::nullopt;
    }
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return std::nullopt;
    // The first decoded frame, within a bounded number of packets.
    for (int packets = 0; packets < 256; ++packets) {
        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            avcodec_send_packet(decoder.get(), nullptr);
        } else if (packet->stream_index != index) {
            av_packet_unref(packet.get());
            continue;
        } else {
            avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
        }
        if (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            const AVFrameSideData* side =
                av_frame_get_side_data(frame.get(), AV_FRAME_DATA_STEREO3D);
            if (!side || side->size < sizeof(AVStereo3D)) return std::nullopt;
            const auto& s3d = *reinterpret_cast<const AVStereo3D*>(side->data);
            description = "frame-packing message of the first frame: " + PackingText(s3d);
            return LayoutOf(s3d, frame->width, frame->height);
        }
        if (read < 0) break;
    }
    return std::nullopt;
}

LayoutProbe ProbeLayout(const std::string& path) {
    LayoutProbe probe;
    if (stereo::IsStereoPhoto(path)) {
        std::vector<std::uint8_t> bytes;
        std::string error;
        if (!ReadRegularFile(path, kMaxImageFileBytes, bytes, error)) {
            throw std::runtime_error(error);
        }
        stereo::ByteRange left, right;
        std::string why;
        if (stereo::FindMpoPictures(bytes.data(), bytes.size(), left, right, why)) {
            probe.kind = "MPO stereo photo";
            probe.twoPictures = true;
            probe.evidence.push_back("multi-picture index: the left view at byte " +
                                     std::to_string(left.offset) + ", the right at byte " +
                                     std::to_string(right.offset));
            return probe;
        }
        probe.kind = "JPS stereo photo";
        const stereo::JpsDescriptor d = stereo::ReadJpsDescriptor(bytes.data(), bytes.size());
        if (d.found) {
            probe.evidence.push_back("JPS descriptor (APP3 _JPSJPS_): " + d.description);
            probe.layout = d.layout;
        } else {
            probe.evidence.push_back(
                "no JPS descriptor: side by side, right view first (the format's default)");
            probe.layout = StereoLayout::kSideBySideRightFirst;
        }
        return probe;
    }
    if (IsVideoFile(path)) {
        ProbeVideo(path, probe);
    } else {
        Image16 image;
        std::string error;
        if (!ReadImage16(path, image, error)) throw std::runtime_error(error);
        probe.kind = "picture";
        probe.width = image.width;
        probe.height = image.height;
    }
    if (!probe.layout) {
        probe.layout = LayoutFromFileName(path, probe.width, probe.height);
        probe.evidence.push_back(probe.layout ? std::string("the file name's marker: ") +
                                                    StereoLayoutName(*probe.layout)
                                              : "no layout marker in the file name");
    }
    return probe;
}

std::string DescribeProbe(const std::string& path, const LayoutProbe& probe) {
    std::string text = path + ": " + probe.kind;
    if (probe.width > 0) {
        text += ", " + std::to_string(probe.width) + "x" + std::to_string(probe.height);
    }
    text += "\n";
    for (const std::string& e : probe.evidence) text += "  " + e + "\n";
    if (probe.twoPictures) {
        text += "layout: two pictures (left, right)\n";
    } else if (probe.layout) {
        text += std::string("layout: ") + StereoLayoutName(*probe.layout) + "\n";
    } else {
        text += "layout: unknown; give --layout (" + StereoLayoutChoices() + ")\n";
    }
    return text;
}

}  // namespace loom

#include "app/core/video/video_anaglyph.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

#include "app/core/filter/filter_run.h"
#include "app/core/stereo/stereo_layout.h"
#include "app/core/video/aligning_reader.h"
#include "app/core/video/layout_probe.h"
#include "app/core/video/video_input.h"
#include "foundation/host/base/text.h"
#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/file_safety.h"

namespace loom {
namespace {

std::string RateText(const VideoStreamInfo& info) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g fps",
                  static_cast<double>(info.frameRateNum) / info.frameRateDen);
    return buf;
}

// Both inputs are read through (demuxed, not decoded) to count their frames.
void CheckSameLength(const VideoInput& left, const VideoInput& right) {
    long long l = 0, r = 0;
    std::string error;
    if (!CountVideoFrames(left.Path(), l, error) || !CountVideoFrames(right.Path(), r, error)) {
        throw std::runtime_error(error);
    }
    if (l != r) {
        throw std::runtime_error("the views differ in length: " + left.Path() + " has " +
                                 std::to_string(l) + " frames, " + right.Path() + " has " +
                                 std::to_string(r));
    }
}

void CheckSamePictures(const VideoInput& left, const VideoInput& right) {
    const VideoStreamInfo &l = left.Info(), &r = right.Info();
    if (l.width != r.width || l.height != r.height) {
        throw std::runtime_error("the views differ in size: " + left.Path() + " is " +
                                 std::to_string(l.width) + "x" + std::to_string(l.height) + ", " +
                                 right.Path() + " is " + std::to_string(r.width) + "x" +
                                 std::to_string(r.height));
    }
    // Rates guessed from time stamps may differ in the last digits.
    const double lRate = static_cast<double>(l.frameRateNum) / l.frameRateDen;
    const double rRate = static_cast<double>(r.frameRateNum) / r.frameRateDen;
    if (std::fabs(lRate - rRate) > 1e-3 * lRate) {
        throw std::runtime_error("the views differ in frame rate: " + left.Path() + " is " +
                                 RateText(l) + ", " + right.Path() + " is " + RateText(r));
    }
    CheckSameLength(left, right);
}

bool HasAudio(const VideoInput& input) {
    const AVFormatContext* f = input.Format();
    for (unsigned i = 0; f && i < f->nb_streams; ++i) {
        if (f->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return true;
    }
    return false;
}

StereoLayout ChooseLayout(const VideoJob& job, const VideoOptions& options,
                          const VideoInput& input) {
    const VideoStreamInfo& info = input.Info();
    if (!options.layout.empty() && options.layout != "auto") {
        if (auto layout = ParseStereoLayout(options.layout)) return *layout;
        throw std::runtime_error("unknown layout '" + options.layout +
                                 "'; the choices: " + StereoLayoutChoices());
    }
    if (job.sideBySide) return StereoLayout::kSideBySideLeftFirst;
    if (info.packedLayout) return *info.packedLayout;
    std::string packing;
    if (auto layout = FramePackingLayout(job.left, packing)) return *layout;
    if (auto layout = LayoutFromFileName(job.left, info.width, info.height)) return *layout;
    throw std::runtime_error(job.left +
                             ": how the frames hold both views is not known; give --layout "
                             "with one of: " +
                             StereoLayoutChoices());
}

long long ParseBitrate(const std::string& text) {
    if (text.empty()) return 0;
    size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    const std::string unit = Lower(text.substr(used));
    const double scale = unit.empty() ? 1 : unit == "k" ? 1e3 : unit == "m" ? 1e6 : 0;
    if (used == 0 || scale == 0 || !(value > 0) || value * scale > 1e11) {
        throw std::runtime_error("--bitrate takes bits per second, such as 8000000 or 8M, not '" +
                                 text + "'");
    }
    return static_cast<long long>(value * scale);
}

PacketPtr TakePacket(AVPacket* from) {
    PacketPtr p(av_packet_alloc());
    if (!p) throw std::bad_alloc();
    av_packet_move_ref(p.get(), from);
    return p;
}

// Reads one input that holds both views.
class PackedReader {
  public:
    PackedReader(VideoInput& input, StereoLayout layout, bool skip)
        : input_(input), layout_(layout), skip_(skip) {}
    int operator()(VideoItem& item, std::string& error) {
        for (;;) {
            AVPacket* packet = nullptr;
            switch (input_.ReadViews(layout_, item.left, item.right, item.pts, packet, error)) {
                case VideoInput::Next::kFrame:
                    return 1;
                case VideoInput::Next::kPacket:
                    item.packet = TakePacket(packet);
                    return 1;
                case VideoInput::Next::kEnd:
                    return 0;
                case VideoInput::Next::kError:
                    if (!skip_) return -1;
                    std::fprintf(stderr, "\nloomhost: warning: %s; skipped\n", error.c_str());
                    break;
            }
        }
    }

  private:
    VideoInput& input_;
    StereoLayout layout_;
    bool skip_;
};

// Reads a left and a right input, pairing their frames by time stamp (relative to each
// input's first frame), so that a frame lost in one input drops its partner in the other.
class PairReader {
  public:
    PairReader(VideoInput& left, VideoInput& right, bool skip)
        : left_(left), right_(right), skip_(skip) {
        const VideoStreamInfo& l = left.Info();
        // One frame in the left's time base, at least one tick.
        const long long ticks = av_rescale_q(1, AVRational{l.frameRateDen, l.frameRateNum},
                                             AVRational{l.timeBaseNum, l.timeBaseDen});
        halfFrame_ = std::max(1LL, ticks) / 2;
    }
    /// The right view's time stamps less `offset` (in the left's time base) pair with the
    /// left's: set when reading starts part way, so that the pairing is the whole file's.
    void StartWithOffset(long long offset) {
        offset_ = offset;
        first_ = false;
    }
    /// The right input's packets are handed out too (its sound is copied).
    void CopyRightPackets() { rightSound_ = true; }
    int operator()(VideoItem& item, std::string& error) {
        for (;;) {
            if (!haveLeft_) {
                AVPacket* packet = nullptr;
                switch (left_.Read(left_frame_, leftPts_, packet, error)) {
                    case VideoInput::Next::kFrame:
                        haveLeft_ = true;
                        break;
                    case VideoInput::Next::kPacket:
                        item.packet = TakePacket(packet);
                        return 1;
                    case VideoInput::Next::kEnd:
                        return 0;
                    case VideoInput::Next::kError:
                        if (!Skip(error)) return -1;
                        continue;
                }
            }
            if (!haveRight_) {
                AVPacket* packet = nullptr;
                switch (right_.Read(right_frame_, rightPts_, packet, error)) {
                    case VideoInput::Next::kFrame:
                        haveRight_ = true;
                        rightPts_ = av_rescale_q(
                            rightPts_,
                            AVRational{right_.Info().timeBaseNum, right_.Info().timeBaseDen},
                            AVRational{left_.Info().timeBaseNum, left_.Info().timeBaseDen});
                        break;
                    case VideoInput::Next::kPacket:
                        // The right input's sound, when it gives it, numbered after the
                        // left input's streams (VideoOutput::CopiedStreams); its other
                        // streams are not copied.
                        if (rightSound_) {
                            item.packet = TakePacket(packet);
                            item.packet->stream_index +=
                                static_cast<int>(left_.Format()->nb_streams);
                            return 1;
                        }
                        continue;
                    case VideoInput::Next::kEnd:
                        return 0;
                    case VideoInput::Next::kError:
                        if (!Skip(error)) return -1;
                        continue;
                }
            }
            if (first_) {
                offset_ = rightPts_ - leftPts_;
                first_ = false;
            }
            const long long gap = rightPts_ - offset_ - leftPts_;
            if (gap < -halfFrame_) {
                haveRight_ = false;  // the right view's partner was lost
                continue;
            }
            if (gap > halfFrame_) {
                haveLeft_ = false;
                continue;
            }
            // The views wait in the reader's own frames until paired: an item handed out
            // in between carries a packet, and its frames go back to be filled again.
            std::swap(item.left, left_frame_);
            std::swap(item.right, right_frame_);
            item.pts = leftPts_;
            haveLeft_ = haveRight_ = false;
            return 1;
        }
    }

  private:
    bool Skip(const std::string& error) {
        if (!skip_) return false;
        std::fprintf(stderr, "\nloomhost: warning: %s; skipped\n", error.c_str());
        return true;
    }
    VideoInput &left_, &right_;
    bool skip_;
    Image16 left_frame_, right_frame_;
    long long leftPts_ = 0, rightPts_ = 0, offset_ = 0, halfFrame_ = 0;
    bool haveLeft_ = false, haveRight_ = false, first_ = true, rightSound_ = false;
};

/// The layout of a job's single input, or side by side for two inputs (then unused).
StereoLayout JobLayout(const VideoJob& job, const VideoOptions& options, const VideoInput& left) {
    return job.right.empty() ? ChooseLayout(job, options, left)
                             : StereoLayout::kSideBySideLeftFirst;
}

// The first pass of an adjusted run: the whole of the inputs read from demuxers of their
// own, every frame's views handed to the analysis.
ClipAdjustment AnalyseClip(const VideoJob& job, StereoLayout layout, bool skip,
                           const stereo::AdjustOptions& adjust,
                           const std::atomic<bool>* interrupt) {
    VideoInput left, right;
    std::string error;
    const bool pair = !job.right.empty();
    if (!left.Open(job.left, error) || (pair && !right.Open(job.right, error))) {
        throw std::runtime_error(error);
    }
    left.SetPackedFrames(true);
    right.SetPackedFrames(true);
    PackedReader packed(left, layout, skip);
    PairReader paired(left, right, skip);
    ClipAnalysis analysis(adjust, left.Info().timeBaseNum, left.Info().timeBaseDen);
    VideoItem item;
    for (;;) {
        if (interrupt && interrupt->load())
            throw std::runtime_error("interrupted; nothing written");
        const int got = pair ? paired(item, error) : packed(item, error);
        if (got < 0) throw std::runtime_error(error);
        if (got == 0) break;
        if (item.packet) {
            item.packet.reset();
            continue;
        }
        analysis.Add(item.left, item.right, item.pts);
    }
    return analysis.Finish();
}

}  // namespace

ClipAdjustment AnalyseVideoAlignment(const VideoJob& job, const VideoOptions& options,
                                     const stereo::AdjustOptions& adjust,
                                     const std::atomic<bool>* interrupt) {
    av_log_set_level(AV_LOG_FATAL);
    if (job.sideBySide && !job.right.empty()) {
        throw std::runtime_error("--sbs takes one side-by-side video, not two");
    }
    if (!job.right.empty() && !options.layout.empty()) {
        throw std::runtime_error("--layout applies to one video holding both views");
    }
    VideoInput probe;
    std::string error;
    if (!probe.Open(job.left, error)) throw std::runtime_error(error);
    const StereoLayout layout = JobLayout(job, options, probe);
    return AnalyseClip(job, layout, options.ContinuesOnError(), adjust, interrupt);
}

void VideoOptions::AddOptions(CLI::App& cmd) {
    cmd.add_option("--layout", layout,
                   "How a video's frames hold both views: " + StereoLayoutChoices() +
                       " or auto (the default: from the file's stereo data or its name)");
    cmd.add_option("--codec", encoding.codec, "Video codec: h264, h265, ffv1, prores or png")
        ->capture_default_str();
    cmd.add_option("--crf", encoding.crf, "Constant rate factor of h264 and h265 (0..51)");
    cmd.add_option("--bitrate", bitrateText, "Video bits per second (such as 8M)");
    cmd.add_option("--on-error", onError,
                   "A damaged or cut short video: stop (exit non-zero, nothing written) or "
                   "continue (skip what cannot be decoded, write the rest and warn with the "
                   "counts; 'skip' is the same); for folders and sequences of pairs, a pair that "
                   "fails is named and the rest go on")
        ->capture_default_str();
    cmd.add_option("--audio", audio,
                   "Video: the sound copied: left (the left or only input's), right (the "
                   "right input's, for two files) or none")
        ->capture_default_str();
    cmd.add_option("--subtitles", subtitles, "Video: the input's subtitles: copy or drop")
        ->capture_default_str();
    cmd.add_flag("--keep-partial", keepPartial,
                 "Interrupted video: keep a playable file of the frames done");
}

bool IsVideoFile(const std::string& path) {
    static const char* const kExtensions[] = {".mp4", ".mkv", ".mov",  ".avi", ".webm", ".m4v",
                                              ".ts",  ".mts", ".m2ts", ".nut", ".mpg",  ".mpeg",
                                              ".wmv", ".flv", ".3gp",  ".ogv", ".y4m"};
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    return std::find_if(std::begin(kExtensions), std::end(kExtensions),
                        [&](const char* e) { return ext == e; }) != std::end(kExtensions);
}

ComposeFrame ComposeWithFilter(ImageFilter& filter, const std::atomic<bool>* abort) {
    // The window and the two host bitmaps live as long as the function and are made on the
    // composing thread at its first call (the filter's messages go to that thread); the
    // bitmaps are made again only when the frame size or the pixels' storage changes.
    struct State {
        std::unique_ptr<FilterProgressWindow> window;
        std::unique_ptr<Bitmap, void (*)(Bitmap*)> source{nullptr, [](Bitmap* b) {
                                                              if (b) b->DeleteThis();
                                                          }};
        std::unique_ptr<Bitmap, void (*)(Bitmap*)> foreground{nullptr, [](Bitmap* b) {
                                                                  if (b) b->DeleteThis();
                                                              }};
        int width = 0, height = 0;
        PixelStorage storage = PixelStorage::kRgba64;
    };
    auto state = std::make_shared<State>();
    return [&filter, abort, state](Image16& left, Image16& right, Image16& composed,
                                   std::string& error) {
        State& s = *state;
        if (!s.window) s.window = std::make_unique<FilterProgressWindow>("anaglyph", abort, false);
        // Packed frames stay packed in packed bitmaps: the filter reads and writes them
        // through the host's conversions, line by line.
        if (IsPacked(left) != IsPacked(right) || (IsPacked(left) && left.bits != right.bits)) {
            Unpack(left);
            Unpack(right);
        }
        const bool packed = IsPacked(left);
        const PixelStorage storage = !packed          ? PixelStorage::kRgba64
                                     : left.bits == 8 ? PixelStorage::kPackedRgb24
                                                      : PixelStorage::kPackedRgb48;
        const size_t pixels = static_cast<size_t>(left.width) * static_cast<size_t>(left.height);
        const auto holds = [&](const Image16& view) {
            return packed ? view.packed.size() == pixels * PackedPixelBytes(view.bits)
                          : view.pixels.size() == pixels;
        };
        if (right.width != left.width || right.height != left.height || !holds(left) ||
            !holds(right)) {
            error = "the views differ in size";
            return false;
        }
        if (!s.source || s.width != left.width || s.height != left.height || s.storage != storage) {
            BitmapInfo bi;
            bi.SetWidth(left.width);
            bi.SetHeight(left.height);
            bi.SetType(BMM_TRUE_64);
            bi.SetStorage(storage);
            s.source.reset(TheManager->Create(&bi));
            s.foreground.reset(TheManager->Create(&bi));
            s.width = left.width;
            s.height = left.height;
            s.storage = storage;
            if (!s.source || !s.foreground) {
                s.source.reset();
                error = "not enough memory for the frames";
                return false;
            }
        }
        // The views' pixels become the bitmaps' (buffers of the same size trade places, no
        // copy), and the source bitmap's become the result.
        const auto trade = [packed](Bitmap& bitmap, Image16& image) {
            if (packed) {
                bitmap.Packed().swap(image.packed);
            } else {
                bitmap.Pixels().swap(image.pixels);
            }
        };
        trade(*s.source, left);
        trade(*s.foreground, right);
        ImageFilterInfo info;
        info.name = "anaglyph";
        info.width = left.width;
        info.height = left.height;
        filter.SetSource(s.source.get());
        filter.SetForeground(s.foreground.get());
        filter.SetMask(nullptr);
        filter.SetFilterInfo(&info);
        const BOOL ok = filter.Render(s.window->Handle());
        filter.SetSource(nullptr);
        filter.SetForeground(nullptr);
        filter.SetFilterInfo(nullptr);
        trade(*s.foreground, right);
        if (ok) {
            // The result takes the form of the views; any of the other form goes.
            if (packed) {
                composed.pixels.clear();
            } else {
                composed.packed.clear();
            }
            trade(*s.source, composed);
        }
        trade(*s.source, left);  // the bitmap takes back a buffer of its size
        if (!ok) {
            error = abort && abort->load() ? "interrupted" : "the filter failed";
            return false;
        }
        composed.width = left.width;
        composed.height = left.height;
        composed.bits = std::max(left.bits, right.bits);
        composed.hasAlpha = left.hasAlpha || right.hasAlpha;
        return true;
    };
}

ComposeFrame AnaglyphFrameComposition(const stereo::AnaglyphSettings& settings,
                                      ImageFilter* greyFilter, const std::atomic<bool>* abort) {
    if (settings.method == stereo::AnaglyphMethod::kGrey && !settings.matrix && greyFilter) {
        ComposeFrame grey = ComposeWithFilter(*greyFilter, abort);
        if (!settings.greyForGlasses) return grey;
        return
            [grey, settings](Image16& left, Image16& right, Image16& composed, std::string& error) {
                if (!grey(left, right, composed, error)) return false;
                stereo::FillGlassesPrimaries(settings.glasses, settings.eyes, composed);
                return true;
            };
    }
    if (stereo::ComposesColourFrames(settings)) {
        return [settings](Image16& left, Image16& right, Image16& composed, std::string& error) {
            return stereo::ComposeColourFrame(settings, left, right, composed, error);
        };
    }
    // The progress window is made on the composing thread, at its first frame.
    auto window = std::make_shared<std::unique_ptr<FilterProgressWindow>>();
    return [settings, greyFilter, window, abort](Image16& left, Image16& right, Image16& composed,
                                                 std::string& error) {
        if (!*window) *window = std::make_unique<FilterProgressWindow>("anaglyph", abort, false);
        Unpack(left);
        Unpack(right);
        return stereo::ComposePair(settings, greyFilter, left, right, **window, abort, composed,
                                   error) == FilterOutcome::kDone;
    };
}

bool VideoOptions::ContinuesOnError() const {
    if (onError != "stop" && onError != "continue" && onError != "skip") {
        throw std::runtime_error("--on-error takes stop, continue or skip, not '" + onError + "'");
    }
    return onError != "stop";
}

void RunVideoAnaglyph(const VideoJob& job, const VideoOptions& options, const ComposeFrame& compose,
                      const std::atomic<bool>* interrupt) {
    av_log_set_level(AV_LOG_FATAL);  // errors reach the user in this program's words
    if (job.output.empty()) throw std::runtime_error("-o OUT is required");
    if (!IsVideoFile(job.output)) {
        throw std::runtime_error(job.output + ": a video is written as a video file; name one of " +
                                 VideoContainerChoices());
    }
    const bool skip = options.ContinuesOnError();
    if (job.sideBySide && !job.right.empty()) {
        throw std::runtime_error("--sbs takes one side-by-side video, not two");
    }
    VideoEncoding encoding = options.encoding;
    encoding.bitrate = ParseBitrate(options.bitrateText);
    std::string error;
    if (!CheckVideoEncoding(encoding, error)) throw std::runtime_error(error);
    if (!CheckOutputFile(job.output, SaveOptions{job.force, nullptr}, error) ||
        !CheckOutputIsNoInput(job.output, {job.left, job.right}, error)) {
        throw std::runtime_error(error);
    }

    VideoInput left, right;
    if (!left.Open(job.left, error)) throw std::runtime_error(error);
    const bool pair = !job.right.empty();
    int viewWidth = left.Info().width, viewHeight = left.Info().height;
    int depth = left.Info().sourceDepth;
    StereoLayout layout = StereoLayout::kSideBySideLeftFirst;
    if (pair) {
        if (!options.layout.empty()) {
            throw std::runtime_error("--layout applies to one video holding both views");
        }
        if (!right.Open(job.right, error)) throw std::runtime_error(error);
        CheckSamePictures(left, right);
        depth = std::max(depth, right.Info().sourceDepth);
    } else {
        layout = ChooseLayout(job, options, left);
        if (!ViewSize(layout, left.Info().width, left.Info().height, viewWidth, viewHeight,
                      error)) {
            throw std::runtime_error(job.left + ": " + error);
        }
    }

    long long total = left.Info().frames;
    // The frames the inputs declare: fewer decoded means they were cut short or damaged.
    long long declared = left.Info().framesDeclared ? left.Info().frames : -1;
    if (pair && declared >= 0) {
        declared = right.Info().framesDeclared ? std::min(declared, right.Info().frames) : -1;
    }
    std::optional<std::pair<long long, long long>> span;
    if (job.part) {
        if (!left.IndexFrames(error) || (pair && !right.IndexFrames(error))) {
            throw std::runtime_error(error);
        }
        span = job.part(left.IndexedFrames());
        if (!span) return;
        if (!left.Restrict(span->first, span->second, error) ||
            (pair && !right.Restrict(span->first, span->second, error))) {
            throw std::runtime_error(error);
        }
        total = span->second - span->first + 1;
        declared = total;
    }

    VideoOutput output;
    VideoOutput::CopiedStreams streams;
    if (options.audio != "left" && options.audio != "right" && options.audio != "none") {
        throw std::runtime_error("--audio takes left, right or none, not '" + options.audio + "'");
    }
    if (options.subtitles != "copy" && options.subtitles != "drop") {
        throw std::runtime_error("--subtitles takes copy or drop, not '" + options.subtitles + "'");
    }
    streams.audio = options.audio != "none";
    streams.subtitles = options.subtitles == "copy";
    if (options.audio == "right") {
        if (!pair) throw std::runtime_error("--audio right takes two video files");
        streams.audioFrom = &right;
    } else if (pair && options.audio == "left" && !HasAudio(left) && HasAudio(right)) {
        std::fprintf(stderr,
                     "anaglyph: warning: %s has no sound and %s has; --audio right copies it\n",
                     job.left.c_str(), job.right.c_str());
    }
    output.SetCopiedStreams(streams);
    // Frames travel packed from decoder to encoder: 3 or 6 bytes a pixel to move, not 8.
    left.SetPackedFrames(true);
    right.SetPackedFrames(true);
    PackedReader packed(left, layout, skip);
    PairReader paired(left, right, skip);
    if (streams.audioFrom && !span) paired.CopyRightPackets();
    const AVRational leftTb{left.Info().timeBaseNum, left.Info().timeBaseDen};
    if (span && pair && left.FramePts(0) && right.FramePts(0)) {
        const AVRational rightTb{right.Info().timeBaseNum, right.Info().timeBaseDen};
        paired.StartWithOffset(av_rescale_q(*right.FramePts(0), rightTb, leftTb) -
                               *left.FramePts(0));
    }
    VideoPipelineStages stages;
    if (pair) {
        stages.read = [&](VideoItem& item, std::string& e) { return paired(item, e); };
    } else {
        stages.read = [&](VideoItem& item, std::string& e) { return packed(item, e); };
    }
    // Adjusted: the whole clip in one pass, its shots estimated as they come; a part reads
    // the whole clip first, so that every part is corrected and cut as the whole is.
    std::optional<ClipAdjustment> clip;
    std::optional<AligningReader> aligning;
    if (job.adjust && span) {
        clip = AnalyseClip(job, layout, skip, *job.adjust, interrupt);
        if (job.adjusted) job.adjusted(*clip);
        viewWidth = clip->crop.width;
        viewHeight = clip->crop.height;
        if (clip->ChangesFrames()) {
            // The views are adjusted on the decoding thread, beside the composition.
            stages.read = [&clip, read = stages.read](VideoItem& item, std::string& e) {
                const int got = read(item, e);
                if (got != 1 || item.packet) return got;
                try {
                    AdjustFrame(*clip, item.pts, item.left, item.right);
                } catch (const std::exception& ex) {
                    e = std::string("adjusting a frame: ") + ex.what();
                    return -1;
                }
                return 1;
            };
        }
    } else if (job.adjust) {
        aligning.emplace(stages.read, *job.adjust, left.Info().timeBaseNum,
                         left.Info().timeBaseDen);
        aligning->Prime(interrupt);
        viewWidth = aligning->Clip().crop.width;
        viewHeight = aligning->Clip().crop.height;
        stages.read = [&aligning](VideoItem& item, std::string& e) { return (*aligning)(item, e); };
    }
    // A part carries no sound: an audio packet cannot be cut where the part ends, so the
    // parts' sound would not join up; the whole's is added when they are joined.
    int outWidth = viewWidth, outHeight = viewHeight;
    stereo::ArrangedSize(options.arrange, viewWidth, viewHeight, outWidth, outHeight);
    if (!output.Open(job.output, left, outWidth, outHeight, depth, encoding, !span, error)) {
        throw std::runtime_error(error);
    }
    // A part starts where the whole would: its times less those of the frames before it,
    // so that each part plays alone and parts joined one after another run on evenly.
    long long shift = 0;
    if (span && left.FramePts(span->first) && left.FramePts(0)) {
        shift = *left.FramePts(span->first) - *left.FramePts(0);
    }
    stages.compose = compose;
    stages.prepare = [&](VideoItem& item, std::string& e) {
        return output.ConvertFrame(item.composed, item.encoded, e);
    };
    stages.write = [&](VideoItem& item, std::string& e) {
        return item.packet ? output.CopyPacket(item.packet.get(), e)
                           : output.WriteConverted(*item.encoded, item.pts - shift, e);
    };
    const VideoPipelineOutcome outcome = RunVideoPipeline(stages, total, interrupt, "anaglyph");
    switch (outcome.kind) {
        case VideoPipelineOutcome::Kind::kFailed:
            throw std::runtime_error(outcome.error);
        case VideoPipelineOutcome::Kind::kInterrupted:
            if (options.keepPartial && output.Finish(error)) {
                throw std::runtime_error("interrupted; the " + std::to_string(outcome.frames) +
                                         " frames done are kept in " + job.output);
            }
            throw std::runtime_error("interrupted; nothing written");
        case VideoPipelineOutcome::Kind::kDone:
            break;
    }
    if (outcome.frames == 0) {
        // A file of no frames is no video: refused whatever --on-error says.
        throw std::runtime_error((pair ? job.left + " and " + job.right : job.left) +
                                 ": no frame could be decoded (cut short or damaged); nothing "
                                 "written");
    }
    if (declared >= 0 && outcome.frames < declared) {
        const std::string inputs = pair ? job.left + " and " + job.right : job.left;
        const std::string counts = std::to_string(outcome.frames) + " of the " +
                                   std::to_string(declared) + " frames " +
                                   (pair ? "they declare" : "it declares");
        if (!skip) {
            throw std::runtime_error(inputs + ": cut short or damaged: only " + counts +
                                     " could be decoded; nothing written (--on-error "
                                     "continue writes the frames decoded)");
        }
        std::fprintf(stderr, "\nloomhost: warning: %s: cut short or damaged: %s written to %s\n",
                     inputs.c_str(), counts.c_str(), job.output.c_str());
    }
    if (!output.Finish(error)) throw std::runtime_error(error);
    if (aligning && job.adjusted) job.adjusted(aligning->Clip());
}

}  // namespace loom

#include "app/frei0r/anaglyph_effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "app/core/filter/stereo_settings.h"
#include "app/core/loader/process_plugins.h"
#include "app/core/model/rand_stream.h"
#include "app/core/stereo/compose_pair.h"
#include "app/core/stereo/stereo_layout.h"
#include "app/core/video/video_anaglyph.h"
#include "app/frei0r/frei0r_log.h"
#include "foundation/host/sdk/packed_pixels.h"

namespace loom::frei0r {
namespace {

constexpr int kMaxSide = 32768;

/// Both forms compose a frame in bands of this many lines: a band's views and result (0.4 MiB
/// at 1920 pixels a line) stay in the second-level cache from repacking to composition to
/// repacking again, where a 1080p frame's would pass through memory each time. Every method
/// composes each pixel on its own, so bands give the whole frame's bits. 24 divides 480,
/// 576, 720 and 1080: such frames need no composition of a shorter last band.
constexpr int kBandLines = 24;

enum Param { kMethod, kGlasses, kLeftEye, kRightEye, kLeftComp, kRightComp, kParamCount };

const char* const kMethodNames[] = {"grey", "half-colour", "colour", "dubois"};
const char* const kGlassesNames[] = {"none", "red-cyan", "green-magenta", "amber-blue"};
const char* const kEyeNames[] = {"red", "green", "blue"};

const f0r_param_info_t kParams[kParamCount] = {
    {"Method", F0R_PARAM_STRING,
     "grey (the stereo filter: one channel per eye, crosstalk compensation), half-colour, "
     "colour or dubois"},
    {"Glasses", F0R_PARAM_STRING,
     "none, red-cyan, green-magenta or amber-blue; none: the eyes below (the colour methods "
     "then use red-cyan)"},
    {"Left eye", F0R_PARAM_STRING, "red, green or blue: the grey method's left channel"},
    {"Right eye", F0R_PARAM_STRING, "red, green or blue: the grey method's right channel"},
    {"Left compensation", F0R_PARAM_DOUBLE,
     "0..1 spread over -0.5..0 (default 0.8: -0.1), the grey method's crosstalk compensation"},
    {"Right compensation", F0R_PARAM_DOUBLE,
     "0..1 spread over -0.5..0 (default 0.8: -0.1), the grey method's crosstalk compensation"},
};

const char* Name(AnaglyphForm form) {
    return form == AnaglyphForm::kMixer ? "loomwork_anaglyph" : "loomwork_anaglyph_sbs";
}

struct Instance {
    AnaglyphForm form;
    int width = 0, height = 0;
    std::mutex mutex;
    int method = 0, glasses = 0, leftEye = 0, rightEye = 1;
    double leftComp = 0.8, rightComp = 0.8;  // as frei0r holds them
    /// The grey method's filter and the compositions (of whole bands, and of the last,
    /// shorter one: each keeps bitmaps of its size), made again when a setting changes or
    /// the calling thread does (a composition's window lives on one thread).
    std::unique_ptr<ImageFilter> filter;
    ComposeFrame compose[2];
    std::thread::id composeThread;
    bool stale = true;
    Image16 frame, left, right, result;  // kept from frame to frame
    PackedRgb line;                      // a 16-bit result's line packed
};

float Compensation(double d) { return static_cast<float>(-0.5 + 0.5 * std::clamp(d, 0.0, 1.0)); }

stereo::AnaglyphSettings SettingsOf(const Instance& in) {
    std::optional<stereo::Glasses> glasses;
    if (in.glasses > 0) glasses = static_cast<stereo::Glasses>(in.glasses - 1);
    return stereo::AnaglyphSettingsFor(static_cast<stereo::AnaglyphMethod>(in.method), glasses,
                                       in.leftEye, in.rightEye, Compensation(in.leftComp),
                                       Compensation(in.rightComp));
}

/// An RGBA8888 frame as packed 8-bit RGB (alpha dropped).
void FromFrame(const std::uint32_t* rgba, int width, int height, Image16& image) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    image.width = width;
    image.height = height;
    image.bits = 8;
    image.hasAlpha = false;
    image.pixels.clear();
    image.packed.resize(count * 3);
    PackRgb24FromRgba32(reinterpret_cast<const std::uint8_t*>(rgba), image.packed.data(), count);
}

/// A composed picture into an opaque RGBA8888 frame of `width` columns (a narrower
/// picture's last column repeats). 16-bit pictures are packed to 8 bits a line at a time
/// through `line`, as loomhost's 8-bit output packs them.
void ToFrame(const Image16& image, int width, PackedRgb& line, std::uint32_t* out) {
    auto* to = reinterpret_cast<std::uint8_t*>(out);
    const auto w = static_cast<size_t>(image.width);
    const bool packed = IsPacked(image);
    if (packed && image.width == width) {
        WidenRgb24ToRgba32(image.packed.data(), to, w * static_cast<size_t>(image.height));
        return;
    }
    if (!packed) line.resize(w * 3);
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        const std::uint8_t* row = nullptr;
        if (packed) {
            row = &image.packed[y * w * 3];
        } else {
            PackRgb24(&image.pixels[y * w], line.data(), w);
            row = line.data();
        }
        const size_t shared = std::min(w, static_cast<size_t>(width));
        WidenRgb24ToRgba32(row, to, shared);
        to += shared * 4;
        for (size_t x = shared; x < static_cast<size_t>(width); ++x, to += 4) {
            WidenRgb24ToRgba32(row + (w - 1) * 3, to, 1);
        }
    }
}

/// Composes in.left and in.right into in.result as loomhost composes video frames, through
/// composition `slot` (0 or 1); throws std::runtime_error.
void Compose(Instance& in, int slot) {
    std::string error;
    if (in.stale || !in.compose[slot] || in.composeThread != std::this_thread::get_id()) {
        const stereo::AnaglyphSettings settings = SettingsOf(in);
        const bool grey = settings.method == stereo::AnaglyphMethod::kGrey;
        if (grey && !PluginsNearCore(Name(in.form), error)) throw std::runtime_error(error);
        std::lock_guard<std::recursive_mutex> model(ModelLock());
        if (in.stale || in.composeThread != std::this_thread::get_id()) {
            in.compose[0] = in.compose[1] = nullptr;  // they hold the filter
            in.filter.reset();
            if (grey) {
                RandStream stream;  // the filter is made as a new process makes it
                RandStream::Use use(stream);
                in.filter = stereo::MakeStereoFilter(stereo::StereoFilterClass(ProcessPlugins()),
                                                     settings.eyes);
            }
        }
        in.compose[slot] = AnaglyphFrameComposition(settings, in.filter.get(), nullptr);
        in.composeThread = std::this_thread::get_id();
        in.stale = false;
    }
    if (!in.compose[slot](in.left, in.right, in.result, error)) throw std::runtime_error(error);
}

/// Index of `text` among `names`, or -1.
template <size_t N>
int Find(const char* const (&names)[N], const char* text) {
    for (size_t i = 0; i < N; ++i) {
        if (text && std::strcmp(names[i], text) == 0) return static_cast<int>(i);
    }
    return -1;
}

template <size_t N>
std::string Choices(const char* const (&names)[N]) {
    std::string s;
    for (const char* n : names) s += (s.empty() ? "" : ", ") + std::string(n);
    return s;
}

bool BadIndex(const Instance& in, int index) {
    if (index >= 0 && index < kParamCount) return false;
    Log(Name(in.form), "no parameter " + std::to_string(index) + " (there are " +
                           std::to_string(kParamCount) + ")");
    return true;
}

}  // namespace

int AnaglyphInit(AnaglyphForm) noexcept { return 1; }

void AnaglyphInfo(AnaglyphForm form, f0r_plugin_info_t* info) noexcept {
    if (!info) return;
    info->name = Name(form);
    info->author = "Loomwork";
    info->plugin_type =
        form == AnaglyphForm::kMixer ? F0R_PLUGIN_TYPE_MIXER2 : F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = kParamCount;
    info->explanation =
        form == AnaglyphForm::kMixer
            ? "An anaglyph of a stereo pair: the first input is the left view, the second the "
              "right, composed as loomhost anaglyph composes them"
            : "An anaglyph of half-width side-by-side frames (the left view on the left), each "
              "half widened to the full width, composed as loomhost anaglyph composes them";
}

void AnaglyphParamInfo(f0r_param_info_t* info, int index) noexcept {
    if (!info || index < 0 || index >= kParamCount) return;
    *info = kParams[index];
}

f0r_instance_t AnaglyphConstruct(AnaglyphForm form, unsigned width, unsigned height) noexcept {
    const unsigned minWidth = form == AnaglyphForm::kSideBySide ? 2 : 1;
    if (width < minWidth || height < 1 || width > kMaxSide || height > kMaxSide) {
        Log(Name(form), "frame size " + std::to_string(width) + "x" + std::to_string(height) +
                            " is not one this effect composes");
        return nullptr;
    }
    try {
        auto* in = new Instance;
        in->form = form;
        in->width = static_cast<int>(width);
        in->height = static_cast<int>(height);
        return in;
    } catch (const std::exception& e) {
        Log(Name(form), e.what());
        return nullptr;
    }
}

void AnaglyphDestruct(f0r_instance_t instance) noexcept {
    if (!instance) return;
    auto* in = static_cast<Instance*>(instance);
    std::lock_guard<std::recursive_mutex> model(ModelLock());
    delete in;
}

void AnaglyphSetParam(f0r_instance_t instance, f0r_param_t param, int index) noexcept {
    if (!instance || !param) return;
    auto& in = *static_cast<Instance*>(instance);
    if (BadIndex(in, index)) return;
    std::lock_guard<std::mutex> lock(in.mutex);
    const auto keep = [&](const std::string& why) {
        Log(Name(in.form), std::string(kParams[index].name) + ": " + why + "; the value is kept");
    };
    if (index == kLeftComp || index == kRightComp) {
        const double d = *static_cast<const f0r_param_double*>(param);
        if (!std::isfinite(d)) return keep("not a number");
        (index == kLeftComp ? in.leftComp : in.rightComp) = std::clamp(d, 0.0, 1.0);
        in.stale = true;
        return;
    }
    const char* text = *static_cast<const f0r_param_string*>(param);
    int found = -1;
    switch (index) {
        case kMethod:
            found = Find(kMethodNames, text);
            if (found < 0) return keep("choose " + Choices(kMethodNames));
            in.method = found;
            break;
        case kGlasses:
            found = Find(kGlassesNames, text);
            if (found < 0) return keep("choose " + Choices(kGlassesNames));
            in.glasses = found;
            break;
        default:
            found = Find(kEyeNames, text);
            if (found < 0) return keep("choose " + Choices(kEyeNames));
            (index == kLeftEye ? in.leftEye : in.rightEye) = found;
            break;
    }
    in.stale = true;
}

void AnaglyphGetParam(f0r_instance_t instance, f0r_param_t param, int index) noexcept {
    if (!instance || !param) return;
    auto& in = *static_cast<Instance*>(instance);
    if (BadIndex(in, index)) return;
    std::lock_guard<std::mutex> lock(in.mutex);
    auto text = [&](const char* s) {
        *static_cast<f0r_param_string*>(param) = const_cast<char*>(s);
    };
    switch (index) {
        case kMethod:
            text(kMethodNames[in.method]);
            break;
        case kGlasses:
            text(kGlassesNames[in.glasses]);
            break;
        case kLeftEye:
            text(kEyeNames[in.leftEye]);
            break;
        case kRightEye:
            text(kEyeNames[in.rightEye]);
            break;
        case kLeftComp:
            *static_cast<f0r_param_double*>(param) = in.leftComp;
            break;
        default:
            *static_cast<f0r_param_double*>(param) = in.rightComp;
            break;
    }
}

void AnaglyphUpdate(f0r_instance_t instance, const std::uint32_t* first,
                    const std::uint32_t* second, std::uint32_t* out) noexcept {
    if (!instance || !out) return;
    auto& in = *static_cast<Instance*>(instance);
    std::lock_guard<std::mutex> lock(in.mutex);
    const size_t bytes = static_cast<size_t>(in.width) * static_cast<size_t>(in.height) * 4;
    try {
        if (!first || (in.form == AnaglyphForm::kMixer && !second)) {
            throw std::runtime_error("an input frame is missing");
        }
        const auto width = static_cast<size_t>(in.width);
        for (int y = 0; y < in.height; y += kBandLines) {
            const int lines = std::min(kBandLines, in.height - y);
            const size_t at = static_cast<size_t>(y) * width;
            if (in.form == AnaglyphForm::kSideBySide) {
                // Halves are widened line by line, so a band's views are the frame's.
                FromFrame(first + at, in.width, lines, in.frame);
                Unpack(in.frame);  // the views are taken from 16-bit pixels
                SplitViews(StereoLayout::kSideBySideHalfLeftFirst, in.frame, in.left, in.right);
            } else {
                FromFrame(first + at, in.width, lines, in.left);
                FromFrame(second + at, in.width, lines, in.right);
            }
            Compose(in, lines == kBandLines ? 0 : 1);
            ToFrame(in.result, in.width, in.line, out + at);
        }
        return;
    } catch (const std::bad_alloc&) {
        Log(Name(in.form), "not enough memory for the frames");
    } catch (const std::exception& e) {
        Log(Name(in.form), e.what());
    }
    std::memset(out, 0, bytes);  // a transparent frame, the host goes on
}

}  // namespace loom::frei0r

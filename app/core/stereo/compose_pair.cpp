#include "app/core/stereo/compose_pair.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/stereo/colour_matrix.h"

namespace loom::stereo {
namespace {

FilterOutcome ComposeColour(const AnaglyphSettings& settings, const Image16& left,
                            const Image16& right, const std::atomic<bool>* abort, Image16& result,
                            std::string& error) {
    const ColourMatrix& m =
        settings.matrix ? *settings.matrix : MethodMatrix(settings.method, settings.glasses);
    Image16 out;
    out.width = left.width;
    out.height = left.height;
    out.bits = std::max(left.bits, right.bits);
    out.hasAlpha = left.hasAlpha || right.hasAlpha;
    try {
        out.pixels.resize(left.pixels.size());
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the images";
        return FilterOutcome::kFailed;
    }
    const auto w = static_cast<std::size_t>(left.width);
    for (int y = 0; y < left.height; ++y) {
        if (abort && abort->load()) return FilterOutcome::kAborted;
        const std::size_t at = static_cast<std::size_t>(y) * w;
        if (settings.linear) {
            ComposeColourLineLinear(m, &left.pixels[at], &right.pixels[at], &out.pixels[at],
                                    left.width);
        } else {
            ComposeColourLine(m, &left.pixels[at], &right.pixels[at], &out.pixels[at], left.width);
        }
    }
    result = std::move(out);
    return FilterOutcome::kDone;
}

/// Copies `tile` into `sheet` with its top left corner at (x0, y0).
void Place(const Image16& tile, int x0, int y0, Image16& sheet) {
    for (int y = 0; y < tile.height; ++y) {
        const auto from = tile.pixels.begin() + static_cast<long>(y) * tile.width;
        std::copy(from, from + tile.width,
                  sheet.pixels.begin() + static_cast<long>(y0 + y) * sheet.width + x0);
    }
}

}  // namespace

void EyesForGlasses(Glasses glasses, StereoSettings& eyes) {
    constexpr int kRed = 0, kGreen = 1, kBlue = 2;
    switch (glasses) {
        case Glasses::kRedCyan:
            eyes.leftEye = kRed;
            eyes.rightEye = kGreen;
            break;
        case Glasses::kGreenMagenta:
            eyes.leftEye = kGreen;
            eyes.rightEye = kRed;
            break;
        case Glasses::kAmberBlue:
            eyes.leftEye = kRed;
            eyes.rightEye = kBlue;
            break;
    }
}

ClassDesc* StereoFilterClass(const PluginLoader& loader) {
    ClassDesc* cd = loader.FindClassByName("dioptrix");
    if (!cd || cd->SuperClassID() != IMAGE_FILTER_CLASS_ID) {
        throw std::runtime_error("the stereo filter plug-in (dioptrix) was not found");
    }
    return cd;
}

std::unique_ptr<ImageFilter> MakeStereoFilter(ClassDesc* cd, const StereoSettings& eyes) {
    std::string err;
    std::unique_ptr<ImageFilter> filter(CreateImageFilter(cd, err));
    if (!filter) throw std::runtime_error(err);
    if (!LoadFilterConfiguration(*filter, EncodeStereoSettings(eyes), err)) {
        throw std::runtime_error("stereo configuration: " + err);
    }
    return filter;
}

bool ComposesColourFrames(const AnaglyphSettings& settings) {
    return (settings.method != AnaglyphMethod::kGrey || settings.matrix) && !settings.linear;
}

bool ComposeColourFrame(const AnaglyphSettings& settings, Image16& left, Image16& right,
                        Image16& composed, std::string& error) {
    const ColourMatrix& m =
        settings.matrix ? *settings.matrix : MethodMatrix(settings.method, settings.glasses);
    if (IsPacked(left) != IsPacked(right) || (IsPacked(left) && left.bits != right.bits)) {
        Unpack(left);
        Unpack(right);
    }
    const bool packed = IsPacked(left);
    const std::size_t w = static_cast<std::size_t>(std::max(left.width, 0));
    const std::size_t pixels = w * static_cast<std::size_t>(std::max(left.height, 0));
    const std::size_t lineBytes = w * PackedPixelBytes(left.bits);
    const auto holds = [&](const Image16& view) {
        return packed ? view.packed.size() == pixels * PackedPixelBytes(view.bits)
                      : view.pixels.size() == pixels;
    };
    if (right.width != left.width || right.height != left.height || !holds(left) || !holds(right)) {
        error = "the views differ in size";
        return false;
    }
    // Unpacked views compose in place, line by line; packed ones into a buffer of the size
    // that an earlier result or either view's 16-bit pixels kept (made anew, the buffer
    // would be cleared first, a pass over the frame), else the left view's.
    std::vector<BMM_Color_64>* into = &left.pixels;
    if (packed) {
        for (std::vector<BMM_Color_64>* kept : {&composed.pixels, &left.pixels, &right.pixels}) {
            if (kept->size() == pixels) {
                into = kept;
                break;
            }
        }
    }
    std::vector<BMM_Color_64> out = std::move(*into);
    try {
        out.resize(pixels);
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the frames";
        return false;
    }
    for (int y = 0; y < left.height; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * w;
        if (packed) {
            ComposeColourLinePacked(m, left.bits, &left.packed[y * lineBytes],
                                    &right.packed[y * lineBytes], &out[at], left.width);
        } else {
            ComposeColourLine(m, &out[at], &right.pixels[at], &out[at], left.width);
        }
    }
    composed.pixels = std::move(out);
    composed.packed.clear();
    composed.width = left.width;
    composed.height = left.height;
    composed.bits = std::max(left.bits, right.bits);
    composed.hasAlpha = left.hasAlpha || right.hasAlpha;
    return true;
}

FilterOutcome ComposePair(const AnaglyphSettings& settings, ImageFilter* greyFilter,
                          const Image16& left, const Image16& right, FilterProgressWindow& progress,
                          const std::atomic<bool>* abort, Image16& result, std::string& error) {
    if (left.width != right.width || left.height != right.height) {
        error = "the views differ in size: left " + std::to_string(left.width) + "x" +
                std::to_string(left.height) + ", right " + std::to_string(right.width) + "x" +
                std::to_string(right.height);
        return FilterOutcome::kFailed;
    }
    if (settings.method != AnaglyphMethod::kGrey || settings.matrix) {
        return ComposeColour(settings, left, right, abort, result, error);
    }
    if (!greyFilter) {
        error = "the grey method needs the stereo filter";
        return FilterOutcome::kFailed;
    }
    const FilterOutcome outcome =
        RunCompositor(*greyFilter, left, right, progress, abort, result, error);
    if (outcome == FilterOutcome::kDone && settings.greyForGlasses) {
        FillGlassesPrimaries(settings.glasses, settings.eyes, result);
    }
    return outcome;
}

void FillGlassesPrimaries(Glasses glasses, const StereoSettings& eyes, Image16& composed) {
    constexpr int kRed = 0, kGreen = 1, kBlue = 2;
    // The primaries each eye's filter passes, left then right.
    int pass[2][2] = {{kRed, -1}, {kGreen, kBlue}};
    if (glasses == Glasses::kGreenMagenta) {
        pass[0][0] = kGreen;
        pass[1][0] = kRed;
        pass[1][1] = kBlue;
    } else if (glasses == Glasses::kAmberBlue) {
        pass[0][0] = kRed;
        pass[0][1] = kGreen;
        pass[1][0] = kBlue;
        pass[1][1] = -1;
    }
    const int channel[2] = {eyes.leftEye, eyes.rightEye};
    for (int eye = 0; eye < 2; ++eye) {
        const int from = channel[eye];
        int to = -1;
        if (from == pass[eye][0]) to = pass[eye][1];
        if (from == pass[eye][1]) to = pass[eye][0];
        if (to < 0 || to == channel[1 - eye]) continue;
        if (IsPacked(composed)) {
            const std::size_t sampleBytes = composed.bits > 8 ? 2 : 1, pixelBytes = 3 * sampleBytes;
            for (std::size_t at = 0; at + pixelBytes <= composed.packed.size(); at += pixelBytes) {
                std::copy_n(&composed.packed[at + static_cast<std::size_t>(from) * sampleBytes],
                            sampleBytes,
                            &composed.packed[at + static_cast<std::size_t>(to) * sampleBytes]);
            }
            continue;
        }
        WORD BMM_Color_64::*const member[3] = {&BMM_Color_64::r, &BMM_Color_64::g,
                                               &BMM_Color_64::b};
        for (BMM_Color_64& p : composed.pixels) p.*member[to] = p.*member[from];
    }
}

FilterOutcome ComposeMethodSheet(const AnaglyphSettings& settings, ImageFilter* greyFilter,
                                 const Image16& left, const Image16& right,
                                 FilterProgressWindow& progress, const std::atomic<bool>* abort,
                                 int gap, Image16& result, std::string& error) {
    constexpr AnaglyphMethod kOrder[4] = {AnaglyphMethod::kGrey, AnaglyphMethod::kHalfColour,
                                          AnaglyphMethod::kColour, AnaglyphMethod::kDubois};
    gap = std::max(gap, 0);
    const long long sheetW = 2LL * left.width + gap, sheetH = 2LL * left.height + gap;
    if (sheetW * sheetH > kMaxImagePixels) {
        error = "the sheet would be too large (" + std::to_string(sheetW) + "x" +
                std::to_string(sheetH) + ")";
        return FilterOutcome::kFailed;
    }
    Image16 sheet;
    for (int i = 0; i < 4; ++i) {
        AnaglyphSettings one = settings;
        one.method = kOrder[i];
        Image16 tile;
        const FilterOutcome o =
            ComposePair(one, greyFilter, left, right, progress, abort, tile, error);
        if (o != FilterOutcome::kDone) return o;
        if (i == 0) {
            sheet.width = static_cast<int>(sheetW);
            sheet.height = static_cast<int>(sheetH);
            sheet.bits = tile.bits;
            sheet.hasAlpha = tile.hasAlpha;
            try {
                sheet.pixels.assign(static_cast<std::size_t>(sheetW * sheetH),
                                    BMM_Color_64{0, 0, 0, 65535});
            } catch (const std::bad_alloc&) {
                error = "not enough memory for the sheet";
                return FilterOutcome::kFailed;
            }
        }
        Place(tile, (i % 2) * (left.width + gap), (i / 2) * (left.height + gap), sheet);
    }
    result = std::move(sheet);
    return FilterOutcome::kDone;
}

StereoSettings ChooseStereoSettings(std::optional<Glasses> glasses, int leftEye, int rightEye,
                                    float leftCompensation, float rightCompensation) {
    StereoSettings s;
    if (glasses) EyesForGlasses(*glasses, s);
    ChooseEyeColors(s, leftEye, rightEye);
    s.leftCompensation = leftCompensation;
    s.rightCompensation = rightCompensation;
    CheckStereoSettings(s, "stereo settings");
    return s;
}

AnaglyphSettings AnaglyphSettingsFor(AnaglyphMethod method, std::optional<Glasses> glasses,
                                     int leftEye, int rightEye, float leftCompensation,
                                     float rightCompensation) {
    AnaglyphSettings settings;
    settings.method = method;
    if (glasses) settings.glasses = *glasses;
    settings.eyes = ChooseStereoSettings(glasses, glasses ? -1 : leftEye, glasses ? -1 : rightEye,
                                         leftCompensation, rightCompensation);
    settings.greyForGlasses = glasses.has_value();
    return settings;
}

FilterOutcome ComposeAnaglyph(const PluginLoader& loader, const AnaglyphSettings& settings,
                              const Image16& left, const Image16& right, Image16& result,
                              std::string& error) noexcept {
    try {
        std::unique_ptr<ImageFilter> filter;
        if (settings.method == AnaglyphMethod::kGrey) {
            filter = MakeStereoFilter(StereoFilterClass(loader), settings.eyes);
        }
        FilterProgressWindow window("anaglyph", nullptr, false);
        return ComposePair(settings, filter.get(), left, right, window, nullptr, result, error);
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the images";
    } catch (const std::exception& e) {
        error = e.what();
    }
    return FilterOutcome::kFailed;
}

}  // namespace loom::stereo

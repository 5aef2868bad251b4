#include "app/core/stereo/pair_adjust.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <utility>

namespace loom::stereo {
namespace {

constexpr std::array<double, 9> kIdentity{1, 0, 0, 0, 1, 0, 0, 0, 1};

/// A positive whole number of at most six digits, or nothing.
std::optional<int> SmallPositive(const std::string& text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    int v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v > 0 ? std::optional<int>(v) : std::nullopt;
}

}  // namespace

bool AdjustOptions::Any() const {
    return swap || align != AlignMode::kOff || autoParallax || parallaxPx != 0 ||
           crop == CropMode::kAspect;
}

void ParseParallax(const std::string& text, AdjustOptions& options) {
    if (text == "auto") {
        options.autoParallax = true;
        return;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v) ||
        std::abs(v) > 100000) {
        throw std::runtime_error("--parallax '" + text +
                                 "': give auto or a number of pixels (such as -12 or 8.5)");
    }
    options.autoParallax = false;
    options.parallaxPx = v;
}

void ParseCrop(const std::string& text, AdjustOptions& options) {
    if (text == "auto") {
        options.crop = CropMode::kAuto;
        return;
    }
    if (text == "none") {
        options.crop = CropMode::kNone;
        return;
    }
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos) {
        const auto w = SmallPositive(text.substr(0, colon));
        const auto h = SmallPositive(text.substr(colon + 1));
        if (w && h) {
            options.crop = CropMode::kAspect;
            options.aspectW = *w;
            options.aspectH = *h;
            return;
        }
    }
    throw std::runtime_error("--crop '" + text +
                             "': choose auto, none or an aspect ratio W:H (such as 16:9)");
}

AlignMode ParseAlignMode(const std::string& text) {
    if (text.empty() || text == "on" || text == "apply") return AlignMode::kApply;
    if (text == "report") return AlignMode::kReport;
    if (text == "try") return AlignMode::kTry;
    if (text == "off") return AlignMode::kOff;
    throw std::runtime_error("--align='" + text + "': choose --align, --align=report or " +
                             "--align=try");
}

std::string SwappedWarning(const Alignment& alignment, bool swapGiven) {
    const int share = static_cast<int>(std::lround(alignment.swappedShare * 100));
    return "the views look swapped: " + std::to_string(share) +
           " % of the matches have the disparity of a right view seen by the left eye; " +
           (swapGiven ? "drop --swap" : "try --swap") + " (unless the pair was placed " +
           "behind the screen on purpose)";
}

AdjustResult AdjustPair(const AdjustOptions& options, Image16& left, Image16& right) {
    const auto start = std::chrono::steady_clock::now();
    AdjustResult result;
    if (options.swap) std::swap(left, right);
    if (left.width != right.width || left.height != right.height) {
        throw std::runtime_error("the views differ in size");
    }
    const bool estimate = options.align != AlignMode::kOff || options.autoParallax;
    if (estimate) {
        try {
            result.alignment = EstimateAlignment(left, right, options.estimate);
        } catch (const AlignmentError& e) {
            if (options.align != AlignMode::kTry && options.align != AlignMode::kReport) throw;
            result.warnings.push_back(std::string(e.what()) + "; composed unaligned");
        } catch (const std::invalid_argument& e) {
            if (options.align != AlignMode::kTry && options.align != AlignMode::kReport) {
                throw std::runtime_error(e.what());
            }
            result.warnings.push_back(std::string(e.what()) + "; composed unaligned");
        }
    }
    if (result.alignment && LooksSwapped(*result.alignment)) {
        result.warnings.push_back(SwappedWarning(*result.alignment, options.swap));
    }
    result.aligned = result.alignment &&
                     (options.align == AlignMode::kApply || options.align == AlignMode::kTry);
    const std::array<double, 9>& correction =
        result.aligned ? result.alignment->correction : kIdentity;
    if (options.autoParallax) {
        result.parallaxPx = result.alignment ? AutoParallax(*result.alignment) : 0;
        if (result.alignment && !result.aligned) {
            // The disparities were measured on corrected points; near enough for a view
            // that is not corrected, and said so.
            result.warnings.push_back("the parallax was measured as if the views were aligned");
        }
    } else {
        result.parallaxPx = options.parallaxPx;
    }
    const bool moved = result.aligned || result.parallaxPx != 0;
    CropMode crop = options.crop;
    if (crop == CropMode::kDefault) crop = moved ? CropMode::kAuto : CropMode::kNone;
    const int width = left.width, height = left.height;
    if (crop == CropMode::kNone) {
        result.crop = {0, 0, width, height};
    } else {
        result.crop = SharedArea(width, height, correction, result.parallaxPx,
                                 crop == CropMode::kAspect ? options.aspectW : 0,
                                 crop == CropMode::kAspect ? options.aspectH : 0);
        if (result.crop.width <= 0 || result.crop.height <= 0) {
            throw std::runtime_error("the views share no area after alignment and parallax");
        }
    }
    ApplyAdjustment(correction, moved, result.parallaxPx, result.crop, left, right);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

void ApplyAdjustment(const std::array<double, 9>& correction, bool moved, double parallaxPx,
                     const CropRect& crop, Image16& left, Image16& right) {
    const bool whole =
        crop.x == 0 && crop.y == 0 && crop.width == left.width && crop.height == left.height;
    if (moved) {
        right = ResampleView(right, correction, parallaxPx, crop);
    } else if (!whole) {
        right = CropView(right, crop);
    }
    if (!whole) left = CropView(left, crop);
}

std::string AdjustJson(const AdjustResult& result) {
    nlohmann::ordered_json j;
    if (result.alignment) {
        Alignment a = *result.alignment;
        // The whole step's time: estimating and resampling.
        a.seconds = result.seconds;
        j = nlohmann::ordered_json::parse(
            AlignmentJson(a, result.parallaxPx, result.crop, result.aligned));
    } else {
        j["aligned"] = false;
        j["parallax_px"] = result.parallaxPx;
        j["crop"] = {{"x", result.crop.x},
                     {"y", result.crop.y},
                     {"width", result.crop.width},
                     {"height", result.crop.height}};
    }
    j["warnings"] = result.warnings;
    return j.dump(2);
}

}  // namespace loom::stereo

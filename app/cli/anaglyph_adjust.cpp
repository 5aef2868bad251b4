#include "app/cli/anaglyph_adjust.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "app/core/filter/image16.h"
#include "app/core/stereo/alignment_sheet.h"
#include "foundation/host/sdk/file_io.h"

namespace loom {

void AnaglyphAdjustOptions::AddOptions(CLI::App& cmd) {
    cmd.add_flag("--swap", swap,
                 "The views are the other way round (right first, as cross-eyed pictures "
                 "are): swap them before anything else");
    cmd.add_flag("--align{on}", align,
                 "Align the right view to the left (vertical offset, rotation, scale, "
                 "keystone) from features matched between them; --align=report prints the "
                 "correction without applying it, --align=try composes pairs that cannot be "
                 "matched unaligned with a warning. A video is aligned shot by shot (a shot "
                 "ends at a scene cut) and every frame cut to the area all shots cover");
    cmd.add_option("--parallax", parallax,
                   "Shift the right view PIXELS to the right against the left (a negative "
                   "value brings the scene forward), or auto: the nearest well-matched points "
                   "at the screen plane");
    cmd.add_option("--crop", crop,
                   "After alignment and parallax: auto (the area both views cover; the "
                   "default when the views are moved), none, or an aspect ratio W:H");
    cmd.add_option("--report", report,
                   "Write the alignment, parallax and crop of each pair (of a video: of each "
                   "shot) to FILE as JSON");
    cmd.add_option("--diagnostic", diagnostic,
                   "Write a sheet to FILE (an image) showing the matched points' vertical "
                   "residuals before and after alignment, the disparities with the parallax, "
                   "and the crop (FILE_N.EXT for the Nth pair of several)");
}

bool AnaglyphAdjustOptions::Given() const {
    return swap || !align.empty() || !parallax.empty() || !crop.empty() || !report.empty() ||
           !diagnostic.empty();
}

stereo::AdjustOptions AnaglyphAdjustOptions::Parse() const {
    stereo::AdjustOptions o;
    o.swap = swap;
    if (!align.empty()) o.align = stereo::ParseAlignMode(align == "on" ? "" : align);
    if (!parallax.empty()) stereo::ParseParallax(parallax, o);
    if (!crop.empty()) stereo::ParseCrop(crop, o);
    if ((!report.empty() || !diagnostic.empty()) && o.align == stereo::AlignMode::kOff &&
        !o.autoParallax) {
        throw std::runtime_error(
            "--report and --diagnostic show what --align or --parallax auto found");
    }
    std::string err;
    if (!diagnostic.empty() && !CanWriteImage(diagnostic, err)) {
        throw std::runtime_error("--diagnostic: " + err);
    }
    return o;
}

PairAdjuster::PairAdjuster(const AnaglyphAdjustOptions& options, bool many, bool force)
    : options_(options.Parse()),
      report_(options.report),
      diagnostic_(options.diagnostic),
      many_(many),
      force_(force) {}

void PairAdjuster::operator()(const stereo::PairJob& job, Image16& left, Image16& right) {
    Image16 asRead;
    if (!diagnostic_.empty()) asRead = options_.swap ? right : left;
    const stereo::AdjustResult result = stereo::AdjustPair(options_, left, right);
    ++pairs_;
    if (!diagnostic_.empty() && result.alignment) {
        std::string path = diagnostic_;
        if (pairs_ > 1 || many_) {
            const std::filesystem::path p(diagnostic_);
            path = (p.parent_path() /
                    (p.stem().string() + "_" + std::to_string(pairs_) + p.extension().string()))
                       .string();
        }
        std::string err;
        if (!WriteImage(path, stereo::DiagnosticSheet(asRead, result), 8, err,
                        SaveOptions{force_, nullptr})) {
            throw std::runtime_error(err);
        }
    }
    const std::string name = job.label.empty() ? job.output : job.label;
    for (const std::string& w : result.warnings) {
        std::fprintf(stderr, "\ranaglyph: warning: %s: %s\n", name.c_str(), w.c_str());
    }
    if (result.alignment) {
        std::printf("%s: %s; parallax %.2f px; crop %dx%d at %d,%d; %s in %.3f s\n", name.c_str(),
                    stereo::DescribeAlignment(*result.alignment).c_str(), result.parallaxPx,
                    result.crop.width, result.crop.height, result.crop.x, result.crop.y,
                    result.aligned ? "aligned" : "not applied", result.seconds);
        std::fflush(stdout);
    }
    reports_.push_back(stereo::AdjustJson(result));
    labels_.push_back(name);
}

void PairAdjuster::WriteReport(bool force) const {
    if (report_.empty()) return;
    std::string text;
    if (reports_.size() == 1) {
        text = reports_.front();
    } else {
        text = "[";
        for (std::size_t i = 0; i < reports_.size(); ++i) {
            // Each pair's object, named.
            std::string one = reports_[i];
            std::string escaped;
            for (const char c : labels_[i]) {
                if (c == '"' || c == '\\') escaped += '\\';
                if (static_cast<unsigned char>(c) >= 0x20) escaped += c;
            }
            one.insert(1, "\n  \"pair\": \"" + escaped + "\",");
            text += (i ? ",\n" : "\n") + one;
        }
        text += "\n]";
    }
    text += "\n";
    std::string err;
    if (!SaveFile(report_, text.data(), text.size(), SaveOptions{force, nullptr}, err)) {
        throw std::runtime_error(err);
    }
}

void ReportClip(const ClipAdjustment& clip, const std::string& report, bool force) {
    for (std::size_t i = 0; i < clip.shots.size(); ++i) {
        const ShotAdjustment& shot = clip.shots[i];
        const stereo::AdjustResult& r = shot.result;
        for (const std::string& w : r.warnings) {
            std::fprintf(stderr, "\ranaglyph: warning: %s\n", w.c_str());
        }
        const std::string name = shot.Describe(static_cast<int>(i) + 1);
        if (r.alignment) {
            std::printf("%s: %s; parallax %.2f px; %s in %.3f s\n", name.c_str(),
                        stereo::DescribeAlignment(*r.alignment).c_str(), r.parallaxPx,
                        r.aligned ? "aligned" : "not applied", r.seconds);
        } else {
            std::printf("%s: not aligned; parallax %.2f px\n", name.c_str(), r.parallaxPx);
        }
    }
    std::printf("every frame: crop %dx%d at %d,%d of %dx%d\n", clip.crop.width, clip.crop.height,
                clip.crop.x, clip.crop.y, clip.width, clip.height);
    std::fflush(stdout);
    if (report.empty()) return;
    const std::string text = ClipAdjustmentJson(clip) + "\n";
    std::string err;
    if (!SaveFile(report, text.data(), text.size(), SaveOptions{force, nullptr}, err)) {
        throw std::runtime_error(err);
    }
}

}  // namespace loom

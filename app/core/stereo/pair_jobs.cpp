#include "app/core/stereo/pair_jobs.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <system_error>

#include "app/core/stereo/frame_progress.h"
#include "app/core/stereo/stereo_photo.h"
#include "foundation/host/sdk/file_safety.h"

namespace loom::stereo {
namespace {

Image16 Read(const std::string& path) {
    Image16 img;
    std::string err;
    bool read = false;
    try {
        read = ReadImage16(path, img, err);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(path + ": not enough memory to read the image");
    }
    if (!read) throw std::runtime_error(err);
    // JPEG pictures are turned upright by their EXIF orientation, as stereo photos are.
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> head(2);
    if (in.read(reinterpret_cast<char*>(head.data()), 2) && head[0] == 0xFF && head[1] == 0xD8) {
        // The EXIF segment comes first and is at most 64 KiB.
        head.resize(2 + 70000);
        in.read(reinterpret_cast<char*>(head.data()) + 2, 70000);
        head.resize(2 + static_cast<std::size_t>(in.gcount()));
        ApplyOrientation(img, JpegOrientation(head.data(), head.size()));
    }
    return img;
}

/// Throws when an input of `job` is not there (a regular file, or a link to one), with the
/// system's reason.
void CheckInputs(const PairJob& job) {
    for (const std::string* path : {&job.source.left, &job.source.right}) {
        if (path->empty()) continue;
        std::error_code ec;
        const auto status = std::filesystem::status(*path, ec);
        if (ec || status.type() != std::filesystem::file_type::regular) {
            throw std::runtime_error(
                (job.label.empty() ? "" : job.label + ": ") + *path +
                ": cannot read: " + (ec ? ec.message() : "not a regular file"));
        }
    }
}

}  // namespace

void ReadPair(const PairSource& source, Image16& left, Image16& right,
              const PictureLayout& pictureLayout) {
    std::string err;
    if (source.sideBySide && (pictureLayout.layout || pictureLayout.fromName)) {
        const Image16 both = Read(source.left);
        std::optional<StereoLayout> layout = pictureLayout.layout;
        if (!layout) layout = LayoutFromFileName(source.left, both.width, both.height);
        if (!layout) {
            throw std::runtime_error(source.left + ": its name says no layout; give --layout (" +
                                     StereoLayoutChoices() + ")");
        }
        int w = 0, h = 0;
        if (!ViewSize(*layout, both.width, both.height, w, h, err)) {
            throw std::runtime_error(source.left + ": " + err);
        }
        SplitViews(*layout, both, left, right);
        return;
    }
    if (source.sideBySide) {
        if (!SplitSideBySide(Read(source.left), left, right, err)) {
            throw std::runtime_error(source.left + ": " + err);
        }
        return;
    }
    if (source.right.empty()) {
        bool read = false;
        try {
            read = ReadStereoPhoto(source.left, left, right, err);
        } catch (const std::bad_alloc&) {
            throw std::runtime_error(source.left + ": not enough memory to read the photo");
        }
        if (!read) throw std::runtime_error(err);
        return;
    }
    left = Read(source.left);
    right = Read(source.right);
    if (left.width != right.width || left.height != right.height) {
        throw std::runtime_error("the views differ in size: " + source.left + " is " +
                                 std::to_string(left.width) + "x" + std::to_string(left.height) +
                                 ", " + source.right + " is " + std::to_string(right.width) + "x" +
                                 std::to_string(right.height));
    }
}

void RunPairJobs(const std::vector<PairJob>& jobs, const AnaglyphSettings& settings,
                 ImageFilter* greyFilter, const PairJobOptions& options) {
    std::string err;
    // No output may replace an input, whatever path or link names it.
    FileSet inputs;
    for (const PairJob& job : jobs) {
        CheckInputs(job);
        inputs.Add(job.source.left);
        inputs.Add(job.source.right);
    }
    for (const PairJob& job : jobs) {
        if (!CheckImageOutput(job.output, options.save, err) ||
            !CheckOutputIsNoInput(job.output, inputs, err)) {
            throw std::runtime_error(err);
        }
    }
    const bool many = jobs.size() > 1;
    const std::atomic<bool>* interrupt = options.save.interrupt;
    FrameProgress frames(options.label, static_cast<long long>(jobs.size()), many);
    long long written = 0;
    const auto stopped = [&] {
        frames.Finish();
        if (!many) return std::runtime_error("interrupted; nothing written");
        return std::runtime_error("interrupted after " + std::to_string(written) + " of " +
                                  std::to_string(jobs.size()) +
                                  " pictures; those written are complete");
    };
    const auto failed = [&](const PairJob& job, const std::string& why) {
        frames.Finish();
        return std::runtime_error(job.label.empty() ? why : job.label + ": " + why);
    };
    long long failures = 0;
    const auto goOn = [&](const PairJob& job, const std::string& why) {
        const std::string name = job.label.empty() ? job.output : job.label;
        std::fprintf(stderr, "\r%s: %s: %s (going on)\n", options.label.c_str(), name.c_str(),
                     why.c_str());
        ++failures;
    };
    for (const PairJob& job : jobs) {
        if (interrupt && interrupt->load()) throw stopped();
        Image16 left, right, result;
        try {
            ReadPair(job.source, left, right, options.layout);
            if (options.adjust) options.adjust(job, left, right);
        } catch (const std::exception& e) {
            if (options.continueOnError) {
                goOn(job, e.what());
                continue;
            }
            throw failed(job, e.what());
        }
        // A still's filter draws its line progress; frames draw their own.
        FilterProgressWindow window(options.label, interrupt, !many);
        FilterOutcome outcome = FilterOutcome::kDone;
        if (options.arrange != OutputLayout::kAnaglyph) {
            try {
                result = ArrangeViews(options.arrange, left, right);
            } catch (const std::exception& e) {
                err = e.what();
                outcome = FilterOutcome::kFailed;
            }
        } else {
            outcome = options.sheet ? ComposeMethodSheet(settings, greyFilter, left, right, window,
                                                         interrupt, 8, result, err)
                                    : ComposePair(settings, greyFilter, left, right, window,
                                                  interrupt, result, err);
        }
        window.Finish();
        if (outcome == FilterOutcome::kAborted) throw stopped();
        if (outcome == FilterOutcome::kFailed && options.continueOnError) {
            goOn(job, err);
            continue;
        }
        if (outcome == FilterOutcome::kFailed) throw failed(job, err);
        if (!WriteImage16(job.output, result, options.bits != 0 ? options.bits : result.bits, err,
                          options.save)) {
            // A still keeps the save's own words ("interrupted; the file was not replaced").
            if (many && interrupt && interrupt->load()) throw stopped();
            if (options.continueOnError) {
                goOn(job, err);
                continue;
            }
            throw failed(job, err);
        }
        frames.Update(++written);
    }
    frames.Finish();
    if (failures > 0) {
        throw std::runtime_error(std::to_string(failures) + " of " + std::to_string(jobs.size()) +
                                 " pairs failed (named above); the others were written");
    }
}

}  // namespace loom::stereo

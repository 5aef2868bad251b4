#include "app/core/jobs/frame_render.h"

#include <cstdio>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "app/core/model/texture_setup.h"

namespace loom {

std::vector<std::string> RenderFileNames(const std::string& base, const RenderOptions& ro,
                                         int frame, bool sequence) {
    const std::filesystem::path p(base);
    const bool several = int{ro.color} + int{ro.mono} + int{ro.normal} > 1;
    const std::pair<bool, const char*> kinds[] = {
        {ro.color, ""}, {ro.mono, "_mono"}, {ro.normal, "_normal"}};
    std::vector<std::string> files;
    for (const auto& [wanted, suffix] : kinds) {
        if (!wanted) continue;
        std::string stem = p.stem().string() + (several ? suffix : "");
        if (sequence) {
            char num[16];
            std::snprintf(num, sizeof num, "_%04d", frame);
            stem += num;
        }
        files.push_back((p.parent_path() / (stem + p.extension().string())).string());
    }
    return files;
}

bool RenderToFiles(Texmap* tex, const RenderOptions& ro, const std::vector<std::string>& files,
                   const RenderFileOptions& options, const SaveOptions& save,
                   const RenderProgress& progress, const std::atomic<bool>* abort,
                   RenderStats* stats) {
    RenderImages images;
    if (!RenderTexture(tex, ro, images, progress, abort, stats)) return false;
    const bool repeated = options.repeat.columns > 1 || options.repeat.rows > 1;
    size_t next = 0;
    auto write = [&](const FloatImage& img, bool data) {
        if (next >= files.size()) throw std::logic_error("RenderToFiles: too few file names");
        ImageFileOptions file = options.file;
        file.data = data;
        const FloatImage whole = repeated ? RepeatTile(img, options.repeat) : FloatImage{};
        std::string err;
        if (!WriteImageFile(files[next++], repeated ? whole : img, file, err, save)) {
            throw RenderWriteError(err);
        }
    };
    if (ro.color) write(images.color, false);
    if (ro.mono) write(images.mono, true);
    if (ro.normal) write(images.normal, true);
    return true;
}

FramesOutcome RenderFrames(Texmap* tex, RenderOptions ro, const std::vector<FrameFiles>& frames,
                           int bits, const SaveOptions& save) {
    RenderFileOptions options;
    options.file.bits = bits;
    FramesOutcome outcome;
    for (const auto& [frame, files] : frames) {
        try {
            ro.time = FramesToTicks(frame);
            if (!RenderToFiles(tex, ro, files, options, save)) {
                outcome.failed.push_back({frame, "interrupted", false});
                continue;
            }
            outcome.done.push_back(frame);
        } catch (const RenderWriteError& e) {
            outcome.failed.push_back({frame, e.what(), true});
        } catch (const std::bad_alloc&) {
            outcome.failed.push_back({frame, "out of memory", false});
        } catch (const std::runtime_error& e) {
            outcome.failed.push_back({frame, e.what(), false});
        }
    }
    return outcome;
}

}  // namespace loom

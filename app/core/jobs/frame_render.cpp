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
                   int bits, const SaveOptions& save, const RenderProgress& progress,
                   const std::atomic<bool>* abort, RenderStats* stats) {
    RenderImages images;
    if (!RenderTexture(tex, ro, images, progress, abort, stats)) return false;
    size_t next = 0;
    auto write = [&](const FloatImage& img) {
        if (next >= files.size()) throw std::logic_error("RenderToFiles: too few file names");
        std::string err;
        if (!WriteImage(files[next++], img, bits, err, save)) throw RenderWriteError(err);
    };
    if (ro.color) write(images.color);
    if (ro.mono) write(images.mono);
    if (ro.normal) write(images.normal);
    return true;
}

FramesOutcome RenderFrames(Texmap* tex, RenderOptions ro, const std::vector<FrameFiles>& frames,
                           int bits, const SaveOptions& save) {
    FramesOutcome outcome;
    for (const auto& [frame, files] : frames) {
        try {
            ro.time = FramesToTicks(frame);
            if (!RenderToFiles(tex, ro, files, bits, save)) {
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

#include "app/core/jobs/pair_plan.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/core/filter/image16.h"
#include "app/core/stereo/sequence.h"
#include "app/core/stereo/stereo_photo.h"

namespace loom::stereo {
namespace {

/// The output folder of a folder of pairs, made when it does not exist.
void MakeOutputFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return;
    if (fs::exists(folder, ec)) {
        throw std::runtime_error(folder + ": not a folder (the output of folders of pairs)");
    }
    if (!fs::create_directory(folder, ec) && ec) {
        throw std::runtime_error(folder + ": cannot make the folder: " + ec.message());
    }
}

/// A job built member by member: GCC 12 at -O3 misreads the strings of a braced temporary
/// of this type as uninitialised.
PairJob Job(PairSource source, std::string output, std::string label) {
    PairJob job;
    job.source = std::move(source);
    job.output = std::move(output);
    job.label = std::move(label);
    return job;
}

}  // namespace

void CheckPairInputsExist(const PairPlanRequest& request) {
    namespace fs = std::filesystem;
    std::vector<std::string> missing;
    for (const std::string* path : {&request.left, &request.right}) {
        if (path->empty() || IsFramePattern(*path)) continue;
        std::error_code ec;
        if (fs::status(*path, ec).type() == fs::file_type::not_found) missing.push_back(*path);
    }
    if (missing.empty()) return;
    if (missing.size() == 2) {
        throw std::runtime_error(missing[0] + " and " + missing[1] +
                                 ": no such files or folders (the left and right views)");
    }
    throw std::runtime_error(missing[0] + ": no such file or folder (the " +
                             (missing[0] == request.left ? "left" : "right") + " view)");
}

std::vector<PairJob> PlanPairJobs(const PairPlanRequest& opt, const ShardReport& report) {
    namespace fs = std::filesystem;
    std::vector<PairJob> jobs;
    std::error_code ec;
    // The inputs are named before anything about the output.
    CheckPairInputsExist(opt);
    const bool pattern = IsFramePattern(opt.left);
    if (!opt.frames.empty() && !pattern) {
        throw std::runtime_error(
            "--frames takes LEFT (and RIGHT) as frame patterns, such as left_%04d.png");
    }
    if (!opt.shard.empty() && !pattern) {
        throw std::runtime_error(
            "--shard takes LEFT (and RIGHT) as frame patterns, such as left_%04d.png, or a "
            "video");
    }
    if (opt.sideBySide && IsStereoPhoto(opt.left)) {
        throw std::runtime_error(opt.left +
                                 ": a stereo photo is read as a pair without --sbs (a .jps "
                                 "holds the right view first)");
    }
    if (fs::is_directory(opt.left, ec)) {
        if (opt.sideBySide) throw std::runtime_error("--sbs takes a picture or a frame pattern");
        if (!opt.right.empty() && !fs::is_directory(opt.right, ec)) {
            throw std::runtime_error(opt.left + " is a folder; RIGHT must be a folder too");
        }
        std::string err;
        const std::string ext = "." + opt.format;
        if (!CanWriteImage("out" + ext, err)) {
            throw std::runtime_error("--format '" + opt.format + "': choose png, tif, exr or jpg");
        }
        const auto pairs =
            opt.right.empty() ? PairInFolder(opt.left) : PairFolders(opt.left, opt.right);
        MakeOutputFolder(opt.output);
        for (const NamedPair& p : pairs) {
            jobs.push_back(Job({p.left, p.right, false},
                               (fs::path(opt.output) / (p.name + ext)).string(), p.name));
        }
        return jobs;
    }
    if (pattern) {
        if (!IsFramePattern(opt.output)) {
            throw std::runtime_error(
                "-o must be a frame pattern too (such as out_%04d.png) when LEFT is one");
        }
        if (opt.sideBySide && !opt.right.empty()) {
            throw std::runtime_error("--sbs takes one side-by-side pattern, not two");
        }
        if (!opt.sideBySide && opt.right.empty() && !IsStereoPhoto(opt.left)) {
            throw std::runtime_error(
                "give the right-eye pattern too (or --sbs for side-by-side frames)");
        }
        if (!opt.right.empty() && !IsFramePattern(opt.right)) {
            throw std::runtime_error("RIGHT must be a frame pattern when LEFT is one");
        }
        FrameList frames;
        if (!opt.frames.empty()) {
            frames = ParseFrameList(opt.frames, "--frames");
        } else {
            const std::vector<int> found = FramesOnDisk(opt.left);
            if (found.empty()) throw std::runtime_error(opt.left + ": no frames match");
            frames = FrameList(FrameRange{found.front(), found.back()});
        }
        // A part of the frames: from --shard, or the Slurm array task's.
        if (const std::optional<Shard> shard = RequestedShard(opt.shard, "--shard")) {
            const std::optional<FrameList> part = ShardOfList(frames, *shard);
            if (report) report(*shard, frames, part);
            if (!part) return jobs;
            frames = *part;
        }
        // Each frame is planned before any is composed; a range beyond any real sequence
        // would only exhaust memory.
        constexpr long long kMaxFrames = 1000000;
        if (frames.Count() > kMaxFrames) {
            throw std::runtime_error("--frames: at most " + std::to_string(kMaxFrames) +
                                     " frames at once");
        }
        frames.ForEach([&](long long, int frame) {
            PairJob job{{FramePath(opt.left, frame),
                         opt.right.empty() ? "" : FramePath(opt.right, frame), opt.sideBySide},
                        FramePath(opt.output, frame),
                        "frame " + std::to_string(frame)};
            if (job.output == job.source.left || job.output == job.source.right) {
                throw std::runtime_error(job.output + ": is an input and the output");
            }
            jobs.push_back(std::move(job));
        });
        return jobs;
    }
    if (IsFramePattern(opt.output)) {
        throw std::runtime_error("-o is a frame pattern but LEFT is one picture");
    }
    if (opt.sideBySide && !opt.right.empty()) {
        throw std::runtime_error("--sbs takes one side-by-side image, not two");
    }
    if (!opt.sideBySide && opt.right.empty() && !IsStereoPhoto(opt.left)) {
        throw std::runtime_error(
            "give the right-eye image too (or --sbs for one image, or an .mpo or .jps photo)");
    }
    jobs.push_back(Job({opt.left, opt.right, opt.sideBySide}, opt.output, ""));
    return jobs;
}

}  // namespace loom::stereo

// loomhost anaglyph: composes stereo pairs (two pictures, a side-by-side picture, an MPO or
// JPS photo, frame sequences, folders of pairs) into anaglyph pictures: the grey method
// with the stereo filter, through its ImageFilter interface, the colour methods by the host
// (app/stereo). loomhost scene filter: stores the filter's configuration as a video-post
// entry of a scene file.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "app/cli/anaglyph_adjust.h"
#include "app/cli/commands.h"
#include "app/cli/interrupt.h"
#include "app/cli/texture_source.h"
#include "app/core/filter/filter_run.h"
#include "app/core/filter/image16.h"
#include "app/core/filter/stereo_settings.h"
#include "app/core/jobs/frame_range.h"
#include "app/core/jobs/pair_plan.h"
#include "app/core/model/scene_load.h"
#include "app/core/stereo/colour_matrix.h"
#include "app/core/stereo/compose_pair.h"
#include "app/core/stereo/output_layout.h"
#include "app/core/stereo/pair_jobs.h"
#include "app/core/stereo/sequence.h"
#include "app/core/stereo/stereo_photo.h"
#include "app/core/video/layout_probe.h"
#include "app/core/video/video_anaglyph.h"
#include "foundation/host/sdk/scene_io.h"

namespace loom {
namespace {

struct AnaglyphOptions {
    std::string left, right, output, saveConfig, scene, entry, probe;
    bool sbs = false;
    bool force = false;
    int bits = 0;  // 0: 16 when either input has more than 8 bits, else 8
    StereoOptions stereo;
    std::string method = "grey", glasses, frames, shard, format = "png", matrix, outputLayout;
    bool sheet = false, linear = false;
    VideoOptions video;
    AnaglyphAdjustOptions adjust;
};

struct SceneFilterOptions {
    std::string file;
    std::string entry = "stereo";
    bool force = false;
    StereoOptions stereo;
};

using FilterPtr = std::unique_ptr<ImageFilter>;

ClassDesc* StereoFilterClass(AppContext& ctx) {
    ctx.LoadPlugins();
    return stereo::StereoFilterClass(ctx.loader);
}

FilterPtr NewFilter(ClassDesc* cd) {
    std::string err;
    FilterPtr f(CreateImageFilter(cd, err));
    if (!f) throw std::runtime_error(err);
    return f;
}

/// The configuration bytes of a scene's filter entry (the first one when `entry` is
/// empty), which must be of class `cd`.
std::vector<std::uint8_t> SceneRecord(const SceneHolder& scene, const std::string& file,
                                      const std::string& entry, ClassDesc* cd) {
    if (scene.Filters().empty()) throw std::runtime_error(file + ": holds no filter entry");
    int i = entry.empty() ? 0 : scene.FindFilter(entry);
    if (i < 0) throw std::runtime_error(file + ": no filter entry '" + entry + "'");
    const FilterEntry& e = scene.Filters()[static_cast<size_t>(i)];
    if (e.superClass != cd->SuperClassID() || !(e.classId == cd->ClassID())) {
        throw std::runtime_error(file + ": entry '" + e.name + "' is not a stereo filter");
    }
    return e.configuration;
}

/// Hands the record to the filter, with the options applied (the eye channels of
/// `glasses` first, when given); answers what it stored. `source` names where a given
/// record came from. A record from a file or a scene is refused when it holds values out of
/// range, as typed values are.
std::vector<std::uint8_t> Configure(ImageFilter& filter, std::vector<std::uint8_t> record,
                                    const std::string& source, const StereoOptions& options,
                                    std::optional<stereo::Glasses> glasses = std::nullopt) {
    std::string err;
    if (!record.empty()) {
        CheckStereoSettings(DecodeStereoSettings(record), source);
    } else if (!options.configFile.empty()) {
        try {
            record = ReadStereoRecord(options.configFile);
        } catch (const std::system_error& e) {
            // A stream's own failure names no file.
            throw std::runtime_error(options.configFile + ": cannot read: " + e.what());
        }
        CheckStereoSettings(DecodeStereoSettings(record), options.configFile);
    } else if (!SaveFilterConfiguration(filter, record, err)) {
        throw std::runtime_error(err);
    }
    if (glasses) {
        StereoSettings s = DecodeStereoSettings(record);
        stereo::EyesForGlasses(*glasses, s);
        record = EncodeStereoSettings(s);
    }
    record = options.Apply(record);
    std::vector<std::uint8_t> stored;
    if (!LoadFilterConfiguration(filter, record, err) ||
        !SaveFilterConfiguration(filter, stored, err)) {
        throw std::runtime_error("stereo configuration: " + err);
    }
    return stored;
}

/// Prints which part of the frames this shard composes.
void ReportShard(const Shard& shard, const FrameList& whole, const std::optional<FrameList>& part) {
    const std::string which = "anaglyph: shard " + std::to_string(shard.index) + "/" +
                              std::to_string(shard.count) + " of frames " + whole.Text();
    if (!part) {
        std::fprintf(stderr, "%s: no frames (more shards than frames)\n", which.c_str());
    } else {
        std::fprintf(stderr, "%s: frames %s\n", which.c_str(), part->Text().c_str());
    }
}

/// The pairs the command names and the files it writes, planned by the core.
std::vector<stereo::PairJob> PlanJobs(const AnaglyphOptions& opt) {
    stereo::PairPlanRequest request;
    request.left = opt.left;
    request.right = opt.right;
    request.output = opt.output;
    request.sideBySide = opt.sbs;
    request.frames = opt.frames;
    request.shard = opt.shard;
    request.format = opt.format;
    return stereo::PlanPairJobs(request, ReportShard);
}

/// PlanJobs for pictures holding both views: with --layout (then --sbs may be left out),
/// or one picture alone whose file name says its layout (--layout auto, the default). A
/// plain --sbs stays left then right at full size. `layout` says how to split them.
std::vector<stereo::PairJob> PlanStillLayout(const AnaglyphOptions& opt,
                                             stereo::PictureLayout& pictures) {
    const std::string& given = opt.video.layout;
    std::optional<StereoLayout> layout;
    if (!given.empty() && given != "auto") {
        layout = ParseStereoLayout(given);
        if (!layout) {
            throw std::runtime_error("--layout '" + given + "': choose auto, " +
                                     StereoLayoutChoices());
        }
    }
    stereo::PairPlanRequest inputs;
    inputs.left = opt.left;
    inputs.right = opt.right;
    stereo::CheckPairInputsExist(inputs);
    const bool onePicture = opt.right.empty() && !stereo::IsStereoPhoto(opt.left) &&
                            !std::filesystem::is_directory(opt.left);
    if (layout && !onePicture) {
        throw std::runtime_error(
            "--layout takes one picture (or frame pattern) holding both "
            "views");
    }
    // A lone picture without --sbs: its name may say how it holds the views.
    const bool fromName =
        !layout && onePicture && !opt.sbs && LayoutFromFileName(opt.left, 1000, 1000).has_value();
    if (!layout && !fromName && onePicture && !opt.sbs && !stereo::IsFramePattern(opt.left) &&
        !opt.left.empty()) {
        throw std::runtime_error(
            opt.left +
            ": one picture whose name says no layout (such as _sbs or _tb): give "
            "--layout (" +
            StereoLayoutChoices() +
            "), --sbs, or the right view too (anaglyph --probe FILE says what it found)");
    }
    if (!layout && !fromName) return PlanJobs(opt);
    AnaglyphOptions both = opt;
    both.sbs = true;
    pictures.layout = layout;
    pictures.fromName = fromName;
    return PlanJobs(both);
}

void RunAnaglyph(AppContext& ctx, const AnaglyphOptions& opt) {
    if (!opt.probe.empty()) {
        std::fputs(DescribeProbe(opt.probe, ProbeLayout(opt.probe)).c_str(), stdout);
        return;
    }
    if (opt.left.empty() && opt.saveConfig.empty()) {
        throw std::runtime_error(
            "give the LEFT and RIGHT images (or --sbs IMAGE, a stereo photo, frame patterns or "
            "folders), or --save-config FILE");
    }
    stereo::AnaglyphSettings settings;
    settings.method = stereo::ParseAnaglyphMethod(opt.method);
    std::optional<stereo::Glasses> glasses;
    if (!opt.glasses.empty()) glasses = settings.glasses = stereo::ParseGlasses(opt.glasses);
    if (settings.method != stereo::AnaglyphMethod::kGrey && !opt.sheet &&
        (opt.stereo.ChangesSomething() || !opt.stereo.configFile.empty() || !opt.scene.empty())) {
        throw std::runtime_error(std::string("--method ") + stereo::MethodName(settings.method) +
                                 " takes --glasses; --left-eye, --right-eye, --left-comp, "
                                 "--right-comp, --config and --scene set the grey method");
    }
    if (!opt.matrix.empty()) {
        if (opt.method != "grey" || glasses || opt.sheet || opt.stereo.ChangesSomething() ||
            !opt.stereo.configFile.empty() || !opt.scene.empty()) {
            throw std::runtime_error(
                "--matrix is a composition of its own: give it without --method, --glasses, "
                "--sheet and the grey method's options");
        }
        settings.matrix = stereo::ParseColourMatrix(opt.matrix);
    }
    if (opt.linear) {
        if (settings.method == stereo::AnaglyphMethod::kGrey && !settings.matrix) {
            throw std::runtime_error(
                "--linear composes the colour methods and --matrix in "
                "linear light; the grey method keeps its own arithmetic");
        }
        settings.linear = true;
    }
    stereo::OutputLayout arrange = stereo::OutputLayout::kAnaglyph;
    if (!opt.outputLayout.empty()) {
        const auto parsed = stereo::ParseOutputLayout(opt.outputLayout);
        if (!parsed) {
            throw std::runtime_error("--output-layout '" + opt.outputLayout + "': choose " +
                                     stereo::OutputLayoutChoices());
        }
        arrange = *parsed;
        if (arrange != stereo::OutputLayout::kAnaglyph &&
            (opt.sheet || !opt.matrix.empty() || opt.linear || opt.method != "grey" ||
             !opt.glasses.empty())) {
            throw std::runtime_error("--output-layout " + opt.outputLayout +
                                     " arranges the views as they are: it takes no --method, "
                                     "--glasses, --matrix, --linear or --sheet");
        }
    }
    const bool video = IsVideoFile(opt.left);  // checked by RunVideoAnaglyph
    VideoJob videoJob{opt.left, opt.right, opt.output, opt.sbs, opt.force, {}, {}, {}};
    if (video) {
        if (!opt.frames.empty()) {
            throw std::runtime_error(
                "--frames takes LEFT (and RIGHT) as frame patterns; a "
                "video is composed whole, or in parts with --shard");
        }
        // A part of the frames, from --shard or the Slurm array task's, written to a file
        // of its own; the parts in order make up the whole.
        if (const std::optional<Shard> shard = RequestedShard(opt.shard, "--shard")) {
            if (!opt.output.empty()) videoJob.output = ShardFileName(opt.output, *shard);
            videoJob.part = [&ctx, shard = *shard, output = videoJob.output](long long frames) {
                const std::string which =
                    "anaglyph: shard " + std::to_string(shard.index) + "/" +
                    std::to_string(shard.count) + " of " +
                    (frames > 0 ? "frames 0-" + std::to_string(frames - 1) : "0 frames");
                std::optional<FrameRange> part;
                if (frames > 0) {
                    part = ShardOfRange({0, static_cast<int>(frames - 1)}, shard);
                }
                if (!part) {
                    ctx.Note("%s: no frames (more shards than frames)\n", which.c_str());
                    return std::optional<std::pair<long long, long long>>();
                }
                ctx.Note("%s: frames %d-%d to %s\n", which.c_str(), part->first, part->last,
                         output.c_str());
                return std::optional<std::pair<long long, long long>>(
                    std::pair<long long, long long>(part->first, part->last));
            };
        }
    }
    const stereo::AdjustOptions adjust = opt.adjust.Parse();
    // Video is adjusted shot by shot; swapped alone, as it is composed.
    const bool adjustVideo =
        video && (adjust.align != stereo::AlignMode::kOff || adjust.autoParallax ||
                  adjust.parallaxPx != 0 || !opt.adjust.crop.empty());
    if (video && !opt.adjust.diagnostic.empty()) {
        throw std::runtime_error(
            "--diagnostic draws the sheet of one pair: still pictures, stereo photos, frame "
            "patterns and folders (--report gives a video's corrections shot by shot)");
    }
    if (adjustVideo) {
        // The report is written once the video is complete: its name is checked first.
        std::string reportErr;
        if (!opt.adjust.report.empty() &&
            !CheckOutputFile(opt.adjust.report, SaveOptions{opt.force, nullptr}, reportErr)) {
            throw std::runtime_error(reportErr);
        }
        videoJob.adjust = adjust;
        videoJob.adjusted = [report = opt.adjust.report, force = opt.force](
                                const ClipAdjustment& clip) { ReportClip(clip, report, force); };
        if (opt.output.empty() && adjust.align == stereo::AlignMode::kReport) {
            // The corrections alone, nothing composed.
            WatchInterrupt();
            ReportClip(AnalyseVideoAlignment(videoJob, opt.video, adjust, &InterruptFlag()),
                       opt.adjust.report, opt.force);
            return;
        }
    }
    if (!opt.left.empty() && !video && opt.output.empty() &&
        adjust.align == stereo::AlignMode::kReport) {
        // The correction alone, nothing composed.
        if (opt.sbs && !opt.right.empty()) {
            throw std::runtime_error("--sbs takes one side-by-side image, not two");
        }
        stereo::PairJob job;
        job.source.left = opt.left;
        job.source.right = opt.right;
        job.source.sideBySide = opt.sbs;
        job.label = opt.right.empty() ? opt.left : opt.left + " + " + opt.right;
        PairAdjuster adjuster(opt.adjust, false, opt.force);
        Image16 left, right;
        stereo::ReadPair(job.source, left, right);
        adjuster(job, left, right);
        adjuster.WriteReport(opt.force);
        return;
    }
    std::vector<stereo::PairJob> jobs;
    stereo::PictureLayout pictureLayout;
    if (!opt.left.empty() && !video) {
        if (opt.output.empty()) throw std::runtime_error("-o OUT is required");
        if (opt.bits != 0 && opt.bits != 8 && opt.bits != 16) {
            throw std::runtime_error("--bits must be 8 or 16");
        }
        jobs = PlanStillLayout(opt, pictureLayout);
    }
    // Ctrl-C from here on, during the final write too, stops before a file is replaced.
    WatchInterrupt();
    const SaveOptions save{opt.force, &InterruptFlag()};
    std::string checkErr;
    for (const stereo::PairJob& job : jobs) {
        if (!CheckImageOutput(job.output, save, checkErr)) throw std::runtime_error(checkErr);
    }
    if (!opt.saveConfig.empty() && !CheckOutputFile(opt.saveConfig, save, checkErr)) {
        throw std::runtime_error(checkErr);
    }
    if (!opt.entry.empty() && opt.scene.empty()) {
        throw std::runtime_error("--entry names an entry of the --scene file");
    }

    ClassDesc* cd = StereoFilterClass(ctx);
    FilterPtr filter = NewFilter(cd);
    std::vector<std::uint8_t> record;
    if (!opt.scene.empty()) {
        if (!opt.stereo.configFile.empty()) {
            throw std::runtime_error("give either --scene or --config, not both");
        }
        SceneHolder scene;
        LoadSceneForCommand(opt.scene, scene);
        record = SceneRecord(scene, opt.scene, opt.entry, cd);
    }
    std::vector<std::uint8_t> stored = Configure(
        *filter, record,
        opt.scene + (opt.entry.empty() ? ": first filter entry" : ": entry '" + opt.entry + "'"),
        opt.stereo, glasses);
    if (!opt.saveConfig.empty()) WriteStereoRecord(opt.saveConfig, stored, save);
    settings.eyes = DecodeStereoSettings(stored);
    settings.greyForGlasses = glasses.has_value();
    if (video) {
        ComposeFrame compose = AnaglyphFrameComposition(settings, filter.get(), &InterruptFlag());
        VideoOptions videoOptions = opt.video;
        videoOptions.arrange = arrange;
        if (arrange != stereo::OutputLayout::kAnaglyph) {
            compose = [arrange](Image16& left, Image16& right, Image16& composed,
                                std::string& error) {
                Unpack(left);
                Unpack(right);
                try {
                    composed = stereo::ArrangeViews(arrange, left, right);
                } catch (const std::exception& e) {
                    error = e.what();
                    return false;
                }
                return true;
            };
        }
        if (opt.adjust.swap && !adjustVideo) {
            compose = [compose](Image16& left, Image16& right, Image16& composed,
                                std::string& error) {
                return compose(right, left, composed, error);
            };
        }
        RunVideoAnaglyph(videoJob, videoOptions, compose, &InterruptFlag());
        return;
    }
    if (jobs.empty()) return;

    stereo::PairJobOptions run;
    run.bits = opt.bits;
    run.sheet = opt.sheet;
    run.save = save;
    run.layout = pictureLayout;
    run.arrange = arrange;
    run.continueOnError = opt.video.ContinuesOnError();
    std::shared_ptr<PairAdjuster> adjuster;
    if (adjust.Any()) {
        adjuster = std::make_shared<PairAdjuster>(opt.adjust, jobs.size() > 1, opt.force);
        run.adjust = [adjuster](const stereo::PairJob& job, Image16& left, Image16& right) {
            (*adjuster)(job, left, right);
        };
    }
    try {
        stereo::RunPairJobs(jobs, settings, filter.get(), run);
    } catch (...) {
        // What was found before the failure is reported still.
        if (adjuster) adjuster->WriteReport(opt.force);
        throw;
    }
    if (adjuster) adjuster->WriteReport(opt.force);
}

void RunSceneFilter(AppContext& ctx, const SceneFilterOptions& opt) {
    ClassDesc* cd = StereoFilterClass(ctx);
    FilterPtr filter = NewFilter(cd);
    const SaveOptions save{opt.force, nullptr};
    std::string err;
    if (!CheckOutputFile(opt.file, save, err)) throw std::runtime_error(err);
    SceneHolder scene;
    if (std::filesystem::exists(opt.file)) LoadSceneForCommand(opt.file, scene);
    std::vector<std::uint8_t> record;
    if (scene.FindFilter(opt.entry) >= 0) {
        if (!opt.stereo.configFile.empty()) {
            throw std::runtime_error("entry '" + opt.entry + "' exists; --config starts a new one");
        }
        record = SceneRecord(scene, opt.file, opt.entry, cd);
    }
    FilterEntry entry;
    entry.name = opt.entry;
    entry.superClass = cd->SuperClassID();
    entry.classId = cd->ClassID();
    entry.configuration =
        Configure(*filter, record, opt.file + ": entry '" + opt.entry + "'", opt.stereo);
    scene.SetFilter(entry);
    if (!SaveSceneFile(opt.file, scene, err, save)) throw std::runtime_error(err);
    std::printf("%s: %s\n", entry.name.c_str(),
                DescribeStereoSettings(DecodeStereoSettings(entry.configuration)).c_str());
}

}  // namespace

void AddAnaglyphCommand(CLI::App& app, AppContext& ctx) {
    auto opt = std::make_shared<AnaglyphOptions>();
    CLI::App* cmd = app.add_subcommand(
        "anaglyph",
        "Compose stereo pairs into anaglyph pictures (grey through the dioptrix filter, or a "
        "colour method)");
    CLI::Option* leftArg = cmd->add_option(
        "LEFT", opt->left,
        "Left-eye image (with --sbs: the side-by-side image; alone: an .mpo or .jps "
        "stereo photo), a frame pattern (left_%04d.png), or a folder of pairs");
    CLI::Option* rightArg =
        cmd->add_option("RIGHT", opt->right,
                        "Right-eye image, the same size as LEFT; a pattern or folder like LEFT");
    // The views named, for scripts that would rather not rely on their order.
    cmd->add_option("--left", opt->left,
                    "The left view (picture, video, pattern or folder), as LEFT")
        ->excludes(leftArg);
    cmd->add_option("--right", opt->right, "The right view, as RIGHT")->excludes(rightArg);
    cmd->add_option("-o,--out", opt->output,
                    "Output image (.png, .tif, .exr, .jpg), frame pattern, or folder");
    cmd->add_flag("--sbs", opt->sbs,
                  "LEFT is one side-by-side image: left view in its left half, right view in "
                  "its right half (an odd middle column is dropped)");
    cmd->add_option("--method", opt->method,
                    "grey (the filter: one channel per eye, with compensation), half-colour, "
                    "colour or dubois (least squares)")
        ->capture_default_str();
    cmd->add_option("--glasses", opt->glasses,
                    "red-cyan (default), green-magenta or amber-blue: the colour methods' "
                    "glasses; with grey, the eye channels (before --left-eye/--right-eye)");
    cmd->add_option(
        "--output-layout", opt->outputLayout,
        "Write the views arranged instead of an anaglyph: " + stereo::OutputLayoutChoices() +
            " (sbs/tb twice the size, -half squeezed; rows, columns and checkerboard "
            "interleaved; left or right alone), at the input's depth");
    cmd->add_option("--matrix", opt->matrix,
                    "Compose with your own 3x6 matrix: 18 numbers separated by commas (rows "
                    "the output's red, green, blue; columns the left view's r, g, b then the "
                    "right view's), or a file holding them");
    cmd->add_flag("--linear", opt->linear,
                  "Compose the colour methods (and --matrix) in linear light: the views "
                  "decoded from sRGB, composed, encoded again");
    cmd->add_flag("--sheet", opt->sheet,
                  "Write the four methods on one sheet: grey and half-colour above, colour "
                  "and dubois below");
    cmd->add_option("--frames", opt->frames,
                    "With frame patterns (left_%04d.png): the frames A-B, or a list such as "
                    "1-3,5,7-20:2 (default: those of LEFT on disk)");
    cmd->add_option(
        "--shard", opt->shard,
        "With frame patterns or a video: compose part K (from 0) of N contiguous parts of "
        "the frames (default: the Slurm array task's, from SLURM_ARRAY_TASK_ID/_MIN/_COUNT); "
        "a video's part K is written as OUT.partK-of-N.EXT");
    cmd->add_option("--format", opt->format,
                    "With folders of pairs: the output pictures' format (png, tif, exr, jpg)")
        ->capture_default_str();
    cmd->add_option("--bits", opt->bits,
                    "Bits per channel of PNG/TIFF output: 8 or 16 (default: 16 when an input "
                    "has more than 8)");
    opt->stereo.AddOptions(*cmd);
    opt->video.AddOptions(*cmd);
    opt->adjust.AddOptions(*cmd);
    cmd->add_option("--probe", opt->probe,
                    "Print how FILE holds its stereo pair (its container, stereo data or "
                    "name) and why, then stop");
    cmd->add_option("--save-config", opt->saveConfig, "Store the 12-byte configuration in FILE");
    cmd->add_flag("--force", opt->force, "Replace output files that are read-only");
    cmd->add_option("--scene", opt->scene, "Take the configuration from a scene file");
    cmd->add_option("--entry", opt->entry, "Filter entry of the scene (default: the first)");
    cmd->callback([&ctx, opt] { RunAnaglyph(ctx, *opt); });

    // Filter entries of scene files belong with the filter's options; "scene" is added
    // before this command.
    CLI::App* scene = app.get_subcommand("scene");
    auto sopt = std::make_shared<SceneFilterOptions>();
    CLI::App* filter = scene->add_subcommand(
        "filter", "Store a stereo filter configuration as a video-post entry of a scene file");
    filter->add_option("FILE", sopt->file, "Scene file (made when it does not exist)")->required();
    filter->add_option("--entry", sopt->entry, "Entry name")->capture_default_str();
    filter->add_flag("--force", sopt->force, "Replace a scene file that is read-only");
    sopt->stereo.AddOptions(*filter);
    filter->callback([&ctx, sopt] { RunSceneFilter(ctx, *sopt); });
}

}  // namespace loom

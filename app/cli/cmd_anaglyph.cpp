// loomhost anaglyph: composes a stereo pair into one anaglyph picture with the stereo
// filter, through its ImageFilter interface. loomhost scene filter: stores the filter's
// configuration as a video-post entry of a scene file.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>

#include "app/cli/commands.h"
#include "app/cli/interrupt.h"
#include "app/filter/filter_run.h"
#include "app/filter/image16.h"
#include "app/filter/stereo_settings.h"
#include "app/model/scene_load.h"
#include "app/model/texture_source.h"
#include "app/video/video_anaglyph.h"
#include "foundation/host/scene_io.h"

namespace loom {
namespace {

struct AnaglyphOptions {
    std::string left, right, output, saveConfig, scene, entry;
    bool sbs = false;
    bool force = false;
    int bits = 0;  // 0: 16 when either input has more than 8 bits, else 8
    StereoOptions stereo;
    VideoOptions video;
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
    ClassDesc* cd = ctx.loader.FindClassByName("dioptrix");
    if (!cd || cd->SuperClassID() != IMAGE_FILTER_CLASS_ID) {
        throw std::runtime_error("the stereo filter plug-in (dioptrix) was not found");
    }
    return cd;
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

/// Hands the record to the filter, with the options applied; answers what it stored.
/// `source` names where a given record came from. A record from a file or a scene is
/// refused when it holds values out of range, as typed values are.
std::vector<std::uint8_t> Configure(ImageFilter& filter, std::vector<std::uint8_t> record,
                                    const std::string& source, const StereoOptions& options) {
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
    record = options.Apply(record);
    std::vector<std::uint8_t> stored;
    if (!LoadFilterConfiguration(filter, record, err) ||
        !SaveFilterConfiguration(filter, stored, err)) {
        throw std::runtime_error("stereo configuration: " + err);
    }
    return stored;
}

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
    return img;
}

void RunAnaglyph(AppContext& ctx, const AnaglyphOptions& opt) {
    if (opt.left.empty() && opt.saveConfig.empty()) {
        throw std::runtime_error(
            "give the LEFT and RIGHT images (or --sbs IMAGE), or --save-config FILE");
    }
    const bool video = IsVideoFile(opt.left);  // checked by RunVideoAnaglyph
    if (!opt.left.empty() && !video) {
        if (opt.output.empty()) throw std::runtime_error("-o OUT is required");
        if (opt.sbs && !opt.right.empty()) {
            throw std::runtime_error("--sbs takes one side-by-side image, not two");
        }
        if (!opt.sbs && opt.right.empty()) {
            throw std::runtime_error("give the right-eye image too (or --sbs for one image)");
        }
        if (opt.bits != 0 && opt.bits != 8 && opt.bits != 16) {
            throw std::runtime_error("--bits must be 8 or 16");
        }
    }
    // Ctrl-C from here on, during the final write too, stops before a file is replaced.
    WatchInterrupt();
    const SaveOptions save{opt.force, &InterruptFlag()};
    std::string checkErr;
    if (!opt.left.empty() && !video && !CheckImageOutput(opt.output, save, checkErr)) {
        throw std::runtime_error(checkErr);
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
        opt.stereo);
    if (!opt.saveConfig.empty()) WriteStereoRecord(opt.saveConfig, stored, save);
    if (opt.left.empty()) return;
    if (video) {
        RunVideoAnaglyph({opt.left, opt.right, opt.output, opt.sbs, opt.force}, opt.video,
                         ComposeWithFilter(*filter, &InterruptFlag()), &InterruptFlag());
        return;
    }

    Image16 left, right;
    if (opt.sbs) {
        std::string err;
        if (!SplitSideBySide(Read(opt.left), left, right, err)) {
            throw std::runtime_error(opt.left + ": " + err);
        }
    } else {
        left = Read(opt.left);
        right = Read(opt.right);
        if (left.width != right.width || left.height != right.height) {
            throw std::runtime_error(
                "the views differ in size: " + opt.left + " is " + std::to_string(left.width) +
                "x" + std::to_string(left.height) + ", " + opt.right + " is " +
                std::to_string(right.width) + "x" + std::to_string(right.height));
        }
    }
    FilterProgressWindow window("anaglyph", &InterruptFlag());
    Image16 result;
    std::string err;
    switch (RunCompositor(*filter, left, right, window, &InterruptFlag(), result, err)) {
        case FilterOutcome::kAborted:
            window.Finish();
            throw std::runtime_error("interrupted; nothing written");
        case FilterOutcome::kFailed:
            window.Finish();
            throw std::runtime_error(err);
        case FilterOutcome::kDone:
            break;
    }
    window.Finish();
    if (!WriteImage16(opt.output, result, opt.bits != 0 ? opt.bits : result.bits, err, save)) {
        throw std::runtime_error(err);
    }
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
        "anaglyph", "Compose a stereo pair into one anaglyph picture (the dioptrix filter)");
    cmd->add_option("LEFT", opt->left, "Left-eye image (with --sbs: the side-by-side image)");
    cmd->add_option("RIGHT", opt->right, "Right-eye image, the same size as LEFT");
    cmd->add_option("-o,--out", opt->output, "Output image (.png, .tif, .exr, .jpg)");
    cmd->add_flag("--sbs", opt->sbs,
                  "LEFT is one side-by-side image: left view in its left half, right view in "
                  "its right half (an odd middle column is dropped)");
    cmd->add_option("--bits", opt->bits,
                    "Bits per channel of PNG/TIFF output: 8 or 16 (default: 16 when an input "
                    "has more than 8)");
    opt->stereo.AddOptions(*cmd);
    opt->video.AddOptions(*cmd);
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

// loomhost render: a texture (or a frame sequence) to image files.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/cli/commands.h"
#include "app/cli/interrupt.h"
#include "app/cli/texture_options.h"
#include "app/cli/texture_source.h"
#include "app/core/jobs/contact_sheet.h"
#include "app/core/jobs/frame_range.h"
#include "app/core/jobs/frame_render.h"
#include "app/core/jobs/render_sequence.h"
#include "app/core/jobs/render_video.h"
#include "app/core/jobs/tile_jobs.h"
#include "app/core/model/panel_session.h"
#include "app/core/model/texture_setup.h"
#include "app/core/render/progress.h"
#include "app/core/render/render_memory.h"
#include "app/core/render/renderer.h"
#include "app/core/video/video_anaglyph.h"
#include "foundation/host/base/text.h"
#include "foundation/host/sdk/file_safety.h"
#include "foundation/host/sdk/texmap_variation.h"

namespace loom {
namespace {

struct RenderCommandOptions {
    std::string className;
    std::string output;
    std::string size = "256x256";
    std::string frames;
    std::string shard;
    std::string manifest;
    std::string resume;  ///< empty, "on" (--resume) or "force"
    bool Resuming() const { return !resume.empty(); }
    std::string outputs = "color";
    std::string maxMemory;
    int threads = 0;
    int bits = 8;
    double time = 0.0;
    float bumpScale = 0.05f;
    bool sphere = false;
    bool force = false;
    bool stats = false;
    float eye = 0.0f;
    std::string fps = "30";
    VideoEncoding encoding;
    TextureSourceOptions source;
    bool tile = false;
    std::string tiles;
    bool loop = false;
    bool tx = false;
    bool tags = false;
    std::string sheet;
};

/// The tile, seed and loop a run asks for, checked before anything is loaded.
struct ArtistPlan {
    TileRepeat repeat;
    int fullWidth = 0, fullHeight = 0;  ///< the picture; the render is one tile of it
};

/// How a picture of one output (`kind`: color, mono or normal) is written.
ImageFileOptions FileOptions(const RenderCommandOptions& opt, const RenderOptions& ro,
                             const std::string& kind) {
    ImageFileOptions f;
    f.bits = opt.bits;
    f.texture = opt.tx;
    f.tags = opt.tags || opt.tx || opt.bits == 32;
    f.data = kind != "color";
    f.periodic = ro.tile;
    return f;
}

/// The most pictures a contact sheet holds.
constexpr int kMaxSheetCells = 64;

/// "seeds:1-8" or "seeds:3,17,42": the seeds of a contact sheet.
std::vector<std::uint32_t> ParseSheetSeeds(const std::string& list) {
    std::vector<std::uint32_t> seeds;
    const std::string what = "--sheet seeds:" + list;
    if (const size_t dash = list.find('-'); dash != std::string::npos) {
        const std::uint32_t a = ParseSeed(list.substr(0, dash), what);
        const std::uint32_t b = ParseSeed(list.substr(dash + 1), what);
        if (b < a || b - a >= static_cast<std::uint32_t>(kMaxSheetCells)) {
            throw std::runtime_error(what + ": a range A-B of at most " +
                                     std::to_string(kMaxSheetCells) + " seeds, A <= B");
        }
        for (std::uint32_t s = a; s <= b; ++s) seeds.push_back(s);
        return seeds;
    }
    std::string rest = list + ",";
    for (size_t pos = 0, comma; (comma = rest.find(',', pos)) != std::string::npos;
         pos = comma + 1) {
        seeds.push_back(ParseSeed(rest.substr(pos, comma - pos), what));
    }
    if (seeds.size() > static_cast<size_t>(kMaxSheetCells)) {
        throw std::runtime_error(what + ": at most " + std::to_string(kMaxSheetCells) + " seeds");
    }
    return seeds;
}

/// `render --sheet`: every preset of the texture, or several seeds, in one labelled picture.
void RunSheet(AppContext& ctx, const RenderCommandOptions& opt, RenderOptions ro) {
    if (!opt.frames.empty()) throw std::runtime_error("--sheet makes one picture: no --frames");
    if (opt.tx) throw std::runtime_error("--sheet makes a picture to look at: no --tx");
    if (int{ro.color} + int{ro.mono} + int{ro.normal} != 1) {
        throw std::runtime_error("--sheet shows one output: name one with --output");
    }
    const bool byPreset = opt.sheet == "presets";
    std::vector<std::uint32_t> seeds;
    if (!byPreset) {
        if (opt.sheet.rfind("seeds:", 0) != 0) {
            throw std::runtime_error("--sheet '" + opt.sheet +
                                     "': use presets, or seeds:A-B or seeds:N,N,...");
        }
        seeds = ParseSheetSeeds(opt.sheet.substr(6));
    }
    WatchInterrupt();
    const SaveOptions save{opt.force, &InterruptFlag()};
    std::string err;
    if (!CheckImageOutput(opt.output, save, err)) throw std::runtime_error(err);
    ctx.LoadPlugins();
    const char* kind = ro.color ? "color" : ro.mono ? "mono" : "normal";
    auto render = [&](Texmap* tex, const std::string& label) {
        RenderImages images;
        if (!RenderTexture(tex, ro, images, {}, &InterruptFlag())) {
            throw std::runtime_error("interrupted; nothing written");
        }
        const FloatImage& img = ro.color ? images.color : ro.mono ? images.mono : images.normal;
        return SheetCell{label, img};
    };
    std::vector<SheetCell> cells;
    ProgressBar bar("sheet");
    if (byPreset) {
        std::vector<std::string> names;
        {
            TextureSource probe(ctx.loader, opt.className, opt.source);
            names = PanelSession(probe.Texture()).PresetNames();
            if (names.empty()) {
                TSTR cls;
                probe.Texture()->GetClassName(cls);
                throw std::runtime_error(std::string(cls.c_str()) +
                                         " has no presets: use --sheet seeds:A-B");
            }
        }
        for (size_t i = 0; i < names.size(); ++i) {
            bar.Update(static_cast<long long>(i), static_cast<long long>(names.size()));
            TextureSourceOptions one = opt.source;
            one.presets.insert(one.presets.begin(), names[i]);
            TextureSource src(ctx.loader, opt.className, one);
            cells.push_back(render(src.Texture(), names[i]));
        }
    } else {
        TextureSource src(ctx.loader, opt.className, opt.source);
        for (size_t i = 0; i < seeds.size(); ++i) {
            bar.Update(static_cast<long long>(i), static_cast<long long>(seeds.size()));
            ro.seed = seeds[i];
            cells.push_back(render(src.Texture(), "seed " + std::to_string(seeds[i])));
        }
    }
    bar.Finish();
    const FloatImage sheet = MakeContactSheet(cells);
    if (!WriteImageFile(opt.output, sheet, FileOptions(opt, ro, kind), err, save)) {
        throw std::runtime_error(err);
    }
}

/// Says on the error stream what the tile does where the texture's settings have no
/// period, and when a seed changes nothing.
void ReportVariation(Texmap* tex, const RenderOptions& ro) {
    if (ro.tile) {
        ForEachMapInTree(tex, [](Texmap* m) {
            ITexmapVariation* v = GetTexmapVariation(m);
            const char* note = v ? v->TileNote() : nullptr;
            if (!note) return;
            TSTR name;
            m->GetClassName(name);
            std::fprintf(stderr, "render: tile: %s: %s\n", name.c_str(), note);
        });
    }
    const std::uint32_t seed = ro.seed ? *ro.seed : SeedOf(tex);
    if (seed != kDefaultTexSeed && TreeSeedUse(tex) == kSeedChangesNothing) {
        TSTR name;
        tex->GetClassName(name);
        std::fprintf(stderr, "render: %s has nothing random: seed %u changes nothing\n",
                     name.c_str(), seed);
    }
}

void PrintStats(const RenderStats& stats) {
    std::printf("stats: render_seconds=%.6f samples=%lld samples_per_second=%.0f isa=%s\n",
                stats.seconds, stats.samples,
                stats.seconds > 0.0 ? static_cast<double>(stats.samples) / stats.seconds : 0.0,
                stats.isa);
}

void ParseSize(const std::string& text, int& w, int& h) {
    size_t x = text.find('x');
    if (x == std::string::npos) throw std::runtime_error("--size '" + text + "': expected WxH");
    double dw = ParseNumber(text.substr(0, x), "--size width");
    double dh = ParseNumber(text.substr(x + 1), "--size height");
    if (dw < 1 || dh < 1 || dw > 32768 || dh > 32768 || dw != static_cast<int>(dw) ||
        dh != static_cast<int>(dh)) {
        throw std::runtime_error("--size '" + text + "': width and height must be 1..32768");
    }
    w = static_cast<int>(dw);
    h = static_cast<int>(dh);
}

/// "500M", "2G", "1.5GB", "65536": bytes, with an optional decimal unit k, M, G or T.
std::uint64_t ParseByteCount(const std::string& text, const std::string& what) {
    std::string number = text;
    double unit = 1.0;
    if (!number.empty() && (number.back() == 'B' || number.back() == 'b')) number.pop_back();
    if (!number.empty()) {
        switch (number.back()) {
            case 'k':
            case 'K':
                unit = 1e3;
                break;
            case 'm':
            case 'M':
                unit = 1e6;
                break;
            case 'g':
            case 'G':
                unit = 1e9;
                break;
            case 't':
            case 'T':
                unit = 1e12;
                break;
            default:
                break;
        }
        if (unit != 1.0) number.pop_back();
    }
    double bytes = 0.0;
    try {
        bytes = ParseNumber(number, what) * unit;
    } catch (const std::runtime_error&) {
        throw std::runtime_error(what + " '" + text + "': expected bytes such as 512M or 8G");
    }
    if (!(bytes >= 1.0 && bytes <= 1e18)) {
        throw std::runtime_error(what + " '" + text + "': must be 1 byte..1000000T");
    }
    return static_cast<std::uint64_t>(bytes);
}

/// Refuses a render whose images would not fit in memory, before anything is allocated.
void CheckRenderMemory(const RenderOptions& ro, const RenderCommandOptions& opt) {
    MemoryLimit limit = UsableMemory();
    if (!opt.maxMemory.empty())
        limit = {ParseByteCount(opt.maxMemory, "--max-memory"), "--max-memory"};
    const std::uint64_t needed = RenderPeakBytes(ro);
    if (needed <= limit.bytes) return;
    throw std::runtime_error(
        "--size " + opt.size + " with --output " + opt.outputs + " needs about " +
        FormatBytes(needed) + " (" + std::to_string(RenderBytesPerPixel(ro)) +
        " bytes a pixel), more than " + limit.what + " (" + FormatBytes(limit.bytes) +
        "); render a smaller size or fewer outputs, or raise --max-memory");
}

/// The manifest of a run that renders frames `run` of `whole`.
RenderManifest MakeManifest(const AppContext& ctx, const RenderCommandOptions& opt,
                            const RenderOptions& ro, const ArtistPlan& plan, const FrameList& whole,
                            const std::optional<Shard>& shard, const FrameList& run,
                            TextureSource& src) {
    RenderManifest m;
    m.command = ctx.commandLine;
    m.className = opt.className;
    m.scene = opt.source.scene;
    m.entry = src.Label();
    m.width = plan.fullWidth;
    m.height = plan.fullHeight;
    const bool several = int{ro.color} + int{ro.mono} + int{ro.normal} > 1;
    const std::pair<bool, const char*> kinds[] = {
        {ro.color, "color"}, {ro.mono, "mono"}, {ro.normal, "normal"}};
    for (const auto& [wanted, name] : kinds) {
        if (!wanted) continue;
        m.outputs.push_back(name);
        const std::string suffix = std::string("_") + name;
        m.files.push_back(SequencePattern(opt.output, several && suffix != "_color" ? suffix : ""));
    }
    m.bits = opt.bits;
    m.firstFrame = whole.First();
    m.lastFrame = whole.Last();
    m.runFirst = run.First();
    m.runLast = run.Last();
    // A list with gaps says which frames; a plain range is said by its ends.
    if (!whole.Contiguous()) {
        m.frameList = whole.Text();
        m.runList = run.Text();
    }
    if (shard) {
        m.sharded = true;
        m.shardIndex = shard->index;
        m.shardCount = shard->count;
    }
    m.seed = SeedOf(src.Texture());
    m.tile = ro.tile;
    m.tileColumns = plan.repeat.columns;
    m.tileRows = plan.repeat.rows;
    m.loop = opt.loop;
    m.presets = opt.source.presets;
    m.sets = opt.source.sets;
    m.plugins = PluginVersions(ctx.loader, src.Texture());
    return m;
}

/// The most differences a refused --resume lists.
constexpr size_t kMaxListedDifferences = 12;

/// --resume with a manifest there: the frames it recorded may be kept only when they were
/// made as this run would make them (unless --resume=force, which says what differs).
void CheckResumeMatches(const AppContext& ctx, const RenderCommandOptions& opt,
                        const RecordedManifest& recorded, const RenderManifest& asked,
                        TextureSource& src) {
    // The parameters as they stood at the recorded run's first frame, on both sides.
    const std::string text =
        RenderManifestJson(asked, src.Texture(), FramesToTicks(recorded.manifest.runFirst));
    RecordedManifest now;
    std::string err;
    if (!ParseRenderManifest(opt.manifest, text, now, err)) throw std::runtime_error(err);
    const std::vector<std::string> differences = ManifestDifferences(recorded, now);
    if (differences.empty()) return;
    auto listed = [&](const char* separator) {
        std::string list;
        for (size_t i = 0; i < differences.size() && i < kMaxListedDifferences; ++i) {
            list += (i ? separator : "") + differences[i];
        }
        if (differences.size() > kMaxListedDifferences) {
            list += separator + std::string("and ") +
                    std::to_string(differences.size() - kMaxListedDifferences) + " more";
        }
        return list;
    };
    if (opt.resume == "force") {
        ctx.Note(
            "render: --resume=force: %s recorded other settings; frames made with them "
            "are kept:\n  %s\n",
            opt.manifest.c_str(), listed("\n  ").c_str());
        return;
    }
    throw std::runtime_error(opt.manifest + ": the frames there were made otherwise (recorded -> " +
                             "asked): " + listed("; ") +
                             "; render them again without --resume, or keep them with "
                             "--resume=force");
}

/// Writes manifest `m` of the frames `run`.
void WriteManifest(const RenderCommandOptions& opt, const RenderManifest& m, const FrameList& run,
                   TextureSource& src, const SaveOptions& save) {
    const std::string text = RenderManifestJson(m, src.Texture(), FramesToTicks(run.First()));
    std::string err;
    if (!SaveFile(opt.manifest, text.data(), text.size(), save, err)) throw std::runtime_error(err);
}

/// An animation written as one video file rather than a picture a frame.
void RenderVideo(AppContext& ctx, const RenderCommandOptions& opt, const RenderOptions& ro,
                 bool sequence, bool sharded, const FrameList& frames) {
    if (!sequence) throw std::runtime_error(opt.output + ": a video needs --frames A-B");
    if (!frames.Contiguous()) {
        throw std::runtime_error(opt.output + ": a video holds consecutive frames: --frames A-B");
    }
    if (sharded || opt.Resuming() || !opt.manifest.empty()) {
        throw std::runtime_error(opt.output +
                                 ": --shard, --resume and --manifest write image sequences; "
                                 "name one, such as frame_%04d.png");
    }
    if (ro.mono || ro.normal) {
        throw std::runtime_error(opt.output + ": a video holds the colour output only");
    }
    RenderVideoJob job;
    job.output = opt.output;
    job.first = frames.First();
    job.last = frames.Last();
    job.rate = opt.fps;
    job.encoding = opt.encoding;
    job.force = opt.force;
    job.bits = opt.bits;
    job.loop = opt.loop;
    // Checked before anything is loaded or rendered.
    int num = 0, den = 0;
    ParseFrameRate(job.rate, "--fps", num, den);
    std::string err;
    if (!CheckVideoEncoding(job.encoding, err)) throw std::runtime_error(err);
    WatchInterrupt();
    ctx.LoadPlugins();
    TextureSource src(ctx.loader, opt.className, opt.source);
    if (!CheckOutputIsNoInput(opt.output, src.InputFiles(), err)) throw std::runtime_error(err);
    ProgressBar bar("render");
    RenderStats stats;
    RenderToVideo(src.Texture(), ro, job, &InterruptFlag(), bar, stats);
    bar.Finish();
    if (opt.stats) PrintStats(stats);
}

void Run(AppContext& ctx, const RenderCommandOptions& opt) {
    RenderOptions ro;
    ParseSize(opt.size, ro.width, ro.height);
    if (opt.threads < 0) throw std::runtime_error("--threads must be 0 (one per core) or more");
    // More threads than bands or than kMaxRenderThreads are not started (RenderThreadCount).
    ro.threads = opt.threads > 0 ? opt.threads : std::max(1u, std::thread::hardware_concurrency());
    if (!std::isfinite(opt.bumpScale)) throw std::runtime_error("--bump-scale must be a number");
    ro.bumpScale = opt.bumpScale;
    ro.sphere = opt.sphere;
    ro.eyeOffset = opt.eye;
    if (opt.eye != 0.0f && !opt.sphere) throw std::runtime_error("--eye needs --sphere");
    if (!(std::fabs(opt.eye) <= 2.0f)) throw std::runtime_error("--eye must be within -2..2");
    ro.color = ro.mono = ro.normal = false;
    std::string list = opt.outputs + ",";
    for (size_t pos = 0, comma; (comma = list.find(',', pos)) != std::string::npos;
         pos = comma + 1) {
        std::string o = list.substr(pos, comma - pos);
        if (o == "color") {
            ro.color = true;
        } else if (o == "mono") {
            ro.mono = true;
        } else if (o == "normal") {
            ro.normal = true;
        } else {
            throw std::runtime_error("--output '" + o + "': use color, mono and/or normal");
        }
    }
    if (opt.bits != 8 && opt.bits != 16 && opt.bits != 32) {
        throw std::runtime_error("--bits must be 8, 16 or 32");
    }
    const std::string outExt = Lower(std::filesystem::path(opt.output).extension().string());
    if (opt.tx && outExt != ".tx") {
        throw std::runtime_error("--tx writes a texture file: name it with .tx, such as " +
                                 std::filesystem::path(opt.output).stem().string() + ".tx");
    }
    if (!opt.tx && outExt == ".tx") throw std::runtime_error(opt.output + ": .tx files need --tx");
    if (opt.bits == 32 && !opt.tx && outExt != ".exr" && !IsVideoFile(opt.output)) {
        throw std::runtime_error("--bits 32 writes full floats: use .exr (or --tx)");
    }
    ArtistPlan plan;
    plan.fullWidth = ro.width;
    plan.fullHeight = ro.height;
    ro.tile = opt.tile || opt.loop || !opt.tiles.empty();
    if (!opt.tiles.empty()) {
        plan.repeat = ParseTileRepeat(opt.tiles, "--tiles");
        CheckTileFits(plan.repeat, ro.width, ro.height);
    }
    // The texture gets the seed (TextureSource); it is checked here, before any work.
    if (!opt.source.seed.empty()) (void)ParseSeed(opt.source.seed, "--seed");
    if (opt.loop && opt.frames.empty()) {
        throw std::runtime_error("--loop needs a frame range: --frames A-B");
    }
    if (ro.sphere && (ro.tile || !opt.sheet.empty())) {
        throw std::runtime_error(
            "--sphere renders the sample sphere: no --tile, --loop or --sheet");
    }
    CheckRenderMemory(ro, opt);
    ro.width /= plan.repeat.columns;
    ro.height /= plan.repeat.rows;
    if (!opt.sheet.empty()) {
        RunSheet(ctx, opt, ro);
        return;
    }
    bool sequence = !opt.frames.empty();
    // The frames asked for, and those this run renders (its shard); a still is frame 0.
    FrameList whole(FrameRange{0, 0});
    FrameList frames = whole;
    std::optional<Shard> shard;
    if (sequence) {
        whole = ParseFrameList(opt.frames, "--frames");
        shard = RequestedShard(opt.shard, "--shard");
        const std::optional<FrameList> part =
            shard ? ShardOfList(whole, *shard) : std::optional<FrameList>(whole);
        if (shard) {
            const std::string which = "render: shard " + std::to_string(shard->index) + "/" +
                                      std::to_string(shard->count) + " of frames " + opt.frames;
            if (!part) {
                ctx.Note("%s: no frames (more shards than frames)\n", which.c_str());
                return;
            }
            ctx.Note("%s: frames %s\n", which.c_str(), part->Text().c_str());
        }
        frames = *part;
    } else if (!opt.shard.empty()) {
        throw std::runtime_error("--shard needs --frames");
    } else if (opt.Resuming() || !opt.manifest.empty()) {
        throw std::runtime_error(std::string(opt.Resuming() ? "--resume" : "--manifest") +
                                 " needs --frames");
    }
    if (IsVideoFile(opt.output)) {
        if (opt.tx || opt.tags || opt.bits == 32 || !opt.tiles.empty()) {
            throw std::runtime_error(opt.output +
                                     ": --tx, --tags, --bits 32 and --tiles write pictures");
        }
        RenderVideo(ctx, opt, ro, sequence, shard.has_value(), frames);
        return;
    }
    // Ctrl-C from here on, during the final writes too, stops before a file is replaced.
    WatchInterrupt();
    const SaveOptions save{opt.force, &InterruptFlag()};
    // The files of a frame are checked before it is rendered, the first frame's before
    // anything is loaded.
    auto filesOf = [&](int frame) { return RenderFileNames(opt.output, ro, frame, sequence); };
    // The scene and image maps the texture reads, once it is made.
    FileSet inputs;
    auto check = [&](int frame) {
        std::string err;
        for (const std::string& file : filesOf(frame)) {
            const bool ok =
                opt.tx ? CheckOutputFile(file, save, err) : CheckImageOutput(file, save, err);
            if (!ok || !CheckOutputIsNoInput(file, inputs, err)) throw std::runtime_error(err);
        }
    };
    if (opt.Resuming() && opt.resume != "on" && opt.resume != "force") {
        throw std::runtime_error("--resume=" + opt.resume +
                                 ": use --resume, or --resume=force to keep frames made with "
                                 "other settings");
    }
    // Resuming goes on from a run of this program: a manifest already there must be one.
    std::optional<RecordedManifest> recorded;
    if (opt.Resuming() && !opt.manifest.empty()) {
        std::error_code ec;
        std::string err;
        if (std::filesystem::symlink_status(opt.manifest, ec).type() !=
            std::filesystem::file_type::not_found) {
            recorded.emplace();
            if (!ReadRenderManifest(opt.manifest, *recorded, err)) {
                throw std::runtime_error(err +
                                         " (--resume goes on from this program's manifest; "
                                         "name another --manifest, or remove it)");
            }
        }
    }
    // The texture, made once it is needed: at once to compare with a recorded manifest,
    // else after the first frame's files are checked.
    std::optional<TextureSource> source;
    auto load = [&]() -> TextureSource& {
        if (!source) {
            ctx.LoadPlugins();
            source.emplace(ctx.loader, opt.className, opt.source);
        }
        return *source;
    };
    if (recorded) {
        TextureSource& src = load();
        CheckResumeMatches(ctx, opt, *recorded,
                           MakeManifest(ctx, opt, ro, plan, whole, shard, frames, src), src);
    }
    // --resume: frames whose every file reads whole at the size asked for are done. A file
    // there that is not is named with why, the first few of them.
    constexpr int kMaxNamedIncomplete = 10;
    int incomplete = 0;
    auto complete = [&](int frame) {
        std::string why;
        for (const std::string& file : filesOf(frame)) {
            if (ImageComplete(file, plan.fullWidth, plan.fullHeight, why)) continue;
            std::error_code ec;
            if (std::filesystem::symlink_status(file, ec).type() !=
                    std::filesystem::file_type::not_found &&
                ++incomplete <= kMaxNamedIncomplete) {
                ctx.Note("render: --resume: %s; rendering it again\n", why.c_str());
            }
            return false;
        }
        return true;
    };
    const long long frameTotal = frames.Count();
    std::vector<bool> done(opt.Resuming() ? static_cast<size_t>(frameTotal) : 0, false);
    long long remaining = frameTotal;
    if (opt.Resuming()) {
        frames.ForEach([&](long long i, int f) {
            done[static_cast<size_t>(i)] = complete(f);
            remaining -= done[static_cast<size_t>(i)] ? 1 : 0;
        });
    }
    if (opt.Resuming()) {
        ctx.Note("render: --resume: %lld of %lld frames complete already\n", frameTotal - remaining,
                 frameTotal);
    }
    if (!opt.manifest.empty()) {
        std::string err;
        if (!CheckOutputFile(opt.manifest, save, err)) throw std::runtime_error(err);
    }
    if (remaining == 0) return;
    // Frames by their position in the list.
    auto skipped = [&](long long i) { return opt.Resuming() && done[static_cast<size_t>(i)]; };
    int start = -1;
    frames.ForEach([&](long long i, int f) {
        if (start < 0 && !skipped(i)) start = f;
    });
    check(start);
    TextureSource& src = load();
    for (const std::string& file : src.InputFiles()) inputs.Add(file);
    // No frame's file may be an input (looked at now, before any frame is written).
    frames.ForEach([&](long long i, int f) {
        std::string err;
        for (const std::string& file : filesOf(f)) {
            if (!skipped(i) && !CheckOutputIsNoInput(file, inputs, err)) {
                throw std::runtime_error(err);
            }
        }
    });
    if (!opt.manifest.empty()) {
        WriteManifest(opt, MakeManifest(ctx, opt, ro, plan, whole, shard, frames, src), frames, src,
                      save);
    }
    bool reported = false;
    RenderFileOptions files;
    files.file = FileOptions(opt, ro, "color");
    files.repeat = plan.repeat;
    const long long frameCount = remaining;
    ProgressBar bar("render");
    RenderStats stats;
    try {
        long long index = 0;
        frames.ForEach([&](long long position, int f) {
            if (skipped(position)) return;
            ro.time = sequence ? FramesToTicks(f) : FramesToTicks(opt.time);
            if (opt.loop) {
                // A list loops over the span from its first frame to its last.
                const long long count = static_cast<long long>(whole.Last()) - whole.First() + 1;
                ro.shiftX = LoopShift(f - whole.First(), count, ro.width);
                ro.shiftY = LoopShift(f - whole.First(), count, ro.height);
            }
            if (f != start) check(f);
            RenderStats frameStats;
            bool finished = false;
            try {
                finished = RenderToFiles(
                    src.Texture(), ro, filesOf(f), files, save,
                    [&](int rows, int total) {
                        bar.Update(index * total + rows, frameCount * total);
                    },
                    &InterruptFlag(), &frameStats);
            } catch (const RenderWriteError&) {
                // The render ran: what it found is said before the file that failed.
                if (!reported) ReportVariation(src.Texture(), ro);
                throw;
            }
            stats.seconds += frameStats.seconds;
            stats.samples += frameStats.samples;
            stats.isa = frameStats.isa;
            if (!finished) {
                bar.Finish();
                throw std::runtime_error("interrupted; frames written so far are complete");
            }
            if (!reported) {
                ReportVariation(src.Texture(), ro);
                reported = true;
            }
            ++index;
        });
    } catch (const std::bad_alloc&) {
        bar.Finish();
        throw std::runtime_error("render " + opt.size + ": out of memory (it needs about " +
                                 FormatBytes(RenderPeakBytes(ro)) + ")");
    }
    bar.Finish();
    if (opt.stats) PrintStats(stats);
}

}  // namespace

void AddRenderCommand(CLI::App& app, AppContext& ctx) {
    auto opt = std::make_shared<RenderCommandOptions>();
    CLI::App* cmd = app.add_subcommand("render", "Render a texture over the unit square to images");
    cmd->add_option("CLASS", opt->className, "Texture class (omit with --scene)");
    cmd->add_option("-o,--out", opt->output,
                    "Image file (.png, .tif, .exr, .jpg), or with --frames a video file "
                    "(.mkv, .mp4, .mov, ...)")
        ->required();
    cmd->add_option("--fps", opt->fps, "Frames a second of a video output: N or N/D")
        ->capture_default_str();
    cmd->add_option("--codec", opt->encoding.codec,
                    "Video codec of a video output: h264, h265, ffv1, prores or png")
        ->capture_default_str();
    cmd->add_option("--crf", opt->encoding.crf,
                    "Constant rate factor of h264/h265 video (0..51; default: the encoder's)");
    cmd->add_option("--size", opt->size, "Image size WxH")->capture_default_str();
    cmd->add_option("--frames", opt->frames,
                    "Render frames A-B, or a list such as 1-3,5,7-20:2 (files get _NNNN)");
    cmd->add_option("--shard", opt->shard,
                    "Render part K (from 0) of N contiguous parts of --frames (default: the "
                    "Slurm array task's, from SLURM_ARRAY_TASK_ID/_MIN/_COUNT)");
    cmd->add_option("--manifest", opt->manifest,
                    "With --frames: write FILE (JSON) listing the frames, their files, the "
                    "parameters, keys and the command");
    cmd->add_flag("--resume{on}", opt->resume,
                  "With --frames: skip frames whose files exist and read whole at --size; with "
                  "--manifest, refuse when the manifest there records other settings (naming "
                  "them), unless --resume=force");
    cmd->add_option("--time", opt->time, "Time in frames for a single image");
    cmd->add_option("--output", opt->outputs, "What to write: color,mono,normal")
        ->capture_default_str();
    cmd->add_option("--max-memory", opt->maxMemory,
                    "Refuse renders needing more memory than this, e.g. 8G (default: the "
                    "machine's memory, or a lower control-group or ulimit -v limit)");
    cmd->add_option("--threads", opt->threads,
                    "Render threads (default: one per core; at most one per 16 rows and 256)");
    cmd->add_option("--bits", opt->bits,
                    "Bits per channel: 8 or 16 (PNG/TIFF), or 32: full floats in EXR or .tx "
                    "(linear light, tagged)")
        ->capture_default_str();
    cmd->add_flag("--tile", opt->tile,
                  "Render a seamless tile: the noise periodic on whole lattice periods, the waves "
                  "whole cycles (scales round to whole numbers); shapes without a period are "
                  "said on the error stream");
    cmd->add_option("--tiles", opt->tiles,
                    "With a tile: a picture of CxR copies of it (the size must be a whole number "
                    "of pixels a tile)");
    cmd->add_flag("--loop", opt->loop,
                  "With --frames: a looping tile, shifted by one whole period over the range, so "
                  "the frame after the last is the first");
    cmd->add_flag("--tx", opt->tx,
                  "Write a tiled, mip-mapped texture (-o FILE.tx) with OpenImageIO's texture "
                  "maker, tagged; a tile's wrap mode is periodic");
    cmd->add_flag("--tags", opt->tags,
                  "Tag the colour space: sRGB in 8/16-bit files, linear (converted) in float "
                  "files, normal and mono maps as data (on with --tx and --bits 32)");
    cmd->add_option("--sheet", opt->sheet,
                    "A contact sheet in one labelled picture: 'presets' (every preset of the "
                    "texture) or 'seeds:A-B' / 'seeds:N,N,...'");
    cmd->add_option("--bump-scale", opt->bumpScale, "Height of mono 1 for the normal map")
        ->capture_default_str();
    cmd->add_flag("--sphere", opt->sphere, "Render the texture on the lit sample sphere");
    cmd->add_flag("--force", opt->force, "Replace output files that are read-only");
    cmd->add_flag("--stats", opt->stats,
                  "After the render print: stats: render_seconds=S samples=N "
                  "samples_per_second=R isa=NAME (the evaluation alone, no file work)");
    cmd->add_option("--eye", opt->eye,
                    "Sideways eye offset for the sphere, in sphere radii (a stereo pair: two "
                    "renders with opposite offsets)");
    AddTextureSourceOptions(*cmd, opt->source);
    cmd->callback([&ctx, opt] { Run(ctx, *opt); });
}

}  // namespace loom

#pragma once
/// What `render --frames` keeps beside an image sequence: a manifest (JSON) that says how
/// the frames were made, so that a job split over machines can be checked and run again,
/// and the check `--resume` makes before it skips a frame.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/host/sdk/mtl.h"

namespace loom {
class PluginLoader;
}

namespace loom {

struct RenderManifest {
    std::vector<std::string> command;  ///< the command line, program name first
    std::string className;             ///< empty with a scene
    std::string scene, entry;
    int width = 0, height = 0;
    std::vector<std::string> outputs;  ///< color, mono, normal
    std::vector<std::string> files;    ///< each output's file names (SequencePattern)
    int bits = 8;
    int firstFrame = 0, lastFrame = 0;  ///< the whole range asked for
    int runFirst = 0, runLast = 0;      ///< the frames this run renders (its shard)
    /// A list with gaps ("1-3,5,7-19:2"): the whole list and this run's part of it; empty
    /// for a plain range A-B.
    std::string frameList, runList;
    bool sharded = false;
    int shardIndex = 0, shardCount = 1;
    std::vector<std::string> presets, sets;
    /// Every key of every animated parameter, as `--key` takes it ("Sky.U Shift@8=2"):
    /// RenderManifestJson takes them from the texture, whether they came from `--key`, a
    /// preset or a scene.
    std::vector<std::string> keys;
    /// The plug-in libraries whose classes the texture uses, by file name, and their
    /// versions (PluginVersions).
    std::vector<std::pair<std::string, std::string>> plugins;
    /// The seed the frames were rendered with (0: the default seed).
    std::uint32_t seed = 0;
    /// A seamless tile, repeated columns x rows in each picture; `loop`: shifted by a
    /// whole period over the range.
    bool tile = false;
    int tileColumns = 1, tileRows = 1;
    bool loop = false;
};

/// The file names of a sequence written to `base` with `suffix` ("_mono"): printf's
/// notation for the frame number, "out.png" -> "out_%04d.png".
std::string SequencePattern(const std::string& base, const std::string& suffix);

/// The manifest as JSON text, with the parameters of `tex` (and of its sub-maps, as
/// "Slot.Name") as they stand at `time` and the keys of those that are animated
/// (`manifest.keys` is not read).
std::string RenderManifestJson(const RenderManifest& manifest, Texmap* tex, TimeValue time);

/// The library file name and version of each loaded plug-in whose classes `tex` or its
/// sub-maps are, in the order met.
std::vector<std::pair<std::string, std::string>> PluginVersions(const PluginLoader& loader,
                                                                Texmap* tex);

/// A manifest as read back: what RenderManifestJson wrote, with the parameters and
/// sub-map classes it recorded (by name, as text), so that a later run can compare them.
struct RecordedManifest {
    RenderManifest manifest;  ///< command, class or scene, size, outputs, files, frames, ...
    std::vector<std::pair<std::string, std::string>> parameters;  ///< name, value
    std::vector<std::pair<std::string, std::string>> maps;        ///< slot, class
};

/// Parses the text of a manifest that `name` holds. Refuses, with `error` naming `name` and
/// the cause, text that is not JSON, JSON that is not a render manifest of this program
/// (another format or version), and fields that are missing or of the wrong type. Pure;
/// never throws.
bool ParseRenderManifest(const std::string& name, const std::string& text,
                         RecordedManifest& manifest, std::string& error);

/// ParseRenderManifest on the regular file at `path` (at most 16 MiB).
bool ReadRenderManifest(const std::string& path, RecordedManifest& manifest, std::string& error);

/// What differs between the frames a manifest recorded and those a run asks for, in what
/// makes their pixels: the texture, every parameter and sub-map, the keys, the seed, the
/// size, the bits, the outputs and their files, the tile and the plug-ins' versions (the
/// frame range and shard only where a loop's shift depends on them). Each difference reads
/// "WHAT: RECORDED -> ASKED"; none when frames of the one may be kept for the other. Both
/// manifests' parameters must be taken at the same time.
std::vector<std::string> ManifestDifferences(const RecordedManifest& recorded,
                                             const RecordedManifest& asked);

/// Whether `path` is an image that a finished render of this size wrote: it reads whole,
/// at `width` x `height`. False with the reason otherwise (a missing file included).
bool ImageComplete(const std::string& path, int width, int height, std::string& why);

}  // namespace loom

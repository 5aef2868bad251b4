#pragma once
/// Scene files: a graph of objects (each created again by class identity, its own data
/// written by its Save, its references by index) and named roots. Loading checks every
/// length and index, converts older data through the objects' post-load callbacks, and
/// on any failure leaves nothing behind. Saving goes through a temporary file and a
/// rename, so a failed save never damages the file that was there.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/host/sdk/file_io.h"
#include "foundation/host/sdk/refs.h"

namespace loom {

/// A video-post filter entry: which filter class runs and the configuration bytes it
/// stored (its SaveConfigure output). Kept as data; the filter is made when it runs.
struct FilterEntry {
    std::string name;
    SClass_ID superClass = 0;
    Class_ID classId;
    std::vector<std::uint8_t> configuration;
};

/// Holds the roots of a scene as references, each with a name.
class SceneHolder final : public ReferenceMaker {
  public:
    ~SceneHolder() override;
    SClass_ID SuperClassID() override { return 0; }
    int NumRefs() override { return static_cast<int>(roots_.size()); }
    RefTargetHandle GetReference(int i) override;
    void SetReference(int i, RefTargetHandle t) override;
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_DONTCARE;
    }

    /// Adds a root (the holder references it from now on).
    void Add(const std::string& name, ReferenceTarget* object);
    /// Removes every root; objects nothing else holds are deleted.
    void Clear();
    int Count() const { return static_cast<int>(roots_.size()); }
    const std::string& Name(int i) const { return roots_[static_cast<size_t>(i)].name; }
    ReferenceTarget* Object(int i) const { return roots_[static_cast<size_t>(i)].object; }
    /// Index of the root named `name`, or -1.
    int Find(const std::string& name) const;

    /// Filter entries, in the order they were added; their names are apart from the
    /// roots' names.
    const std::vector<FilterEntry>& Filters() const { return filters_; }
    /// Adds a filter entry, or replaces the one of the same name in its place.
    void SetFilter(const FilterEntry& entry);
    /// Index of the filter entry named `name`, or -1.
    int FindFilter(const std::string& name) const;

  private:
    struct Root {
        std::string name;
        ReferenceTarget* object;
    };
    std::vector<Root> roots_;
    std::vector<FilterEntry> filters_;
};

/// How every scene file begins: these eight bytes, then the format's version (32-bit).
inline constexpr char kSceneFileMagic[8] = {'L', 'O', 'O', 'M', 'S', 'C', 'N', '\0'};

struct SceneLoadReport {
    std::uint32_t formatVersion = 0;  ///< the version the file's header names
    bool obsolete = false;            ///< older data was converted while loading
    int objects = 0;
    /// What loaded but not fully, one line each naming the file (a missing image map).
    std::vector<std::string> warnings;
};

/// The scene's bytes. `folder` is the folder of the file they are for: image paths
/// under it are stored relative to it (empty: paths are stored as they are held).
std::vector<std::uint8_t> SaveSceneBytes(const SceneHolder& scene, const std::string& folder = {});
/// Saves through SaveFile (file_io.h): the earlier file is replaced whole or not at all.
bool SaveSceneFile(const std::string& path, const SceneHolder& scene, std::string& error,
                   const SaveOptions& options = {});

/// Loads into `scene` (which must be empty). On failure `scene` stays empty and `error`
/// names the offset and the reason. Relative image paths are taken from `folder` (the
/// scene file's folder; empty: the working folder). LoadSceneFile reads only a regular
/// file, of at most 256 MiB.
bool LoadSceneBytes(const std::uint8_t* data, size_t size, SceneHolder& scene,
                    SceneLoadReport& report, std::string& error, const std::string& folder = {});
bool LoadSceneFile(const std::string& path, SceneHolder& scene, SceneLoadReport& report,
                   std::string& error);

}  // namespace loom

#pragma once
/// A texture as Python holds it: a host texture kept alive by a scene holder of its own
/// (a new texture, an entry of a loaded scene, or a sub-map), driven through the same model
/// functions as the command line (texture_setup.h), so that values, keys, presets, renders
/// and samples are the command line's. Callers hold a ModelHold (model_hold.h) around every
/// call but construction and destruction, which take it themselves, and renders and samples,
/// which hold a RenderHold.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/jobs/frame_render.h"
#include "app/core/model/rand_stream.h"
#include "app/core/model/texture_setup.h"
#include "app/core/render/renderer.h"
#include "foundation/host/sdk/scene_io.h"

namespace loomwork {

/// What a render or a sample gives: EvalColor, EvalMono or the normal map.
enum class Output { kColor, kMono, kNormal };

/// "color", "mono" or "normal"; throws std::runtime_error otherwise.
Output ParseOutput(const std::string& text);

/// Throws std::runtime_error unless a render may be `width` x `height` (1..32768 each).
void CheckRenderSize(int width, int height);

/// A parameter's value with its row type.
struct TypedValue {
    ParamType type = TYPE_FLOAT;
    ParamValue value;
};

/// The generator stream each texture keeps (rand_stream.h).
using RandStream = loom::RandStream;

class Texture {
  public:
    /// A new texture of the named class (the name `loomhost list` shows, or the short
    /// name). Throws NameError for an unknown class.
    explicit Texture(const std::string& className);
    /// An existing texture kept alive by `holder`, which references it; `stream` is the
    /// generator as it stood after the texture was made (loaded).
    Texture(std::shared_ptr<loom::SceneHolder> holder, Texmap* tex, std::string label,
            RandStream stream = {});
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    Texmap* Get() const { return tex_; }
    /// Another handle on the same texture, kept alive by the same holder.
    std::unique_ptr<Texture> Share() const {
        return std::make_unique<Texture>(holder_, tex_, label_, stream_);
    }
    /// The name it was made or loaded under.
    const std::string& Label() const { return label_; }
    /// The class name the plug-in gives (UTF-8).
    std::string ClassName() const;

    /// Parameter names of the texture (not of its sub-maps), in row order.
    std::vector<std::string> ParamNames() const;
    /// Sub-map slot names, in slot order.
    std::vector<std::string> MapNames() const;

    /// The value of parameter `path` ("Name", or "Slot.Name" inside a sub-map) at `frame`.
    /// Throws NameError listing the valid names when there is none of that name.
    TypedValue GetParam(const std::string& path, double frame) const;
    /// The row type of parameter `path`; throws NameError as GetParam.
    ParamType ParamTypeOf(const std::string& path) const;
    /// Sets parameter `path` to `value` at `frame` (the model's SetParam, as `--set` does).
    void SetParam(const std::string& path, const loom::ModelValue& value, double frame);
    /// Adds a key (the model's SetKey, as `--key NAME@FRAME=VALUE` does).
    void Key(const std::string& path, double frame, const loom::ModelValue& value);

    /// The keys of parameter `path`, by time (empty when it is not animated); throws
    /// NameError as GetParam.
    std::vector<ParamKey> Keys(const std::string& path) const;
    /// Removes the key of parameter `path` at `frame`; the last key removed leaves its value
    /// as the parameter's constant value. Throws std::runtime_error when there is no key at
    /// that frame.
    void RemoveKey(const std::string& path, double frame);

    /// The sub-map in slot `path`, or nothing when the slot is empty.
    std::unique_ptr<Texture> GetMap(const std::string& path) const;
    /// Puts `sub` (shared, not copied), the image file `imagePath` (when sub is null and
    /// the path is not empty) or nothing into slot `path`.
    void SetMap(const std::string& path, const Texture* sub, const std::string& imagePath);

    /// Clicks the button with that text in the texture's panel (a preset, palette or
    /// mutation), as `--preset` does.
    void ClickPreset(const std::string& name);

    /// Renders as `loomhost render` does with --time `frame` (and --seed `seed`, --tile
    /// when `tile`). `threads` 0: one per core. Throws std::runtime_error for a bad size or
    /// one that does not fit in memory, or a seed out of range.
    loom::RenderImages Render(int width, int height, double frame, int threads, Output output,
                              std::optional<std::uint32_t> seed = {}, bool tile = false) const;

    /// The texture's seed (saved with it; 0 the default seed).
    std::uint32_t Seed() const;
    /// Sets the seed of the texture and of its sub-maps, as `--seed` does. Throws
    /// std::runtime_error for a seed out of range.
    void SetSeed(std::int64_t seed);

    /// Renders `frames` in turn as Render does with each frame's time and the colour, mono
    /// or normal output, and writes frame i to files[i] at `bits` as write_image does
    /// (RenderFrames): a frame that fails is reported with why and the others go on.
    loom::FramesOutcome RenderFrames(const std::vector<int>& frames,
                                     const std::vector<std::string>& files, int width, int height,
                                     int threads, Output output, int bits) const;

    /// Evaluates the texture at `count` points as `loomhost eval` does (the same bits):
    /// through its batch interface in chunks when it has one and no map of its tree draws
    /// random numbers (RandomDrawingMaps), else point by point. Writes 4
    /// floats a point for colour, 1 for mono, 3 for the normal perturbation.
    void Sample(const double* u, const double* v, std::size_t count, double frame, Output output,
                float* out) const;

  private:
    /// The options of a render as Render takes them, checked: sizes, threads and memory.
    loom::RenderOptions Options(int width, int height, double frame, int threads, Output output,
                                std::optional<std::uint32_t> seed, bool tile) const;
    /// Sample point by point (EvalColor, EvalMono or EvalNormalPerturb), after Update.
    void SampleEach(const double* u, const double* v, std::size_t count, TimeValue t, Output output,
                    float* out) const;
    /// Calls `f`, raising a NameError that lists the valid names for an unknown one.
    template <class F>
    auto Named(F f) const;
    /// NameError for `name` not being a parameter (or slot) of `owner`, listing those.
    [[noreturn]] void ThrowUnknown(Texmap* owner, const std::string& message, bool slots) const;

    std::shared_ptr<loom::SceneHolder> holder_;
    Texmap* tex_ = nullptr;
    std::string label_;
    mutable RandStream stream_;
};

}  // namespace loomwork

#pragma once
/// Renders a texture over the unit square into images: colour (EvalColor), mono
/// (EvalMono) and a tangent-space normal map (EvalNormalPerturb). Pixel (x, y) samples
/// u = (x + 0.5) / width, v = 1 - (y + 0.5) / height, so the top line shows v near 1.
/// Rows are split into bands; the C runtime generator of each band is seeded from the
/// band's index (and the texture's seed, when it has one other than the default), so
/// every thread count gives the same pixels.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/mtl.h"
#include "foundation/host/sdk/texmap_batch.h"

namespace loom {

struct RenderOptions {
    int width = 256;
    int height = 256;
    /// Threads asked for; RenderThreadCount says how many run.
    int threads = 1;
    TimeValue time = 0;
    bool color = true;
    bool mono = false;
    bool normal = false;
    /// Height of the mono value 1 in texture units, for the normal map.
    float bumpScale = 0.05f;
    /// Render the lit sample sphere (sphere.h) instead of the unit square.
    bool sphere = false;
    /// Sideways offset of the eye that sees the sphere, in scene units (sphere radius 1).
    float eyeOffset = 0.0f;
    /// Render a seamless tile: every map of the tree periodic over the unit square for the
    /// render (texmap_variation.h), as it was afterwards.
    bool tile = false;
    /// A seed for every map of the tree for the render (as it was afterwards); none: the
    /// maps' own. The root's seed also seeds the row bands' generators (BandSeed).
    std::optional<std::uint32_t> seed;
    /// The unit square shifted by whole pixels: pixel (x, y) shows what pixel
    /// ((x + shiftX) mod width, (y + shiftY) mod height) shows unshifted (looping tiles).
    int shiftX = 0;
    int shiftY = 0;
};

struct RenderImages {
    FloatImage color, mono, normal;
};

/// What a render measured: the evaluation alone (from the texture's Update to the last
/// row), not the allocation of the images nor any file.
struct RenderStats {
    double seconds = 0.0;
    /// Texture evaluations: one per pixel and output (on the sphere four per pixel, those
    /// that miss it included).
    long long samples = 0;
    /// Instruction set of the texture's batch path ("avx512", "avx2", "sse2", "scalar"),
    /// or "none" for a texture without one.
    const char* isa = "none";
};

/// Called on the calling thread with rows done and rows in all.
using RenderProgress = std::function<void(int done, int total)>;

/// Updates the texture at the render time, then renders. Returns false when `abort`
/// was raised (images are then incomplete). Throws std::runtime_error naming the system's
/// reason when a render thread cannot be started; every thread started is joined before
/// it returns or throws. `stats`, when given, receives what the render measured.
///
/// A texture with a batch interface (texmap_batch.h) is evaluated a row at a time, with the
/// same pixels as sample by sample; one that draws random numbers is evaluated pixel by
/// pixel when more than one output is wanted, since each pixel's outputs draw in turn.
/// Working arrays are made once per thread, never per row.
bool RenderTexture(Texmap* tex, const RenderOptions& opt, RenderImages& out,
                   const RenderProgress& progress = {}, const std::atomic<bool>* abort = nullptr,
                   RenderStats* stats = nullptr);

/// Rows per band; also the unit of the per-band seed.
inline constexpr int kRenderBandRows = 16;

/// The most render threads started, whatever is asked: far above any core count, far
/// below the system's thread limits.
inline constexpr int kMaxRenderThreads = 256;

/// Threads a render with `opt` runs: opt.threads brought into 1..min(row bands,
/// kMaxRenderThreads), since a thread without a band of its own would only wait.
int RenderThreadCount(const RenderOptions& opt);

}  // namespace loom

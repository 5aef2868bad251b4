#include "dioptrix/strip_composition.h"

#include <unistd.h>

#include <algorithm>
#include <new>

#include "dioptrix/compose_avx512.h"
#include "foundation/host/base/vector_level.h"
#include "foundation/host/sdk/filters.h"

namespace {

/// Bytes a strip pixel takes in the first-level cache: two working lines and the bitmaps'
/// lines at their widest storage.
constexpr std::size_t kBytesPerStripPixel = 4 * sizeof(BMM_Color_64);
constexpr int kStripStep = 64;
constexpr int kNarrowestStrip = 128;
constexpr int kWidestStrip = 4096;
/// What a processor that does not say has at least.
constexpr std::size_t kAssumedCacheBytes = 32 * 1024;

/// The part of a stored line from pixel `x` on; none where x lies at or past its end.
loom::StoredLine From(const loom::StoredLine& line, int x) noexcept {
    if (!line.bytes || x >= line.width) return {};
    return {line.bytes + static_cast<std::ptrdiff_t>(x) * line.pixelBytes, line.width - x,
            line.pixelBytes};
}

/// The `run` pixels to read ahead from pixel `x` of line `y` of a bitmap: in line y where
/// they fit, otherwise from the start of the part they reach into in line y + 1, which is
/// read next; none past the bitmap.
loom::StoredLine Ahead(const Bitmap* bm, int y, int x, int run) noexcept {
    const int width = loom::StorageWidth(bm);
    if (x + run <= width) return From(loom::StorageLine(bm, y), x);
    return From(loom::StorageLine(bm, y + 1), std::max(0, x - width));
}

/// Composes line `y` where both views are packed frames of the same depth whose foreground
/// spans the source's line: the AVX-512 kernels read and write the packed pixels where they
/// lie, converting as they go, so no pixel passes through a working line or the host's
/// conversions. Answers false, touching nothing, where they do not apply.
bool ComposePackedLine(const LineComposer& s, Bitmap& source, const Bitmap* foreground,
                       int y) noexcept {
    using loom::PixelStorage;
    if (s.kernel != ComposeKernel::kAvx512 || !foreground || foreground == &source ||
        source.Storage() != foreground->Storage() ||
        loom::StorageWidth(foreground) < source.Width()) {
        return false;
    }
    const bool sixteen = source.Storage() == PixelStorage::kPackedRgb48;
    const bool eight = source.Storage() == PixelStorage::kPackedRgb24 &&
                       loom::ActiveVectorExtension(loom::VectorExtension::kAvx512Vbmi);
    if (!sixteen && !eight) return false;
    std::uint8_t* const a = loom::StoredPackedLine(&source, y);
    const std::uint8_t* const b = loom::StoredPackedLine(foreground, y);
    if (!a || !b) return false;
    return sixteen ? ComposePackedLineAvx512(s, a, b, source.Width())
                   : ComposePackedRgb24LineAvx512(s, a, b, source.Width());
}

}  // namespace

int StripPixelsForCache(std::size_t cacheBytes) noexcept {
    if (cacheBytes == 0) cacheBytes = kAssumedCacheBytes;
    const std::size_t pixels =
        std::min<std::size_t>(cacheBytes / 4 / kBytesPerStripPixel, std::size_t{kWidestStrip});
    const int strip = static_cast<int>(pixels) / kStripStep * kStripStep;
    return std::max(strip, kNarrowestStrip);
}

int StripPixels() noexcept {
    static const int strip = [] {
        long bytes = 0;
#if defined(_SC_LEVEL1_DCACHE_SIZE)
        bytes = sysconf(_SC_LEVEL1_DCACHE_SIZE);
#endif
        return StripPixelsForCache(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    }();
    return strip;
}

void StripLines::AlignedDelete::operator()(BMM_Color_64* line) const noexcept {
    ::operator delete[](line, std::align_val_t{64});
}

StripLines::StripLines(int pictureWidth, int strip) {
    width_ = std::max(1, std::min(pictureWidth, strip));
    const auto make = [this]() -> Line {
        const std::size_t count = static_cast<std::size_t>(width_);
        void* bytes =
            ::operator new[](count * sizeof(BMM_Color_64), std::align_val_t{64}, std::nothrow);
        if (!bytes) return nullptr;
        auto* line = static_cast<BMM_Color_64*>(bytes);
        std::uninitialized_value_construct_n(line, count);
        return Line(line);
    };
    a_ = make();
    b_ = make();
    bBlack_ = true;  // value-constructed pixels are black
}

bool ComposeLineInStrips(const LineComposer& s, Bitmap& source, const Bitmap* foreground, int y,
                         StripLines& lines) noexcept {
    if (!lines.Ready()) return false;
    if (ComposePackedLine(s, source, foreground, y)) return true;
    const int width = loom::StorageWidth(&source);
    const int foregroundWidth = std::min(width, loom::StorageWidth(foreground));
    const bool foregroundLine = y < loom::StorageHeight(foreground);
    // 16-bit storage is composed where it lies: reading it out and writing it back would
    // copy the pixels unchanged and cost more than the composition. A foreground that is
    // the source itself is still read out, before its strip is composed.
    BMM_Color_64* const sourceLine = loom::StoredPixels(&source, y);
    const BMM_Color_64* const foregroundStored =
        foregroundLine && foreground != &source ? loom::StoredPixels(foreground, y) : nullptr;
    // Two strips ahead in each bitmap: asked for while this strip is composed, they have
    // arrived when they are read. (Reading two lines ahead instead, as the whole-line
    // composition did, the 4K render ran about a fifth slower.)
    const int aheadPixels = 2 * lines.width_;
    for (int x = 0; x < width; x += lines.width_) {
        const int run = std::min(lines.width_, width - x);
        BMM_Color_64* a = sourceLine ? sourceLine + x : lines.a_.get();
        if (!sourceLine && source.GetPixels(x, y, run, a) != 1) return false;
        const int read = foregroundLine ? std::clamp(foregroundWidth - x, 0, run) : 0;
        const BMM_Color_64* b = lines.b_.get();
        if (foregroundStored && read == run) {
            b = foregroundStored + x;
        } else {
            BMM_Color_64* working = lines.b_.get();
            if (read > 0) {
                if (foreground->GetPixels(x, y, read, working) != 1) return false;
                lines.bBlack_ = false;
            }
            if (read < run && !lines.bBlack_) {
                // Past the foreground, black. Composition never writes to b, so a whole
                // fill serves every strip after it until the foreground is read again.
                std::fill(working + read, working + lines.width_, BMM_Color_64{});
                lines.bBlack_ = read == 0;
            }
        }
        ComposeLine(
            s, a, b, run,
            {Ahead(&source, y, x + aheadPixels, run), Ahead(foreground, y, x + aheadPixels, run)});
        if (!sourceLine && source.PutPixels(x, y, run, a) != 1) return false;
    }
    return true;
}

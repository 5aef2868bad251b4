#pragma once
/// The render's composition of a bitmap line in strips: each strip of the two views is read
/// into a pair of working lines a few hundred pixels wide, composed there (ComposeLine) and
/// written back. Working lines as wide as the picture (30 KB each at 3840 pixels) do not
/// both fit the first-level cache beside the bitmaps' lines streaming through it; strips
/// do, so the composition moves little more than the bitmaps' own bytes. Views in 16-bit
/// storage, which reading and writing would copy unchanged, are composed where they lie
/// (loom::StoredPixels); so are packed 16-bit video frames where the AVX-512 kernel runs,
/// which converts them as it goes (ComposePackedLineAvx512, loom::StoredPackedLine). Every
/// pixel composes alone, so the result is the whole line's bit for bit at any strip width.

#include <cstddef>
#include <memory>

#include "dioptrix/composite.h"
#include "foundation/host/sdk/bitmap.h"

/// The strip width for a first-level data cache of `cacheBytes` (0 when unknown): the two
/// working lines and the strip's bytes in both bitmaps (at most 8 bytes a pixel each) take
/// about a quarter of the cache, and the two strips read ahead in both bitmaps as much
/// again. (The 4K render ran about a tenth faster in strips of 384 pixels than of 768: the
/// copies between the bitmaps and the working lines ask for nothing ahead, and shorter
/// ones leave the memory idle for less.) A multiple of 64 pixels, 128 to 4096.
int StripPixelsForCache(std::size_t cacheBytes) noexcept;

/// StripPixelsForCache of this processor's first-level data cache, asked once.
int StripPixels() noexcept;

/// The two working lines of a strip composition: `a` takes the source's pixels and the
/// result, `b` the foreground's. Made once per render, used by one thread.
class StripLines {
  public:
    /// Lines of min(`pictureWidth`, `strip`) pixels (at least one), 64-byte aligned;
    /// null (Ready() false) when the memory cannot be had. Two allocations.
    StripLines(int pictureWidth, int strip);
    bool Ready() const noexcept { return a_ && b_; }
    int Width() const noexcept { return width_; }

  private:
    friend bool ComposeLineInStrips(const LineComposer&, Bitmap&, const Bitmap*, int,
                                    StripLines&) noexcept;
    struct AlignedDelete {
        void operator()(BMM_Color_64* line) const noexcept;
    };
    using Line = std::unique_ptr<BMM_Color_64[], AlignedDelete>;
    Line a_;
    Line b_;
    int width_ = 0;
    /// `b` holds black pixels only: lines below the foreground need no fill.
    bool bBlack_ = false;
};

/// Composes line `y` of `source` (StorageWidth pixels) with line `y` of `foreground` in
/// place, strip by strip: the foreground is black beyond its storage width and height (a
/// null foreground is black throughout), and each bitmap's pixels two strips on (in the
/// next line past the end of this one) are read ahead. Answers false
/// when a read or a write of the bitmaps fails (strips written before stay composed) or the
/// lines are not Ready(); y must lie inside the source. Allocates nothing.
bool ComposeLineInStrips(const LineComposer& s, Bitmap& source, const Bitmap* foreground, int y,
                         StripLines& lines) noexcept;

#pragma once
/// The two views of a stereo frame (side by side, or one above the other) converted to
/// packed RGB straight out of the decoded frame, one region at a time, instead of
/// converting the whole frame and copying each view out of it: a frame's worth of copying
/// less. Only where the two give the same bytes, which depends on how swscale converts the
/// format (each pixel from its own samples, or chroma blended across the views' edge): that
/// is tried once for each format, size and colour description on a frame of random samples.

#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
struct SwsContext;

namespace loom {

/// Where a view lies in the frame, and the packed pixels it goes to (rows without padding).
struct ViewPlace {
    int x = 0, y = 0;
    std::uint8_t* to = nullptr;
};

class StraightViews {
  public:
    StraightViews() = default;
    ~StraightViews();
    StraightViews(const StraightViews&) = delete;
    StraightViews& operator=(const StraightViews&) = delete;

    /// Converts the `viewWidth` x `viewHeight` regions of `frame` at `places` to `target`
    /// (RGB24 or RGB48) with the colour matrix `coefficients` (sws_getCoefficients) and
    /// range, when that gives the bytes the whole frame's conversion (same flags and colour
    /// description) gives those regions. False otherwise: the views are to be converted
    /// another way.
    bool Convert(const AVFrame& frame, AVPixelFormat target, const int* coefficients,
                 bool fullRange, int viewWidth, int viewHeight, const ViewPlace (&places)[2]);

  private:
    struct Key {
        int format = -1, width = 0, height = 0, target = -1, viewWidth = 0, viewHeight = 0;
        int x[2] = {0, 0}, y[2] = {0, 0};
        const int* coefficients = nullptr;
        bool fullRange = false;
        bool operator==(const Key&) const = default;
    };
    bool SameBytes(const Key& key);
    bool ConvertRegions(const AVFrame& frame, const Key& key, const ViewPlace (&places)[2]);

    SwsContext* view_ = nullptr;   // one view's size
    SwsContext* whole_ = nullptr;  // the whole frame's, for the trial only
    Key decided_;
    bool straight_ = false;
};

}  // namespace loom

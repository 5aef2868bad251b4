#include "app/core/stereo/output_layout.h"

#include <algorithm>
#include <stdexcept>

namespace loom::stereo {
namespace {

struct Named {
    OutputLayout layout;
    const char* name;
};
constexpr Named kNames[] = {
    {OutputLayout::kAnaglyph, "anaglyph"},
    {OutputLayout::kSideBySide, "sbs"},
    {OutputLayout::kSideBySideHalf, "sbs-half"},
    {OutputLayout::kTopBottom, "tb"},
    {OutputLayout::kTopBottomHalf, "tb-half"},
    {OutputLayout::kRows, "rows"},
    {OutputLayout::kColumns, "columns"},
    {OutputLayout::kCheckerboard, "checkerboard"},
    {OutputLayout::kLeft, "left"},
    {OutputLayout::kRight, "right"},
};

WORD Mean(WORD a, WORD b) { return static_cast<WORD>((static_cast<unsigned>(a) + b + 1) / 2); }

BMM_Color_64 Mean(const BMM_Color_64& a, const BMM_Color_64& b) {
    return {Mean(a.r, b.r), Mean(a.g, b.g), Mean(a.b, b.b), Mean(a.a, b.a)};
}

}  // namespace

std::optional<OutputLayout> ParseOutputLayout(const std::string& name) {
    for (const Named& n : kNames) {
        if (name == n.name) return n.layout;
    }
    return std::nullopt;
}

std::string OutputLayoutChoices() {
    std::string text;
    for (const Named& n : kNames) text += (text.empty() ? "" : ", ") + std::string(n.name);
    return text;
}

void ArrangedSize(OutputLayout layout, int width, int height, int& outWidth, int& outHeight) {
    outWidth = layout == OutputLayout::kSideBySide ? 2 * width : width;
    outHeight = layout == OutputLayout::kTopBottom ? 2 * height : height;
}

Image16 ArrangeViews(OutputLayout layout, const Image16& left, const Image16& right) {
    if (left.width != right.width || left.height != right.height) {
        throw std::invalid_argument("the views differ in size");
    }
    const int w = left.width, h = left.height;
    Image16 out;
    ArrangedSize(layout, w, h, out.width, out.height);
    out.bits = std::max(left.bits, right.bits);
    out.hasAlpha = left.hasAlpha || right.hasAlpha;
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    const auto in = [](const Image16& v, int x, int y) -> const BMM_Color_64& {
        return v.pixels[static_cast<std::size_t>(y) * v.width + x];
    };
    for (int y = 0; y < out.height; ++y) {
        BMM_Color_64* row = &out.pixels[static_cast<std::size_t>(y) * out.width];
        for (int x = 0; x < out.width; ++x) {
            switch (layout) {
                case OutputLayout::kSideBySide:
                    row[x] = x < w ? in(left, x, y) : in(right, x - w, y);
                    break;
                case OutputLayout::kSideBySideHalf: {
                    const Image16& v = x < w - w / 2 ? left : right;
                    // Output column x of its half shows view columns 2x and 2x + 1.
                    const int sx = 2 * (x < w - w / 2 ? x : x - (w - w / 2));
                    row[x] = Mean(in(v, std::min(sx, w - 1), y), in(v, std::min(sx + 1, w - 1), y));
                    break;
                }
                case OutputLayout::kTopBottom:
                    row[x] = y < h ? in(left, x, y) : in(right, x, y - h);
                    break;
                case OutputLayout::kTopBottomHalf: {
                    const Image16& v = y < h - h / 2 ? left : right;
                    const int sy = 2 * (y < h - h / 2 ? y : y - (h - h / 2));
                    row[x] = Mean(in(v, x, std::min(sy, h - 1)), in(v, x, std::min(sy + 1, h - 1)));
                    break;
                }
                case OutputLayout::kRows:
                    row[x] = in(y % 2 == 0 ? left : right, x, y);
                    break;
                case OutputLayout::kColumns:
                    row[x] = in(x % 2 == 0 ? left : right, x, y);
                    break;
                case OutputLayout::kCheckerboard:
                    row[x] = in((x + y) % 2 == 0 ? left : right, x, y);
                    break;
                case OutputLayout::kRight:
                    row[x] = in(right, x, y);
                    break;
                case OutputLayout::kLeft:
                case OutputLayout::kAnaglyph:
                    row[x] = in(left, x, y);
                    break;
            }
        }
    }
    return out;
}

}  // namespace loom::stereo

#include "app/core/stereo/stereo_layout.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

namespace loom {
namespace {

struct LayoutName {
    StereoLayout layout;
    const char* name;
};

// clang-format off
constexpr LayoutName kNames[kStereoLayoutCount] = {
    {StereoLayout::kSideBySideLeftFirst,      "sbs-left"},
    {StereoLayout::kSideBySideRightFirst,     "sbs-right"},
    {StereoLayout::kSideBySideHalfLeftFirst,  "sbs-half-left"},
    {StereoLayout::kSideBySideHalfRightFirst, "sbs-half-right"},
    {StereoLayout::kTopBottomLeftTop,         "tb-left"},
    {StereoLayout::kTopBottomLeftBottom,      "tb-right"},
    {StereoLayout::kTopBottomHalfLeftTop,     "tb-half-left"},
    {StereoLayout::kTopBottomHalfLeftBottom,  "tb-half-right"},
};
// clang-format on

StereoLayout Make(bool sideBySide, bool half, bool leftFirst) {
    if (sideBySide) {
        if (half) {
            return leftFirst ? StereoLayout::kSideBySideHalfLeftFirst
                             : StereoLayout::kSideBySideHalfRightFirst;
        }
        return leftFirst ? StereoLayout::kSideBySideLeftFirst : StereoLayout::kSideBySideRightFirst;
    }
    if (half) {
        return leftFirst ? StereoLayout::kTopBottomHalfLeftTop
                         : StereoLayout::kTopBottomHalfLeftBottom;
    }
    return leftFirst ? StereoLayout::kTopBottomLeftTop : StereoLayout::kTopBottomLeftBottom;
}

bool HalfByShape(bool sideBySide, int width, int height) {
    if (width <= 0 || height <= 0) return false;
    return sideBySide ? width * 2 < height * 5 : height * 10 < width * 9;
}

std::vector<std::string> Tokens(const std::string& path) {
    std::string base = std::filesystem::path(path).stem().string();
    std::vector<std::string> out(1);
    for (char c : base) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            out.back() += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!out.back().empty()) {
            out.emplace_back();
        }
    }
    if (out.back().empty()) out.pop_back();
    return out;
}

// A name token's packing: 's' side by side, 't' top-bottom; half 'h', full 'f' or
// unknown '?'; left first or not.
struct Hint {
    const char* token;
    char packing;
    char size;
    bool leftFirst;
};

// clang-format off
constexpr Hint kHints[] = {
    {"sbs", 's', '?', true},  {"hsbs", 's', 'h', true},  {"fsbs", 's', 'f', true},
    {"halfsbs", 's', 'h', true}, {"fullsbs", 's', 'f', true},
    {"lr", 's', '?', true},   {"rl", 's', '?', false},
    {"tab", 't', '?', true},  {"htab", 't', 'h', true},  {"ftab", 't', 'f', true},
    {"ou", 't', '?', true},   {"hou", 't', 'h', true},   {"fou", 't', 'f', true},
    {"halftab", 't', 'h', true}, {"fulltab", 't', 'f', true},
    {"halfou", 't', 'h', true},  {"fullou", 't', 'f', true},
    {"tb", 't', '?', true},   {"bt", 't', '?', false},
};
// clang-format on

WORD Mix(WORD near, WORD far) { return static_cast<WORD>((3u * near + far + 2u) / 4u); }

BMM_Color_64 Mix(const BMM_Color_64& near, const BMM_Color_64& far) {
    return {Mix(near.r, far.r), Mix(near.g, far.g), Mix(near.b, far.b), Mix(near.a, far.a)};
}

void Resize(Image16& view, const Image16& frame, int w, int h) {
    view.width = w;
    view.height = h;
    view.bits = frame.bits;
    view.hasAlpha = frame.hasAlpha;
    view.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
}

// Copies the region at (x0, y0) of the view's size, or of half its width or height,
// stretching it back.
void TakeView(const Image16& frame, int x0, int y0, bool halfWidth, bool halfHeight,
              Image16& view) {
    const size_t w = static_cast<size_t>(view.width), h = static_cast<size_t>(view.height);
    const size_t stride = static_cast<size_t>(frame.width);
    const BMM_Color_64* origin =
        frame.pixels.data() + static_cast<size_t>(y0) * stride + static_cast<size_t>(x0);
    BMM_Color_64* out = view.pixels.data();
    if (!halfWidth && !halfHeight) {
        for (size_t y = 0; y < h; ++y) std::copy_n(origin + y * stride, w, out + y * w);
        return;
    }
    if (halfWidth) {
        const size_t sw = w / 2;
        for (size_t y = 0; y < h; ++y) {
            const BMM_Color_64* row = origin + y * stride;
            BMM_Color_64* line = out + y * w;
            for (size_t k = 0; k < sw; ++k) {
                line[2 * k] = Mix(row[k], row[k > 0 ? k - 1 : 0]);
                line[2 * k + 1] = Mix(row[k], row[k + 1 < sw ? k + 1 : sw - 1]);
            }
        }
        return;
    }
    const size_t sh = h / 2;
    for (size_t y = 0; y < h; ++y) {
        const size_t k = y / 2;
        const size_t far = y % 2 == 0 ? (k > 0 ? k - 1 : 0) : (k + 1 < sh ? k + 1 : sh - 1);
        const BMM_Color_64* nearRow = origin + k * stride;
        const BMM_Color_64* farRow = origin + far * stride;
        BMM_Color_64* line = out + y * w;
        for (size_t x = 0; x < w; ++x) line[x] = Mix(nearRow[x], farRow[x]);
    }
}

}  // namespace

const char* StereoLayoutName(StereoLayout layout) {
    for (const LayoutName& n : kNames) {
        if (n.layout == layout) return n.name;
    }
    return "?";
}

std::string StereoLayoutChoices() {
    std::string s;
    for (const LayoutName& n : kNames) {
        if (!s.empty()) s += ", ";
        s += n.name;
    }
    return s;
}

std::optional<StereoLayout> ParseStereoLayout(const std::string& name) {
    for (const LayoutName& n : kNames) {
        if (name == n.name) return n.layout;
    }
    return std::nullopt;
}

bool IsSideBySide(StereoLayout layout) { return layout <= StereoLayout::kSideBySideHalfRightFirst; }

bool IsHalf(StereoLayout layout) {
    switch (layout) {
        case StereoLayout::kSideBySideHalfLeftFirst:
        case StereoLayout::kSideBySideHalfRightFirst:
        case StereoLayout::kTopBottomHalfLeftTop:
        case StereoLayout::kTopBottomHalfLeftBottom:
            return true;
        default:
            return false;
    }
}

bool LeftFirst(StereoLayout layout) {
    switch (layout) {
        case StereoLayout::kSideBySideRightFirst:
        case StereoLayout::kSideBySideHalfRightFirst:
        case StereoLayout::kTopBottomLeftBottom:
        case StereoLayout::kTopBottomHalfLeftBottom:
            return false;
        default:
            return true;
    }
}

std::optional<StereoLayout> LayoutFromFileName(const std::string& path, int width, int height) {
    const std::vector<std::string> tokens = Tokens(path);
    for (size_t i = 0; i < tokens.size(); ++i) {
        for (const Hint& h : kHints) {
            if (tokens[i] != h.token) continue;
            char size = h.size;
            // "half-sbs", "full_ou": the size is a token of its own.
            if (size == '?' && i > 0 && tokens[i - 1] == "half") size = 'h';
            if (size == '?' && i > 0 && tokens[i - 1] == "full") size = 'f';
            const bool sideBySide = h.packing == 's';
            const bool half = size == '?' ? HalfByShape(sideBySide, width, height) : size == 'h';
            return Make(sideBySide, half, h.leftFirst);
        }
    }
    return std::nullopt;
}

std::optional<StereoLayout> LayoutFromPacking(bool sideBySide, bool rightFirst, int width,
                                              int height) {
    return Make(sideBySide, HalfByShape(sideBySide, width, height), !rightFirst);
}

bool ViewSize(StereoLayout layout, int width, int height, int& viewWidth, int& viewHeight,
              std::string& error) {
    const bool sbs = IsSideBySide(layout);
    const bool half = IsHalf(layout);
    viewWidth = sbs ? (half ? width / 2 * 2 : width / 2) : width;
    viewHeight = sbs ? height : (half ? height / 2 * 2 : height / 2);
    if (viewWidth < 1 || viewHeight < 1) {
        error = std::string("a ") + std::to_string(width) + "x" + std::to_string(height) +
                " frame holds no two views in layout " + StereoLayoutName(layout);
        return false;
    }
    return true;
}

void SplitViews(StereoLayout layout, const Image16& frame, Image16& left, Image16& right) {
    int w = 0, h = 0;
    std::string unused;
    if (!ViewSize(layout, frame.width, frame.height, w, h, unused)) return;
    Resize(left, frame, w, h);
    Resize(right, frame, w, h);
    const bool sbs = IsSideBySide(layout), half = IsHalf(layout);
    // The second view starts where the frame's second half does (an odd middle is dropped).
    const int x1 = sbs ? frame.width - frame.width / 2 : 0;
    const int y1 = sbs ? 0 : frame.height - frame.height / 2;
    Image16& first = LeftFirst(layout) ? left : right;
    Image16& second = LeftFirst(layout) ? right : left;
    TakeView(frame, 0, 0, sbs && half, !sbs && half, first);
    TakeView(frame, x1, y1, sbs && half, !sbs && half, second);
}

}  // namespace loom

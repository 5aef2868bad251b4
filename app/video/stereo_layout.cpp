#include "app/video/stereo_layout.h"

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
    const int w = view.width, h = view.height;
    const int sw = halfWidth ? w / 2 : w, sh = halfHeight ? h / 2 : h;
    auto src = [&](int x, int y) -> const BMM_Color_64& {
        x = std::clamp(x, 0, sw - 1);
        y = std::clamp(y, 0, sh - 1);
        return frame.pixels[static_cast<size_t>(y0 + y) * static_cast<size_t>(frame.width) +
                            static_cast<size_t>(x0 + x)];
    };
    for (int y = 0; y < h; ++y) {
        BMM_Color_64* out = view.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        const int sy = halfHeight ? y / 2 : y;
        const int farY = halfHeight ? (y % 2 == 0 ? sy - 1 : sy + 1) : sy;
        for (int x = 0; x < w; ++x) {
            const int sx = halfWidth ? x / 2 : x;
            if (halfWidth) {
                const int farX = x % 2 == 0 ? sx - 1 : sx + 1;
                BMM_Color_64 a = Mix(src(sx, sy), src(farX, sy));
                out[x] = halfHeight ? Mix(a, Mix(src(sx, farY), src(farX, farY))) : a;
            } else {
                out[x] = halfHeight ? Mix(src(sx, sy), src(sx, farY)) : src(sx, sy);
            }
        }
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

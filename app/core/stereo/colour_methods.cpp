#include "app/core/stereo/colour_methods.h"

#include "app/core/stereo/colour_rgb24_vbmi.h"
#include "foundation/host/base/text.h"
#include "foundation/host/base/vector_level.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace loom::stereo {
namespace {

// Rec. 601 luminance weights, the usual ones for half-colour anaglyphs.
constexpr float kLr = 0.299f, kLg = 0.587f, kLb = 0.114f;

// clang-format off
// [method - 1][glasses]: half-colour, colour, Dubois; red-cyan, green-magenta, amber-blue.
constexpr ColourMatrix kMatrices[3][3] = {
    {   // Half-colour.
        {{{kLr, kLg, kLb}, {0, 0, 0}, {0, 0, 0}},             // red: left luminance
         {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}}},                  // cyan: right green, blue
        {{{0, 0, 0}, {kLr, kLg, kLb}, {0, 0, 0}},             // green: left luminance
         {{1, 0, 0}, {0, 0, 0}, {0, 0, 1}}},                  // magenta: right red, blue
        {{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}},                   // amber: left red, green
         {{0, 0, 0}, {0, 0, 0}, {kLr, kLg, kLb}}},            // blue: right luminance
    },
    {   // Colour.
        {{{1, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
        {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, {{1, 0, 0}, {0, 0, 0}, {0, 0, 1}}},
        {{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 1}}},
    },
    {   // Dubois, least squares.
        {{{ 0.456100f,   0.500484f,   0.176381f},
          {-0.0400822f, -0.0378246f, -0.0157589f},
          {-0.0152161f, -0.0205971f, -0.00546856f}},
         {{-0.0434706f, -0.0879388f, -0.00155529f},
          { 0.378476f,   0.73364f,   -0.0184503f},
          {-0.0721527f, -0.112961f,   1.2264f}}},
        {{{-0.062f, -0.158f, -0.039f},
          { 0.284f,  0.668f,  0.143f},
          {-0.015f, -0.027f,  0.021f}},
         {{ 0.529f,  0.705f,  0.024f},
          {-0.016f, -0.015f, -0.065f},
          { 0.009f,  0.075f,  0.937f}}},
        {{{ 1.062f, -0.205f,  0.299f},
          {-0.026f,  0.908f,  0.068f},
          {-0.038f, -0.173f,  0.022f}},
         {{-0.016f, -0.123f, -0.017f},
          { 0.006f,  0.062f, -0.017f},
          { 0.094f,  0.185f,  0.911f}}},
    },
};
// clang-format on

// Pixels a step: the compiler runs each step's arithmetic in vector registers, every lane
// doing what one pixel alone would, in the same order, so the bits are those of a pixel at
// a time.
constexpr int kBlock = 16;

// The red, green and blue of a step's pixels, channel by channel.
struct Block {
    float c[3][kBlock];
};

// Reads n <= kBlock pixels of each kind of line into a Block; lanes past n are 0. The
// pixels are copied out first, so that the loops over the lanes have no conditions.
struct WideLine {
    const BMM_Color_64* p;
    void Load(int at, int n, Block& b) const noexcept {
        BMM_Color_64 px[kBlock] = {};
        std::memcpy(px, p + at, static_cast<std::size_t>(n) * sizeof(BMM_Color_64));
        for (int i = 0; i < kBlock; ++i) b.c[0][i] = static_cast<float>(px[i].r);
        for (int i = 0; i < kBlock; ++i) b.c[1][i] = static_cast<float>(px[i].g);
        for (int i = 0; i < kBlock; ++i) b.c[2][i] = static_cast<float>(px[i].b);
    }
    WORD Alpha(int x) const noexcept { return p[x].a; }
};
// Packed RGB24 pixels read as the 16-bit values they widen to (v x 257, alpha full).
struct Rgb24Line {
    const std::uint8_t* p;
    void Load(int at, int n, Block& b) const noexcept {
        std::uint8_t rgb[3 * kBlock] = {};
        std::memcpy(rgb, p + static_cast<std::size_t>(at) * 3, static_cast<std::size_t>(n) * 3);
        for (int k = 0; k < 3; ++k) {
            for (int i = 0; i < kBlock; ++i) {
                b.c[k][i] = static_cast<float>(static_cast<WORD>(rgb[3 * i + k] * 257));
            }
        }
    }
    WORD Alpha(int) const noexcept { return 65535; }
};
// Packed RGB48 pixels (three 16-bit values in the machine's order, alpha full).
struct Rgb48Line {
    const std::uint8_t* p;
    void Load(int at, int n, Block& b) const noexcept {
        WORD rgb[3 * kBlock] = {};
        std::memcpy(rgb, p + static_cast<std::size_t>(at) * 6, static_cast<std::size_t>(n) * 6);
        for (int k = 0; k < 3; ++k) {
            for (int i = 0; i < kBlock; ++i) b.c[k][i] = static_cast<float>(rgb[3 * i + k]);
        }
    }
    WORD Alpha(int) const noexcept { return 65535; }
};

// A channel as the colour methods define it: the matrix sum in single precision, left to
// right, clamped to 0..65535 (first, so the conversion never meets a value out of range)
// and rounded to nearest.
WORD OneChannel(const float* ml, const float* mr, const float* l, const float* r) noexcept {
    const float v =
        ml[0] * l[0] + ml[1] * l[1] + ml[2] * l[2] + mr[0] * r[0] + mr[1] * r[1] + mr[2] * r[2];
    return static_cast<WORD>(std::clamp(v, 0.0f, 65535.0f) + 0.5f);
}

// Entries up to this size keep every sum of six products with values up to 65535 within
// the range of an int (16 x 6 x 65535 < 2^23); users' matrices are held to it.
constexpr float kLargestEntry = 16.0f;

bool BoundedEntries(const ColourMatrix& m) noexcept {
    for (int row = 0; row < 3; ++row) {
        for (int k = 0; k < 3; ++k) {
            if (!(std::fabs(m.left[row][k]) <= kLargestEntry) ||
                !(std::fabs(m.right[row][k]) <= kLargestEntry)) {
                return false;
            }
        }
    }
    return true;
}

// OneChannel for a step of pixels, of a matrix with bounded entries: the sum rounded and
// then clamped as a whole number, which gives OneChannel's bits (below 0 and above 65535
// alike) without a comparison of floats, so that the loop runs in vector registers.
[[gnu::always_inline]] inline void ComposeBlock(const ColourMatrix& m, const Block& l,
                                                const Block& r, WORD out[3][kBlock]) noexcept {
    for (int row = 0; row < 3; ++row) {
        const float a0 = m.left[row][0], a1 = m.left[row][1], a2 = m.left[row][2];
        const float b0 = m.right[row][0], b1 = m.right[row][1], b2 = m.right[row][2];
        for (int i = 0; i < kBlock; ++i) {
            const float v = a0 * l.c[0][i] + a1 * l.c[1][i] + a2 * l.c[2][i] + b0 * r.c[0][i] +
                            b1 * r.c[1][i] + b2 * r.c[2][i];
            out[row][i] = static_cast<WORD>(std::clamp(static_cast<int>(v + 0.5f), 0, 65535));
        }
    }
}

// `out` may be the left or the right line's own pixels: a step reads its pixels whole
// before it writes them.
template <class Line>
[[gnu::always_inline]] inline void ComposeLinesBody(const ColourMatrix& m, const Line& left,
                                                    const Line& right, BMM_Color_64* out,
                                                    int width) noexcept {
    const bool bounded = BoundedEntries(m);
    Block l, r;
    WORD c[3][kBlock];
    for (int at = 0; at < width; at += kBlock) {
        const int n = std::min(kBlock, width - at);
        left.Load(at, n, l);
        right.Load(at, n, r);
        WORD alpha[kBlock];
        for (int i = 0; i < n; ++i) alpha[i] = std::max(left.Alpha(at + i), right.Alpha(at + i));
        if (bounded) {
            ComposeBlock(m, l, r, c);
        } else {
            for (int i = 0; i < n; ++i) {
                const float lp[3] = {l.c[0][i], l.c[1][i], l.c[2][i]};
                const float rp[3] = {r.c[0][i], r.c[1][i], r.c[2][i]};
                for (int row = 0; row < 3; ++row) {
                    c[row][i] = OneChannel(m.left[row], m.right[row], lp, rp);
                }
            }
        }
        for (int i = 0; i < n; ++i) out[at + i] = BMM_Color_64{c[0][i], c[1][i], c[2][i], alpha[i]};
    }
}

// The lines compiled for each vector level: wider registers for the same IEEE operations
// lane by lane (no contraction into fused multiply-adds anywhere), so the same bits.
template <class Line>
void ComposeLinesBase(const ColourMatrix& m, const Line& left, const Line& right, BMM_Color_64* out,
                      int width) noexcept {
    ComposeLinesBody(m, left, right, out, width);
}
#if defined(__x86_64__)
template <class Line>
[[gnu::target("avx2")]] void ComposeLinesAvx2(const ColourMatrix& m, const Line& left,
                                              const Line& right, BMM_Color_64* out,
                                              int width) noexcept {
    ComposeLinesBody(m, left, right, out, width);
}
template <class Line>
[[gnu::target("avx512f,avx512bw,avx512dq,avx512vl")]] void ComposeLinesAvx512(const ColourMatrix& m,
                                                                              const Line& left,
                                                                              const Line& right,
                                                                              BMM_Color_64* out,
                                                                              int width) noexcept {
    ComposeLinesBody(m, left, right, out, width);
}
#endif

template <class Line>
void ComposeLines(const ColourMatrix& m, const Line& left, const Line& right, BMM_Color_64* out,
                  int width) noexcept {
#if defined(__x86_64__)
    switch (ActiveVectorLevel()) {
        case VectorLevel::kAvx512:
            ComposeLinesAvx512(m, left, right, out, width);
            return;
        case VectorLevel::kAvx2:
            ComposeLinesAvx2(m, left, right, out, width);
            return;
        default:
            break;
    }
#endif
    ComposeLinesBase(m, left, right, out, width);
}

}  // namespace

AnaglyphMethod ParseAnaglyphMethod(const std::string& text) {
    const std::string t = Lower(text);
    if (t == "grey" || t == "gray") return AnaglyphMethod::kGrey;
    if (t == "half-colour" || t == "half-color") return AnaglyphMethod::kHalfColour;
    if (t == "colour" || t == "color") return AnaglyphMethod::kColour;
    if (t == "dubois") return AnaglyphMethod::kDubois;
    throw std::runtime_error("--method '" + text + "': choose grey, half-colour, colour or dubois");
}

Glasses ParseGlasses(const std::string& text) {
    const std::string t = Lower(text);
    if (t == "red-cyan") return Glasses::kRedCyan;
    if (t == "green-magenta") return Glasses::kGreenMagenta;
    if (t == "amber-blue") return Glasses::kAmberBlue;
    throw std::runtime_error("--glasses '" + text +
                             "': choose red-cyan, green-magenta or amber-blue");
}

const char* MethodName(AnaglyphMethod method) {
    switch (method) {
        case AnaglyphMethod::kGrey:
            return "grey";
        case AnaglyphMethod::kHalfColour:
            return "half-colour";
        case AnaglyphMethod::kColour:
            return "colour";
        case AnaglyphMethod::kDubois:
            return "dubois";
    }
    return "?";
}

const char* GlassesName(Glasses glasses) {
    switch (glasses) {
        case Glasses::kRedCyan:
            return "red-cyan";
        case Glasses::kGreenMagenta:
            return "green-magenta";
        case Glasses::kAmberBlue:
            return "amber-blue";
    }
    return "?";
}

const ColourMatrix& MethodMatrix(AnaglyphMethod method, Glasses glasses) noexcept {
    // kGrey has no matrix; callers never ask, and it answers the colour one rather than
    // reading outside the table.
    const int m = method == AnaglyphMethod::kGrey ? 1 : static_cast<int>(method) - 1;
    return kMatrices[m][static_cast<int>(glasses)];
}

void ComposeColourLine(const ColourMatrix& m, const BMM_Color_64* left, const BMM_Color_64* right,
                       BMM_Color_64* out, int width) noexcept {
    ComposeLines(m, WideLine{left}, WideLine{right}, out, width);
}

void ComposeColourLinePacked(const ColourMatrix& m, int bits, const std::uint8_t* left,
                             const std::uint8_t* right, BMM_Color_64* out, int width) noexcept {
    if (bits == 8) {
#if defined(__x86_64__)
        // Sorting the packed bytes into channels takes one byte permute there; the portable
        // lines do it a byte at a time.
        if (ActiveVectorExtension(VectorExtension::kAvx512Vbmi) && BoundedEntries(m)) {
            ComposeRgb24LinesVbmi(m, left, right, out, width);
            return;
        }
#endif
        ComposeLines(m, Rgb24Line{left}, Rgb24Line{right}, out, width);
    } else {
        ComposeLines(m, Rgb48Line{left}, Rgb48Line{right}, out, width);
    }
}

}  // namespace loom::stereo

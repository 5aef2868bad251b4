#include "app/core/stereo/colour_methods.h"
#include "foundation/host/base/text.h"

#include <algorithm>
#include <cctype>
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

WORD ToWord(float v) noexcept {
    // Clamped first, so the conversion never meets a value out of range.
    v = std::clamp(v, 0.0f, 65535.0f);
    return static_cast<WORD>(v + 0.5f);
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
    for (int x = 0; x < width; ++x) {
        const float l[3] = {static_cast<float>(left[x].r), static_cast<float>(left[x].g),
                            static_cast<float>(left[x].b)};
        const float r[3] = {static_cast<float>(right[x].r), static_cast<float>(right[x].g),
                            static_cast<float>(right[x].b)};
        const WORD alpha = std::max(left[x].a, right[x].a);
        WORD c[3];
        for (int row = 0; row < 3; ++row) {
            const float* ml = m.left[row];
            const float* mr = m.right[row];
            c[row] = ToWord(ml[0] * l[0] + ml[1] * l[1] + ml[2] * l[2] + mr[0] * r[0] +
                            mr[1] * r[1] + mr[2] * r[2]);
        }
        out[x] = BMM_Color_64{c[0], c[1], c[2], alpha};
    }
}

}  // namespace loom::stereo

#include "app/core/stereo/colour_matrix.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "foundation/host/sdk/file_io.h"

namespace loom::stereo {
namespace {

constexpr int kEntries = 18;
constexpr double kLargest = 16;

/// The sRGB transfer: 0..1 values, in double for the tables.
double Decode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double Encode(double v) {
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

// Linear light of each 16-bit sRGB value; encoded 16-bit sRGB of each of kSteps + 1 linear
// values, read between neighbours (the transfer is smooth enough at this spacing).
constexpr int kSteps = 1 << 16;
struct Tables {
    std::vector<float> decode = std::vector<float>(65536);
    std::vector<float> encode = std::vector<float>(kSteps + 1);
    Tables() {
        for (int i = 0; i < 65536; ++i) decode[i] = static_cast<float>(Decode(i / 65535.0));
        for (int i = 0; i <= kSteps; ++i) {
            encode[i] = static_cast<float>(Encode(static_cast<double>(i) / kSteps) * 65535.0);
        }
    }
};

const Tables& LinearTables() {
    static const Tables tables;  // built once, thread-safe
    return tables;
}

WORD EncodeLinear(const Tables& t, float linear) noexcept {
    const float at = std::clamp(linear, 0.0f, 1.0f) * static_cast<float>(kSteps);
    const int i = std::min(static_cast<int>(at), kSteps - 1);
    const float f = at - static_cast<float>(i);
    const float v = t.encode[i] + (t.encode[i + 1] - t.encode[i]) * f;
    return static_cast<WORD>(std::clamp(v, 0.0f, 65535.0f) + 0.5f);
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

ColourMatrix ParseColourMatrix(const std::string& textOrFile) {
    std::string text = textOrFile, source = "--matrix";
    std::error_code ec;
    if (textOrFile.find(',') == std::string::npos && std::filesystem::exists(textOrFile, ec)) {
        std::vector<std::uint8_t> bytes;
        std::string err;
        if (!ReadRegularFile(textOrFile, 64 * 1024, bytes, err)) {
            throw std::runtime_error("--matrix: " + err);
        }
        text.clear();
        bool comment = false;
        for (const std::uint8_t c : bytes) {
            if (c == '#') comment = true;
            if (c == '\n') comment = false;
            // Lines and spaces separate numbers as commas do.
            if (!comment) text += (c == '\n' || c == ' ' || c == '\t') ? ',' : static_cast<char>(c);
        }
        source = "--matrix " + textOrFile;
    } else if (textOrFile.find(',') == std::string::npos) {
        throw std::runtime_error("--matrix '" + textOrFile +
                                 "': neither 18 numbers separated by commas nor a file");
    }
    std::vector<float> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = Trim(text.substr(start, comma - start));
        start = comma + 1;
        if (item.empty()) continue;
        char* end = nullptr;
        const double v = std::strtod(item.c_str(), &end);
        if (end != item.c_str() + item.size() || !std::isfinite(v) || std::abs(v) > kLargest) {
            throw std::runtime_error(source + ": '" + item + "' is not a number within -16..16");
        }
        values.push_back(static_cast<float>(v));
        if (values.size() > kEntries) break;
    }
    if (values.size() != kEntries) {
        throw std::runtime_error(source +
                                 ": give 18 numbers (3 rows: the output's red, green, "
                                 "blue; 6 columns: the left view's r, g, b, then the "
                                 "right view's), not " +
                                 std::to_string(values.size()) + (values.size() > 18 ? "+" : ""));
    }
    ColourMatrix m{};
    for (int row = 0; row < 3; ++row) {
        for (int c = 0; c < 3; ++c) {
            m.left[row][c] = values[static_cast<std::size_t>(row * 6 + c)];
            m.right[row][c] = values[static_cast<std::size_t>(row * 6 + 3 + c)];
        }
    }
    return m;
}

void ComposeColourLineLinear(const ColourMatrix& m, const BMM_Color_64* left,
                             const BMM_Color_64* right, BMM_Color_64* out, int width) noexcept {
    const Tables& t = LinearTables();
    for (int x = 0; x < width; ++x) {
        const float l[3] = {t.decode[left[x].r], t.decode[left[x].g], t.decode[left[x].b]};
        const float r[3] = {t.decode[right[x].r], t.decode[right[x].g], t.decode[right[x].b]};
        const WORD alpha = std::max(left[x].a, right[x].a);
        WORD c[3];
        for (int row = 0; row < 3; ++row) {
            const float* ml = m.left[row];
            const float* mr = m.right[row];
            c[row] = EncodeLinear(t, ml[0] * l[0] + ml[1] * l[1] + ml[2] * l[2] + mr[0] * r[0] +
                                         mr[1] * r[1] + mr[2] * r[2]);
        }
        out[x] = BMM_Color_64{c[0], c[1], c[2], alpha};
    }
}

}  // namespace loom::stereo

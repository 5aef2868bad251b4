#include "app/core/jobs/tile_jobs.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "app/core/model/texture_setup.h"

namespace loom {

TileRepeat ParseTileRepeat(const std::string& text, const std::string& what) {
    const size_t x = text.find('x');
    const std::string form = what + " '" + text + "': expected CxR, such as 2x2 (1.." +
                             std::to_string(kMaxTileRepeat) + " each)";
    if (x == std::string::npos) throw std::runtime_error(form);
    double c = 0.0, r = 0.0;
    try {
        c = ParseNumber(text.substr(0, x), what);
        r = ParseNumber(text.substr(x + 1), what);
    } catch (const std::runtime_error&) {
        throw std::runtime_error(form);
    }
    if (c != std::floor(c) || r != std::floor(r) || c < 1 || r < 1 || c > kMaxTileRepeat ||
        r > kMaxTileRepeat) {
        throw std::runtime_error(form);
    }
    return {static_cast<int>(c), static_cast<int>(r)};
}

void CheckTileFits(const TileRepeat& repeat, int width, int height) {
    auto check = [](int size, int copies, const char* side) {
        if (size % copies == 0) return;
        throw std::runtime_error(std::string("--tiles: the ") + side + " " + std::to_string(size) +
                                 " is not a whole number of pixels for " + std::to_string(copies) +
                                 " tiles (" + std::to_string(size) + "/" + std::to_string(copies) +
                                 "); use a multiple of " + std::to_string(copies));
    };
    check(width, repeat.columns, "width");
    check(height, repeat.rows, "height");
}

int LoopShift(long long index, long long count, int size) {
    if (count <= 0) return 0;
    const long long i = ((index % count) + count) % count;
    // Rounded to the nearest pixel; whole tiles make the shift of frame `count` size.
    return static_cast<int>((i * size * 2 + count) / (2 * count)) % size;
}

FloatImage RepeatTile(const FloatImage& tile, const TileRepeat& repeat) {
    if (repeat.columns == 1 && repeat.rows == 1) return tile;
    FloatImage out;
    out.width = tile.width * repeat.columns;
    out.height = tile.height * repeat.rows;
    out.rgba.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
    const size_t line = static_cast<size_t>(tile.width) * 4;
    for (int y = 0; y < out.height; ++y) {
        const float* from = tile.rgba.data() + static_cast<size_t>(y % tile.height) * line;
        float* to = out.rgba.data() + static_cast<size_t>(y) * line * repeat.columns;
        for (int c = 0; c < repeat.columns; ++c) std::copy(from, from + line, to + c * line);
    }
    return out;
}

}  // namespace loom

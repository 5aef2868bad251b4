#pragma once
/// What the front-ends ask of a seamless tile, a seed and a looping animation, parsed and
/// planned once for all of them: `--tile`, `--tiles CxR`, `--seed N`, `--loop`.

#include <cstdint>
#include <string>

#include "app/core/model/texture_setup.h"
#include "foundation/host/sdk/bitmap.h"

namespace loom {

/// How many copies of the tile a picture holds across and down (`--tiles CxR`).
struct TileRepeat {
    int columns = 1;
    int rows = 1;
};

/// The most copies of a tile across or down.
inline constexpr int kMaxTileRepeat = 64;

/// Parses "CxR" (whole numbers 1..kMaxTileRepeat). Throws std::runtime_error naming `what` and the
/// text.
TileRepeat ParseTileRepeat(const std::string& text, const std::string& what);

/// Checks that a picture of `width` x `height` holds whole tiles of whole pixels; throws
/// std::runtime_error saying which side is not a whole number of pixels a tile.
void CheckTileFits(const TileRepeat& repeat, int width, int height);

/// The shift, in whole pixels of a tile `size` pixels wide, of frame `index` (from 0) of a
/// loop of `count` frames: the tile moves by one whole period over the loop, so frame
/// `count` would be frame 0 again.
int LoopShift(long long index, long long count, int size);

/// A picture of `repeat.columns` x `repeat.rows` copies of `tile`.
FloatImage RepeatTile(const FloatImage& tile, const TileRepeat& repeat);

}  // namespace loom

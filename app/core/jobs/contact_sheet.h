#pragma once
/// A contact sheet: several renders of one texture (its presets, or several seeds) side by
/// side in one picture, each labelled beneath in a small built-in font, so that a person
/// can choose by eye (`render --sheet`).

#include <string>
#include <vector>

#include "foundation/host/sdk/bitmap.h"

namespace loom {

struct SheetCell {
    std::string label;  ///< letters, digits, space and - . : # / ( ) , (others show as ?)
    FloatImage image;   ///< every cell the same size
};

/// The cells in rows of `columns` (0: the smallest count that makes the sheet about square),
/// each above a strip with its label, on a dark ground. Throws std::runtime_error when the
/// cells differ in size or there are none.
FloatImage MakeContactSheet(const std::vector<SheetCell>& cells, int columns = 0);

/// The height of a cell's label strip for cells `cellWidth` pixels wide.
int SheetLabelHeight(int cellWidth);

}  // namespace loom

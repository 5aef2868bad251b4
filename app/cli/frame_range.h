#pragma once
/// Frame numbers given on the command line (`render --frames A-B`): whole numbers from 0
/// up to the last frame the host's time can hold.

#include <string>

#include "app/model/texture_setup.h"

namespace loom {

struct FrameRange {
    int first = 0;
    int last = 0;
};

/// Parses "A-B", first and last frame included: whole numbers within 0..kMaxFrame
/// (texture_setup.h), A <= B.
/// Throws std::runtime_error naming `what`, the text and the allowed range otherwise.
FrameRange ParseFrameRange(const std::string& text, const std::string& what);

}  // namespace loom

#include "app/cli/frame_range.h"

#include <cmath>
#include <stdexcept>

#include "app/model/texture_setup.h"

namespace loom {
namespace {

int ParseFrame(const std::string& part, const std::string& text, const std::string& what) {
    const std::string range = " (frames are whole numbers 0.." + std::to_string(kMaxFrame) + ")";
    const std::string where = what + " '" + text + "': ";
    double d = 0.0;
    try {
        d = ParseNumber(part, what);
    } catch (const std::runtime_error&) {
        throw std::runtime_error(where + "'" + part + "' is not a frame number" + range);
    }
    if (d != std::floor(d)) {
        throw std::runtime_error(where + "'" + part + "' is not a whole frame number" + range);
    }
    // Compared as a double, before any conversion to int.
    if (!(d >= 0.0 && d <= static_cast<double>(kMaxFrame))) {
        throw std::runtime_error(where + "frame '" + part + "' is out of range" + range);
    }
    return static_cast<int>(d);
}

}  // namespace

FrameRange ParseFrameRange(const std::string& text, const std::string& what) {
    // The separator is the first '-' after the first character, so that a negative first
    // frame is read as one (and refused as out of range) rather than as a separator.
    const size_t dash = text.find('-', 1);
    if (dash == std::string::npos) {
        throw std::runtime_error(what + " '" + text + "': expected FIRST-LAST, e.g. 0-29");
    }
    FrameRange r;
    r.first = ParseFrame(text.substr(0, dash), text, what);
    r.last = ParseFrame(text.substr(dash + 1), text, what);
    if (r.last < r.first) {
        throw std::runtime_error(what + " '" + text + "': the last frame is before the first");
    }
    return r;
}

}  // namespace loom

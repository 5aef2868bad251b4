#pragma once
/// FFmpeg's error codes as text.

#include <string>

extern "C" {
#include <libavutil/error.h>
}

namespace loom {

/// The text FFmpeg gives for an AVERROR code.
inline std::string AvErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

}  // namespace loom

// Video files as `anaglyph` reads them: the container and stream headers through the
// program's own checks (regular file, listings refused, frame size bounded), the index of
// frames that parts are cut by, and the first frames decoded whole or as two views. Any
// bytes must be refused with a message naming the file, or give frames of the size the
// stream declares; nothing may crash or hang.
//
// Input: the file's bytes (written to a file of the run's own: the demuxers read files).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/log.h>
}

#include "app/core/video/video_input.h"

namespace {

const std::string& InputPath() {
    static const std::string path = [] {
        std::string p = "/tmp/loom_video_fuzz_" + std::to_string(::getpid()) + ".bin";
        std::atexit([] { std::remove(InputPath().c_str()); });
        av_log_set_level(AV_LOG_QUIET);
        return p;
    }();
    return path;
}

bool NamesTheFile(const std::string& error) { return error.rfind(InputPath(), 0) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = InputPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    std::string error;
    {
        loom::VideoInput index;
        if (index.Open(path, error) && !index.IndexFrames(error) && !NamesTheFile(error)) {
            __builtin_trap();
        }
    }
    loom::VideoInput input;
    if (!input.Open(path, error)) {
        if (!NamesTheFile(error)) __builtin_trap();
        return 0;
    }
    const loom::VideoStreamInfo& info = input.Info();
    const bool views = info.width >= 2 && info.width % 2 == 0 && size % 2 == 1;
    for (int item = 0; item < 24; ++item) {
        loom::Image16 frame, right;
        long long pts = 0;
        AVPacket* packet = nullptr;
        const loom::VideoInput::Next next =
            views ? input.ReadViews(loom::StereoLayout::kSideBySideLeftFirst, frame, right, pts,
                                    packet, error)
                  : input.Read(frame, pts, packet, error);
        if (next == loom::VideoInput::Next::kEnd) break;
        if (next == loom::VideoInput::Next::kError) {
            if (!NamesTheFile(error)) __builtin_trap();
            continue;  // reading may go on after a damaged packet
        }
        if (next == loom::VideoInput::Next::kFrame && !views &&
            (frame.width != info.width || frame.height != info.height)) {
            __builtin_trap();
        }
    }
    return 0;
}

#include "app/core/video/video_progress.h"

#include <cstdio>

namespace loom {

std::string VideoProgressText(long long done, long long total, double seconds) {
    const double fps = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    char buf[128];
    if (total > 0) {
        const long long left =
            fps > 0 && total > done
                ? static_cast<long long>(static_cast<double>(total - done) / fps + 0.5)
                : 0;
        std::snprintf(buf, sizeof buf, "%lld/%lld frames  %.1f fps  %lld:%02lld left", done, total,
                      fps, left / 60, left % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%lld frames  %.1f fps", done, fps);
    }
    return buf;
}

VideoProgress::VideoProgress(std::string label)
    : label_(std::move(label)), out_(label_, "frames") {}

VideoProgress::~VideoProgress() { Finish(); }

void VideoProgress::Update(long long done, long long total) {
    out_.Report(done, total, [label = label_, done, total](double seconds) {
        return label + " " + VideoProgressText(done, total, seconds);
    });
}

void VideoProgress::Finish() { out_.Finish(); }

}  // namespace loom

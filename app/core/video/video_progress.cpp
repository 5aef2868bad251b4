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
    : label_(std::move(label)), start_(std::chrono::steady_clock::now()) {}

VideoProgress::~VideoProgress() { Finish(); }

void VideoProgress::Update(long long done, long long total) {
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ && now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    shown_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    // Trailing spaces wipe what a longer earlier line left.
    std::fprintf(stderr, "\r%s %s   ", label_.c_str(),
                 VideoProgressText(done, total, seconds).c_str());
    std::fflush(stderr);
}

void VideoProgress::Finish() {
    if (shown_) std::fputc('\n', stderr);
    shown_ = false;
}

}  // namespace loom

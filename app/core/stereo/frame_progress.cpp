#include "app/core/stereo/frame_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace loom::stereo {

FrameProgress::FrameProgress(std::string label, long long total, bool enabled)
    : label_(std::move(label)),
      total_(total),
      enabled_(enabled && total > 0),
      start_(std::chrono::steady_clock::now()) {}

FrameProgress::~FrameProgress() { Finish(); }

std::string FrameProgress::Line(long long done, double seconds) const {
    constexpr int kWidth = 30;
    const long long total = total_ > 0 ? total_ : 1;
    const int filled = static_cast<int>(kWidth * std::min(done, total) / total);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '.');
    char text[160];
    const double fps = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
    if (done > 0 && fps > 0.0) {
        const long long left =
            std::llround(static_cast<double>(total_ - done) / fps);  // whole seconds
        std::snprintf(text, sizeof text, " %lld/%lld frames, %.1f fps, %lld:%02lld left", done,
                      total_, fps, left / 60, left % 60);
    } else {
        std::snprintf(text, sizeof text, " %lld/%lld frames", done, total_);
    }
    return label_ + " [" + bar + "]" + text;
}

void FrameProgress::Update(long long done) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ && now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && done < total_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    shown_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    // Padded, so that a shorter line wipes out the end of a longer one.
    std::fprintf(stderr, "\r%-100s", Line(done, seconds).c_str());
    std::fflush(stderr);
}

void FrameProgress::Finish() {
    if (shown_) std::fputc('\n', stderr);
    shown_ = false;
}

}  // namespace loom::stereo

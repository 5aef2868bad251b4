#include "app/core/stereo/frame_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace loom::stereo {

FrameProgress::FrameProgress(std::string label, long long total, bool enabled)
    : label_(std::move(label)),
      total_(total),
      enabled_(enabled && total > 0),
      out_(label_, "frames") {}

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
    out_.Report(done, total_, [this, done](double seconds) { return Line(done, seconds); });
}

void FrameProgress::Finish() { out_.Finish(); }

}  // namespace loom::stereo

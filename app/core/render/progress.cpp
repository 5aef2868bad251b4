#include "app/core/render/progress.h"

#include <cstdio>

namespace loom {

ProgressBar::ProgressBar(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled), start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(long long done, long long total) {
    if (!enabled_ || total <= 0) return;
    auto now = std::chrono::steady_clock::now();
    if (!shown_ && now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && done < total && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    shown_ = true;
    constexpr int kWidth = 40;
    int filled = static_cast<int>(kWidth * done / total);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r%s [%s] %3lld%%", label_.c_str(), bar.c_str(), 100 * done / total);
    std::fflush(stderr);
}

void ProgressBar::Finish() {
    if (shown_) std::fputc('\n', stderr);
    shown_ = false;
}

}  // namespace loom

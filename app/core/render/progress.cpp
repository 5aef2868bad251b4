#include "app/core/render/progress.h"

#include <cstdio>

namespace loom {

ProgressBar::ProgressBar(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled), out_(label_, "rows") {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(long long done, long long total) {
    if (!enabled_ || total <= 0) return;
    out_.Report(done, total, [label = label_, done, total](double) {
        constexpr int kWidth = 40;
        const int filled = static_cast<int>(kWidth * done / total);
        std::string bar(static_cast<size_t>(filled), '#');
        bar.append(static_cast<size_t>(kWidth - filled), '.');
        char percent[16];
        std::snprintf(percent, sizeof percent, " %3lld%%", 100 * done / total);
        return label + " [" + bar + "]" + percent;
    });
}

void ProgressBar::Finish() { out_.Finish(); }

}  // namespace loom

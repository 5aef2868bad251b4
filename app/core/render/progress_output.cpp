#include "app/core/render/progress_output.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace loom {
namespace {

std::atomic<ProgressStyle> gStyle{ProgressStyle::kAuto};

/// `s` as a JSON string's contents (labels are the program's own, but may hold paths).
std::string JsonEscaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

void SetProgressStyle(ProgressStyle style) { gStyle = style; }

ProgressStyle CurrentProgressStyle() {
    const ProgressStyle s = gStyle;
    if (s != ProgressStyle::kAuto) return s;
    return ::isatty(STDERR_FILENO) ? ProgressStyle::kBar : ProgressStyle::kLines;
}

ProgressOutput::ProgressOutput(std::string task, std::string unit,
                               std::chrono::milliseconds silentFor)
    : task_(std::move(task)),
      unit_(std::move(unit)),
      style_(CurrentProgressStyle()),
      silentFor_(silentFor),
      start_(std::chrono::steady_clock::now()) {}

ProgressOutput::~ProgressOutput() { Finish(); }

void ProgressOutput::Report(long long done, long long total,
                            const std::function<std::string(double)>& text) {
    if (style_ == ProgressStyle::kNone) return;
    const auto now = std::chrono::steady_clock::now();
    lastDone_ = done;
    lastTotal_ = total;
    lastText_ = text;
    if (!shown_ && now - start_ < silentFor_) return;
    const auto every = style_ == ProgressStyle::kBar    ? std::chrono::milliseconds(100)
                       : style_ == ProgressStyle::kJson ? std::chrono::milliseconds(1000)
                                                        : std::chrono::milliseconds(5000);
    const bool last = total > 0 && done >= total;
    if (shown_ && !(last && style_ == ProgressStyle::kBar) && now - lastDraw_ < every) return;
    lastDraw_ = now;
    Draw(done, total, std::chrono::duration<double>(now - start_).count(), text);
}

void ProgressOutput::Draw(long long done, long long total, double seconds,
                          const std::function<std::string(double)>& text) {
    switch (style_) {
        case ProgressStyle::kBar:
            // Padded, so that a shorter line wipes out the end of a longer one.
            std::fprintf(stderr, "\r%-100s", text(seconds).c_str());
            break;
        case ProgressStyle::kLines:
            std::fprintf(stderr, "%s\n", text(seconds).c_str());
            break;
        case ProgressStyle::kJson:
            std::fprintf(stderr,
                         "{\"task\":\"%s\",\"done\":%lld,\"total\":%lld,\"unit\":\"%s\","
                         "\"seconds\":%.3f}\n",
                         JsonEscaped(task_).c_str(), done, total > 0 ? total : -1,
                         JsonEscaped(unit_).c_str(), seconds);
            break;
        case ProgressStyle::kAuto:
        case ProgressStyle::kNone:
            return;
    }
    std::fflush(stderr);
    shown_ = true;
    drawnDone_ = done;
}

void ProgressOutput::Finish() {
    if (!shown_) return;
    if (style_ == ProgressStyle::kBar) {
        std::fputc('\n', stderr);
    } else if (lastText_ && lastDone_ != drawnDone_) {
        // A log ends with the last state, not the one five seconds before it.
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        Draw(lastDone_, lastTotal_, seconds, lastText_);
    }
    shown_ = false;
    lastText_ = nullptr;
}

}  // namespace loom

#include "app/core/filter/filter_run.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "foundation/host/win32/win32.h"

namespace loom {
namespace {

constexpr const char* kProgressClass = "LoomFilterProgress";

using BitmapHandle = std::unique_ptr<Bitmap, void (*)(Bitmap*)>;

BitmapHandle ToBitmap(const Image16& image) {
    BitmapInfo bi;
    bi.SetWidth(image.width);
    bi.SetHeight(image.height);
    bi.SetType(BMM_TRUE_64);
    BitmapHandle bm(TheManager->Create(&bi), [](Bitmap* b) {
        if (b) b->DeleteThis();
    });
    if (bm) std::copy(image.pixels.begin(), image.pixels.end(), bm->Pixels().begin());
    return bm;
}

Image16 Half(const Image16& both, int x0, int w) {
    Image16 out;
    out.width = w;
    out.height = both.height;
    out.bits = both.bits;
    out.hasAlpha = both.hasAlpha;
    out.pixels.reserve(static_cast<size_t>(w) * static_cast<size_t>(both.height));
    for (int y = 0; y < both.height; ++y) {
        auto row = both.pixels.begin() + static_cast<long>(y) * both.width + x0;
        out.pixels.insert(out.pixels.end(), row, row + w);
    }
    return out;
}

}  // namespace

FilterProgressWindow::FilterProgressWindow(const std::string& label, const std::atomic<bool>* abort,
                                           bool showBar)
    : bar_(label, showBar), abort_(abort) {
    static const bool registered = [] {
        WNDCLASSA wc;
        wc.lpfnWndProc = &FilterProgressWindow::Proc;
        wc.lpszClassName = kProgressClass;
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;  // a class registered earlier serves as well
    hwnd_ = CreateWindowExA(0, kProgressClass, label.c_str(), 0, 0, 0, 0, 0, nullptr, nullptr,
                            nullptr, this);
}

FilterProgressWindow::~FilterProgressWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void FilterProgressWindow::Finish() {
    if (lines_ > 0) bar_.Update(lines_, lines_);
    bar_.Finish();
}

LRESULT FilterProgressWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<FilterProgressWindow*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProc(hwnd, msg, wParam, lParam);
    switch (msg) {
        case FLT_PROGRESS:
            self->lastLine_ = static_cast<int>(wParam);
            self->lines_ = static_cast<int>(lParam) + 1;
            self->bar_.Update(self->lastLine_, self->lines_);
            return 0;
        case FLT_CHECKABORT:
            ++self->queries_;
            if (lParam != 0 && self->abort_ && self->abort_->load()) {
                *reinterpret_cast<std::int32_t*>(lParam) = 1;
            }
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

FilterOutcome RunCompositor(ImageFilter& filter, const Image16& left, const Image16& right,
                            FilterProgressWindow& progress, const std::atomic<bool>* abort,
                            Image16& result, std::string& error) {
    BitmapHandle source = ToBitmap(left);
    BitmapHandle foreground = ToBitmap(right);
    if (!source || !foreground) {
        error = "not enough memory for the images";
        return FilterOutcome::kFailed;
    }
    ImageFilterInfo info;
    info.name = "anaglyph";
    info.width = left.width;
    info.height = left.height;
    filter.SetSource(source.get());
    filter.SetForeground(foreground.get());
    filter.SetMask(nullptr);
    filter.SetFilterInfo(&info);
    const BOOL ok = filter.Render(progress.Handle());
    // The bitmaps and the information go with this call; leave the filter nothing stale.
    filter.SetSource(nullptr);
    filter.SetForeground(nullptr);
    filter.SetFilterInfo(nullptr);
    if (!ok) {
        if (abort && abort->load()) return FilterOutcome::kAborted;
        error = "the filter failed";
        return FilterOutcome::kFailed;
    }
    result.width = left.width;
    result.height = left.height;
    result.bits = std::max(left.bits, right.bits);
    result.hasAlpha = left.hasAlpha || right.hasAlpha;
    result.pixels = source->Pixels();
    return FilterOutcome::kDone;
}

bool SplitSideBySide(const Image16& both, Image16& left, Image16& right, std::string& error) {
    if (both.width < 2) {
        error = "a side-by-side image needs at least 2 columns";
        return false;
    }
    const int half = both.width / 2;
    left = Half(both, 0, half);
    right = Half(both, both.width - half, half);
    return true;
}

}  // namespace loom

#pragma once
/// Running an image filter the way the video post runs it: the images go into host
/// bitmaps (source and foreground), the filter renders with a progress window, and the
/// source bitmap comes back as the result.

#include <atomic>
#include <string>

#include "app/core/filter/image16.h"
#include "app/core/render/progress.h"
#include "foundation/host/sdk/filters.h"

namespace loom {

/// A host window that receives a filter's messages: FLT_PROGRESS drives a progress bar
/// on stderr, FLT_CHECKABORT answers with `abort` (raised by Ctrl-C). Lives on the thread
/// that creates it, which must be the thread that runs the filter.
class FilterProgressWindow {
  public:
    /// `abort` may be null (never abort).
    FilterProgressWindow(const std::string& label, const std::atomic<bool>* abort,
                         bool showBar = true);
    ~FilterProgressWindow();
    FilterProgressWindow(const FilterProgressWindow&) = delete;
    FilterProgressWindow& operator=(const FilterProgressWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    /// The last line reported and the number of lines, from the last progress message
    /// (-1 and 0 before any).
    int LastLine() const { return lastLine_; }
    int Lines() const { return lines_; }
    /// Abort queries answered so far.
    int Queries() const { return queries_; }
    /// Draws the bar full and ends its line.
    void Finish();

  private:
    static LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    ProgressBar bar_;
    const std::atomic<bool>* abort_;
    HWND hwnd_ = nullptr;
    int lastLine_ = -1;
    int lines_ = 0;
    int queries_ = 0;
};

enum class FilterOutcome { kDone, kAborted, kFailed };

/// Runs a compositing filter: `left` as the source, `right` as the foreground; on success
/// `result` holds the source bitmap afterwards (alpha kept as the filter wrote it).
/// kAborted when `progress` answered an abort query with an abort; kFailed when the host
/// bitmaps cannot be made (`error` says why) or the filter answers failure.
FilterOutcome RunCompositor(ImageFilter& filter, const Image16& left, const Image16& right,
                            FilterProgressWindow& progress, const std::atomic<bool>* abort,
                            Image16& result, std::string& error);

/// Splits a side-by-side stereo image into its left and right halves, each
/// floor(width / 2) wide (the middle column of an odd width belongs to neither).
/// False with `error` when the image is narrower than 2 pixels.
bool SplitSideBySide(const Image16& both, Image16& left, Image16& right, std::string& error);

}  // namespace loom

// The time of resampling one packed 1920 x 1080 video view through a stereo correction
// (0.6 degrees, scale 1.004, 5.3 rows down; the same with a keystone; and a translation,
// resampled by the row path and by the general passes), best of 20 in the
// calling thread's processor time, for WarpPackedRgb and for OpenCV's two-dimensional bicubic that
// it replaced, with the mean and largest difference between the two (a plain program, not a timed
// test), at the vector level of the processor or LOOM_ISA: packed_warp_bench [WIDTH HEIGHT]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "app/core/video/packed_warp.h"
#include "foundation/host/base/vector_level.h"

namespace {

/// The calling thread's processor time: on a shared machine, the work done whatever else
/// runs.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    const int w = argc > 2 ? std::atoi(argv[1]) : 1920, h = argc > 2 ? std::atoi(argv[2]) : 1080;
    if (w < 16 || h < 16 || w > 8192 || h > 8192) {
        std::fprintf(stderr, "packed_warp_bench: sizes of 16 to 8192\n");
        return 1;
    }
    cv::setNumThreads(1);
    std::printf("vector level %s (LOOM_ISA chooses another)\n",
                loom::VectorLevelName(loom::ActiveVectorLevel()));
    cv::Mat src(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double v = 127.5 + 60 * std::sin(x * 0.05) * std::cos(y * 0.031) +
                             60 * std::sin((x + 2 * y) * 0.2);
            src.at<cv::Vec3b>(y, x) =
                cv::Vec3b(cv::saturate_cast<uchar>(v), cv::saturate_cast<uchar>(255 - v),
                          cv::saturate_cast<uchar>(v * 0.5 + 60));
        }
    }
    const double angle = 0.6 * M_PI / 180, s = 1.004, cx = w / 2.0, cy = h / 2.0;
    for (const double keystone : {0.0, 2e-6}) {
        const double c = s * std::cos(angle), n = s * std::sin(angle);
        const std::array<double, 9> forward{
            c, -n, cx - c * cx + n * cy + 1.5, n, c, cy - n * cx - c * cy + 5.3, keystone, 0, 1};
        cv::Mat ours(h, w, CV_8UC3), theirs(h, w, CV_8UC3);
        double best = 1e9, bestCv = 1e9;
        for (int run = 0; run < 20; ++run) {
            double start = ThreadSeconds();
            loom::WarpPackedRgb(src.data, w, h, 8, forward, ours.data, w, h);
            best = std::min(best, ThreadSeconds() - start);
            start = ThreadSeconds();
            cv::warpPerspective(src, theirs, cv::Matx33d(forward.data()), theirs.size(),
                                cv::INTER_CUBIC, cv::BORDER_CONSTANT);
            bestCv = std::min(bestCv, ThreadSeconds() - start);
        }
        cv::Mat diff;
        cv::absdiff(ours, theirs, diff);
        double largest = 0;
        cv::minMaxLoc(diff.reshape(1), nullptr, &largest);
        std::printf(
            "%dx%d 8-bit, %s: ours %.2f ms, OpenCV bicubic %.2f ms (one thread, processor time); "
            "difference mean %.3f, largest %.0f levels\n",
            w, h, keystone != 0 ? "with keystone" : "affine", best * 1e3, bestCv * 1e3,
            cv::mean(diff.reshape(1))[0], largest);
    }
    // A rig off by rows only: the translation's row path against the general two passes.
    const std::array<double, 9> shift{1, 0, 0.0027, 0, 1, 5.94, 0, 0, 1};
    cv::Mat rows(h, w, CV_8UC3), general(h, w, CV_8UC3);
    double best = 1e9, bestGeneral = 1e9;
    for (int run = 0; run < 20; ++run) {
        double start = ThreadSeconds();
        loom::WarpPackedRgb(src.data, w, h, 8, shift, rows.data, w, h);
        best = std::min(best, ThreadSeconds() - start);
        start = ThreadSeconds();
        loom::WarpPackedRgb(src.data, w, h, 8, shift, general.data, w, h,
                            loom::PackedWarpPath::kGeneral);
        bestGeneral = std::min(bestGeneral, ThreadSeconds() - start);
    }
    std::printf("%dx%d 8-bit, translation: row path %.2f ms, general %.2f ms, %s bytes\n", w, h,
                best * 1e3, bestGeneral * 1e3,
                cv::norm(rows, general, cv::NORM_INF) == 0 ? "the same" : "different");
    return 0;
}

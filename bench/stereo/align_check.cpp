// Alignment accuracy and speed, printed as tables (a plain program, not a timed test):
//   align_check [WIDTH HEIGHT]
//   align_check --files LEFT RIGHT   (the time of reading a pair and of aligning it)
//   align_check --video   (the accuracy table for a 1920 x 1080 frame with the options video
//                          frames are estimated with, kVideoMaxFeatures)
// Accuracy: a photo-like picture (default 1600 x 1200) and a dozen known displacements of
// its right view (vertical offset, rotation, scale), the correction found against the one
// applied and the vertical residuals over the matched points. Speed: a 12-megapixel pair
// (4000 x 3000), best of three, estimating alone and with resampling, on one core.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <opencv2/core.hpp>
#include <string>

#include "app/core/filter/image16.h"
#include "app/core/stereo/alignment.h"
#include "app/core/video/shot_alignment.h"
#include "tests/stereo/stereo_scene.h"

namespace {

using loom::stereo::Alignment;
using stereotest::Perturbation;

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The processor time of the process (all its threads): on a shared machine, the work done
/// whatever else runs.
double ProcessSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

/// Reading a pair of files and estimating its alignment, each the best of five, on one core.
int TimeFiles(const char* leftPath, const char* rightPath) {
    double read = 1e9, estimate = 1e9;
    for (int run = 0; run < 5; ++run) {
        auto start = std::chrono::steady_clock::now();
        loom::Image16 left, right;
        std::string err;
        if (!loom::ReadImage16(leftPath, left, err) || !loom::ReadImage16(rightPath, right, err)) {
            std::fprintf(stderr, "align_check: %s\n", err.c_str());
            return 1;
        }
        read = std::min(read, Seconds(start));
        start = std::chrono::steady_clock::now();
        const Alignment a = loom::stereo::EstimateAlignment(left, right);
        estimate = std::min(estimate, Seconds(start));
        if (run == 0)
            std::printf("%dx%d: %s\n", left.width, left.height,
                        loom::stereo::DescribeAlignment(a).c_str());
    }
    std::printf("on one core, best of 5: reading both %.3f s, estimating %.3f s\n", read, estimate);
    return 0;
}

int main(int argc, char** argv) {
    cv::setNumThreads(1);  // one core, as the figures claim
    if (argc == 4 && std::string(argv[1]) == "--files") return TimeFiles(argv[2], argv[3]);
    const bool video = argc == 2 && std::string(argv[1]) == "--video";
    loom::stereo::AlignOptions options;
    if (video) options.maxFeatures = loom::kVideoMaxFeatures;
    const int w = video ? 1920 : argc > 2 ? std::atoi(argv[1]) : 1600;
    const int h = video ? 1080 : argc > 2 ? std::atoi(argv[2]) : 1200;
    const loom::Image16 left = stereotest::PhotoLike(w, h, 7);
    const Perturbation cases[] = {
        {20, 0, 1},         {-20, 0, 1},        {0, 2, 1},        {0, -2, 1},
        {0, 0, 1.02},       {0, 0, 0.98},       {12, 1.5, 1.015}, {-15, -1.2, 0.985},
        {7.3, -0.7, 1.007}, {-3.6, 0.4, 0.993}, {20, 2, 1.02},    {-20, -2, 0.98},
    };
    std::printf("%dx%d picture\n", w, h);
    std::printf(
        "| applied dy px | rot deg | scale | found dy px | rot deg | scale | rot err deg | "
        "scale err %% | matches | residual median px | p95 px | before median px |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    bool ok = true;
    double slowest = 0;
    for (const Perturbation& p : cases) {
        const auto start = std::chrono::steady_clock::now();
        const Alignment a =
            loom::stereo::EstimateAlignment(left, stereotest::Perturbed(left, p), options);
        slowest = std::max(slowest, Seconds(start));
        const double rotErr = a.rotationDeg - p.rotationDeg;
        const double scaleErr = (a.scale / p.scale - 1) * 100;
        ok = ok && std::abs(rotErr) <= 0.05 && std::abs(scaleErr) <= 0.1 &&
             a.residualMedianPx <= 0.25 && a.residualP95Px <= 1;
        std::printf(
            "| %.1f | %.1f | %.3f | %.3f | %.4f | %.5f | %+.4f | %+.4f | %d | %.3f | %.3f "
            "| %.2f |\n",
            p.dyPx, p.rotationDeg, p.scale, a.dyPx, a.rotationDeg, a.scale, rotErr, scaleErr,
            a.matches, a.residualMedianPx, a.residualP95Px, a.residualMedianBeforePx);
    }
    std::printf("accuracy: %s; slowest estimate %.3f s\n", ok ? "within bounds" : "OUT OF BOUNDS",
                slowest);
    if (video) return ok ? 0 : 1;

    // Speed on 12 megapixels.
    const loom::Image16 big = stereotest::PhotoLike(4000, 3000, 9);
    const Perturbation p{11, 1.1, 1.012};
    const loom::Image16 bigRight = stereotest::Perturbed(big, p);
    double estimate = 1e9, resample = 1e9, estimateCpu = 1e9, resampleCpu = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        double cpu = ProcessSeconds();
        const Alignment a = loom::stereo::EstimateAlignment(big, bigRight);
        estimate = std::min(estimate, Seconds(start));
        estimateCpu = std::min(estimateCpu, ProcessSeconds() - cpu);
        start = std::chrono::steady_clock::now();
        cpu = ProcessSeconds();
        const loom::stereo::CropRect crop = loom::stereo::SharedArea(4000, 3000, a.correction, 0);
        const loom::Image16 out = loom::stereo::ResampleView(bigRight, a.correction, 0, crop);
        resample = std::min(resample, Seconds(start));
        resampleCpu = std::min(resampleCpu, ProcessSeconds() - cpu);
        if (run == 0) {
            std::printf(
                "12 MP: %d matches, rotation %.4f scale %.5f dy %.3f, residual median "
                "%.3f px\n",
                a.matches, a.rotationDeg, a.scale, a.dyPx, a.residualMedianPx);
        }
    }
    std::printf(
        "12 MP (4000x3000) on one core, best of 3: estimate %.3f s, resample %.3f s, "
        "total %.3f s (processor time: %.3f + %.3f = %.3f s)\n",
        estimate, resample, estimate + resample, estimateCpu, resampleCpu,
        estimateCpu + resampleCpu);
    return ok ? 0 : 1;
}

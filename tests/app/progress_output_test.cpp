// Progress in the style the front-end chose: a bar on a terminal, whole lines in a log,
// JSON objects for farm managers, nothing when quiet.
#include "app/core/render/progress_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

namespace {

using loom::ProgressOutput;
using loom::ProgressStyle;

/// What a display of `style` prints for reports of 1, 2 and 3 of 3.
std::string Shown(ProgressStyle style) {
    loom::SetProgressStyle(style);
    testing::internal::CaptureStderr();
    {
        ProgressOutput out("render", "frames", std::chrono::milliseconds(0));
        for (long long done = 1; done <= 3; ++done) {
            out.Report(done, 3, [done](double) { return "frame " + std::to_string(done); });
        }
    }
    loom::SetProgressStyle(ProgressStyle::kAuto);
    return testing::internal::GetCapturedStderr();
}

TEST(ProgressOutput, EachStyleDrawsItsOwnWay) {
    // Lines: whole lines only, and the last state always ends the log.
    const std::string lines = Shown(ProgressStyle::kLines);
    EXPECT_EQ(lines.find('\r'), std::string::npos) << lines;
    EXPECT_EQ(lines.rfind("frame 3\n"), lines.size() - 8) << lines;
    // The bar redraws in place and ends its line.
    const std::string bar = Shown(ProgressStyle::kBar);
    EXPECT_EQ(bar.front(), '\r');
    EXPECT_EQ(bar.back(), '\n');
    EXPECT_NE(bar.find("frame 3"), std::string::npos);
    // JSON: one object a line, the last one complete.
    const std::string json = Shown(ProgressStyle::kJson);
    std::istringstream in(json);
    std::string line, last;
    while (std::getline(in, line)) {
        EXPECT_EQ(line.rfind("{\"task\":\"render\",", 0), 0u) << line;
        EXPECT_EQ(line.back(), '}') << line;
        last = line;
    }
    EXPECT_NE(last.find("\"done\":3,\"total\":3,\"unit\":\"frames\""), std::string::npos) << json;
    EXPECT_EQ(Shown(ProgressStyle::kNone), "");
}

TEST(ProgressOutput, AutoIsLinesWhenStderrIsNotATerminal) {
    // CaptureStderr sends stderr to a file, as a log does.
    testing::internal::CaptureStderr();
    const ProgressStyle style = loom::CurrentProgressStyle();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(style, ProgressStyle::kLines);
}

}  // namespace

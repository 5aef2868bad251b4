#pragma once
// Shared by the resource compiler's tests: the sample script and comparisons.

#include <gtest/gtest.h>

#include <string>

#include "foundation/host/win32/resources.h"

namespace loom::rc::test {

inline const std::string kDataDir = LOOM_RC_TEST_DATA;
inline const std::string kSampleRc = kDataDir + "/sample.rc";

inline void ExpectSameControl(const DialogControl& a, const DialogControl& b) {
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.className, b.className);
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.textOrdinal, b.textOrdinal);
    EXPECT_EQ(a.style, b.style);
    EXPECT_EQ(a.exStyle, b.exStyle);
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.cx, b.cx);
    EXPECT_EQ(a.cy, b.cy);
}

inline void ExpectSameDialog(const DialogTemplate& a, const DialogTemplate& b) {
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.style, b.style);
    EXPECT_EQ(a.exStyle, b.exStyle);
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.cx, b.cx);
    EXPECT_EQ(a.cy, b.cy);
    EXPECT_EQ(a.caption, b.caption);
    EXPECT_EQ(a.className, b.className);
    EXPECT_EQ(a.fontName, b.fontName);
    EXPECT_EQ(a.fontSize, b.fontSize);
    EXPECT_EQ(a.fontWeight, b.fontWeight);
    EXPECT_EQ(a.fontItalic, b.fontItalic);
    EXPECT_EQ(a.fontCharset, b.fontCharset);
    EXPECT_EQ(a.extended, b.extended);
    ASSERT_EQ(a.controls.size(), b.controls.size());
    for (std::size_t i = 0; i < a.controls.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        ExpectSameControl(a.controls[i], b.controls[i]);
    }
}

}  // namespace loom::rc::test

// The filter's render step through the ImageFilter interface, with host bitmaps and a
// host window that receives the progress and abort messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "dioptrix/composite.h"
#include "dioptrix/dioptrix_filter.h"
#include "foundation/host/win32/win32.h"
#include "tests/support/alloc_counter.h"

namespace {

struct Message {
    UINT msg;
    WPARAM w;
    LPARAM l;
};

/// What the progress window saw, the abort query at which it asks to stop and the one at
/// which it throws (-1 never).
struct Recorder {
    std::vector<Message> seen;
    int abortAtQuery = -1;
    int throwAtQuery = -1;
    int queries = 0;
};

LRESULT ProgressProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(l);
        SetWindowLongPtr(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return 0;
    }
    auto* rec = reinterpret_cast<Recorder*>(GetWindowLongPtr(h, GWLP_USERDATA));
    if (rec && (m == FLT_PROGRESS || m == FLT_CHECKABORT)) {
        rec->seen.push_back({m, w, l});
        if (m == FLT_CHECKABORT && rec->queries == rec->throwAtQuery) {
            throw std::runtime_error("the host's window failed");
        }
        if (m == FLT_CHECKABORT && rec->queries++ == rec->abortAtQuery) {
            *reinterpret_cast<std::int32_t*>(l) = 1;
        }
        return 0;
    }
    return DefWindowProc(h, m, w, l);
}

using BitmapPtr = std::unique_ptr<Bitmap, void (*)(Bitmap*)>;

BitmapPtr MakeBitmap(int w, int h, BMM_Color_64 fill) {
    BitmapInfo bi;
    bi.SetWidth(w);
    bi.SetHeight(h);
    Bitmap* bm = TheManager->Create(&bi);
    if (bm) std::fill(bm->Pixels().begin(), bm->Pixels().end(), fill);
    return BitmapPtr(bm, [](Bitmap* b) {
        if (b) b->DeleteThis();
    });
}

BMM_Color_64 At(const Bitmap& bm, int x, int y) {
    return bm.Pixels()[static_cast<size_t>(y) * static_cast<size_t>(bm.Width()) +
                       static_cast<size_t>(x)];
}

constexpr BMM_Color_64 kWhite{65535, 65535, 65535, 65535};
constexpr BMM_Color_64 kGrey{30000, 30000, 30000, 1000};
constexpr BMM_Color_64 kBlack{0, 0, 0, 0};

class Render : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc;
        wc.lpfnWndProc = ProgressProc;
        wc.lpszClassName = "DioptrixTestProgress";
        RegisterClassA(&wc);
    }
    void SetUp() override {
        window = CreateWindowExA(0, "DioptrixTestProgress", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, &rec);
        ASSERT_NE(window, nullptr);
        filter.config.leftCompensation = 0.0f;  // channels then carry the luminances exactly
        filter.config.rightCompensation = 0.0f;
    }
    void TearDown() override { DestroyWindow(window); }
    BOOL Run(Bitmap* source, Bitmap* foreground) {
        ImageFilter& f = filter;  // as the host sees it
        f.SetSource(source);
        f.SetForeground(foreground);
        return f.Render(window);
    }
    std::vector<Message> Of(UINT msg) const {
        std::vector<Message> out;
        for (const Message& m : rec.seen)
            if (m.msg == msg) out.push_back(m);
        return out;
    }

    DioptrixFilter filter;
    Recorder rec;
    HWND window = nullptr;
};

}  // namespace

TEST_F(Render, ReportsProgressEveryEighthLineAndAsksAboutAbortEveryLine) {
    auto src = MakeBitmap(3, 20, kGrey);
    auto fg = MakeBitmap(3, 20, kWhite);
    ASSERT_TRUE(Run(src.get(), fg.get()));
    std::vector<Message> progress = Of(FLT_PROGRESS);
    ASSERT_EQ(progress.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(progress[i].w, 8 * i);
        EXPECT_EQ(progress[i].l, 19);
    }
    std::vector<Message> queries = Of(FLT_CHECKABORT);
    ASSERT_EQ(queries.size(), 20u);
    for (const Message& q : queries) {
        EXPECT_EQ(q.w, 0u);
        EXPECT_NE(q.l, 0);
    }
    // Progress comes before the abort query of the same line.
    EXPECT_EQ(rec.seen[0].msg, FLT_PROGRESS);
    EXPECT_EQ(rec.seen[1].msg, FLT_CHECKABORT);
    EXPECT_EQ(rec.seen[9].msg, FLT_PROGRESS);  // line 8: after one progress and 8 queries
    EXPECT_EQ(rec.seen[9].w, 8u);
    // Left red, right green: red carries the left view, green the right, blue cleared.
    BMM_Color_64 p = At(*src, 2, 19);
    EXPECT_EQ(p.r, StereoLuminance(kGrey));
    EXPECT_EQ(p.g, 65535);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(p.a, 65535);
}

TEST_F(Render, AnAbortStopsWithZeroAndKeepsTheLinesWritten) {
    auto src = MakeBitmap(4, 20, kGrey);
    auto fg = MakeBitmap(4, 20, kWhite);
    rec.abortAtQuery = 5;  // the query before line 5
    EXPECT_FALSE(Run(src.get(), fg.get()));
    EXPECT_EQ(Of(FLT_CHECKABORT).size(), 6u);
    for (int y = 0; y < 20; ++y) {
        SCOPED_TRACE(y);
        BMM_Color_64 p = At(*src, 3, y);
        if (y < 5) {
            EXPECT_EQ(p.g, 65535);  // composed
        } else {
            EXPECT_EQ(p, kGrey);  // untouched
        }
    }
}

TEST_F(Render, AnExceptionFromTheHostEndsTheRenderWithZeroInsteadOfLeavingIt) {
    static_assert(noexcept(filter.Render(nullptr))&& noexcept(filter.ShowControl(nullptr)));
    auto src = MakeBitmap(4, 20, kGrey);
    auto fg = MakeBitmap(4, 20, kWhite);
    rec.throwAtQuery = 3;
    EXPECT_FALSE(Run(src.get(), fg.get()));
    EXPECT_EQ(At(*src, 3, 2).g, 65535);  // composed before the failure
    EXPECT_EQ(At(*src, 3, 3), kGrey);
    // The filter renders again afterwards.
    rec.throwAtQuery = -1;
    EXPECT_TRUE(Run(src.get(), fg.get()));
}

TEST_F(Render, ShorterAndNarrowerForegroundsMeetBlack) {
    auto src = MakeBitmap(100, 10, kGrey);
    auto fg = MakeBitmap(60, 4, kWhite);
    ASSERT_TRUE(Run(src.get(), fg.get()));
    for (int y = 0; y < 10; ++y) {
        for (int x : {0, 59, 60, 99}) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            BMM_Color_64 p = At(*src, x, y);
            bool inside = y < 4 && x < 60;
            EXPECT_EQ(p.r, StereoLuminance(kGrey));
            EXPECT_EQ(p.g, inside ? 65535 : 0);
            EXPECT_EQ(p.a, inside ? 65535 : kGrey.a);  // the larger alpha
        }
    }
}

TEST_F(Render, ForegroundBelowItsHeightIsBlackEvenAfterBrightLines) {
    // With compensation the right channel of a black foreground is a raised floor, the
    // same on every line below the foreground's last; a stale line would show through.
    filter.config.leftCompensation = filter.config.rightCompensation = -0.1f;
    auto src = MakeBitmap(2, 6, kBlack);
    auto fg = MakeBitmap(2, 3, kWhite);
    ASSERT_TRUE(Run(src.get(), fg.get()));
    for (int y = 3; y < 6; ++y) {
        EXPECT_EQ(At(*src, 1, y).g, 5957) << y;
        EXPECT_EQ(At(*src, 1, y).r, 5957) << y;
    }
    EXPECT_GT(At(*src, 1, 2).g, 60000);
}

TEST_F(Render, FailuresAndEmptyBitmapsFollowTheTable) {
    auto src = MakeBitmap(4, 4, kGrey);
    auto fg = MakeBitmap(4, 4, kWhite);
    EXPECT_FALSE(Run(nullptr, fg.get()));
    EXPECT_FALSE(Run(src.get(), nullptr));
    EXPECT_TRUE(rec.seen.empty());
    EXPECT_EQ(At(*src, 0, 0), kGrey);  // nothing written

    BitmapInfo none;  // a bitmap without pixel storage
    Bitmap empty(none);
    EXPECT_TRUE(Run(&empty, fg.get()));  // nothing to do is success
    EXPECT_TRUE(rec.seen.empty());
    BitmapInfo tall;
    tall.SetWidth(0);
    tall.SetHeight(5);
    Bitmap noWidth(tall);
    EXPECT_TRUE(Run(&noWidth, fg.get()));
    EXPECT_TRUE(rec.seen.empty());

    EXPECT_TRUE(Run(src.get(), &empty));  // foreground without storage: black
    EXPECT_EQ(At(*src, 3, 3).g, 0);
    EXPECT_EQ(At(*src, 3, 3).r, StereoLuminance(kGrey));
    EXPECT_EQ(Of(FLT_CHECKABORT).size(), 4u);
}

TEST_F(Render, WithoutAProgressWindowItStillRenders) {
    auto src = MakeBitmap(2, 9, kWhite);
    auto fg = MakeBitmap(2, 9, kBlack);
    filter.SetSource(src.get());
    filter.SetForeground(fg.get());
    EXPECT_TRUE(filter.Render(nullptr));
    EXPECT_EQ(At(*src, 1, 8), (BMM_Color_64{65535, 0, 0, 65535}));
}

TEST_F(Render, ForeignConfigurationsRenderInRangeAndStayStored) {
    // Left 7, right 7, compensations 0.3 and -0.8: rendered as red, green, -0.1, -0.1.
    const std::uint8_t foreign[12] = {7, 7, 5, 6, 0x9A, 0x99, 0x99, 0x3E, 0xCD, 0xCC, 0x4C, 0xBF};
    std::uint8_t copy[12];
    std::memcpy(copy, foreign, 12);
    ASSERT_TRUE(filter.LoadConfigure(copy));
    auto src = MakeBitmap(3, 3, kGrey);
    auto fg = MakeBitmap(3, 3, kWhite);
    ASSERT_TRUE(Run(src.get(), fg.get()));

    DioptrixFilter reference;  // defaults: red, green, -0.1, -0.1
    auto src2 = MakeBitmap(3, 3, kGrey);
    reference.SetSource(src2.get());
    reference.SetForeground(fg.get());
    ASSERT_TRUE(reference.Render(nullptr));
    EXPECT_EQ(src->Pixels(), src2->Pixels());
    EXPECT_EQ(At(*src, 0, 0).b, 0);

    std::uint8_t saved[12];
    ASSERT_TRUE(filter.SaveConfigure(saved));
    EXPECT_EQ(std::memcmp(saved, foreign, 2), 0);  // eye colours as loaded
    EXPECT_EQ(saved[2], 0);                        // reserved bytes written as 0
    EXPECT_EQ(saved[3], 0);
    EXPECT_EQ(std::memcmp(saved + 4, foreign + 4, 8), 0);  // compensations as loaded
}

TEST_F(Render, AllocatesOneLinePairPerCallWhateverTheHeight) {
    for (int height : {3, 64}) {
        auto src = MakeBitmap(50, height, kGrey);
        auto fg = MakeBitmap(40, height / 2, kWhite);
        filter.SetSource(src.get());
        filter.SetForeground(fg.get());
        long before = loomtest::AllocationCount();
        ASSERT_TRUE(filter.Render(nullptr));
        EXPECT_EQ(loomtest::AllocationCount() - before, 2) << height;
    }
    std::vector<BMM_Color_64> a(1000, kGrey), b(1000, kWhite);
    const LineComposer composer = MakeLineComposer(DioptrixConfig{});
    long before = loomtest::AllocationCount();
    for (int i = 0; i < 100; ++i) ComposeLine(composer, a.data(), b.data(), 1000);
    EXPECT_EQ(loomtest::AllocationCount(), before);
}

TEST(DioptrixFilterObject, AnswersTheHostInterface) {
    DioptrixFilter filter;
    ImageFilter& f = filter;
    EXPECT_EQ(f.Version(), 100u);
    EXPECT_EQ(f.Capability(), 10u);
    EXPECT_EQ(f.EvaluateConfigure(), 12u);
    EXPECT_FALSE(f.SaveConfigure(nullptr));
    EXPECT_FALSE(f.LoadConfigure(nullptr));
    std::uint8_t saved[12];
    ASSERT_TRUE(f.SaveConfigure(saved));
    const std::uint8_t defaults[12] = {0, 1, 0, 0, 0xCD, 0xCC, 0xCC, 0xBD, 0xCD, 0xCC, 0xCC, 0xBD};
    EXPECT_EQ(std::memcmp(saved, defaults, 12), 0);
    // This program holds no dialog templates: neither dialog can be made, and the
    // configuration stays as it was.
    EXPECT_FALSE(f.ShowControl(nullptr));
    EXPECT_EQ(f.ShowAbout(nullptr), -1);
    ASSERT_TRUE(f.SaveConfigure(saved));
    EXPECT_EQ(std::memcmp(saved, defaults, 12), 0);
    // Inherited host members.
    EXPECT_EQ(f.Max(2.0f, -3.0f), 2.0f);
    EXPECT_EQ(f.Lerp(1.0f, 3.0f, 0.25f), 1.5f);
    EXPECT_EQ(f.Lerp(100, 300, 32768), 200);
    EXPECT_EQ(f.Lerp(100, 300, 1 << 30), 300);  // the weight is taken as 0..1
    EXPECT_EQ(f.ChannelsRequired(), 0u);
}

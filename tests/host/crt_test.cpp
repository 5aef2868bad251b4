#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "foundation/host/base/core.h"
#include "foundation/host/base/crt.h"

TEST(Crt, GeneratorFollowsTheRuntimeSequence) {
    crt::srand(1);
    // state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF.
    EXPECT_EQ(crt::rand(), 41);
    EXPECT_EQ(crt::rand(), 18467);
    EXPECT_EQ(crt::rand(), 6334);
    crt::srand(1);
    EXPECT_EQ(crt::rand(), 41);
}

TEST(Crt, ManyDrawsAtOnceAreTheSingleDrawsInTurn) {
    for (int n : {0, 1, 7, 200}) {
        crt::srand(12345);
        std::vector<int> single(static_cast<size_t>(n));
        for (int& d : single) d = crt::rand();
        const int after = crt::rand();
        crt::srand(12345);
        std::vector<int> many(static_cast<size_t>(n) + 1, -1);
        crt::RandMany(many.data(), n);
        EXPECT_EQ(many[static_cast<size_t>(n)], -1) << "wrote past the end";
        many.pop_back();
        EXPECT_EQ(many, single) << n;
        EXPECT_EQ(crt::rand(), after) << "the generator moved on by " << n;
    }
}

TEST(Crt, EachThreadStartsFromSeedOne) {
    crt::srand(99);
    crt::rand();
    int first = -1;
    std::thread([&] { first = crt::rand(); }).join();
    EXPECT_EQ(first, 41);
}

TEST(Crt, TimeHookReplacesTheClock) {
    crt::SetTimeHook([]() -> std::time_t { return 1234; });
    std::time_t out = 0;
    EXPECT_EQ(crt::time(&out), 1234);
    EXPECT_EQ(out, 1234);
    crt::SetTimeHook(nullptr);
    EXPECT_GT(crt::time(nullptr), 1600000000);
}

TEST(Core, IntervalIntersectionAndEmptiness) {
    Interval a(0, 100), b(50, 200);
    EXPECT_EQ((a & b), Interval(50, 100));
    EXPECT_TRUE((Interval(0, 10) & Interval(20, 30)).Empty());
    EXPECT_FALSE(NEVER.InInterval(TIME_NegInfinity));
    EXPECT_TRUE(FOREVER.InInterval(0));
    EXPECT_TRUE((FOREVER & NEVER).Empty());
}

TEST(Core, ClampMinMaxMapsNaNToZero) {
    Color c(-1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN());
    c.ClampMinMax();
    EXPECT_EQ(c, Color(0.0f, 1.0f, 0.0f));
}

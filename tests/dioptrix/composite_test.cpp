// The cross-correction, the luminance, the line composition and the configuration record.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "dioptrix/composite.h"
#include "dioptrix/config.h"

namespace {

constexpr BMM_Color_64 kBlack{0, 0, 0, 65535};
constexpr BMM_Color_64 kWhite{65535, 65535, 65535, 65535};

DioptrixConfig Config(int left, int right, float cL, float cR) {
    DioptrixConfig c;
    c.leftEyeColor = static_cast<std::uint8_t>(left);
    c.rightEyeColor = static_cast<std::uint8_t>(right);
    c.leftCompensation = cL;
    c.rightCompensation = cR;
    return c;
}

/// One pixel composed: left view `a`, right view `b`.
BMM_Color_64 Compose(const DioptrixConfig& config, BMM_Color_64 a, BMM_Color_64 b) {
    ComposeLine(MakeLineComposer(config), &a, &b, 1);
    return a;
}

WORD Channel(const BMM_Color_64& p, int i) { return i == 0 ? p.r : (i == 1 ? p.g : p.b); }

}  // namespace

TEST(StereoLuminance, WeighsTheChannelsAndIgnoresAlpha) {
    EXPECT_EQ(StereoLuminance(kWhite), 65535u);
    EXPECT_EQ(StereoLuminance(BMM_Color_64{1000, 2000, 3000, 0}), 466000u >> 8);
    EXPECT_EQ(StereoLuminance(BMM_Color_64{1000, 2000, 3000, 65535}), 1820u);
    EXPECT_EQ(StereoLuminance(BMM_Color_64{65535, 0, 0, 0}), 19455u);  // 76 * 65535 >> 8
}

TEST(StereoCoefficients, MatchTheWorkedValues) {
    CrossCorrection none = StereoCoefficients(0.0f, 0.0f, 65535.0);
    EXPECT_EQ(none.aL, 1.0f);
    EXPECT_EQ(none.aR, 1.0f);
    EXPECT_EQ(none.bL, 0.0f);
    EXPECT_EQ(none.bR, 0.0f);
    CrossCorrection half = StereoCoefficients(-0.5f, -0.5f, 65535.0);
    EXPECT_EQ(half.aL, static_cast<float>(2.0 / 3.0));
    EXPECT_EQ(half.aR, half.aL);
    EXPECT_EQ(half.bL, 43690.0f);
    EXPECT_EQ(half.bR, 43690.0f);
    CrossCorrection tenth = StereoCoefficients(-0.1f, -0.1f, 65535.0);
    EXPECT_NEAR(tenth.aL, 0.909091, 1e-6);
    EXPECT_NEAR(tenth.bL, 6619.70, 0.01);
    EXPECT_EQ(tenth.bR, tenth.bL);
    // The preview's full scale: a third of 255 on black.
    EXPECT_EQ(StereoCoefficients(-0.5f, -0.5f, 255.0).bL, 170.0f);
    // Unequal compensations give each eye its own pair.
    CrossCorrection mixed = StereoCoefficients(-0.2f, -0.4f, 65535.0);
    double d = 1.0 - 0.2 * 0.4;
    EXPECT_NEAR(mixed.aL, 0.8 / d, 1e-6);
    EXPECT_NEAR(mixed.aR, 0.6 / d, 1e-6);
    EXPECT_NEAR(mixed.bL, 65535 * -0.2 * (-0.4 * 0.8 - 0.6) / (d * d), 0.01);
    EXPECT_NEAR(mixed.bR, 65535 * -0.4 * (-0.2 * 0.6 - 0.8) / (d * d), 0.01);
}

TEST(ThirdChannel, IsTheOneNeitherEyeUses) {
    const int cases[][3] = {{0, 1, 2}, {1, 0, 2}, {0, 2, 1}, {2, 0, 1}, {1, 2, 0}, {2, 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << "," << c[1]);
        EXPECT_EQ(ThirdChannel(c[0], c[1]), c[2]);
    }
}

TEST(ComposeLine, WithoutCompensationCarriesEachLuminance) {
    const BMM_Color_64 pixels[] = {
        kBlack, kWhite, {1000, 2000, 3000, 7}, {65535, 0, 0, 0}, {12, 65000, 300, 65535}};
    for (int left = 0; left < 3; ++left) {
        for (int right = 0; right < 3; ++right) {
            if (left == right) continue;
            for (const BMM_Color_64& a : pixels) {
                for (const BMM_Color_64& b : pixels) {
                    SCOPED_TRACE(testing::Message() << left << right << " " << a.r << "/" << b.r);
                    BMM_Color_64 out = Compose(Config(left, right, 0.0f, 0.0f), a, b);
                    EXPECT_EQ(Channel(out, left), StereoLuminance(a));
                    EXPECT_EQ(Channel(out, right), StereoLuminance(b));
                    EXPECT_EQ(Channel(out, ThirdChannel(left, right)), 0);
                    EXPECT_EQ(out.a, std::max(a.a, b.a));
                }
            }
        }
    }
    BMM_Color_64 redGreen = Compose(Config(0, 1, 0.0f, 0.0f), kWhite, kBlack);
    EXPECT_EQ(redGreen, (BMM_Color_64{65535, 0, 0, 65535}));
    BMM_Color_64 blueRed = Compose(Config(2, 0, 0.0f, 0.0f), kWhite, kWhite);
    EXPECT_EQ(blueRed, (BMM_Color_64{65535, 0, 65535, 65535}));  // green cleared
}

TEST(ComposeLine, HalfCompensationRaisesTheFloorToAThird) {
    DioptrixConfig c = Config(0, 1, -0.5f, -0.5f);
    BMM_Color_64 black = Compose(c, kBlack, kBlack);
    EXPECT_NEAR(black.r, 21845, 1);
    EXPECT_NEAR(black.g, 21845, 1);
    EXPECT_EQ(black.b, 0);
    BMM_Color_64 whiteBlack = Compose(c, kWhite, kBlack);
    EXPECT_NEAR(whiteBlack.r, 65535, 1);
    EXPECT_NEAR(whiteBlack.g, 0, 1);
    BMM_Color_64 blackWhite = Compose(c, kBlack, kWhite);
    EXPECT_NEAR(blackWhite.r, 0, 1);
    EXPECT_NEAR(blackWhite.g, 65535, 1);
}

TEST(ComposeLine, TenthCompensationOnBlack) {
    BMM_Color_64 out = Compose(Config(1, 2, -0.1f, -0.1f), kBlack, kBlack);
    EXPECT_EQ(out.g, 5957);
    EXPECT_EQ(out.b, 5957);
    EXPECT_EQ(out.r, 0);
}

TEST(ComposeLine, StaysInRangeAcrossTheCompensationRange) {
    // Every compensation pair of the dialog's range, on the extremes of both views.
    const float steps[] = {0.0f, -0.01f, -0.1f, -0.25f, -0.37f, -0.49f, -0.5f};
    for (float cL : steps) {
        for (float cR : steps) {
            DioptrixConfig c = Config(0, 1, cL, cR);
            SCOPED_TRACE(testing::Message() << cL << " " << cR);
            EXPECT_NEAR(Compose(c, kWhite, kBlack).r, 65535, 1);
            EXPECT_NEAR(Compose(c, kBlack, kWhite).r, 0, 1);
            EXPECT_NEAR(Compose(c, kBlack, kWhite).g, 65535, 1);
            EXPECT_NEAR(Compose(c, kWhite, kBlack).g, 0, 1);
        }
    }
}

TEST(ComposeLine, ClampsValuesOutsideTheChannelInsteadOfWrapping) {
    // Compensations outside -0.5..0 (never produced by the setup dialog) push the sums
    // past both ends; the store clamps, truncating toward zero inside the range.
    const float comps[][2] = {{0.5f, 0.5f}, {-0.9f, -0.9f}, {0.3f, -0.8f}, {-0.99f, 0.4f}};
    const BMM_Color_64 pixels[] = {kBlack, kWhite, {30000, 30000, 30000, 0}};
    for (const auto& cc : comps) {
        const LineComposer s = MakeLineComposer(Config(0, 1, cc[0], cc[1]));
        for (const BMM_Color_64& a : pixels) {
            for (const BMM_Color_64& b : pixels) {
                double il = static_cast<float>(Widen(s.k.aL) * StereoLuminance(a) + Widen(s.k.bL));
                double ir = static_cast<float>(Widen(s.k.aR) * StereoLuminance(b) + Widen(s.k.bR));
                auto expect = [](double v) {
                    return v <= 0 ? 0.0 : (v >= 65535 ? 65535.0 : std::trunc(v));
                };
                BMM_Color_64 p = a;
                ComposeLine(s, &p, &b, 1);
                SCOPED_TRACE(testing::Message() << cc[0] << "," << cc[1] << " " << a.r << "/" << b.r
                                                << " il " << il << " ir " << ir);
                EXPECT_EQ(p.r, expect(il + Widen(cc[0]) * ir));
                EXPECT_EQ(p.g, expect(ir + Widen(cc[1]) * il));
            }
        }
    }
    // A value above full scale is the case a plain 16-bit store would wrap.
    BMM_Color_64 p = kWhite;
    ComposeLine(MakeLineComposer(Config(0, 1, 0.5f, 0.5f)), &p, &kWhite, 1);
    EXPECT_EQ(p.r, 65535);
    // NaN compensations give 0, not an undefined conversion.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    p = kWhite;
    ComposeLine(MakeLineComposer(Config(0, 1, nan, nan)), &p, &kWhite, 1);
    EXPECT_EQ(p.r, 0);
    EXPECT_EQ(p.g, 0);
}

TEST(DioptrixConfig, DefaultsEncodeAsTwelveLittleEndianBytes) {
    std::uint8_t bytes[12];
    std::memset(bytes, 0xEE, sizeof bytes);
    EncodeConfig(DioptrixConfig{}, bytes);
    const std::uint8_t expect[12] = {0, 1, 0, 0, 0xCD, 0xCC, 0xCC, 0xBD, 0xCD, 0xCC, 0xCC, 0xBD};
    EXPECT_EQ(std::memcmp(bytes, expect, 12), 0);
    DioptrixConfig withReserved = DecodeConfig(expect);
    withReserved.reserved[0] = 9;  // whatever was loaded, reserved bytes are written as 0
    EncodeConfig(withReserved, bytes);
    EXPECT_EQ(std::memcmp(bytes, expect, 12), 0);
}

TEST(DioptrixConfig, DecodeKeepsEveryBit) {
    const float odd[] = {-0.0f, std::bit_cast<float>(0x7FC01234u), -0.37f, 1e30f,
                         std::numeric_limits<float>::denorm_min()};
    for (float f : odd) {
        DioptrixConfig c = Config(200, 3, f, -f);
        std::uint8_t bytes[12];
        EncodeConfig(c, bytes);
        DioptrixConfig back = DecodeConfig(bytes);
        EXPECT_EQ(back.leftEyeColor, 200);
        EXPECT_EQ(back.rightEyeColor, 3);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(back.leftCompensation),
                  std::bit_cast<std::uint32_t>(f));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(back.rightCompensation),
                  std::bit_cast<std::uint32_t>(-f));
    }
}

TEST(DioptrixConfig, InRangeAsTheSetupDialogOpensIt) {
    struct Case {
        int left, right;
        float cL, cR;
        int wantLeft, wantRight;
        float wantL, wantR;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {7, 7, 0.3f, -0.8f, 0, 1, -0.1f, -0.1f},   // everything out of range
        {1, 1, -0.2f, -0.3f, 1, 2, -0.2f, -0.3f},  // equal colours: right moves on
        {2, 2, 0.0f, -0.5f, 2, 0, 0.0f, -0.5f},    // ... wrapping to red; both ends inside
        {3, 0, -0.0f, nan, 0, 1, -0.0f, -0.1f},    // left becomes red, then right moves on
        {2, 9, -0.50001f, 1e-9f, 2, 1, -0.1f, -0.1f},
        {0, 2, -std::numeric_limits<float>::infinity(), -0.25f, 0, 2, -0.1f, -0.25f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << "," << c.right << " " << c.cL << "," << c.cR);
        DioptrixConfig in = ConfigInRange(Config(c.left, c.right, c.cL, c.cR));
        EXPECT_EQ(in.leftEyeColor, c.wantLeft);
        EXPECT_EQ(in.rightEyeColor, c.wantRight);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(in.leftCompensation),
                  std::bit_cast<std::uint32_t>(c.wantL));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(in.rightCompensation),
                  std::bit_cast<std::uint32_t>(c.wantR));
    }
}

TEST(ComposeLine, VectorKernelsMatchTheScalarLoopBitForBit) {
    if (FastestComposeKernel() == ComposeKernel::kScalar) {
        GTEST_SKIP() << "this processor composes with the scalar loop only";
    }
    // Random pixels with the extremes mixed in, every pair of different eye channels,
    // compensations inside and outside the dialog's range (clamps and NaN included), and
    // widths that leave every possible tail, within one read-ahead run and across several.
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<WORD>(state >> 16);
    };
    std::vector<BMM_Color_64> left(250), right(250);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = {next(), next(), next(), next()};
        right[i] = {next(), next(), next(), next()};
    }
    left[3] = kWhite;
    right[3] = kBlack;
    left[4] = kBlack;
    right[4] = kWhite;
    const float comps[][2] = {{0, 0},
                              {-0.1f, -0.1f},
                              {-0.5f, -0.5f},
                              {-0.37f, -0.01f},
                              {0.5f, 0.5f},
                              {-0.9f, 0.3f},
                              {std::numeric_limits<float>::quiet_NaN(), -0.2f}};
    for (int l = 0; l < 3; ++l) {
        for (int r = 0; r < 3; ++r) {
            if (l == r) continue;
            for (const auto& cc : comps) {
                LineComposer scalar = MakeLineComposer(Config(l, r, cc[0], cc[1]));
                scalar.kernel = ComposeKernel::kScalar;
                for (ComposeKernel kernel : {ComposeKernel::kAvx2, ComposeKernel::kAvx512}) {
                    if (kernel > FastestComposeKernel()) continue;
                    LineComposer vector = scalar;
                    vector.kernel = kernel;
                    for (int width : {0, 1, 3, 4, 5, 8, 9, 15, 66, 67, 97, 250}) {
                        std::vector<BMM_Color_64> v = left, sc = left;
                        ComposeLine(vector, v.data(), right.data(), width);
                        ComposeLine(scalar, sc.data(), right.data(), width);
                        SCOPED_TRACE(testing::Message()
                                     << "kernel " << static_cast<int>(kernel) << " " << l << r
                                     << " " << cc[0] << "," << cc[1] << " w" << width);
                        for (int x = 0; x < 250; ++x) {
                            ASSERT_EQ(v[x], sc[x]) << "pixel " << x;
                        }
                    }
                }
            }
        }
    }
}

TEST(ComposeLine, EqualEyeChannelsKeepTheScalarOrderOfStores) {
    // Only foreign data gives equal channels: the right eye's value wins the shared channel,
    // the third is cleared and the remaining one keeps the source.
    BMM_Color_64 a[5], b[5];
    for (int i = 0; i < 5; ++i) {
        a[i] = {1000, 2000, 3000, 10};
        b[i] = {4000, 5000, 6000, 20};
    }
    ComposeLine(MakeLineComposer(Config(0, 0, 0, 0)), a, b, 5);
    for (const BMM_Color_64& p : a) {
        EXPECT_EQ(p.r, StereoLuminance(b[0]));
        EXPECT_EQ(p.g, 2000);
        EXPECT_EQ(p.b, 0);
        EXPECT_EQ(p.a, 20);
    }
}

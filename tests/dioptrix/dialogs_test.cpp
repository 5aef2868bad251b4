// The calibration and about dialogs of the stereo filter, driven as a person drives them.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "dioptrix/dialogs.h"
#include "dioptrix/dioptrix_filter.h"
#include "dioptrix/library.h"
#include "dioptrix/resource.h"
#include "foundation/host/ui/controls.h"
#include "foundation/host/win32/interact.h"
#include "foundation/host/win32/resources.h"
#include "foundation/host/win32/win32.h"
#include "foundation/host/win32/win32_gdi.h"
#include "tests/support/cli_fixture.h"

namespace interact = loom::interact;
using Bytes = std::array<std::uint8_t, kDioptrixConfigBytes>;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

DioptrixConfig Config(int left, int right, float cL, float cR) {
    DioptrixConfig c;
    c.leftEyeColor = static_cast<std::uint8_t>(left);
    c.rightEyeColor = static_cast<std::uint8_t>(right);
    c.leftCompensation = cL;
    c.rightCompensation = cR;
    return c;
}

Bytes Record(DioptrixFilter& f) {
    Bytes b{};
    EXPECT_TRUE(f.SaveConfigure(b.data()));
    return b;
}

// Which of the three buttons of a group are checked.
std::array<bool, 3> Checks(HWND d, int first) {
    return {IsDlgButtonChecked(d, first) == BST_CHECKED,
            IsDlgButtonChecked(d, first + 1) == BST_CHECKED,
            IsDlgButtonChecked(d, first + 2) == BST_CHECKED};
}

std::array<bool, 3> Only(int i) {
    std::array<bool, 3> a{};
    a[static_cast<size_t>(i)] = true;
    return a;
}

float SpinValue(HWND d, int id) {
    ISpinnerControl* s = GetISpinner(GetDlgItem(d, id));
    EXPECT_NE(s, nullptr);
    const float v = s ? s->GetFVal() : kNaN;
    ReleaseISpinner(s);
    return v;
}

// The picture control 1027 shows, as 24-bit bytes in blue, green, red order, bottom row
// first (the order ComposeDuckPreview writes).
std::vector<std::uint8_t> ShownPreview(HWND d) {
    auto bmp = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageA(d, IDC_PREVIEW, STM_GETIMAGE, IMAGE_BITMAP, 0));
    loom::BitmapPixels px;
    if (!loom::ReadBitmap(bmp, &px) || px.width != kDuckSize || px.height != kDuckSize) return {};
    std::vector<std::uint8_t> out(kDuckPreviewBytes);
    for (int row = 0; row < kDuckSize; ++row) {
        for (int x = 0; x < kDuckSize; ++x) {
            const std::uint8_t* s =
                &px.rgba[(static_cast<size_t>(kDuckSize - 1 - row) * kDuckSize + x) * 4];
            std::uint8_t* o = &out[(static_cast<size_t>(row) * kDuckSize + x) * 3];
            o[0] = s[2];
            o[1] = s[1];
            o[2] = s[0];
        }
    }
    return out;
}

std::vector<std::uint8_t> Expected(const DioptrixConfig& c) {
    std::vector<std::uint8_t> out(kDuckPreviewBytes);
    ComposeDuckPreview(c, LeftDuckImage(), RightDuckImage(), out.data());
    return out;
}

// The dialog templates and pictures are compiled into this test program.
void AttachLibrary() {
    static int anchor;
    static const BOOL attached =
        DioptrixLibMain(loom::ModuleHandleForAddress(&anchor), DLL_PROCESS_ATTACH);
    ASSERT_TRUE(attached);
}

class DioptrixDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { AttachLibrary(); }
    void SetUp() override {
        ASSERT_NE(LeftDuckImage(), nullptr);
        ASSERT_NE(RightDuckImage(), nullptr);
        windows = loom::WindowCount();
        gdi = loom::GdiObjectCount();
    }
    void TearDown() override {
        EXPECT_EQ(loom::WindowCount(), windows) << "a window was left behind";
        EXPECT_EQ(loom::GdiObjectCount(), gdi) << "a bitmap was left behind";
        EXPECT_EQ(DuckPreviewBitmap(), nullptr);
        EXPECT_EQ(filter.leftEyeSpin, nullptr);
        EXPECT_EQ(filter.rightEyeSpin, nullptr);
    }
    // Opens the setup dialog on `start`, runs `actions` in it and answers ShowControl's result.
    BOOL Run(const DioptrixConfig& start, std::vector<interact::ModalScript::Action> actions) {
        Bytes b{};
        EncodeConfig(start, b.data());
        EXPECT_TRUE(filter.LoadConfigure(b.data()));
        interact::ModalScript script(std::move(actions));
        const BOOL r = filter.ShowControl(nullptr);
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(script.Overran());
        return r;
    }
    DioptrixFilter filter;
    int windows = 0;
    int gdi = 0;
};

auto Press(int vk) {
    return [vk](HWND d) { EXPECT_TRUE(interact::PressKey(d, vk)); };
}
auto ClickOn(int id) {
    return [id](HWND d) { EXPECT_TRUE(interact::Click(d, id)); };
}

// ---- Opening: the stored configuration brought into range ----------------------------------

struct OpeningCase {
    const char* name;
    DioptrixConfig stored;
    DioptrixConfig shown;
};

class DioptrixOpening : public DioptrixDialogs,
                        public ::testing::WithParamInterface<OpeningCase> {};

TEST_P(DioptrixOpening, ShowsTheConfigurationInRangeAndCancelKeepsIt) {
    const OpeningCase& c = GetParam();
    Bytes expected{};
    EncodeConfig(c.shown, expected.data());
    std::array<bool, 3> left{}, right{};
    float leftSpin = 0, rightSpin = 0;
    std::vector<std::uint8_t> shown;
    const BOOL r = Run(c.stored, {[&](HWND d) {
                           left = Checks(d, IDC_LEFT_RED);
                           right = Checks(d, IDC_RIGHT_RED);
                           leftSpin = SpinValue(d, IDC_LEFT_SPIN);
                           rightSpin = SpinValue(d, IDC_RIGHT_SPIN);
                           shown = ShownPreview(d);
                           EXPECT_TRUE(interact::Click(d, IDCANCEL));
                       }});
    EXPECT_EQ(r, FALSE);
    EXPECT_EQ(left, Only(c.shown.leftEyeColor));
    EXPECT_EQ(right, Only(c.shown.rightEyeColor));
    EXPECT_EQ(leftSpin, c.shown.leftCompensation);
    EXPECT_EQ(rightSpin, c.shown.rightCompensation);
    EXPECT_EQ(shown, Expected(c.shown));
    EXPECT_EQ(Record(filter), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, DioptrixOpening,
    ::testing::Values(
        OpeningCase{"InRange", Config(2, 0, -0.25f, -0.4f), Config(2, 0, -0.25f, -0.4f)},
        OpeningCase{"BothColoursAndCompensationsOut", Config(7, 7, 0.3f, -0.8f),
                    Config(0, 1, -0.1f, -0.1f)},
        OpeningCase{"SameColours", Config(1, 1, -0.2f, -0.3f), Config(1, 2, -0.2f, -0.3f)},
        OpeningCase{"RightOutBecomesGreenThenMoves", Config(1, 9, -0.5f, 0.0f),
                    Config(1, 2, -0.5f, 0.0f)},
        OpeningCase{"NaNAndNegativeZero", Config(0, 2, kNaN, -0.0f), Config(0, 2, -0.1f, -0.0f)}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Eye colours --------------------------------------------------------------------------

TEST_F(DioptrixDialogs, ClickingTheOtherEyesColourSwapsTheEyes) {
    std::array<bool, 3> left{}, right{};
    HBITMAP before = nullptr, after = nullptr;
    std::vector<std::uint8_t> shown;
    const BOOL r =
        Run(Config(0, 1, -0.1f, -0.1f), {[&](HWND d) {
                                             before = DuckPreviewBitmap();
                                             EXPECT_TRUE(interact::Click(d, IDC_RIGHT_RED));
                                             after = DuckPreviewBitmap();
                                             left = Checks(d, IDC_LEFT_RED);
                                             right = Checks(d, IDC_RIGHT_RED);
                                             shown = ShownPreview(d);
                                         },
                                         ClickOn(IDOK)});
    EXPECT_EQ(r, TRUE);
    EXPECT_EQ(left, Only(1));
    EXPECT_EQ(right, Only(0));
    EXPECT_NE(before, after) << "the preview was not repainted";
    EXPECT_EQ(shown, Expected(Config(1, 0, -0.1f, -0.1f)));
    EXPECT_EQ(filter.config.leftEyeColor, 1);
    EXPECT_EQ(filter.config.rightEyeColor, 0);
}

TEST_F(DioptrixDialogs, EachButtonSetsItsEyeAndSwapsOnlyOnAClash) {
    struct Step {
        int button;
        int left, right;
    };
    // From left red, right green.
    const Step steps[] = {
        {IDC_LEFT_BLUE, 2, 1},  {IDC_LEFT_GREEN, 1, 2}, {IDC_RIGHT_RED, 1, 0},
        {IDC_RIGHT_BLUE, 1, 2}, {IDC_LEFT_BLUE, 2, 1},  {IDC_RIGHT_GREEN, 2, 1},
        {IDC_LEFT_RED, 0, 1},
    };
    std::vector<interact::ModalScript::Action> actions;
    for (const Step& s : steps) {
        actions.push_back([s](HWND d) {
            SCOPED_TRACE(s.button);
            EXPECT_TRUE(interact::Click(d, s.button));
            EXPECT_EQ(Checks(d, IDC_LEFT_RED), Only(s.left));
            EXPECT_EQ(Checks(d, IDC_RIGHT_RED), Only(s.right));
        });
    }
    actions.push_back(ClickOn(IDOK));
    EXPECT_EQ(Run(Config(0, 1, -0.1f, -0.1f), std::move(actions)), TRUE);
}

TEST_F(DioptrixDialogs, ClickingTheCheckedButtonChangesAndPaintsNothing) {
    HBITMAP before = nullptr;
    bool unchanged = false;
    Run(Config(2, 0, -0.3f, -0.2f), {[&](HWND d) {
                                         before = DuckPreviewBitmap();
                                         EXPECT_TRUE(interact::Click(d, IDC_LEFT_BLUE));
                                         EXPECT_TRUE(interact::Click(d, IDC_RIGHT_RED));
                                         unchanged = DuckPreviewBitmap() == before;
                                         EXPECT_EQ(Checks(d, IDC_LEFT_RED), Only(2));
                                         EXPECT_EQ(Checks(d, IDC_RIGHT_RED), Only(0));
                                     },
                                     ClickOn(IDOK)});
    EXPECT_NE(before, nullptr);
    EXPECT_TRUE(unchanged) << "the preview was repainted";
}

// ---- Compensation spinners ----------------------------------------------------------------

TEST_F(DioptrixDialogs, SpinnersSetTheCompensationsAtOnceWithinTheirLimits) {
    float afterTyping = 0;
    std::vector<std::uint8_t> shown;
    const BOOL r =
        Run(Config(0, 1, -0.1f, -0.1f),
            {[&](HWND d) {
                 EXPECT_TRUE(interact::TypeValue(d, IDC_LEFT_EDIT, "-0.35"));
                 afterTyping = filter.config.leftCompensation;
                 EXPECT_TRUE(interact::DragSpinner(d, IDC_RIGHT_SPIN, {-0.2f, -0.9f}, true));
                 shown = ShownPreview(d);
             },
             Press(VK_RETURN)});
    EXPECT_EQ(r, TRUE);
    EXPECT_EQ(afterTyping, -0.35f);
    EXPECT_EQ(filter.config.leftCompensation, -0.35f);
    EXPECT_EQ(filter.config.rightCompensation, -0.5f) << "the spinner left its limits";
    EXPECT_EQ(shown, Expected(filter.config));
}

// ---- Cancel ---------------------------------------------------------------------------------

struct CancelCase {
    const char* name;
    interact::ModalScript::Action cancel;
};

class DioptrixCancel : public DioptrixDialogs, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(DioptrixCancel, RestoresTheTwelveBytesAsOpened) {
    // Stored out of range: Cancel gives the configuration as the dialog corrected it.
    Bytes expected{};
    EncodeConfig(Config(1, 2, -0.1f, -0.45f), expected.data());
    const BOOL r =
        Run(Config(1, 1, 0.5f, -0.45f),
            {[](HWND d) {
                 EXPECT_TRUE(interact::Click(d, IDC_RIGHT_GREEN));
                 EXPECT_TRUE(interact::DragSpinner(d, IDC_LEFT_SPIN, {-0.3f, -0.4f}, true));
                 EXPECT_TRUE(interact::TypeValue(d, IDC_RIGHT_EDIT, "0"));
                 EXPECT_TRUE(interact::Click(d, IDC_LEFT_BLUE));
             },
             GetParam().cancel});
    EXPECT_EQ(r, FALSE);
    EXPECT_EQ(Record(filter), expected);
}

INSTANTIATE_TEST_SUITE_P(Ways, DioptrixCancel,
                         ::testing::Values(CancelCase{"CancelButton", ClickOn(IDCANCEL)},
                                           CancelCase{"Escape", Press(VK_ESCAPE)},
                                           CancelCase{"CloseBox",
                                                      [](HWND d) {
                                                          EXPECT_TRUE(interact::CloseDialog(d));
                                                      }}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(DioptrixDialogs, ADialogEndedFromOutsideKeepsNothingAndLeavesNothing) {
    Bytes expected{};
    EncodeConfig(Config(0, 1, -0.1f, -0.1f), expected.data());
    Bytes b = expected;
    ASSERT_TRUE(filter.LoadConfigure(b.data()));
    interact::ModalScript script({ClickOn(IDC_LEFT_GREEN)});  // and never closes
    EXPECT_EQ(filter.ShowControl(nullptr), FALSE);
    EXPECT_TRUE(script.Overran());
    EXPECT_EQ(Record(filter), expected);
    // The library's dialog state is free again: the next dialog opens.
    EXPECT_EQ(Run(Config(0, 1, -0.1f, -0.1f), {ClickOn(IDOK)}), TRUE);
}

TEST_F(DioptrixDialogs, MessagesBeforeTheDialogOpensAreAnsweredZero) {
    EXPECT_EQ(DucktestDlgProc(nullptr, WM_COMMAND, IDCANCEL, 0), 0);
    EXPECT_EQ(DucktestDlgProc(nullptr, CC_SPINNER_CHANGE, IDC_LEFT_SPIN, 0), 0);
}

// ---- The calibration preview ----------------------------------------------------------------

TEST_F(DioptrixDialogs, WithoutCompensationEachEyeSeesItsOwnDuck) {
    const std::uint8_t* l = LeftDuckImage();
    const std::uint8_t* r = RightDuckImage();
    struct Eyes {
        int left, right, third;
    };
    for (const Eyes e : {Eyes{0, 1, 2}, Eyes{2, 0, 1}, Eyes{1, 2, 0}}) {
        SCOPED_TRACE(e.left * 10 + e.right);
        std::vector<std::uint8_t> shown;
        Run(Config(e.left, e.right, 0.0f, 0.0f), {[&](HWND d) {
                shown = ShownPreview(d);
                EXPECT_TRUE(interact::Click(d, IDOK));
            }});
        ASSERT_EQ(shown.size(), static_cast<size_t>(kDuckPreviewBytes));
        int mismatches = 0;
        for (int i = 0; i < kDuckPixels; ++i) {
            const std::uint8_t* px = &shown[static_cast<size_t>(i) * 3];
            mismatches += px[2 - e.left] != l[i];
            mismatches += px[2 - e.right] != r[i];
            mismatches += px[2 - e.third] != 0;
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(DioptrixPreview, FullCompensationLiftsBlackToAThird) {
    // Both pictures black: -0.5 on both glasses gives 85 in both eye channels everywhere.
    std::vector<std::uint8_t> black(kDuckPixels, 0), out(kDuckPreviewBytes, 7);
    ComposeDuckPreview(Config(0, 1, -0.5f, -0.5f), black.data(), black.data(), out.data());
    for (int i = 0; i < kDuckPixels; ++i) {
        ASSERT_EQ(out[static_cast<size_t>(i) * 3 + 2], 85) << i;  // red: left eye
        ASSERT_EQ(out[static_cast<size_t>(i) * 3 + 1], 85) << i;  // green: right eye
        ASSERT_EQ(out[static_cast<size_t>(i) * 3 + 0], 0) << i;
    }
}

TEST(DioptrixPreview, RoundingErrorIsCarriedOnAndClampingToo) {
    // Left eye red: IL = aL*p + bL with cL = -0.5, cR = 0 gives aL = 0.5, bL = 127.5 and
    // IR = p, vL = IL - 0.5*IR + eL. With the left picture 1 and the right 0 everywhere,
    // vL is 128 + carry: no carry builds up. With a left picture of 0 and right 254, IL =
    // 127.5, vL = 0.5 + carry: the halves alternate 1, 0, 1, 0 ...
    std::vector<std::uint8_t> zero(kDuckPixels, 0), bright(kDuckPixels, 254);
    std::vector<std::uint8_t> out(kDuckPreviewBytes);
    ComposeDuckPreview(Config(0, 1, -0.5f, 0.0f), zero.data(), bright.data(), out.data());
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(out[static_cast<size_t>(i) * 3 + 2], i % 2 == 0 ? 1 : 0) << i;
        EXPECT_EQ(out[static_cast<size_t>(i) * 3 + 1], 254) << i;
    }
    // Right glass -0.5 on a bright left picture drives the right channel below 0: clamped,
    // and the deficit carried until it is spent.
    std::vector<std::uint8_t> full(kDuckPixels, 255);
    ComposeDuckPreview(Config(0, 1, 0.0f, -0.5f), full.data(), zero.data(), out.data());
    // IR = 0.5*0 + 127.5 = 127.5, vR = -0.5*255 + 127.5 + eR = eR = 0 each pixel.
    for (int i = 0; i < kDuckPixels; ++i) ASSERT_EQ(out[static_cast<size_t>(i) * 3 + 1], 0) << i;
    // A bright left picture with the left glass at -0.5 overshoots 255: vL = 0.5*255 + 127.5
    // = 255 exactly, kept.
    ComposeDuckPreview(Config(0, 1, -0.5f, 0.0f), full.data(), zero.data(), out.data());
    EXPECT_EQ(out[2], 255);
}

// ---- About box ------------------------------------------------------------------------------

TEST_F(DioptrixDialogs, AboutBoxAnswersOneForOkAndZeroOtherwise) {
    struct Case {
        const char* name;
        interact::ModalScript::Action action;
        INT_PTR result;
    };
    const Case cases[] = {{"OK", ClickOn(IDOK), 1},
                          {"Enter", Press(VK_RETURN), 1},
                          {"Escape", Press(VK_ESCAPE), 0},
                          {"Close box", [](HWND d) { EXPECT_TRUE(interact::CloseDialog(d)); }, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string title;
        bool named = false;
        interact::ModalScript script({[&](HWND d) {
                                          char buf[128] = {};
                                          GetWindowTextA(d, buf, sizeof buf);
                                          title = buf;
                                          named =
                                              interact::FindControlByText(d, "Version 1.0") &&
                                              interact::FindControlByText(d, "Stereo 3D Dioptrix");
                                      },
                                      c.action});
        EXPECT_EQ(filter.ShowAbout(nullptr), c.result);
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(script.Overran());
        EXPECT_EQ(title, "About Stereo 3D Dioptrix");
        EXPECT_TRUE(named);
    }
}

// ---- loomhost calibrate ---------------------------------------------------------------------

class CalibrateCli : public loomtest::CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        AttachLibrary();
    }
    // The written picture as 24-bit bytes in blue, green, red order, bottom row first.
    std::vector<std::uint8_t> Written(const std::string& path) {
        loom::FloatImage img;
        int bits = 0;
        std::string err;
        EXPECT_TRUE(loom::ReadImage(path, img, bits, err)) << err;
        if (img.width != kDuckSize || img.height != kDuckSize) return {};
        std::vector<std::uint8_t> out(kDuckPreviewBytes);
        for (int row = 0; row < kDuckSize; ++row) {
            for (int x = 0; x < kDuckSize; ++x) {
                const float* p = &img.rgba[(static_cast<size_t>(kDuckSize - 1 - row) * kDuckSize +
                                            static_cast<size_t>(x)) *
                                           4];
                std::uint8_t* o = &out[(static_cast<size_t>(row) * kDuckSize + x) * 3];
                for (int c = 0; c < 3; ++c) {
                    o[2 - c] = static_cast<std::uint8_t>(std::lround(Widen(p[c]) * 255.0));
                }
            }
        }
        return out;
    }
};

TEST_F(CalibrateCli, WritesThePreviewTheDialogShows) {
    struct Case {
        const char* args;
        DioptrixConfig config;
    };
    const Case cases[] = {
        {"", Config(0, 1, -0.1f, -0.1f)},
        {"--left-eye green --right-eye red --left-comp -0.5 --right-comp -0.5",
         Config(1, 0, -0.5f, -0.5f)},
        {"--left-eye blue --left-comp 0 --right-comp -0.25", Config(2, 1, 0.0f, -0.25f)},
        {"--right-eye red --left-comp -0.05", Config(1, 0, -0.05f, -0.1f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string out = Path("calibration.png");
        const loomtest::CliResult r = Run(std::string("calibrate ") + c.args + " -o " + out);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Written(out), Expected(c.config));
    }
}

TEST_F(CalibrateCli, FullCompensationShowsBlackAsEightyFive) {
    const std::string out = Path("full.png");
    ASSERT_EQ(Run("calibrate --left-comp -0.5 --right-comp -0.5 -o " + out).status, 0);
    const std::vector<std::uint8_t> px = Written(out);
    ASSERT_EQ(px.size(), static_cast<size_t>(kDuckPreviewBytes));
    EXPECT_EQ(px[0], 0);   // blue, no eye's
    EXPECT_EQ(px[1], 85);  // green, the right eye's
    EXPECT_EQ(px[2], 85);  // red, the left eye's
}

TEST_F(CalibrateCli, RefusesWhatTheDialogCannotShow) {
    const char* bad[] = {"--left-eye red --right-eye red", "--left-comp 0.3", "--right-comp -0.8",
                         "--left-eye purple"};
    for (const char* args : bad) {
        SCOPED_TRACE(args);
        const std::string out = Path("never.png");
        const loomtest::CliResult r = Run(std::string("calibrate ") + args + " -o " + out);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("error"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

}  // namespace

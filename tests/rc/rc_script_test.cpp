// Resource scripts: what the compiler makes of the statements the plug-ins use, and how
// it rejects bad scripts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/host/win32/win32_styles.h"
#include "tests/rc/rc_test_support.h"
#include "tools/rc/compiler.h"
#include "tools/rc/parser.h"
#include "tools/rc/rc_error.h"
#include "tools/rc/source_provider.h"

namespace loom::rc {
namespace {

using test::kSampleRc;

const DialogTemplate* Dialog(const ResourceBundle& b, int id) {
    for (const DialogTemplate& d : b.dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

const DialogControl* Control(const DialogTemplate& d, int id, const std::string& text = {}) {
    for (const DialogControl& c : d.controls)
        if (c.id == id && (text.empty() || c.text == text)) return &c;
    return nullptr;
}

struct Expected {
    int id;
    const char* className;
    const char* text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

TEST(RcScript, PanelTemplateControlsKeepOrderClassesStylesAndRectangles) {
    FileSystemProvider files;
    CompiledResources r = CompileResources(files, kSampleRc, {});
    const DialogTemplate* panel = Dialog(r.bundle, 1038);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->extended);
    EXPECT_EQ(panel->style, WS_CHILD | WS_VISIBLE | DS_SETFONT);
    EXPECT_EQ(panel->cx, 217);
    EXPECT_EQ(panel->cy, 120);
    EXPECT_EQ(panel->fontName, "MS Sans Serif");
    EXPECT_EQ(panel->fontSize, 8);
    EXPECT_EQ(panel->fontCharset, 1);
    EXPECT_TRUE(panel->caption.empty());

    const DWORD kChild = WS_CHILD | WS_VISIBLE;
    // clang-format off
    const Expected expected[] = {
        {1132, "Button", "Swap", kChild | BS_PUSHBUTTON | WS_TABSTOP, 0, 12, 108, 25, 24},
        {1133, "ColorSwatch", "", kChild, 0, 68, 105, 40, 14},
        {1099, "CustEdit", "", kChild | WS_TABSTOP, 0, 57, 20, 32, 10},
        {1100, "SpinnerControl", "", kChild, 0, 91, 20, 11, 10},
        {-1, "Static", "Contrast :", kChild | SS_RIGHT | WS_GROUP, 0, 21, 20, 33, 8},
        {-1, "Button", "Cloud Appearance", kChild | BS_GROUPBOX | BS_CENTER, 0, 5, 5, 205, 50},
        {1151, "msctls_trackbar32", "Slider1", kChild | TBS_AUTOTICKS | WS_TABSTOP, 0, 21, 60, 159, 15},
        {1178, "Button", "Positive", kChild | BS_AUTORADIOBUTTON | BS_PUSHLIKE | WS_GROUP, 0, 162, 80, 41, 12},
        {1179, "Button", "Negative", kChild | BS_AUTORADIOBUTTON | BS_PUSHLIKE, 0, 116, 80, 45, 12},
        {0x4A0, "Button", "Invert", kChild | BS_AUTOCHECKBOX, 0, 10, 95, 50, 10},
        {-1, "Static", "", kChild | SS_BITMAP, 0, 5, 7, 208, 37},
        {1140, "Static", "Version 1.0 \xB7 Release", kChild | SS_LEFT | WS_GROUP, 0, 39, 64, 138, 8},
        {-1, "Static", "Centred", kChild | SS_CENTER | WS_GROUP | SS_SUNKEN, WS_EX_STATICEDGE, 1, 2, 3, 4},
        {1200, "Button", "Auto", kChild | BS_AUTORADIOBUTTON | WS_TABSTOP, 0, -5, 16, 20, 10},
    };
    // clang-format on
    ASSERT_EQ(panel->controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        const DialogControl& c = panel->controls[i];
        const Expected& e = expected[i];
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(c.className, e.className);
        EXPECT_EQ(c.text, e.text);
        EXPECT_EQ(c.style, e.style);
        EXPECT_EQ(c.exStyle, e.exStyle);
        EXPECT_EQ(c.x, e.x);
        EXPECT_EQ(c.y, e.y);
        EXPECT_EQ(c.cx, e.cx);
        EXPECT_EQ(c.cy, e.cy);
        // Only the picture control names its bitmap by number.
        EXPECT_EQ(c.textOrdinal, i == 10 ? 118 : -1);
    }
}

TEST(RcScript, ClassicDialogGetsCaptionAndFontStylesAndDefaultButtons) {
    FileSystemProvider files;
    CompiledResources r = CompileResources(files, kSampleRc, {});
    const DialogTemplate* about = Dialog(r.bundle, 101);
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(about->extended);
    EXPECT_EQ(about->style,
              DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_SETFONT);
    EXPECT_EQ(about->caption, "About \"Sample\"");
    EXPECT_EQ(about->cx, 268);
    EXPECT_EQ(about->cy, 190);

    const DWORD kChild = WS_CHILD | WS_VISIBLE;
    const DialogControl* ok = Control(*about, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->style, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP);
    const DialogControl* cancel = Control(*about, IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->style, kChild | BS_PUSHBUTTON | WS_TABSTOP);
    const DialogControl* red = Control(*about, 1019);
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->style, kChild | BS_RADIOBUTTON | WS_TABSTOP);
    const DialogControl* flag = Control(*about, 1030);
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->style, kChild | BS_CHECKBOX | WS_TABSTOP);
    const DialogControl* help = Control(*about, -1);
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->text, "How does it work?\n   1) \"one\"");
    EXPECT_EQ(help->style, kChild | SS_LEFT | WS_GROUP | SS_SUNKEN);
}

TEST(RcScript, StringTableKeepsBytesAndJoinsAdjacentLiterals) {
    FileSystemProvider files;
    CompiledResources r = CompileResources(files, kSampleRc, {});
    const auto& s = r.bundle.strings;
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s.at(1), "3D Mix");
    EXPECT_EQ(s.at(2), "Image Filter");
    EXPECT_EQ(s.at(6),
              "Copyright \xA9 1996\tA\xB7"
              "B");
}

TEST(RcScript, DependenciesNameScriptHeaderAndBitmaps) {
    FileSystemProvider files;
    CompiledResources r = CompileResources(files, kSampleRc, {});
    std::vector<std::string> expected = {
        kSampleRc, test::kDataDir + "/resource.h", test::kDataDir + "/res/rgb24.bmp",
        test::kDataDir + "/res/pal4.bmp", test::kDataDir + "/res/mono.bmp"};
    EXPECT_EQ(r.dependencies, expected);
    ASSERT_EQ(r.bundle.bitmaps.size(), 3u);
    EXPECT_EQ(r.bundle.bitmaps[0].id, 118);
    EXPECT_EQ(r.bundle.bitmaps[1].id, 119);
    EXPECT_EQ(r.bundle.bitmaps[2].id, 120);
}

// Compiles one in-memory script "p/t.rc" (with an optional "p/resource.h").
ResourceBundle CompileText(const std::string& rc, const std::string& header = {}) {
    MemoryProvider mem;
    mem.Add("p/t.rc", rc);
    if (!header.empty()) mem.Add("p/resource.h", header);
    return CompileResources(mem, "p/t.rc", {}).bundle;
}

TEST(RcScript, ConditionalsMacrosAndExpressions) {
    const std::string header =
        "#define BASE 0x100\n"
        "#define NEXT (BASE + 2) * 2 - 1 | 0x1000\n"
        "int ignored = 'x';  /* spans\n lines */ #define NOT_A_DIRECTIVE 1\n";
    const std::string rc =
        "#include \"resource.h\"\n"
        "#define WANT 2\n"
        "#if WANT == 1\n"
        "#bogus directive in a skipped group\n"
        "STRINGTABLE BEGIN 1 \"one\" END\n"
        "#elif defined(BASE) && !defined NOT_A_DIRECTIVE\n"
        "STRINGTABLE BEGIN 1 \"two\" END\n"
        "#else\n"
        "STRINGTABLE BEGIN 1 \"three\" END\n"
        "#endif\n"
        "STRINGTABLE BEGIN NEXT, \"next\" END\n"
        "#undef BASE\n"
        "#ifndef BASE\n"
        "STRINGTABLE { (~0 & 0xFF) / 5 % 7 << 1, \"shifted\" }\n"
        "#endif\n";
    ResourceBundle b = CompileText(rc, header);
    ASSERT_EQ(b.strings.size(), 3u);
    EXPECT_EQ(b.strings.at(1), "two");
    EXPECT_EQ(b.strings.at(0x1203), "next");  // (0x100 + 2) * 2 - 1 = 0x203
    EXPECT_EQ(b.strings.at(4), "shifted");    // 255 / 5 = 51, % 7 = 2, << 1 = 4
}

TEST(RcScript, DefaultDialogStyleIconsEditsAndNot) {
    ResourceBundle b = CompileText(
        "1 DIALOG 10, 20, 30, 40\n"
        "CAPTION \"Plain\"\n"
        "BEGIN\n"
        "  ICON 118, 7, 1, 2\n"
        "  EDITTEXT 8, 1, 2, 3, 4, ES_AUTOHSCROLL | NOT WS_BORDER\n"
        "  CONTROL \"\", 9, BUTTON, BS_AUTOCHECKBOX | NOT WS_VISIBLE, 1, 2, 3, 4, "
        "WS_EX_CLIENTEDGE\n"
        "END\n"
        "2 DIALOGEX 0, 0, 5, 5\n"
        "STYLE WS_POPUP | WS_CAPTION | NOT WS_BORDER\n"
        "EXSTYLE WS_EX_TOOLWINDOW\n"
        "BEGIN END\n");
    ASSERT_EQ(b.dialogs.size(), 2u);
    const DialogTemplate& plain = b.dialogs[0];
    // No STYLE: a popup with border and system menu; CAPTION adds the title bar.
    EXPECT_EQ(plain.style, WS_POPUP | WS_BORDER | WS_SYSMENU | WS_CAPTION);
    EXPECT_EQ(plain.x, 10);
    EXPECT_EQ(plain.cy, 40);
    EXPECT_TRUE(plain.fontName.empty());
    ASSERT_EQ(plain.controls.size(), 3u);
    const DialogControl& icon = plain.controls[0];
    EXPECT_EQ(icon.className, "Static");
    EXPECT_EQ(icon.textOrdinal, 118);
    EXPECT_EQ(icon.style, WS_CHILD | WS_VISIBLE | SS_ICON);
    EXPECT_EQ(icon.cx, 0);  // an icon takes its size from the image
    const DialogControl& edit = plain.controls[1];
    EXPECT_EQ(edit.className, "Edit");
    EXPECT_EQ(edit.style, WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL);
    const DialogControl& hidden = plain.controls[2];
    EXPECT_EQ(hidden.className, "Button");
    EXPECT_EQ(hidden.style, WS_CHILD | BS_AUTOCHECKBOX);
    EXPECT_EQ(hidden.exStyle, WS_EX_CLIENTEDGE);
    // WS_CAPTION includes WS_BORDER's bit; NOT after it removes that bit again.
    EXPECT_EQ(b.dialogs[1].style, (WS_POPUP | WS_CAPTION) & ~WS_BORDER);
    EXPECT_EQ(b.dialogs[1].exStyle, WS_EX_TOOLWINDOW);
}

TEST(RcScript, SelfReferentialMacrosStopAsUnknownSymbols) {
    const std::string header = "#define LOOP_A LOOP_B\n#define LOOP_B LOOP_A\n";
    try {
        CompileText("#include \"resource.h\"\nSTRINGTABLE BEGIN LOOP_A \"x\" END\n", header);
        FAIL() << "expected an error";
    } catch (const RcError& e) {
        EXPECT_EQ(e.reason(), "unknown symbol 'LOOP_A'");
    }
}

struct BadScript {
    const char* name;
    std::string rc;
    std::string header;
    std::string expected;  // "file:line: reason" prefix
};

void PrintTo(const BadScript& c, std::ostream* os) { *os << c.name; }

// Each level of a chain of macros copies what the levels below it produced: a chain over a
// long body costs its depth times the body, and that work counts against the budget, so a
// script cannot make the compiler copy tokens for minutes while staying under it.
TEST(RcScript, CopiesThroughAChainOfMacrosCountAgainstTheExpansionBudget) {
    std::string body;
    for (int i = 0; i < 15000; ++i) body += "1+";
    std::string rc = "#define M0 " + body + "1\n";
    for (int level = 1; level <= 60; ++level) {
        rc += "#define M" + std::to_string(level) + " M" + std::to_string(level - 1) + "\n";
    }
    rc += "#if M60\n#endif\n";
    MemoryProvider mem;
    mem.Add("p/chain.rc", rc);
    try {
        CompileResources(mem, "p/chain.rc", {});
        FAIL() << "accepted";
    } catch (const RcError& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("p/chain.rc:", 0), 0u) << what;
        EXPECT_NE(what.find(": macro expansion too large"), std::string::npos) << what;
    }
    // The same chain over a short body stays well within it.
    MemoryProvider small;
    small.Add("p/chain.rc", "#define M0 1+1\n#define M1 M0\n#define M2 M1\n#if M2 == 2\n#endif\n");
    EXPECT_NO_THROW(CompileResources(small, "p/chain.rc", {}));
}

class RcRejects : public ::testing::TestWithParam<BadScript> {};

TEST_P(RcRejects, WithFileLineAndReason) {
    const BadScript& c = GetParam();
    MemoryProvider mem;
    mem.Add("p/bad.rc", c.rc);
    if (!c.header.empty()) mem.Add("p/resource.h", c.header);
    mem.Add("p/res/not.bmp", "GIF89a");
    try {
        CompileResources(mem, "p/bad.rc", {});
        FAIL() << "accepted";
    } catch (const RcError& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, c.expected.size()), c.expected) << e.what();
    }
}

const std::string kDlgHead = "1 DIALOGEX 0, 0, 10, 10\nBEGIN\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RcRejects, ::testing::Values(
    BadScript{"UnknownStatement", kDlgHead + "END\nFOOBAR\n2 DIALOG 0,0,1,1 BEGIN END\n", "",
              "p/bad.rc:4: unknown statement 'FOOBAR'"},
    BadScript{"UnknownSymbol", kDlgHead + "PUSHBUTTON \"x\", IDC_NOPE, 1, 2, 3, 4\nEND\n", "",
              "p/bad.rc:3: unknown symbol 'IDC_NOPE'"},
    BadScript{"UnknownSymbolInHeader",
              "#include \"resource.h\"\n" + kDlgHead + "PUSHBUTTON \"x\", IDC_B, 1, 2, 3, 4\nEND\n",
              "#define IDC_OK 5\n#define IDC_B (IDC_A + 1)\n",
              "p/resource.h:2: unknown symbol 'IDC_A'"},
    BadScript{"MissingBitmap", "\n7 BITMAP \"res/none.bmp\"\n", "",
              "p/bad.rc:2: cannot open bitmap file 'res/none.bmp'"},
    BadScript{"NotABitmap", "7 BITMAP \"res\\\\not.bmp\"\n", "",
              "p/bad.rc:1: bitmap file 'res\\not.bmp': not a BMP file"},
    BadScript{"BadNumber", kDlgHead + "LTEXT \"x\", 12ab, 1, 2, 3, 4\nEND\n", "",
              "p/bad.rc:3: bad number '12ab'"},
    BadScript{"BadHexNumber", "STRINGTABLE BEGIN 0x \"x\" END\n", "", "p/bad.rc:1: bad number '0x'"},
    BadScript{"NumberTooLarge", "STRINGTABLE BEGIN 0x100000000 \"x\" END\n", "",
              "p/bad.rc:1: number too large"},
    BadScript{"UnterminatedString", kDlgHead + "LTEXT \"abc, 1, 1, 2, 3, 4\nEND\n", "",
              "p/bad.rc:3: unterminated string"},
    BadScript{"UnterminatedComment", "/* no end\n\n", "", "p/bad.rc:1: unterminated comment"},
    BadScript{"DuplicateDialog", kDlgHead + "END\n\n1 DIALOG 0, 0, 5, 5\nBEGIN\nEND\n", "",
              "p/bad.rc:5: duplicate dialog ID 1 (first defined at p/bad.rc:1)"},
    BadScript{"DuplicateString", "STRINGTABLE\nBEGIN\n 3 \"a\"\n 3 \"b\"\nEND\n", "",
              "p/bad.rc:4: duplicate string ID 3"},
    BadScript{"DuplicateBitmap", "5 BITMAP \"a.bmp\"\n5 BITMAP \"b.bmp\"\n", "",
              "p/bad.rc:2: duplicate bitmap ID 5"},
    BadScript{"UnknownControl", kDlgHead + "SLIDER \"x\", 1, 1, 2, 3, 4\nEND\n", "",
              "p/bad.rc:3: unknown control statement 'SLIDER'"},
    BadScript{"MissingComma", kDlgHead + "LTEXT \"x\" 1, 1, 2, 3, 4\nEND\n", "",
              "p/bad.rc:3: expected ',' after the control text"},
    BadScript{"MissingInclude", "\n#include \"nothere.h\"\n", "",
              "p/bad.rc:2: cannot open include file 'nothere.h'"},
    BadScript{"UnclosedIf", "#ifdef X\n\n", "", "p/bad.rc:1: #if without #endif"},
    BadScript{"StrayEndif", "\n#endif\n", "", "p/bad.rc:2: #endif without #if"},
    BadScript{"UnknownDirective", "#frobnicate\n", "", "p/bad.rc:1: unknown directive '#frobnicate'"},
    BadScript{"Error", "#if 1\n#error stop here\n#endif\n", "", "p/bad.rc:2: #error stop here"},
    BadScript{"FunctionMacro", "#define F(x) x\n", "",
              "p/bad.rc:1: function-like macro 'F' is not supported"},
    BadScript{"CoordinateRange", kDlgHead + "LTEXT \"x\", 1, 40000, 2, 3, 4\nEND\n", "",
              "p/bad.rc:3: x 40000 out of range"},
    BadScript{"ResourceIdRange", "0 DIALOG 0, 0, 1, 1\nBEGIN\nEND\n", "",
              "p/bad.rc:1: resource ID 0 out of range"},
    BadScript{"DivisionByZero", "STRINGTABLE BEGIN 4 / (2 - 2) \"x\" END\n", "",
              "p/bad.rc:1: division by zero"},
    BadScript{"UnsupportedType", "\n1 ICON \"app.ico\"\n", "",
              "p/bad.rc:2: unsupported resource type 'ICON'"},
    BadScript{"MissingEnd", kDlgHead + "LTEXT \"x\", 1, 1, 2, 3, 4\n", "",
              "p/bad.rc:1: dialog without END"},
    BadScript{"NoBegin", "1 DIALOG 0, 0, 1, 1\nLTEXT \"x\", 1, 1, 2, 3, 4\n", "",
              "p/bad.rc:2: expected BEGIN, found 'LTEXT'"},
    BadScript{"StrayCharacter", "STRINGTABLE BEGIN 1 \"x\" END\n@\n", "",
              "p/bad.rc:2: unexpected character '@'"},
    BadScript{"IncludeLoop", "#include \"bad.rc\"\n", "", "p/bad.rc:1: #include nested too deeply"}),
    [](const ::testing::TestParamInfo<BadScript>& p) { return std::string(p.param.name); });
// clang-format on

}  // namespace
}  // namespace loom::rc

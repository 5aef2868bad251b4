#include "tools/rc/parser.h"

#include <cctype>
#include <cstdint>
#include <map>

#include "tools/rc/expression.h"
#include "tools/rc/preprocessor.h"

namespace loom::rc {
namespace {

bool KeywordIs(const Token& t, std::string_view keyword) {
    if (t.kind != TokenKind::kIdentifier || t.text.size() != keyword.size()) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(t.text[i])) != keyword[i]) return false;
    }
    return true;
}

bool IsBegin(const Token& t) { return KeywordIs(t, "BEGIN") || t.IsPunct("{"); }
bool IsEnd(const Token& t) { return KeywordIs(t, "END") || t.IsPunct("}"); }

std::string Describe(const Token& t) {
    switch (t.kind) {
        case TokenKind::kEnd:
            return "the end of the input";
        case TokenKind::kString:
            return "a string";
        default:
            return "'" + t.text + "'";
    }
}

/// A style written as `A | B | NOT C`: bits to set and bits to clear from the defaults.
struct StyleBits {
    std::uint32_t set = 0;
    std::uint32_t clear = 0;
    std::uint32_t Apply(std::uint32_t base) const { return (base | set) & ~clear; }
};

enum class Shape {
    kText,     // text, id, x, y, cx, cy [, style [, exstyle [, helpid]]]
    kNoText,   // id, x, y, cx, cy [, style [, exstyle [, helpid]]]
    kIcon,     // text, id, x, y [, cx, cy [, style [, exstyle [, helpid]]]]
    kGeneric,  // text, id, class, style, x, y, cx, cy [, exstyle [, helpid]]
};

struct ControlKind {
    const char* keyword;
    const char* className;
    std::uint32_t defaultStyle;  // besides WS_CHILD | WS_VISIBLE
    Shape shape;
};

// clang-format off
const ControlKind kControlKinds[] = {
    {"LTEXT",           "Static",    SS_LEFT | WS_GROUP,                 Shape::kText},
    {"RTEXT",           "Static",    SS_RIGHT | WS_GROUP,                Shape::kText},
    {"CTEXT",           "Static",    SS_CENTER | WS_GROUP,               Shape::kText},
    {"PUSHBUTTON",      "Button",    BS_PUSHBUTTON | WS_TABSTOP,         Shape::kText},
    {"DEFPUSHBUTTON",   "Button",    BS_DEFPUSHBUTTON | WS_TABSTOP,      Shape::kText},
    {"PUSHBOX",         "Button",    BS_PUSHBOX | WS_TABSTOP,            Shape::kText},
    {"GROUPBOX",        "Button",    BS_GROUPBOX,                        Shape::kText},
    {"AUTORADIOBUTTON", "Button",    BS_AUTORADIOBUTTON | WS_TABSTOP,    Shape::kText},
    {"RADIOBUTTON",     "Button",    BS_RADIOBUTTON | WS_TABSTOP,        Shape::kText},
    {"AUTOCHECKBOX",    "Button",    BS_AUTOCHECKBOX | WS_TABSTOP,       Shape::kText},
    {"CHECKBOX",        "Button",    BS_CHECKBOX | WS_TABSTOP,           Shape::kText},
    {"STATE3",          "Button",    BS_3STATE | WS_TABSTOP,             Shape::kText},
    {"AUTO3STATE",      "Button",    BS_AUTO3STATE | WS_TABSTOP,         Shape::kText},
    {"EDITTEXT",        "Edit",      ES_LEFT | WS_BORDER | WS_TABSTOP,   Shape::kNoText},
    {"COMBOBOX",        "ComboBox",  CBS_SIMPLE | WS_TABSTOP,            Shape::kNoText},
    {"LISTBOX",         "ListBox",   LBS_NOTIFY | WS_BORDER,             Shape::kNoText},
    {"SCROLLBAR",       "ScrollBar", SBS_HORZ,                           Shape::kNoText},
    {"ICON",            "Static",    SS_ICON,                            Shape::kIcon},
    {"CONTROL",         "",          0,                                  Shape::kGeneric},
};

// Window classes whose spelling is normalised; any other class is kept as written.
const char* const kKnownClasses[] = {
    "Button", "Static", "Edit", "ComboBox", "ListBox", "ScrollBar", "msctls_trackbar32",
    "msctls_updown32", "msctls_progress32", "SysListView32", "SysTreeView32",
    "SysTabControl32", "RichEdit20A",
};

const char* const kMemoryOptions[] = {
    "PRELOAD", "LOADONCALL", "FIXED", "MOVEABLE", "DISCARDABLE", "PURE", "IMPURE",
    "SHARED", "NONSHARED",
};
// clang-format on

std::string NormaliseClass(const std::string& name) {
    for (const char* known : kKnownClasses) {
        std::string_view k(known);
        if (k.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < k.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(k[i])) ==
                   std::tolower(static_cast<unsigned char>(name[i]));
        if (same) return known;
    }
    return name;
}

// The classes a CONTROL statement may name without quotes.
bool IsPredefinedClass(const std::string& name) {
    std::string normal = NormaliseClass(name);
    for (const char* k : {"Button", "Static", "Edit", "ComboBox", "ListBox", "ScrollBar"}) {
        if (normal == k) return true;
    }
    return false;
}

class Parser {
  public:
    Parser(SourceProvider& provider, const std::string& rcPath,
           const std::vector<std::string>& includeDirs)
        : pp_(provider, includeDirs), rcDir_(DirectoryOf(rcPath)), includeDirs_(includeDirs) {
        pp_.Open(rcPath);
    }

    ParsedScript Run() {
        for (;;) {
            const Token& t = pp_.Peek();
            if (t.kind == TokenKind::kEnd) break;
            if (KeywordIs(t, "STRINGTABLE")) {
                pp_.Next();
                ParseStringTable();
            } else if (KeywordIs(t, "LANGUAGE")) {
                pp_.Next();
                ParseLanguage();
            } else {
                ParseResource();
            }
        }
        out_.filesRead = pp_.FilesRead();
        return std::move(out_);
    }

  private:
    // ---- small helpers -----------------------------------------------------------------
    std::int64_t Expr() { return EvaluateExpression(pp_, nullptr); }

    void ExpectComma(const char* after) {
        Token t = pp_.Next();
        if (!t.IsPunct(","))
            throw RcError(t.where,
                          std::string("expected ',' after ") + after + ", found " + Describe(t));
    }

    bool AcceptComma() {
        if (!pp_.Peek().IsPunct(",")) return false;
        pp_.Next();
        return true;
    }

    // One or more adjacent string literals, joined.
    std::string String(const char* what) {
        Token t = pp_.Next();
        if (t.kind != TokenKind::kString)
            throw RcError(t.where, std::string("expected ") + what + ", found " + Describe(t));
        std::string text = t.text;
        while (pp_.Peek().kind == TokenKind::kString) text += pp_.Next().text;
        return text;
    }

    short Coordinate(const char* what) {
        Location where = pp_.Peek().where;
        std::int64_t v = Expr();
        if (v < -32768 || v > 32767)
            throw RcError(where, std::string(what) + " " + std::to_string(v) + " out of range");
        return static_cast<short>(v);
    }

    int ResourceId(std::int64_t v, const Location& where) {
        if (v < 1 || v > 65535)
            throw RcError(where, "resource ID " + std::to_string(v) + " out of range 1..65535");
        return static_cast<int>(v);
    }

    StyleBits Style() {
        StyleBits bits;
        for (;;) {
            if (KeywordIs(pp_.Peek(), "NOT")) {
                pp_.Next();
                auto v = static_cast<std::uint32_t>(EvaluateUnary(pp_, nullptr));
                bits.clear |= v;
                bits.set &= ~v;
            } else {
                auto v = static_cast<std::uint32_t>(
                    EvaluateExpression(pp_, nullptr, false, kOrPrecedence + 1));
                bits.set |= v;
                bits.clear &= ~v;
            }
            if (!pp_.Peek().IsPunct("|")) break;
            pp_.Next();
        }
        return bits;
    }

    void SkipMemoryOptions() {
        for (bool again = true; again;) {
            again = false;
            for (const char* option : kMemoryOptions) {
                if (KeywordIs(pp_.Peek(), option)) {
                    pp_.Next();
                    again = true;
                }
            }
        }
    }

    void ExpectBegin() {
        Token t = pp_.Next();
        if (!IsBegin(t)) throw RcError(t.where, "expected BEGIN, found " + Describe(t));
    }

    // Skips a BEGIN ... END block with nested blocks, after its BEGIN.
    void SkipBlockBody(const Location& start) {
        for (int depth = 1; depth > 0;) {
            Token t = pp_.Next();
            if (t.kind == TokenKind::kEnd) throw RcError(start, "block without END");
            if (IsBegin(t)) ++depth;
            if (IsEnd(t)) --depth;
        }
    }

    void ParseLanguage() {
        Expr();
        ExpectComma("the language");
        Expr();
    }

    // ---- statements ----------------------------------------------------------------------
    void ParseResource() {
        Token first = pp_.Peek();
        bool named = first.kind == TokenKind::kIdentifier;  // a name no macro defines
        std::int64_t id = 0;
        if (named) {
            pp_.Next();
        } else if (first.kind == TokenKind::kNumber || first.IsPunct("(") || first.IsPunct("-") ||
                   first.IsPunct("~") || first.IsPunct("+")) {
            id = Expr();
        } else {
            throw RcError(first.where, "unexpected " + Describe(first));
        }
        Token type = pp_.Next();
        if (type.kind != TokenKind::kIdentifier) {
            if (named) throw RcError(first.where, "unknown statement '" + first.text + "'");
            throw RcError(type.where, "expected a resource type, found " + Describe(type));
        }
        // Blocks kept only for the Windows development tools; their names need not resolve.
        for (const char* skipped : {"TEXTINCLUDE", "DESIGNINFO", "AFX_DIALOG_LAYOUT", "DLGINIT"}) {
            if (KeywordIs(type, skipped)) {
                SkipMemoryOptions();
                ExpectBegin();
                SkipBlockBody(type.where);
                return;
            }
        }
        if (KeywordIs(type, "VERSIONINFO")) {
            // Fixed-information statements up to the block; nothing here reaches the host.
            for (;;) {
                Token t = pp_.Next();
                if (t.kind == TokenKind::kEnd)
                    throw RcError(type.where, "VERSIONINFO without BEGIN");
                if (IsBegin(t)) break;
            }
            SkipBlockBody(type.where);
            return;
        }
        bool dialog = KeywordIs(type, "DIALOG") || KeywordIs(type, "DIALOGEX");
        bool bitmap = KeywordIs(type, "BITMAP");
        if (!dialog && !bitmap) {
            if (named && !IsKnownResourceType(type))
                throw RcError(first.where, "unknown statement '" + first.text + "'");
            throw RcError(type.where, "unsupported resource type '" + type.text + "'");
        }
        if (named) throw RcError(first.where, "unknown symbol '" + first.text + "'");
        int rid = ResourceId(id, first.where);
        if (dialog)
            ParseDialog(rid, KeywordIs(type, "DIALOGEX"), first.where);
        else
            ParseBitmap(rid, first.where);
    }

    static bool IsKnownResourceType(const Token& t) {
        for (const char* k : {"ICON", "CURSOR", "MENU", "MENUEX", "ACCELERATORS", "RCDATA", "HTML",
                              "TOOLBAR", "MESSAGETABLE", "FONT", "MANIFEST", "PNG"}) {
            if (KeywordIs(t, k)) return true;
        }
        return false;
    }

    void CheckUnique(std::map<std::int64_t, Location>& seen, std::int64_t id, const char* what,
                     const Location& where) {
        auto [it, fresh] = seen.emplace(id, where);
        if (!fresh)
            throw RcError(where, std::string("duplicate ") + what + " ID " + std::to_string(id) +
                                     " (first defined at " + it->second.file + ":" +
                                     std::to_string(it->second.line) + ")");
    }

    void ParseBitmap(int id, const Location& where) {
        CheckUnique(bitmapIds_, id, "bitmap", where);
        SkipMemoryOptions();
        BitmapReference ref;
        ref.id = id;
        ref.where = where;
        ref.name = String("a bitmap file name");
        ref.candidates.push_back(JoinPath(DirectoryOf(where.file), ref.name));
        ref.candidates.push_back(JoinPath(rcDir_, ref.name));
        for (const std::string& dir : includeDirs_)
            ref.candidates.push_back(JoinPath(dir, ref.name));
        out_.bitmaps.push_back(std::move(ref));
    }

    void ParseStringTable() {
        Location start = pp_.Peek().where;
        SkipMemoryOptions();
        while (KeywordIs(pp_.Peek(), "LANGUAGE") || KeywordIs(pp_.Peek(), "CHARACTERISTICS") ||
               KeywordIs(pp_.Peek(), "VERSION")) {
            bool language = KeywordIs(pp_.Next(), "LANGUAGE");
            if (language)
                ParseLanguage();
            else
                Expr();
        }
        ExpectBegin();
        for (;;) {
            const Token& t = pp_.Peek();
            if (IsEnd(t)) {
                pp_.Next();
                return;
            }
            if (t.kind == TokenKind::kEnd) throw RcError(start, "STRINGTABLE without END");
            Location where = t.where;
            std::int64_t id = Expr();
            if (id < 0 || id > 65535)
                throw RcError(where, "string ID " + std::to_string(id) + " out of range 0..65535");
            CheckUnique(stringIds_, id, "string", where);
            AcceptComma();
            out_.bundle.strings[static_cast<UINT>(id)] = String("a string");
        }
    }

    void ParseDialog(int id, bool extended, const Location& where) {
        CheckUnique(dialogIds_, id, "dialog", where);
        DialogTemplate d;
        d.id = id;
        d.extended = extended;
        SkipMemoryOptions();
        d.x = Coordinate("x");
        ExpectComma("x");
        d.y = Coordinate("y");
        ExpectComma("y");
        d.cx = Coordinate("width");
        ExpectComma("width");
        d.cy = Coordinate("height");
        if (extended && AcceptComma()) Expr();  // help ID

        bool haveStyle = false, haveCaption = false, haveFont = false;
        StyleBits style;
        for (;;) {
            const Token& t = pp_.Peek();
            if (KeywordIs(t, "STYLE")) {
                pp_.Next();
                style = Style();
                haveStyle = true;
            } else if (KeywordIs(t, "EXSTYLE")) {
                pp_.Next();
                d.exStyle = Style().Apply(0);
            } else if (KeywordIs(t, "CAPTION")) {
                pp_.Next();
                d.caption = String("a caption");
                haveCaption = true;
            } else if (KeywordIs(t, "FONT")) {
                pp_.Next();
                Location at = pp_.Peek().where;
                std::int64_t size = Expr();
                if (size < 1 || size > 32767)
                    throw RcError(at, "font size " + std::to_string(size) + " out of range");
                d.fontSize = static_cast<int>(size);
                ExpectComma("the font size");
                d.fontName = String("a font name");
                if (AcceptComma()) d.fontWeight = static_cast<int>(Expr());
                if (AcceptComma()) d.fontItalic = Expr() != 0;
                if (AcceptComma()) d.fontCharset = static_cast<int>(Expr());
                haveFont = true;
            } else if (KeywordIs(t, "CLASS")) {
                pp_.Next();
                if (pp_.Peek().kind == TokenKind::kString)
                    d.className = String("a class name");
                else
                    d.className = std::to_string(Expr());
            } else if (KeywordIs(t, "MENU")) {
                pp_.Next();
                Token name = pp_.Next();  // a menu we do not build; any name will do
                if (name.kind != TokenKind::kIdentifier && name.kind != TokenKind::kNumber &&
                    name.kind != TokenKind::kString)
                    throw RcError(name.where, "expected a menu name, found " + Describe(name));
            } else if (KeywordIs(t, "LANGUAGE")) {
                pp_.Next();
                ParseLanguage();
            } else if (KeywordIs(t, "CHARACTERISTICS") || KeywordIs(t, "VERSION")) {
                pp_.Next();
                Expr();
            } else {
                break;
            }
        }
        // Without STYLE a dialog is a bordered popup with a system menu; a caption and a
        // font add their style bits whatever STYLE says.
        std::uint32_t base = haveStyle ? 0u : (WS_POPUP | WS_BORDER | WS_SYSMENU);
        d.style = style.Apply(base);
        if (haveCaption) d.style |= WS_CAPTION;
        if (haveFont) d.style |= DS_SETFONT;

        ExpectBegin();
        for (;;) {
            const Token& t = pp_.Peek();
            if (IsEnd(t)) {
                pp_.Next();
                break;
            }
            if (t.kind == TokenKind::kEnd) throw RcError(where, "dialog without END");
            d.controls.push_back(ParseControl(extended));
        }
        out_.bundle.dialogs.push_back(std::move(d));
    }

    DialogControl ParseControl(bool extended) {
        Token keyword = pp_.Next();
        const ControlKind* kind = nullptr;
        for (const ControlKind& k : kControlKinds) {
            if (KeywordIs(keyword, k.keyword)) kind = &k;
        }
        if (kind == nullptr) {
            throw RcError(keyword.where,
                          keyword.kind == TokenKind::kIdentifier
                              ? "unknown control statement '" + keyword.text + "'"
                              : "expected a control statement, found " + Describe(keyword));
        }
        DialogControl c;
        c.className = kind->className;
        if (kind->shape != Shape::kNoText) {
            if (pp_.Peek().kind == TokenKind::kString) {
                c.text = String("the control text");
            } else if (kind->shape == Shape::kText) {
                Token t = pp_.Peek();
                throw RcError(t.where, "expected the control text, found " + Describe(t));
            } else {
                Location at = pp_.Peek().where;
                std::int64_t ordinal = Expr();
                if (ordinal < 0 || ordinal > 65535)
                    throw RcError(at, "resource ID " + std::to_string(ordinal) + " out of range");
                c.textOrdinal = static_cast<int>(ordinal);
            }
            ExpectComma("the control text");
        }
        c.id = static_cast<int>(Expr());
        ExpectComma("the control ID");

        StyleBits style;
        if (kind->shape == Shape::kGeneric) {
            Token cls = pp_.Next();
            if (cls.kind == TokenKind::kString) {
                c.className = NormaliseClass(cls.text);
            } else if (cls.kind == TokenKind::kIdentifier && IsPredefinedClass(cls.text)) {
                c.className = NormaliseClass(cls.text);  // BUTTON, STATIC, EDIT ... as names
            } else {
                throw RcError(cls.where, "expected a window class, found " + Describe(cls));
            }
            if (c.className.empty()) throw RcError(cls.where, "empty window class name");
            ExpectComma("the window class");
            style = Style();
            ExpectComma("the style");
        }
        c.x = Coordinate("x");
        ExpectComma("x");
        c.y = Coordinate("y");
        bool sized = true;
        if (kind->shape == Shape::kIcon)
            sized = AcceptComma();
        else
            ExpectComma("y");
        if (sized) {
            c.cx = Coordinate("width");
            ExpectComma("width");
            c.cy = Coordinate("height");
        }
        bool more = sized && AcceptComma();
        if (kind->shape != Shape::kGeneric && more) {
            style = Style();
            more = AcceptComma();
        }
        if (more) {
            c.exStyle = Style().Apply(0);
            if (AcceptComma()) {
                if (!extended) throw RcError(pp_.Peek().where, "help IDs need DIALOGEX");
                Expr();
            }
        }
        c.style = style.Apply(WS_CHILD | WS_VISIBLE | kind->defaultStyle);
        return c;
    }

    Preprocessor pp_;
    std::string rcDir_;
    std::vector<std::string> includeDirs_;
    ParsedScript out_;
    std::map<std::int64_t, Location> dialogIds_, bitmapIds_, stringIds_;
};

}  // namespace

ParsedScript ParseScript(SourceProvider& provider, const std::string& rcPath,
                         const std::vector<std::string>& includeDirs) {
    Parser parser(provider, rcPath, includeDirs);
    return parser.Run();
}

}  // namespace loom::rc

#include "tools/rc/preprocessor.h"
#include "foundation/host/base/text.h"

#include <algorithm>
#include <cctype>

namespace loom::rc {
namespace {

constexpr std::size_t kMaxIncludeDepth = 32;
// Bounds the work of nested macros (each level can double the token count).
constexpr std::size_t kMaxExpandedTokens = 1'000'000;

std::string BaseName(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Headers of the Windows SDK and MFC that resource scripts include for the constants
// this compiler already knows; a quoted include of one that is not found is skipped.
bool IsSystemHeader(const std::string& name) {
    static const char* const kNames[] = {"windows.h",  "winres.h",   "winresrc.h", "afxres.h",
                                         "commctrl.h", "winuser.h",  "winnt.h",    "verrsrc.h",
                                         "winver.h",   "dlgs.h",     "richedit.h", "prsht.h",
                                         "ntverp.h",   "common.ver", "afxres.rc",  "winuser.rh"};
    std::string base = Lower(BaseName(name));
    return std::any_of(std::begin(kNames), std::end(kNames),
                       [&](const char* n) { return base == n; });
}

bool IsHeaderName(const std::string& path) {
    std::string base = Lower(BaseName(path));
    std::size_t dot = base.find_last_of('.');
    if (dot == std::string::npos) return false;
    std::string ext = base.substr(dot);
    return ext == ".h" || ext == ".hh" || ext == ".hpp" || ext == ".hxx" || ext == ".c" ||
           ext == ".cpp";
}

}  // namespace

Preprocessor::Preprocessor(SourceProvider& provider, std::vector<std::string> includeDirs)
    : provider_(provider), includeDirs_(std::move(includeDirs)) {
    Token one;
    one.kind = TokenKind::kNumber;
    one.text = "1";
    one.value = 1;
    macros_["RC_INVOKED"] = {one};
    macros_["_WIN32"] = {one};
}

Preprocessor::~Preprocessor() = default;

void Preprocessor::Open(const std::string& path) {
    std::optional<std::string> content = provider_.Read(path);
    if (!content) throw RcError(Location{}, "cannot open '" + path + "'");
    PushFile(path, std::move(*content), Location{});
}

void Preprocessor::PushFile(const std::string& path, std::string content, const Location& from) {
    if (files_.size() >= kMaxIncludeDepth) throw RcError(from, "#include nested too deeply");
    if (std::find(filesRead_.begin(), filesRead_.end(), path) == filesRead_.end())
        filesRead_.push_back(path);
    File f;
    f.lexer = std::make_unique<Lexer>(path, std::move(content));
    f.dir = DirectoryOf(path);
    f.directivesOnly = IsHeaderName(path);
    files_.push_back(std::move(f));
}

const Token& Preprocessor::Peek() {
    if (!havePeeked_) {
        peeked_ = Produce();
        havePeeked_ = true;
    }
    return peeked_;
}

Token Preprocessor::Next() {
    if (havePeeked_) {
        havePeeked_ = false;
        return std::move(peeked_);
    }
    return Produce();
}

void Preprocessor::Charge(std::size_t tokens, const Location& where) {
    expandedTokens_ += tokens;
    if (expandedTokens_ > kMaxExpandedTokens) throw RcError(where, "macro expansion too large");
}

Token Preprocessor::Produce() {
    for (;;) {
        Token t;
        if (!expansions_.empty()) {
            Expansion& top = expansions_.back();
            if (top.index >= top.tokens.size()) {
                expansions_.pop_back();
                continue;
            }
            t = top.tokens[top.index++];
        } else {
            if (files_.empty()) {
                Token end;
                end.where = endWhere_;
                return end;
            }
            File& f = files_.back();
            bool active = f.conditionals.empty() || f.conditionals.back().active;
            t = (active && !f.directivesOnly) ? f.lexer->Next() : f.lexer->NextDirective();
            if (t.kind == TokenKind::kEnd) {
                if (!f.conditionals.empty())
                    throw RcError(f.conditionals.back().where, "#if without #endif");
                if (files_.size() == 1) endWhere_ = t.where;
                files_.pop_back();
                continue;
            }
            if (t.kind == TokenKind::kDirective) {
                HandleDirective(t);
                continue;
            }
        }
        if (t.kind == TokenKind::kIdentifier) {
            auto macro = macros_.find(t.text);
            bool expanding = std::any_of(expansions_.begin(), expansions_.end(),
                                         [&](const Expansion& e) { return e.name == t.text; });
            if (macro != macros_.end() && !expanding) {
                Charge(macro->second.size() + 1, t.where);
                expansions_.push_back(Expansion{t.text, macro->second, 0});
                continue;
            }
        }
        return t;
    }
}

void Preprocessor::HandleDirective(const Token& d) {
    File& f = files_.back();
    Lexer& lex = *f.lexer;
    auto& conds = f.conditionals;
    bool active = conds.empty() || conds.back().active;
    const std::string& name = d.text;

    if (name == "if" || name == "ifdef" || name == "ifndef") {
        Conditional c{active, false, false, false, d.where};
        if (!active) {
            lex.RestOfLineRaw();
            c.anyTaken = true;  // no branch of a group inside a skipped group is read
        } else if (name == "if") {
            c.active = EvaluateCondition(d, lex.RestOfLine());
        } else {
            std::vector<Token> rest = lex.RestOfLine();
            if (rest.size() != 1 || rest[0].kind != TokenKind::kIdentifier)
                throw RcError(d.where, "#" + name + " needs one macro name");
            c.active = IsDefined(rest[0].text) == (name == "ifdef");
        }
        c.anyTaken = c.anyTaken || c.active;
        conds.push_back(c);
        return;
    }
    if (name == "elif" || name == "else") {
        if (conds.empty()) throw RcError(d.where, "#" + name + " without #if");
        Conditional& c = conds.back();
        if (c.seenElse) throw RcError(d.where, "#" + name + " after #else");
        if (name == "else") {
            lex.RestOfLineRaw();
            c.seenElse = true;
            c.active = c.parentActive && !c.anyTaken;
        } else if (c.parentActive && !c.anyTaken) {
            c.active = EvaluateCondition(d, lex.RestOfLine());
        } else {
            lex.RestOfLineRaw();
            c.active = false;
        }
        c.anyTaken = c.anyTaken || c.active;
        return;
    }
    if (name == "endif") {
        if (conds.empty()) throw RcError(d.where, "#endif without #if");
        lex.RestOfLineRaw();
        conds.pop_back();
        return;
    }
    if (!active) {
        lex.RestOfLineRaw();
        return;
    }
    if (name == "define") {
        std::vector<Token> rest = lex.RestOfLine();
        if (rest.empty() || rest[0].kind != TokenKind::kIdentifier)
            throw RcError(d.where, "#define needs a macro name");
        if (rest.size() > 1 && rest[1].IsPunct("(") && !rest[1].spaceBefore)
            throw RcError(d.where, "function-like macro '" + rest[0].text + "' is not supported");
        std::string macroName = rest[0].text;
        rest.erase(rest.begin());
        Charge(rest.size(), d.where);
        macros_[macroName] = std::move(rest);
    } else if (name == "undef") {
        std::vector<Token> rest = lex.RestOfLine();
        if (rest.size() != 1 || rest[0].kind != TokenKind::kIdentifier)
            throw RcError(d.where, "#undef needs one macro name");
        macros_.erase(rest[0].text);
    } else if (name == "include") {
        Include(d, lex.RestOfLineRaw());
    } else if (name == "error") {
        throw RcError(d.where, "#error " + lex.RestOfLineRaw());
    } else if (name == "pragma" || name == "line" || name == "warning" || name.empty()) {
        lex.RestOfLineRaw();  // code pages and line markers do not change our output
    } else {
        throw RcError(d.where, "unknown directive '#" + name + "'");
    }
}

void Preprocessor::Include(const Token& d, const std::string& operand) {
    if (!operand.empty() && operand.front() == '<') return;  // system headers: names we know
    if (operand.size() < 2 || operand.front() != '"' || operand.find('"', 1) == std::string::npos)
        throw RcError(d.where, "#include needs a \"file\" or <file> name");
    std::string name = operand.substr(1, operand.find('"', 1) - 1);
    std::vector<std::string> candidates{JoinPath(files_.back().dir, name)};
    for (const std::string& dir : includeDirs_) candidates.push_back(JoinPath(dir, name));
    for (const std::string& path : candidates) {
        if (std::optional<std::string> content = provider_.Read(path)) {
            PushFile(path, std::move(*content), d.where);
            return;
        }
    }
    if (IsSystemHeader(name)) return;
    throw RcError(d.where, "cannot open include file '" + name + "'");
}

bool Preprocessor::IsDefined(const std::string& name) const {
    return macros_.count(name) != 0 || BuiltinSymbol(name).has_value();
}

std::vector<Token> Preprocessor::ExpandAll(const std::vector<Token>& tokens,
                                           std::unordered_set<std::string>& active, int depth) {
    std::vector<Token> out;
    for (const Token& t : tokens) {
        auto macro = t.kind == TokenKind::kIdentifier ? macros_.find(t.text) : macros_.end();
        if (macro == macros_.end() || active.count(t.text) != 0 || depth > 64) {
            out.push_back(t);
            continue;
        }
        Charge(macro->second.size() + 1, t.where);
        active.insert(t.text);
        std::vector<Token> inner = ExpandAll(macro->second, active, depth + 1);
        active.erase(t.text);
        // Each level copies what the levels below produced; charging the copies too keeps
        // a chain of macros that each repeat the next from costing more than the budget.
        Charge(inner.size(), t.where);
        out.insert(out.end(), inner.begin(), inner.end());
    }
    return out;
}

bool Preprocessor::EvaluateCondition(const Token& d, std::vector<Token> tokens) {
    // `defined X` and `defined(X)` are decided before macros are expanded.
    std::vector<Token> resolved;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::kIdentifier || tokens[i].text != "defined") {
            resolved.push_back(tokens[i]);
            continue;
        }
        bool paren = i + 1 < tokens.size() && tokens[i + 1].IsPunct("(");
        std::size_t nameAt = i + (paren ? 2 : 1);
        if (nameAt >= tokens.size() || tokens[nameAt].kind != TokenKind::kIdentifier ||
            (paren && (nameAt + 1 >= tokens.size() || !tokens[nameAt + 1].IsPunct(")"))))
            throw RcError(d.where, "bad use of 'defined'");
        // A fresh token rather than a copy of `defined` whose text is then overwritten:
        // GCC 12 at -O3 reports a false -Wrestrict overlap for that reassignment.
        const bool isDefined = IsDefined(tokens[nameAt].text);
        Token value;
        value.kind = TokenKind::kNumber;
        value.text = std::string(1, isDefined ? '1' : '0');
        value.value = isDefined ? 1 : 0;
        value.where = tokens[i].where;
        value.spaceBefore = tokens[i].spaceBefore;
        resolved.push_back(std::move(value));
        i = nameAt + (paren ? 1 : 0);
    }
    if (resolved.empty()) throw RcError(d.where, "#" + d.text + " needs an expression");
    std::unordered_set<std::string> active;
    VectorSource source(ExpandAll(resolved, active, 0), d.where);
    std::int64_t v = EvaluateExpression(source, nullptr, /*unknownIsZero=*/true);
    if (source.Peek().kind != TokenKind::kEnd)
        throw RcError(source.Peek().where, "unexpected '" + source.Peek().text + "' in #" + d.text);
    return v != 0;
}

}  // namespace loom::rc

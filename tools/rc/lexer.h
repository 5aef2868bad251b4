#pragma once
/// Splits one resource script or header into tokens. Comments are dropped; strings keep
/// their bytes as written (Windows-1252 text passes through untouched) with `""` and
/// backslash escapes resolved. A `#` that starts a line begins a directive, which the
/// preprocessor reads with the rest-of-line calls.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/rc/rc_error.h"

namespace loom::rc {

enum class TokenKind {
    kEnd,         ///< end of the input
    kIdentifier,  ///< name or keyword
    kNumber,      ///< integer literal; `value` holds it, wrapped to 32 bits
    kString,      ///< string literal; `text` holds the bytes
    kPunct,       ///< operator or punctuation; `text` holds it ("," "|" "(" "&&" ...)
    kDirective,   ///< `#name` at the start of a line; `text` holds the name
};

struct Token {
    TokenKind kind = TokenKind::kEnd;
    std::string text;
    std::int64_t value = 0;
    Location where;
    bool spaceBefore = false;  ///< white space or a comment precedes it on its line

    bool Is(TokenKind k, std::string_view t) const { return kind == k && text == t; }
    bool IsPunct(std::string_view t) const { return Is(TokenKind::kPunct, t); }
};

class Lexer {
  public:
    /// `file` names the input in locations; `text` is its content.
    Lexer(std::string file, std::string text);

    /// Next token of the script. At the start of a line, `#name` gives a kDirective token,
    /// after which the caller must consume the line with `RestOfLine` or `RestOfLineRaw`.
    Token Next();

    /// Next directive, skipping everything else (for false `#if` groups and for headers,
    /// of which only the directives count). Returns a kEnd token at the end.
    Token NextDirective();

    /// The tokens of the rest of the current line (continuations with `\` joined).
    std::vector<Token> RestOfLine();

    /// The rest of the current line as text, comments removed, continuations joined, trimmed.
    std::string RestOfLineRaw();

    /// Location of the current position.
    Location Here() const { return {file_, line_}; }

  private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    // Skips spaces, comments and (when `crossLines`) line ends; answers whether anything
    // was skipped.
    bool SkipSpace(bool crossLines);
    void SkipLineComment();
    void SkipBlockComment();
    // At "\\\n" or "\\\r\n": consumes it (a continuation) and answers true.
    bool SkipContinuation();
    bool AtLineEnd() const { return AtEnd() || Peek() == '\n' || Peek() == '\r'; }
    void ConsumeLineEnd();
    Token Lex(bool spaceBefore);
    Token LexNumber();
    Token LexString();
    Token LexDirectiveName();

    std::string file_;
    std::string text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    bool lineStart_ = true;  // only white space so far on this line
};

}  // namespace loom::rc

#include "tools/rc/lexer.h"

#include <cctype>

namespace loom::rc {
namespace {

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Lexer::Lexer(std::string file, std::string text) : file_(std::move(file)), text_(std::move(text)) {
    // A UTF-8 byte order mark is not part of the script.
    if (text_.size() >= 3 && text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
}

void Lexer::ConsumeLineEnd() {
    if (Peek() == '\r') ++pos_;
    if (Peek() == '\n') ++pos_;
    ++line_;
    lineStart_ = true;
}

bool Lexer::SkipContinuation() {
    if (Peek() != '\\') return false;
    std::size_t n = 1;
    if (Peek(n) == '\r') ++n;
    if (Peek(n) != '\n') return false;
    pos_ += n + 1;
    ++line_;
    return true;
}

void Lexer::SkipLineComment() {
    while (!AtLineEnd()) {
        if (!SkipContinuation()) ++pos_;
    }
}

void Lexer::SkipBlockComment() {
    Location start = Here();
    pos_ += 2;
    while (!AtEnd()) {
        if (Peek() == '*' && Peek(1) == '/') {
            pos_ += 2;
            return;
        }
        if (Peek() == '\n') ++line_;
        ++pos_;
    }
    throw RcError(start, "unterminated comment");
}

bool Lexer::SkipSpace(bool crossLines) {
    bool skipped = false;
    while (!AtEnd()) {
        char c = Peek();
        if (IsBlank(c)) {
            ++pos_;
        } else if (c == '\\' && SkipContinuation()) {
        } else if (c == '/' && Peek(1) == '/') {
            SkipLineComment();
        } else if (c == '/' && Peek(1) == '*') {
            SkipBlockComment();
        } else if (crossLines && (c == '\n' || c == '\r')) {
            ConsumeLineEnd();
        } else {
            break;
        }
        skipped = true;
    }
    return skipped;
}

Token Lexer::Next() {
    SkipSpace(true);
    if (AtEnd()) return Token{TokenKind::kEnd, {}, 0, Here(), false};
    if (lineStart_ && Peek() == '#') return LexDirectiveName();
    lineStart_ = false;
    return Lex(true);
}

Token Lexer::NextDirective() {
    for (;;) {
        SkipSpace(true);
        if (AtEnd()) return Token{TokenKind::kEnd, {}, 0, Here(), false};
        if (lineStart_ && Peek() == '#') return LexDirectiveName();
        // Anything else on the line is ignored; quotes are not interpreted, so an
        // apostrophe in C code or an odd string cannot derail the scan.
        lineStart_ = false;
        while (!AtLineEnd()) {
            if (Peek() == '/' && Peek(1) == '*') {
                SkipBlockComment();
            } else if (Peek() == '/' && Peek(1) == '/') {
                SkipLineComment();
            } else if (!SkipContinuation()) {
                ++pos_;
            }
        }
    }
}

Token Lexer::LexDirectiveName() {
    Location where = Here();
    ++pos_;  // '#'
    lineStart_ = false;
    SkipSpace(false);
    std::string name;
    while (!AtEnd() && IsIdentChar(Peek())) name += text_[pos_++];
    return Token{TokenKind::kDirective, name, 0, where, false};
}

std::vector<Token> Lexer::RestOfLine() {
    std::vector<Token> out;
    for (;;) {
        bool space = SkipSpace(false);
        if (AtLineEnd()) break;
        out.push_back(Lex(space));
    }
    if (!AtEnd()) ConsumeLineEnd();
    return out;
}

std::string Lexer::RestOfLineRaw() {
    std::string out;
    while (!AtLineEnd()) {
        if (SkipContinuation()) continue;
        if (Peek() == '/' && Peek(1) == '/') {
            SkipLineComment();
            break;
        }
        if (Peek() == '/' && Peek(1) == '*') {
            SkipBlockComment();
            out += ' ';
            continue;
        }
        out += text_[pos_++];
    }
    if (!AtEnd()) ConsumeLineEnd();
    std::size_t b = out.find_first_not_of(" \t\f\v");
    std::size_t e = out.find_last_not_of(" \t\f\v");
    return b == std::string::npos ? std::string() : out.substr(b, e - b + 1);
}

Token Lexer::Lex(bool spaceBefore) {
    Location where = Here();
    char c = Peek();
    Token tok;
    if (c >= '0' && c <= '9') {
        tok = LexNumber();
    } else if ((c == 'L' || c == 'l') && Peek(1) == '"') {
        ++pos_;  // wide-string prefix: the text is kept as the same bytes
        tok = LexString();
    } else if (IsIdentStart(c)) {
        tok.kind = TokenKind::kIdentifier;
        while (!AtEnd() && IsIdentChar(Peek())) tok.text += text_[pos_++];
    } else if (c == '"') {
        tok = LexString();
    } else {
        static const char* const kTwoChar[] = {"&&", "||", "==", "!=", "<=", ">=", "<<", ">>"};
        tok.kind = TokenKind::kPunct;
        for (const char* two : kTwoChar) {
            if (c == two[0] && Peek(1) == two[1]) tok.text = two;
        }
        if (tok.text.empty()) {
            if (std::string_view(",|&+-*/%()~!{}<>=^?:").find(c) == std::string_view::npos) {
                std::string shown =
                    (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F)
                        ? std::string(1, c)
                        : "\\x" + std::to_string(static_cast<unsigned char>(c));
                throw RcError(where, "unexpected character '" + shown + "'");
            }
            tok.text = std::string(1, c);
        }
        pos_ += tok.text.size();
    }
    tok.where = where;
    tok.spaceBefore = spaceBefore;
    return tok;
}

Token Lexer::LexNumber() {
    Location where = Here();
    std::string word;
    while (!AtEnd() && IsIdentChar(Peek())) word += text_[pos_++];
    std::size_t end = word.size();
    // Suffixes: L (32-bit, as all our numbers are) and U, in any order, at most one each.
    int suffixes = 0;
    while (end > 0 && suffixes < 2 &&
           std::string_view("LlUu").find(word[end - 1]) != std::string_view::npos) {
        --end;
        ++suffixes;
    }
    std::string_view digits(word.data(), end);
    std::uint64_t value = 0;
    bool ok = !digits.empty();
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        for (std::size_t i = 2; i < digits.size() && ok; ++i) {
            int d = HexDigit(digits[i]);
            if (d < 0)
                ok = false;
            else
                value = value * 16 + static_cast<unsigned>(d);
            if (value > 0xFFFFFFFFu) throw RcError(where, "number too large '" + word + "'");
        }
    } else {
        for (std::size_t i = 0; i < digits.size() && ok; ++i) {
            if (digits[i] < '0' || digits[i] > '9')
                ok = false;
            else
                value = value * 10 + static_cast<unsigned>(digits[i] - '0');
            if (value > 0xFFFFFFFFu) throw RcError(where, "number too large '" + word + "'");
        }
    }
    if (!ok) throw RcError(where, "bad number '" + word + "'");
    Token tok;
    tok.kind = TokenKind::kNumber;
    tok.text = word;
    // Numbers are 32-bit, as in the Win32 resource compiler: 0xFFFFFFFF is -1.
    tok.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return tok;
}

Token Lexer::LexString() {
    Location where = Here();
    ++pos_;  // opening quote
    Token tok;
    tok.kind = TokenKind::kString;
    for (;;) {
        if (AtLineEnd()) throw RcError(where, "unterminated string");
        char c = text_[pos_++];
        if (c == '"') {
            if (Peek() == '"') {  // "" is one quote
                tok.text += '"';
                ++pos_;
                continue;
            }
            break;
        }
        if (c != '\\') {
            tok.text += c;
            continue;
        }
        if (AtLineEnd()) throw RcError(where, "unterminated string");
        char e = text_[pos_++];
        switch (e) {
            case 'n':
                tok.text += '\n';
                break;
            case 't':
                tok.text += '\t';
                break;
            case 'r':
                tok.text += '\r';
                break;
            case 'a':
                tok.text += '\a';
                break;
            case 'b':
                tok.text += '\b';
                break;
            case 'f':
                tok.text += '\f';
                break;
            case 'v':
                tok.text += '\v';
                break;
            case '\\':
                tok.text += '\\';
                break;
            case '"':
                tok.text += '"';
                break;
            case '\'':
                tok.text += '\'';
                break;
            case 'x':
            case 'X': {
                unsigned v = 0;
                int n = 0;
                while (n < 2 && HexDigit(Peek()) >= 0) {
                    v = v * 16 + static_cast<unsigned>(HexDigit(text_[pos_++]));
                    ++n;
                }
                if (n == 0) throw RcError(where, "bad escape '\\x' in string");
                tok.text += static_cast<char>(v);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = static_cast<unsigned>(e - '0');
                    for (int n = 1; n < 3 && Peek() >= '0' && Peek() <= '7'; ++n)
                        v = v * 8 + static_cast<unsigned>(text_[pos_++] - '0');
                    tok.text += static_cast<char>(v & 0xFF);
                } else {
                    // Unknown escapes keep both characters, as Win32's compiler does.
                    tok.text += '\\';
                    tok.text += e;
                }
        }
    }
    return tok;
}

}  // namespace loom::rc

#pragma once
/// Integer expressions of resource scripts and `#if` lines: decimal and hex numbers,
/// names, parentheses, unary - + ~ !, and the binary operators of C with C's precedence.
/// Arithmetic is 32-bit and wraps, as in the Win32 resource compiler.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "tools/rc/lexer.h"

namespace loom::rc {

/// A stream of tokens with one token of look-ahead.
class TokenSource {
  public:
    virtual ~TokenSource() = default;
    virtual const Token& Peek() = 0;
    virtual Token Next() = 0;
};

/// Tokens from a vector, then kEnd tokens located at `end`.
class VectorSource final : public TokenSource {
  public:
    VectorSource(std::vector<Token> tokens, Location end);
    const Token& Peek() override;
    Token Next() override;

  private:
    std::vector<Token> tokens_;
    std::size_t index_ = 0;
    Token end_;
};

/// Value of a name, or nothing when the name is unknown.
using NameResolver = std::function<std::optional<std::int64_t>(const Token&)>;

/// Evaluates one expression from `source`, stopping at the first token that cannot
/// continue it. Unknown names raise "unknown symbol"; when `unknownIsZero`, they count as
/// 0 instead (the `#if` rule). Only operators binding tighter than `minPrecedence` are
/// taken, so a caller can stop before `|` (see `kOrPrecedence`).
std::int64_t EvaluateExpression(TokenSource& source, const NameResolver& resolve,
                                bool unknownIsZero = false, int minPrecedence = 0);

/// A unary expression only (a number, a name, a parenthesised expression, or a unary
/// operator applied to one).
std::int64_t EvaluateUnary(TokenSource& source, const NameResolver& resolve,
                           bool unknownIsZero = false);

/// Precedence of the binary `|`: pass it as `minPrecedence` to stop before `|`.
inline constexpr int kOrPrecedence = 3;

/// Values of the Win32 names built into the compiler (style bits, IDOK, IDC_STATIC...).
std::optional<std::int64_t> BuiltinSymbol(std::string_view name);

}  // namespace loom::rc

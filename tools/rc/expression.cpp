#include "tools/rc/expression.h"

#include <string>
#include <unordered_map>

#include "foundation/host/win32/win32_styles.h"

namespace loom::rc {
namespace {

std::int64_t Wrap(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

int Precedence(const Token& t) {
    if (t.kind != TokenKind::kPunct) return -1;
    static const std::unordered_map<std::string_view, int> kTable = {
        {"||", 1}, {"&&", 2}, {"|", 3}, {"^", 4},  {"&", 5},  {"==", 6},
        {"!=", 6}, {"<", 7},  {">", 7}, {"<=", 7}, {">=", 7}, {"<<", 8},
        {">>", 8}, {"+", 9},  {"-", 9}, {"*", 10}, {"/", 10}, {"%", 10}};
    auto it = kTable.find(t.text);
    return it == kTable.end() ? -1 : it->second;
}

class Evaluator {
  public:
    Evaluator(TokenSource& source, const NameResolver& resolve, bool unknownIsZero)
        : source_(source), resolve_(resolve), unknownIsZero_(unknownIsZero) {}

    std::int64_t Binary(int minPrecedence) {
        if (++depth_ > kMaxDepth)
            throw RcError(source_.Peek().where, "expression nested too deeply");
        std::int64_t left = Unary();
        for (;;) {
            int prec = Precedence(source_.Peek());
            if (prec < 0 || prec < minPrecedence) break;
            Token op = source_.Next();
            std::int64_t right = Binary(prec + 1);
            left = Apply(op, left, right);
        }
        --depth_;
        return left;
    }

    std::int64_t Unary() {
        if (++depth_ > kMaxDepth)
            throw RcError(source_.Peek().where, "expression nested too deeply");
        Token t = source_.Next();
        std::int64_t result = 0;
        if (t.kind == TokenKind::kNumber) {
            result = t.value;
        } else if (t.kind == TokenKind::kIdentifier) {
            std::optional<std::int64_t> v = resolve_ ? resolve_(t) : std::nullopt;
            if (!v) v = BuiltinSymbol(t.text);
            if (!v && !unknownIsZero_) throw RcError(t.where, "unknown symbol '" + t.text + "'");
            result = Wrap(v.value_or(0));
        } else if (t.IsPunct("(")) {
            result = Binary(0);
            Token close = source_.Next();
            if (!close.IsPunct(")")) throw RcError(close.where, "expected ')'" + Found(close));
        } else if (t.IsPunct("-")) {
            result = Wrap(-Unary());
        } else if (t.IsPunct("+")) {
            result = Unary();
        } else if (t.IsPunct("~")) {
            result = Wrap(~Unary());
        } else if (t.IsPunct("!")) {
            result = Unary() == 0 ? 1 : 0;
        } else {
            throw RcError(t.where, "expected a number or a name" + Found(t));
        }
        --depth_;
        return result;
    }

    static std::string Found(const Token& t) {
        switch (t.kind) {
            case TokenKind::kEnd:
                return ", found the end of the input";
            case TokenKind::kString:
                return ", found a string";
            case TokenKind::kDirective:
                return ", found '#" + t.text + "'";
            default:
                return ", found '" + t.text + "'";
        }
    }

  private:
    static constexpr int kMaxDepth = 200;

    std::int64_t Apply(const Token& op, std::int64_t a, std::int64_t b) {
        const std::string& o = op.text;
        // Shifts take the count modulo 32 and work on the unsigned bit pattern.
        auto ua = static_cast<std::uint32_t>(static_cast<std::uint64_t>(a));
        if (o == "+") return Wrap(a + b);
        if (o == "-") return Wrap(a - b);
        if (o == "*") return Wrap(a * b);
        if (o == "/" || o == "%") {
            if (b == 0) throw RcError(op.where, "division by zero");
            return Wrap(o == "/" ? a / b : a % b);
        }
        if (o == "<<") return Wrap(static_cast<std::int64_t>(ua << (b & 31)));
        if (o == ">>") return Wrap(static_cast<std::int64_t>(ua >> (b & 31)));
        if (o == "&") return Wrap(a & b);
        if (o == "|") return Wrap(a | b);
        if (o == "^") return Wrap(a ^ b);
        if (o == "&&") return (a != 0 && b != 0) ? 1 : 0;
        if (o == "||") return (a != 0 || b != 0) ? 1 : 0;
        if (o == "==") return a == b ? 1 : 0;
        if (o == "!=") return a != b ? 1 : 0;
        if (o == "<") return a < b ? 1 : 0;
        if (o == ">") return a > b ? 1 : 0;
        if (o == "<=") return a <= b ? 1 : 0;
        return a >= b ? 1 : 0;  // ">="
    }

    TokenSource& source_;
    const NameResolver& resolve_;
    bool unknownIsZero_;
    int depth_ = 0;
};

}  // namespace

VectorSource::VectorSource(std::vector<Token> tokens, Location end) : tokens_(std::move(tokens)) {
    end_.kind = TokenKind::kEnd;
    end_.where = std::move(end);
}

const Token& VectorSource::Peek() { return index_ < tokens_.size() ? tokens_[index_] : end_; }

Token VectorSource::Next() { return index_ < tokens_.size() ? tokens_[index_++] : end_; }

std::int64_t EvaluateExpression(TokenSource& source, const NameResolver& resolve,
                                bool unknownIsZero, int minPrecedence) {
    Evaluator e(source, resolve, unknownIsZero);
    return e.Binary(minPrecedence);
}

std::int64_t EvaluateUnary(TokenSource& source, const NameResolver& resolve, bool unknownIsZero) {
    Evaluator e(source, resolve, unknownIsZero);
    return e.Unary();
}

std::optional<std::int64_t> BuiltinSymbol(std::string_view name) {
    // clang-format off
#define LOOM_RC_ENTRY(symbol, value) {#symbol, static_cast<std::int64_t>(value)},
    static const std::unordered_map<std::string_view, std::int64_t> kTable = {
        LOOM_WIN32_STYLE_TABLE(LOOM_RC_ENTRY)
        LOOM_WIN32_ID_TABLE(LOOM_RC_ENTRY)
        LOOM_RC_ONLY_SYMBOL_TABLE(LOOM_RC_ENTRY)
    };
#undef LOOM_RC_ENTRY
    // clang-format on
    auto it = kTable.find(name);
    if (it == kTable.end()) return std::nullopt;
    return Wrap(it->second);
}

}  // namespace loom::rc

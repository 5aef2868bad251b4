#pragma once
/// The C preprocessor subset of resource scripts: `#include` (quoted files are read;
/// `<...>` and the Windows SDK's own headers are skipped), object-like `#define` and
/// `#undef`, and `#if`/`#ifdef`/`#ifndef`/`#elif`/`#else`/`#endif`. Headers (.h, .c)
/// contribute only their directives, as with the Win32 resource compiler. `#pragma` is
/// ignored; `#error` stops the compilation.

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tools/rc/expression.h"
#include "tools/rc/lexer.h"
#include "tools/rc/source_provider.h"

namespace loom::rc {

/// Macro-expanded tokens of a script and the files it includes.
class Preprocessor final : public TokenSource {
  public:
    /// Files named in `#include "..."` are looked up beside the including file, then in
    /// `includeDirs` in order.
    Preprocessor(SourceProvider& provider, std::vector<std::string> includeDirs);
    ~Preprocessor() override;

    /// Starts reading `path` (the top-level script); throws RcError if it cannot be read.
    void Open(const std::string& path);

    const Token& Peek() override;
    Token Next() override;

    /// Every file read so far, in the order first read (for dependency lists).
    const std::vector<std::string>& FilesRead() const { return filesRead_; }

  private:
    struct Conditional {
        bool parentActive;
        bool active;    // this branch is being read
        bool anyTaken;  // some branch of this group has been taken
        bool seenElse;
        Location where;
    };
    struct File {
        std::unique_ptr<Lexer> lexer;
        std::string dir;
        bool directivesOnly;
        std::vector<Conditional> conditionals;
    };
    struct Expansion {
        std::string name;
        std::vector<Token> tokens;
        std::size_t index = 0;
    };

    Token Produce();
    void HandleDirective(const Token& directive);
    void Include(const Token& directive, const std::string& operand);
    void PushFile(const std::string& path, std::string content, const Location& from);
    bool EvaluateCondition(const Token& directive, std::vector<Token> tokens);
    bool IsDefined(const std::string& name) const;
    std::vector<Token> ExpandAll(const std::vector<Token>& tokens,
                                 std::unordered_set<std::string>& active, int depth);
    void Charge(std::size_t tokens, const Location& where);

    SourceProvider& provider_;
    std::vector<std::string> includeDirs_;
    std::vector<File> files_;
    std::unordered_map<std::string, std::vector<Token>> macros_;
    std::vector<Expansion> expansions_;
    std::vector<std::string> filesRead_;
    Token peeked_;
    bool havePeeked_ = false;
    Location endWhere_;
    std::size_t expandedTokens_ = 0;
};

}  // namespace loom::rc

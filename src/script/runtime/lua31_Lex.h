// The scripting runtime's lexer: source text to tokens. It follows the
// `$` directives as it goes (conditionals, debug switches, the end of input)
// and records the outcome of each named condition, or replays recorded ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "script/runtime/lua31_State.h"

namespace lua31::compiler {

struct CompileError {
  std::string message;
};

enum Tok : int {
  TK_EOF = 256,
  TK_NAME,
  TK_NUMBER,
  TK_STRING,
  TK_AND,
  TK_DO,
  TK_ELSE,
  TK_ELSEIF,
  TK_END,
  TK_FUNCTION,
  TK_IF,
  TK_LOCAL,
  TK_NIL,
  TK_NOT,
  TK_OR,
  TK_REPEAT,
  TK_RETURN,
  TK_THEN,
  TK_UNTIL,
  TK_WHILE,
  TK_EQ,
  TK_NE,
  TK_LE,
  TK_GE,
  TK_CONCAT,
  TK_DOTS,
};

inline constexpr const char* kReserved[] = {"and",    "do",    "else",  "elseif", "end", "function",
                                            "if",     "local", "nil",   "not",    "or",  "repeat",
                                            "return", "then",  "until", "while"};

struct Token {
  int t = TK_EOF;
  double num = 0;
  TString* str = nullptr;
  int line = 1;
};

inline bool IsAlpha(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
inline bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}

class Lexer {
 public:
  Lexer(State* L, const char* src, size_t len, const std::string& chunk,
        const std::vector<uint8_t>* replay, std::vector<uint8_t>* record)
      : L_(L), p_(src), end_(src + len), chunk_(chunk), replay_(replay), record_(record) {
    if (p_ < end_ && *p_ == '#') {
      while (p_ < end_ && *p_ != '\n') ++p_;
    }
  }

  [[noreturn]] void Error(int line, const std::string& message, const char* near);

  Token Next();

  int line() const { return line_; }

 private:
  struct Cond {
    bool skip;
    bool parentSkip;
    bool elseSeen;
  };

  Token Make(int t) {
    Token tok;
    tok.t = t;
    tok.line = line_;
    return tok;
  }

  Token Two(char second, int both, int single) {
    if (p_ + 1 < end_ && p_[1] == second) {
      p_ += 2;
      return Make(both);
    }
    ++p_;
    return Make(single);
  }

  bool Skipping() const { return !conds_.empty() && conds_.back().skip; }

  std::string Word();

  void SkipBlanks();

  // A `$` line: debug switches, conditionals and the end of input.
  void Directive();

  bool TestName(int line, const std::string& name);

  Token Number();

  Token Name();

  Token ShortString(char quote);

  Token LongString();

  State* L_;
  const char* p_;
  const char* end_;
  const std::string& chunk_;
  const std::vector<uint8_t>* replay_;
  std::vector<uint8_t>* record_;
  size_t replayAt_ = 0;
  int line_ = 1;
  bool atLineStart_ = true;
  std::vector<Cond> conds_;
  std::string buffer_;

 public:
  bool ReplayComplete() const { return !replay_ || replayAt_ == replay_->size(); }
};

}  // namespace lua31::compiler

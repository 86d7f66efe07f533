// The scripting runtime's compiler: source text of the 3.1 language to one
// prototype per function. The lexer handles the `$` directives; the parser
// builds a syntax tree of the chunk; the code generator walks it and emits
// register code (lua31_Code.h) with a line number per instruction.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "script/runtime/lua31_Code.h"

namespace lua31 {
namespace {

constexpr int kMaxDepth = 200;   // nested syntax levels
constexpr int kMaxLocals = 200;  // active locals per function
constexpr int kMaxUpvalues = 255;
constexpr uint32_t kMaxConstants = 65535;
constexpr uint32_t kMaxListBlocks = 1024;

struct CompileError {
  std::string message;
};

// ---- Lexer -----------------------------------------------------------------------

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

const char* const kReserved[] = {"and",    "do",    "else",  "elseif", "end", "function",
                                 "if",     "local", "nil",   "not",    "or",  "repeat",
                                 "return", "then",  "until", "while"};

struct Token {
  int t = TK_EOF;
  double num = 0;
  TString* str = nullptr;
  int line = 1;
};

bool IsAlpha(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsDigit(int c) {
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

  [[noreturn]] void Error(int line, const std::string& message, const char* near) {
    std::string text = chunk_ + ":" + std::to_string(line) + ": " + message;
    if (near) {
      text += " near '";
      text += near;
      text += "'";
    }
    throw CompileError{text};
  }

  Token Next() {
    for (;;) {
      if (p_ >= end_) {
        if (!conds_.empty()) Error(line_, "missing $end", nullptr);
        return Make(TK_EOF);
      }
      if (atLineStart_ && *p_ == '$') {
        Directive();
        continue;
      }
      if (Skipping()) {
        // A skipped line: on to the start of the next one.
        while (p_ < end_ && *p_ != '\n') ++p_;
        if (p_ < end_) {
          ++p_;
          ++line_;
          atLineStart_ = true;
        }
        continue;
      }
      const int c = static_cast<unsigned char>(*p_);
      if (c == '\n') {
        ++p_;
        ++line_;
        atLineStart_ = true;
        continue;
      }
      atLineStart_ = false;
      switch (c) {
        case ' ':
        case '\t':
        case '\r':
        case '\f':
        case '\v':
          ++p_;
          continue;
        case '-':
          if (p_ + 1 < end_ && p_[1] == '-') {
            while (p_ < end_ && *p_ != '\n') ++p_;
            continue;
          }
          ++p_;
          return Make('-');
        case '[':
          if (p_ + 1 < end_ && p_[1] == '[') return LongString();
          ++p_;
          return Make('[');
        case '=':
          return Two('=', TK_EQ, '=');
        case '<':
          return Two('=', TK_LE, '<');
        case '>':
          return Two('=', TK_GE, '>');
        case '~':
          return Two('=', TK_NE, '~');
        case '"':
        case '\'':
          return ShortString(static_cast<char>(c));
        case '.':
          if (p_ + 1 < end_ && p_[1] == '.') {
            if (p_ + 2 < end_ && p_[2] == '.') {
              p_ += 3;
              return Make(TK_DOTS);
            }
            p_ += 2;
            return Make(TK_CONCAT);
          }
          if (p_ + 1 < end_ && IsDigit(p_[1])) return Number();
          ++p_;
          return Make('.');
        default:
          if (IsDigit(c)) return Number();
          if (IsAlpha(c)) return Name();
          ++p_;
          return Make(c);
      }
    }
  }

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

  std::string Word() {
    const char* s = p_;
    while (p_ < end_ && (IsAlpha(*p_) || IsDigit(*p_))) ++p_;
    return std::string(s, p_);
  }

  void SkipBlanks() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r')) ++p_;
  }

  // A `$` line: debug switches, conditionals and the end of input.
  void Directive() {
    const int line = line_;
    ++p_;
    const std::string word = Word();
    if (word == "if" || word == "ifnot") {
      SkipBlanks();
      const std::string cond = Word();
      if (Skipping()) {
        conds_.push_back(Cond{true, true, false});
      } else {
        bool value;
        if (cond == "nil") {
          value = false;
        } else if (cond == "1") {
          value = true;
        } else if (!cond.empty() && IsAlpha(cond[0])) {
          value = TestName(line, cond);
        } else {
          Error(line, "invalid condition in $" + word, nullptr);
        }
        const bool skip = word == "if" ? !value : value;
        conds_.push_back(Cond{skip, false, false});
      }
    } else if (word == "else") {
      if (conds_.empty()) Error(line, "unmatched $else", nullptr);
      Cond& c = conds_.back();
      if (c.elseSeen) Error(line, "unmatched $else", nullptr);
      c.elseSeen = true;
      if (!c.parentSkip) c.skip = !c.skip;
    } else if (word == "end") {
      if (conds_.empty()) Error(line, "unmatched $end", nullptr);
      conds_.pop_back();
    } else if (word == "endinput") {
      if (!Skipping()) {
        p_ = end_;
        conds_.clear();
        return;
      }
    } else if (word != "debug" && word != "nodebug") {
      Error(line, "unknown directive $" + word, nullptr);
    }
    while (p_ < end_ && *p_ != '\n') ++p_;
  }

  bool TestName(int line, const std::string& name) {
    if (replay_) {
      if (replayAt_ >= replay_->size()) Error(line, "directive outcomes do not match", nullptr);
      return (*replay_)[replayAt_++] != 0;
    }
    const Value* v = TableGetStr(L_->globals, NewString(L_, name));
    const bool set = v != nullptr;
    record_->push_back(set ? 1 : 0);
    return set;
  }

  Token Number() {
    const char* s = p_;
    while (p_ < end_ && IsDigit(*p_)) ++p_;
    if (p_ < end_ && *p_ == '.') {
      ++p_;
      while (p_ < end_ && IsDigit(*p_)) ++p_;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (p_ >= end_ || !IsDigit(*p_)) Error(line_, "malformed number", std::string(s, p_).c_str());
      while (p_ < end_ && IsDigit(*p_)) ++p_;
    }
    if (p_ < end_ && (*p_ == '.' || IsAlpha(*p_))) {
      ++p_;
      Error(line_, "malformed number", std::string(s, p_).c_str());
    }
    const std::string text(s, p_);
    Token tok = Make(TK_NUMBER);
    tok.num = std::strtod(text.c_str(), nullptr);
    return tok;
  }

  Token Name() {
    const char* s = p_;
    while (p_ < end_ && (IsAlpha(*p_) || IsDigit(*p_))) ++p_;
    const size_t len = static_cast<size_t>(p_ - s);
    for (size_t i = 0; i < std::size(kReserved); ++i) {
      if (std::strlen(kReserved[i]) == len && std::memcmp(kReserved[i], s, len) == 0) {
        return Make(TK_AND + static_cast<int>(i));
      }
    }
    Token tok = Make(TK_NAME);
    tok.str = NewString(L_, s, len);
    return tok;
  }

  Token ShortString(char quote) {
    const int startLine = line_;
    ++p_;
    buffer_.clear();
    for (;;) {
      if (p_ >= end_ || *p_ == '\n') Error(startLine, "unfinished string", nullptr);
      char c = *p_++;
      if (c == quote) break;
      if (c != '\\') {
        buffer_ += c;
        continue;
      }
      if (p_ >= end_) Error(startLine, "unfinished string", nullptr);
      c = *p_++;
      if (c == '\r' && p_ < end_ && *p_ == '\n') c = *p_++;
      switch (c) {
        case 'a':
          buffer_ += '\a';
          break;
        case 'b':
          buffer_ += '\b';
          break;
        case 'f':
          buffer_ += '\f';
          break;
        case 'n':
          buffer_ += '\n';
          break;
        case 'r':
          buffer_ += '\r';
          break;
        case 't':
          buffer_ += '\t';
          break;
        case 'v':
          buffer_ += '\v';
          break;
        case '\n':
          ++line_;
          buffer_ += '\n';
          break;
        default:
          if (IsDigit(c)) {
            int value = c - '0';
            for (int i = 0; i < 2 && p_ < end_ && IsDigit(*p_); ++i)
              value = value * 10 + (*p_++ - '0');
            if (value > 255) Error(line_, "escape sequence too large", nullptr);
            buffer_ += static_cast<char>(value);
          } else {
            buffer_ += c;
          }
      }
    }
    Token tok = Make(TK_STRING);
    tok.line = startLine;
    tok.str = NewString(L_, buffer_);
    return tok;
  }

  Token LongString() {
    const int startLine = line_;
    p_ += 2;
    buffer_.clear();
    int level = 1;
    for (;;) {
      if (p_ >= end_) Error(startLine, "unfinished long string", nullptr);
      const char c = *p_;
      if (c == '[' && p_ + 1 < end_ && p_[1] == '[') {
        ++level;
        buffer_ += "[[";
        p_ += 2;
      } else if (c == ']' && p_ + 1 < end_ && p_[1] == ']') {
        p_ += 2;
        if (--level == 0) break;
        buffer_ += "]]";
      } else if (c == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
        ++p_;  // CRLF text: the line ends with the newline alone
      } else {
        if (c == '\n') ++line_;
        buffer_ += c;
        ++p_;
      }
    }
    Token tok = Make(TK_STRING);
    tok.line = startLine;
    tok.str = NewString(L_, buffer_);
    return tok;
  }

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

// ---- Syntax tree -----------------------------------------------------------------------

struct Block;
struct FuncBody;
struct TableCons;

enum EK : uint8_t {
  E_NIL,
  E_NUMBER,
  E_STRING,
  E_FUNCTION,
  E_TABLE,
  E_NAME,
  E_UPVAL,
  E_INDEX,
  E_CALL,
  E_METHOD,
  E_UNARY,
  E_BINARY,
  E_AND,
  E_OR,
  E_PAREN,
};

enum Op : uint8_t {
  B_ADD,
  B_SUB,
  B_MUL,
  B_DIV,
  B_POW,
  B_CONCAT,
  B_EQ,
  B_NE,
  B_LT,
  B_LE,
  B_GT,
  B_GE,
  U_NEG,
  U_NOT,
};

struct Expr {
  EK kind = E_NIL;
  uint8_t op = 0;
  int line = 0;
  double num = 0;
  TString* str = nullptr;
  Expr* a = nullptr;
  Expr* b = nullptr;
  std::vector<Expr*> args;
  FuncBody* func = nullptr;
  TableCons* table = nullptr;
};

struct TablePart {
  bool list = true;
  std::vector<Expr*> items;
  std::vector<std::pair<Expr*, Expr*>> fields;
};

struct TableCons {
  std::vector<TablePart> parts;
  size_t listCount = 0;
  size_t fieldCount = 0;
};

enum SK : uint8_t { S_ASSIGN, S_LOCAL, S_CALL, S_DO, S_WHILE, S_REPEAT, S_IF, S_RETURN };

struct Stat {
  SK kind = S_ASSIGN;
  int line = 0;
  std::vector<Expr*> targets;
  std::vector<Expr*> values;
  std::vector<TString*> names;
  Expr* cond = nullptr;
  Block* body = nullptr;
  std::vector<std::pair<Expr*, Block*>> clauses;
  Block* elseBlock = nullptr;
};

struct Block {
  std::vector<Stat*> stats;
};

struct FuncBody {
  std::vector<TString*> params;
  bool vararg = false;
  bool method = false;
  Block* body = nullptr;
  int line = 0;
  int endLine = 0;
};

// ---- Parser --------------------------------------------------------------------------

class Parser {
 public:
  Parser(Lexer& lex) : lex_(lex) {
    t_ = lex_.Next();
    ahead_.t = -1;
  }

  Block* Chunk() {
    Block* b = ParseBlock();
    if (t_.t != TK_EOF) ErrorHere("'<eof>' expected");
    return b;
  }

  std::deque<Expr> exprs;
  std::deque<Stat> stats;
  std::deque<Block> blocks;
  std::deque<FuncBody> funcs;
  std::deque<TableCons> tables;

 private:
  struct Depth {
    Parser* p;
    explicit Depth(Parser* parser) : p(parser) {
      if (++p->depth_ > kMaxDepth) p->ErrorHere("chunk has too many syntax levels");
    }
    ~Depth() { --p->depth_; }
  };

  std::string TokenText(const Token& t) {
    switch (t.t) {
      case TK_EOF:
        return "<eof>";
      case TK_NAME:
        return t.str ? t.str->data() : "<name>";
      case TK_STRING:
        if (!t.str) return "<string>";
        return std::string(t.str->data(), std::min<size_t>(t.str->len, 40));
      case TK_NUMBER: {
        char b[32];
        NumberToText(t.num, b);
        return b;
      }
      case TK_EQ:
        return "==";
      case TK_NE:
        return "~=";
      case TK_LE:
        return "<=";
      case TK_GE:
        return ">=";
      case TK_CONCAT:
        return "..";
      case TK_DOTS:
        return "...";
      default:
        if (t.t >= TK_AND && t.t <= TK_WHILE) return kReserved[t.t - TK_AND];
        if (t.t >= 32 && t.t < 127) return std::string(1, static_cast<char>(t.t));
        char b[16];
        std::snprintf(b, sizeof b, "<\\%d>", t.t);
        return b;
    }
  }

  [[noreturn]] void ErrorHere(const std::string& message) {
    lex_.Error(t_.line, message, TokenText(t_).c_str());
  }

  void Next() {
    if (ahead_.t != -1) {
      t_ = ahead_;
      ahead_.t = -1;
    } else {
      t_ = lex_.Next();
    }
  }

  const Token& Peek() {
    if (ahead_.t == -1) ahead_ = lex_.Next();
    return ahead_;
  }

  std::string What(int t) {
    Token tok;
    tok.t = t;
    return "'" + TokenText(tok) + "'";
  }

  void Check(int t) {
    if (t_.t != t) ErrorHere(What(t) + " expected");
  }

  void Expect(int t) {
    Check(t);
    Next();
  }

  // Closes a construct opened on another line, naming where it opened.
  void ExpectMatch(int t, int opener, int line) {
    if (t_.t == t) {
      Next();
      return;
    }
    if (line == t_.line) ErrorHere(What(t) + " expected");
    ErrorHere(What(t) + " expected (to close " + What(opener) + " at line " + std::to_string(line) +
              ")");
  }

  TString* ExpectName() {
    Check(TK_NAME);
    TString* s = t_.str;
    Next();
    return s;
  }

  Expr* NewExpr(EK kind, int line) {
    exprs.emplace_back();
    exprs.back().kind = kind;
    exprs.back().line = line;
    return &exprs.back();
  }

  Stat* NewStat(SK kind, int line) {
    stats.emplace_back();
    stats.back().kind = kind;
    stats.back().line = line;
    return &stats.back();
  }

  static bool BlockFollows(int t) {
    return t == TK_EOF || t == TK_END || t == TK_ELSE || t == TK_ELSEIF || t == TK_UNTIL;
  }

  Block* ParseBlock() {
    Depth depth(this);
    blocks.emplace_back();
    Block* b = &blocks.back();
    while (!BlockFollows(t_.t)) {
      if (t_.t == TK_RETURN) {
        b->stats.push_back(ParseReturn());
        if (!BlockFollows(t_.t)) ErrorHere("'end' expected (return must be the last statement)");
        break;
      }
      b->stats.push_back(ParseStatement());
      if (t_.t == ';') Next();
    }
    return b;
  }

  Stat* ParseReturn() {
    Stat* s = NewStat(S_RETURN, t_.line);
    Next();
    if (!BlockFollows(t_.t) && t_.t != ';') s->values = ParseExprList();
    if (t_.t == ';') Next();
    return s;
  }

  Stat* ParseStatement() {
    const int line = t_.line;
    switch (t_.t) {
      case TK_IF: {
        Stat* s = NewStat(S_IF, line);
        Next();
        Expr* cond = ParseExpr();
        Expect(TK_THEN);
        s->clauses.emplace_back(cond, ParseBlock());
        while (t_.t == TK_ELSEIF) {
          Next();
          Expr* c = ParseExpr();
          Expect(TK_THEN);
          s->clauses.emplace_back(c, ParseBlock());
        }
        if (t_.t == TK_ELSE) {
          Next();
          s->elseBlock = ParseBlock();
        }
        ExpectMatch(TK_END, TK_IF, line);
        return s;
      }
      case TK_WHILE: {
        Stat* s = NewStat(S_WHILE, line);
        Next();
        s->cond = ParseExpr();
        Expect(TK_DO);
        s->body = ParseBlock();
        ExpectMatch(TK_END, TK_WHILE, line);
        return s;
      }
      case TK_DO: {
        Stat* s = NewStat(S_DO, line);
        Next();
        s->body = ParseBlock();
        ExpectMatch(TK_END, TK_DO, line);
        return s;
      }
      case TK_REPEAT: {
        Stat* s = NewStat(S_REPEAT, line);
        Next();
        s->body = ParseBlock();
        ExpectMatch(TK_UNTIL, TK_REPEAT, line);
        s->cond = ParseExpr();
        return s;
      }
      case TK_FUNCTION: {
        // function name [. name | : name] body
        Stat* s = NewStat(S_ASSIGN, line);
        Next();
        Expr* target = NewExpr(E_NAME, t_.line);
        target->str = ExpectName();
        bool method = false;
        if (t_.t == '.' || t_.t == ':') {
          method = t_.t == ':';
          Next();
          Expr* key = NewExpr(E_STRING, t_.line);
          key->str = ExpectName();
          Expr* index = NewExpr(E_INDEX, line);
          index->a = target;
          index->b = key;
          target = index;
        }
        s->targets.push_back(target);
        s->values.push_back(ParseFunction(method, line));
        return s;
      }
      case TK_LOCAL: {
        Stat* s = NewStat(S_LOCAL, line);
        Next();
        s->names.push_back(ExpectName());
        while (t_.t == ',') {
          Next();
          s->names.push_back(ExpectName());
        }
        if (t_.t == '=') {
          Next();
          s->values = ParseExprList();
        }
        return s;
      }
      case TK_NAME:
      case '%': {
        Expr* e = ParsePrimary();
        if (t_.t == '=' || t_.t == ',') {
          Stat* s = NewStat(S_ASSIGN, line);
          s->targets.push_back(CheckTarget(e));
          while (t_.t == ',') {
            Next();
            s->targets.push_back(CheckTarget(ParsePrimary()));
          }
          Expect('=');
          s->values = ParseExprList();
          return s;
        }
        if (e->kind != E_CALL && e->kind != E_METHOD) ErrorHere("syntax error");
        Stat* s = NewStat(S_CALL, line);
        s->values.push_back(e);
        return s;
      }
      default:
        ErrorHere("unexpected symbol");
    }
  }

  Expr* CheckTarget(Expr* e) {
    if (e->kind != E_NAME && e->kind != E_INDEX) ErrorHere("syntax error (cannot assign to this)");
    return e;
  }

  std::vector<Expr*> ParseExprList() {
    std::vector<Expr*> list;
    list.push_back(ParseExpr());
    while (t_.t == ',') {
      Next();
      list.push_back(ParseExpr());
    }
    return list;
  }

  static int LeftPriority(int t) {
    switch (t) {
      case TK_AND:
      case TK_OR:
        return 1;
      case TK_EQ:
      case TK_NE:
      case '<':
      case '>':
      case TK_LE:
      case TK_GE:
        return 2;
      case TK_CONCAT:
        return 3;
      case '+':
      case '-':
        return 4;
      case '*':
      case '/':
        return 5;
      case '^':
        return 7;
      default:
        return 0;
    }
  }

  static Op BinaryOp(int t) {
    switch (t) {
      case '+':
        return B_ADD;
      case '-':
        return B_SUB;
      case '*':
        return B_MUL;
      case '/':
        return B_DIV;
      case '^':
        return B_POW;
      case TK_CONCAT:
        return B_CONCAT;
      case TK_EQ:
        return B_EQ;
      case TK_NE:
        return B_NE;
      case '<':
        return B_LT;
      case TK_LE:
        return B_LE;
      case '>':
        return B_GT;
      default:
        return B_GE;
    }
  }

  static constexpr int kUnaryPriority = 6;

  Expr* ParseExpr(int limit = 0) {
    Depth depth(this);
    Expr* left;
    if (t_.t == TK_NOT || t_.t == '-') {
      const int line = t_.line;
      const bool negate = t_.t == '-';
      Next();
      Expr* operand = ParseExpr(kUnaryPriority);
      left = NewExpr(E_UNARY, line);
      left->op = negate ? U_NEG : U_NOT;
      left->a = operand;
    } else {
      left = ParseSimple();
    }
    // Each operator nests the tree one level more (a + b + c is (a + b) + c):
    // a long chain counts as deep nesting.
    int chain = 0;
    for (;;) {
      const int t = t_.t;
      const int priority = LeftPriority(t);
      if (priority == 0 || priority <= limit) break;
      if (depth_ + ++chain > kMaxDepth) ErrorHere("chunk has too many syntax levels");
      const int line = t_.line;
      Next();
      Expr* right = ParseExpr(t == '^' ? 6 : priority);
      Expr* e;
      if (t == TK_AND || t == TK_OR) {
        e = NewExpr(t == TK_AND ? E_AND : E_OR, line);
      } else {
        e = NewExpr(E_BINARY, line);
        e->op = BinaryOp(t);
      }
      e->a = left;
      e->b = right;
      left = e;
    }
    return left;
  }

  Expr* ParseSimple() {
    const int line = t_.line;
    switch (t_.t) {
      case TK_NIL: {
        Next();
        return NewExpr(E_NIL, line);
      }
      case TK_NUMBER: {
        Expr* e = NewExpr(E_NUMBER, line);
        e->num = t_.num;
        Next();
        return e;
      }
      case TK_STRING: {
        Expr* e = NewExpr(E_STRING, line);
        e->str = t_.str;
        Next();
        return e;
      }
      case TK_FUNCTION:
        Next();
        return ParseFunction(false, line);
      case '{':
        return ParseTable();
      case '(': {
        Next();
        Expr* e = NewExpr(E_PAREN, line);
        e->a = ParseExpr();
        ExpectMatch(')', '(', line);
        return e;
      }
      case TK_NAME:
      case '%':
        return ParsePrimary();
      default:
        ErrorHere("unexpected symbol");
    }
  }

  // A variable, an up-value or a call, with its suffixes.
  Expr* ParsePrimary() {
    Depth depth(this);
    Expr* e;
    if (t_.t == '%') {
      e = NewExpr(E_UPVAL, t_.line);
      Next();
      e->str = ExpectName();
    } else {
      e = NewExpr(E_NAME, t_.line);
      e->str = ExpectName();
    }
    int chain = 0;
    for (;;) {
      const int line = t_.line;
      if (depth_ + ++chain > kMaxDepth) ErrorHere("chunk has too many syntax levels");
      switch (t_.t) {
        case '.': {
          Next();
          Expr* key = NewExpr(E_STRING, t_.line);
          key->str = ExpectName();
          Expr* index = NewExpr(E_INDEX, line);
          index->a = e;
          index->b = key;
          e = index;
          break;
        }
        case '[': {
          Next();
          Expr* index = NewExpr(E_INDEX, line);
          index->a = e;
          index->b = ParseExpr();
          Expect(']');
          e = index;
          break;
        }
        case ':': {
          Next();
          Expr* call = NewExpr(E_METHOD, line);
          call->a = e;
          call->str = ExpectName();
          call->line = t_.line;
          call->args = ParseArgs();
          e = call;
          break;
        }
        case '(':
        case TK_STRING:
        case '{': {
          Expr* call = NewExpr(E_CALL, line);
          call->a = e;
          call->args = ParseArgs();
          e = call;
          break;
        }
        default:
          return e;
      }
    }
  }

  std::vector<Expr*> ParseArgs() {
    std::vector<Expr*> args;
    const int line = t_.line;
    if (t_.t == TK_STRING) {
      Expr* e = NewExpr(E_STRING, line);
      e->str = t_.str;
      Next();
      args.push_back(e);
    } else if (t_.t == '{') {
      args.push_back(ParseTable());
    } else if (t_.t == '(') {
      Next();
      if (t_.t != ')') args = ParseExprList();
      ExpectMatch(')', '(', line);
    } else {
      ErrorHere("function arguments expected");
    }
    return args;
  }

  Expr* ParseFunction(bool method, int line) {
    Depth depth(this);
    funcs.emplace_back();
    FuncBody* f = &funcs.back();
    f->method = method;
    f->line = line;
    Expect('(');
    if (t_.t != ')') {
      for (;;) {
        if (t_.t == TK_DOTS) {
          Next();
          f->vararg = true;
          break;
        }
        f->params.push_back(ExpectName());
        if (t_.t != ',') break;
        Next();
      }
    }
    Expect(')');
    f->body = ParseBlock();
    f->endLine = t_.line;
    ExpectMatch(TK_END, TK_FUNCTION, line);
    Expr* e = NewExpr(E_FUNCTION, line);
    e->func = f;
    return e;
  }

  // { [part] [; [part]] } where a part is a list of expressions or a list of
  // `name = exp` / `[exp] = exp` fields, and two parts differ in kind.
  Expr* ParseTable() {
    Depth depth(this);
    const int line = t_.line;
    Expect('{');
    tables.emplace_back();
    TableCons* tc = &tables.back();
    for (int part = 0; part < 2; ++part) {
      if (t_.t == '}' || (t_.t == ';' && part == 0)) {
        if (t_.t == ';') {
          Next();
          continue;
        }
        break;
      }
      const bool record = t_.t == '[' || (t_.t == TK_NAME && Peek().t == '=');
      if (!tc->parts.empty() && tc->parts[0].list != record) {
        ErrorHere("invalid constructor syntax (two parts of the same kind)");
      }
      TablePart p;
      p.list = !record;
      while (t_.t != '}' && t_.t != ';') {
        if (record) {
          Expr* key;
          if (t_.t == '[') {
            Next();
            key = ParseExpr();
            Expect(']');
          } else {
            key = NewExpr(E_STRING, t_.line);
            key->str = ExpectName();
          }
          Expect('=');
          p.fields.emplace_back(key, ParseExpr());
          ++tc->fieldCount;
        } else {
          p.items.push_back(ParseExpr());
          ++tc->listCount;
        }
        if (t_.t != ',') break;
        Next();
      }
      tc->parts.push_back(std::move(p));
      if (t_.t == ';' && part == 0) {
        Next();
        continue;
      }
      break;
    }
    ExpectMatch('}', '{', line);
    Expr* e = NewExpr(E_TABLE, line);
    e->table = tc;
    return e;
  }

  Lexer& lex_;
  Token t_;
  Token ahead_;
  int depth_ = 0;
};

// ---- Code generator -------------------------------------------------------------------

using JumpList = std::vector<int>;

class CodeGen {
 public:
  CodeGen(State* L, Chunk* chunk, Lexer& lex) : L_(L), chunk_(chunk), lex_(lex) {}

  void Main(Block* block) {
    FuncBody body;
    body.body = block;
    body.line = 0;
    body.endLine = lex_.line();
    Function(&body);
  }

 private:
  struct FuncState {
    FuncState* prev = nullptr;
    Proto* p = nullptr;
    std::vector<TString*> actives;  // active locals; register = position
    int freereg = 0;
    std::unordered_map<const TString*, uint32_t> strK;
    std::unordered_map<uint64_t, uint32_t> numK;
    int64_t nilK = -1;
    std::vector<TString*> upnames;
  };

  [[noreturn]] void Error(const std::string& message) { lex_.Error(line_, message, nullptr); }

  int Here() const { return static_cast<int>(fs_->p->code.size()); }

  int Emit(Instr i) {
    fs_->p->code.push_back(i);
    fs_->p->lines.push_back(line_);
    return Here() - 1;
  }

  int EmitJump() { return Emit(MakeJ(OP_JMP, 0)); }

  void PatchTo(const JumpList& list, int target) {
    for (int pc : list) {
      const int offset = target - (pc + 1);
      if (offset > kJumpBias || offset < -kJumpBias) Error("control structure too long");
      fs_->p->code[pc] = MakeJ(OP_JMP, offset);
    }
  }

  int NumActive() const { return static_cast<int>(fs_->actives.size()); }

  int Reserve(int n) {
    const int r = fs_->freereg;
    fs_->freereg += n;
    if (fs_->freereg > kMaxRegisters) Error("function or expression too complex");
    if (fs_->freereg > fs_->p->maxstack) fs_->p->maxstack = static_cast<uint8_t>(fs_->freereg);
    return r;
  }

  uint32_t AddK(const Value& v) {
    std::vector<Value>& k = fs_->p->k;
    if (k.size() >= kMaxConstants) Error("too many constants");
    k.push_back(v);
    return static_cast<uint32_t>(k.size() - 1);
  }

  uint32_t StrK(TString* s) {
    auto it = fs_->strK.find(s);
    if (it != fs_->strK.end()) return it->second;
    const uint32_t i = AddK(StringValue(s));
    fs_->strK[s] = i;
    return i;
  }

  uint32_t NumK(double n) {
    uint64_t bits;
    std::memcpy(&bits, &n, 8);
    auto it = fs_->numK.find(bits);
    if (it != fs_->numK.end()) return it->second;
    const uint32_t i = AddK(NumberValue(n));
    fs_->numK[bits] = i;
    return i;
  }

  uint32_t NilK() {
    if (fs_->nilK < 0) fs_->nilK = AddK(NilValue());
    return static_cast<uint32_t>(fs_->nilK);
  }

  // ---- Functions and blocks ----

  void AddLocal(TString* name) {
    if (NumActive() >= kMaxLocals) Error("too many local variables");
    fs_->actives.push_back(name);
  }

  Proto* Function(FuncBody* f) {
    auto owned = std::make_unique<Proto>();
    Proto* p = owned.get();
    p->chunk = chunk_;
    p->index = static_cast<uint32_t>(chunk_->protos.size());
    p->linedefined = f->line;
    chunk_->protos.push_back(std::move(owned));
    FuncState fs;
    fs.prev = fs_;
    fs.p = p;
    fs_ = &fs;
    const int savedLine = line_;
    line_ = f->line;
    if (f->method) AddLocal(NewString(L_, "self"));
    for (TString* name : f->params) AddLocal(name);
    if (NumActive() > kMaxLocals - 1) Error("too many parameters");
    p->numparams = static_cast<uint8_t>(NumActive());
    if (f->vararg) {
      p->isVararg = 1;
      AddLocal(NewString(L_, "arg"));
    }
    Reserve(NumActive());
    GenBlock(f->body);
    line_ = f->endLine;
    Emit(MakeABC(OP_RETURN, 0, 1, 0));
    if (p->maxstack < 2) p->maxstack = 2;
    fs_ = fs.prev;
    line_ = savedLine;
    return p;
  }

  void GenBlock(Block* b) {
    const size_t active = fs_->actives.size();
    for (Stat* s : b->stats) {
      GenStat(s);
      fs_->freereg = NumActive();
    }
    fs_->actives.resize(active);
    fs_->freereg = NumActive();
  }

  // ---- Names ----

  // The register of a visible local of the current function, or -1 (a
  // global). A local of an enclosing function is a compile error.
  int ResolveName(TString* name) {
    for (int i = NumActive() - 1; i >= 0; --i) {
      if (fs_->actives[i] == name) return i;
    }
    for (FuncState* f = fs_->prev; f; f = f->prev) {
      for (TString* a : f->actives) {
        if (a == name) {
          Error(std::string("cannot access local variable '") + name->data() +
                "' of an enclosing function (use %" + name->data() + ")");
        }
      }
    }
    return -1;
  }

  uint32_t ResolveUpvalue(TString* name) {
    if (!fs_->prev) {
      Error(std::string("up-value %") + name->data() + " used outside a function");
    }
    for (size_t i = 0; i < fs_->upnames.size(); ++i) {
      if (fs_->upnames[i] == name) return static_cast<uint32_t>(i);
    }
    UpvalDesc d;
    bool found = false;
    const std::vector<TString*>& outer = fs_->prev->actives;
    for (int i = static_cast<int>(outer.size()) - 1; i >= 0; --i) {
      if (outer[i] == name) {
        d.reg = static_cast<uint8_t>(i);
        found = true;
        break;
      }
    }
    if (!found) {
      for (FuncState* f = fs_->prev->prev; f; f = f->prev) {
        for (TString* a : f->actives) {
          if (a == name) {
            Error(std::string("up-value %") + name->data() +
                  " must be a global or a local of the immediately enclosing function");
          }
        }
      }
      d.global = name;
    }
    if (fs_->upnames.size() >= kMaxUpvalues) Error("too many up-values");
    fs_->upnames.push_back(name);
    fs_->p->upvals.push_back(d);
    return static_cast<uint32_t>(fs_->upnames.size() - 1);
  }

  // ---- Expressions ----

  static bool IsCall(const Expr* e) { return e->kind == E_CALL || e->kind == E_METHOD; }
  static bool IsConstant(const Expr* e) {
    return e->kind == E_NIL || e->kind == E_NUMBER || e->kind == E_STRING;
  }

  uint32_t ConstantIndex(const Expr* e) {
    if (e->kind == E_NUMBER) return NumK(e->num);
    if (e->kind == E_STRING) return StrK(e->str);
    return NilK();
  }

  // Folds arithmetic on two number literals (the same doubles the
  // interpreter would compute).
  bool Fold(Expr* e, double* out) {
    if (e->kind == E_NUMBER) {
      *out = e->num;
      return true;
    }
    if (e->kind == E_UNARY && e->op == U_NEG) {
      double v;
      if (!Fold(e->a, &v)) return false;
      *out = -v;
      return true;
    }
    if (e->kind == E_BINARY && e->op <= B_DIV) {
      double a, b;
      if (!Fold(e->a, &a) || !Fold(e->b, &b)) return false;
      switch (e->op) {
        case B_ADD:
          *out = a + b;
          break;
        case B_SUB:
          *out = a - b;
          break;
        case B_MUL:
          *out = a * b;
          break;
        default:
          *out = a / b;
          break;
      }
      return true;
    }
    return false;
  }

  void LoadNumber(int r, double n) {
    if (n == std::floor(n) && n >= -32767.0 && n <= 32768.0 && !(n == 0 && std::signbit(n))) {
      Emit(MakeABx(OP_LOADNUM, r, static_cast<uint32_t>(static_cast<int32_t>(n) + 32767)));
    } else {
      Emit(MakeABx(OP_LOADK, r, NumK(n)));
    }
  }

  int NextReg(Expr* e) {
    const int r = Reserve(1);
    ToReg(e, r);
    return r;
  }

  int AnyReg(Expr* e) {
    if (e->kind == E_PAREN) return AnyReg(e->a);
    if (e->kind == E_NAME) {
      const int r = ResolveName(e->str);
      if (r >= 0) return r;
    }
    return NextReg(e);
  }

  // Puts the value of e in register r. Registers above fs_->freereg are
  // free for temporaries; r itself was reserved by the caller.
  void ToReg(Expr* e, int r) {
    const int save = fs_->freereg;
    const int savedLine = line_;
    line_ = e->line;
    // An expression that writes its target before it has read everything
    // goes through a temporary when the target is a live local.
    if (r < NumActive() && (e->kind == E_AND || e->kind == E_OR || e->kind == E_TABLE)) {
      const int t = NextReg(e);
      Emit(MakeABC(OP_MOVE, r, t, 0));
      fs_->freereg = save;
      line_ = savedLine;
      return;
    }
    switch (e->kind) {
      case E_NIL:
        Emit(MakeABC(OP_LOADNIL, r, 0, 0));
        break;
      case E_NUMBER:
        LoadNumber(r, e->num);
        break;
      case E_STRING:
        Emit(MakeABx(OP_LOADK, r, StrK(e->str)));
        break;
      case E_FUNCTION: {
        Proto* child = Function(e->func);
        line_ = e->line;
        std::vector<Proto*>& children = fs_->p->children;
        if (children.size() >= kMaxConstants) Error("too many functions");
        children.push_back(child);
        Emit(MakeABx(OP_CLOSURE, r, static_cast<uint32_t>(children.size() - 1)));
        break;
      }
      case E_TABLE:
        if (r == fs_->freereg - 1 && r >= NumActive()) {
          GenTable(e, r);
        } else {
          const int t = Reserve(1);
          GenTable(e, t);
          Emit(MakeABC(OP_MOVE, r, t, 0));
        }
        break;
      case E_NAME: {
        const int local = ResolveName(e->str);
        if (local >= 0) {
          if (local != r) Emit(MakeABC(OP_MOVE, r, local, 0));
        } else {
          Emit(MakeABx(OP_GETGLOBAL, r, StrK(e->str)));
        }
        break;
      }
      case E_UPVAL:
        Emit(MakeABC(OP_GETUPVAL, r, ResolveUpvalue(e->str), 0));
        break;
      case E_INDEX: {
        const int o = AnyReg(e->a);
        if (e->b->kind == E_STRING && StrK(e->b->str) <= 255) {
          line_ = e->line;
          Emit(MakeABC(OP_GETFIELD, r, o, StrK(e->b->str)));
        } else {
          const int k = AnyReg(e->b);
          line_ = e->line;
          Emit(MakeABC(OP_GETTABLE, r, o, k));
        }
        break;
      }
      case E_CALL:
      case E_METHOD:
        if (r == fs_->freereg - 1 && r >= NumActive()) {
          fs_->freereg = r;
          GenCall(e, r, 1);
        } else {
          const int base = fs_->freereg;
          GenCall(e, base, 1);
          Emit(MakeABC(OP_MOVE, r, base, 0));
        }
        break;
      case E_PAREN:
        ToReg(e->a, r);
        break;
      case E_UNARY: {
        double folded;
        if (e->op == U_NEG && Fold(e, &folded)) {
          LoadNumber(r, folded);
        } else if (e->op == U_NOT && IsConstant(e->a)) {
          if (e->a->kind == E_NIL) {
            LoadNumber(r, 1);
          } else {
            Emit(MakeABC(OP_LOADNIL, r, 0, 0));
          }
        } else {
          const int b = AnyReg(e->a);
          line_ = e->line;
          Emit(MakeABC(e->op == U_NEG ? OP_UNM : OP_NOT, r, b, 0));
        }
        break;
      }
      case E_BINARY:
        GenBinary(e, r);
        break;
      case E_AND:
      case E_OR: {
        ToReg(e->a, r);
        line_ = e->line;
        Emit(MakeABC(OP_TEST, r, 0, e->kind == E_AND ? 0 : 1));
        JumpList end{EmitJump()};
        ToReg(e->b, r);
        PatchTo(end, Here());
        break;
      }
    }
    fs_->freereg = save;
    line_ = savedLine;
  }

  void GenBinary(Expr* e, int r) {
    switch (e->op) {
      case B_ADD:
      case B_SUB:
      case B_MUL:
      case B_DIV: {
        double folded;
        if (Fold(e, &folded)) {
          LoadNumber(r, folded);
          return;
        }
        const int b = AnyReg(e->a);
        static const OpCode plain[] = {OP_ADD, OP_SUB, OP_MUL, OP_DIV};
        static const OpCode withK[] = {OP_ADDK, OP_SUBK, OP_MULK, OP_DIVK};
        if (e->b->kind == E_NUMBER && NumK(e->b->num) <= 255) {
          line_ = e->line;
          Emit(MakeABC(withK[e->op], r, b, NumK(e->b->num)));
        } else {
          const int c = AnyReg(e->b);
          line_ = e->line;
          Emit(MakeABC(plain[e->op], r, b, c));
        }
        return;
      }
      case B_POW: {
        const int b = AnyReg(e->a);
        const int c = AnyReg(e->b);
        line_ = e->line;
        Emit(MakeABC(OP_POW, r, b, c));
        return;
      }
      case B_CONCAT: {
        // a .. b .. c is (a .. b) .. c: the left spine becomes one run of
        // consecutive registers joined by one instruction.
        std::vector<Expr*> operands;
        Expr* x = e;
        while (x->kind == E_BINARY && x->op == B_CONCAT) {
          operands.push_back(x->b);
          x = x->a;
        }
        operands.push_back(x);
        const int n = static_cast<int>(operands.size());
        const int base = Reserve(n);
        for (int i = 0; i < n; ++i) ToReg(operands[n - 1 - i], base + i);
        line_ = e->line;
        Emit(MakeABC(OP_CONCAT, r, base, base + n - 1));
        return;
      }
      case B_LT:
      case B_LE:
      case B_GT:
      case B_GE: {
        // An order comparison as a value keeps a tag method's own result.
        const int b = AnyReg(e->a);
        const int c = AnyReg(e->b);
        static const OpCode value[] = {OP_LTV, OP_LEV, OP_GTV, OP_GEV};
        line_ = e->line;
        Emit(MakeABC(value[e->op - B_LT], r, b, c));
        return;
      }
      default: {
        // Equality as a value: 1 or nil.
        JumpList isFalse;
        CondJump(e, false, isFalse);
        LoadNumber(r, 1);
        JumpList end{EmitJump()};
        PatchTo(isFalse, Here());
        Emit(MakeABC(OP_LOADNIL, r, 0, 0));
        PatchTo(end, Here());
        return;
      }
    }
  }

  // Emits code that jumps (adding the jump to `list`) when the truth of e
  // equals `jumpIf`, and falls through otherwise.
  void CondJump(Expr* e, bool jumpIf, JumpList& list) {
    const int savedLine = line_;
    line_ = e->line;
    const int save = fs_->freereg;
    switch (e->kind) {
      case E_NIL:
        if (!jumpIf) list.push_back(EmitJump());
        break;
      case E_NUMBER:
      case E_STRING:
        if (jumpIf) list.push_back(EmitJump());
        break;
      case E_PAREN:
        CondJump(e->a, jumpIf, list);
        break;
      case E_UNARY:
        if (e->op == U_NOT) {
          CondJump(e->a, !jumpIf, list);
        } else {
          Test(e, jumpIf, list);
        }
        break;
      case E_AND:
      case E_OR: {
        const bool isAnd = e->kind == E_AND;
        if (jumpIf != isAnd) {
          // and, jump when false / or, jump when true: either side decides.
          CondJump(e->a, jumpIf, list);
          CondJump(e->b, jumpIf, list);
        } else {
          JumpList skip;
          CondJump(e->a, !jumpIf, skip);
          CondJump(e->b, jumpIf, list);
          PatchTo(skip, Here());
        }
        break;
      }
      case E_BINARY:
        if (e->op >= B_EQ) {
          Compare(e, jumpIf, list);
        } else {
          Test(e, jumpIf, list);
        }
        break;
      default:
        Test(e, jumpIf, list);
        break;
    }
    fs_->freereg = save;
    line_ = savedLine;
  }

  void Test(Expr* e, bool jumpIf, JumpList& list) {
    const int r = AnyReg(e);
    Emit(MakeABC(OP_TEST, r, 0, jumpIf ? 1 : 0));
    list.push_back(EmitJump());
  }

  void Compare(Expr* e, bool jumpIf, JumpList& list) {
    const int b = AnyReg(e->a);
    OpCode op;
    OpCode opK;
    uint32_t a = jumpIf ? 1 : 0;
    switch (e->op) {
      case B_EQ:
        op = OP_EQ, opK = OP_EQK;
        break;
      case B_NE:
        op = OP_EQ, opK = OP_EQK, a ^= 1;
        break;
      case B_LT:
        op = OP_LT, opK = OP_LTK;
        break;
      case B_LE:
        op = OP_LE, opK = OP_LEK;
        break;
      case B_GT:
        op = OP_GT, opK = OP_GTK;
        break;
      default:
        op = OP_GE, opK = OP_GEK;
        break;
    }
    if (IsConstant(e->b) && ConstantIndex(e->b) <= 255) {
      line_ = e->line;
      Emit(MakeABC(opK, a, b, ConstantIndex(e->b)));
    } else {
      const int c = AnyReg(e->b);
      line_ = e->line;
      Emit(MakeABC(op, a, b, c));
    }
    list.push_back(EmitJump());
  }

  // The function goes to register base (== freereg), its arguments above;
  // afterwards freereg is base again and the results start at base.
  void GenCall(Expr* e, int base, int nresults) {
    if (e->kind == E_METHOD) {
      Reserve(2);
      const uint32_t k = StrK(e->str);
      if (k <= 255) {
        const int o = AnyReg(e->a);
        line_ = e->line;
        Emit(MakeABC(OP_SELF, base, o, k));
      } else {
        ToReg(e->a, base + 1);
        const int t = Reserve(1);
        Emit(MakeABx(OP_LOADK, t, k));
        Emit(MakeABC(OP_GETTABLE, base, base + 1, t));
      }
      fs_->freereg = base + 2;
    } else {
      Reserve(1);
      ToReg(e->a, base);
    }
    for (Expr* arg : e->args) NextReg(arg);
    const int nargs = fs_->freereg - base - 1;
    line_ = e->line;
    Emit(MakeABC(OP_CALL, base, nargs + 1, nresults + 1));
    fs_->freereg = base;
  }

  void GenTable(Expr* e, int r) {
    TableCons* tc = e->table;
    Emit(MakeABC(OP_NEWTABLE, r, static_cast<uint32_t>(std::min<size_t>(tc->listCount, 255)),
                 static_cast<uint32_t>(std::min<size_t>(tc->fieldCount, 255))));
    for (TablePart& part : tc->parts) {
      if (part.list) {
        uint32_t block = 0;
        int pending = 0;
        auto flush = [&] {
          if (block >= kMaxListBlocks) Error("table constructor too long");
          Emit(MakeABx(OP_SETLIST, r, block << 6 | static_cast<uint32_t>(pending)));
          ++block;
          pending = 0;
          fs_->freereg = r + 1;
        };
        for (Expr* item : part.items) {
          NextReg(item);
          if (++pending == kListBlock) flush();
        }
        if (pending) flush();
      } else {
        for (auto& [key, value] : part.fields) {
          const int save = fs_->freereg;
          if (key->kind == E_STRING && StrK(key->str) <= 255) {
            const int v = AnyReg(value);
            Emit(MakeABC(OP_SETFIELD, r, StrK(key->str), v));
          } else {
            const int k = AnyReg(key);
            const int v = AnyReg(value);
            Emit(MakeABC(OP_SETTABLE, r, k, v));
          }
          fs_->freereg = save;
        }
      }
    }
  }

  // ---- Statements ----

  void Store(Expr* target, int valueReg) {
    line_ = target->line;
    if (target->kind == E_NAME) {
      const int local = ResolveName(target->str);
      if (local >= 0) {
        if (local != valueReg) Emit(MakeABC(OP_MOVE, local, valueReg, 0));
      } else {
        Emit(MakeABx(OP_SETGLOBAL, valueReg, StrK(target->str)));
      }
    }
  }

  void GenAssign(Stat* s) {
    const size_t n = s->targets.size();
    if (n == 1 && s->values.size() == 1) {
      Expr* target = s->targets[0];
      Expr* value = s->values[0];
      if (target->kind == E_NAME) {
        const int local = ResolveName(target->str);
        if (local >= 0) {
          ToReg(value, local);
        } else {
          const int v = AnyReg(value);
          line_ = s->line;
          Emit(MakeABx(OP_SETGLOBAL, v, StrK(target->str)));
        }
        return;
      }
      const int o = AnyReg(target->a);
      if (target->b->kind == E_STRING && StrK(target->b->str) <= 255) {
        const int v = AnyReg(value);
        line_ = target->line;
        Emit(MakeABC(OP_SETFIELD, o, StrK(target->b->str), v));
      } else {
        const int k = AnyReg(target->b);
        const int v = AnyReg(value);
        line_ = target->line;
        Emit(MakeABC(OP_SETTABLE, o, k, v));
      }
      return;
    }
    // Several targets: the tables and keys on the left, then the values
    // (adjusted to the number of targets), then the stores.
    std::vector<std::pair<int, int>> places(n, {-1, -1});
    for (size_t i = 0; i < n; ++i) {
      Expr* t = s->targets[i];
      if (t->kind == E_INDEX) {
        places[i].first = NextReg(t->a);
        places[i].second = NextReg(t->b);
      }
    }
    const int base = fs_->freereg;
    AdjustedValues(s->values, n);
    for (size_t i = 0; i < n; ++i) {
      Expr* t = s->targets[i];
      const int v = base + static_cast<int>(i);
      if (t->kind == E_INDEX) {
        line_ = t->line;
        Emit(MakeABC(OP_SETTABLE, places[i].first, places[i].second, v));
      } else {
        Store(t, v);
      }
    }
  }

  // Evaluates values into n consecutive new registers from freereg: a final
  // call gives all the values still missing, extra values are dropped and
  // missing ones are nil.
  void AdjustedValues(const std::vector<Expr*>& values, size_t n) {
    const int base = fs_->freereg;
    const size_t m = values.size();
    for (size_t i = 0; i < m; ++i) {
      Expr* v = values[i];
      if (i == m - 1 && IsCall(v) && i < n) {
        const int want = static_cast<int>(n - i);
        GenCall(v, fs_->freereg, want);
        Reserve(want);
        return;
      }
      NextReg(v);
    }
    if (m < n) {
      const int first = Reserve(static_cast<int>(n - m));
      Emit(MakeABC(OP_LOADNIL, first, static_cast<uint32_t>(n - m - 1), 0));
    }
    fs_->freereg = base + static_cast<int>(n);
  }

  void GenStat(Stat* s) {
    line_ = s->line;
    switch (s->kind) {
      case S_ASSIGN:
        GenAssign(s);
        break;
      case S_LOCAL: {
        const size_t n = s->names.size();
        if (NumActive() + n > static_cast<size_t>(kMaxLocals)) Error("too many local variables");
        AdjustedValues(s->values, n);
        for (TString* name : s->names) AddLocal(name);
        break;
      }
      case S_CALL:
        GenCall(s->values[0], fs_->freereg, 0);
        break;
      case S_DO:
        GenBlock(s->body);
        break;
      case S_WHILE: {
        // The test sits after the body: one jump per turn.
        JumpList toTest{EmitJump()};
        const int top = Here();
        GenBlock(s->body);
        PatchTo(toTest, Here());
        JumpList again;
        CondJump(s->cond, true, again);
        PatchTo(again, top);
        break;
      }
      case S_REPEAT: {
        const int top = Here();
        GenBlock(s->body);
        JumpList again;
        CondJump(s->cond, false, again);
        PatchTo(again, top);
        break;
      }
      case S_IF: {
        JumpList exits;
        for (size_t i = 0; i < s->clauses.size(); ++i) {
          JumpList isFalse;
          CondJump(s->clauses[i].first, false, isFalse);
          GenBlock(s->clauses[i].second);
          if (i + 1 < s->clauses.size() || s->elseBlock) exits.push_back(EmitJump());
          PatchTo(isFalse, Here());
        }
        if (s->elseBlock) GenBlock(s->elseBlock);
        PatchTo(exits, Here());
        break;
      }
      case S_RETURN: {
        const size_t n = s->values.size();
        if (n == 0) {
          Emit(MakeABC(OP_RETURN, 0, 1, 0));
          break;
        }
        if (n == 1 && s->values[0]->kind == E_NAME) {
          const int local = ResolveName(s->values[0]->str);
          if (local >= 0) {
            Emit(MakeABC(OP_RETURN, local, 2, 0));
            break;
          }
        }
        const int base = fs_->freereg;
        for (size_t i = 0; i + 1 < n; ++i) NextReg(s->values[i]);
        Expr* last = s->values[n - 1];
        if (IsCall(last)) {
          GenCall(last, fs_->freereg, -1);
          line_ = s->line;
          Emit(MakeABC(OP_RETURN, base, 0, 0));
        } else {
          NextReg(last);
          line_ = s->line;
          Emit(MakeABC(OP_RETURN, base, static_cast<uint32_t>(n + 1), 0));
        }
        break;
      }
    }
  }

  State* L_;
  Chunk* chunk_;
  Lexer& lex_;
  FuncState* fs_ = nullptr;
  int line_ = 0;
};

}  // namespace

Chunk* Compile(State* L, const char* source, size_t length, TString* name,
               const std::vector<uint8_t>* replay, std::string* error) {
  Chunk* chunk = NewChunk(L);
  chunk->name = name;
  const std::string chunkName = name ? name->data() : "?";
  try {
    Lexer lex(L, source, length, chunkName, replay, &chunk->directives);
    Parser parser(lex);
    Block* block = parser.Chunk();
    if (!lex.ReplayComplete()) lex.Error(lex.line(), "directive outcomes do not match", nullptr);
    CodeGen gen(L, chunk, lex);
    gen.Main(block);
  } catch (const CompileError& e) {
    if (error) *error = e.message;
    chunk->protos.clear();
    return nullptr;
  }
  if (replay) chunk->directives = *replay;
  chunk->source.assign(source, length);
  return chunk;
}

}  // namespace lua31
